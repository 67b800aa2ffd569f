// Incremental updates: the changed objects written after every byte of the file they change,
// in the file itself or in a copy of it, ended by cross-reference data of the file's own kind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>
#include <string_view>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/object_stream_packer.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/document/xref_stream.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"
#include "pdf/stream/flate_filter.h"
#include "pdf/stream/stream.h"
#include "platform/output_file.h"
#include "platform/prefix_copy.h"
#include "platform/source_file.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";
// Short runs of unchanged numbers between changed ones are listed again with their old rows:
// a row costs a few compressed bytes, a new "Index" run about ten bytes of plain text.
constexpr int32_t kMaxRelistedGap = 8;
// How much of an object's start is looked at to tell a stream: a content stream's dictionary
// is a few dozen bytes.
constexpr size_t kStreamPeekBytes = 512;
// How much of an object's start is looked at to tell a page: a page's dictionary is a few
// hundred bytes; a longer one is read to be told.
constexpr size_t kPagePeekBytes = 2048;

// Where the dictionary that begins object `ref` in `text` ends (the index of its closing ">>"),
// or npos when the window does not settle it. Strings, nested dictionaries and comments inside
// the dictionary are passed over. `namesKids`, when given, learns whether a name in it may be
// "Kids" (spelt out, or written with '#' escapes that could spell it).
size_t ObjectDictEnd(std::string_view text, const CPDFObjRef& ref, bool* namesKids = nullptr) {
  constexpr size_t npos = std::string_view::npos;
  char head[CPDFObjRef::kObjHeaderSize];
  const size_t headLength = ref.ObjHeader(head);
  size_t i = text.find_first_not_of(" \t\r\n\f");
  if (i == npos || text.compare(i, headLength, head, headLength) != 0) return npos;
  i = text.find_first_not_of(" \t\r\n\f", i + headLength);
  if (i == npos || text.compare(i, 2, "<<") != 0) return npos;
  int depth = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '<' && next == '<') {
      ++depth;
      ++i;
    } else if (c == '>' && next == '>') {
      ++i;
      if (--depth == 0) return i;
    } else if (c == '<') {
      i = text.find('>', i);
    } else if (c == '%') {
      i = text.find_first_of("\r\n", i);
    } else if (c == '/') {
      // A name ends where the object parser ends it: a comment right after it is a comment.
      size_t end = i + 1;
      while (end < text.size() && text[end] != '%' &&
             !IsWhitespace(static_cast<unsigned char>(text[end])) &&
             !IsDelimiter(static_cast<unsigned char>(text[end]))) {
        ++end;
      }
      const std::string_view name = text.substr(i + 1, end - i - 1);
      if (namesKids && (name == "Kids" || name.find('#') != npos)) *namesKids = true;
      i = end - 1;
    } else if (c == '(') {
      int parens = 1;
      for (++i; i < text.size() && parens > 0; ++i) {
        if (text[i] == '\\')
          ++i;
        else if (text[i] == '(')
          ++parens;
        else if (text[i] == ')')
          --parens;
      }
      if (parens > 0) return npos;
      --i;
    }
    if (i == npos) return npos;
  }
  return npos;
}

// Whether `text` holds object `ref` as a dictionary followed by "stream"; whatever the window
// does not settle counts as no.
bool StreamObjectIn(std::string_view text, const CPDFObjRef& ref) {
  const size_t end = ObjectDictEnd(text, ref);
  if (end == std::string_view::npos) return false;
  const size_t i = text.find_first_not_of(" \t\r\n\f", end + 1);
  return i != std::string_view::npos && text.compare(i, 6, "stream") == 0;
}

}  // namespace

bool CPDFDoc::IsStreamInFile(const CPDFObjRef& ref) {
  if (!ref.IsDefined() || !m_->source || FindObj(ref, false)) return false;
  if (m_->outputOffsets.Has(ref.Num())) return false;
  const CPDFXRefEntry* entry = FindEntry(ref.Num(), false);
  // Streams never lie in object streams; an entry of another generation is not this object.
  if (!entry || !entry->InUse() || entry->IsCompressed() || entry->Gen() != ref.Gen()) return false;
  // Read through the input's buffer: a page and its content stream usually lie side by side,
  // so that the look mostly costs no read of its own.
  if (!m_->in || !m_->in->Seek(entry->Offset())) return false;
  const std::string_view window = m_->in->Window(kStreamPeekBytes);
  return !window.empty() && StreamObjectIn(window, ref);
}

bool CPDFDoc::IsPageInFile(const CPDFObjRef& ref) {
  if (!ref.IsDefined() || !m_->source || FindObj(ref, false)) return false;
  if (m_->outputOffsets.Has(ref.Num())) return false;
  const CPDFXRefEntry* entry = FindEntry(ref.Num(), false);
  if (!entry || !entry->InUse() || entry->IsCompressed() || entry->Gen() != ref.Gen()) return false;
  if (!m_->in || !m_->in->Seek(entry->Offset())) return false;
  bool namesKids = false;
  return ObjectDictEnd(m_->in->Window(kPagePeekBytes), ref, &namesKids) != std::string_view::npos &&
         !namesKids;
}

bool CPDFDoc::SourceUnchanged(const std::string& name) const {
  struct stat read {};
  if (!m_->source || fstat(m_->source->Fd(), &read) != 0) return false;
  struct stat now {};
  const bool found = stat(name.c_str(), &now) == 0;
  const bool same = found && now.st_dev == read.st_dev && now.st_ino == read.st_ino;
  // Under its own name the document's file must still be there; under any name it must still
  // have the length it was read with.
  if (name == m_->fileName && !same) return false;
  return !same || now.st_size == m_->source->Size();
}

bool CPDFDoc::SaveUpdate(const char* fileName) {
  ClearError();
  if (!fileName || !*fileName || IsFDF() || !m_->source) {
    m_->error.Keep(CPDFException(kModule, "Save", kUserError,
                                 "an incremental update needs the PDF file it follows"));
    return false;
  }
  return SaveWith(fileName, true, false, true);
}

void CPDFDoc::ChooseCopiedOutput(const std::string& name) {
  // The copy and its update are made beside the target and take its name at Flush, so that a
  // failed run never leaves a half-made file there.
  // The offsets the update refers to are those of the file as it was read: a file that grew,
  // shrank or was replaced since then would be overwritten with an update of the wrong file.
  if (!SourceUnchanged(name)) {
    Throw(kModule, "Save", kUserError, "the file changed after it was opened");
  }
  m_->targetName = name;
  m_->tempFile = OutputFile::CreateBeside(name);
  if (!m_->tempFile) ThrowCode(kModule, "Save", kRuntimeError);
  m_->tempOutput = true;
  m_->outputCreated = true;
  m_->outputName = m_->tempFile->Path();
  const int fd = m_->tempFile->DuplicateFd();
  if (fd < 0) ThrowCode(kModule, "Save", kRuntimeError);
  const int64_t size = m_->source->Size();
  if (!CopyFilePrefix(m_->source->Fd(), fd, size)) {
    const int err = errno;
    close(fd);
    errno = err;
    ThrowCode(kModule, "Save", kRuntimeError);
  }
  m_->out->Adopt(fd, size);
  char last = '\n';
  if (size > 0 && m_->source->ReadAt(size - 1, &last, 1) == 1 && last != '\n' && last != '\r') {
    *m_->out << endl;
  }
}

void CPDFDoc::WriteUpdateXRef(CPDFXRef& xref, CPDFTrailer& trailer, int64_t startXRef,
                              const OutputOffsets& written) {
  // The update follows the section that the file's last "startxref" names. That is where that
  // section begins, which the trailer's own startxref does not always say (a linearized file's
  // first-page section gives 0 there).
  const CPDFXRef* previous = m_->xrefs.size() > 1 ? m_->xrefs[1].get() : nullptr;
  if (previous && previous->SectionOffset() >= 0) {
    trailer.Set_Prev(std::make_unique<CPDFInt>(previous->SectionOffset()));
  }
  if (previous && previous->IsStreamSection()) {
    WriteXRefStreamSection(xref, trailer, startXRef, written);
  } else {
    xref.Write(*m_->out, &written);
    trailer.SetStartXRef(startXRef);
    trailer.Serialize(*m_->out);
  }
  xref.SetSectionOffset(startXRef);
}

void CPDFDoc::WriteXRefStreamSection(CPDFXRef& xref, CPDFTrailer& trailer, int64_t startXRef,
                                     const OutputOffsets& written) {
  // The stream takes the first number that no section uses.
  int32_t num = std::max(LargestTableSize() + 1, 1);
  if (const CPDFNumber* size = trailer.Get_Size()) num = std::max(num, size->IntValue());
  if (num > limits::kMaxObjectNumber) {
    Throw(kModule, "Serialize", kUserError, "no object number left for the cross-reference stream");
  }
  // The rows are made twice (the writer measures them, then writes them): the section's own
  // entries, with short runs of unchanged numbers between them listed again with their old
  // rows, and last the stream itself.
  const CPDFXRefEntry self(num, 0, startXRef, true);
  auto rows = [&](const std::function<void(const CPDFXRefEntry&)>& visit) {
    int32_t last = 0;
    auto relistGap = [&](int32_t next) {
      if (next - last - 1 > kMaxRelistedGap) return;
      for (int32_t n = last + 1; n < next; ++n) {
        if (!FindEntry(n, true)) return;
      }
      for (int32_t n = last + 1; n < next; ++n) visit(*FindEntry(n, true));
    };
    xref.ForEach([&](int32_t n, const CPDFXRefEntry& entry) {
      relistGap(n);
      CPDFXRefEntry row = entry;
      if (row.InUse()) written.Place(n, row);
      visit(row);
      last = n;
    });
    relistGap(num);
    visit(self);
  };
  trailer.Set_Size(std::make_unique<CPDFInt>(num + 1));
  CPDFXRefStream::Write(*m_->out, startXRef, xref.FreeHead(), rows, trailer.Dict());
  trailer.SetStartXRef(startXRef);
  // The section now lists its own stream, as a section read from the file would.
  xref.Grow(num);
  xref.SetEntry(self);
  xref.AddStreamNumber(num);
  xref.SetStreamSection(true);
}

bool CPDFDoc::PacksObj(const CPDFObjRef& ref, const CPDFObject& obj) const {
  return m_->packer && ref.Gen() == 0 && obj.TypeCode() != kTypeStream && !(ref == m_->encryptRef);
}

void CPDFDoc::WriteOutputObj(const CPDFObjRef& ref, const CPDFObject& obj, bool released,
                             const char* method) {
  if (!PacksObj(ref, obj)) {
    const int64_t offset = StoreObj(ref, obj);
    if (offset < 0) Throw(kModule, method, kInternalError, "CPDFDoc::StoreObj()");
    if (!m_->outputOffsets.Note(ref.Num(), offset, released)) {
      Throw(kModule, method, kInternalError, "OutputOffsets::Note()");
    }
    return;
  }
  if (!m_->packingInto.IsDefined()) {
    // The stream's number is taken now, so that its objects can be noted as written at once
    // (a released one must not be read from the input again). It counts as written from
    // here: a flush that meets it before the stream is full must not write it as null. The
    // rows that name an object stream give no generation: it must be 0, so the number is new.
    const CPDFObjRef stream = RegistAtNewNumber(std::make_unique<CPDFNull>());
    m_->outputOffsets.Note(stream.Num(), 0, true);
    m_->packingInto = stream;
  }
  StringOutStream text;
  obj.Serialize(text, nullptr);  // an object stream is encrypted as a whole
  const int32_t index = m_->packer->Add(ref.Num(), text.Str());
  if (!m_->outputOffsets.NoteCompressed(ref.Num(), m_->packingInto.Num(), index, released)) {
    Throw(kModule, method, kInternalError, "OutputOffsets::NoteCompressed()");
  }
  if (m_->packer->Full()) WritePackedObjs();
}

void CPDFDoc::WritePackedObjs() {
  if (!m_->packer || m_->packer->Empty() || !m_->packingInto.IsDefined()) return;
  const CPDFObjRef ref = m_->packingInto;
  m_->packingInto = CPDFObjRef();
  const CPDFObjStmPacker::Packed packed = m_->packer->Take();
  CPDFStream stream(this);
  stream.Insert("Type", std::make_unique<CPDFName>("ObjStm"));
  stream.Insert("N", std::make_unique<CPDFInt>(packed.count));
  stream.Insert("First", std::make_unique<CPDFInt>(packed.first));
  CPDFErrorRecord error;
  if (!stream.SetData(packed.data.data(), packed.data.size()) ||
      !CPDFFlateFilter::EncodeFast(stream, error)) {
    throw CPDFException(error);
  }
  const int64_t offset = StoreObj(ref, stream);
  if (offset < 0) Throw(kModule, "Serialize", kInternalError, "CPDFDoc::StoreObj()");
  m_->outputOffsets.Note(ref.Num(), offset, true);
  // The null that held the number is not an object of the document.
  GetBody()->DetachObj(ref);
}

}  // namespace quarn
