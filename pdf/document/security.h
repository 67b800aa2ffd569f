// The standard security handler, first revision: the encryption dictionary, the password
// checks that derive the 40-bit document key, and (in cipher.cpp) the per-object RC4 cipher.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pdf/object/crypt_context.h"
#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFEncryptDict : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFEncryptDict, CPDFDict, "")
 public:
  // Takes over `source`; "P" is required and an indirect "P" becomes a direct integer.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }
  // The encryption dictionary is always written in clear, whatever key it is handed.
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;

  QUARN_ACCESSOR(Filter, CPDFName)
  QUARN_ACCESSOR(R, CPDFNumber)
  QUARN_ACCESSOR(V, CPDFNumber)
  QUARN_ACCESSOR(O, CPDFString)
  QUARN_ACCESSOR(U, CPDFString)
  QUARN_ACCESSOR(P, CPDFNumber)

  // "Filter" is "Standard", "R" is 2 and "V" is 1.
  bool IsStandard() const;
};

// A dictionary whose "Filter" is a name; for "Standard", "R", "O", "U" and "P" as well.
bool IsEncryptDict(CPDFObjHolder* doc, CPDFObject* value);

// The 32-byte padding of the standard security handler.
const std::array<uint8_t, 32>& PasswordPadding();

// Tries `password` as the user password; on success the 5-byte document key is in `key`.
// `fileId` is the first string of the trailer's "ID", or nullptr.
bool CheckUserPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                       const std::string& password, CPDFCryptContext::DocumentKey& key);
// Tries `password` as the owner password (it recovers the user password from "O").
bool CheckOwnerPassword(const CPDFEncryptDict& dict, const CPDFString* fileId,
                        const std::string& password, CPDFCryptContext::DocumentKey& key);

// MD5 (RFC 1321) through libcrypto.
std::array<uint8_t, 16> Md5(const void* data, size_t n);

}  // namespace quarn
