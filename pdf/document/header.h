// The first line of a PDF or FDF file and the binary comment line written after it.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/document/file_struct.h"

namespace quarn {

class CPDFHeader : public CPDFFileStruct {
 public:
  explicit CPDFHeader(CPDFDoc* doc = nullptr) : CPDFFileStruct(kHeader, doc) {}

  // Reads "%PDF-m.n" or "%FDF-m.n" from the current position; throws on failure.
  void Read(CPDFDoc* doc, InStream& in);
  // "%PDF-m.n" (or "%FDF-m.n") CR LF, then a comment of four high-bit bytes CR LF.
  void Serialize(OutStream& out) const override;

  bool IsFDF() const { return m_isFDF; }
  void SetFDF(bool fdf) { m_isFDF = fdf; }
  int32_t Major() const { return m_major; }
  int32_t Minor() const { return m_minor; }
  void SetVersion(int32_t major, int32_t minor) {
    m_major = major;
    m_minor = minor;
  }
  // A header that could not be read: its version is the one assumed, until the catalog's
  // "Version" gives a better one.
  bool IsAssumed() const { return m_assumed; }
  void SetAssumed(bool assumed) { m_assumed = assumed; }
  // Takes a "Version" name such as "1.7"; false when it does not read as one.
  bool SetVersionName(const std::string& name);

 private:
  bool m_isFDF = false;
  int32_t m_major = 0;
  int32_t m_minor = 0;
  bool m_assumed = false;
};

}  // namespace quarn
