// The repair scanner on arbitrary bytes: object headers, trailers, catalogs, cross-reference
// and object streams found by reading the bytes through (cut at block boundaries too, by
// padding the input), then the object streams expanded. A document is then opened from the
// same bytes without any usable "startxref", so that it is repaired, read and rewritten in
// full. Nothing may crash, hang or leak.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/document/repair.h"
#include "pdf/object/in_stream.h"

namespace {

constexpr size_t kMaxRewriteSize = 1 << 16;

struct Files {
  std::string input;
  std::string output;
  Files() {
    const char* dir = std::getenv("TMPDIR");
    const std::string base =
        std::string(dir && *dir ? dir : "/tmp") + "/quarn-repair-fuzz-" + std::to_string(getpid());
    input = base + "-in.pdf";
    output = base + "-out.pdf";
  }
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte moves the input against the scanner's block boundary.
  std::string bytes(static_cast<size_t>(data[0]) * 257 % quarn::CPDFFileScan::kBlockSize, ' ');
  bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    quarn::MemInStream in(bytes.data(), bytes.size());
    auto scan = quarn::CPDFFileScan::Run(in);
    scan->ExpandObjectStreams(in);
    (void)scan->Catalog();
    (void)scan->StreamNumbers();
  }
  static const Files files;
  static quarn::CPDFLib lib;
  if (!WriteFile(files.input, "%PDF-1.7\n" + bytes)) return 0;
  quarn::CPDFErrorRecord error;
  auto doc = lib.OpenDoc(files.input, nullptr, error);
  if (!doc) return 0;
  (void)doc->GetPageCount();
  if (size <= kMaxRewriteSize && doc->Save(files.output.c_str(), false, false)) {
    if (doc->Flush()) (void)doc->GetPageCount();
  }
  doc.reset();
  unlink(files.output.c_str());
  return 0;
}
