// The standard security handler: key derivation, the per-object cipher, and encrypted
// documents opened, rewritten and updated.
#include "pdf/document/security.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>

#include "pdf/document/trailer.h"
#include "pdf/object/crypt_context.h"
#include "pdf/object/out_stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::PdfBuilder;
using test::QpdfAccepts;

// ---- an independent statement of the algorithm, to build files by hand
// ---------------------------

std::string TestMd5(const std::string& data) {
  unsigned char digest[16];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
  return std::string(reinterpret_cast<char*>(digest), 16);
}

std::string TestRc4(const std::string& key, std::string data) {
  unsigned char s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 255;
    std::swap(s[i], s[j]);
  }
  for (size_t k = 0, i = 0, j = 0; k < data.size(); ++k) {
    i = (i + 1) & 255;
    j = (j + s[i]) & 255;
    std::swap(s[i], s[j]);
    data[k] = static_cast<char>(data[k] ^ s[(s[i] + s[j]) & 255]);
  }
  return data;
}

const std::string kPad = std::string(reinterpret_cast<const char*>(PasswordPadding().data()), 32);

std::string Padded(const std::string& password) {
  return (password.substr(0, 32) + kPad).substr(0, 32);
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct HandMadeKeys {
  std::string owner;  // "O"
  std::string user;   // "U"
  std::string key;    // the 5-byte document key
};

HandMadeKeys Derive(const std::string& userPw, const std::string& ownerPw, int32_t p,
                    const std::string& id) {
  HandMadeKeys keys;
  keys.owner = TestRc4(TestMd5(Padded(ownerPw)).substr(0, 5), Padded(userPw));
  std::string pBytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    pBytes[i] = static_cast<char>((static_cast<uint32_t>(p) >> (8 * i)) & 255);
  keys.key = TestMd5(Padded(userPw) + keys.owner + pBytes + id).substr(0, 5);
  keys.user = TestRc4(keys.key, kPad);
  return keys;
}

std::string ObjectCipher(const std::string& key, int num, int gen, const std::string& plain) {
  std::string objectKey = key;
  objectKey += static_cast<char>(num & 255);
  objectKey += static_cast<char>((num >> 8) & 255);
  objectKey += static_cast<char>((num >> 16) & 255);
  objectKey += static_cast<char>(gen & 255);
  objectKey += static_cast<char>((gen >> 8) & 255);
  return TestRc4(TestMd5(objectKey).substr(0, 10), plain);
}

// An encrypted one-page document whose object 4 is the string "secret text", encrypted.
std::string EncryptedByHand(const std::string& userPw, const std::string& ownerPw, int32_t p,
                            const std::string& id, const std::string& filterEntries = "/R 2 /V 1") {
  const HandMadeKeys keys = Derive(userPw, ownerPw, p, id);
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 10 10] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R >>")
      .Obj(4, "<" + Hex(ObjectCipher(keys.key, 4, 0, "secret text")) + ">")
      .Obj(5, "<< /Filter /Standard " + filterEntries + " /O <" + Hex(keys.owner) + "> /U <" +
                  Hex(keys.user) + "> /P " + std::to_string(p) + " >>");
  std::string trailer = "/Size 6 /Root 1 0 R /Encrypt 5 0 R";
  if (!id.empty()) trailer += " /ID [<" + Hex(id) + "> <" + Hex(id) + ">]";
  maker.Section(trailer);
  return maker.Str();
}

// ---- primitives ---------------------------------------------------------------------------------

TEST(Cipher, Md5KnownAnswer) {
  const auto digest = Md5("abc", 3);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(digest.data()), 16)),
            "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Cipher, Rc4KnownAnswerAndContinuation) {
  CPDFCipher rc4;
  const uint8_t key[] = {'K', 'e', 'y'};
  rc4.SetRawKey(key, 3);
  std::string text = "Plaintext";
  // Two calls continue one keystream.
  rc4.Crypt(text.data(), 4);
  rc4.Crypt(text.data() + 4, 5);
  EXPECT_EQ(Hex(text), "BBF316E8D940AF0AD3");
}

TEST(Cipher, ObjectKeyLayout) {
  const CPDFCryptContext::DocumentKey key = {1, 2, 3, 4, 5};
  CPDFCryptContext context(key, 0x123456, 0x0789);
  const std::array<uint8_t, 10> expected = {1, 2, 3, 4, 5, 0x56, 0x34, 0x12, 0x89, 0x07};
  EXPECT_EQ(context.ObjectKey(), expected);
}

TEST(Cipher, EachStringStartsAFreshCipher) {
  const CPDFCryptContext::DocumentKey key = {9, 8, 7, 6, 5};
  CPDFCryptContext context(key, 3, 0);
  std::string a = "same text", b = "same text";
  context.Crypt(a.data(), a.size());
  context.Crypt(b.data(), b.size());
  EXPECT_EQ(a, b);
  EXPECT_NE(a, "same text");
  context.Crypt(a.data(), a.size());
  EXPECT_EQ(a, "same text");
  // Matches the independent statement of the algorithm.
  EXPECT_EQ(b, ObjectCipher(std::string("\x09\x08\x07\x06\x05", 5), 3, 0, "same text"));
}

TEST(Cipher, TwoEqualStringsInOneObjectEncryptAlike) {
  const CPDFCryptContext::DocumentKey key = {1, 1, 1, 1, 1};
  CPDFCryptContext context(key, 7, 0);
  CPDFArray array;
  array.Append(std::make_unique<CPDFString>("twin"));
  array.Append(std::make_unique<CPDFString>("twin"));
  StringOutStream out;
  array.Serialize(out, &context);
  const std::string text = out.Str();
  const size_t mid = text.find(' ');
  ASSERT_NE(mid, std::string::npos);
  EXPECT_EQ(text.substr(1, mid - 1), text.substr(mid + 1, text.size() - mid - 2));
  EXPECT_EQ(text.find("twin"), std::string::npos);
}

// ---- opening encrypted documents
// ------------------------------------------------------------------

class Security : public test::DocTest {};

TEST_F(Security, UserAndOwnerPasswordsOpenAndDecrypt) {
  const std::string pdf = EncryptedByHand("user", "owner", -44, "0123456789abcdef");
  for (const char* password : {"user", "owner"}) {
    auto doc = OpenBytes(pdf, password);
    ASSERT_NE(doc, nullptr) << password << ": " << m_error.Message();
    auto* text = AsString(doc->GetObj(CPDFObjRef(4, 0)));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Str(), "secret text");
    EXPECT_EQ(doc->GetPageCount(), 1);
  }
}

TEST_F(Security, DocumentWithoutIdUsesPasswordOwnerAndPermissionsAlone) {
  auto doc = OpenBytes(EncryptedByHand("u", "o", -4, ""), "u");
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(AsString(doc->GetObj(CPDFObjRef(4, 0)))->Str(), "secret text");
}

TEST_F(Security, LongPasswordIsCutAndEmptyPasswordIsThePadding) {
  const std::string longPw = "abcdefghijklmnopqrstuvwxyz0123456789";  // 36 bytes
  const std::string pdf = EncryptedByHand(longPw, "owner", -4, "id");
  EXPECT_NE(OpenBytes(pdf, longPw.substr(0, 32).c_str()), nullptr);
  EXPECT_NE(OpenBytes(pdf, (longPw.substr(0, 32) + "anything").c_str()), nullptr);
  EXPECT_EQ(OpenBytes(pdf, longPw.substr(0, 31).c_str()), nullptr);

  const std::string empty = EncryptedByHand("", "owner", -4, "id");
  EXPECT_NE(OpenBytes(empty, ""), nullptr) << m_error.Message();
  EXPECT_EQ(OpenBytes(empty, nullptr), nullptr);
  EXPECT_EQ(m_error.Message(), "encrypted document");
}

TEST_F(Security, WrongOrMissingPasswords) {
  const std::string pdf = EncryptedByHand("user", "owner", -4, "id");
  EXPECT_EQ(OpenBytes(pdf), nullptr);
  ExpectError(m_error, "CPDFDoc", "Open", kUserError, "encrypted document");
  EXPECT_EQ(OpenBytes(pdf, "guess"), nullptr);
  ExpectError(m_error, "CPDFDoc", "Open", kUserError, "incorrect password");
}

TEST_F(Security, OtherHandlersAndRevisionsAreRefused) {
  for (const char* entries : {"/R 3 /V 2", "/R 2 /V 2", "/R 3 /V 1"}) {
    OpenBytes(EncryptedByHand("u", "o", -4, "id", entries), "u");
    ExpectError(m_error, "CPDFDoc", "Open", kUserError, "invalid security handler");
  }
  std::string other = EncryptedByHand("u", "o", -4, "id");
  other.replace(other.find("/Filter /Standard"), 17, "/Filter /Someone0");
  OpenBytes(other, "u");
  EXPECT_EQ(m_error.Message(), "invalid security handler");
}

TEST_F(Security, EncryptionDictionaryWithoutPFailsRealize) {
  std::string pdf = EncryptedByHand("u", "o", -4, "id");
  const size_t p = pdf.find("/P -4");
  pdf.replace(p, 5, "/Q -4");
  // Offsets after the change stay the same: the replacement has the same length.
  OpenBytes(pdf, "u");
  ExpectError(m_error, "CPDFDoc", "Open", kInternalError, "CPDFTrailer::Realize()");
}

TEST_F(Security, EncryptionDictionaryIsWrittenInClear) {
  auto doc = OpenBytes(EncryptedByHand("u", "o", -4, "id"), "u");
  ASSERT_NE(doc, nullptr);
  CPDFEncryptDict* dict = doc->GetTrailer()->Get_Encrypt();
  ASSERT_NE(dict, nullptr);
  EXPECT_TRUE(dict->IsStandard());
  const CPDFCryptContext::DocumentKey key = {1, 2, 3, 4, 5};
  CPDFCryptContext context(key, 5, 0);
  StringOutStream out;
  dict->Serialize(out, &context);
  EXPECT_NE(out.Str().find("/O <" + Hex(Derive("u", "o", -4, "id").owner) + ">"),
            std::string::npos);
}

// ---- encrypted documents made by qpdf ---------------------------------------------------------

class QpdfEncrypted : public test::DocTest {
 protected:
  void SetUp() override {
    if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
    const std::string plain = Put(
        "plain.pdf",
        test::MakePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                       "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>",
                       "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>",
                       "<< /Type /Page /Parent 2 0 R >>",
                       test::StreamBody(kContent, std::to_string(kContent.size()))}));
    m_path = m_dir.File("enc.pdf");
    ASSERT_EQ(test::RunCommand("qpdf --allow-weak-crypto --encrypt user owner 40 -- '" + plain +
                               "' '" + m_path + "'"),
              0);
  }
  std::string m_path;
  const std::string kContent = std::string(10000, 'q') + " BT /F1 12 Tf (Hello) Tj ET";
};

TEST_F(QpdfEncrypted, OpensRewritesAndStaysReadable) {
  auto doc = Open(m_path, "user");
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(doc->GetPageCount(), 2);
  const std::string out = m_dir.File("out.pdf");
  ASSERT_TRUE(doc->Save(out.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_TRUE(QpdfAccepts(out, "user"));
  EXPECT_EQ(test::RunCommand("qpdf --check '" + out + "'"), 2) << "the output is not encrypted";
  // Decrypted by qpdf, the content is what was written.
  const std::string decrypted = m_dir.File("decrypted.pdf");
  ASSERT_EQ(test::RunCommand("qpdf --password=user --decrypt --stream-data=uncompress '" + out +
                             "' '" + decrypted + "'"),
            0);
  EXPECT_NE(test::ReadFile(decrypted).find(kContent), std::string::npos);
  // The document reads its own output with the same key.
  EXPECT_EQ(doc->GetPageCount(), 2);
  auto again = Open(out, "owner");
  ASSERT_NE(again, nullptr) << m_error.Message();
}

TEST_F(QpdfEncrypted, IncrementalUpdateStaysEncrypted) {
  auto doc = Open(m_path, "owner");
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(m_path.c_str(), true, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_TRUE(QpdfAccepts(m_path, "user"));
  const std::string info =
      test::CommandOutput("qpdf --password=user --show-object=trailer '" + m_path + "'");
  EXPECT_NE(info.find("/Prev"), std::string::npos);
  EXPECT_NE(test::CommandOutput("pdfinfo -upw user '" + m_path + "'").find("libquarn"),
            std::string::npos);
}

}  // namespace
}  // namespace quarn
