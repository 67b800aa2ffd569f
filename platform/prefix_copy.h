// Copies the first bytes of one open file into another, in the kernel where it can.
#pragma once

#include <cstdint>

namespace quarn {

// Writes bytes [0, `size`) of `from` at offsets [0, `size`) of `to` and leaves `to`'s file
// position at `size`. A clone of the blocks (FICLONE) first, on file systems that share them
// (btrfs, XFS); then copy_file_range (the file system may share the blocks instead of
// copying them); where the kernel or the file systems refuse it, pread/write in large blocks.
// False with errno set when a read or a write fails or `from` holds fewer bytes.
bool CopyFilePrefix(int from, int to, int64_t size);

}  // namespace quarn
