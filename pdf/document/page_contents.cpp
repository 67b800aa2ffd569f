// The page operations on "Contents" (absent, one stream, or an array of streams): reading the
// whole content decoded, replacing it, and adding one more stream before or after it.
#include "pdf/document/page_contents.h"

#include <cerrno>
#include <memory>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/xref.h"
#include "pdf/object/limits.h"
#include "pdf/stream/stream.h"
#include "platform/spare_space.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFPage";

bool IsStreamValue(const CPDFObject* value) { return value && value->TypeCode() == kTypeStream; }
// A "Contents" that is null (directly, or through a reference) is no content at all, as for any
// dictionary entry whose value is null.
bool IsNullValue(const CPDFObject* value) { return value && value->TypeCode() == kTypeNull; }

[[noreturn]] void ThrowTypecheck(const char* method, const CPDFObject* value) {
  Throw(kModule, method, kInvalidFormat,
        Format("typecheck: %s", value ? value->TypeName() : "Null"));
}

// How much decoded content may be held: the cap on any decoded data, and the shares of what the
// temporary directory and the address space can still take. `lack` says which one binds: 0 for
// the cap, else the errno of the space that would run out.
struct ContentBudget {
  uint64_t bytes = limits::kMaxDecodedSize;
  int lack = 0;
};

ContentBudget HeldContentBudget(const CPDFStream& target) {
  const TempSpace* space = target.Space();
  ContentBudget budget;
  const uint64_t disk =
      SpareTempSpace(space ? space->directory : "") / limits::kHeldContentTempShare;
  if (disk < budget.bytes) budget = {disk, ENOSPC};
  const uint64_t memory = SpareAddressSpace() / limits::kHeldContentMemoryShare;
  if (memory < budget.bytes) budget = {memory, ENOMEM};
  return budget;
}

// Content past the budget: too large for the cap, or the host's error for the space it lacks.
[[noreturn]] void ThrowOverBudget(const ContentBudget& budget) {
  if (budget.lack != 0) {
    errno = budget.lack;
    ThrowCode(kModule, "ReadContents", kSystemError);
  }
  Throw(kModule, "ReadContents", kInvalidFormat,
        Format("decoded data too large: more than %llu bytes",
               static_cast<unsigned long long>(budget.bytes)));
}

// A copy of `source` to read and decode, so that the page's stream stays untouched (data still
// in the file stays there, and is copied to the output as it stands).
void ScratchCopy(CPDFObjHolder* doc, const CPDFStream& source, CPDFStream& scratch) {
  if (!scratch.CopyFrom(source, doc))
    Throw(kModule, "ReadContents", kInternalError, "CPDFStream::CopyFrom()");
}

// Appends the decoded data of `source` to `target`, which may hold `budget` bytes in all.
void AppendDecoded(CPDFObjHolder* doc, CPDFStream& source, CPDFStream& target,
                   const ContentBudget& budget) {
  CPDFStream scratch(doc);
  ScratchCopy(doc, source, scratch);
  const uint64_t held = target.DataLength();
  const uint64_t room = budget.bytes > held ? budget.bytes - held : 0;
  CPDFErrorRecord error;
  if (!scratch.DecodeAllFilterWithin(room, error)) {
    if (error.Message().starts_with("decoded data too large")) ThrowOverBudget(budget);
    throw error;
  }
  if (scratch.DataLength() > room) ThrowOverBudget(budget);
  if (!target.AppendData(scratch.Data(), scratch.DataLength())) {
    ThrowCode(kModule, "ReadContents", kRuntimeError);
  }
}

// Calls `part` for each stream of the page's content in order; `between` after each stream of
// an array. Nothing for a page without content.
template <class Part, class Between>
void ForEachContentStream(CPDFPage& page, Part part, Between between) {
  CPDFObjHolder* doc = page.Doc();
  CPDFObject* contents = page.GetValue(doc, "Contents");
  if (IsNullValue(contents)) return;
  if (!contents) {
    // A reference that leads nowhere is as good as no content; a failed load is an error.
    if (doc && doc->LastError().IsError()) throw CPDFException(doc->LastError());
    return;
  }
  if (IsStreamValue(contents)) {
    part(*static_cast<CPDFStream*>(contents));
    return;
  }
  CPDFArray* parts = AsArray(contents);
  if (!parts) ThrowTypecheck("ReadContents", contents);
  for (size_t i = 0; i < parts->Count(); ++i) {
    CPDFObject* element = parts->GetObj(doc, static_cast<int>(i));
    if (!IsStreamValue(element)) ThrowTypecheck("ReadContents", element);
    part(*static_cast<CPDFStream*>(element));
    between();
  }
}

// A copy of `source` (dictionary and data) owned by `doc`, filed there as a new indirect object.
CPDFObjRef FileCopy(CPDFObjHolder* doc, const CPDFStream& source, const char* method) {
  auto copy = std::make_unique<CPDFStream>(doc);
  if (!copy->CopyFrom(source, doc))
    Throw(kModule, method, kInternalError, "CPDFStream::CopyFrom()");
  CPDFObjRef ref;
  if (!doc || !doc->RegistObj(std::move(copy), &ref)) {
    Throw(kModule, method, kInternalError, "CPDFDoc::RegistObj()");
  }
  return ref;
}

void MarkUpdated(CPDFObjHolder* doc, const CPDFObjRef& ref, const char* method) {
  if (ref.IsDefined() && doc && !doc->UpdateObj(ref)) {
    Throw(kModule, method, kInternalError, "CPDFDoc::UpdateObj()");
  }
}

// Runs `body`; a library error goes into the document's record and the result is false.
template <class Body>
bool Guarded(CPDFObjHolder* doc, const char* method, Body body) {
  try {
    body();
    return true;
  } catch (const CPDFException& e) {
    if (doc) doc->LastError().Keep(e);
  } catch (const std::bad_alloc&) {
    if (doc) doc->LastError().Keep(CPDFException(kModule, method, kRuntimeError, "out of memory"));
  }
  return false;
}

}  // namespace

bool CPDFPage::ReadContents(CPDFStream& target) {
  CPDFObjHolder* doc = Doc();
  target.ClearEntries();
  target.ClearData();
  return Guarded(doc, "ReadContents", [&] {
    const ContentBudget budget = HeldContentBudget(target);
    ForEachContentStream(
        *this, [&](CPDFStream& part) { AppendDecoded(doc, part, target, budget); },
        [&] {
          if (!target.AppendData(" ", 1)) ThrowCode(kModule, "ReadContents", kRuntimeError);
        });
  });
}

bool StreamContents(CPDFPage& page, const DataSink& sink) {
  CPDFObjHolder* doc = page.Doc();
  return Guarded(doc, "ReadContents", [&] {
    uint64_t streamed = 0;
    const DataSink counted = [&](const char* data, size_t n) {
      streamed += n;
      sink(data, n);
    };
    ForEachContentStream(
        page,
        [&](CPDFStream& part) {
          CPDFStream scratch(doc);
          ScratchCopy(doc, part, scratch);
          const uint64_t room =
              streamed < limits::kMaxDecodedSize ? limits::kMaxDecodedSize - streamed : 0;
          CPDFErrorRecord error;
          if (!scratch.DecodeAllFilterTo(counted, room, error)) throw error;
        },
        [&] { counted(" ", 1); });
  });
}

namespace {

// The filters that only transform bytes: they need nothing but their parameters.
bool IsPlainFilterName(std::string_view name) {
  for (const char* plain : {"FlateDecode", "Fl", "LZWDecode", "LZW", "ASCII85Decode", "A85",
                            "ASCIIHexDecode", "AHx", "RunLengthDecode", "RL"}) {
    if (name == plain) return true;
  }
  return false;
}

// Whether `atom` (a direct value) holds a reference anywhere inside it.
bool HoldsReference(const CPDFAtom* atom) {
  if (!atom || atom->IsRef()) return atom != nullptr;
  const auto* object = static_cast<const CPDFObject*>(atom);
  if (const auto* array = AsArray(object)) {
    for (size_t i = 0; i < array->Count(); ++i) {
      if (HoldsReference(array->At(i))) return true;
    }
  } else if (object->TypeCode() == kTypeDict) {
    for (const auto& [key, value] : *static_cast<const CPDFDict*>(object)) {
      if (HoldsReference(value.get())) return true;
    }
  }
  return false;
}

// A copy of `part` with its data in memory and its filter entries direct; nullptr when the
// part's filters need the document or more than `room` bytes of data would be held.
std::shared_ptr<CPDFStream> DetachPart(CPDFObjHolder* doc, CPDFStream& part, uint64_t room) {
  if (part.Lookup("F") || part.HeldLength() < 0 || static_cast<uint64_t>(part.HeldLength()) > room) {
    return nullptr;
  }
  auto detached = std::make_shared<CPDFStream>(nullptr);
  for (const char* key : {"Filter", "DecodeParms"}) {
    if (!part.Lookup(key)) continue;
    CPDFObject* value = part.GetValue(doc, key);
    if (!value || HoldsReference(value)) return nullptr;
    if (key[0] == 'F') {
      const CPDFArray* names = AsArray(value);
      for (size_t i = 0; names && i < names->Count(); ++i) {
        const CPDFAtom* name = names->At(i);
        if (!name->IsObject() || !static_cast<const CPDFObject*>(name)->IsType(kTypeName)) {
          return nullptr;
        }
        if (!IsPlainFilterName(static_cast<const CPDFName*>(name)->Str())) return nullptr;
      }
      if (!names && (!value->IsType(kTypeName) ||
                     !IsPlainFilterName(static_cast<const CPDFName*>(value)->Str()))) {
        return nullptr;
      }
    }
    if (!detached->Insert(key, value->CloneAtom())) return nullptr;
  }
  // The data as the page's stream holds it, read through a copy so that data left in the file
  // stays there.
  CPDFStream scratch(doc);
  ScratchCopy(doc, part, scratch);
  if (!detached->SetData(scratch.Data(), scratch.DataLength())) return nullptr;
  return detached;
}

}  // namespace

bool DetachContents(CPDFPage& page, uint64_t maxBytes, DetachedContents& detached) {
  // Each part is an object of its own: a "Contents" array of many streams stays where it is.
  constexpr size_t kMaxDetachedParts = 64;
  struct NotDetachable {};  // ends the walk at the first part that cannot be copied
  CPDFObjHolder* doc = page.Doc();
  detached = DetachedContents{};
  uint64_t held = 0;
  bool read = false;
  try {
    read = Guarded(doc, "ReadContents", [&] {
      ForEachContentStream(
          page,
          [&](CPDFStream& part) {
            std::shared_ptr<CPDFStream> copy = detached.parts.size() < kMaxDetachedParts
                                                   ? DetachPart(doc, part, maxBytes - held)
                                                   : nullptr;
            if (!copy) throw NotDetachable{};
            held += copy->DataLength();
            detached.parts.push_back(std::move(copy));
          },
          [&] { detached.array = true; });
    });
  } catch (const NotDetachable&) {
    read = false;
  }
  if (read) return true;
  if (doc) doc->ClearError();
  detached = DetachedContents{};
  return false;
}

bool StreamDetachedContents(const DetachedContents& detached, const DataSink& sink,
                            CPDFErrorRecord& error) {
  uint64_t streamed = 0;
  const DataSink counted = [&](const char* data, size_t n) {
    streamed += n;
    sink(data, n);
  };
  for (const std::shared_ptr<CPDFStream>& part : detached.parts) {
    const uint64_t room =
        streamed < limits::kMaxDecodedSize ? limits::kMaxDecodedSize - streamed : 0;
    if (!part->DecodeAllFilterTo(counted, room, error)) return false;
    if (detached.array) counted(" ", 1);
  }
  return true;
}

bool CPDFPage::ReplaceContents(const CPDFStream& stream) {
  CPDFObjHolder* doc = Doc();
  return Guarded(doc, "ReplaceContents", [&] {
    CPDFObjRef ref;
    CPDFObject* contents = GetValue(doc, "Contents", &ref);
    if (!contents || IsNullValue(contents)) {
      const CPDFObjRef added = FileCopy(doc, stream, "ReplaceContents");
      if (!SetReference("Contents", added))
        Throw(kModule, "ReplaceContents", kInternalError, "CPDFDict::Insert()");
      return;
    }
    if (!IsStreamValue(contents) && !AsArray(contents)) ThrowTypecheck("ReplaceContents", contents);
    MarkUpdated(doc, ref, "ReplaceContents");
    if (CPDFArray* parts = AsArray(contents)) {
      parts->ClearItems();
      const CPDFObjRef added = FileCopy(doc, stream, "ReplaceContents");
      if (!parts->Push_Back(std::make_unique<CPDFObjRef>(added))) {
        Throw(kModule, "ReplaceContents", kInternalError, "CPDFArray::Push_Back()");
      }
      return;
    }
    auto* existing = static_cast<CPDFStream*>(contents);
    existing->ClearEntries();
    existing->ClearData();
    if (!existing->CopyFrom(stream, doc))
      Throw(kModule, "ReplaceContents", kInternalError, "CPDFStream::CopyFrom()");
  });
}

namespace {

// The common part of adding content: `file` gives the identity of the stream to add (filing it
// when needed); the page's "Contents" becomes or stays an array holding it before or after the
// existing content.
// Makes "Contents" an array that holds `stream` (a new indirect object, or a direct one in the
// page) and returns it.
CPDFArray* NewContentsArray(CPDFPage& page, const CPDFObjRef& stream, ContentsArray made) {
  CPDFObjHolder* doc = page.Doc();
  auto array = std::make_unique<CPDFArray>();
  array->Push_Back(std::make_unique<CPDFObjRef>(stream));
  CPDFObjRef arrayRef;
  const bool indirect = made == ContentsArray::kIndirect;
  if (!page.SetValue(doc, "Contents", std::move(array), indirect, &arrayRef)) {
    Throw(kModule, "AddContents", kInternalError, "CPDFPage::Set_Contents()");
  }
  CPDFArray* parts = AsArray(page.GetValue(doc, "Contents"));
  if (!parts) Throw(kModule, "AddContents", kInternalError, "CPDFPage::Get_Contents()");
  return parts;
}

// Whether `ref` is a stream that has not been read yet. A sound file's stream is told by its
// bytes alone; in a repaired file a stream may be cut short (and is written as null), so it is
// read to be known, and leaves memory again.
bool IsUnreadStream(CPDFDoc& doc, const CPDFObjRef& ref) {
  if (!doc.IsStreamInFile(ref)) return false;
  if (!doc.IsRepaired()) return true;
  const bool stream = IsStreamValue(doc.GetObj(ref));
  if (stream) {
    doc.UnloadObj(ref);
  } else {
    doc.ClearError();
  }
  return stream;
}

// The page's content when it is one stream that has not been read yet: an array kept in the
// page needs only its identity, and reading each page's stream would cost a long document most
// of its walk and memory. Nothing when it has to be read to be known.
CPDFObjRef UnreadContentStream(CPDFPage& page) {
  const CPDFAtom* entry = page.Lookup("Contents");
  CPDFDoc* doc = DocOf(page.Doc());
  if (!entry || !entry->IsRef() || !doc) return CPDFObjRef();
  const CPDFObjRef& ref = *static_cast<const CPDFObjRef*>(entry);
  return IsUnreadStream(*doc, ref) ? ref : CPDFObjRef();
}

// Whether item `i` of a "Contents" array is a stream, through its reference when it has one.
// A reference to no object, or to one that cannot be read (the save writes it as null), holds
// no content; an object written out and released already cannot be looked at and stays.
bool IsContentStream(CPDFObjHolder* holder, const CPDFArray& parts, size_t i) {
  const CPDFAtom* item = parts.At(i);
  if (!item || !item->IsRef()) return item && IsStreamValue(static_cast<const CPDFObject*>(item));
  const CPDFObjRef& ref = *static_cast<const CPDFObjRef*>(item);
  CPDFDoc* doc = DocOf(holder);
  if (!doc) return IsStreamValue(holder ? holder->GetObj(ref) : nullptr);
  if (IsUnreadStream(*doc, ref)) return true;
  const bool loaded = doc->FindObj(ref, false) != nullptr;
  if (const CPDFObject* object = doc->GetObj(ref)) {
    // A stream read only for the look leaves memory again.
    const bool stream = IsStreamValue(object);
    if (stream && !loaded) doc->UnloadObj(ref);
    return stream;
  }
  const bool unreadable = doc->LastError().IsError();
  doc->ClearError();
  const CPDFXRefEntry* entry = doc->FindEntry(ref.Num(), false);
  return !unreadable && entry && entry->InUse() && entry->Gen() == ref.Gen();
}

// Leaves out the items that are not streams; marks an indirect array changed when it loses any.
void DropNonStreams(CPDFObjHolder* doc, CPDFArray& parts, const CPDFObjRef& ref) {
  bool dropped = false;
  for (size_t i = 0; i < parts.Count();) {
    if (IsContentStream(doc, parts, i)) {
      ++i;
    } else {
      parts.RemoveAt(i);
      dropped = true;
    }
  }
  if (dropped) MarkUpdated(doc, ref, "AddContents");
}

// The common part of adding content: `file` gives the identity of the stream to add (filing it
// when needed); the page's "Contents" becomes or stays an array holding it before or after the
// existing content.
template <class FileStream>
bool AddContentsWith(CPDFPage& page, bool after, ContentsArray made, FileStream file) {
  CPDFObjHolder* doc = page.Doc();
  return Guarded(doc, "AddContents", [&] {
    const CPDFObjRef unread = UnreadContentStream(page);
    CPDFArray* parts = unread.IsDefined() ? NewContentsArray(page, unread, made) : nullptr;
    CPDFObjRef ref;
    CPDFObject* contents = parts ? parts : page.GetValue(doc, "Contents", &ref);
    if (!contents || IsNullValue(contents)) {
      if (!page.SetReference("Contents", file()))
        Throw(kModule, "AddContents", kInternalError, "CPDFDict::Insert()");
      return;
    }
    if (parts) {
      // Made above.
    } else if ((parts = AsArray(contents)) != nullptr) {
      MarkUpdated(doc, ref, "AddContents");
    } else if (IsStreamValue(contents)) {
      CPDFObjRef oldStream = ref;
      if (!oldStream.IsDefined()) {
        // Content streams are indirect objects; one held directly is filed as one, so that the
        // new array can refer to it.
        std::unique_ptr<CPDFAtom> detached = page.Detach("Contents");
        std::unique_ptr<CPDFObject> owned(static_cast<CPDFObject*>(detached.release()));
        if (!doc->RegistObj(std::move(owned), &oldStream)) {
          Throw(kModule, "AddContents", kInternalError, "CPDFDoc::RegistObj()");
        }
      }
      parts = NewContentsArray(page, oldStream, made);
    } else {
      ThrowTypecheck("AddContents", contents);
    }
    auto reference = std::make_unique<CPDFObjRef>(file());
    if (after) {
      if (!parts->Push_Back(std::move(reference))) {
        Throw(kModule, "AddContents", kInternalError, "CPDFArray::Push_Back()");
      }
    } else {
      parts->InsertAt(0, std::move(reference));
    }
  });
}

}  // namespace

bool CPDFPage::AddContents(const CPDFStream& stream, bool after) {
  return AddContentsFiled(*this, stream, after, nullptr);
}

bool AddContentsFiled(CPDFPage& page, const CPDFStream& stream, bool after, CPDFObjRef* filed,
                      ContentsArray made) {
  return AddContentsWith(page, after, made, [&] {
    const CPDFObjRef ref = FileCopy(page.Doc(), stream, "AddContents");
    if (filed) *filed = ref;
    return ref;
  });
}

bool AddContentsReference(CPDFPage& page, const CPDFObjRef& stream, bool after,
                          ContentsArray made) {
  if (!stream.IsDefined()) {
    if (page.Doc()) {
      page.Doc()->LastError().Keep(
          CPDFException(kModule, "AddContents", kUserError, "Object reference is not defined."));
    }
    return false;
  }
  return AddContentsWith(page, after, made, [&] { return stream; });
}

bool DropNonStreamContents(CPDFPage& page) {
  CPDFObjHolder* doc = page.Doc();
  return Guarded(doc, "AddContents", [&] {
    // One stream, as a rule: told from the file without reading it.
    if (UnreadContentStream(page).IsDefined()) return;
    CPDFObjRef ref;
    if (CPDFArray* parts = AsArray(page.GetValue(doc, "Contents", &ref))) {
      DropNonStreams(doc, *parts, ref);
    } else if (doc) {
      doc->ClearError();  // only a look: what cannot be read is for the adding to report
    }
  });
}

}  // namespace quarn
