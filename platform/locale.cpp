#include "platform/locale.h"

#include <clocale>

namespace quarn {

const std::vector<std::string>& HostLocaleCandidates() {
  static const std::vector<std::string> candidates = {
      "ja_JP.SJIS", "ja_JP.sjis", "japanese", "ja_JP.UTF-8", "ja_JP.utf8", "", "C"};
  return candidates;
}

std::optional<std::string> SetHostLocale() {
  for (const std::string& name : HostLocaleCandidates()) {
    if (const char* chosen = std::setlocale(LC_ALL, name.c_str())) return std::string(chosen);
  }
  return std::nullopt;
}

}  // namespace quarn
