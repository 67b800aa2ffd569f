#include "pdf/stream/ascii85_filter.h"

#include <cstdint>

#include "pdf/stream/filter_chars.h"

namespace quarn {

namespace {

constexpr unsigned char kFirstDigit = '!';
constexpr unsigned char kLastDigit = 'u';
constexpr uint64_t kLargestGroup = 0xFFFFFFFFu;

// The five digits of a group value, most significant first.
void GroupDigits(uint32_t value, char digits[5]) {
  for (int k = 4; k >= 0; --k) {
    digits[k] = static_cast<char>(value % 85 + kFirstDigit);
    value /= 85;
  }
}

uint32_t BigEndian(const unsigned char* bytes, size_t n) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | (i < n ? bytes[i] : 0);
  return value;
}

// The group being decoded: up to five digits.
struct Group {
  uint64_t value = 0;
  int count = 0;
  unsigned char lastDigit = 0;

  void Add(unsigned char digit) {
    value = value * 85 + (digit - kFirstDigit);
    ++count;
    lastDigit = digit;
  }
  // Writes the first `keep` bytes of the group's value. A value past 32 bits cannot come from
  // any four bytes; it is named by the group's last digit.
  void Emit(FilterFrame& frame, FilterOutput& out, int keep) {
    if (value > kLargestGroup) frame.Fail(kInvalidFormat, Format("invalid char: %c", lastDigit));
    for (int i = 0; i < keep; ++i) out.Put(static_cast<char>(value >> (24 - 8 * i)));
    value = 0;
    count = 0;
  }
};

}  // namespace

bool CPDFASCII85Filter::Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                               CancelProc cancel, const CPDFProgressRange* range) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytes, error, progress, cancel, range);
}

bool CPDFASCII85Filter::Decode(CPDFStream& stream, CPDFObject* /*parms*/, CPDFErrorRecord& error,
                               ProgressProc progress, CancelProc cancel,
                               const CPDFProgressRange* range) {
  return RunDecode(stream, kClassName, &DecodeBytes, error, progress, cancel, range);
}

void CPDFASCII85Filter::EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  // A block of 4096 bytes holds whole groups, so only the data's last group can be short. The
  // block's text is formed whole (at most five digits per four bytes) and appended once.
  char text[2 * StrLoad::kBlockSize];
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(block);
    size_t used = 0;
    for (size_t i = 0; i < n; i += 4) {
      const size_t groupSize = n - i < 4 ? n - i : 4;
      const uint32_t value = BigEndian(bytes + i, groupSize);
      if (value == 0 && groupSize == 4) {
        text[used++] = 'z';
        continue;
      }
      char digits[5];
      GroupDigits(value, digits);
      // A short group writes only the digits that carry its bytes.
      for (size_t k = 0; k < groupSize + 1; ++k) text[used++] = digits[k];
    }
    out.Write(text, used);
    return true;
  });
  out.Write("~>", 2);
  frame.Finish();
}

void CPDFASCII85Filter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  Group group;
  bool tilde = false;  // "~" seen: only ">" may follow
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const auto c = static_cast<unsigned char>(block[i]);
      if (IsFilterWhitespace(c)) continue;
      if (tilde) {
        if (c == '>') return false;  // end marker: the rest is not data
        frame.Fail(kInvalidFormat, "invalid eod");
      }
      if (c == '~') {
        tilde = true;
      } else if (c >= kFirstDigit && c <= kLastDigit) {
        group.Add(c);
        if (group.count == 5) group.Emit(frame, out, 4);
      } else if (c == 'z' && group.count == 0) {
        out.Fill(4, 0);
      } else {
        frame.Fail(kInvalidFormat, Format("invalid char: %c", c));
      }
    }
    return true;
  });
  // The end marker, or the end of the input without one: a short last group is completed with
  // the largest digit, which inverts the encoding of a short group.
  if (group.count == 1) frame.Fail(kInvalidFormat, Format("invalid char: %c", group.lastDigit));
  if (group.count > 1) {
    const int keep = group.count - 1;
    const unsigned char lastRead = group.lastDigit;
    while (group.count < 5) group.Add(kLastDigit);
    group.lastDigit = lastRead;  // an error names the digit that was in the data
    group.Emit(frame, out, keep);
  }
  frame.Finish();
}

}  // namespace quarn
