#include "pdf/stream/run_length_filter.h"

#include <cstring>

namespace quarn {

namespace {

constexpr size_t kMaxRecord = 128;
constexpr size_t kShortestRun = 3;  // shorter runs cost less as literal bytes
constexpr char kEndOfData = static_cast<char>(128);

// Builds one block's records in a buffer large enough for the worst case (all literal).
class RecordWriter {
 public:
  void Literal(const char* bytes, size_t n) {
    while (n) {
      const size_t take = n < kMaxRecord ? n : kMaxRecord;
      m_text[m_used++] = static_cast<char>(take - 1);
      std::memcpy(m_text + m_used, bytes, take);
      m_used += take;
      bytes += take;
      n -= take;
    }
  }
  void Repeat(char byte, size_t n) {
    m_text[m_used++] = static_cast<char>(257 - n);
    m_text[m_used++] = byte;
  }
  const char* Text() const { return m_text; }
  size_t Used() const { return m_used; }

 private:
  char m_text[StrLoad::kBlockSize + StrLoad::kBlockSize / kMaxRecord + 2];
  size_t m_used = 0;
};

size_t RunAt(const char* bytes, size_t i, size_t n) {
  size_t j = i + 1;
  while (j < n && bytes[j] == bytes[i]) ++j;
  return j - i;
}

// Records never span two blocks, so each block is encoded on its own.
void EncodeBlock(const char* bytes, size_t n, RecordWriter& writer) {
  size_t literalStart = 0;
  size_t i = 0;
  while (i < n) {
    size_t run = RunAt(bytes, i, n);
    if (run < kShortestRun) {
      i += run;
      continue;
    }
    writer.Literal(bytes + literalStart, i - literalStart);
    while (run >= kShortestRun) {
      const size_t take = run < kMaxRecord ? run : kMaxRecord;
      writer.Repeat(bytes[i], take);
      i += take;
      run -= take;
    }
    // One or two bytes left over from a long run join the next literal record.
    literalStart = i;
    i += run;
  }
  writer.Literal(bytes + literalStart, n - literalStart);
}

}  // namespace

bool CPDFRunLengthFilter::Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                                 CancelProc cancel, const CPDFProgressRange* range) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytes, error, progress, cancel, range);
}

bool CPDFRunLengthFilter::Decode(CPDFStream& stream, CPDFObject* /*parms*/, CPDFErrorRecord& error,
                                 ProgressProc progress, CancelProc cancel,
                                 const CPDFProgressRange* range) {
  return RunDecode(stream, kClassName, &DecodeBytes, error, progress, cancel, range);
}

void CPDFRunLengthFilter::EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    RecordWriter writer;
    EncodeBlock(block, n, writer);
    out.Write(writer.Text(), writer.Used());
    return true;
  });
  out.Put(kEndOfData);
  frame.Finish();
}

void CPDFRunLengthFilter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  // A record cut by the end of a block goes on in the next one.
  size_t literalLeft = 0;
  size_t repeatCount = 0;
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    size_t pos = 0;
    while (pos < n) {
      if (literalLeft) {
        const size_t take = literalLeft < n - pos ? literalLeft : n - pos;
        out.Write(block + pos, take);
        pos += take;
        literalLeft -= take;
      } else if (repeatCount) {
        out.Fill(repeatCount, block[pos++]);
        repeatCount = 0;
      } else {
        const auto length = static_cast<unsigned char>(block[pos++]);
        if (length < 128) {
          literalLeft = length + 1u;
        } else if (length > 128) {
          repeatCount = 257u - length;
        } else {
          return false;  // end of data: the rest is not data
        }
      }
    }
    return true;
  });
  // The end of the input without the end byte ends the data; a record cut short there keeps
  // the bytes it had.
  frame.Finish();
}

}  // namespace quarn
