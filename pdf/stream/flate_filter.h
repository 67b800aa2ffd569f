// "FlateDecode": zlib's inflate and deflate on the zlib stream format (header and checksum).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include "pdf/stream/filter_frame.h"

namespace quarn {

class CPDFFlateFilter {
 public:
  static constexpr const char* kClassName = "CPDFFlateFilter";
  static constexpr const char* kFilterName = "FlateDecode";

  // Replaces the stream's data by its compressed form (default level) and records the filter.
  static bool Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress = nullptr,
                     CancelProc cancel = nullptr, const CPDFProgressRange* range = nullptr);
  // The same at zlib's fastest level, for data written in bulk that no reader of the format
  // expects at a given level (the object streams of an update).
  static bool EncodeFast(CPDFStream& stream, CPDFErrorRecord& error);
  // Replaces the stream's data by its decompressed form, undoing the PNG or TIFF predictor that
  // the parameters name (pdf/stream/predictor.h).
  static bool Decode(CPDFStream& stream, CPDFObject* parms, CPDFErrorRecord& error,
                     ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                     const CPDFProgressRange* range = nullptr);

  // The codec on bytes (throws CPDFException with the frame's labels). Decoding keeps what
  // was decoded before a data error or a cut-off end, and ignores input after the end of the
  // compressed stream.
  static void EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out);
  static void DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out);

 private:
  static void EncodeBytesFast(StrLoad& in, FilterFrame& frame, FilterOutput& out);
  static void EncodeBytesAt(int level, StrLoad& in, FilterFrame& frame, FilterOutput& out);
};

// Deflates data handed over piece by piece, for data made while it is written rather than held
// whole: the same bytes as CPDFFlateFilter::Encode gives for the whole, at the default level.
// Failures throw CPDFException ("CPDFFlateFilter", "Encode").
class FlateEncoder {
 public:
  FlateEncoder();
  ~FlateEncoder();
  FlateEncoder(const FlateEncoder&) = delete;
  FlateEncoder& operator=(const FlateEncoder&) = delete;

  void Write(const char* data, size_t n);
  // Ends the compressed stream and hands over all of it; the encoder is spent.
  std::string Finish();

 private:
  struct State;
  void Run(int flush);
  std::unique_ptr<State> m_state;
};

}  // namespace quarn
