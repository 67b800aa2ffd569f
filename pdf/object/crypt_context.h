// The per-object encryption state of the standard security handler. The file key and the method
// of each kind of data (RC4 or AES for strings and for streams, as the crypt filters say) give,
// for one indirect object, the key its strings and its streams are transformed with. Every string
// and every stream's data is transformed on its own, from the start of a fresh cipher.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace quarn {

class CPDFDict;

// How one kind of data is encrypted: not at all (the Identity filter), RC4 with a per-object
// key, AES-128 with a per-object key (AESV2), or AES-256 with the file key itself (AESV3).
enum class CryptMethod : uint8_t { kNone, kRC4, kAESV2, kAESV3 };

// The file key of an encrypted document (5 to 32 bytes) and how it is used.
class CPDFFileKey {
 public:
  CPDFFileKey() = default;
  // An RC4 key for strings and streams alike (the first revision's 40-bit key).
  CPDFFileKey(std::initializer_list<uint8_t> bytes);
  CPDFFileKey(const uint8_t* bytes, size_t n, CryptMethod strings, CryptMethod streams,
              bool encryptMetadata);

  const uint8_t* Data() const { return m_bytes.data(); }
  size_t Length() const { return m_length; }
  CryptMethod Strings() const { return m_strings; }
  CryptMethod Streams() const { return m_streams; }
  // False when the document's metadata streams are left in clear.
  bool EncryptMetadata() const { return m_encryptMetadata; }
  bool operator==(const CPDFFileKey& other) const = default;

 private:
  std::array<uint8_t, 32> m_bytes{};
  size_t m_length = 0;
  CryptMethod m_strings = CryptMethod::kRC4;
  CryptMethod m_streams = CryptMethod::kRC4;
  bool m_encryptMetadata = true;
};

// Transforms one stream's data piece by piece (the data of a large stream never needs to be
// whole in memory); Finish adds what the cipher held back (AES padding).
class CPDFStreamCipher {
 public:
  virtual ~CPDFStreamCipher() = default;
  virtual void Update(const char* data, size_t n, std::string& out) = 0;
  virtual void Finish(std::string& out) = 0;
};

class CPDFCryptContext {
 public:
  using DocumentKey = CPDFFileKey;
  CPDFCryptContext(const DocumentKey& key, int32_t num, int32_t gen);

  // A string's bytes as read from the file, decrypted in place (AES drops its IV and padding).
  void DecryptString(std::string& bytes) const;
  // A string's bytes encrypted in place for writing.
  void EncryptString(std::string& bytes) const;
  // RC4 over the bytes in place with the string key (encryption and decryption alike); for the
  // RC4 method only.
  void Crypt(char* data, size_t n) const;

  // Whether the data of a stream with this dictionary is encrypted: not for cross-reference
  // streams, streams with their own Crypt filter, streams under the Identity filter, nor for
  // metadata streams of a document that leaves its metadata in clear.
  bool CoversStream(const CPDFDict& dict) const;
  // The size of `plain` bytes of stream data once encrypted.
  int64_t EncryptedStreamLength(int64_t plain) const;
  // A fresh cipher for one stream's data.
  std::unique_ptr<CPDFStreamCipher> StreamCipher(bool encrypt) const;

 private:
  struct ObjectKey {
    CryptMethod method = CryptMethod::kNone;
    std::array<uint8_t, 32> bytes{};
    size_t length = 0;
  };
  static ObjectKey Derive(const DocumentKey& key, CryptMethod method, int32_t num, int32_t gen);

  ObjectKey m_strings;
  ObjectKey m_streams;
  bool m_encryptMetadata = true;
};

// RC4 through libcrypto: keyed once, Crypt continues one keystream over repeated calls.
// MD5 (RFC 1321) through libcrypto.
std::array<uint8_t, 16> Md5(const void* data, size_t n);

class CPDFCipher {
 public:
  CPDFCipher();
  ~CPDFCipher();
  CPDFCipher(const CPDFCipher&) = delete;
  CPDFCipher& operator=(const CPDFCipher&) = delete;
  // Keys RC4 with the first revision's object key (MD5 over the 10 bytes, 10 digest bytes).
  void SetKey(const std::array<uint8_t, 10>& objectKey);
  void SetRawKey(const uint8_t* key, size_t n);
  void Crypt(char* data, size_t n);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace quarn
