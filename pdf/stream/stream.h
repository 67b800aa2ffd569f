// A dictionary with a body of bytes: the data is in memory (in a mapped temporary file once it
// is large) or left in the source file until first use; "Length" follows the data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "pdf/object/exception.h"
#include "pdf/object/huge_string.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFObjHolder;
class InStream;
class SourceFile;

// Progress reporting and cancellation shared by all filters.
struct CPDFProgressRange {
  int32_t begin = 0;
  int32_t end = 0;
  void* user = nullptr;
};
using ProgressProc = void (*)(int32_t position, void* user);
using CancelProc = void (*)(bool* cancel, void* user);
// Takes decoded bytes piece by piece (a streaming decode); it may throw to stop the decode.
using DataSink = std::function<void(const char* data, size_t n)>;

class CPDFStream : public CPDFDict, public virtual CPDFHolderBinding {
 public:
  explicit CPDFStream(CPDFObjHolder* doc = nullptr);
  ~CPDFStream() override;

  using CPDFHolderBinding::Doc;
  // Where this stream's large data goes: its store's temporary space.
  const TempSpace* Space() const;

  // ---- data ----
  // The data, loaded first when it is in the file; a failure to load throws (code 1).
  const char* Data();
  size_t DataLength();
  bool IsDataInFile() const { return m_offset != -1 && m_length != -1; }
  // How many bytes the stream holds, in memory or in the file, without loading them.
  int64_t HeldLength() const {
    return IsDataInFile() ? m_length : static_cast<int64_t>(m_data.Length());
  }
  // True while the data is the bytes left in the file by the read that found them to end just
  // where an indirect "Length" says: writing the stream need not read that number again.
  bool LengthConfirmed() const { return m_lengthConfirmed && IsDataInFile(); }
  // False when the stream was read from a file whose direct "Length" did not end its data
  // (the data was found by its "endstream" instead): readers that trust Length misread it.
  bool LengthFits() const { return m_lengthFits; }
  // Moves data left in the file into memory; false (stream unchanged) on failure.
  // `storageError`, when given, is set to the errno of a failure to hold the data (memory, or
  // a temporary file that cannot grow), and to 0 when the reading failed.
  bool LoadData(int* storageError = nullptr);
  bool AppendData(const void* data, size_t n);
  bool AppendRepeated(size_t count, char byte);
  bool SetData(const void* data, size_t n);
  // Takes over a finished buffer (the result of a filter) and sets "Length".
  bool SetData(TempHugeString&& data);
  void ClearData();
  // Leaves the data in `file` at [offset, offset + length).
  void SetSource(std::shared_ptr<SourceFile> file, int64_t offset, int64_t length);
  // Sets "Length" to the data length (updating an indirect "Length" in place).
  void UpdateLength();

  // ---- accessors ----
  CPDFObject* Get_Length(CPDFObjRef* ref = nullptr) const { return GetValue(Doc(), "Length", ref); }
  CPDFObject* Get_Filter(CPDFObjRef* ref = nullptr) const { return GetValue(Doc(), "Filter", ref); }
  CPDFObject* Get_DecodeParms(CPDFObjRef* ref = nullptr) const {
    return GetValue(Doc(), "DecodeParms", ref);
  }
  CPDFObject* Get_F(CPDFObjRef* ref = nullptr) const { return GetValue(Doc(), "F", ref); }
  bool Set_Length(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "Length", std::move(v), indirect, ref);
  }
  bool Set_Filter(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "Filter", std::move(v), indirect, ref);
  }
  bool Set_DecodeParms(std::unique_ptr<CPDFObject> v, bool indirect = false,
                       CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "DecodeParms", std::move(v), indirect, ref);
  }
  bool Set_F(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "F", std::move(v), indirect, ref);
  }

  // ---- filters (errors are copied into `error`, never thrown) ----
  bool DecodeAllFilter(CPDFErrorRecord& error, ProgressProc progress = nullptr,
                       CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  // The same with a smaller cap on the decoded size, for data whose size the caller can bound
  // (cross-reference and object streams): past `limit` bytes the decode fails.
  bool DecodeAllFilterWithin(uint64_t limit, CPDFErrorRecord& error,
                             ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                             CPDFProgressRange* range = nullptr);
  // Decodes every filter without keeping the result: the decoded bytes go to `sink` as they
  // come, so that only the encoded data (and the results of filters before the last) is held.
  // The stream itself is not changed. Fails past `limit` decoded bytes.
  bool DecodeAllFilterTo(const DataSink& sink, uint64_t limit, CPDFErrorRecord& error);
  bool DecodeFilter(const CPDFName& name, CPDFObject* parms, CPDFErrorRecord& error,
                    ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                    CPDFProgressRange* range = nullptr);
  bool EncodeASCIIHexFilter(CPDFErrorRecord& error, ProgressProc progress = nullptr,
                            CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  bool EncodeASCII85Filter(CPDFErrorRecord& error, ProgressProc progress = nullptr,
                           CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  bool EncodeFlateFilter(CPDFErrorRecord& error, ProgressProc progress = nullptr,
                         CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  bool EncodeRunLengthFilter(CPDFErrorRecord& error, ProgressProc progress = nullptr,
                             CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  // The image encoders take the geometry from the dictionary ("Width", "Height",
  // "BitsPerComponent", "ColorSpace" or "ImageMask"). K = -1 asks for Group 4, 0 for
  // one-dimensional Group 3, any other K for two-dimensional Group 3; the quality is libjpeg's
  // (0 to 100).
  bool EncodeCCITTFaxFilter(int32_t k, CPDFErrorRecord& error, ProgressProc progress = nullptr,
                            CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  bool EncodeDCTFilter(int32_t quality, CPDFErrorRecord& error, ProgressProc progress = nullptr,
                       CancelProc cancel = nullptr, CPDFProgressRange* range = nullptr);
  // Records a just-applied filter: the newest encoding becomes the first filter.
  bool EncodeFilter(const char* name, std::unique_ptr<CPDFObject> parms, CPDFErrorRecord& error);

  // ---- reading and writing ----
  // Reads "stream" ... "endstream" after `dict` (which it takes over) from `in`.
  static std::unique_ptr<CPDFStream> ReadAfterDict(CPDFObjHolder* doc, InStream& in,
                                                   std::unique_ptr<CPDFDict> dict,
                                                   const CPDFCryptContext* crypt);
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                            DuplicateMap& map) const override;
  std::unique_ptr<CPDFAtom> CloneAtom() const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder* target) const override {
    return std::make_unique<CPDFStream>(target);
  }
  void SwapContent(CPDFObject& other) override;
  // Copies dictionary and data of `from` into this stream (data left in the same file is
  // shared by location rather than copied).
  bool CopyFrom(const CPDFStream& from, CPDFObjHolder* target);

 protected:
  mutable TempHugeString m_data;
  std::shared_ptr<SourceFile> m_file;
  int64_t m_offset = -1;
  int64_t m_length = -1;
  bool m_lengthConfirmed = false;
  bool m_lengthFits = true;
};

// Reads one value of any type, a dictionary followed by "stream" becoming a CPDFStream; nullptr
// when the input holds no value at that point. Throws CPDFException on malformed input.
std::unique_ptr<CPDFObject> SerializeObject(CPDFObjHolder* doc, InStream& in,
                                            const CPDFCryptContext* crypt = nullptr);
// The same read as readers read a damaged object: tokens that cannot stand where they are are
// passed over and counted in `dropped` (ParseObjectLeniently).
std::unique_ptr<CPDFObject> SerializeObjectLeniently(CPDFObjHolder* doc, InStream& in,
                                                     const CPDFCryptContext* crypt, int* dropped);

}  // namespace quarn
