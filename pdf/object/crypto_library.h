// libcrypto, opened when a run first meets an encrypted document (or asks for its version):
// most runs never need a cipher or MD5, and mapping the library costs more than the rest of
// the start-up together.
#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include "platform/shared_library.h"

// clang-format off
#define QUARN_CRYPTO_FUNCTIONS(X)                                                     \
  X(OpenSSL_version) X(OSSL_LIB_CTX_new) X(OSSL_PROVIDER_load) X(EVP_CIPHER_fetch)    \
  X(EVP_aes_128_cbc) X(EVP_aes_256_cbc) X(EVP_CIPHER_CTX_new) X(EVP_CIPHER_CTX_free)  \
  X(EVP_CIPHER_CTX_set_key_length) X(EVP_CIPHER_CTX_set_padding) X(EVP_CipherInit_ex) \
  X(EVP_CipherUpdate) X(EVP_CipherFinal_ex) X(RAND_bytes) X(EVP_md5) X(EVP_sha256)    \
  X(EVP_sha384) X(EVP_sha512) X(EVP_Digest) X(EVP_MD_CTX_new) X(EVP_MD_CTX_free)      \
  X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex)
// clang-format on

namespace quarn {

struct CryptoFunctions {
  QUARN_CRYPTO_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

// Throws LibraryUnavailable when libcrypto cannot be opened.
const CryptoFunctions& Crypto();

// The version text of the libcrypto this process loads ("OpenSSL 3.0.11 19 Sep 2023");
// "(not available)" when it cannot be opened.
std::string CryptoVersion();

}  // namespace quarn
