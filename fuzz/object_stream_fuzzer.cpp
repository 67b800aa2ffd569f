// Object streams from arbitrary bytes. The first bytes give "N" and "First"; the rest is the
// decoded data, whose objects are parsed by index and by number. Then the same data is put into
// a small document as an object stream that cross-reference entries point into (some of them
// at the object stream itself), which is opened, read and rewritten in full. Nothing may crash,
// hang or loop.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/document/object_stream.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/exception.h"

namespace {

struct Files {
  std::string input;
  std::string output;
  Files() {
    const char* dir = std::getenv("TMPDIR");
    const std::string base =
        std::string(dir && *dir ? dir : "/tmp") + "/quarn-objstm-fuzz-" + std::to_string(getpid());
    input = base + "-in.pdf";
    output = base + "-out.pdf";
  }
};

void Row(std::string& rows, int type, uint32_t second, int third) {
  rows.push_back(static_cast<char>(type));
  for (int shift = 24; shift >= 0; shift -= 8) rows.push_back(static_cast<char>(second >> shift));
  rows.push_back(static_cast<char>(third));
}

// catalog 1, page tree 2, object stream 3 holding the fuzz data, entries 4..11 compressed in 3
// (entry 11 names object stream 11 itself), the cross-reference stream 12.
std::string Document(const std::string& objStm, int count, int first) {
  std::string pdf = "%PDF-1.5\n";
  const size_t catalog = pdf.size();
  pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Extra 4 0 R >>\nendobj\n";
  const size_t pages = pdf.size();
  pdf += "2 0 obj\n<< /Type /Pages /Kids [5 0 R] /Count 1 >>\nendobj\n";
  const size_t stream = pdf.size();
  pdf += "3 0 obj\n<< /Type /ObjStm /N " + std::to_string(count) + " /First " +
         std::to_string(first) + " /Length " + std::to_string(objStm.size()) + " >>\nstream\n" +
         objStm + "\nendstream\nendobj\n";
  const size_t xref = pdf.size();
  std::string rows;
  Row(rows, 0, 0, 255);
  Row(rows, 1, static_cast<uint32_t>(catalog), 0);
  Row(rows, 1, static_cast<uint32_t>(pages), 0);
  Row(rows, 1, static_cast<uint32_t>(stream), 0);
  for (int i = 0; i < 7; ++i) Row(rows, 2, 3, i);
  Row(rows, 2, 11, 0);
  Row(rows, 1, static_cast<uint32_t>(xref), 0);
  pdf += "12 0 obj\n<< /Type /XRef /Size 13 /W [1 4 1] /Root 1 0 R /Length " +
         std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int count = data[0] % 16;
  const int first = data[1];
  const std::string objStm(reinterpret_cast<const char*>(data + 2), size - 2);
  try {
    auto stm = quarn::CPDFObjStm::FromData(3, objStm.data(), objStm.size(), count, first);
    for (size_t i = 0; i < stm->Count(); ++i) {
      try {
        (void)stm->ParseObject(stm->NumberAt(i), static_cast<int32_t>(i));
      } catch (const quarn::CPDFException&) {
      }
    }
  } catch (const quarn::CPDFException&) {
  }

  static const Files files;
  static quarn::CPDFLib lib;
  if (!WriteFile(files.input, Document(objStm, count, first))) return 0;
  quarn::CPDFErrorRecord error;
  auto doc = lib.OpenDoc(files.input, nullptr, error);
  if (!doc) return 0;
  for (int32_t num = 1; num <= 12; ++num) (void)doc->GetObj(quarn::CPDFObjRef(num, 0));
  (void)doc->GetPageCount();
  if (doc->Save(files.output.c_str(), false, false)) (void)doc->Flush();
  doc.reset();
  unlink(files.output.c_str());
  return 0;
}
