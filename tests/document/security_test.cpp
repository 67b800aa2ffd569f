// The standard security handler: key derivation, the per-object cipher, and encrypted
// documents opened, rewritten and updated.
#include "pdf/document/security.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/trailer.h"
#include "pdf/object/crypt_context.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
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

TEST(Cipher, AesStringsCarryTheirIvAndPaddingAndReadBack) {
  const uint8_t bytes[16] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  for (const CryptMethod method : {CryptMethod::kAESV2, CryptMethod::kRC4}) {
    const CPDFFileKey key(bytes, 16, method, method, true);
    CPDFCryptContext context(key, 12, 0);
    for (const std::string& plain : {std::string(), std::string("x"), std::string(16, 'y')}) {
      std::string text = plain;
      context.EncryptString(text);
      const size_t expected = method == CryptMethod::kRC4 ? plain.size()
                                                          : 16 + (plain.size() / 16 + 1) * 16;
      EXPECT_EQ(text.size(), expected);
      context.DecryptString(text);
      EXPECT_EQ(text, plain);
    }
  }
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
  // Without a password the empty one is tried, as readers do.
  EXPECT_NE(OpenBytes(empty, nullptr), nullptr) << m_error.Message();
}

TEST_F(Security, WrongOrMissingPasswords) {
  const std::string pdf = EncryptedByHand("user", "owner", -4, "id");
  EXPECT_EQ(OpenBytes(pdf), nullptr);
  ExpectError(m_error, "CPDFDoc", "Open", kUserError, "encrypted document");
  EXPECT_EQ(OpenBytes(pdf, "guess"), nullptr);
  ExpectError(m_error, "CPDFDoc", "Open", kUserError, "incorrect password");
}

TEST_F(Security, OtherHandlersAndRevisionsAreRefused) {
  for (const char* entries : {"/R 2 /V 2", "/R 3 /V 1", "/R 7 /V 5", "/R 4 /V 3"}) {
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

// ---- key derivation of every revision, against keys that qpdf reports ------------------------

struct KnownKey {
  const char* name;
  const char* encrypt;  // the encryption dictionary qpdf wrote (user "user", owner "owner")
  const char* key;      // qpdf --show-encryption-key
  CryptMethod strings;
  bool metadata;
};

const char kQpdfId[] = "3e6fb450890b27d846cd855985b32d68";
const KnownKey kKnownKeys[] = {
    {"R2 RC4-40",
     "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> /P -4 /R 2 /U <3d9d7038530b4169fa488bb0ae8b9b4f312b7613df5666e907526bdce549ece3> /V 1 >>",
     "b9227a1ad4", CryptMethod::kRC4, true},
    {"R3 RC4-128",
     "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <da7ae392db89c6b4e8c3127ec161bb6e0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "6a025b39a7ea9b3aa865f1c0ff82b8a0", CryptMethod::kRC4, true},
    {"R4 AES-128, metadata in clear",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <aadd28a0d66fff8a6bc1ccae1e4cb67e0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "2bc801ea3ed56dc8935371601926fdc8", CryptMethod::kAESV2, false},
    {"R5 AES-256",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <2efa33c054576ee1de336d0e77a3e6fa64a75756a4eb4ffe81da83969476a9191a7a81af23194e8cf43dbc2f5caa72e8> /OE <a8e49ce7902ca453c3700e337055041b2bae08ede3d17b502349290d2e484619> /P -4 /Perms <eb380c15ce9ebab6cd0682a234594e46> /R 5 /StmF /StdCF /StrF /StdCF /U <642fcd73a49da841277bff5b2f38fa4c83df65c37595c6104dcd21ef3c187ad542c8e22492c835c0f5da6d8c4dd5205c> /UE <d75bd4232bd2f4780130b28c9bf177418dcc0d1f091cbd58d33cd297b5854c04> /V 5 >>",
     "f87858aee413b903e1474f682cbee1c5ccc67223852eb1579205a24b831e2d03", CryptMethod::kAESV3, true},
    {"R6 AES-256",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <43bc05075e182f350a893d761ce4b4a5586fc58ade0f9f11d46905d64028ed0e13bfec024868a8b05a9e134385ddd51e> /OE <22e95818b261e20b0f48aa8152e49847f201ba754de010c0c85147eec88deb83> /P -4 /Perms <21b99ae77c0cba434fa99ea491d3161b> /R 6 /StmF /StdCF /StrF /StdCF /U <74916bed88da75d70ad2ac289a3f49bed5a471eb542f5d1f1a0f7e5b29d747b00e79da3af01db7be5dcb2c2db1362667> /UE <38fc97efaa8e9e3681f311c6eca0e765c7e4453631a95cac1f9927f2931f783e> /V 5 >>",
     "ef8147b9b74f7d1056d2578d38a5103db3ac24e45e3fb339a742d773122adf65", CryptMethod::kAESV3, true},
};

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

TEST(KeyDerivation, EveryRevisionGivesTheKeyQpdfReports) {
  const std::string id = FromHex(kQpdfId);
  const CPDFString fileId(id.data(), id.size());
  for (const KnownKey& known : kKnownKeys) {
    SCOPED_TRACE(known.name);
    MemInStream in(known.encrypt, std::strlen(known.encrypt));
    std::unique_ptr<CPDFObject> parsed = SerializeObject(nullptr, in, nullptr);
    ASSERT_NE(parsed, nullptr);
    CPDFEncryptDict dict;
    ASSERT_TRUE(dict.Realize(nullptr, *parsed));
    ASSERT_TRUE(dict.IsStandard());
    EXPECT_EQ(dict.StringMethod(), known.strings);
    EXPECT_EQ(dict.StreamMethod(), known.strings);
    EXPECT_EQ(dict.EncryptsMetadata(), known.metadata);
    for (const bool owner : {false, true}) {
      CPDFFileKey key;
      const bool fits = owner ? CheckOwnerPassword(dict, &fileId, "owner", key)
                              : CheckUserPassword(dict, &fileId, "user", key);
      ASSERT_TRUE(fits) << (owner ? "owner" : "user");
      EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(key.Data()), key.Length())),
                Hex(FromHex(known.key)));
      EXPECT_EQ(key.EncryptMetadata(), known.metadata);
    }
    CPDFFileKey unused;
    EXPECT_FALSE(CheckUserPassword(dict, &fileId, "owner", unused));
    EXPECT_FALSE(CheckOwnerPassword(dict, &fileId, "user", unused));
  }
}

// "P" given as its 32 bits unsigned means its two's complement; the RC4 key lengths tried when
// "Length" does not open the file: in bytes, rounded up to whole bytes, 128 and 40 bits.
TEST(EncryptDictValues, PermissionsAndOtherKeyLengths) {
  struct Row {
    const char* dict;
    int32_t permissions;
    std::vector<size_t> others;
  };
  const Row rows[] = {
      {"/P -4 /V 1 /R 2 /Length 40", -4, {}},
      {"/P 4294967292 /V 2 /R 3 /Length 128", -4, {5}},
      {"/P 4294963392 /V 2 /R 3 /Length 124", -3904, {16, 5}},
      {"/P -3904 /V 2 /R 3 /Length 16", -3904, {16}},
      {"/P 2147483647 /V 2 /R 3", 2147483647, {16}},
      {"/P 4294967295 /V 4 /R 4 /Length 128", -1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dict);
    const std::string text = std::string("<< /Filter /Standard ") + row.dict + " >>";
    MemInStream in(text.data(), text.size());
    std::unique_ptr<CPDFObject> parsed = SerializeObject(nullptr, in, nullptr);
    ASSERT_NE(parsed, nullptr);
    CPDFEncryptDict dict;
    ASSERT_TRUE(dict.Realize(nullptr, *parsed));
    EXPECT_EQ(dict.Permissions(), row.permissions);
    EXPECT_EQ(dict.OtherKeyLengths(), row.others);
  }
}

// An entry cut short would compare fewer bytes of the password (none for an empty "U"): the
// handler is damaged. Bytes past an entry's length are ignored, as readers ignore them.
class EntryLengths : public test::DocTest {
 protected:
  // The document of `encrypt` (qpdf's dictionary for user "user") with `key`'s string changed.
  std::string WithEntry(const std::string& encrypt, const std::string& key, int change) {
    std::string dict = encrypt;
    const size_t start = dict.find("/" + key + " <") + key.size() + 3;
    const size_t length = dict.find('>', start) - start;
    if (change < 0) {
      dict.erase(start + length - static_cast<size_t>(-change) * 2,
                 static_cast<size_t>(-change) * 2);
    } else {
      dict.insert(start + length, std::string(static_cast<size_t>(change) * 2, '0'));
    }
    PdfBuilder maker;
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 10 10] >>")
        .Obj(3, "<< /Type /Page /Parent 2 0 R >>")
        .Obj(4, dict)
        .Section("/Size 5 /Root 1 0 R /Encrypt 4 0 R /ID [<" + std::string(kQpdfId) + "> <" +
                 kQpdfId + ">]");
    return maker.Str();
  }
};

TEST_F(EntryLengths, ShortEntriesAreADamagedHandlerAndLongOnesAreCut) {
  for (const KnownKey& known : kKnownKeys) {
    const bool aes256 = std::string(known.encrypt).find("/OE") != std::string::npos;
    const int entryBytes = aes256 ? 48 : 32;
    std::vector<std::pair<std::string, int>> entries = {{"O", entryBytes}, {"U", entryBytes}};
    if (aes256) entries.insert(entries.end(), {{"OE", 32}, {"UE", 32}});
    for (const auto& [key, bytes] : entries) {
      for (const int change : {-bytes, -bytes + 1, -1, 1, 16}) {
        SCOPED_TRACE(std::string(known.name) + " /" + key + " " + std::to_string(change));
        for (const char* password : {"user", "wrong"}) {
          auto doc = OpenBytes(WithEntry(known.encrypt, key, change), password);
          if (change < 0) {
            EXPECT_EQ(doc, nullptr);
            ExpectError(m_error, "CPDFDoc", "Open", kUserError, "invalid security handler");
          } else if (std::string(password) == "user") {
            EXPECT_NE(doc, nullptr) << m_error.Message();
          } else {
            EXPECT_EQ(m_error.Message(), "incorrect password");
          }
        }
      }
    }
  }
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
