#include "pdf/document/object_stream.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";
constexpr char kMethod[] = "LoadObj";

[[noreturn]] void Fail(const std::string& message) {
  Throw(kModule, kMethod, kInvalidFormat, message);
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Removes the stream number from the list of streams being loaded on every way out.
class LoadingMark {
 public:
  LoadingMark(std::vector<int32_t>& loading, int32_t num) : m_loading(loading) {
    m_loading.push_back(num);
  }
  ~LoadingMark() { m_loading.pop_back(); }
  LoadingMark(const LoadingMark&) = delete;
  LoadingMark& operator=(const LoadingMark&) = delete;

 private:
  std::vector<int32_t>& m_loading;
};

}  // namespace

// ---- CPDFObjStm ------------------------------------------------------------------------------

std::unique_ptr<CPDFObjStm> CPDFObjStm::Decode(int32_t num, CPDFStream& stream) {
  CPDFObjHolder* doc = stream.Doc();
  CPDFName* type = stream.GetName(doc, "Type");
  if (type && !type->Equals("ObjStm")) Fail(Format("not an object stream: %d", num));
  CPDFNumber* count = stream.GetNumber(doc, "N");
  CPDFNumber* first = stream.GetNumber(doc, "First");
  if (!count || !first || count->IntValue() < 0 || first->Int64Value() < 0) {
    Fail(Format("object stream %d: invalid N or First", num));
  }
  // Only the number of the extended stream is kept: nothing here needs that stream itself.
  CPDFObjRef extends;
  CPDFAtom* extendsAtom = stream.Lookup("Extends");
  const bool hasExtends = extendsAtom && extendsAtom->IsRef();
  if (hasExtends) extends = *static_cast<CPDFObjRef*>(extendsAtom);
  CPDFErrorRecord error;
  if (!stream.DecodeAllFilterWithin(limits::kMaxObjectStreamSize, error)) {
    Fail(Format("object stream %d: %s", num, error.Message().c_str()));
  }
  std::unique_ptr<CPDFObjStm> decoded =
      FromData(num, stream.Data(), stream.DataLength(), count->IntValue(), first->Int64Value());
  if (hasExtends && extends.IsDefined()) {
    if (extends.Num() == num) Fail(Format("object stream %d extends itself", num));
    decoded->m_extends = extends.Num();
  }
  return decoded;
}

std::unique_ptr<CPDFObjStm> CPDFObjStm::FromData(int32_t num, const char* data, size_t size,
                                                 int32_t count, int64_t first) {
  std::unique_ptr<CPDFObjStm> stm(new CPDFObjStm());
  stm->m_num = num;
  if (first < 0 || static_cast<uint64_t>(first) > size) {
    Fail(Format("object stream %d: First %lld lies past its data", num,
                static_cast<long long>(first)));
  }
  stm->m_first = first;
  if (size && !stm->m_data.Append(data, size)) ThrowCode(kModule, kMethod, kRuntimeError);
  // The pairs are read from the header alone, and only as many as it holds: "N" sizes
  // nothing.
  MemInStream in(stm->m_data.Data(), static_cast<size_t>(first));
  for (int32_t i = 0; i < count; ++i) {
    std::string number, offset;
    if (!ReadToken(in, number) || !ReadToken(in, offset)) break;
    if (!AllDigits(number) || !AllDigits(offset)) break;
    const long long objNum = std::strtoll(number.c_str(), nullptr, 10);
    const long long objOffset = std::strtoll(offset.c_str(), nullptr, 10);
    if (objNum <= 0 || objNum > limits::kMaxObjectNumber) continue;
    stm->m_header.emplace_back(static_cast<int32_t>(objNum), objOffset);
  }
  return stm;
}

std::unique_ptr<CPDFObject> CPDFObjStm::ParseObject(int32_t num, int32_t index) const {
  size_t at = m_header.size();
  if (index >= 0 && static_cast<size_t>(index) < m_header.size() &&
      m_header[static_cast<size_t>(index)].first == num) {
    at = static_cast<size_t>(index);
  } else {
    // A writer that numbered the positions differently: the header still names the object.
    for (size_t i = 0; i < m_header.size(); ++i) {
      if (m_header[i].first == num) {
        at = i;
        break;
      }
    }
  }
  if (at == m_header.size()) Fail(Format("object %d is not in object stream %d", num, m_num));
  const int64_t offset = m_header[at].second;
  const uint64_t size = m_data.Length();
  if (offset < 0 || static_cast<uint64_t>(offset) > size - static_cast<uint64_t>(m_first)) {
    Fail(Format("object %d lies past the data of object stream %d", num, m_num));
  }
  const uint64_t start = static_cast<uint64_t>(m_first) + static_cast<uint64_t>(offset);
  MemInStream in(m_data.Data() + start, static_cast<size_t>(size - start));
  // Parsed without the document: nothing in an object stream is encrypted on its own, and a
  // stream found here (which must not be) is not followed into the file.
  std::unique_ptr<CPDFObject> obj = SerializeObject(nullptr, in, nullptr);
  if (!obj) {
    std::string token;
    if (!ReadToken(in, token)) Fail("ioerror");
    Fail(Format("invalidtoken: %s", token.c_str()));
  }
  if (obj->IsType(kTypeStream))
    Fail(Format("object %d in object stream %d is a stream", num, m_num));
  return obj;
}

// ---- CPDFObjStmCache -------------------------------------------------------------------------

std::unique_ptr<CPDFObject> CPDFObjStmCache::Load(CPDFDoc& doc, const CPDFObjRef& ref,
                                                  int32_t stmNum, int32_t index) {
  // An object in an object stream has generation 0.
  if (ref.Gen() != 0) Fail(Format("invalidobjref: %d %d", ref.Num(), 0));
  if (doc.Source().get() != m_source) {
    m_streams.clear();
    m_source = doc.Source().get();
  }
  return Get(doc, stmNum).ParseObject(ref.Num(), index);
}

void CPDFObjStmCache::KeepLocation(const CPDFXRefEntry& entry) {
  m_locations.insert_or_assign(entry.Num(), entry);
}

void CPDFObjStmCache::Clear() {
  m_streams.clear();
  m_locations.clear();
  m_source = nullptr;
}

const CPDFObjStm& CPDFObjStmCache::Get(CPDFDoc& doc, int32_t stmNum) {
  for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
    if ((*it)->Num() == stmNum) {
      m_streams.splice(m_streams.begin(), m_streams, it);
      return *m_streams.front();
    }
  }
  if (std::find(m_loading.begin(), m_loading.end(), stmNum) != m_loading.end()) {
    Fail(Format("object stream %d contains itself", stmNum));
  }
  if (m_loading.size() >= static_cast<size_t>(limits::kMaxObjectStreamNesting)) {
    Fail(Format("object stream %d: object streams nested too deep", stmNum));
  }
  std::unique_ptr<CPDFObjStm> stm;
  {
    LoadingMark mark(m_loading, stmNum);
    stm = Read(doc, stmNum);
  }
  m_streams.push_front(std::move(stm));
  if (m_streams.size() > kCapacity) m_streams.pop_back();
  return *m_streams.front();
}

std::unique_ptr<CPDFObjStm> CPDFObjStmCache::Read(CPDFDoc& doc, int32_t stmNum) {
  const auto kept = m_locations.find(stmNum);
  const CPDFXRefEntry* entry =
      kept != m_locations.end() ? &kept->second : doc.FindEntry(stmNum, false);
  if (!entry) Fail(Format("object stream %d is missing", stmNum));
  if (!entry->InUse()) Fail(Format("object stream %d is free", stmNum));
  if (entry->IsCompressed()) Fail(Format("object stream %d lies in an object stream", stmNum));
  const CPDFXRefEntry location = *entry;
  std::unique_ptr<CPDFObject> obj =
      doc.LoadObj(CPDFObjRef(stmNum, location.Gen()), location.Offset());
  if (!obj) throw CPDFException(doc.LastError());
  auto* stream = dynamic_cast<CPDFStream*>(obj.get());
  if (!stream) Fail(Format("not an object stream: %d", stmNum));
  // Its objects are read from the data found, but readers that take the Length cannot read
  // them: an update chained to this file would hide them from those readers.
  if (!stream->LengthFits()) doc.NoteRepaired();
  return CPDFObjStm::Decode(stmNum, *stream);
}

}  // namespace quarn
