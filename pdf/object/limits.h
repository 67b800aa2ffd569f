// Every hard limit of the library, each with the reason it exists.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::limits {

// Bytes of a password file's first line that are read: a PDF password has at most 127 bytes, so
// more is never a password, and a huge or endless file costs no more than this.
inline constexpr size_t kMaxPasswordLineBytes = 4096;
// Arrays and dictionaries nested deeper than this are hostile input, not documents.
inline constexpr int kMaxNesting = 512;
// Largest object number accepted from a file; keeps slot tables within a sane size.
inline constexpr int32_t kMaxObjectNumber = 8388607;
// A classic cross-reference table line holds a ten-digit offset: an output that puts an object
// further on cannot be described by one, and fails rather than write a line readers misread.
inline constexpr int64_t kMaxTableOffset = 9999999999;
// Tokens are read into 256-byte buffers, so a token has at most 255 bytes.
inline constexpr size_t kTokenBufferSize = 256;
// Stream data above this size moves from memory into a mapped temporary file.
inline constexpr size_t kHugeStringThreshold = 40960;
// Decoded stream data beyond this many bytes is treated as a decompression bomb (4 GiB).
inline constexpr uint64_t kMaxDecodedSize = uint64_t(4) << 30;
// Decoded content that must be held whole (a page's streams joined) takes at most this share of
// the spare temporary space and of the spare address space: the joined buffer and the scratch of
// the part being decoded each grow to twice their data in mapped files.
inline constexpr uint64_t kHeldContentTempShare = 2;    // 1/2 of the free temporary space
inline constexpr uint64_t kHeldContentMemoryShare = 4;  // 1/4 of the free address space
// More filters than this on one stream is not a real document.
inline constexpr int kMaxFiltersPerStream = 32;
// Copies made of page-tree nodes listed at more than one place: a tree whose nodes list one
// node twice at each level multiplies its pages with every level, and is hostile past this.
inline constexpr size_t kMaxPageTreeCopies = 65536;
// "Prev" chains longer than this are taken to loop.
inline constexpr int kMaxSections = 4096;
// Resource dictionaries nested deeper than this (forms inside forms' resources) stay unloaded.
inline constexpr int kMaxResourceNesting = 32;
// Typed dictionaries bound one inside another ("Next" actions, halftones, functions); deeper
// ones stay plain values.
inline constexpr int kMaxTypedNesting = 64;
// Steps along a "Parent" chain of form fields before it is taken to loop.
inline constexpr int kMaxFieldDepth = 256;
// Form fields looked at for a signature; a form with more is hostile, and the look ends there.
inline constexpr size_t kMaxFieldsInspected = 1 << 20;
// Depth of the recursive walks over values (copy, release, linearize) through containers and
// indirect references; deeper chains are hostile and would exhaust the stack.
inline constexpr int kMaxWalkDepth = 2048;
// Colour components of a predicted image: DeviceN allows 32 colourants; more is not an image.
inline constexpr int32_t kMaxPredictorColors = 32;
// Bytes of one predicted row, which is held whole together with the row above it: a row of
// a million pixels of 32 colourants at 16 bits fits; a longer one is hostile (64 MiB).
inline constexpr uint64_t kMaxPredictorRowBytes = uint64_t(64) << 20;
// Decoded object streams hold dictionaries and arrays only; more than this is a bomb (256 MiB).
inline constexpr uint64_t kMaxObjectStreamSize = uint64_t(256) << 20;
// Object streams whose own dictionaries lead into further object streams: deeper is a loop.
inline constexpr int kMaxObjectStreamNesting = 8;
// A repair decodes the object streams it finds up to this much in all (1 GiB): more is a bomb.
inline constexpr uint64_t kMaxRepairDecodedSize = uint64_t(1) << 30;
// Working memory an image codec may take for one image (libjpeg's pool, libtiff's buffers, one
// row of samples): counts in a damaged header must not reserve more (256 MiB).
inline constexpr uint64_t kMaxImageCodecMemory = uint64_t(256) << 20;
// Pixels of an image file made into a watermark, whose samples are held whole: 8192 x 8192 at
// four 8-bit samples a pixel fills kMaxImageCodecMemory.
inline constexpr uint64_t kMaxImagePixels = uint64_t(1) << 26;
// Bytes of an image file read whole to become a watermark (256 MiB): more is no logo.
inline constexpr uint64_t kMaxImageFileBytes = uint64_t(256) << 20;

// A CMap's beginbfchar block holds at most 100 entries, as the CMap format says; longer blocks
// are cut into several.
inline constexpr size_t kMaxCMapBlockEntries = 100;

}  // namespace quarn::limits
