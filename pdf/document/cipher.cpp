// The per-object cipher of the standard security handler: RC4 keyed from MD5 of the object key.
#include <algorithm>
#include <utility>

#include "pdf/document/security.h"
#include "pdf/object/crypt_context.h"

namespace quarn {

CPDFCryptContext::CPDFCryptContext(const DocumentKey& key, int32_t num, int32_t gen) {
  std::copy(key.begin(), key.end(), m_objectKey.begin());
  const uint32_t n = static_cast<uint32_t>(num);
  const uint32_t g = static_cast<uint32_t>(gen);
  m_objectKey[5] = static_cast<uint8_t>(n);
  m_objectKey[6] = static_cast<uint8_t>(n >> 8);
  m_objectKey[7] = static_cast<uint8_t>(n >> 16);
  m_objectKey[8] = static_cast<uint8_t>(g);
  m_objectKey[9] = static_cast<uint8_t>(g >> 8);
}

void CPDFCryptContext::Crypt(char* data, size_t n) const {
  CPDFCipher cipher;
  cipher.SetKey(m_objectKey);
  cipher.Crypt(data, n);
}

void CPDFCipher::SetKey(const std::array<uint8_t, 10>& objectKey) {
  const std::array<uint8_t, 16> digest = Md5(objectKey.data(), objectKey.size());
  SetRawKey(digest.data(), 10);
}

void CPDFCipher::SetRawKey(const uint8_t* key, size_t n) {
  for (int i = 0; i < 256; ++i) m_state[i] = static_cast<uint8_t>(i);
  m_i = 0;
  m_j = 0;
  if (!key || n == 0) return;
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + m_state[i] + key[static_cast<size_t>(i) % n]);
    std::swap(m_state[i], m_state[j]);
  }
}

void CPDFCipher::Crypt(char* data, size_t n) {
  uint8_t i = m_i;
  uint8_t j = m_j;
  for (size_t k = 0; k < n; ++k) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + m_state[i]);
    std::swap(m_state[i], m_state[j]);
    data[k] = static_cast<char>(static_cast<uint8_t>(data[k]) ^
                                m_state[static_cast<uint8_t>(m_state[i] + m_state[j])]);
  }
  m_i = i;
  m_j = j;
}

}  // namespace quarn
