// The stamping options of one run, as the command line gave them. The run frame hands them to
// the driver unchanged; the driver reads the comma-separated values.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarn {

struct StampOptions {
  std::optional<std::string> watermarkSpec;         // -wm "FileName,StartPage,EndPage"
  bool fit = false;                                 // -fit
  bool up = false;                                  // -up
  bool numberingOn = false;                         // -nbp, with or without a value
  std::optional<std::string> numberingPagesSpec;    // -nbp "StartPage,EndPage,Initial"
  std::optional<std::string> numberFormatSpec;      // -nbf "Type,Format,Font,Size"
  std::optional<std::string> numberPlacementSpec;   // -nbs "Location,OffsetX,OffsetY"
  bool spread = false;                              // -sp
  std::optional<std::string> numberColourSpec;      // -nbc "Colour,Opacity"
  std::optional<std::string> watermarkOpacitySpec;  // -wmo "Opacity"
  std::optional<std::string> watermarkTurnSpec;     // -wmr "Angle" or "diag"
  std::optional<std::string> textWatermarkSpec;     // -wmt "Text,StartPage,EndPage"
  std::optional<std::string> watermarkFontSpec;     // -wmf "Font,Size,Colour"
  std::optional<std::string> passwordFile;          // -pw: first line is the password; "-" stdin
  bool incremental = false;                         // -inc: the stamps as an incremental update
  std::vector<std::string> unknownOptions;          // ignored, each with a line in the log
};

}  // namespace quarn
