#include "pdf/object/exception.h"

#include <new>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "platform/error_text.h"
#include "platform/shared_library.h"

namespace quarn {

const char* ErrorCodeName(int code) {
  switch (code) {
    case kRuntimeError: return "Runtime Library Error";
    case kSystemError: return "System Error";
    case kUserError: return "User Error";
    case kInvalidFormat: return "Invalid Format";
    case kInternalError: return "Internal Error";
    default: return "";
  }
}

static std::string DefaultMessage(int code) {
  const int err = errno;
  if (err == 0) return std::string();
  if (code == kRuntimeError) return SystemErrorText(err);
  // The system's text, with the line end the host's message service gives it.
  if (code == kSystemError) return SystemErrorText(err) + "\r\n";
  return std::string();
}

CPDFException::CPDFException(const char* module, const char* method, int code, const char* message)
    : m_module(module ? module : ""), m_method(method ? method : ""), m_code(code),
      m_message(message ? std::string(message) : DefaultMessage(code)) {}

CPDFException::CPDFException(const char* module, const char* method, int code,
                             const std::string& message)
    : m_module(module ? module : ""), m_method(method ? method : ""), m_code(code),
      m_message(message) {}

void CPDFException::Clear() {
  m_module.clear();
  m_method.clear();
  m_code = kNoError;
  m_message.clear();
}

void CPDFException::Keep(const CPDFException& e) {
  if (!IsError()) *this = e;
}

const char* CPDFException::what() const noexcept {
  if (!m_message.empty()) return m_message.c_str();
  try {
    m_what = m_module + "::" + m_method;
  } catch (...) {
    return "CPDFException";
  }
  return m_what.c_str();
}

void KeepCurrentError(CPDFException& record, const char* module, const char* method) noexcept {
  try {
    try {
      throw;
    } catch (const CPDFException& e) {
      record.Keep(e);
    } catch (const std::bad_alloc&) {
      record.Keep(CPDFException(module, method, kRuntimeError, "out of memory"));
    } catch (const LibraryUnavailable& e) {
      record.Keep(CPDFException(module, method, kSystemError, e.what()));
    } catch (...) {
      record.Keep(CPDFException(module, method, kInternalError));
    }
  } catch (...) {
    // Copying the record itself ran out of memory: the failure stays reported by the caller's
    // return value.
  }
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

void Throw(const char* module, const char* method, int code, const std::string& message) {
  throw CPDFException(module, method, code, message);
}

void ThrowCode(const char* module, const char* method, int code) {
  throw CPDFException(module, method, code, nullptr);
}

}  // namespace quarn
