#include "pdf/document/repair.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "pdf/document/object_stream.h"
#include "pdf/document/repair_members.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

// Bytes kept from the end of one block in front of the next, so that a header or keyword cut by
// the block boundary is seen whole, with the bytes in front of it.
constexpr size_t kCarry = 64;
// Where "%PDF-" is looked for when the first line is not the header.
constexpr int64_t kHeaderWindow = 1024;
constexpr size_t kMaxSpaces = 32;
constexpr const char* kTrailerKeys[] = {"Size", "Root", "Info", "ID", "Encrypt"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What may follow "obj" or "trailer" for the keyword to stand alone.
bool EndsKeyword(char c) { return IsWhitespace(c) || IsDelimiter(c) || c == '%'; }

std::string ReadRange(InStream& in, int64_t from, int64_t to) {
  std::string bytes;
  if (to <= from || !in.Seek(from)) return bytes;
  bytes.resize(static_cast<size_t>(to - from));
  bytes.resize(in.Read(bytes.data(), bytes.size()));
  return bytes;
}

// The first offset of `pattern` in [from, to), or -1. Reads [from, to) once, in blocks.
int64_t SearchWithin(InStream& in, int64_t from, int64_t to, std::string_view pattern) {
  std::string block;
  for (int64_t at = from; at < to;) {
    const int64_t end = std::min<int64_t>(to, at + static_cast<int64_t>(CPDFFileScan::kBlockSize));
    block = ReadRange(in, at, end);
    if (block.size() < pattern.size()) return -1;
    const size_t hit = block.find(pattern);
    if (hit != std::string::npos) return at + static_cast<int64_t>(hit);
    if (end >= to) return -1;
    at += static_cast<int64_t>(block.size() - pattern.size() + 1);
  }
  return -1;
}

// The dictionary at the start of `bytes` (after whitespace and comments), or nullptr; `used`
// receives the bytes it took.
std::unique_ptr<CPDFDict> DictAt(const std::string& bytes, size_t* used) {
  MemInStream in(bytes.data(), bytes.size());
  SkipWhitespaceAndComments(in);
  if (in.Peek() != '<') return nullptr;
  try {
    std::unique_ptr<CPDFDict> dict = ReadDict(nullptr, in);
    if (used) *used = static_cast<size_t>(in.Tell());
    return dict;
  } catch (const CPDFException&) {
    return nullptr;
  }
}

std::unique_ptr<CPDFDict> TrailerKeysOf(const CPDFDict& dict) {
  auto trailer = std::make_unique<CPDFDict>();
  for (const char* key : kTrailerKeys) {
    if (CPDFAtom* atom = dict.Lookup(key)) trailer->Insert(key, atom->CloneAtom());
  }
  return trailer;
}

// Where the data of a stream begins when `bytes` (from `used` on) holds "stream" and its end of
// line; std::string::npos otherwise.
size_t StreamDataStart(const std::string& bytes, size_t used) {
  size_t at = used;
  while (at < bytes.size() && IsWhitespace(bytes[at])) ++at;
  if (bytes.compare(at, 6, "stream") != 0) return std::string::npos;
  at += 6;
  if (at < bytes.size() && bytes[at] == '\r') ++at;
  if (at < bytes.size() && bytes[at] == '\n') ++at;
  return at <= bytes.size() ? at : std::string::npos;
}

// Reads "N G" backwards from just before the "obj" at `p`; false when the bytes there are not an
// object header. `first` receives the index of the header's first byte.
bool HeaderBefore(const char* buffer, size_t p, bool atFileStart, int32_t* num, int32_t* gen,
                  size_t* first) {
  size_t i = p;
  auto spaces = [&] {
    size_t n = 0;
    while (i > 0 && IsWhitespace(static_cast<unsigned char>(buffer[i - 1])) && n < kMaxSpaces) {
      --i;
      ++n;
    }
    return n;
  };
  auto digits = [&](size_t most) {
    size_t n = 0;
    while (i > 0 && IsDigit(buffer[i - 1]) && n <= most) {
      --i;
      ++n;
    }
    return n;
  };
  if (spaces() == 0) return false;
  const size_t genEnd = i;
  const size_t genDigits = digits(5);
  if (genDigits == 0 || genDigits > 5) return false;
  const size_t genStart = i;
  if (spaces() == 0) return false;
  const size_t numEnd = i;
  const size_t numDigits = digits(10);
  if (numDigits == 0 || numDigits > 10) return false;
  if (i > 0) {
    const auto before = static_cast<unsigned char>(buffer[i - 1]);
    if (!IsWhitespace(before) && !IsDelimiter(before)) return false;
  } else if (!atFileStart) {
    return false;  // the bytes in front were cut off: not enough to judge
  }
  const long long number = std::strtoll(std::string(buffer + i, numEnd - i).c_str(), nullptr, 10);
  const long generation =
      std::strtol(std::string(buffer + genStart, genEnd - genStart).c_str(), nullptr, 10);
  if (number <= 0 || number > limits::kMaxObjectNumber || generation > 65535) return false;
  *num = static_cast<int32_t>(number);
  *gen = static_cast<int32_t>(generation);
  *first = i;
  return true;
}

}  // namespace

CPDFFileScan::CPDFFileScan() : m_(std::make_unique<Members>()) {}

CPDFFileScan::~CPDFFileScan() = default;

const std::map<int32_t, CPDFFileScan::Object>& CPDFFileScan::Objects() const { return m_->objects; }
const std::map<int32_t, CPDFFileScan::Compressed>& CPDFFileScan::CompressedObjects() const {
  return m_->compressed;
}
const CPDFDict* CPDFFileScan::Trailer() const { return m_->trailer.get(); }
bool CPDFFileScan::HasEncryption() const { return m_->encryption; }
int64_t CPDFFileScan::HeaderOffset() const { return m_->headerOffset; }

std::unique_ptr<CPDFFileScan> CPDFFileScan::Run(InStream& in) {
  std::unique_ptr<CPDFFileScan> scan(new CPDFFileScan());
  const int64_t size = in.Size();
  const size_t header = ReadRange(in, 0, std::min(size, kHeaderWindow)).find("%PDF-");
  if (header != std::string::npos) scan->m_->headerOffset = static_cast<int64_t>(header);

  std::vector<char> buffer(kCarry + kBlockSize);
  size_t carried = 0;
  for (int64_t pos = 0; pos < size;) {
    if (!in.Seek(pos)) break;
    const auto want = static_cast<size_t>(std::min<int64_t>(kBlockSize, size - pos));
    const size_t got = in.Read(buffer.data() + carried, want);
    if (got == 0) break;
    const size_t length = carried + got;
    const bool atEnd = pos + static_cast<int64_t>(got) >= size;
    scan->ScanBlock(in, buffer.data(), length, carried, pos - static_cast<int64_t>(carried), atEnd);
    pos += static_cast<int64_t>(got);
    const size_t keep = std::min(kCarry, length);
    std::memmove(buffer.data(), buffer.data() + length - keep, keep);
    carried = keep;
  }
  scan->Settle(in, size);
  return scan;
}

void CPDFFileScan::ScanBlock(InStream& in, const char* buffer, size_t length, size_t carried,
                             int64_t base, bool atEnd) {
  // A keyword is new to this block unless the previous block held it together with the byte
  // after it (the previous block judged only those).
  auto fresh = [carried](size_t p, size_t keyword) { return p + keyword >= carried; };
  auto standsAlone = [&](size_t p, size_t keyword) {
    const size_t after = p + keyword;
    return after < length ? EndsKeyword(buffer[after]) : atEnd;
  };
  for (size_t p = 0; p + 3 <= length; ++p) {
    const char c = buffer[p];
    if (c == 'o' && std::memcmp(buffer + p, "obj", 3) == 0 && fresh(p, 3) && standsAlone(p, 3)) {
      Event event;
      size_t first = 0;
      if (HeaderBefore(buffer, p, base == 0, &event.num, &event.gen, &first)) {
        event.kind = Event::kObject;
        event.start = base + static_cast<int64_t>(first);
        event.bodyStart = base + static_cast<int64_t>(p + 3);
        Accept(in, event);
      }
    } else if (c == 'R' && fresh(p, 1) && standsAlone(p, 1)) {
      int32_t num = 0, gen = 0;
      size_t first = 0;
      if (HeaderBefore(buffer, p, base == 0, &num, &gen, &first)) {
        const auto bit = static_cast<size_t>(num);
        if (bit >= m_->referenced.size()) m_->referenced.resize(bit + 1);
        m_->referenced[bit] = true;
      }
    } else if (c == 't' && p + 7 <= length && std::memcmp(buffer + p, "trailer", 7) == 0 &&
               fresh(p, 7) && standsAlone(p, 7)) {
      Event event;
      event.kind = Event::kTrailer;
      event.start = base + static_cast<int64_t>(p);
      event.bodyStart = event.start + 7;
      Accept(in, event);
    }
  }
}

int32_t CPDFFileScan::HighestReferenceIn(int32_t low, int32_t high) const {
  for (int64_t num = std::min<int64_t>(high, static_cast<int64_t>(m_->referenced.size()) - 1);
       num > low; --num) {
    if (m_->referenced[static_cast<size_t>(num)]) return static_cast<int32_t>(num);
  }
  return low;
}

void CPDFFileScan::Accept(InStream& in, const Event& event) {
  Settle(in, event.start);
  m_->pending = event;
}

void CPDFFileScan::Settle(InStream& in, int64_t end) {
  const Event event = m_->pending;
  m_->pending = Event{};
  if (event.kind == Event::kObject) SettleObject(in, event, end);
  if (event.kind == Event::kTrailer) SettleTrailer(in, event, end);
}

void CPDFFileScan::SettleObject(InStream& in, const Event& event, int64_t end) {
  // The file's last object may have been cut off with the file (an update written only in
  // part). Then an earlier definition of its number stands, as readers take it; without one,
  // references to the number lead nowhere.
  if (end >= in.Size() && IsCutOff(in, event, end)) return;
  m_->objects[event.num] = Object{event.gen, event.start};
  const int64_t peekEnd = std::min<int64_t>(end, event.bodyStart + static_cast<int64_t>(kPeekSize));
  const std::string peek = ReadRange(in, event.bodyStart, peekEnd);
  // Only dictionaries that can matter are parsed: the cheap test keeps the scan linear.
  if (peek.find("/Filter") != std::string::npos &&
      (peek.find("/Standard") != std::string::npos ||
       peek.find("/Recipients") != std::string::npos)) {
    NoteEncryption(peek);
  }
  if (peek.find("/Type") == std::string::npos) return;
  const bool maybeCatalog = peek.find("/Catalog") != std::string::npos;
  const bool maybeXRef = peek.find("/XRef") != std::string::npos;
  const bool maybeObjStm = peek.find("/ObjStm") != std::string::npos;
  const bool maybePage = peek.find("/Page") != std::string::npos;
  if (!maybeCatalog && !maybeXRef && !maybeObjStm && !maybePage) return;
  size_t used = 0;
  std::unique_ptr<CPDFDict> dict = DictAt(peek, &used);
  CPDFName* type = dict ? dict->GetName(nullptr, "Type") : nullptr;
  if (!type) return;
  if (type->Equals("Catalog")) {
    m_->catalogs[event.num] = event.start;
  } else if (type->Equals("Page")) {
    m_->pages[event.num] = event.start;
  } else if (type->Equals("XRef")) {
    m_->xrefStreams[event.num] = event.start;
    if (dict->Lookup("Root")) m_->trailer = TrailerKeysOf(*dict);
  } else if (type->Equals("ObjStm")) {
    const size_t dataStart = StreamDataStart(peek, used);
    if (dataStart == std::string::npos) return;
    ObjectStream stream;
    stream.gen = event.gen;
    stream.offset = event.start;
    stream.dataStart = event.bodyStart + static_cast<int64_t>(dataStart);
    stream.dataEnd = SearchWithin(in, stream.dataStart, end, "endstream");
    if (stream.dataEnd < 0) stream.dataEnd = end;
    stream.dict = std::move(dict);
    m_->objectStreams[event.num] = std::move(stream);
  }
}

bool CPDFFileScan::IsCutOff(InStream& in, const Event& event, int64_t end) {
  // Only the object's own bytes are read again, so the scan stays linear in the file.
  if (SearchWithin(in, event.bodyStart, end, "endobj") >= 0) return false;
  // Without "endobj", a value that does not parse was cut short, and a dictionary cannot be
  // read either: it is a stream's whose data is cut off, or it runs into the end of the file.
  // A whole array, string or number stands.
  if (!in.Seek(event.bodyStart)) return true;
  try {
    const std::unique_ptr<CPDFObject> value = ParseObject(nullptr, in);
    return !value || value->TypeCode() == kTypeDict;
  } catch (const CPDFException&) {
    return true;
  }
}

void CPDFFileScan::NoteEncryption(const std::string& peek) {
  // An encryption dictionary has no Type: it is told by its security handler's entries, the
  // owner and user keys of the standard handler or the recipients of a public-key one.
  std::unique_ptr<CPDFDict> dict = DictAt(peek, nullptr);
  if (!dict || !dict->GetName(nullptr, "Filter")) return;
  if ((dict->Lookup("O") && dict->Lookup("U")) || dict->Lookup("Recipients")) m_->encryption = true;
}

void CPDFFileScan::SettleTrailer(InStream& in, const Event& event, int64_t end) {
  const int64_t peekEnd = std::min<int64_t>(end, event.bodyStart + static_cast<int64_t>(kPeekSize));
  std::unique_ptr<CPDFDict> dict = DictAt(ReadRange(in, event.bodyStart, peekEnd), nullptr);
  if (dict && dict->Lookup("Root")) m_->trailer = TrailerKeysOf(*dict);
}

int32_t CPDFFileScan::Catalog() const {
  // The catalog that stands last in the file among those still the newest definition of
  // their number.
  int32_t catalog = 0;
  int64_t last = -1;
  for (const auto& [num, offset] : m_->catalogs) {
    const auto object = m_->objects.find(num);
    if (object != m_->objects.end() && object->second.offset == offset && offset > last) {
      catalog = num;
      last = offset;
    }
  }
  return catalog;
}

namespace {

// The numbers of `found` (number -> offset) still the newest definition in `objects`, in file
// order.
std::vector<int32_t> NewestInFileOrder(const std::map<int32_t, int64_t>& found,
                                       const std::map<int32_t, CPDFFileScan::Object>& objects) {
  std::vector<std::pair<int64_t, int32_t>> byOffset;
  for (const auto& [num, offset] : found) {
    const auto object = objects.find(num);
    if (object != objects.end() && object->second.offset == offset) {
      byOffset.emplace_back(offset, num);
    }
  }
  std::sort(byOffset.begin(), byOffset.end());
  std::vector<int32_t> numbers;
  numbers.reserve(byOffset.size());
  for (const auto& entry : byOffset) numbers.push_back(entry.second);
  return numbers;
}

}  // namespace

std::vector<int32_t> CPDFFileScan::Catalogs() const {
  std::vector<int32_t> numbers = NewestInFileOrder(m_->catalogs, m_->objects);
  std::reverse(numbers.begin(), numbers.end());
  return numbers;
}

std::vector<int32_t> CPDFFileScan::Pages() const {
  return NewestInFileOrder(m_->pages, m_->objects);
}

std::vector<int32_t> CPDFFileScan::StreamNumbers() const {
  // A number that a later object took over belongs to that object.
  auto newest = [this](int32_t num, int64_t offset) {
    const auto object = m_->objects.find(num);
    return object != m_->objects.end() && object->second.offset == offset;
  };
  std::vector<int32_t> numbers;
  for (const auto& [num, offset] : m_->xrefStreams) {
    if (newest(num, offset)) numbers.push_back(num);
  }
  for (const auto& [num, stream] : m_->objectStreams) {
    if (newest(num, stream.offset)) numbers.push_back(num);
  }
  return numbers;
}

void CPDFFileScan::ExpandObjectStreams(InStream& in) {
  uint64_t decodedSoFar = 0;
  for (const auto& [num, found] : m_->objectStreams) {
    const auto newest = m_->objects.find(num);
    if (newest == m_->objects.end() || newest->second.offset != found.offset) continue;
    const int64_t length = found.dataEnd - found.dataStart;
    if (length <= 0 || static_cast<uint64_t>(length) > limits::kMaxObjectStreamSize) continue;
    const std::string data = ReadRange(in, found.dataStart, found.dataEnd);
    CPDFStream stream(nullptr);
    for (const auto& [key, atom] : *found.dict) {
      if (atom) stream.Insert(key, atom->CloneAtom());
    }
    stream.SetData(data.data(), data.size());
    std::unique_ptr<CPDFObjStm> decoded;
    try {
      decoded = CPDFObjStm::Decode(num, stream);
    } catch (const CPDFException& e) {
      // A host that cannot hold the decoded data (no memory, no temporary space) is not a
      // broken stream: dropping its objects would lose them from the repaired file.
      if (e.Code() == kRuntimeError || e.Code() == kSystemError) throw;
      continue;  // a broken object stream: its objects stay unlisted
    }
    decodedSoFar += decoded->DataSize();
    if (decodedSoFar > limits::kMaxRepairDecodedSize) return;
    for (size_t i = 0; i < decoded->Count(); ++i) {
      const int32_t objNum = decoded->NumberAt(i);
      // An object stream never holds an object stream, least of all itself.
      if (objNum == num || m_->objectStreams.count(objNum)) continue;
      const auto plain = m_->objects.find(objNum);
      if (plain != m_->objects.end() && plain->second.offset > found.offset) continue;
      const auto earlier = m_->compressed.find(objNum);
      if (earlier != m_->compressed.end() && earlier->second.streamOffset > found.offset) continue;
      m_->compressed[objNum] = Compressed{num, static_cast<int32_t>(i), found.offset};
    }
  }
}

}  // namespace quarn
