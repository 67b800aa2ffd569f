// The metrics built into the library (the standard 14 fonts, HeiseiMin-W3 and HeiseiKakuGo-W5)
// and the loading of AFM files from a directory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/font/afm_file.h"

namespace quarn {

// The 14 fonts every PDF reader has, by exact name.
bool IsStandard14FontName(std::string_view name);

// New metrics for a built-in font of that exact name, or nullptr.
std::unique_ptr<AFMFile> LoadBuiltInMetrics(std::string_view fontName);

// New metrics from the AFM file at `path`, or nullptr when it does not load.
std::unique_ptr<AFMFile> LoadAFMFile(const std::string& path);

// Loads every entry of `dir` that is not a directory as an AFM file, in name order (so that the
// outcome never depends on the order the file system lists them in), and hands each to `file`.
// Stops at the first entry that does not load and returns false; true when all loaded (an
// unreadable directory counts as empty).
bool ScanAFMDirectory(const std::string& dir,
                      const std::function<void(std::unique_ptr<AFMFile>)>& file);

// The AFM file name of a font in `dir`: the directory, the name and ".afm". Empty when the name
// holds a "/" or a zero byte, so that a font name taken from a document never picks a file
// outside that directory.
std::string AFMPathFor(const std::string& dir, std::string_view fontName);

}  // namespace quarn
