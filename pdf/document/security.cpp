#include "pdf/document/security.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pdf/object/exception.h"

namespace quarn {

namespace {

// Incremental MD5 over several pieces.
class Md5Digest {
 public:
  Md5Digest() : m_ctx(EVP_MD_CTX_new()) {
    if (!m_ctx || EVP_DigestInit_ex(m_ctx, EVP_md5(), nullptr) != 1) {
      EVP_MD_CTX_free(m_ctx);
      Throw("CPDFEncryptDict", "MD5", kRuntimeError, "MD5 is not available");
    }
  }
  ~Md5Digest() { EVP_MD_CTX_free(m_ctx); }
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  void Update(const void* data, size_t n) {
    if (n) EVP_DigestUpdate(m_ctx, data, n);
  }
  std::array<uint8_t, 16> Final() {
    std::array<uint8_t, 16> digest{};
    unsigned int len = 0;
    EVP_DigestFinal_ex(m_ctx, digest.data(), &len);
    return digest;
  }

 private:
  EVP_MD_CTX* m_ctx;
};

std::array<uint8_t, 32> PadPassword(const uint8_t* password, size_t n) {
  std::array<uint8_t, 32> padded{};
  const size_t take = std::min<size_t>(n, 32);
  std::memcpy(padded.data(), password, take);
  std::memcpy(padded.data() + take, PasswordPadding().data(), 32 - take);
  return padded;
}

// Steps 1-4 of the user password check with an already padded password.
bool CheckPaddedUserPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                             const std::array<uint8_t, 32>& padded,
                             CPDFCryptContext::DocumentKey& key) {
  const CPDFString* owner = dict.Get_O();
  const CPDFString* user = dict.Get_U();
  const CPDFNumber* permissions = dict.Get_P();
  if (!owner || !user || !permissions) return false;
  Md5Digest md5;
  md5.Update(padded.data(), padded.size());
  md5.Update(owner->Data(), owner->Length());
  const uint32_t p = static_cast<uint32_t>(permissions->IntValue());
  const uint8_t pBytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                             static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
  md5.Update(pBytes, 4);
  if (fileId) md5.Update(fileId->Data(), fileId->Length());
  const std::array<uint8_t, 16> digest = md5.Final();
  CPDFCryptContext::DocumentKey candidate{};
  std::copy_n(digest.begin(), candidate.size(), candidate.begin());

  std::vector<char> plain(user->Data(), user->Data() + user->Length());
  CPDFCipher rc4;
  rc4.SetRawKey(candidate.data(), candidate.size());
  rc4.Crypt(plain.data(), plain.size());
  const size_t compare = std::min<size_t>(plain.size(), 32);
  if (std::memcmp(plain.data(), PasswordPadding().data(), compare) != 0) return false;
  key = candidate;
  return true;
}

}  // namespace

const std::array<uint8_t, 32>& PasswordPadding() {
  static const std::array<uint8_t, 32> padding = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41,
                                                  0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
                                                  0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80,
                                                  0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
  return padding;
}

std::array<uint8_t, 16> Md5(const void* data, size_t n) {
  Md5Digest md5;
  md5.Update(data, n);
  return md5.Final();
}

bool IsEncryptDict(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict =
      value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
  if (!dict) return false;
  CPDFName* filter = dict->GetName(doc, "Filter");
  if (!filter) return false;
  if (!filter->Equals("Standard")) return true;
  return dict->GetNumber(doc, "R") && dict->GetString(doc, "O") && dict->GetString(doc, "U") &&
         dict->GetNumber(doc, "P");
}

bool CPDFEncryptDict::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  CPDFAtom* p = Lookup("P");
  if (!p) return false;
  if (p->IsRef()) {
    CPDFNumber* number = GetNumber(doc, "P");
    if (!number) return false;
    Insert("P", std::make_unique<CPDFInt>(number->IntValue()));
  } else if (!AsNumber(static_cast<CPDFObject*>(p))) {
    return false;
  }
  return true;
}

void CPDFEncryptDict::Serialize(OutStream& out, const CPDFCryptContext*) const {
  CPDFDict::Serialize(out, nullptr);
}

bool CPDFEncryptDict::IsStandard() const {
  const CPDFName* filter = Get_Filter();
  const CPDFNumber* r = Get_R();
  const CPDFNumber* v = Get_V();
  return filter && filter->Equals("Standard") && r && r->IntValue() == 2 && v && v->IntValue() == 1;
}

bool CheckUserPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                       const std::string& password, CPDFCryptContext::DocumentKey& key) {
  const auto padded =
      PadPassword(reinterpret_cast<const uint8_t*>(password.data()), password.size());
  return CheckPaddedUserPassword(dict, fileId, padded, key);
}

bool CheckOwnerPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                        const std::string& password, CPDFCryptContext::DocumentKey& key) {
  const CPDFString* owner = dict.Get_O();
  if (!owner) return false;
  const auto padded =
      PadPassword(reinterpret_cast<const uint8_t*>(password.data()), password.size());
  const std::array<uint8_t, 16> digest = Md5(padded.data(), padded.size());
  std::vector<char> userPassword(owner->Data(), owner->Data() + owner->Length());
  CPDFCipher rc4;
  rc4.SetRawKey(digest.data(), 5);
  rc4.Crypt(userPassword.data(), userPassword.size());
  const auto paddedUser =
      PadPassword(reinterpret_cast<const uint8_t*>(userPassword.data()), userPassword.size());
  return CheckPaddedUserPassword(dict, fileId, paddedUser, key);
}

}  // namespace quarn
