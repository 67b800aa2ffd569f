// Test tool: opens a document, saves it under another name (or in place when no output is
// given) and prints the page count of the result.
//   quarn_roundtrip INPUT [OUTPUT] [-p PASSWORD] [-i]     (-i: incremental update)
#include <cstdio>
#include <cstring>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"

namespace {

int Fail(const char* step, const quarn::CPDFErrorRecord& error) {
  std::fprintf(stderr, "%s failed: %s %s %d %s\n", step, error.Module().c_str(),
               error.Method().c_str(), error.Code(), error.Message().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output, password;
  bool havePassword = false, incremental = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc) {
      password = argv[++i];
      havePassword = true;
    } else if (std::strcmp(argv[i], "-i") == 0) {
      incremental = true;
    } else if (input.empty()) {
      input = argv[i];
    } else {
      output = argv[i];
    }
  }
  if (input.empty()) {
    std::fprintf(stderr, "usage: quarn_roundtrip INPUT [OUTPUT] [-p PASSWORD] [-i]\n");
    return 2;
  }
  quarn::CPDFLib lib;
  quarn::CPDFErrorRecord error;
  auto doc = lib.OpenDoc(input, havePassword ? password.c_str() : nullptr, error);
  if (!doc) return Fail("open", error);
  const int pages = doc->GetPageCount();
  if (pages < 0) return Fail("page count", doc->LastError());
  if (!doc->Save(output.empty() ? input.c_str() : output.c_str(), incremental, false)) {
    return Fail("save", doc->LastError());
  }
  if (!doc->Flush()) return Fail("flush", doc->LastError());
  const int after = doc->GetPageCount();
  if (after < 0) return Fail("page count after flush", doc->LastError());
  std::printf("%d\n", after);
  return 0;
}
