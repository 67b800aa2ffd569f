#include "pdf/object/crypto_library.h"

namespace quarn {

const CryptoFunctions& Crypto() {
  static const LazyLibrary<CryptoFunctions> loaded(
      "libcrypto.so.3", "QUARN_LIBCRYPTO", [](SharedLibrary& library, CryptoFunctions& table) {
        QUARN_CRYPTO_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
      });
  return loaded.Functions();
}

std::string CryptoVersion() {
  try {
    return Crypto().OpenSSL_version(OPENSSL_VERSION);
  } catch (const LibraryUnavailable&) {
    return "(not available)";
  }
}

}  // namespace quarn
