#include "pdf/stream/ascii_hex_filter.h"

#include <array>

#include "pdf/stream/filter_chars.h"

namespace quarn {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Value of a hexadecimal digit of either case, or -1.
constexpr std::array<signed char, 256> MakeHexValues() {
  std::array<signed char, 256> values{};
  for (auto& v : values) v = -1;
  for (int c = '0'; c <= '9'; ++c) values[static_cast<size_t>(c)] = static_cast<signed char>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) values[static_cast<size_t>(c)] = static_cast<signed char>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) values[static_cast<size_t>(c)] = static_cast<signed char>(c - 'a' + 10);
  return values;
}
constexpr std::array<signed char, 256> kHexValues = MakeHexValues();

}  // namespace

bool CPDFASCIIHexFilter::Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                                CancelProc cancel, const CPDFProgressRange* range) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytes, error, progress, cancel, range);
}

bool CPDFASCIIHexFilter::Decode(CPDFStream& stream, CPDFObject* /*parms*/, CPDFErrorRecord& error,
                                ProgressProc progress, CancelProc cancel,
                                const CPDFProgressRange* range) {
  return RunDecode(stream, kClassName, &DecodeBytes, error, progress, cancel, range);
}

void CPDFASCIIHexFilter::EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  // One block's output, formed whole and appended once: two digits per byte.
  char text[2 * StrLoad::kBlockSize];
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const auto byte = static_cast<unsigned char>(block[i]);
      text[2 * i] = kHexDigits[byte >> 4];
      text[2 * i + 1] = kHexDigits[byte & 15];
    }
    out.Write(text, 2 * n);
    return true;
  });
  out.Put('>');
  frame.Finish();
}

void CPDFASCIIHexFilter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  int high = -1;  // the first digit of a pair still waiting for its second
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const auto c = static_cast<unsigned char>(block[i]);
      const int value = kHexValues[c];
      if (value >= 0) {
        if (high < 0) {
          high = value;
        } else {
          out.Put(static_cast<char>(high << 4 | value));
          high = -1;
        }
      } else if (c == '>') {
        return false;  // the rest after the end marker is not data
      } else if (!IsFilterWhitespace(c)) {
        frame.Fail(kInvalidFormat, Format("invalid char: %c", c));
      }
    }
    return true;
  });
  // A last digit without its partner stands for the high half of a byte: "A>" gives 0xA0.
  // The end of the input without ">" ends the data the same way.
  if (high >= 0) out.Put(static_cast<char>(high << 4));
  frame.Finish();
}

}  // namespace quarn
