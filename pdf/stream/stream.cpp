// The stream object's data and its reading and writing; the filter chain is in
// stream_filters.cpp.
#include "pdf/stream/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/object/crypt_context.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/object/walk_guard.h"
#include "platform/source_file.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFStream";
constexpr size_t kBlock = 4096;
// Data left in the file is loaded in larger pieces; the result is the same bytes.
constexpr size_t kLoadBlock = 65536;

[[noreturn]] void FailRead(const std::string& message) {
  Throw(kModule, "Serialize", kInvalidFormat, message);
}

std::string NextToken(InStream& in) {
  std::string token;
  if (!ReadToken(in, token)) FailRead("ioerror");
  return token;
}

bool EndsWithEndOfLine(const char* data, size_t n) {
  return n > 0 && (data[n - 1] == '\r' || data[n - 1] == '\n');
}

// Copies [offset, offset + length) of `file` into `target`.
// `storageError`, when given, as in CPDFStream::LoadData.
bool ReadFromFile(const SourceFile& file, int64_t offset, int64_t length, TempHugeString& target,
                  int* storageError = nullptr) {
  int ignored = 0;
  int& storage = storageError ? *storageError : ignored;
  storage = 0;
  if (!target.Reserve(static_cast<size_t>(length))) {
    storage = errno;
    return false;
  }
  std::vector<char> block(std::min<size_t>(kLoadBlock, static_cast<size_t>(length) + 1));
  for (int64_t done = 0; done < length;) {
    const size_t take =
        static_cast<size_t>(std::min<int64_t>(length - done, static_cast<int64_t>(block.size())));
    errno = 0;
    if (!file.ReadExact(offset + done, block.data(), take)) {
      // A file cut short under us reads as an end of file with no error number of its own.
      if (errno == 0) errno = EIO;
      return false;
    }
    if (!target.Append(block.data(), take)) {
      storage = errno;
      return false;
    }
    done += static_cast<int64_t>(take);
  }
  return true;
}

// Where the data between "stream" and "endstream" ends: the first "endstream" that is followed
// by "endobj". "Length" plays no part, so a wrong or hostile "Length" cannot mislead it.
int64_t FindDataEnd(InStream& in) {
  int64_t from = in.Tell();
  for (;;) {
    in.Seek(from);
    const int64_t hit = in.Search("endstream", 9);
    if (hit < 0) FailRead("ioerror");
    in.Seek(hit);
    const std::string keyword = NextToken(in);
    if (keyword == "endstream" && NextToken(in) == "endobj") return hit;
    from = hit + 9;
  }
}

// The "Length" that can be had without disturbing the reading: a direct number, or an indirect
// one that the document can tell without loading it (in memory, or a number object of its own
// in the file, often written after the stream). -1 otherwise. It is only a guess for
// DataEndAtLength to confirm.
int64_t LengthAtHand(CPDFObjHolder* doc, CPDFDict& dict) {
  CPDFAtom* atom = dict.Lookup("Length");
  if (!atom) return -1;
  if (atom->IsObject()) {
    CPDFNumber* number = AsNumber(static_cast<CPDFObject*>(atom));
    return number ? number->Int64Value() : -1;
  }
  int64_t value = -1;
  if (!doc || !doc->PeekInteger(*static_cast<CPDFObjRef*>(atom), &value)) return -1;
  return value;
}

// Whether a direct "Length" of `dict` fits the data found at [start, start + found): beyond
// it, only white space before "endstream". A Length held elsewhere counts as fitting: only its
// own object can tell. Leaves `in` anywhere.
bool DirectLengthFits(InStream& in, CPDFDict& dict, int64_t start, int64_t found) {
  const CPDFAtom* atom = dict.Lookup("Length");
  if (!atom || !atom->IsObject()) return true;
  const CPDFNumber* number = AsNumber(static_cast<const CPDFObject*>(atom));
  if (!number) return false;
  const int64_t declared = number->Int64Value();
  constexpr int64_t kMaxBlanks = 64;
  if (declared < 0 || declared > found || found - declared > kMaxBlanks) return false;
  std::string beyond(static_cast<size_t>(found - declared), '\0');
  if (!in.Seek(start + declared) || in.Read(beyond.data(), beyond.size()) != beyond.size()) {
    return false;
  }
  return beyond.find_first_not_of(" \t\r\n\f") == std::string::npos;
}

// Where the data ends when `length` is right: at most one end of line (CR, LF or CR LF) after
// start + length, then "endstream" and "endobj". The end of line stays with the data, as the
// search gives it. -1 when the bytes there say otherwise (the caller searches then). This
// spares reading the data of every stream twice (once here, once when it is copied out), which
// is most of the reading on a document of large images. It answers differently from the search
// only for data that itself holds "endstream" and "endobj" before `length`: the search would
// stop there, this takes the declared length, which the bytes at its end confirm.
int64_t DataEndAtLength(InStream& in, int64_t start, int64_t length) {
  if (length < 0 || length > in.Size() - start) return -1;
  int64_t at = start + length;
  if (!in.Seek(at)) return -1;
  int c = in.Peek();
  if (c == '\r') {
    c = in.AdvancePeek();
    ++at;
  }
  if (c == '\n') {
    c = in.AdvancePeek();
    ++at;
  }
  // "endstream" must begin right there: more white space means Length is not the data's end.
  if (c != 'e') return -1;
  std::string token;
  if (!ReadToken(in, token) || token != "endstream") return -1;
  if (!ReadToken(in, token) || token != "endobj") return -1;
  return at;
}

// The declared "Length" when it can be known without reading more of the file now: a direct
// number, or an indirect one (already in memory while the document writes itself).
int64_t DeclaredLength(CPDFObjHolder* doc, CPDFDict& dict) {
  CPDFAtom* atom = dict.Lookup("Length");
  if (!atom) return -1;
  CPDFObject* value = nullptr;
  if (atom->IsObject()) {
    value = static_cast<CPDFObject*>(atom);
  } else if (doc) {
    const CPDFObjRef& ref = *static_cast<CPDFObjRef*>(atom);
    value = doc->IsFlushing() ? doc->FindLoadedObj(ref) : doc->GetObj(ref);
  }
  CPDFNumber* number = AsNumber(value);
  return number ? number->Int64Value() : -1;
}

// Writes `total` bytes, read from `file` at `offset` or else taken from `memory`, through a
// block buffer (encrypted on the way when `crypt` is set); returns the last plain byte.
char CopyOutInBlocks(OutStream& out, const SourceFile* file, int64_t offset, const char* memory,
                     int64_t total, const CPDFCryptContext* crypt) {
  std::unique_ptr<CPDFStreamCipher> cipher = crypt ? crypt->StreamCipher(true) : nullptr;
  std::string encrypted;
  // Large blocks: a document of images is mostly this copy, and every block is a read (and,
  // past the output's buffer, a write) of its own.
  std::vector<char> block(static_cast<size_t>(std::min<int64_t>(total, kLoadBlock)));
  char last = 0;
  for (int64_t done = 0; done < total;) {
    const size_t take = static_cast<size_t>(std::min<int64_t>(total - done, kLoadBlock));
    if (file) {
      if (!file->ReadExact(offset + done, block.data(), take)) {
        ThrowCode(kModule, "Serialize", kRuntimeError);
      }
    } else {
      std::memcpy(block.data(), memory + done, take);
    }
    last = block[take - 1];
    if (cipher) {
      encrypted.clear();
      cipher->Update(block.data(), take, encrypted);
      out.WriteBytes(encrypted.data(), encrypted.size());
    } else {
      out.WriteBytes(block.data(), take);
    }
    done += static_cast<int64_t>(take);
  }
  if (cipher) {
    encrypted.clear();
    cipher->Finish(encrypted);
    out.WriteBytes(encrypted.data(), encrypted.size());
    if (!encrypted.empty()) last = encrypted.back();
  }
  return last;
}

}  // namespace

CPDFStream::CPDFStream(CPDFObjHolder* doc) : CPDFDict(kTypeStream) { BindDoc(doc); }

const TempSpace* CPDFStream::Space() const { return Doc() ? Doc()->Temp() : nullptr; }

CPDFStream::~CPDFStream() = default;

// ---- data ------------------------------------------------------------------------------------

// Data that cannot be loaded is an error, never an empty stream: a caller that took it for
// empty would write a blank page or lose every object of an object stream.
const char* CPDFStream::Data() {
  if (IsDataInFile() && !LoadData()) ThrowCode(kModule, "LoadData", kRuntimeError);
  static const char kEmpty[1] = {0};
  return m_data.Length() ? m_data.Data() : kEmpty;
}

size_t CPDFStream::DataLength() {
  if (IsDataInFile() && !LoadData()) ThrowCode(kModule, "LoadData", kRuntimeError);
  return m_data.Length();
}

bool CPDFStream::LoadData(int* storageError) {
  int ignored = 0;
  int& storage = storageError ? *storageError : ignored;
  storage = 0;
  if (!IsDataInFile()) return true;
  if (!m_file) return false;
  TempHugeString loaded(Space());
  if (!ReadFromFile(*m_file, m_offset, m_length, loaded, &storage)) return false;
  m_data.Swap(loaded);
  m_file.reset();
  m_offset = -1;
  m_length = -1;
  return true;
}

bool CPDFStream::AppendData(const void* data, size_t n) {
  if (!m_data.Space()) m_data.SetSpace(Space());
  if (!LoadData() || !m_data.Append(data, n)) return false;
  UpdateLength();
  return true;
}

bool CPDFStream::AppendRepeated(size_t count, char byte) {
  if (!m_data.Space()) m_data.SetSpace(Space());
  if (!LoadData() || !m_data.AppendRepeated(count, byte)) return false;
  UpdateLength();
  return true;
}

bool CPDFStream::SetData(const void* data, size_t n) {
  TempHugeString fresh(Space());
  if (!fresh.Append(data, n)) return false;
  return SetData(std::move(fresh));
}

bool CPDFStream::SetData(TempHugeString&& data) {
  m_data.Swap(data);
  data.Clear();
  m_file.reset();
  m_offset = -1;
  m_length = -1;
  UpdateLength();
  return true;
}

void CPDFStream::ClearData() {
  m_data.Clear();
  m_file.reset();
  m_offset = -1;
  m_length = -1;
  UpdateLength();
}

void CPDFStream::SetSource(std::shared_ptr<SourceFile> file, int64_t offset, int64_t length) {
  m_data.Clear();
  m_file = std::move(file);
  m_offset = offset;
  m_length = length;
  m_lengthConfirmed = false;
}

void CPDFStream::UpdateLength() {
  const int64_t value = IsDataInFile() ? m_length : static_cast<int64_t>(m_data.Length());
  CPDFAtom* atom = Lookup("Length");
  if (atom && atom->IsRef() && Doc()) {
    const CPDFObjRef ref = *static_cast<CPDFObjRef*>(atom);
    if (CPDFNumber* number = AsNumber(Doc()->GetObj(ref))) {
      Doc()->UpdateObj(ref);
      number->SetBoth(value, static_cast<float>(value));
      return;
    }
  }
  Insert("Length", std::make_unique<CPDFInt>(value));
}

// ---- reading ---------------------------------------------------------------------------------

std::unique_ptr<CPDFStream> CPDFStream::ReadAfterDict(CPDFObjHolder* doc, InStream& in,
                                                      std::unique_ptr<CPDFDict> dict,
                                                      const CPDFCryptContext* crypt) {
  auto stream = std::make_unique<CPDFStream>(doc);
  const std::string keyword = NextToken(in);
  if (keyword != "stream") FailRead(Format("invalidtoken: %s", keyword.c_str()));
  // One end of line after the keyword: CR LF, LF, or (leniently) a lone CR. Blanks in front
  // of it are skipped, as readers do.
  int c = in.Peek();
  while (c == ' ' || c == '\t') {
    in.Get();
    c = in.Peek();
  }
  if (c < 0) FailRead("ioerror");
  if (c == '\r') {
    in.Get();
    c = in.Peek();
    if (c < 0) FailRead("ioerror");
    if (c == '\n') in.Get();
  } else if (c == '\n') {
    in.Get();
  } else {
    FailRead(Format("invalidtoken: %c", c));
  }
  const int64_t start = in.Tell();
  int64_t end = dict ? DataEndAtLength(in, start, LengthAtHand(doc, *dict)) : -1;
  const bool endAtLength = end >= 0;
  if (end < 0) {
    in.Seek(start);
    end = FindDataEnd(in);
  }
  int64_t length = end - start;
  stream->m_lengthFits = endAtLength || !dict || DirectLengthFits(in, *dict, start, length);

  if (dict) {
    stream->CopyFlagsFrom(*dict);
    stream->SwapEntries(*dict);
    dict.reset();
  }
  auto* fileInput = dynamic_cast<FileInStream*>(&in);
  if (crypt && !crypt->CoversStream(*stream)) crypt = nullptr;
  if (crypt) {
    // The end of line in front of "endstream" is not encrypted data; decrypting it would
    // leave two stray bytes at the end of the content.
    const int64_t declared = DeclaredLength(doc, *stream);
    if (declared >= 0 && declared < length && length - declared <= 2) {
      std::string tail(static_cast<size_t>(length - declared), '\0');
      in.Seek(start + declared);
      in.Read(tail.data(), tail.size());
      if (tail.find_first_not_of("\r\n") == std::string::npos) length = declared;
    }
    in.Seek(start);
    std::unique_ptr<CPDFStreamCipher> cipher = crypt->StreamCipher(false);
    char block[kBlock];
    std::string plain;
    for (int64_t done = 0; done <= length;) {
      const size_t take = static_cast<size_t>(std::min<int64_t>(length - done, kBlock));
      plain.clear();
      if (take == 0) {
        cipher->Finish(plain);
      } else {
        if (in.Read(block, take) != take) FailRead("ioerror");
        cipher->Update(block, take, plain);
      }
      if (!stream->m_data.Append(plain.data(), plain.size())) {
        ThrowCode(kModule, "Serialize", kRuntimeError);
      }
      if (take == 0) break;
      done += static_cast<int64_t>(take);
    }
    // The decrypted data is what the stream holds from now on (AES data is shorter).
    length = static_cast<int64_t>(stream->m_data.Length());
  } else if (in.SourceKindOf() == InStream::kFileSource && fileInput && fileInput->File()) {
    stream->SetSource(fileInput->File(), start, length);
    const CPDFAtom* lengthAtom = stream->Lookup("Length");
    stream->m_lengthConfirmed = endAtLength && lengthAtom && lengthAtom->IsRef();
  } else {
    in.Seek(start);
    char block[kBlock];
    for (int64_t done = 0; done < length;) {
      const size_t take = static_cast<size_t>(std::min<int64_t>(length - done, kBlock));
      if (in.Read(block, take) != take) FailRead("ioerror");
      if (!stream->m_data.Append(block, take)) ThrowCode(kModule, "Serialize", kRuntimeError);
      done += static_cast<int64_t>(take);
    }
  }
  const int64_t after = end + 9;

  try {
    // "Length" is made to tell the truth about the data it now holds, so that writing the
    // stream again gives a consistent file whatever the input claimed.
    CPDFAtom* lengthAtom = stream->Lookup("Length");
    if (!lengthAtom || lengthAtom->IsObject()) {
      stream->Insert("Length", std::make_unique<CPDFInt>(length));
    } else if (doc && !doc->IsFlushing()) {
      if (CPDFNumber* number = AsNumber(doc->GetObj(*static_cast<CPDFObjRef*>(lengthAtom)))) {
        number->SetBoth(length, static_cast<float>(length));
      }
    }
  } catch (const CPDFException&) {
    throw;
  } catch (...) {
    ThrowCode(kModule, "Serialize", kInternalError);
  }
  in.Seek(after);
  return stream;
}

// ---- writing ---------------------------------------------------------------------------------

void CPDFStream::Serialize(OutStream& out, const CPDFCryptContext* crypt) const {
  if (crypt && !crypt->CoversStream(*this)) crypt = nullptr;
  const bool inFile = IsDataInFile();
  if (inFile && !m_file) Throw(kModule, "Serialize", kRuntimeError, "stream data is not available");
  const int64_t total = inFile ? m_length : static_cast<int64_t>(m_data.Length());
  const int64_t written = crypt ? crypt->EncryptedStreamLength(total) : total;
  if (written != total) {
    // Encryption that makes the data longer (AES: IV and padding) is told by a direct "Length"
    // for the time of the writing; the stream keeps its own entry.
    auto& self = const_cast<CPDFStream&>(*this);
    const CPDFAtom* kept = Lookup("Length");
    std::unique_ptr<CPDFAtom> saved = kept ? kept->CloneAtom() : nullptr;
    self.Insert("Length", std::make_unique<CPDFInt>(written));
    try {
      CPDFDict::Serialize(out, crypt);
    } catch (...) {
      if (saved) self.Insert("Length", std::move(saved));
      throw;
    }
    if (saved) self.Insert("Length", std::move(saved));
  } else {
    CPDFDict::Serialize(out, crypt);
  }
  out << endl << "stream\r\n";
  char last = 0;
  if (!inFile && !crypt) {
    // Data in memory goes out as it is: no copy, and the output passes large writes straight on.
    if (total > 0) {
      out.WriteBytes(m_data.Data(), static_cast<size_t>(total));
      last = m_data.Data()[total - 1];
    }
  } else if (inFile && !crypt) {
    // Data left in the input goes out unread: the output copies it from the file.
    if (total > 0 && !out.CopyFrom(*m_file, m_offset, total))
      ThrowCode(kModule, "Serialize", kRuntimeError);
  } else {
    last = CopyOutInBlocks(out, inFile ? m_file.get() : nullptr, m_offset, m_data.Data(), total,
                           crypt);
  }
  // Data copied from the file is written exactly as it stood there, end of line included.
  if ((!inFile || crypt) && total > 0 && !EndsWithEndOfLine(&last, 1)) out << endl;
  out << "endstream";
}

// ---- copies ----------------------------------------------------------------------------------

std::unique_ptr<CPDFAtom> CPDFStream::CloneAtom() const {
  WalkDepthGuard guard("CPDFObject", "Clone");
  std::unique_ptr<CPDFObject> copy = NewEmpty(Doc());
  auto* target = dynamic_cast<CPDFStream*>(copy.get());
  if (!target || !target->CopyFrom(*this, Doc())) {
    Throw("CPDFStream", "Clone", kInternalError, "CPDFStream::CopyFrom()");
  }
  copy->CopyFlagsFrom(*this);
  return copy;
}

std::unique_ptr<CPDFObject> CPDFStream::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                                      DuplicateMap& map) const {
  std::unique_ptr<CPDFObject> made = NewEmpty(target);
  auto* copy = dynamic_cast<CPDFStream*>(made.get());
  if (!copy) Throw(kModule, "Duplicate", kInternalError, "CPDFStream::Duplicate()");
  copy->CopyFlagsFrom(*this);
  DuplicateEntriesInto(*copy, target, source, map, false);
  copy->BindDoc(target);
  if (IsDataInFile() && target == source) {
    copy->SetSource(m_file, m_offset, m_length);
    return made;
  }
  TempHugeString data(copy->Space());
  if (IsDataInFile()) {
    if (!m_file || !ReadFromFile(*m_file, m_offset, m_length, data)) {
      Throw(kModule, "Duplicate", kRuntimeError, "CPDFStream::Duplicate()");
    }
  } else if (!data.Append(m_data.Data(), m_data.Length())) {
    Throw(kModule, "Duplicate", kRuntimeError, "CPDFStream::Duplicate()");
  }
  copy->SetData(std::move(data));
  return made;
}

void CPDFStream::SwapContent(CPDFObject& other) {
  CPDFDict::SwapContent(other);
  if (auto* stream = dynamic_cast<CPDFStream*>(&other)) {
    CPDFObjHolder* mine = Doc();
    BindDoc(stream->Doc());
    stream->BindDoc(mine);
    m_data.Swap(stream->m_data);
    std::swap(m_file, stream->m_file);
    std::swap(m_offset, stream->m_offset);
    std::swap(m_length, stream->m_length);
    std::swap(m_lengthConfirmed, stream->m_lengthConfirmed);
  }
}

bool CPDFStream::CopyFrom(const CPDFStream& from, CPDFObjHolder* target) {
  if (&from == this) return true;
  ClearEntries();
  for (const auto& [key, atom] : from) {
    if (atom) Insert(key, atom->CloneAtom());
  }
  BindDoc(target);
  if (from.IsDataInFile()) {
    SetSource(from.m_file, from.m_offset, from.m_length);
  } else {
    TempHugeString data(Space());
    if (!data.Append(from.m_data.Data(), from.m_data.Length())) return false;
    m_data.Swap(data);
    m_file.reset();
    m_offset = -1;
    m_length = -1;
  }
  // The length is stored directly: a reference copied from another document would name an
  // object of that document.
  const int64_t length = IsDataInFile() ? m_length : static_cast<int64_t>(m_data.Length());
  Insert("Length", std::make_unique<CPDFInt>(length));
  return true;
}

namespace {
constexpr StreamReader kReadStream = [](CPDFObjHolder* holder, InStream& input,
                                        std::unique_ptr<CPDFDict> dict,
                                        const CPDFCryptContext* cipher) {
  return std::unique_ptr<CPDFObject>(
      CPDFStream::ReadAfterDict(holder, input, std::move(dict), cipher));
};
}  // namespace

std::unique_ptr<CPDFObject> SerializeObject(CPDFObjHolder* doc, InStream& in,
                                            const CPDFCryptContext* crypt) {
  return ParseObject(doc, in, crypt, kReadStream);
}

std::unique_ptr<CPDFObject> SerializeObjectLeniently(CPDFObjHolder* doc, InStream& in,
                                                     const CPDFCryptContext* crypt, int* dropped) {
  return ParseObjectLeniently(doc, in, crypt, kReadStream, dropped);
}

}  // namespace quarn
