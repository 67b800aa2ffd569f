// Values for the tests: parse text into values, write values (or anything that writes itself)
// back to text, small arrays and byte strings, and the library's errors.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/values.h"

namespace quarn::test {

// Parses one value from `text` as a document reader would (numbers carry the generic number
// type), read through a buffer of `bufferSize` bytes.
std::unique_ptr<CPDFObject> Parse(const std::string& text, CPDFObjHolder* holder = nullptr,
                                  size_t bufferSize = 4096);
// The parsed value when it is a dictionary, else nullptr.
std::unique_ptr<CPDFDict> ParseDict(const std::string& text, CPDFObjHolder* holder = nullptr);
// The error that parsing `text` throws, or nothing when it parses.
std::optional<CPDFException> ParseError(const std::string& text);

// The bytes a value writes: values, streams and file parts through Serialize, graphic objects
// through Write; for a pointer the bytes of what it points to, nothing for nullptr.
template <typename Writable>
std::string Text(const Writable& value) {
  if constexpr (std::is_pointer_v<Writable>) {
    return value ? Text(*value) : std::string();
  } else {
    StringOutStream out;
    if constexpr (requires { value.Write(out); }) {
      value.Write(out);
    } else {
      value.Serialize(out);
    }
    return out.Str();
  }
}
// The bytes a value writes under encryption.
std::string Text(const CPDFAtom& value, const CPDFCryptContext* crypt);
// Parses `text` and writes the value again ("<nothing>" when nothing parses).
std::string Reserialize(const std::string& text);

// An array of numbers.
std::unique_ptr<CPDFArray> Numbers(std::initializer_list<float> values);
// A byte string from byte values.
std::string Bytes(std::initializer_list<int> values);

#define EXPECT_ERROR(error, module, method, code, message) \
  do {                                                     \
    ASSERT_TRUE((error).has_value());                      \
    EXPECT_EQ((error)->Module(), module);                  \
    EXPECT_EQ((error)->Method(), method);                  \
    EXPECT_EQ((error)->Code(), code);                      \
    EXPECT_EQ((error)->Message(), message);                \
  } while (0)

}  // namespace quarn::test
