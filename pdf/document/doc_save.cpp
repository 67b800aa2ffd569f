// Saving: choosing the output, gathering a full rewrite, writing the update section, and
// putting the output in place of the input.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
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
  if (m_saveCalled) {
    m_error.Keep(
        CPDFException(kModule, "Save", kUserError, "CPDFDoc::Flush() has not been called."));
    return false;
  }
  try {
    if (!GetBody()) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetBody()");
    if (!GetXRef()) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetXRef()");
    CPDFTrailer* trailer = GetTrailer();
    if (!trailer) Throw(kModule, "Save", kInternalError, "CPDFDoc::GetTrailer()");
    m_saveCalled = true;
    m_tempOutput = false;
    if (IsFDF()) {
      incremental = false;
      linearize = false;
    } else {
      incremental = incremental && !linearize && !m_hasOutKey;
    }
    if (trailer->Dict().Lookup("Encrypt") && !m_hasOutKey && m_hasDocKey) {
      CPDFEncryptDict* encrypt = trailer->Get_Encrypt();
      if (encrypt && encrypt->IsStandard()) {
        m_outKey = m_docKey;
        m_hasOutKey = true;
      }
    }
    m_incremental = incremental;
    m_linearized = linearize;
    m_copyInput = copyInput && incremental;
    if (m_incremental && (m_copyInput || (fileName && m_fileName == fileName))) CheckAppendable();
    ChooseOutput(fileName);
    // An update that follows a cross-reference stream packs its small objects into object
    // streams, as such a file does itself. Strings in an object stream are protected by the
    // stream's encryption alone: a file that encrypts its strings and not its streams keeps
    // them plain.
    m_packingInto = CPDFObjRef();
    const CPDFEncryptDict* encrypt =
        trailer->Dict().Lookup("Encrypt") ? trailer->Get_Encrypt() : nullptr;
    if (m_incremental && m_xrefs.size() > 1 && m_xrefs[1]->IsStreamSection() &&
        (!encrypt || encrypt->StringMethod() == encrypt->StreamMethod())) {
      m_packer = std::make_unique<CPDFObjStmPacker>();
    }
    if (m_incremental) return true;
    // Every object goes into the update section, FDF included: a rewrite that left out the
    // objects nobody touched would lose them.
    GatherForRewrite();
    m_header->Serialize(*m_out);
    return true;
  } catch (...) {
    CleanupAfterFailure();
    KeepCurrentError(m_error, kModule, "Save");
  }
  return false;
}

void CPDFDoc::ChooseOutput(const char* fileName) {
  const std::string name = fileName ? fileName : "";
  m_out = std::make_unique<FileOutStream>();
  m_outputIsStdout = false;
  if (name.empty()) {
    m_incremental = false;
    m_outputIsStdout = true;
    m_out->OpenStdout();
    m_outputCreated = true;
    return;
  }
  // An update, in place or into another file, goes after a copy of the input made beside its
  // target, which takes the target's name in one step at Flush: a run ended at any instant,
  // even by SIGKILL or a power cut, leaves the old file or the whole new one there.
  if (m_copyInput || (name == m_fileName && m_incremental)) {
    ChooseCopiedOutput(name);
    return;
  }
  // A full rewrite goes into a temporary beside the file it will become, so that the file is
  // replaced in one step at Flush and never left half written.
  if (name != m_fileName) m_incremental = false;
  m_targetName = name;
  m_tempFile = OutputFile::CreateBeside(name);
  if (!m_tempFile) ThrowCode(kModule, "Save", kRuntimeError);
  const int fd = m_tempFile->DuplicateFd();
  if (fd < 0) {
    const int err = errno;
    m_tempFile.reset();
    errno = err;
    ThrowCode(kModule, "Save", kRuntimeError);
  }
  m_outputName = m_tempFile->Path();
  m_out->Adopt(fd, 0);
  m_tempOutput = true;
  m_outputCreated = true;
}

void CPDFDoc::GatherForRewrite() {
  CPDFBody* body = GetBody();
  CPDFXRef* xref = GetXRef();
  // Newest sections first, so that each number takes the entry of its newest section.
  for (size_t i = 1; i < m_xrefs.size(); ++i) {
    m_xrefs[i]->ForEach([&](int32_t num, const CPDFXRefEntry& entry) {
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
  m_bodies.resize(1);
  m_xrefs.resize(1);
  m_trailers.resize(1);
  CPDFDict& dict = GetTrailer()->Dict();
  dict.RemoveValue(this, "Prev");
  // A rewrite has no cross-reference streams; a pointer to one would send readers astray.
  dict.RemoveValue(this, "XRefStm");
}

// ---- Flush -----------------------------------------------------------------------------------

bool CPDFDoc::Flush() {
  ClearError();
  if (!m_saveCalled) {
    m_error.Keep(
        CPDFException(kModule, "Flush", kUserError, "CPDFDoc::Save() has not been called."));
    return false;
  }
  try {
    m_flushRunning = true;
    // An object read during the changes may have needed a repair of its own.
    if (m_incremental) CheckAppendable("Flush");
    if (!IsFDF() && !SetDocInfo()) Throw(kModule, "Flush", kInternalError, "CPDFDoc::SetDocInfo()");
    try {
      SerializeOut();
    } catch (const CPDFException& e) {
      m_error.Keep(e);
      Throw(kModule, "Flush", kInternalError, "CPDFDoc::Serialize()");
    }
    FinishFlush();
    return true;
  } catch (...) {
    CleanupAfterFailure();
    KeepCurrentError(m_error, kModule, "Flush");
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
  OutStream& out = *m_out;
  body->Serialize(out);

  // The table keeps the input offsets until everything is written: a flush that fails half way
  // leaves the document able to read its objects from the input again. The output offsets are
  // noted beside those of the objects released during the save, but not as released, so that
  // an object parsed now may still read them (an indirect "Length").
  xref->ForEach([&](int32_t num, const CPDFXRefEntry& entry) {
    if (!entry.InUse() || m_outputOffsets.Has(num)) return;
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
  if (m_incremental) {
    WriteUpdateXRef(*xref, *trailer, startXRef, m_outputOffsets);
  } else {
    xref->Write(out, &m_outputOffsets);
    trailer->SetStartXRef(startXRef);
    trailer->Serialize(out);
  }
  m_out->Flush();
  if (!m_out->Good() || !m_out->Sync()) {
    const int err = errno;
    trailer->SetStartXRef(-1);
    errno = err;
    ThrowCode(kModule, "Serialize", kRuntimeError);
  }
  // Everything is on the disk: the table takes the output offsets.
  m_outputOffsets.ForEach([this, xref](int32_t num) {
    CPDFXRefEntry* entry = xref->GetEntry(num);
    if (entry && entry->InUse()) m_outputOffsets.Place(num, *entry);
  });
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadDamaged(const CPDFObjRef& ref) {
  // The table may simply be wrong about it: the object is looked for where it stands. What still
  // cannot be read is written as null, as other tools do, and said so.
  ClearError();
  if (std::unique_ptr<CPDFObject> found = LoadFromScan(ref)) return found;
  ClearError();
  m_warnings.push_back(Format("damaged object replaced by null: %d %d", ref.Num(), ref.Gen()));
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
  m_outputOffsets.Clear();
  m_packer.reset();
  m_out->Close();
  m_out.reset();
  const std::string previousName = m_fileName;
  if (m_tempOutput) {
    const bool replaced = m_tempFile && m_tempFile->Commit(m_targetName);
    const int err = errno;
    m_tempFile.reset();
    if (!replaced) {
      // The temporary is gone with the failed replace; the input is as it was.
      m_outputCreated = false;
      errno = err;
      ThrowCode(kModule, "Flush", kRuntimeError);
    }
  }
  m_in.reset();
  m_source.reset();
  if (!m_outputIsStdout) m_fileName = m_targetName;
  m_hasDocKey = m_hasOutKey;
  m_docKey = m_outKey;
  m_hasOutKey = false;
  m_outKey = {};
  const bool toStdout = m_outputIsStdout;
  m_outputName.clear();
  m_targetName.clear();
  m_outputCreated = false;
  m_tempOutput = false;
  m_flushRunning = false;
  m_saveCalled = false;
  m_outputIsStdout = false;
  m_copyInput = false;

  if (toStdout) {
    // The output went to standard output, so the offsets just written mean nothing in any
    // file this document can read: it reads its own input again from the start.
    const CPDFCryptContext::DocumentKey key = m_docKey;
    const bool hadKey = m_hasDocKey;
    ResetState();
    m_fileName = previousName;
    m_source = SourceFile::Open(m_fileName);
    if (!m_source) ThrowCode(kModule, "Flush", kRuntimeError);
    m_in = std::make_unique<FileInStream>(m_source);
    ReadSectionsOrRepair();
    m_outputOffsets.Clear();
    RealizeSections();
    CreateUpdateSection();
    MarkLinearized();
    if (GetTrailer()->Dict().Lookup("Encrypt")) {
      CPDFObjRef ref;
      GetTrailer()->Get_Encrypt(&ref);
      m_encryptRef = ref;
    }
    m_hasDocKey = hadKey;
    m_docKey = key;
    BindRoots();
    return;
  }

  m_source = SourceFile::Open(m_fileName);
  if (!m_source) ThrowCode(kModule, "Flush", kRuntimeError);
  m_in = std::make_unique<FileInStream>(m_source);
  const bool linearized = !m_linearized || Linearize();
  const CPDFErrorRecord walkError = m_error;
  // The document gets its fresh update section even when the walk failed: the file is written
  // and in place, and the document must stay usable.
  m_outputOffsets.Clear();
  CreateUpdateSection();
  if (!linearized) {
    m_error = walkError;
    Throw(kModule, "Flush", kInternalError, "CPDFDoc::Linearize()");
  }
}

void CPDFDoc::CleanupAfterFailure() {
  if (m_out) {
    m_out->Close();
    m_out.reset();
  }
  if (m_tempFile) m_tempFile->Discard();
  m_tempFile.reset();
  // Objects written out by ReleaseObj are read from the input again.
  m_outputOffsets.Clear();
  m_packer.reset();
  m_packingInto = CPDFObjRef();
  m_saveCalled = false;
  m_flushRunning = false;
  m_tempOutput = false;
  m_outputCreated = false;
  m_outputIsStdout = false;
  m_copyInput = false;
  m_outputName.clear();
  m_targetName.clear();
  m_hasOutKey = false;
  m_outKey = {};
}

}  // namespace quarn
