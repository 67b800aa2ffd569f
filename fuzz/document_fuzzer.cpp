// Opens arbitrary bytes as a document: the cross-reference sections, the trailer, the security
// handler, the page tree and the inherited attributes of every page; a document that opens is
// then rewritten in full into a second file. Nothing may crash, hang or leak.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/object/geometry.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/library/pdf_lib.h"
#include "reference_swap.h"

namespace {

// Page lookups per input; a hostile "Count" must not turn one input into hours of work.
constexpr int kMaxPages = 200;
// Inputs up to this size are also rewritten (writing is slower than reading).
constexpr size_t kMaxRewriteSize = 1 << 16;

struct Files {
  std::string input;
  std::string output;
  Files() {
    const char* dir = std::getenv("TMPDIR");
    const std::string base =
        std::string(dir && *dir ? dir : "/tmp") + "/quarn-doc-fuzz-" + std::to_string(getpid());
    input = base + "-in.pdf";
    output = base + "-out.pdf";
  }
};

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Files files;
  static quarn::CPDFLib lib;
  if (!WriteInput(files.input, data, size)) return 0;
  quarn::CPDFErrorRecord error;
  // An empty user password opens the encrypted inputs that have one.
  auto doc = lib.OpenDoc(files.input, "", error);
  if (!doc) return 0;
  // Half the inputs have their page tree mended first, as the tool does; the other half reach
  // the page walks with the tree as the file has it.
  if (size % 2) (void)doc->RepairPageTree();
  const int count = doc->GetPageCount();
  for (int i = 0; i < count && i < kMaxPages; ++i) {
    quarn::CPDFObjRef ref;
    quarn::CPDFPage* page = doc->GetPage(i, &ref);
    if (!page) continue;
    if (quarn::CPDFRect* box = page->Get_MediaBox()) (void)box->Width();
    (void)page->Get_Resources();
  }
  if (size <= kMaxRewriteSize && doc->Save(files.output.c_str(), false, false)) {
    if (doc->Flush()) (void)doc->GetPageCount();
  }
  doc.reset();
  unlink(files.output.c_str());
  return 0;
}

// One mutation in three points references at other objects (see reference_swap.h); the rest
// are libFuzzer's own.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  if (seed % 3 == 0) {
    if (const size_t swapped = fuzz::SwapReferences(data, size, seed)) return swapped;
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}
