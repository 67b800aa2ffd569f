// Writes small test PDFs: numbered object bodies laid out one after another, with a classic
// cross-reference table whose offsets are computed here.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/stream/stream.h"

namespace quarn::test {

// Object i + 1 of a document is objects[i] (the text between "obj" and "endobj").
inline std::string MakePdf(const std::vector<std::string>& objects,
                           const std::string& trailer = "/Root 1 0 R") {
  std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " " + trailer +
         " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// A stream object body holding exactly `data`, with `extra` entries in its dictionary. The
// data runs up to "endstream" (an end of line in front of it would belong to the data).
inline std::string StreamObject(const std::string& data, const std::string& extra = "") {
  return "<< /Length " + std::to_string(data.size()) + (extra.empty() ? "" : " " + extra) +
         " >>\nstream\n" + data + "endstream";
}

// `data` compressed in the zlib format, as FlateDecode expects it.
inline std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
           static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// A one-level document: catalog (1), page tree (2), then one page object per entry of `pages`
// (the text inside the page dictionary after "/Type /Page /Parent 2 0 R"), then `extra`
// objects numbered after the pages.
inline std::string MakePagesPdf(const std::vector<std::string>& pages,
                                const std::vector<std::string>& extra = {},
                                const std::string& treeEntries = "") {
  std::vector<std::string> objects;
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(i + 3) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) +
                    (treeEntries.empty() ? "" : " " + treeEntries) + " >>");
  for (const std::string& page : pages)
    objects.push_back("<< /Type /Page /Parent 2 0 R " + page + " >>");
  for (const std::string& object : extra) objects.push_back(object);
  return MakePdf(objects);
}

// Decoded content streams of page `index` of `doc`, joined by "|" ("<none>" for a part that is
// not a stream, "<no page>" when the page is missing).
inline std::string DecodedPageContents(CPDFDoc& doc, int index) {
  CPDFPage* page = doc.GetPage(index);
  if (!page) return "<no page>";
  CPDFObject* contents = page->Get_Contents();
  std::vector<CPDFStream*> streams;
  if (CPDFArray* parts = AsArray(contents)) {
    for (size_t i = 0; i < parts->Count(); ++i) {
      streams.push_back(dynamic_cast<CPDFStream*>(parts->GetObj(&doc, static_cast<int>(i))));
    }
  } else {
    streams.push_back(dynamic_cast<CPDFStream*>(contents));
  }
  std::string all;
  for (CPDFStream* stream : streams) {
    if (!all.empty()) all += "|";
    if (!stream) {
      all += "<none>";
      continue;
    }
    CPDFStream copy(&doc);
    copy.CopyFrom(*stream, &doc);
    CPDFErrorRecord error;
    copy.DecodeAllFilter(error);
    all += std::string(copy.Data(), copy.DataLength());
  }
  return all;
}

}  // namespace quarn::test
