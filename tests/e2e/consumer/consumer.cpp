// A program outside the project that uses the installed libquarn: it opens a PDF file, prints
// its page count and saves it under a new name.
#include <cstdio>
#include <memory>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"

namespace {

int Fail(const char* what, const quarn::CPDFErrorRecord& error) {
  std::fprintf(stderr, "%s: %s::%s: %s (%s)\n", what, error.Module().c_str(),
               error.Method().c_str(), error.Message().c_str(), quarn::ErrorCodeName(error.Code()));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s input.pdf output.pdf\n", argv[0]);
    return 2;
  }
  quarn::CPDFLib lib;
  quarn::CPDFErrorRecord error;
  std::unique_ptr<quarn::CPDFDoc> doc = lib.OpenDoc(argv[1], nullptr, error);
  if (!doc) return Fail("open", error);

  const int pages = doc->GetPageCount();
  if (pages < 0) return Fail("count pages", doc->LastError());
  std::printf("pages: %d\n", pages);

  if (!doc->Save(argv[2], false, false)) return Fail("save", doc->LastError());
  if (!doc->Flush()) return Fail("flush", doc->LastError());
  doc->Close();
  return 0;
}
