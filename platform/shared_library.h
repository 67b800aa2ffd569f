// Libraries that only some runs need (the font services, the image codecs, the ciphers) are
// opened when first used instead of by the loader at start-up: a run that never meets a TrueType
// face, a DCT or CCITT image or an encrypted file does not pay for mapping and relocating them.
#pragma once

#include <stdexcept>
#include <string>

namespace quarn {

// A library needed now that cannot be opened, or lacks a function it must have. The message
// names the library and says why ("libjpeg.so.62: cannot open shared object file: ...").
class LibraryUnavailable : public std::runtime_error {
 public:
  explicit LibraryUnavailable(const std::string& reason)
      : std::runtime_error("library not available: " + reason) {}
};

// One library opened with dlopen. It stays open for the rest of the process: its functions may be
// held anywhere, and some of these libraries keep thread-local state that outlives a dlclose.
class SharedLibrary {
 public:
  // Opens `soname` through the loader's usual search. A set environment variable
  // `overrideVariable` names another file to open instead, so that tests can stand for a host
  // that lacks the library; it is not read for a set-user-ID or set-group-ID process.
  SharedLibrary(const char* soname, const char* overrideVariable);
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The address of function `name`, or null (the first failure is kept).
  void* Symbol(const char* name);
  // Fills `slot` with function `name` of the library's own declaration.
  template <class Function>
  void Resolve(Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(Symbol(name));
  }
  // Why the library or one of its functions could not be had; empty when all went well.
  const std::string& Failure() const { return m_failure; }

 private:
  void* m_handle = nullptr;
  std::string m_failure;
};

// The functions of a library, opened on first use: `Table` is a struct of function pointers and
// `fill` resolves them from a SharedLibrary. Throws LibraryUnavailable on every call when the
// library or a function is missing.
template <class Table>
class LazyLibrary {
 public:
  template <class Fill>
  LazyLibrary(const char* soname, const char* overrideVariable, Fill fill) {
    SharedLibrary library(soname, overrideVariable);
    fill(library, m_functions);
    m_failure = library.Failure();
  }
  const Table& Functions() const {
    if (!m_failure.empty()) throw LibraryUnavailable(m_failure);
    return m_functions;
  }
  bool Available() const { return m_failure.empty(); }

 private:
  Table m_functions{};
  std::string m_failure;
};

}  // namespace quarn

// A member of a function table, typed as the library's header declares the function.
#define QUARN_FUNCTION_SLOT(name) decltype(&::name) name = nullptr;
// Resolves a table member; used inside a LazyLibrary's fill as (library, table).
#define QUARN_RESOLVE_FUNCTION(name) library.Resolve(table.name, #name);
