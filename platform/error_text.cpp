#include "platform/error_text.h"

#include <locale.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <type_traits>

namespace quarn {

namespace {

struct LocaleFree {
  void operator()(locale_t locale) const { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

// The locale the user reads messages in: the environment's (LC_ALL, LC_MESSAGES, LC_CTYPE,
// LANG), whatever the process locale is. The process runs in a Shift-JIS locale for the font
// conversions, and the C library translates its texts by the locale it is given: the language
// from LC_MESSAGES and the bytes from the codeset of LC_CTYPE, so both come from the user.
LocaleHandle UserMessageLocale() {
  return LocaleHandle(newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "", nullptr));
}

// English texts in ASCII, made once, for when the user's locale cannot be made at all (an
// environment naming a locale the host lacks, or no memory left).
locale_t PlainLocale() {
  static const locale_t plain = newlocale(LC_ALL_MASK, "C", nullptr);
  return plain;
}

}  // namespace

std::string SystemErrorText(int errorNumber) {
  // Callers are usually in the middle of reporting a failure; errno stays theirs.
  const int savedErrno = errno;
  // Made afresh each time: error texts are rare, and a test or a caller that changes the
  // environment gets its texts in the new setting.
  const LocaleHandle user = UserMessageLocale();
  const locale_t locale = user ? user.get() : PlainLocale();
  const char* text = locale != nullptr ? strerror_l(errorNumber, locale) : nullptr;
  std::string result = text != nullptr && *text != '\0'
                           ? std::string(text)
                           : "Unknown error " + std::to_string(errorNumber);
  errno = savedErrno;
  return result;
}

}  // namespace quarn
