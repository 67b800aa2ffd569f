// The filter chain of CPDFStream: decoding every filter named in "Filter", decoding one
// filter, and encoding with one filter while recording it as the newest.
#include <cstdint>
#include <optional>
#include <string_view>

#include "pdf/object/limits.h"
#include "pdf/stream/ascii85_filter.h"
#include "pdf/stream/ascii_hex_filter.h"
#include "pdf/stream/ccitt_filter.h"
#include "pdf/stream/dct_filter.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/stream/filter_record.h"
#include "pdf/stream/flate_filter.h"
#include "pdf/stream/lzw_filter.h"
#include "pdf/stream/predictor.h"
#include "pdf/stream/run_length_filter.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFStream";

struct Decoder {
  const char* name;
  // The abbreviation that writers also put on streams (qpdf and common readers accept it).
  const char* shortName;
  const char* module;
  ByteCodec codec;  // nullptr: an image decoder
  // "DecodeParms" may name a predictor, undone after the codec.
  bool predicted = false;
  // The codec when "EarlyChange" is 0 (LZW only).
  ByteCodec lateCodec = nullptr;
  // Image decoders read the image's geometry from the stream's dictionary.
  ImageCodec image = nullptr;
};

// In the order the names are compared.
constexpr Decoder kDecoders[] = {
    {"ASCIIHexDecode", "AHx", CPDFASCIIHexFilter::kClassName, &CPDFASCIIHexFilter::DecodeBytes},
    {"ASCII85Decode", "A85", CPDFASCII85Filter::kClassName, &CPDFASCII85Filter::DecodeBytes},
    {"FlateDecode", "Fl", CPDFFlateFilter::kClassName, &CPDFFlateFilter::DecodeBytes, true},
    {"RunLengthDecode", "RL", CPDFRunLengthFilter::kClassName, &CPDFRunLengthFilter::DecodeBytes},
    {"CCITTFaxDecode", "CCF", CPDFCCITTFaxFilter::kClassName, nullptr, false, nullptr,
     &CPDFCCITTFaxFilter::DecodeImage},
    {"DCTDecode", "DCT", CPDFDCTFilter::kClassName, nullptr, false, nullptr,
     &CPDFDCTFilter::DecodeImage},
    {"LZWDecode", "LZW", CPDFLZWFilter::kClassName, &CPDFLZWFilter::DecodeBytes, true,
     &CPDFLZWFilter::DecodeBytesLate},
};

// The decoder for `name`; throws ("CPDFStream", "DecodeFilter", 4, "unknown filter: %s").
const Decoder& FindDecoder(const CPDFName& name) {
  for (const Decoder& decoder : kDecoders) {
    if (name.Equals(decoder.name) || name.Equals(decoder.shortName)) return decoder;
  }
  Throw(kModule, "DecodeFilter", kInvalidFormat, Format("unknown filter: %s", name.Str().c_str()));
}

// Part i of count of the caller's range (the whole range of a percentage without one).
CPDFProgressRange SubRange(const CPDFProgressRange* range, size_t i, size_t count) {
  const CPDFProgressRange whole = range ? *range : CPDFProgressRange{0, 100, nullptr};
  const int64_t span = static_cast<int64_t>(whole.end) - whole.begin;
  const auto n = static_cast<int64_t>(count);
  const auto k = static_cast<int64_t>(i);
  return CPDFProgressRange{static_cast<int32_t>(whole.begin + k * span / n),
                           static_cast<int32_t>(whole.begin + span * (k + 1) / n), whole.user};
}

[[noreturn]] void TypeCheck(const char* method, const CPDFObject* value) {
  Throw(kModule, method, kInvalidFormat,
        Format("typecheck: %s", value ? value->TypeName() : "Null"));
}

// The filters of a stream as a list: "Filter" a name (one filter) or an array.
class FilterList {
 public:
  FilterList(CPDFStream& stream, CPDFObjHolder* doc) : m_doc(doc) {
    static constexpr const char* kMethod = "DecodeAllFilter";
    CPDFObject* filter = stream.GetValue(doc, "Filter");
    CPDFObject* parms =
        stream.Lookup("DecodeParms") ? stream.GetValue(doc, "DecodeParms") : nullptr;
    if (filter && filter->IsType(kTypeName)) {
      m_name = static_cast<CPDFName*>(filter);
      m_parms = parms;
      m_count = 1;
      return;
    }
    if (!filter || !filter->IsType(kTypeArray)) TypeCheck(kMethod, filter);
    m_names = static_cast<CPDFArray*>(filter);
    // The parameters go with the filters index by index, so they must be an array too.
    if (parms && !parms->IsType(kTypeArray)) TypeCheck(kMethod, parms);
    m_parms = parms;
    m_count = m_names->Count();
    if (m_count > static_cast<size_t>(limits::kMaxFiltersPerStream)) {
      Throw(kModule, kMethod, kInvalidFormat, "too many filters");
    }
  }

  size_t Count() const { return m_count; }
  const CPDFName& NameAt(size_t i) const {
    if (m_name) return *m_name;
    CPDFObject* name = m_names->GetObj(m_doc, static_cast<int>(i));
    if (!name || !name->IsType(kTypeName)) TypeCheck("DecodeAllFilter", name);
    return *static_cast<CPDFName*>(name);
  }
  // The parameters of filter i, or nullptr when it has none.
  CPDFObject* ParmsAt(size_t i) const {
    if (!m_parms) return nullptr;
    if (m_name) return m_parms;
    auto* parms = static_cast<CPDFArray*>(m_parms);
    return i < parms->Count() ? parms->GetObj(m_doc, static_cast<int>(i)) : nullptr;
  }

 private:
  CPDFObjHolder* m_doc;
  CPDFName* m_name = nullptr;
  CPDFArray* m_names = nullptr;
  CPDFObject* m_parms = nullptr;
  size_t m_count = 0;
};

// Runs one decoder of `stream`'s chain over `in` into `result` (or, with a sink, hands its bytes
// on), undoing the predictor its parameters name as the codec's output arrives: the codec's
// output is never held whole on its way to the predictor. The parameters are checked before any
// decoding work.
void DecodeWith(const Decoder& decoder, CPDFStream& stream, CPDFObject* parms, StrLoad& in,
                FilterFrame& frame, TempHugeString& result, uint64_t limit,
                const DataSink* sink = nullptr) {
  CPDFObjHolder* doc = stream.Doc();
  const PredictorParams predictor =
      decoder.predicted ? PredictorParams::Read(doc, parms, frame) : PredictorParams{};
  ByteCodec codec = decoder.codec;
  if (decoder.lateCodec && !CPDFLZWFilter::EarlyChangeOf(doc, parms)) codec = decoder.lateCodec;
  TempHugeString decoded(result.Space());
  std::optional<FilterOutput> predicted;
  std::optional<CPDFPredictor> stage;
  DataSink toStage;
  if (predictor.Active()) {
    if (sink) {
      predicted.emplace(*sink, frame, limit);
    } else {
      predicted.emplace(result, frame, limit);
    }
    stage.emplace(predictor, frame, *predicted);
    toStage = [&stage](const char* data, size_t n) { stage->Write(data, n); };
  }
  {
    std::optional<FilterOutput> out;
    if (stage) {
      out.emplace(toStage, frame, limit);
    } else if (sink) {
      out.emplace(*sink, frame, limit);
    } else {
      out.emplace(decoded, frame, limit);
    }
    if (decoder.image) {
      decoder.image(stream, parms, in, frame, *out);
    } else {
      codec(in, frame, *out);
    }
    out->Flush();
  }
  if (!stage) {
    result = std::move(decoded);
    return;
  }
  stage->Finish();
  predicted->Flush();
}

}  // namespace

bool CPDFStream::DecodeAllFilter(CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
                                 CPDFProgressRange* range) {
  return DecodeAllFilterWithin(limits::kMaxDecodedSize, error, progress, cancel, range);
}

bool CPDFStream::DecodeAllFilterWithin(uint64_t limit, CPDFErrorRecord& error,
                                       ProgressProc progress, CancelProc cancel,
                                       CPDFProgressRange* range) {
  return GuardFilterCall(kModule, "DecodeAllFilter", error, [&] {
    if (!Lookup("Filter")) return;
    const FilterList filters(*this, Doc());
    // Every step reads the previous step's result; the stream itself changes only once the
    // whole chain has succeeded, so a failing filter leaves data and dictionary as they were.
    TempHugeString current(Space());
    bool decoded = false;
    StrLoad in;
    for (size_t i = 0; i < filters.Count(); ++i) {
      const Decoder& decoder = FindDecoder(filters.NameAt(i));
      if (i == 0 && !in.Open(*this)) {
        in.ThrowOpenFailure(decoder.module, "Decode");
      }
      if (i > 0) in.Open(current);
      if (in.Size() == 0) continue;  // no data: every decoder leaves it as it is
      const CPDFProgressRange part = SubRange(range, i, filters.Count());
      FilterFrame frame(decoder.module, "Decode", progress, cancel, &part, in.Size());
      TempHugeString next(Space());
      DecodeWith(decoder, *this, filters.ParmsAt(i), in, frame, next, limit);
      current = std::move(next);
      decoded = true;
    }
    if (decoded && !SetData(std::move(current))) {
      Throw(kModule, "DecodeAllFilter", kInternalError, "CPDFStream::SetData()");
    }
    RemoveValue(Doc(), "Filter");
    RemoveValue(Doc(), "DecodeParms");
  });
}

bool CPDFStream::DecodeAllFilterTo(const DataSink& sink, uint64_t limit, CPDFErrorRecord& error) {
  return GuardFilterCall(kModule, "DecodeAllFilter", error, [&] {
    StrLoad in;
    if (!in.Open(*this)) in.ThrowOpenFailure(kModule, "DecodeAllFilter");
    if (!Lookup("Filter")) {
      if (in.Size() > limit) {
        Throw(kModule, "DecodeAllFilter", kInvalidFormat,
              Format("decoded data too large: more than %llu bytes",
                     static_cast<unsigned long long>(limit)));
      }
      if (in.Size() != 0) sink(Data(), DataLength());
      return;
    }
    const FilterList filters(*this, Doc());
    // The filters before the last keep their results, as DecodeAllFilter does; the last one's
    // output goes to the sink.
    TempHugeString current(Space());
    for (size_t i = 0; i < filters.Count(); ++i) {
      const Decoder& decoder = FindDecoder(filters.NameAt(i));
      if (i > 0) in.Open(current);
      if (in.Size() == 0) return;
      FilterFrame frame(decoder.module, "Decode", nullptr, nullptr, nullptr, in.Size());
      TempHugeString next(Space());
      const bool last = i + 1 == filters.Count();
      DecodeWith(decoder, *this, filters.ParmsAt(i), in, frame, next, limit,
                 last ? &sink : nullptr);
      current = std::move(next);
    }
  });
}

bool CPDFStream::DecodeFilter(const CPDFName& name, CPDFObject* parms, CPDFErrorRecord& error,
                              ProgressProc progress, CancelProc cancel, CPDFProgressRange* range) {
  const Decoder* decoder = nullptr;
  if (!GuardFilterCall(kModule, "DecodeFilter", error, [&] { decoder = &FindDecoder(name); })) {
    return false;
  }
  if (!decoder->predicted && !decoder->image) {
    return RunDecode(*this, decoder->module, decoder->codec, error, progress, cancel, range);
  }
  // Flate and LZW take their predictor and "EarlyChange" from the parameters, the image
  // decoders their geometry from the dictionary.
  return GuardFilterCall(decoder->module, "Decode", error, [&] {
    StrLoad in;
    if (!in.Open(*this)) in.ThrowOpenFailure(decoder->module, "Decode");
    if (in.Size() == 0) return;
    FilterFrame frame(decoder->module, "Decode", progress, cancel, range, in.Size());
    TempHugeString result(Space());
    DecodeWith(*decoder, *this, parms, in, frame, result, limits::kMaxDecodedSize);
    if (!SetData(std::move(result))) {
      Throw(decoder->module, "Decode", kInternalError, "CPDFStream::SetData()");
    }
  });
}

bool CPDFStream::EncodeASCIIHexFilter(CPDFErrorRecord& error, ProgressProc progress,
                                      CancelProc cancel, CPDFProgressRange* range) {
  return CPDFASCIIHexFilter::Encode(*this, error, progress, cancel, range);
}

bool CPDFStream::EncodeASCII85Filter(CPDFErrorRecord& error, ProgressProc progress,
                                     CancelProc cancel, CPDFProgressRange* range) {
  return CPDFASCII85Filter::Encode(*this, error, progress, cancel, range);
}

bool CPDFStream::EncodeFlateFilter(CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
                                   CPDFProgressRange* range) {
  return CPDFFlateFilter::Encode(*this, error, progress, cancel, range);
}

bool CPDFStream::EncodeRunLengthFilter(CPDFErrorRecord& error, ProgressProc progress,
                                       CancelProc cancel, CPDFProgressRange* range) {
  return CPDFRunLengthFilter::Encode(*this, error, progress, cancel, range);
}

bool CPDFStream::EncodeCCITTFaxFilter(int32_t k, CPDFErrorRecord& error, ProgressProc progress,
                                      CancelProc cancel, CPDFProgressRange* range) {
  return CPDFCCITTFaxFilter::Encode(*this, k, error, progress, cancel, range);
}

bool CPDFStream::EncodeDCTFilter(int32_t quality, CPDFErrorRecord& error, ProgressProc progress,
                                 CancelProc cancel, CPDFProgressRange* range) {
  return CPDFDCTFilter::Encode(*this, quality, error, progress, cancel, range);
}

bool CPDFStream::EncodeFilter(const char* name, std::unique_ptr<CPDFObject> parms,
                              CPDFErrorRecord& error) {
  return GuardFilterCall(kModule, "EncodeFilter", error, [&] {
    CPDFFilterRecord::Prepare(*this, name, std::move(parms)).Commit(*this);
  });
}

}  // namespace quarn
