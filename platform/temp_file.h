// Writing a file in place without ever losing it: the new content goes into a temporary file
// beside the target, is forced to the disk, and one rename(2) puts it over the target. At every
// instant the target holds either its old or its new content.
#pragma once

#include <optional>
#include <string>

namespace quarn {

// A temporary file just created, empty, with a name no other file had.
struct TempSibling {
  std::string path;
  int fd = -1;  // open for reading and writing; the caller owns it and must close it
};

// Creates "<directory>/qxXXXXXX.pdf" exclusively (mkstemps: no race, never an existing file).
// An empty directory means the current one. Nothing with errno set on failure.
std::optional<TempSibling> CreateTempSibling(const std::string& directory);

// Forces `tempPath` to the disk, gives it the target's permission bits when the target exists,
// renames it over `targetPath` and forces the directory entry to the disk. On failure the
// target is untouched, the temporary is removed, and errno tells why.
bool ReplaceFileAtomically(const std::string& tempPath, const std::string& targetPath);

// Removes a file; false with errno set when it could not be removed.
bool RemoveFile(const std::string& path);

// True when `path` names anything the host can stat; one trailing "/" is ignored, so a
// directory kept with its trailing slash is found too.
bool FileExists(const std::string& path);

// The directory part of `path`: everything before the last "/", "/" for a file in the root,
// "." when there is no "/".
std::string DirectoryOf(const std::string& path);

}  // namespace quarn
