// Test tool: opens a document and writes the fully decoded data of one stream object to
// standard output.
//
//   quarn_decode FILE OBJECT [GENERATION [PASSWORD]]
//
// Exit status: 0 decoded; 1 the filters failed; 2 the document did not open; 3 the object is
// not a stream; 4 usage.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/exception.h"
#include "pdf/stream/stream.h"

namespace {

void Report(const char* what, const quarn::CPDFErrorRecord& error) {
  std::fprintf(stderr, "%s\nModule: %s\nMethod: %s\nType: %s\nFactor: %s\n", what,
               error.Module().c_str(), error.Method().c_str(), quarn::ErrorCodeName(error.Code()),
               error.Message().c_str());
}

bool ParseInt(const char* text, int32_t& value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int32_t number = 0;
  int32_t generation = 0;
  if (argc < 3 || argc > 5 || !ParseInt(argv[2], number) ||
      (argc >= 4 && !ParseInt(argv[3], generation))) {
    std::fprintf(stderr, "usage: %s FILE OBJECT [GENERATION [PASSWORD]]\n", argv[0]);
    return 4;
  }
  quarn::CPDFLib lib;
  quarn::CPDFErrorRecord error;
  std::unique_ptr<quarn::CPDFDoc> doc = lib.OpenDoc(argv[1], argc == 5 ? argv[4] : nullptr, error);
  if (!doc) {
    Report("cannot open the document", error);
    return 2;
  }
  quarn::CPDFObject* object = doc->GetObj(quarn::CPDFObjRef(number, generation));
  if (!object || !object->IsType(quarn::kTypeStream)) {
    std::fprintf(stderr, "object %d %d is not a stream\n", number, generation);
    return 3;
  }
  auto* stream = static_cast<quarn::CPDFStream*>(object);
  if (!stream->DecodeAllFilter(error)) {
    Report("cannot decode the stream", error);
    return 1;
  }
  const char* data = stream->Data();
  const size_t length = stream->DataLength();
  if (length && std::fwrite(data, 1, length, stdout) != length) return 1;
  return std::fflush(stdout) == 0 ? 0 : 1;
}
