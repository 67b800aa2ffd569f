// The first line of a PDF or FDF file and the binary comment line written after it.
#pragma once

#include <cstdint>

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

 private:
  bool m_isFDF = false;
  int32_t m_major = 0;
  int32_t m_minor = 0;
};

}  // namespace quarn
