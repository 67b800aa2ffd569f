#include "pdf/stream/lzw_filter.h"

#include <array>
#include <cstdint>
#include <memory>

#include "pdf/object/values.h"

namespace quarn {

namespace {

constexpr unsigned kClear = 256;
constexpr unsigned kEndOfData = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kTableSize = 4096;
constexpr int kMinWidth = 9;
constexpr int kMaxWidth = 12;

// The string table: each code is a shorter code (its prefix) plus one byte. Strings are at most
// kTableSize bytes long, so one buffer of that size holds any of them.
class LZWDecoder {
 public:
  LZWDecoder(FilterOutput& out, bool earlyChange) : m_out(out), m_early(earlyChange ? 1 : 0) {
    for (unsigned c = 0; c < 256; ++c) {
      m_prefix[c] = 0;
      m_last[c] = static_cast<unsigned char>(c);
      m_first[c] = static_cast<unsigned char>(c);
      m_length[c] = 1;
    }
    Reset();
  }

  // Feeds one block; false once the data has ended.
  bool Feed(const char* block, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      m_bits = (m_bits << 8) | static_cast<unsigned char>(block[i]);
      m_bitCount += 8;
      while (m_bitCount >= m_width) {
        m_bitCount -= m_width;
        const unsigned code = (m_bits >> m_bitCount) & ((1u << m_width) - 1);
        if (!Take(code)) return false;
      }
      m_bits &= (1u << m_bitCount) - 1;
    }
    return true;
  }

 private:
  void Reset() {
    m_next = kFirstFree;
    m_width = kMinWidth;
    m_previous = -1;
  }

  bool Take(unsigned code) {
    if (code == kClear) {
      Reset();
      return true;
    }
    if (code == kEndOfData) return false;
    if (m_previous < 0) {
      // The first code after a clear names a single byte.
      if (code > 255) return false;
      Emit(code);
      m_previous = static_cast<int>(code);
      return true;
    }
    const auto previous = static_cast<unsigned>(m_previous);
    unsigned char first = 0;
    if (code < m_next) {
      first = m_first[code];
      Emit(code);
      Add(previous, first);
    } else if (code == m_next && m_next < kTableSize) {
      // The code being defined right now: the previous string and its own first byte.
      first = m_first[previous];
      Add(previous, first);
      Emit(code);
    } else {
      return false;
    }
    m_previous = static_cast<int>(code);
    return true;
  }

  void Add(unsigned prefix, unsigned char byte) {
    if (m_next >= kTableSize) return;  // a full table stays as it is until the next clear
    m_prefix[m_next] = static_cast<uint16_t>(prefix);
    m_last[m_next] = byte;
    m_first[m_next] = m_first[prefix];
    m_length[m_next] = static_cast<uint16_t>(m_length[prefix] + 1);
    ++m_next;
    if (m_width < kMaxWidth && m_next + m_early >= (1u << m_width)) ++m_width;
  }

  void Emit(unsigned code) {
    const size_t length = m_length[code];
    for (size_t i = length; i > 0; --i) {
      m_string[i - 1] = static_cast<char>(m_last[code]);
      code = m_prefix[code];
    }
    m_out.Write(m_string.data(), length);
  }

  FilterOutput& m_out;
  unsigned m_early;
  std::array<uint16_t, kTableSize> m_prefix{};
  std::array<unsigned char, kTableSize> m_last{};
  std::array<unsigned char, kTableSize> m_first{};
  std::array<uint16_t, kTableSize> m_length{};
  std::array<char, kTableSize> m_string{};
  unsigned m_next = kFirstFree;
  int m_width = kMinWidth;
  int m_previous = -1;
  uint32_t m_bits = 0;
  int m_bitCount = 0;
};

void Decode(StrLoad& in, FilterFrame& frame, FilterOutput& out, bool earlyChange) {
  auto decoder = std::make_unique<LZWDecoder>(out, earlyChange);
  frame.ForEachBlock(in, [&](const char* block, size_t n) { return decoder->Feed(block, n); });
  frame.Finish();
}

}  // namespace

bool CPDFLZWFilter::EarlyChangeOf(CPDFObjHolder* doc, CPDFObject* parms) {
  CPDFDict* dict = AsDict(parms);
  CPDFNumber* value =
      dict && dict->Lookup("EarlyChange") ? dict->GetNumber(doc, "EarlyChange") : nullptr;
  return !value || value->IntValue() != 0;
}

void CPDFLZWFilter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  Decode(in, frame, out, true);
}

void CPDFLZWFilter::DecodeBytesLate(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  Decode(in, frame, out, false);
}

}  // namespace quarn
