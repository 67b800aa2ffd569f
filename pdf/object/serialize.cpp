// The store form of Serialize: the exact bytes written for every value class. Output goes byte
// by byte into the stream's buffer (OutStream::Put is inline), so escaping needs no buffer of
// its own.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "pdf/object/crypt_context.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/values.h"

namespace quarn {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void WriteInt(OutStream& out, int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.WriteBytes(buf, static_cast<size_t>(result.ptr - buf));
}

// Numbers that are not finite have no PDF form; their integer form is the closest valid text.
void WriteReal(OutStream& out, float real, int64_t fallback) {
  if (!std::isfinite(real)) {
    WriteInt(out, fallback);
    return;
  }
  const std::string text = FormatReal(real);
  out.WriteBytes(text.data(), text.size());
}

// The shortest decimal text (no exponent) that reads back as exactly `value`.
void WriteShortest(OutStream& out, double value, int64_t fallback) {
  if (!std::isfinite(value)) {
    WriteInt(out, fallback);
    return;
  }
  if (value == 0.0) value = 0.0;  // no "-0"
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (result.ec != std::errc()) {
    WriteInt(out, fallback);
    return;
  }
  out.WriteBytes(buf, static_cast<size_t>(result.ptr - buf));
}

void WriteHexByte(OutStream& out, unsigned char c) {
  out.Put(kHexDigits[c >> 4]);
  out.Put(kHexDigits[c & 15]);
}

bool NeedsNameEscape(unsigned char c) {
  return c <= 32 || c >= 127 || std::strchr("#%()/<>[]{}", c) != nullptr;
}

void WriteName(OutStream& out, std::string_view bytes) {
  out.Put('/');
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsNameEscape(c)) {
      out.Put('#');
      WriteHexByte(out, c);
    } else {
      out.Put(ch);
    }
  }
}

// The two-byte escape of a byte in a literal string, or 0 when it has none.
char LiteralEscape(unsigned char c) {
  static constexpr char kFrom[] = "\b\t\n\f\r()\\";
  static constexpr char kTo[] = "btnfr()\\";
  const void* at = c ? std::memchr(kFrom, c, sizeof kFrom - 1) : nullptr;
  return at ? kTo[static_cast<const char*>(at) - kFrom] : 0;
}

void WriteLiteralString(OutStream& out, std::string_view bytes) {
  out.Put('(');
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (const char escape = LiteralEscape(c)) {
      out.Put('\\');
      out.Put(escape);
    } else if (c < 32 || c >= 127) {
      out.Put('\\');
      out.Put(static_cast<char>('0' + (c >> 6)));
      out.Put(static_cast<char>('0' + ((c >> 3) & 7)));
      out.Put(static_cast<char>('0' + (c & 7)));
    } else {
      out.Put(ch);
    }
  }
  out.Put(')');
}

void WriteHexString(OutStream& out, std::string_view bytes) {
  out.Put('<');
  for (const char ch : bytes) WriteHexByte(out, static_cast<unsigned char>(ch));
  out.Put('>');
}

// Containers write a reference entry in its reference form and a direct value through its own
// Serialize with the container's crypt context.
void WriteEntry(OutStream& out, const CPDFAtom& atom, const CPDFCryptContext* crypt) {
  if (atom.IsRef()) {
    atom.Serialize(out);
  } else {
    atom.Serialize(out, crypt);
  }
}

}  // namespace

void CPDFObjRef::Serialize(OutStream& out, const CPDFCryptContext*) const {
  WriteInt(out, m_num);
  out.Put(' ');
  WriteInt(out, m_gen);
  out.WriteBytes(" R", 2);
}

size_t CPDFObjRef::ObjHeader(char (&buffer)[kObjHeaderSize]) const {
  char* end = std::to_chars(buffer, buffer + 12, m_num).ptr;
  *end++ = ' ';
  end = std::to_chars(end, end + 12, m_gen).ptr;
  std::memcpy(end, " obj", 4);
  return static_cast<size_t>(end + 4 - buffer);
}

void CPDFNull::Serialize(OutStream& out, const CPDFCryptContext*) const {
  out.WriteBytes("null", 4);
}

void CPDFBool::Serialize(OutStream& out, const CPDFCryptContext*) const {
  if (m_value) {
    out.WriteBytes("true", 4);
  } else {
    out.WriteBytes("false", 5);
  }
}

// A number read from a file is written with the value the file gave. Numbers built by code:
// small ones keep their fraction; beyond +-32767 only the integer is written.
void CPDFNumber::Serialize(OutStream& out, const CPDFCryptContext*) const {
  if (m_fromFile && m_integerToken) {
    WriteInt(out, m_int);
  } else if (m_fromFile) {
    WriteShortest(out, m_fileValue, m_int);
  } else if (m_int >= -32767 && m_int <= 32767) {
    WriteReal(out, m_real, m_int);
  } else {
    WriteInt(out, m_int);
  }
}

void CPDFInt::Serialize(OutStream& out, const CPDFCryptContext*) const {
  WriteInt(out, Int64Value());
}

void CPDFReal::Serialize(OutStream& out, const CPDFCryptContext*) const {
  WriteReal(out, RealValue(), Int64Value());
}

void CPDFName::Serialize(OutStream& out, const CPDFCryptContext*) const { WriteName(out, View()); }

void CPDFString::Serialize(OutStream& out, const CPDFCryptContext* crypt) const {
  std::string encrypted;
  std::string_view bytes = View();
  if (crypt) {
    // The string itself stays in clear text; only what is written is encrypted.
    encrypted.assign(bytes);
    crypt->EncryptString(encrypted);
    bytes = encrypted;
  }
  if (m_form == kLiteral) {
    WriteLiteralString(out, bytes);
  } else {
    WriteHexString(out, bytes);
  }
}

void CPDFArray::Serialize(OutStream& out, const CPDFCryptContext* crypt) const {
  out.Put('[');
  for (size_t i = 0; i < Count(); ++i) {
    if (i) out.Put(' ');
    WriteEntry(out, *At(i), crypt);
  }
  out.Put(']');
}

void CPDFDict::SerializeEntries(OutStream& out, const CPDFCryptContext* crypt) const {
  out.WriteBytes("<<\r\n", 4);
  for (const auto& [key, atom] : *this) {
    WriteName(out, key);
    out.Put(' ');
    WriteEntry(out, *atom, crypt);
    out.WriteBytes("\r\n", 2);
  }
  out.WriteBytes(">>", 2);
}

void CPDFDict::Serialize(OutStream& out, const CPDFCryptContext* crypt) const {
  SerializeEntries(out, crypt);
}

}  // namespace quarn
