// The library's one error type and the first-error-wins record that public operations keep.
#pragma once

#include <exception>
#include <string>

namespace quarn {

enum ErrorCode : int {
  kNoError = 0,
  kRuntimeError = 1,   // a standard-library call failed
  kSystemError = 2,    // an operating-system call failed
  kUserError = 3,      // the caller asked for something impossible
  kInvalidFormat = 4,  // malformed input
  kInternalError = 5,  // a sub-step failed
};

// Name of an error code as printed in "Type: %s"; empty for unknown codes.
const char* ErrorCodeName(int code);

class CPDFException : public std::exception {
 public:
  CPDFException() = default;
  // With message == nullptr the text is filled from the code: code 1 takes strerror(errno),
  // code 2 the system's text for errno; other codes leave it empty.
  CPDFException(const char* module, const char* method, int code, const char* message = nullptr);
  CPDFException(const char* module, const char* method, int code, const std::string& message);

  const std::string& Module() const { return m_module; }
  const std::string& Method() const { return m_method; }
  int Code() const { return m_code; }
  const std::string& Message() const { return m_message; }

  bool IsError() const { return m_code != kNoError; }
  // The message, or "module::method" when there is none.
  const char* what() const noexcept override;
  void Clear();

  // First error wins: copies `e` only when this record holds no error yet.
  void Keep(const CPDFException& e);

 private:
  std::string m_module;
  std::string m_method;
  int m_code = kNoError;
  std::string m_message;
  mutable std::string m_what;
};

// The error boundary of a public operation, called from its `catch (...)`: keeps the exception
// in flight in `record` (first error wins): a CPDFException as it is, running out of memory as
// (module, method, 1, "out of memory"), anything else as (module, method, 5).
void KeepCurrentError(CPDFException& record, const char* module, const char* method) noexcept;

// The last-error record of documents, streams and fonts has the same four fields.
using CPDFErrorRecord = CPDFException;

// printf-style formatting into a std::string (messages such as "invalidtoken: %s").
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Throws a CPDFException; the usual way to raise an error inside the library.
[[noreturn]] void Throw(const char* module, const char* method, int code, const std::string& message);
[[noreturn]] void ThrowCode(const char* module, const char* method, int code);

}  // namespace quarn
