#include "platform/shared_library.h"

#include <dlfcn.h>

#include <cstdlib>

namespace quarn {

namespace {

std::string LoaderError(const char* fallback) {
  const char* text = dlerror();
  return text != nullptr ? text : fallback;
}

}  // namespace

SharedLibrary::SharedLibrary(const char* soname, const char* overrideVariable) {
  const char* replacement = overrideVariable != nullptr ? secure_getenv(overrideVariable) : nullptr;
  const char* file = replacement != nullptr && *replacement != '\0' ? replacement : soname;
  // RTLD_LOCAL: the library's symbols do not take part in resolving anyone else's.
  m_handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (m_handle == nullptr) m_failure = LoaderError(file);
}

void* SharedLibrary::Symbol(const char* name) {
  if (m_handle == nullptr) return nullptr;
  dlerror();
  void* address = dlsym(m_handle, name);
  if (address == nullptr && m_failure.empty()) m_failure = LoaderError(name);
  return address;
}

}  // namespace quarn
