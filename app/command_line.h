// The tool's command line. Text fields point into the argument vector (which lives as long as
// the process); nullptr means the argument was not given.
#pragma once

#include <vector>

#include "app/stamp_options.h"

namespace quarn {

class CommandLine {
 public:
  // Reads argv[0] for the program name and the remaining arguments for files and options.
  // True when -v, -h, --help or --version was given or an input file was found.
  bool Parse(int argc, const char* const* argv);

  StampOptions ToStampOptions() const;

  const char* programName = "";
  const char* inputFile = nullptr;
  const char* outputFile = nullptr;
  const char* watermarkSpec = nullptr;
  bool fit = false;
  bool up = false;
  bool numberingOn = false;
  const char* numberingPagesSpec = nullptr;
  const char* numberFormatSpec = nullptr;
  const char* numberPlacementSpec = nullptr;
  bool spread = false;
  const char* numberColourSpec = nullptr;
  const char* watermarkOpacitySpec = nullptr;
  const char* watermarkTurnSpec = nullptr;
  const char* textWatermarkSpec = nullptr;
  const char* watermarkFontSpec = nullptr;
  const char* passwordFile = nullptr;
  const char* logFile = nullptr;
  const char* tempPath = nullptr;
  bool version = false;         // -v: the banner on standard error
  bool help = false;            // -h, --help
  bool versionSummary = false;  // --version: the versions on standard output
  bool incremental = false;
  // Options that name nothing the tool knows, as typed: ignored, and each reported in the log.
  std::vector<const char*> unknownOptions;

 private:
  // Applies the option `option` (an argument that begins with "-"); `value` is the next argument
  // when it may serve as a value. Returns true when the value was consumed.
  bool ApplyOption(const char* option, const char* value);
};

// Whether `value` may be the value of -nbp: digits, signs, commas and blanks only (empty too).
bool ReadsAsPageList(const char* value);
// Whether `value` may be the value of -nbs: as a page list, and decimal points.
bool ReadsAsNumberList(const char* value);

// The part of argv[0] after its last "/" or "\".
const char* ProgramNameOf(const char* argv0);

}  // namespace quarn
