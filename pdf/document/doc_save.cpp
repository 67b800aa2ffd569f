// Saving: choosing the output, gathering a full rewrite, writing the update section, and
// putting the output in place of the input.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/header.h"
#include "pdf/document/linearization.h"
#include "pdf/document/object_stream_packer.h"
#include "pdf/document/security.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/stream/stream.h"
#include "platform/output_file.h"
#include "platform/source_file.h"
#include "platform/temp_file.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";

}  // namespace

// ---- Save ------------------------------------------------------------------------------------

bool CPDFDoc::Save(const char* fileName, bool incremental, bool linearize) {
  return SaveWith(fileName, incremental, linearize, false);
}

bool CPDFDoc::SaveWith(const char* fileName, bool incremental, bool linearize, bool copyInput) {
  ClearError();
  // A second Save before Flush would abandon the first output half written; it is refused and
  // the save under way goes on.
  if (m_->saveCalled) {
    m_->error.Keep(
        CPDFException(kModule, "Save", kUserError, "CPDFDoc::Flush() has not been called."));
    return false;
  }
  try {
    if (!GetBody()) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetBody()");
    if (!GetXRef()) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetXRef()");
    CPDFTrailer* trailer = GetTrailer();
    if (!trailer) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetTrailer()");
    m_->saveCalled = true;
    m_->tempOutput = false;
    if (IsFDF()) {
      incremental = false;
      linearize = false;
    } else {
      incremental = incremental && !linearize && !m_->hasOutKey;
    }
    if (trailer->Dict().Lookup("Encrypt") && !m_->hasOutKey && m_->hasDocKey) {
      CPDFEncryptDict* encrypt = trailer->Get_Encrypt();
      if (encrypt && encrypt->IsStandard()) {
        m_->outKey = m_->docKey;
        m_->hasOutKey = true;
      }
    }
    m_->incremental = incremental;
    m_->linearized = linearize;
    m_->copyInput = copyInput && incremental;
    if (m_->incremental && (m_->copyInput || (fileName && m_->fileName == fileName)))
      CheckAppendable();
    ChooseOutput(fileName);
    // An update that follows a cross-reference stream packs its small objects into object
    // streams, as such a file does itself. Strings in an object stream are protected by the
    // stream's encryption alone: a file that encrypts its strings and not its streams keeps
    // them plain.
    m_->packingInto = CPDFObjRef();
    const CPDFEncryptDict* encrypt =
        trailer->Dict().Lookup("Encrypt") ? trailer->Get_Encrypt() : nullptr;
    if (m_->incremental && m_->xrefs.size() > 1 && m_->xrefs[1]->IsStreamSection() &&
        (!encrypt || encrypt->StringMethod() == encrypt->StreamMethod())) {
      m_->packer = std::make_unique<CPDFObjStmPacker>();
    }
    if (m_->incremental) return true;
    // Every object goes into the update section, FDF included: a rewrite that left out the
    // objects nobody touched would lose them.
    GatherForRewrite();
    m_->header->Serialize(*m_->out);
    return true;
  } catch (...) {
    CleanupAfterFailure();
    KeepCurrentError(m_->error, kModule, "Save");
  }
  return false;
}

void CPDFDoc::ChooseOutput(const char* fileName) {
  const std::string name = fileName ? fileName : "";
  m_->out = std::make_unique<FileOutStream>();
  m_->outputIsStdout = false;
  if (name.empty()) {
    m_->incremental = false;
    m_->outputIsStdout = true;
    m_->out->OpenStdout();
    m_->outputCreated = true;
    return;
  }
  // An update, in place or into another file, goes after a copy of the input made beside its
  // target, which takes the target's name in one step at Flush: a run ended at any instant,
  // even by SIGKILL or a power cut, leaves the old file or the whole new one there.
  if (m_->copyInput || (name == m_->fileName && m_->incremental)) {
    ChooseCopiedOutput(name);
    return;
  }
  // A full rewrite goes into a temporary beside the file it will become, so that the file is
  // replaced in one step at Flush and never left half written.
  if (name != m_->fileName) m_->incremental = false;
  m_->targetName = name;
  m_->tempFile = OutputFile::CreateBeside(name);
  if (!m_->tempFile) ThrowCode(kModule, "Save", kRuntimeError);
  const int fd = m_->tempFile->DuplicateFd();
  if (fd < 0) {
    const int err = errno;
    m_->tempFile.reset();
    errno = err;
    ThrowCode(kModule, "Save", kRuntimeError);
  }
  m_->outputName = m_->tempFile->Path();
  m_->out->Adopt(fd, 0);
  m_->tempOutput = true;
  m_->outputCreated = true;
}

void CPDFDoc::GatherForRewrite() {
  CPDFBody* body = GetBody();
  CPDFXRef* xref = GetXRef();
  // Newest sections first, so that each number takes the entry of its newest section.
  for (size_t i = 1; i < m_->xrefs.size(); ++i) {
    m_->xrefs[i]->ForEach([&](int32_t num, const CPDFXRefEntry& entry) {
      if (xref->GetEntry(num)) return;
      if (!xref->SetEntry(entry)) Throw(kModule, "Save", kInternalError, "CPDFXRef::SetEntry()");
      const CPDFObjRef ref(num, entry.Gen());
      CPDFBody* older = nullptr;
      if (!body->GetObj(ref) && FindObj(ref, true, &older)) {
        const bool pristine = older->IsPristine(ref);
        body->SetObj(ref, older->DetachObj(ref), pristine);
      }
    });
  }
  DropCrossReferenceStreams();
  m_->bodies.resize(1);
  m_->xrefs.resize(1);
  m_->trailers.resize(1);
  CPDFDict& dict = GetTrailer()->Dict();
  dict.RemoveValue(this, "Prev");
  // A rewrite has no cross-reference streams; a pointer to one would send readers astray.
  dict.RemoveValue(this, "XRefStm");
}

// ---- Flush -----------------------------------------------------------------------------------

bool CPDFDoc::Flush() {
  ClearError();
  if (!m_->saveCalled) {
    m_->error.Keep(
        CPDFException(kModule, "Flush", kUserError, "CPDFDoc::Save() has not been called."));
    return false;
  }
  try {
    m_->flushRunning = true;
    // An object read during the changes may have needed a repair of its own.
    if (m_->incremental) CheckAppendable("Flush");
    if (!IsFDF() && !SetDocInfo()) Throw(kModule, "Flush", kInternalError, "CPDFDoc::SetDocInfo()");
    try {
      SerializeOut();
    } catch (const CPDFException& e) {
      m_->error.Keep(e);
      Throw(kModule, "Flush", kInternalError, "CPDFDoc::Serialize()");
    }
    FinishFlush();
    return true;
  } catch (...) {
    CleanupAfterFailure();
    KeepCurrentError(m_->error, kModule, "Flush");
  }
  return false;
}

void CPDFDoc::SerializeOut() {
  CPDFBody* body = GetBody();
  if (!body) Throw(kModule, "Serialize", kInternalError, "CPDFDoc::GetBody()");
  CPDFXRef* xref = GetXRef();
  if (!xref) Throw(kModule, "Serialize", kInternalError, "CPDFDoc::GetXRef()");
  CPDFTrailer* trailer = GetTrailer();
  if (!trailer) Throw(kModule, "Serialize", kInternalError, "CPDFDoc::GetTrailer()");
  OutStream& out = *m_->out;
  body->Serialize(out);

  // The table keeps the input offsets until everything is written: a flush that fails half way
  // leaves the document able to read its objects from the input again. The output offsets are
  // noted beside those of the objects released during the save, but not as released, so that
  // an object parsed now may still read them (an indirect "Length").
  xref->ForEach([&](int32_t num, const CPDFXRefEntry& entry) {
    if (!entry.InUse() || m_->outputOffsets.Has(num)) return;
    const CPDFObjRef ref(num, entry.Gen());
    if (const CPDFObject* obj = body->GetObj(ref)) {
      WriteOutputObj(ref, *obj, false, "Serialize");
      return;
    }
    std::unique_ptr<CPDFObject> loaded = LoadEntry(ref, entry);
    if (loaded) {
      KeepLengthTrue(*loaded);
    } else {
      loaded = LoadDamaged(ref);
    }
    WriteOutputObj(ref, *loaded, false, "Serialize");
  });
  // A packed stream that takes its number during the walk above is listed by it as written
  // already; the last one is written here.
  WritePackedObjs();

  // "Size" is one past the highest number the table lists, whatever the input claimed.
  const int32_t highest = xref->Highest();
  CPDFNumber* size = trailer->Get_Size();
  if (!IsFDF() && (!size || size->IntValue() < highest + 1)) {
    trailer->Set_Size(std::make_unique<CPDFInt>(highest + 1));
  }
  const int64_t startXRef = out.Position();
  if (m_->incremental) {
    WriteUpdateXRef(*xref, *trailer, startXRef, m_->outputOffsets);
  } else {
    xref->Write(out, &m_->outputOffsets);
    trailer->SetStartXRef(startXRef);
    trailer->Serialize(out);
  }
  m_->out->Flush();
  if (!m_->out->Good() || !m_->out->Sync()) {
    const int err = errno;
    trailer->SetStartXRef(-1);
    errno = err;
    ThrowCode(kModule, "Serialize", kRuntimeError);
  }
  // Everything is on the disk: the table takes the output offsets.
  m_->outputOffsets.ForEach([this, xref](int32_t num) {
    CPDFXRefEntry* entry = xref->GetEntry(num);
    if (entry && entry->InUse()) m_->outputOffsets.Place(num, *entry);
  });
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadDamaged(const CPDFObjRef& ref) {
  // The table may simply be wrong about it: the object is looked for where it stands. What still
  // cannot be read is written as null, as other tools do, and said so.
  ClearError();
  if (std::unique_ptr<CPDFObject> found = LoadFromScan(ref)) return found;
  ClearError();
  m_->warnings.push_back(Format("damaged object replaced by null: %d %d", ref.Num(), ref.Gen()));
  return std::make_unique<CPDFNull>();
}

void CPDFDoc::KeepLengthTrue(CPDFObject& loaded) {
  if (loaded.TypeCode() != kTypeStream) return;
  auto& stream = static_cast<CPDFStream&>(loaded);
  const CPDFAtom* atom = stream.Lookup("Length");
  // A direct "Length" was made true when the stream was read; an indirect one may have been
  // found true then.
  if (!atom || !atom->IsRef() || stream.LengthConfirmed()) return;
  // The number object may be written already, or be another stream's too: it is not changed.
  // Its value is read here without keeping it in memory: peeked at as a rule; a number that a
  // peek cannot tell (in an object stream, or found only by the repair scan) is loaded as an
  // object would be.
  const CPDFObjRef lengthRef = *static_cast<const CPDFObjRef*>(atom);
  int64_t declared = -1;
  if (!PeekInteger(lengthRef, &declared)) {
    declared = -1;
    try {
      if (const CPDFXRefEntry* entry = FindEntry(lengthRef.Num(), false);
          entry && entry->InUse() && entry->Gen() == lengthRef.Gen()) {
        const std::unique_ptr<CPDFObject> value = LoadEntry(lengthRef, *entry);
        if (const CPDFNumber* read = AsNumber(value.get())) declared = read->Int64Value();
      }
    } catch (...) {
      declared = -1;
    }
  }
  ClearError();
  // The data read may keep the end of line in front of "endstream" (up to two bytes more).
  const int64_t held = stream.HeldLength();
  if (declared >= 0 && held >= declared && held - declared <= 2) return;
  stream.Insert("Length", std::make_unique<CPDFInt>(held));
}

void CPDFDoc::FinishFlush() {
  m_->outputOffsets.Clear();
  m_->packer.reset();
  m_->out->Close();
  m_->out.reset();
  const std::string previousName = m_->fileName;
  if (m_->tempOutput) {
    const bool replaced = m_->tempFile && m_->tempFile->Commit(m_->targetName);
    const int err = errno;
    m_->tempFile.reset();
    if (!replaced) {
      // The temporary is gone with the failed replace; the input is as it was.
      m_->outputCreated = false;
      errno = err;
      ThrowCode(kModule, "Flush", kRuntimeError);
    }
  }
  m_->in.reset();
  m_->source.reset();
  if (!m_->outputIsStdout) m_->fileName = m_->targetName;
  m_->hasDocKey = m_->hasOutKey;
  m_->docKey = m_->outKey;
  m_->hasOutKey = false;
  m_->outKey = {};
  const bool toStdout = m_->outputIsStdout;
  m_->outputName.clear();
  m_->targetName.clear();
  m_->outputCreated = false;
  m_->tempOutput = false;
  m_->flushRunning = false;
  m_->saveCalled = false;
  m_->outputIsStdout = false;
  m_->copyInput = false;

  if (toStdout) {
    // The output went to standard output, so the offsets just written mean nothing in any
    // file this document can read: it reads its own input again from the start.
    const CPDFCryptContext::DocumentKey key = m_->docKey;
    const bool hadKey = m_->hasDocKey;
    ResetState();
    m_->fileName = previousName;
    m_->source = SourceFile::Open(m_->fileName);
    if (!m_->source) ThrowCode(kModule, "Flush", kRuntimeError);
    m_->in = std::make_unique<FileInStream>(m_->source);
    ReadSectionsOrRepair();
    m_->outputOffsets.Clear();
    RealizeSections();
    CreateUpdateSection();
    MarkLinearized();
    if (GetTrailer()->Dict().Lookup("Encrypt")) {
      CPDFObjRef ref;
      GetTrailer()->Get_Encrypt(&ref);
      m_->encryptRef = ref;
    }
    m_->hasDocKey = hadKey;
    m_->docKey = key;
    BindRoots();
    return;
  }

  m_->source = SourceFile::Open(m_->fileName);
  if (!m_->source) ThrowCode(kModule, "Flush", kRuntimeError);
  m_->in = std::make_unique<FileInStream>(m_->source);
  const bool linearized = !m_->linearized || Linearize();
  const CPDFErrorRecord walkError = m_->error;
  // The document gets its fresh update section even when the walk failed: the file is written
  // and in place, and the document must stay usable.
  m_->outputOffsets.Clear();
  CreateUpdateSection();
  if (!linearized) {
    m_->error = walkError;
    Throw(kModule, "Flush", kInternalError, "CPDFDoc::Linearize()");
  }
}

void CPDFDoc::CleanupAfterFailure() {
  if (m_->out) {
    m_->out->Close();
    m_->out.reset();
  }
  if (m_->tempFile) m_->tempFile->Discard();
  m_->tempFile.reset();
  // Objects written out by ReleaseObj are read from the input again.
  m_->outputOffsets.Clear();
  m_->packer.reset();
  m_->packingInto = CPDFObjRef();
  m_->saveCalled = false;
  m_->flushRunning = false;
  m_->tempOutput = false;
  m_->outputCreated = false;
  m_->outputIsStdout = false;
  m_->copyInput = false;
  m_->outputName.clear();
  m_->targetName.clear();
  m_->hasOutKey = false;
  m_->outKey = {};
}

}  // namespace quarn
