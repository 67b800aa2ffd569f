// Writes small test PDFs from text: objects laid out one after another, object streams, and
// sections whose cross-reference tables or cross-reference streams (offsets, rows, /Prev) are
// computed here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quarn::test {

inline constexpr const char* kPdf14Header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
inline constexpr const char* kPdf15Header = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";

// zlib's compression of `data` at the default level (the format "FlateDecode" reads).
std::string Deflate(const std::string& data);
// PNG "Up" prediction of rows of `columns` bytes: each row led by tag 2 and holding its
// difference to the row above.
std::string PredictUp(const std::string& data, size_t columns);

// A stream object body holding `data`, with `length` as its declared "Length" and `extra`
// entries in its dictionary; an end of line stands between the data and "endstream".
std::string StreamBody(const std::string& data, const std::string& length,
                       const std::string& extra = "");
// A stream object body whose data, of the true length, runs up to "endstream" (the reader
// counts an end of line in front of "endstream" as data).
std::string StreamObject(const std::string& data, const std::string& extra = "");

class PdfBuilder {
 public:
  // `start`: the text the file begins with (a header, or a whole earlier file to update).
  explicit PdfBuilder(std::string start = kPdf14Header) : m_text(std::move(start)) {}

  // Appends "num gen obj" body "endobj", listed in the next section as in use at its offset.
  PdfBuilder& Obj(int num, const std::string& body, int gen = 0);
  // Appends object stream `num` holding `objects` (number, text), compressed when `flate`;
  // each object is listed as compressed in it. `extra` goes into its dictionary.
  PdfBuilder& ObjStm(int num, const std::vector<std::pair<int, std::string>>& objects,
                     bool flate = false, const std::string& extra = "");
  // Lists a free entry: `next` is the following number of the free list.
  PdfBuilder& Free(int num, int next, int gen);
  // Lists an entry as given without writing an object: `type` 0 free, 1 in use at offset
  // `second` with generation `third`, 2 object `third` of object stream `second`.
  PdfBuilder& Entry(int num, int type, uint64_t second, int third);
  // Appends raw bytes.
  PdfBuilder& Raw(const std::string& bytes);
  // Links the next section to a section written before this builder took over the text.
  PdfBuilder& Prev(int64_t offset);

  // Ends a section with a classic table (the first one opens with object 0, whose link is
  // `freeHead`), then "trailer", the entries given plus "/Prev" after the first section,
  // "startxref", "%%EOF".
  PdfBuilder& Section(const std::string& trailerEntries, int freeHead = 0);
  // Ends a section with cross-reference stream `num` (which lists itself), the trailer keys
  // given plus "/Size" and "/Prev" after the first section. `predicted`: Flate with PNG Up.
  PdfBuilder& StreamSection(int num, const std::string& trailerEntries, bool predicted = false);

  const std::string& Str() const { return m_text; }
  int64_t LastXRef() const { return m_lastXRef; }

 private:
  struct Row {
    int type;
    uint64_t second;
    int third;
  };
  // Runs of consecutive numbers: (first number, rows).
  std::vector<std::pair<int, std::vector<Row>>> Runs() const;

  std::string m_text;
  std::map<int, Row> m_rows;
  int64_t m_lastXRef = -1;
  int m_highest = 0;
};

// Objects numbered 1..n in one section; the trailer gets "/Size n+1" and `trailer`.
std::string MakePdf(const std::vector<std::string>& objects,
                    const std::string& trailer = "/Root 1 0 R");

// A one-level document: catalog (1), page tree (2), then one page object per entry of `pages`
// (the text inside the page dictionary after "/Type /Page /Parent 2 0 R"), then `extra`
// objects numbered after the pages; `treeEntries` go into the page tree.
std::string MakePagesPdf(const std::vector<std::string>& pages,
                         const std::vector<std::string>& extra = {},
                         const std::string& treeEntries = "");

// A document of `pages` pages under one flat tree with a 612 x 792 MediaBox: page i has
// "/Resources << >> /Rotate i"; `extra` objects follow the pages.
std::string MakeFlatPdf(int pages, const std::vector<std::string>& extra = {});

}  // namespace quarn::test
