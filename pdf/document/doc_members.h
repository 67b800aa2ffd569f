// The private state of a document, kept out of the installed header so that adding to it does
// not change the layout that programs linked against the shared library were built with.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pdf/document/doc.h"

namespace quarn {

struct CPDFDoc::Members {
  CPDFErrorRecord error;
  CPDFLibBase* lib = nullptr;
  std::string fileName;
  std::shared_ptr<SourceFile> source;
  std::unique_ptr<InStream> in;
  std::unique_ptr<CPDFHeader> header;
  bool saveCalled = false;
  bool flushRunning = false;
  bool linearized = false;
  // ---- file sections, newest first (index 0 is the update section once open) ----
  std::vector<std::unique_ptr<CPDFBody>> bodies;
  std::vector<std::unique_ptr<CPDFXRef>> xrefs;
  std::vector<std::unique_ptr<CPDFTrailer>> trailers;
  // Where the running save has written objects: those released by ReleaseObj (no longer
  // readable) and those written by the final flush.
  OutputOffsets outputOffsets;
  // Numbers of the objects being parsed right now: an object whose own parse asks for itself
  // (a stream whose "Length" refers to the stream) is not loaded a second time.
  std::vector<int32_t> loading;
  // ---- linearization ----
  std::unique_ptr<CPDFLineaParams> lineaParams;
  std::unique_ptr<CPDFHintStream> hintStream;
  std::vector<std::unique_ptr<CPDFBody>> linBodies;
  std::vector<std::unique_ptr<CPDFXRef>> linXRefs;
  std::vector<std::unique_ptr<CPDFTrailer>> linTrailers;
  std::unique_ptr<CPDFObjRefDict> objRefDict;
  // ---- save state ----
  bool incremental = false;
  bool tempOutput = false;     // the output is a temporary that replaces targetName at Flush
  bool outputCreated = false;  // this save made the output file
  bool outputIsStdout = false;
  std::string outputName;  // the file being written (a temporary for a full rewrite)
  std::string targetName;  // the name the output takes at Flush
  std::unique_ptr<FileOutStream> out;
  // The full rewrite's file until it takes the target's place.
  std::unique_ptr<OutputFile> tempFile;
  // ---- security ----
  bool hasDocKey = false;
  CPDFCryptContext::DocumentKey docKey{};
  bool hasOutKey = false;
  CPDFCryptContext::DocumentKey outKey{};
  bool mayModify = true;  // not encrypted, opened as owner, or "P" allows changes
  // The encryption dictionary's own identity: it is read and written in clear.
  CPDFObjRef encryptRef;
  // ---- cross-reference streams, object streams, repair ----
  // (doc_xref_streams.cpp, doc_repair.cpp)
  std::shared_ptr<CPDFObjStmCache> objStms;  // decoded object streams, made on first need
  std::shared_ptr<CPDFFileScan> scan;        // the objects of the input as a scan found them
  const SourceFile* scanSource = nullptr;    // the file scan describes
  std::vector<std::string> warnings;
  std::set<std::string> repairsNoted;  // the warnings of NoteRepair, each said once
  bool repaired = false;
  bool copyInput = false;  // the update goes into another file after a copy of the input
  std::unique_ptr<CPDFObjStmPacker> packer;  // set while an update packs its objects
  CPDFObjRef packingInto;                    // the number of the object stream being filled
};

}  // namespace quarn
