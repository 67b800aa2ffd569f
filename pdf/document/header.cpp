#include "pdf/document/header.h"

#include <cstdio>

#include "pdf/object/exception.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"

namespace quarn {

namespace {
constexpr char kModule[] = "CPDFHeader";
constexpr char kMethod[] = "Serialize";

// Parses "<prefix>%ld.%ld"; both numbers must be there.
bool ParseVersion(const char* line, const char* format, int32_t& major, int32_t& minor) {
  long a = 0, b = 0;
  if (std::sscanf(line, format, &a, &b) != 2) return false;
  major = static_cast<int32_t>(a);
  minor = static_cast<int32_t>(b);
  return true;
}
}  // namespace

void CPDFHeader::Read(CPDFDoc* doc, InStream& in) {
  m_doc = doc;
  m_in = &in;
  char line[limits::kTokenBufferSize];
  if (ReadLine(in, line, sizeof line, true) == 0)
    Throw(kModule, kMethod, kInvalidFormat, "ioerror");
  if (ParseVersion(line, "%%PDF-%ld.%ld", m_major, m_minor)) {
    m_isFDF = false;
  } else if (ParseVersion(line, "%%FDF-%ld.%ld", m_major, m_minor)) {
    m_isFDF = true;
  } else {
    Throw(kModule, kMethod, kInvalidFormat, Format("invalidheader: %s", line));
  }
}

bool CPDFHeader::SetVersionName(const std::string& name) {
  // "major.minor" and nothing else; the line end makes trailing bytes show.
  const std::string text = name + "\n";
  long major = 0, minor = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%1ld.%2ld%c", &major, &minor, &end) != 3 || end != '\n' ||
      major < 1) {
    return false;
  }
  SetVersion(static_cast<int32_t>(major), static_cast<int32_t>(minor));
  return true;
}

void CPDFHeader::Serialize(OutStream& out) const {
  out.Printf(m_isFDF ? "%%FDF-%ld.%ld" : "%%PDF-%ld.%ld", static_cast<long>(m_major),
             static_cast<long>(m_minor));
  out << endl;
  // The high-bit bytes tell transfer programs that the file is binary.
  const char marker[] = {'\xE2', '\xE3', '\xCF', '\xD3', '\0'};
  out.Printf("%%%s\r\n", marker);
}

}  // namespace quarn
