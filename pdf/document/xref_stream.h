// Cross-reference streams: a "Type" "XRef" stream that stands for a section's table and
// trailer. Its rows become entries of the same CPDFXRef that a table fills; rows of type 2 name
// the object stream that holds an object (CPDFXRefEntry::Compressed).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace quarn {

class CPDFDict;
class CPDFTrailer;
class CPDFXRef;
class CPDFXRefEntry;
class InStream;
class OutStream;

// "W" and "Index" of a cross-reference stream: the byte widths of the three fields of a row,
// and the runs of object numbers that the rows describe, in order.
struct XRefStreamLayout {
  std::array<int, 3> widths{};
  std::vector<std::pair<int32_t, int32_t>> ranges;  // first number, count

  // From the stream dictionary (direct values only: a section is read before anything can be
  // resolved). Throws code 4 ("CPDFXRef", "Serialize") for widths outside 0..8, runs that are
  // negative or pass the largest object number, or a missing "Size".
  static XRefStreamLayout Read(const CPDFDict& dict);
  size_t RowBytes() const { return static_cast<size_t>(widths[0] + widths[1] + widths[2]); }
  // The number of rows the runs describe.
  uint64_t RowCount() const;
};

class CPDFXRefStream {
 public:
  // True when the input at `offset` begins with an object header "N G obj" (a section that is
  // a stream) rather than "xref". The input position afterwards is not defined.
  static bool StartsAt(InStream& in, int64_t offset);

  // Reads the cross-reference stream object at `offset` and puts its rows into `table`, and,
  // when `trailer` is given, its trailer keys ("Size", "Prev", "Root", "Info", "ID",
  // "Encrypt") into the trailer, whose startxref becomes `offset`. Returns the stream's object
  // number. Throws code 4 ("CPDFXRef", "Serialize") when the object is not a cross-reference
  // stream or its data cannot be decoded.
  static int32_t Read(InStream& in, int64_t offset, CPDFXRef& table, CPDFTrailer* trailer);

  // Puts the decoded rows into `table`. An entry that the table holds in use already is kept
  // (a hybrid file's table wins over its "XRefStm" stream); rows beyond the data are missing,
  // rows of unknown types and rows naming impossible places are passed over.
  static void ReadEntries(const char* data, size_t size, const XRefStreamLayout& layout,
                          CPDFXRef& table);

  // Calls its visitor for each row of a section, in ascending number; called twice by Write.
  using Rows = std::function<void(const std::function<void(const CPDFXRefEntry&)>&)>;

  // Writes a section as a cross-reference stream at the output's position: the stream object
  // (its number is the last row's, which must be the stream itself and the highest number),
  // then "startxref" with `offset` and "%%EOF". Row 0 is the free-list head `freeHead`; `rows`
  // come in ascending number. The trailer's keys go into the stream's dictionary; the stream
  // is never encrypted. Rows are Flate-compressed behind the PNG "Up" predictor as they are
  // made: only the compressed data is held, a few bytes for many rows.
  static void Write(OutStream& out, int64_t offset, int32_t freeHead, const Rows& rows,
                    const CPDFDict& trailer);
};

}  // namespace quarn
