// The standard security handler, revisions 2 to 6: the encryption dictionary, the password
// checks that derive the file key (RC4 40 to 128 bits, AES-128 with crypt filters, AES-256), and
// (in cipher.cpp) the per-object ciphers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
  QUARN_ACCESSOR(Length, CPDFNumber)
  QUARN_ACCESSOR(CF, CPDFDict)
  QUARN_ACCESSOR(StmF, CPDFName)
  QUARN_ACCESSOR(StrF, CPDFName)
  QUARN_ACCESSOR(EncryptMetadata, CPDFBool)
  QUARN_ACCESSOR(OE, CPDFString)
  QUARN_ACCESSOR(UE, CPDFString)

  // "Filter" is "Standard" with a revision this handler reads: "R" 2 to 6 with "V" 1, 2, 4 or 5.
  bool IsStandard() const;
  // "O" and "U" (and from revision 5 on "OE" and "UE") hold at least the bytes their revision
  // gives them; bytes past that length are ignored, as readers ignore them.
  bool HasWholeEntries() const;
  int32_t Revision() const;
  // The file key's length in bytes (5 to 16 for RC4 and AES-128, 32 for AES-256): the one
  // "V" and "Length" give, unless another was set with SetKeyLength.
  size_t KeyLength() const;
  // RC4 key lengths in bytes that readers try when the one "Length" gives does not open the
  // file: "Length" in bytes rather than bits, rounded up to whole bytes, or missing where the
  // writer meant 128 bits. Empty for the handlers whose key length "Length" does not give.
  std::vector<size_t> OtherKeyLengths() const;
  void SetKeyLength(size_t bytes) { m_keyLength = bytes; }
  // "P" as the signed 32-bit value it stands for: some writers give its bits as an unsigned
  // number.
  int32_t Permissions() const;
  // The method of strings and of streams ("StrF", "StmF" through "CF" from version 4 on).
  CryptMethod StringMethod() const;
  CryptMethod StreamMethod() const;
  bool EncryptsMetadata() const;

 private:
  size_t m_keyLength = 0;  // set by SetKeyLength; 0 for the one "Length" gives
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

// The hash of revisions 5 (SHA-256) and 6 (the iterated SHA-256/384/512 with AES-128 rounds) over
// the password (UTF-8, at most 127 bytes), a salt and the user entry (empty for user checks).
std::array<uint8_t, 32> PasswordHash(int32_t revision, const std::string& password,
                                     const std::string& salt, const std::string& userEntry);

}  // namespace quarn
