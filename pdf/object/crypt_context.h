// The per-object encryption state of the standard security handler: a 10-byte object key
// (5 key bytes, 3 bytes of the object number, 2 of the generation, least significant first).
// Every string and every stream's data is transformed by its own fresh RC4 cipher.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarn {

class CPDFCryptContext {
 public:
  using DocumentKey = std::array<uint8_t, 5>;
  CPDFCryptContext(const DocumentKey& key, int32_t num, int32_t gen);

  const std::array<uint8_t, 10>& ObjectKey() const { return m_objectKey; }
  // Encrypts or decrypts (the same operation) with a fresh cipher.
  void Crypt(char* data, size_t n) const;

 private:
  std::array<uint8_t, 10> m_objectKey;
};

// RC4 keyed from an object key through MD5; Crypt may be called repeatedly to continue one
// keystream (stream data is transformed block by block).
class CPDFCipher {
 public:
  // MD5 over the object key; the first 10 digest bytes key a fresh RC4 state.
  void SetKey(const std::array<uint8_t, 10>& objectKey);
  // Keys RC4 with raw key bytes (the password checks use the 5-byte key directly).
  void SetRawKey(const uint8_t* key, size_t n);
  void Crypt(char* data, size_t n);

 private:
  uint8_t m_state[256] = {};
  uint8_t m_i = 0;
  uint8_t m_j = 0;
};

}  // namespace quarn
