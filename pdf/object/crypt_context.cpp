// The per-object ciphers of the standard security handler, all through libcrypto's EVP: RC4
// keyed from MD5 of the object key, and AES-CBC with the IV in front of the data. libcrypto is
// opened when the first of them is needed.
#include "pdf/object/crypt_context.h"

#include <algorithm>
#include <cstring>

#include "pdf/object/crypto_library.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFCipher";
constexpr size_t kAesBlock = 16;

[[noreturn]] void CipherFailure(const char* what) {
  Throw(kModule, "Crypt", kRuntimeError, what);
}

// RC4 lives in OpenSSL 3's legacy provider. It is loaded into a library context of its own, so
// that the process's default context (and every other algorithm) stays as it was.
const EVP_CIPHER* Rc4() {
  static EVP_CIPHER* cipher = [] {
    const CryptoFunctions& crypto = Crypto();
    OSSL_LIB_CTX* context = crypto.OSSL_LIB_CTX_new();
    if (!context || !crypto.OSSL_PROVIDER_load(context, "legacy")) {
      return static_cast<EVP_CIPHER*>(nullptr);
    }
    return crypto.EVP_CIPHER_fetch(context, "RC4", nullptr);
  }();
  return cipher;
}

const EVP_CIPHER* Aes(size_t keyLength) {
  return keyLength == 32 ? Crypto().EVP_aes_256_cbc() : Crypto().EVP_aes_128_cbc();
}

struct ContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { Crypto().EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

CipherContext NewContext() {
  CipherContext context(Crypto().EVP_CIPHER_CTX_new());
  if (!context) CipherFailure("out of memory");
  return context;
}

void InitRc4(EVP_CIPHER_CTX* context, const uint8_t* key, size_t n) {
  const EVP_CIPHER* rc4 = Rc4();
  if (!rc4) CipherFailure("RC4 is not available");
  if (Crypto().EVP_CipherInit_ex(context, rc4, nullptr, nullptr, nullptr, 1) != 1 ||
      Crypto().EVP_CIPHER_CTX_set_key_length(context, static_cast<int>(n)) != 1 ||
      Crypto().EVP_CipherInit_ex(context, nullptr, nullptr, key, nullptr, 1) != 1) {
    CipherFailure("RC4 cannot be keyed");
  }
}

void UpdateInto(EVP_CIPHER_CTX* context, const char* data, size_t n, std::string& out) {
  const size_t at = out.size();
  out.resize(at + n + kAesBlock);
  int written = 0;
  if (n && Crypto().EVP_CipherUpdate(context, reinterpret_cast<unsigned char*>(out.data() + at),
                                     &written, reinterpret_cast<const unsigned char*>(data),
                                     static_cast<int>(n)) != 1) {
    CipherFailure("cipher update failed");
  }
  out.resize(at + static_cast<size_t>(written));
}

class Rc4StreamCipher : public CPDFStreamCipher {
 public:
  Rc4StreamCipher(const uint8_t* key, size_t n) : m_context(NewContext()) {
    InitRc4(m_context.get(), key, n);
  }
  void Update(const char* data, size_t n, std::string& out) override {
    UpdateInto(m_context.get(), data, n, out);
  }
  void Finish(std::string&) override {}

 private:
  CipherContext m_context;
};

// AES-CBC. Encrypting writes a random IV, then the data with PKCS#5 padding. Decrypting takes the
// IV from the first 16 bytes, holds the last block back until the end and drops its padding
// when the padding is sound (data cut short or badly padded is kept as far as it goes, as
// readers do).
class AesStreamCipher : public CPDFStreamCipher {
 public:
  AesStreamCipher(const uint8_t* key, size_t n, bool encrypt)
      : m_context(NewContext()), m_encrypt(encrypt), m_keyLength(n) {
    std::copy_n(key, n, m_key.begin());
  }
  void Update(const char* data, size_t n, std::string& out) override {
    if (m_encrypt) {
      if (!m_started) Start(out);
      UpdateInto(m_context.get(), data, n, out);
      return;
    }
    while (!m_started && n) {
      m_iv[m_ivFill++] = static_cast<uint8_t>(*data++);
      --n;
      if (m_ivFill == kAesBlock) Start(out);
    }
    if (!m_started || !n) return;
    UpdateInto(m_context.get(), data, n, m_pending);
    if (m_pending.size() > kAesBlock) {
      const size_t ready = m_pending.size() - kAesBlock;
      out.append(m_pending, 0, ready);
      m_pending.erase(0, ready);
    }
  }
  void Finish(std::string& out) override {
    if (m_encrypt) {
      if (!m_started) Start(out);
      unsigned char last[kAesBlock * 2];
      int written = 0;
      if (Crypto().EVP_CipherFinal_ex(m_context.get(), last, &written) != 1)
        CipherFailure("AES failed");
      out.append(reinterpret_cast<char*>(last), static_cast<size_t>(written));
      return;
    }
    if (m_pending.size() == kAesBlock) {
      const uint8_t pad = static_cast<uint8_t>(m_pending.back());
      bool sound = pad >= 1 && pad <= kAesBlock;
      for (size_t i = kAesBlock - (sound ? pad : 0); sound && i < kAesBlock; ++i) {
        sound = static_cast<uint8_t>(m_pending[i]) == pad;
      }
      if (sound) m_pending.resize(kAesBlock - pad);
    }
    out += m_pending;
    m_pending.clear();
  }

 private:
  void Start(std::string& out) {
    if (m_encrypt && Crypto().RAND_bytes(m_iv.data(), static_cast<int>(kAesBlock)) != 1) {
      CipherFailure("no random bytes for the AES IV");
    }
    if (Crypto().EVP_CipherInit_ex(m_context.get(), Aes(m_keyLength), nullptr, m_key.data(),
                                   m_iv.data(), m_encrypt ? 1 : 0) != 1) {
      CipherFailure("AES cannot be keyed");
    }
    Crypto().EVP_CIPHER_CTX_set_padding(m_context.get(), m_encrypt ? 1 : 0);
    if (m_encrypt) out.append(reinterpret_cast<const char*>(m_iv.data()), kAesBlock);
    m_started = true;
  }

  CipherContext m_context;
  bool m_encrypt;
  size_t m_keyLength;
  std::array<uint8_t, 32> m_key{};
  std::array<uint8_t, kAesBlock> m_iv{};
  size_t m_ivFill = 0;
  bool m_started = false;
  std::string m_pending;
};

bool IsAes(CryptMethod method) {
  return method == CryptMethod::kAESV2 || method == CryptMethod::kAESV3;
}

}  // namespace

// ---- the file key ------------------------------------------------------------------------------

CPDFFileKey::CPDFFileKey(std::initializer_list<uint8_t> bytes)
    : m_length(std::min(bytes.size(), m_bytes.size())) {
  std::copy_n(bytes.begin(), m_length, m_bytes.begin());
}

CPDFFileKey::CPDFFileKey(const uint8_t* bytes, size_t n, CryptMethod strings, CryptMethod streams,
                         bool encryptMetadata)
    : m_length(std::min(n, m_bytes.size())),
      m_strings(strings),
      m_streams(streams),
      m_encryptMetadata(encryptMetadata) {
  std::copy_n(bytes, m_length, m_bytes.begin());
}

// ---- the object's context ----------------------------------------------------------------------

CPDFCryptContext::ObjectKey CPDFCryptContext::Derive(const DocumentKey& key, CryptMethod method,
                                                     int32_t num, int32_t gen) {
  ObjectKey derived;
  derived.method = method;
  if (method == CryptMethod::kNone) return derived;
  if (method == CryptMethod::kAESV3) {
    derived.length = key.Length();
    std::copy_n(key.Data(), key.Length(), derived.bytes.begin());
    return derived;
  }
  // The file key, then 3 bytes of the number and 2 of the generation (least significant
  // first), and "sAlT" for AES; MD5 of that, cut to the key length plus 5 (16 at most).
  std::string material(reinterpret_cast<const char*>(key.Data()), key.Length());
  const uint32_t n = static_cast<uint32_t>(num);
  const uint32_t g = static_cast<uint32_t>(gen);
  const char tail[5] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                        static_cast<char>(g), static_cast<char>(g >> 8)};
  material.append(tail, 5);
  if (method == CryptMethod::kAESV2) material.append("sAlT", 4);
  const std::array<uint8_t, 16> digest = Md5(material.data(), material.size());
  derived.length = std::min<size_t>(key.Length() + 5, 16);
  std::copy_n(digest.begin(), derived.length, derived.bytes.begin());
  return derived;
}

CPDFCryptContext::CPDFCryptContext(const DocumentKey& key, int32_t num, int32_t gen)
    : m_strings(Derive(key, key.Strings(), num, gen)),
      m_streams(Derive(key, key.Streams(), num, gen)),
      m_encryptMetadata(key.EncryptMetadata()) {}

void CPDFCryptContext::DecryptString(std::string& bytes) const {
  if (m_strings.method == CryptMethod::kNone || bytes.empty()) return;
  if (m_strings.method == CryptMethod::kRC4) {
    Crypt(bytes.data(), bytes.size());
    return;
  }
  AesStreamCipher cipher(m_strings.bytes.data(), m_strings.length, false);
  std::string plain;
  cipher.Update(bytes.data(), bytes.size(), plain);
  cipher.Finish(plain);
  bytes.swap(plain);
}

void CPDFCryptContext::EncryptString(std::string& bytes) const {
  if (m_strings.method == CryptMethod::kNone) return;
  if (m_strings.method == CryptMethod::kRC4) {
    Crypt(bytes.data(), bytes.size());
    return;
  }
  AesStreamCipher cipher(m_strings.bytes.data(), m_strings.length, true);
  std::string encrypted;
  cipher.Update(bytes.data(), bytes.size(), encrypted);
  cipher.Finish(encrypted);
  bytes.swap(encrypted);
}

void CPDFCryptContext::Crypt(char* data, size_t n) const {
  if (m_strings.method != CryptMethod::kRC4 || n == 0) return;
  CPDFCipher rc4;
  rc4.SetRawKey(m_strings.bytes.data(), m_strings.length);
  rc4.Crypt(data, n);
}

bool CPDFCryptContext::CoversStream(const CPDFDict& dict) const {
  if (m_streams.method == CryptMethod::kNone) return false;
  auto isName = [&dict](const char* key, const char* value) {
    const CPDFAtom* atom = dict.Lookup(key);
    return atom && atom->IsObject() && static_cast<const CPDFObject*>(atom)->IsType(kTypeName) &&
           static_cast<const CPDFName*>(atom)->Equals(value);
  };
  if (isName("Type", "XRef")) return false;
  if (!m_encryptMetadata && isName("Type", "Metadata")) return false;
  // A stream that names its own crypt filter is left as it stands (only Identity is met in
  // practice).
  if (isName("Filter", "Crypt")) return false;
  const CPDFAtom* filter = dict.Lookup("Filter");
  if (filter && filter->IsObject() && static_cast<const CPDFObject*>(filter)->IsType(kTypeArray)) {
    const auto& filters = static_cast<const CPDFArray&>(*filter);
    for (size_t i = 0; i < filters.Count(); ++i) {
      const CPDFAtom* name = filters.At(i);
      if (name && name->IsObject() && static_cast<const CPDFObject*>(name)->IsType(kTypeName) &&
          static_cast<const CPDFName*>(name)->Equals("Crypt")) {
        return false;
      }
    }
  }
  return true;
}

int64_t CPDFCryptContext::EncryptedStreamLength(int64_t plain) const {
  if (!IsAes(m_streams.method)) return plain;
  return static_cast<int64_t>(kAesBlock) + (plain / static_cast<int64_t>(kAesBlock) + 1) *
                                               static_cast<int64_t>(kAesBlock);
}

std::unique_ptr<CPDFStreamCipher> CPDFCryptContext::StreamCipher(bool encrypt) const {
  if (IsAes(m_streams.method)) {
    return std::make_unique<AesStreamCipher>(m_streams.bytes.data(), m_streams.length, encrypt);
  }
  return std::make_unique<Rc4StreamCipher>(m_streams.bytes.data(), m_streams.length);
}

// ---- RC4 ---------------------------------------------------------------------------------------

struct CPDFCipher::State {
  CipherContext context;
};

CPDFCipher::CPDFCipher() = default;
CPDFCipher::~CPDFCipher() = default;

void CPDFCipher::SetKey(const std::array<uint8_t, 10>& objectKey) {
  const std::array<uint8_t, 16> digest = Md5(objectKey.data(), objectKey.size());
  SetRawKey(digest.data(), 10);
}

void CPDFCipher::SetRawKey(const uint8_t* key, size_t n) {
  m_state = std::make_unique<State>();
  m_state->context = NewContext();
  InitRc4(m_state->context.get(), key, n);
}

void CPDFCipher::Crypt(char* data, size_t n) {
  if (!m_state || n == 0) return;
  int written = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(data);
  // RC4 is a stream cipher: the output has the input's length and may overwrite it.
  if (Crypto().EVP_CipherUpdate(m_state->context.get(), bytes, &written, bytes,
                                static_cast<int>(n)) != 1) {
    CipherFailure("RC4 failed");
  }
}

std::array<uint8_t, 16> Md5(const void* data, size_t n) {
  std::array<uint8_t, 16> digest{};
  unsigned int length = 0;
  if (Crypto().EVP_Digest(data, n, digest.data(), &length, Crypto().EVP_md5(), nullptr) != 1 ||
      length != digest.size()) {
    Throw(kModule, "Md5", kRuntimeError, "MD5 failed");
  }
  return digest;
}

}  // namespace quarn
