// Helpers for the object-model tests: parse text, write values, catch the library's errors.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "pdf/object/values.h"

namespace quarn::test {

// Parses one value from `text` (no document, no encryption).
inline std::unique_ptr<CPDFObject> Parse(const std::string& text, size_t bufferSize = 4096) {
  MemInStream in(text.data(), text.size(), bufferSize);
  return SerializeObject(nullptr, in);
}

// The error that parsing `text` throws, or nothing when it parses.
inline std::optional<CPDFException> ParseError(const std::string& text) {
  try {
    Parse(text);
  } catch (const CPDFException& e) {
    return e;
  }
  return std::nullopt;
}

// The bytes that a value writes.
inline std::string Write(const CPDFAtom& atom, const CPDFCryptContext* crypt = nullptr) {
  StringOutStream out;
  atom.Serialize(out, crypt);
  return out.Str();
}

// Parses `text` and writes the value again.
inline std::string Reserialize(const std::string& text) {
  auto value = Parse(text);
  if (!value) return "<nothing>";
  return Write(*value);
}

#define EXPECT_ERROR(error, module, method, code, message) \
  do {                                                     \
    ASSERT_TRUE((error).has_value());                      \
    EXPECT_EQ((error)->Module(), module);                  \
    EXPECT_EQ((error)->Method(), method);                  \
    EXPECT_EQ((error)->Code(), code);                      \
    EXPECT_EQ((error)->Message(), message);                \
  } while (0)

}  // namespace quarn::test
