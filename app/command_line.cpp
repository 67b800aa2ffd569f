#include "app/command_line.h"

#include <cctype>
#include <cstring>

namespace quarn {

namespace {

// A lone "-" is not an option but a file name: standard input or standard output.
bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

// Whether every character of `value` is one of `allowed`; an empty value is.
bool MadeOnlyOf(const char* value, const char* allowed) {
  for (const char* p = value; *p; ++p) {
    if (std::strchr(allowed, *p) == nullptr) return false;
  }
  return true;
}

std::optional<std::string> TextOf(const char* field) {
  if (field == nullptr) return std::nullopt;
  return std::string(field);
}

}  // namespace

bool ReadsAsPageList(const char* value) {
  return value != nullptr && MadeOnlyOf(value, "0123456789+-, \t");
}

bool ReadsAsNumberList(const char* value) {
  // The offsets are millimetres and may have decimals.
  return value != nullptr && MadeOnlyOf(value, "0123456789+-., \t");
}

const char* ProgramNameOf(const char* argv0) {
  // Some launchers pass no argv[0] at all; the usage text still needs a name.
  if (argv0 == nullptr) return "zorvane";
  const char* name = argv0;
  for (const char* p = argv0; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

bool CommandLine::Parse(int argc, const char* const* argv) {
  programName = ProgramNameOf(argc > 0 ? argv[0] : nullptr);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) break;
    if (IsOption(arg)) {
      const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
      // Only "-pw" takes a lone "-" as its value (standard input); after any other option it
      // stays a file name.
      const bool dashValue = next != nullptr && std::strcmp(next, "-") == 0;
      const bool takesDash = std::strcmp(arg, "-pw") == 0;
      // A negative angle ("-wmr -30") is the value of -wmr, not an option of its own.
      const bool negativeAngle =
          std::strcmp(arg, "-wmr") == 0 && next != nullptr && next[0] == '-' &&
          (std::isdigit(static_cast<unsigned char>(next[1])) || next[1] == '.');
      const char* value =
          next != nullptr && (!IsOption(next) || negativeAngle) && (!dashValue || takesDash)
              ? next
              : nullptr;
      if (ApplyOption(arg, value)) ++i;
    } else if (inputFile == nullptr) {
      inputFile = arg;
    } else if (outputFile == nullptr) {
      outputFile = arg;
    }
  }
  return version || help || versionSummary || inputFile != nullptr;
}

bool CommandLine::ApplyOption(const char* option, const char* value) {
  const char* name = option + 1;
  // Options that take a value keep their earlier value when none follows; -nbp is switched on
  // either way.
  auto takeValue = [value](const char*& field) {
    if (value == nullptr) return false;
    field = value;
    return true;
  };
  auto is = [name](const char* known) { return std::strcmp(name, known) == 0; };
  if (is("wm")) return takeValue(watermarkSpec);
  if (is("fit")) {
    fit = true;
  } else if (is("up")) {
    up = true;
  } else if (is("nbp")) {
    numberingOn = true;
    // The value is optional: a next word that is no page list is the next file name (the
    // output, written after the options), never taken for one.
    return ReadsAsPageList(value) && takeValue(numberingPagesSpec);
  } else if (is("nbf")) {
    return takeValue(numberFormatSpec);
  } else if (is("nbs")) {
    return ReadsAsNumberList(value) && takeValue(numberPlacementSpec);
  } else if (is("nbc")) {
    return takeValue(numberColourSpec);
  } else if (is("wmo")) {
    return takeValue(watermarkOpacitySpec);
  } else if (is("wmr")) {
    return takeValue(watermarkTurnSpec);
  } else if (is("wmt")) {
    return takeValue(textWatermarkSpec);
  } else if (is("wmf")) {
    return takeValue(watermarkFontSpec);
  } else if (is("sp")) {
    spread = true;
  } else if (is("pw")) {
    return takeValue(passwordFile);
  } else if (is("l")) {
    return takeValue(logFile);
  } else if (is("t")) {
    return takeValue(tempPath);
  } else if (is("v")) {
    version = true;
  } else if (is("inc")) {
    incremental = true;
  } else if (is("h") || is("-help")) {
    // The spellings users of other command-line tools reach for first.
    help = true;
  } else if (is("-version")) {
    versionSummary = true;
  } else {
    // Ignored, as ever, but no longer silently: a typo would otherwise pass for a run that did
    // what was asked. An unknown option never takes a value.
    unknownOptions.push_back(option);
  }
  return false;  // flags take no value
}

StampOptions CommandLine::ToStampOptions() const {
  StampOptions options;
  options.watermarkSpec = TextOf(watermarkSpec);
  options.fit = fit;
  options.up = up;
  options.numberingOn = numberingOn;
  options.numberingPagesSpec = TextOf(numberingPagesSpec);
  options.numberFormatSpec = TextOf(numberFormatSpec);
  options.numberPlacementSpec = TextOf(numberPlacementSpec);
  options.spread = spread;
  options.numberColourSpec = TextOf(numberColourSpec);
  options.watermarkOpacitySpec = TextOf(watermarkOpacitySpec);
  options.watermarkTurnSpec = TextOf(watermarkTurnSpec);
  options.textWatermarkSpec = TextOf(textWatermarkSpec);
  options.watermarkFontSpec = TextOf(watermarkFontSpec);
  options.passwordFile = TextOf(passwordFile);
  options.incremental = incremental;
  options.unknownOptions.assign(unknownOptions.begin(), unknownOptions.end());
  return options;
}

}  // namespace quarn
