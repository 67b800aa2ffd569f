// Copies the first bytes of one open file into another, in the kernel where it can.
#pragma once

#include <cstdint>

namespace quarn {

// Writes bytes [0, `size`) of `from` at offsets [0, `size`) of `to` (a new, empty file) and
// leaves `to`'s file position at `size`. A clone of the blocks (FICLONE) first, on file systems
// that share them (btrfs, XFS); else only the stretches of `from` that hold data are copied, so
// that its holes stay holes: with copy_file_range (the file system may share the blocks instead
// of copying them), or, where the kernel refuses it, with pread/write in large blocks.
// False with errno set when a read or a write fails or `from` holds fewer bytes.
bool CopyFilePrefix(int from, int to, int64_t size);

}  // namespace quarn
