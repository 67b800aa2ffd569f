// The private state of a file scan, kept out of the installed header so that adding to it does
// not change the layout that programs linked against the shared library were built with.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "pdf/document/repair.h"
#include "pdf/object/values.h"

namespace quarn {

struct CPDFFileScan::Members {
  std::map<int32_t, Object> objects;
  std::map<int32_t, Compressed> compressed;
  std::map<int32_t, ObjectStream> objectStreams;
  // Sets and maps by object number: their size is bounded by the numbers, not by the file.
  std::map<int32_t, int64_t> xrefStreams;  // number -> offset of its last definition
  std::unique_ptr<CPDFDict> trailer;
  std::map<int32_t, int64_t> catalogs;  // number -> offset of its last catalog definition
  std::map<int32_t, int64_t> pages;     // number -> offset of its last page definition
  int64_t headerOffset = -1;
  std::vector<bool> referenced;  // by object number: one bit each, at most a megabyte
  bool encryption = false;
  Event pending;
};

}  // namespace quarn
