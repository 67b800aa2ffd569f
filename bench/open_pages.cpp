// Benchmark program: opens a document, counts its pages and reads every page's MediaBox
// (inherited values count); with --rewrite it then writes the document in full to OUT.
//   open_pages IN [--rewrite OUT]
#include <cstdio>
#include <cstring>

#include "pdf/object/geometry.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/library/pdf_lib.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: open_pages IN [--rewrite OUT]\n");
    return 2;
  }
  quarn::CPDFLib lib;
  quarn::CPDFErrorRecord error;
  auto doc = lib.OpenDoc(argv[1], nullptr, error);
  if (!doc) {
    std::fprintf(stderr, "open: %s\n", error.Message().c_str());
    return 1;
  }
  const int count = doc->GetPageCount();
  double area = 0;
  for (int i = 0; i < count; ++i) {
    quarn::CPDFPage* page = doc->GetPage(i);
    quarn::CPDFRect* box = page ? page->Get_MediaBox() : nullptr;
    if (!box) {
      std::fprintf(stderr, "page %d: %s\n", i + 1, doc->LastError().Message().c_str());
      return 1;
    }
    area += static_cast<double>(box->Width()) * box->Height();
  }
  std::printf("%d pages, mean area %.1f\n", count, count ? area / count : 0.0);
  if (argc >= 4 && std::strcmp(argv[2], "--rewrite") == 0) {
    if (!doc->Save(argv[3], false, false) || !doc->Flush()) {
      std::fprintf(stderr, "rewrite: %s\n", doc->LastError().Message().c_str());
      return 1;
    }
  }
  return 0;
}
