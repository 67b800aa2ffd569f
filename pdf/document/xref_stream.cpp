#include "pdf/document/xref_stream.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/flate_filter.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFXRef";
constexpr char kMethod[] = "Serialize";
// A field is at most this many bytes: offsets of files up to 2^64 bytes.
constexpr int kMaxFieldWidth = 8;
// How many bytes of rows are made before they are handed to the compressor.
constexpr size_t kEncodeBlock = size_t(64) << 10;
constexpr const char* kTrailerKeys[] = {"Size", "Prev", "Root", "Info", "ID", "Encrypt"};

[[noreturn]] void Fail(const std::string& message) {
  Throw(kModule, kMethod, kInvalidFormat, message);
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A direct integer entry, or nullptr.
const CPDFNumber* DirectNumber(const CPDFDict& dict, const char* key) {
  CPDFAtom* atom = dict.Lookup(key);
  if (!atom || !atom->IsObject()) return nullptr;
  return AsNumber(static_cast<CPDFObject*>(atom));
}

const CPDFArray* DirectArray(const CPDFDict& dict, const char* key) {
  CPDFAtom* atom = dict.Lookup(key);
  if (!atom || !atom->IsObject()) return nullptr;
  return AsArray(static_cast<CPDFObject*>(atom));
}

int32_t DirectElement(const CPDFArray& array, size_t i) {
  CPDFAtom* atom = array.At(i);
  CPDFNumber* number =
      atom && atom->IsObject() ? AsNumber(static_cast<CPDFObject*>(atom)) : nullptr;
  if (!number) Fail("invalid cross-reference stream: W and Index must hold numbers");
  return number->IntValue();
}

// The number of bytes that hold `value` (at least `least`).
int BytesFor(uint64_t value, int least) {
  int bytes = 1;
  while (bytes < kMaxFieldWidth && (value >> (8 * bytes)) != 0) ++bytes;
  return std::max(bytes, least);
}

// The three fields of a written row: type, then offset / next free / object stream, then
// generation / index.
std::array<uint64_t, 3> RowFields(const CPDFXRefEntry& e) {
  if (!e.InUse()) return {0, static_cast<uint64_t>(e.Offset()), static_cast<uint64_t>(e.Gen())};
  if (e.IsCompressed()) {
    return {2, static_cast<uint64_t>(e.ObjStmNum()), static_cast<uint64_t>(e.ObjStmIndex())};
  }
  return {1, static_cast<uint64_t>(e.Offset()), static_cast<uint64_t>(e.Gen())};
}

std::unique_ptr<CPDFArray> IntArray(const std::vector<int32_t>& values) {
  auto array = std::make_unique<CPDFArray>();
  for (const int32_t v : values) array->Push_Back(std::make_unique<CPDFInt>(v));
  return array;
}

uint64_t Field(const unsigned char* row, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | row[i];
  return value;
}

}  // namespace

XRefStreamLayout XRefStreamLayout::Read(const CPDFDict& dict) {
  XRefStreamLayout layout;
  const CPDFArray* w = DirectArray(dict, "W");
  if (!w || w->Count() < 3) Fail("invalid cross-reference stream: W");
  for (size_t i = 0; i < 3; ++i) {
    const int32_t width = DirectElement(*w, i);
    if (width < 0 || width > kMaxFieldWidth) {
      Fail(Format("invalid cross-reference stream: W field width %d", width));
    }
    layout.widths[i] = width;
  }
  if (layout.RowBytes() == 0) Fail("invalid cross-reference stream: W");
  const CPDFNumber* size = DirectNumber(dict, "Size");
  if (!size || size->IntValue() < 0) Fail("invalid cross-reference stream: Size");
  const CPDFArray* index = DirectArray(dict, "Index");
  if (!index) {
    layout.ranges.emplace_back(0, size->IntValue());
  } else {
    if (index->Count() % 2 != 0) Fail("invalid cross-reference stream: Index");
    for (size_t i = 0; i + 1 < index->Count(); i += 2) {
      layout.ranges.emplace_back(DirectElement(*index, i), DirectElement(*index, i + 1));
    }
  }
  for (const auto& [first, count] : layout.ranges) {
    // Checked in 64 bits: a run must neither start below 0 nor reach past the largest number.
    if (first < 0 || count < 0 ||
        static_cast<int64_t>(first) + count > static_cast<int64_t>(limits::kMaxObjectNumber) + 1) {
      Fail(Format("invalid cross-reference stream: Index run %d %d", first, count));
    }
  }
  return layout;
}

uint64_t XRefStreamLayout::RowCount() const {
  uint64_t rows = 0;
  for (const auto& range : ranges) rows += static_cast<uint64_t>(range.second);
  return rows;
}

bool CPDFXRefStream::StartsAt(InStream& in, int64_t offset) {
  if (!in.Seek(offset)) return false;
  std::string num, gen, keyword;
  return ReadToken(in, num) && AllDigits(num) && ReadToken(in, gen) && AllDigits(gen) &&
         ReadToken(in, keyword) && keyword == "obj";
}

int32_t CPDFXRefStream::Read(InStream& in, int64_t offset, CPDFXRef& table, CPDFTrailer* trailer) {
  if (!in.Seek(offset)) Fail("ioerror");
  std::string num, gen, keyword;
  if (!ReadToken(in, num) || !ReadToken(in, gen) || !ReadToken(in, keyword)) Fail("ioerror");
  if (!AllDigits(num) || !AllDigits(gen) || keyword != "obj") {
    Fail(Format("invalidtoken: %s", num.c_str()));
  }
  const long number = std::strtol(num.c_str(), nullptr, 10);
  if (number <= 0 || number > limits::kMaxObjectNumber) {
    Fail(Format("object number out of range: %s", num.c_str()));
  }
  // Read without a document: nothing can be resolved while the sections are being read, and
  // the stream is never decrypted.
  std::unique_ptr<CPDFObject> object = SerializeObject(nullptr, in, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(object.get());
  if (!stream) Fail(Format("not a cross-reference stream: %s %s obj", num.c_str(), gen.c_str()));
  CPDFAtom* type = stream->Lookup("Type");
  CPDFName* typeName = type && type->IsObject() ? AsName(static_cast<CPDFObject*>(type)) : nullptr;
  if (!typeName || !typeName->Equals("XRef")) {
    Fail(Format("not a cross-reference stream: %s %s obj", num.c_str(), gen.c_str()));
  }
  // The data was found by its "endstream" whatever Length says, but other readers take the
  // Length: a section whose data does not end there (but for white space) is unreadable to
  // them, and an incremental update chained to it would hide the whole file from them (they
  // rebuild a file whose newest section is unreadable, not one whose older section is).
  if (!stream->LengthFits()) {
    Fail(Format("cross-reference stream %ld: Length does not fit its %zu bytes", number,
                stream->DataLength()));
  }
  const XRefStreamLayout layout = XRefStreamLayout::Read(*stream);
  // The rows bound the data: anything that decodes to far more (beyond a predictor's tag bytes
  // and some slack) is not this stream's data but a bomb.
  const uint64_t limit = std::min<uint64_t>(2 * (layout.RowBytes() + 1) * layout.RowCount() + 65536,
                                            limits::kMaxDecodedSize);
  CPDFErrorRecord error;
  if (!stream->DecodeAllFilterWithin(limit, error)) {
    Fail(Format("cross-reference stream %ld: %s", number, error.Message().c_str()));
  }
  // Data short of its rows means that W or Index is not what the stream was written with:
  // its rows would be read at the wrong places, and objects found at offsets nobody wrote.
  if (stream->DataLength() / layout.RowBytes() < layout.RowCount()) {
    Fail(Format("cross-reference stream %ld: %zu bytes for %llu rows of %zu", number,
                stream->DataLength(), static_cast<unsigned long long>(layout.RowCount()),
                layout.RowBytes()));
  }
  ReadEntries(stream->Data(), stream->DataLength(), layout, table);
  table.AddStreamNumber(static_cast<int32_t>(number));
  if (trailer) {
    for (const char* key : kTrailerKeys) {
      if (CPDFAtom* atom = stream->Lookup(key)) trailer->Dict().Insert(key, atom->CloneAtom());
    }
    trailer->SetStartXRef(offset);
  }
  return static_cast<int32_t>(number);
}

void CPDFXRefStream::ReadEntries(const char* data, size_t size, const XRefStreamLayout& layout,
                                 CPDFXRef& table) {
  const size_t rowBytes = layout.RowBytes();
  if (!data || rowBytes == 0) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  const int typeWidth = layout.widths[0];
  const int secondWidth = layout.widths[1];
  const int thirdWidth = layout.widths[2];
  size_t at = 0;
  for (const auto& [first, count] : layout.ranges) {
    for (int32_t k = 0; k < count; ++k, at += rowBytes) {
      if (at > size || size - at < rowBytes) return;
      const unsigned char* row = bytes + at;
      // Without a type field every row is an object in use.
      const uint64_t type = typeWidth ? Field(row, typeWidth) : 1;
      const uint64_t second = Field(row + typeWidth, secondWidth);
      const uint64_t third = Field(row + typeWidth + secondWidth, thirdWidth);
      const int32_t num = first + k;
      if (num == 0) {
        if (type == 0 && second <= static_cast<uint64_t>(limits::kMaxObjectNumber)) {
          table.SetFreeHead(static_cast<int32_t>(second));
        }
        continue;
      }
      const CPDFXRefEntry* held = table.GetEntry(num);
      if (held && held->InUse()) continue;
      const auto gen = static_cast<int32_t>(std::min<uint64_t>(third, CPDFXRef::kMaxGeneration));
      switch (type) {
        case 0:
          if (!held) {
            const uint64_t next =
                second <= static_cast<uint64_t>(limits::kMaxObjectNumber) ? second : 0;
            table.SetEntry(CPDFXRefEntry(num, gen, static_cast<int64_t>(next), false));
          }
          break;
        case 1:
          if (second <= static_cast<uint64_t>(INT64_MAX)) {
            table.SetEntry(CPDFXRefEntry(num, gen, static_cast<int64_t>(second), true));
          }
          break;
        case 2:
          if (second > 0 && second <= static_cast<uint64_t>(limits::kMaxObjectNumber) &&
              third <= static_cast<uint64_t>(INT32_MAX)) {
            table.SetEntry(CPDFXRefEntry::Compressed(num, static_cast<int32_t>(second),
                                                     static_cast<int32_t>(third)));
          }
          break;
        default:
          break;  // another type stands for the null object: no entry
      }
    }
  }
}

void CPDFXRefStream::Write(OutStream& out, int64_t offset, int32_t freeHead, const Rows& rows,
                           const CPDFDict& trailer) {
  const std::array<uint64_t, 3> head{0, static_cast<uint64_t>(freeHead),
                                     CPDFXRef::kMaxGeneration};
  // First pass: the runs of numbers and the widths the fields need.
  std::vector<int32_t> index{0, 1};
  int second = std::max(1, BytesFor(head[1], 1)), third = std::max(2, BytesFor(head[2], 2));
  int32_t last = -1;
  rows([&](const CPDFXRefEntry& row) {
    if (row.Num() == index[index.size() - 2] + index.back()) {
      ++index.back();
    } else {
      index.push_back(row.Num());
      index.push_back(1);
    }
    const std::array<uint64_t, 3> f = RowFields(row);
    second = std::max(second, BytesFor(f[1], 1));
    third = std::max(third, BytesFor(f[2], 2));
    last = row.Num();
  });
  if (last < 0) Throw(kModule, "Write", kInternalError, "no cross-reference rows");
  const std::array<int, 3> widths{1, second, third};
  const size_t rowBytes = static_cast<size_t>(1 + second + third);
  // Second pass: PNG "Up", each row sent as its difference to the row above behind a tag byte
  // of 2 (offsets that grow slowly become runs of zeros that compress to almost nothing),
  // compressed a block at a time.
  FlateEncoder encoder;
  std::string block;
  std::vector<unsigned char> above(rowBytes, 0), row(rowBytes, 0);
  auto put = [&](const std::array<uint64_t, 3>& f) {
    size_t at = 0;
    for (size_t k = 0; k < 3; ++k) {
      for (int b = widths[k] - 1; b >= 0; --b) row[at++] = static_cast<unsigned char>(f[k] >> (8 * b));
    }
    block.push_back(2);
    for (size_t i = 0; i < rowBytes; ++i) block.push_back(static_cast<char>(row[i] - above[i]));
    above.swap(row);
    if (block.size() >= kEncodeBlock) {
      encoder.Write(block.data(), block.size());
      block.clear();
    }
  };
  put(head);
  rows([&](const CPDFXRefEntry& entry) { put(RowFields(entry)); });
  encoder.Write(block.data(), block.size());
  const std::string data = encoder.Finish();

  CPDFStream stream(nullptr);
  for (const auto& [key, atom] : trailer) {
    if (atom && key != "XRefStm" && key != "Length" && key != "Filter" && key != "DecodeParms") {
      stream.Insert(key, atom->CloneAtom());
    }
  }
  stream.Insert("Type", std::make_unique<CPDFName>("XRef"));
  stream.Insert("Size", std::make_unique<CPDFInt>(last + 1));
  stream.Insert("Index", IntArray(index));
  stream.Insert("W", IntArray({widths[0], widths[1], widths[2]}));
  if (!stream.SetData(data.data(), data.size())) ThrowCode(kModule, "Write", kRuntimeError);
  stream.Insert("Filter", std::make_unique<CPDFName>(CPDFFlateFilter::kFilterName));
  auto parms = std::make_unique<CPDFDict>();
  parms->Insert("Predictor", std::make_unique<CPDFInt>(12));
  parms->Insert("Columns", std::make_unique<CPDFInt>(static_cast<int32_t>(rowBytes)));
  stream.Insert("DecodeParms", std::move(parms));

  out.Printf("%ld 0 obj", static_cast<long>(last));
  out << endl;
  stream.Serialize(out, nullptr);
  out << endl << "endobj" << endl << "startxref" << endl;
  out.Printf("%lld", static_cast<long long>(offset));
  out << endl << "%%EOF" << endl;
}

}  // namespace quarn
