#include "pdf/document/xref_stream.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFXRef";
constexpr char kMethod[] = "Serialize";
// A field is at most this many bytes: offsets of files up to 2^64 bytes.
constexpr int kMaxFieldWidth = 8;
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
  const XRefStreamLayout layout = XRefStreamLayout::Read(*stream);
  // The rows bound the data: anything that decodes to far more (beyond a predictor's tag bytes
  // and some slack) is not this stream's data but a bomb.
  const uint64_t limit = std::min<uint64_t>(2 * (layout.RowBytes() + 1) * layout.RowCount() + 65536,
                                            limits::kMaxDecodedSize);
  CPDFErrorRecord error;
  if (!stream->DecodeAllFilterWithin(limit, error)) {
    Fail(Format("cross-reference stream %ld: %s", number, error.Message().c_str()));
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

}  // namespace quarn
