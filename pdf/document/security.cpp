#include "pdf/document/security.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/object/crypto_library.h"
#include "pdf/object/exception.h"

namespace quarn {

namespace {

// Incremental MD5 over several pieces.
class Md5Digest {
 public:
  Md5Digest() : m_ctx(Crypto().EVP_MD_CTX_new()) {
    if (!m_ctx || Crypto().EVP_DigestInit_ex(m_ctx, Crypto().EVP_md5(), nullptr) != 1) {
      Crypto().EVP_MD_CTX_free(m_ctx);
      Throw("CPDFEncryptDict", "MD5", kRuntimeError, "MD5 is not available");
    }
  }
  ~Md5Digest() { Crypto().EVP_MD_CTX_free(m_ctx); }
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  void Update(const void* data, size_t n) {
    if (n) Crypto().EVP_DigestUpdate(m_ctx, data, n);
  }
  std::array<uint8_t, 16> Final() {
    std::array<uint8_t, 16> digest{};
    unsigned int len = 0;
    Crypto().EVP_DigestFinal_ex(m_ctx, digest.data(), &len);
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

std::string Bytes(const CPDFString* value) {
  return value ? std::string(value->Data(), value->Length()) : std::string();
}

// The owner and user entries hold this many bytes for revisions 2 to 4, and 48 (a 32-byte hash
// and two 8-byte salts) from revision 5 on, where "OE" and "UE" hold a 32-byte wrapped key.
constexpr size_t kEntryBytes = 32;
constexpr size_t kAesV3EntryBytes = 48;
constexpr size_t kWrappedKeyBytes = 32;

// The bytes of an entry the handler reads: some writers pad an entry past its length, and
// readers take its start, so the bytes beyond are not part of it.
std::string EntryBytes(const CPDFString* value, size_t length) {
  return Bytes(value).substr(0, length);
}

bool HoldsAtLeast(const CPDFString* value, size_t length) {
  return value && value->Length() >= length;
}

// RC4 with `key` XOR `round` over `data` (the rounds of revisions 3 and 4).
void Rc4Round(const uint8_t* key, size_t n, uint8_t round, std::string& data) {
  std::array<uint8_t, 16> turned{};
  for (size_t i = 0; i < n; ++i) turned[i] = static_cast<uint8_t>(key[i] ^ round);
  CPDFCipher rc4;
  rc4.SetRawKey(turned.data(), n);
  rc4.Crypt(data.data(), data.size());
}

std::string Digest(const EVP_MD* md, const std::string& data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (Crypto().EVP_Digest(data.data(), data.size(), out, &len, md, nullptr) != 1) {
    Throw("CPDFEncryptDict", "Digest", kRuntimeError, "digest is not available");
  }
  return std::string(reinterpret_cast<char*>(out), len);
}

// AES-CBC without padding over whole blocks.
std::string AesNoPadding(const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* iv,
                         const std::string& data, bool encrypt) {
  EVP_CIPHER_CTX* context = Crypto().EVP_CIPHER_CTX_new();
  std::string out(data.size() + 32, '\0');
  int written = 0;
  int last = 0;
  const bool ok =
      context &&
      Crypto().EVP_CipherInit_ex(context, cipher, nullptr, key, iv, encrypt ? 1 : 0) == 1 &&
      Crypto().EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
      Crypto().EVP_CipherUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &written,
                                reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<int>(data.size())) == 1 &&
      Crypto().EVP_CipherFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + written,
                                  &last) == 1;
  Crypto().EVP_CIPHER_CTX_free(context);
  if (!ok) Throw("CPDFEncryptDict", "AES", kRuntimeError, "AES failed");
  out.resize(static_cast<size_t>(written + last));
  return out;
}

// The file key of revisions 2 to 4 from a padded password.
std::string KeyFromPadded(const CPDFEncryptDict& dict, const CPDFString* fileId,
                          const std::array<uint8_t, 32>& padded) {
  const size_t n = dict.KeyLength();
  const int32_t revision = dict.Revision();
  Md5Digest md5;
  md5.Update(padded.data(), padded.size());
  const std::string owner = EntryBytes(dict.Get_O(), kEntryBytes);
  md5.Update(owner.data(), owner.size());
  const auto p = static_cast<uint32_t>(dict.Permissions());
  const uint8_t pBytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                             static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
  md5.Update(pBytes, 4);
  if (fileId) md5.Update(fileId->Data(), fileId->Length());
  if (revision >= 4 && !dict.EncryptsMetadata()) {
    const uint8_t all[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    md5.Update(all, 4);
  }
  std::array<uint8_t, 16> digest = md5.Final();
  if (revision >= 3) {
    for (int i = 0; i < 50; ++i) digest = Md5(digest.data(), n);
  }
  return std::string(reinterpret_cast<const char*>(digest.data()), n);
}

CPDFCryptContext::DocumentKey MakeKey(const CPDFEncryptDict& dict, const std::string& key) {
  return CPDFCryptContext::DocumentKey(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                                       dict.StringMethod(), dict.StreamMethod(),
                                       dict.EncryptsMetadata());
}

// Steps of the user password check of revisions 2 to 4 with an already padded password.
bool CheckPaddedUserPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                             const std::array<uint8_t, 32>& padded,
                             CPDFCryptContext::DocumentKey& key) {
  if (!dict.Get_O() || !dict.Get_U() || !dict.Get_P()) return false;
  const std::string candidate = KeyFromPadded(dict, fileId, padded);
  const std::string user = EntryBytes(dict.Get_U(), kEntryBytes);
  // A shorter entry would compare fewer bytes (none for an empty one) and let wrong passwords in.
  if (user.size() < kEntryBytes) return false;
  const auto* keyBytes = reinterpret_cast<const uint8_t*>(candidate.data());
  bool fits = false;
  if (dict.Revision() == 2) {
    std::string plain = user;
    CPDFCipher rc4;
    rc4.SetRawKey(keyBytes, candidate.size());
    rc4.Crypt(plain.data(), plain.size());
    fits = std::memcmp(plain.data(), PasswordPadding().data(), kEntryBytes) == 0;
  } else {
    Md5Digest md5;
    md5.Update(PasswordPadding().data(), 32);
    if (fileId) md5.Update(fileId->Data(), fileId->Length());
    const std::array<uint8_t, 16> digest = md5.Final();
    std::string check(reinterpret_cast<const char*>(digest.data()), 16);
    for (int round = 0; round < 20; ++round) {
      Rc4Round(keyBytes, candidate.size(), static_cast<uint8_t>(round), check);
    }
    fits = user.compare(0, 16, check) == 0;
  }
  if (fits) key = MakeKey(dict, candidate);
  return fits;
}

// Revisions 5 and 6: the password fits the entry when its hash with the entry's validation salt
// equals the entry's first 32 bytes; the file key is then the matching "UE"/"OE" decrypted with
// the hash under the key salt.
bool CheckAesV3Password(const CPDFEncryptDict& dict, const std::string& password, bool owner,
                        CPDFCryptContext::DocumentKey& key) {
  const std::string entry = EntryBytes(owner ? dict.Get_O() : dict.Get_U(), kAesV3EntryBytes);
  const std::string user = EntryBytes(dict.Get_U(), kAesV3EntryBytes);
  const std::string wrapped = EntryBytes(owner ? dict.Get_OE() : dict.Get_UE(), kWrappedKeyBytes);
  if (entry.size() < kAesV3EntryBytes || user.size() < kAesV3EntryBytes ||
      wrapped.size() < kWrappedKeyBytes) {
    return false;
  }
  const std::string userEntry = owner ? user : std::string();
  const int32_t revision = dict.Revision();
  const auto hash = PasswordHash(revision, password, entry.substr(32, 8), userEntry);
  if (std::memcmp(hash.data(), entry.data(), 32) != 0) return false;
  const auto wrapKey = PasswordHash(revision, password, entry.substr(40, 8), userEntry);
  const uint8_t zeroIv[16] = {};
  const std::string fileKey =
      AesNoPadding(Crypto().EVP_aes_256_cbc(), wrapKey.data(), zeroIv, wrapped, false);
  key = MakeKey(dict, fileKey);
  return true;
}

CryptMethod FilterMethod(const CPDFEncryptDict& dict, const CPDFName* name) {
  if (!name || name->Equals("Identity")) return CryptMethod::kNone;
  const CPDFDict* filters = dict.Get_CF();
  CPDFDict* filter = filters ? filters->GetDict(dict.Doc(), name->View()) : nullptr;
  CPDFName* method = filter ? filter->GetName(dict.Doc(), "CFM") : nullptr;
  if (!method || method->Equals("None")) return CryptMethod::kNone;
  if (method->Equals("AESV2")) return CryptMethod::kAESV2;
  if (method->Equals("AESV3")) return CryptMethod::kAESV3;
  return CryptMethod::kRC4;
}

}  // namespace

const std::array<uint8_t, 32>& PasswordPadding() {
  static const std::array<uint8_t, 32> padding = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41,
                                                  0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
                                                  0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80,
                                                  0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
  return padding;
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
  const CPDFNumber* v = Get_V();
  if (!filter || !filter->Equals("Standard") || !Get_R() || !v) return false;
  const int32_t r = Revision();
  switch (v->IntValue()) {
    case 1:
      return r == 2;
    case 2:
      return r == 3;
    case 4:
      return r == 4;
    case 5:
      return r == 5 || r == 6;
    default:
      return false;
  }
}

bool CPDFEncryptDict::HasWholeEntries() const {
  if (Revision() >= 5) {
    return HoldsAtLeast(Get_O(), kAesV3EntryBytes) && HoldsAtLeast(Get_U(), kAesV3EntryBytes) &&
           HoldsAtLeast(Get_OE(), kWrappedKeyBytes) && HoldsAtLeast(Get_UE(), kWrappedKeyBytes);
  }
  return HoldsAtLeast(Get_O(), kEntryBytes) && HoldsAtLeast(Get_U(), kEntryBytes);
}

int32_t CPDFEncryptDict::Revision() const { return Get_R() ? Get_R()->IntValue() : 0; }

size_t CPDFEncryptDict::KeyLength() const {
  if (m_keyLength) return m_keyLength;
  const int32_t v = Get_V() ? Get_V()->IntValue() : 0;
  if (v >= 5) return 32;
  if (v <= 1) return 5;
  int32_t length = Get_Length() ? Get_Length()->IntValue() : (v == 4 ? 128 : 40);
  if (v == 4) {
    // The crypt filter's "Length" is in bytes by the letter, in bits in many files.
    const CPDFDict* filters = Get_CF();
    const CPDFName* name = Get_StmF();
    CPDFDict* filter = filters && name ? filters->GetDict(Doc(), name->View()) : nullptr;
    if (CPDFNumber* own = filter ? filter->GetNumber(Doc(), "Length") : nullptr) {
      length = own->IntValue() <= 16 ? own->IntValue() * 8 : own->IntValue();
    }
  }
  return static_cast<size_t>(std::clamp(length, 40, 128) / 8);
}

std::vector<size_t> CPDFEncryptDict::OtherKeyLengths() const {
  const int32_t v = Get_V() ? Get_V()->IntValue() : 0;
  if (v != 2 && v != 3) return {};
  std::vector<size_t> lengths;
  auto add = [&](int64_t bytes) {
    const auto n = static_cast<size_t>(bytes);
    if (bytes >= 5 && bytes <= 16 && n != KeyLength() &&
        std::find(lengths.begin(), lengths.end(), n) == lengths.end()) {
      lengths.push_back(n);
    }
  };
  if (const CPDFNumber* length = Get_Length()) {
    add(length->Int64Value());
    add((length->Int64Value() + 7) / 8);
  }
  add(16);
  add(5);
  return lengths;
}

int32_t CPDFEncryptDict::Permissions() const {
  return Get_P() ? static_cast<int32_t>(static_cast<uint32_t>(Get_P()->Int64Value())) : 0;
}

CryptMethod CPDFEncryptDict::StringMethod() const {
  const int32_t v = Get_V() ? Get_V()->IntValue() : 0;
  return v >= 4 ? FilterMethod(*this, Get_StrF()) : CryptMethod::kRC4;
}

CryptMethod CPDFEncryptDict::StreamMethod() const {
  const int32_t v = Get_V() ? Get_V()->IntValue() : 0;
  return v >= 4 ? FilterMethod(*this, Get_StmF()) : CryptMethod::kRC4;
}

bool CPDFEncryptDict::EncryptsMetadata() const {
  const CPDFBool* value = Get_EncryptMetadata();
  return !value || value->Value();
}

std::array<uint8_t, 32> PasswordHash(int32_t revision, const std::string& password,
                                     const std::string& salt, const std::string& userEntry) {
  const std::string pw = password.substr(0, 127);
  std::string k = Digest(Crypto().EVP_sha256(), pw + salt + userEntry);
  if (revision >= 6) {
    // Rounds are counted from 1 (the SHA-256 above is round 0); at least 64 are run, then more
    // until the last byte of E is at most the round number less 32.
    for (int round = 1;; ++round) {
      std::string k1;
      const std::string piece = pw + k + userEntry;
      k1.reserve(piece.size() * 64);
      for (int i = 0; i < 64; ++i) k1 += piece;
      const auto* bytes = reinterpret_cast<const uint8_t*>(k.data());
      const std::string e = AesNoPadding(Crypto().EVP_aes_128_cbc(), bytes, bytes + 16, k1, true);
      unsigned sum = 0;
      for (int i = 0; i < 16; ++i) sum += static_cast<uint8_t>(e[static_cast<size_t>(i)]);
      const EVP_MD* next = sum % 3 == 0   ? Crypto().EVP_sha256()
                           : sum % 3 == 1 ? Crypto().EVP_sha384()
                                          : Crypto().EVP_sha512();
      k = Digest(next, e);
      if (round >= 64 && static_cast<uint8_t>(e.back()) <= static_cast<unsigned>(round - 32)) {
        break;
      }
    }
  }
  std::array<uint8_t, 32> hash{};
  std::memcpy(hash.data(), k.data(), 32);
  return hash;
}

bool CheckUserPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                       const std::string& password, CPDFCryptContext::DocumentKey& key) {
  if (dict.Revision() >= 5) return CheckAesV3Password(dict, password, false, key);
  const auto padded =
      PadPassword(reinterpret_cast<const uint8_t*>(password.data()), password.size());
  return CheckPaddedUserPassword(dict, fileId, padded, key);
}

bool CheckOwnerPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                        const std::string& password, CPDFCryptContext::DocumentKey& key) {
  if (dict.Revision() >= 5) return CheckAesV3Password(dict, password, true, key);
  const CPDFString* owner = dict.Get_O();
  if (!owner) return false;
  const auto padded =
      PadPassword(reinterpret_cast<const uint8_t*>(password.data()), password.size());
  std::array<uint8_t, 16> digest = Md5(padded.data(), padded.size());
  const size_t n = dict.Revision() == 2 ? 5 : dict.KeyLength();
  if (dict.Revision() >= 3) {
    for (int i = 0; i < 50; ++i) digest = Md5(digest.data(), digest.size());
  }
  // The owner entry is the padded user password encrypted with a key from the owner password.
  std::string userPassword = EntryBytes(owner, kEntryBytes);
  if (dict.Revision() == 2) {
    Rc4Round(digest.data(), n, 0, userPassword);
  } else {
    for (int round = 19; round >= 0; --round) {
      Rc4Round(digest.data(), n, static_cast<uint8_t>(round), userPassword);
    }
  }
  const auto paddedUser =
      PadPassword(reinterpret_cast<const uint8_t*>(userPassword.data()), userPassword.size());
  return CheckPaddedUserPassword(dict, fileId, paddedUser, key);
}

}  // namespace quarn
