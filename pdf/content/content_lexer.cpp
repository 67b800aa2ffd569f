#include "pdf/content/content_lexer.h"

#include <algorithm>
#include <array>

#include "pdf/object/lexer.h"

namespace quarn {

namespace {

bool IsRegular(unsigned char c) {
  return !IsWhitespace(c) && !IsDelimiter(c) && c != '%' && c != '{' && c != '}';
}

// How the normal state sees a byte. Skipped bytes (the whitespace bytes, braces, a stray ")")
// are passed over in a tight loop: runs of them make up the bulk of a bomb. Regular bytes
// make up tokens, read to their end in one loop; the rest start a string, a name, a comment
// or a container.
enum ByteClass : unsigned char { kOther, kSkipped, kRegular };

constexpr std::array<ByteClass, 256> kClassTable = [] {
  std::array<ByteClass, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool delimiter = c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' ||
                           c == ']' || c == '%' || c == '{' || c == '}';
    const bool white = c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
    table[static_cast<size_t>(c)] = white || c == '{' || c == '}' || c == ')' ? kSkipped
                                    : delimiter                               ? kOther
                                                                              : kRegular;
  }
  return table;
}();
constexpr const ByteClass* kClass = kClassTable.data();

// The bytes that matter inside a literal string.
constexpr std::array<bool, 256> kLiteralStopTable = [] {
  std::array<bool, 256> table{};
  for (const int c : {int{'\\'}, int{'('}, int{')'}}) table[static_cast<size_t>(c)] = true;
  return table;
}();
constexpr const bool* kLiteralStop = kLiteralStopTable.data();

const unsigned char* RegularRunEnd(const unsigned char* at, const unsigned char* end) {
  while (at < end && kClass[*at] == kRegular) ++at;
  return at;
}

}  // namespace

void ContentEndScanner::Feed(std::string_view piece) {
  // Text content is mostly short tokens and literal strings: both are read here a run at a
  // time; the byte-by-byte states take what is cut by the end of a piece, and the rare rest.
  const auto* at = reinterpret_cast<const unsigned char*>(piece.data());
  const unsigned char* end = at + piece.size();
  while (at < end) {
    if (m_state == State::kNormal) {
      at = ScanNormal(at, end);
    } else if (m_state == State::kLiteral) {
      at = ScanLiteral(at, end);
    } else if (Take(*at)) {
      ++at;
    }
  }
}

const unsigned char* ContentEndScanner::ScanNormal(const unsigned char* at,
                                                   const unsigned char* end) {
  while (at < end) {
    const ByteClass kind = kClass[*at];
    if (kind == kSkipped) {
      ++at;
      continue;
    }
    if (kind == kOther) {
      if (*at == '/') {
        const unsigned char* nameEnd = RegularRunEnd(at + 1, end);
        if (nameEnd == end) {
          m_state = State::kName;
          return end;
        }
        Value();
        at = nameEnd;
        continue;
      }
      Start(*at++);
      if (m_state != State::kNormal) return at;
      continue;
    }
    const unsigned char* tokenEnd = RegularRunEnd(at + 1, end);
    const auto length = static_cast<size_t>(tokenEnd - at);
    std::copy_n(at, std::min(length, kTokenKept), m_token);
    m_tokenLength = std::min(length, kTokenKept + 1);
    if (tokenEnd == end) {
      m_state = State::kToken;  // the next piece may hold more of it
      return end;
    }
    at = EndToken(false, *tokenEnd) ? tokenEnd + 1 : tokenEnd;
    if (m_state != State::kNormal) return at;
  }
  return at;
}

const unsigned char* ContentEndScanner::ScanLiteral(const unsigned char* at,
                                                    const unsigned char* end) {
  while (at < end) {
    const unsigned char c = *at++;
    if (!kLiteralStop[c]) continue;
    if (c == '\\') {
      if (at == end) {
        m_state = State::kEscape;
        return end;
      }
      ++at;  // the escaped byte, whatever it is
    } else if (c == '(') {
      ++m_literalDepth;
    } else if (m_literalDepth-- == 0) {
      m_state = State::kNormal;
      Value();
      return at;
    }
  }
  return at;
}

ContentEnd ContentEndScanner::Finish() {
  switch (m_state) {
    case State::kLiteral:
    case State::kEscape:
    case State::kAfterLess:
    case State::kHex:
    case State::kName:
      Value();  // a string or name cut by the end is one more value all the same
      break;
    case State::kToken:
      EndToken(true, 0);
      break;
    default:
      break;
  }
  m_state = State::kNormal;
  return m_end;
}

void ContentEndScanner::Value() {
  if (!m_end.open.empty()) ++m_end.open.back().values;
}

bool ContentEndScanner::Take(unsigned char c) {
  switch (m_state) {
    case State::kNormal:
      Start(c);
      return true;
    case State::kComment:
      if (!IsEndOfLine(c)) return true;
      m_state = State::kNormal;
      return false;
    case State::kLiteral:
      if (c == '\\') {
        m_state = State::kEscape;
      } else if (c == '(') {
        ++m_literalDepth;
      } else if (c == ')' && m_literalDepth-- == 0) {
        m_state = State::kNormal;
        Value();
      }
      return true;
    case State::kEscape:
      m_state = State::kLiteral;
      return true;
    case State::kAfterLess:
      if (c == '<') {
        m_end.open.push_back({'<', 0});
        m_state = State::kNormal;
        return true;
      }
      m_state = State::kHex;
      return false;
    case State::kHex:
      if (c == '>') {
        m_state = State::kNormal;
        Value();
      }
      return true;
    case State::kAfterGreater:
      // ">>" closes a dictionary as one '>' does: the second belongs to the first.
      m_state = State::kNormal;
      return c == '>';
    case State::kName:
      if (IsRegular(c)) return true;
      m_state = State::kNormal;
      Value();
      return false;
    case State::kToken:
      if (IsRegular(c)) {
        if (m_tokenLength < kTokenKept) m_token[m_tokenLength] = static_cast<char>(c);
        m_tokenLength = std::min(m_tokenLength + 1, kTokenKept + 1);
        return true;
      }
      m_state = State::kNormal;
      return EndToken(false, c);
    case State::kImage:
      return InImage(c);
  }
  return true;
}

void ContentEndScanner::Start(unsigned char c) {
  if (IsWhitespace(c) || c == '{' || c == '}' || c == ')') return;
  switch (c) {
    case '%':
      m_state = State::kComment;
      return;
    case '(':
      m_literalDepth = 0;
      m_state = State::kLiteral;
      return;
    case '<':
      m_state = State::kAfterLess;
      return;
    case '[':
      m_end.open.push_back({'[', 0});
      return;
    case ']':
    case '>': {
      const char kind = c == ']' ? '[' : '<';
      if (c == '>') m_state = State::kAfterGreater;
      if (!m_end.open.empty() && m_end.open.back().kind == kind) {
        m_end.open.pop_back();
        Value();
      }
      return;
    }
    case '/':
      m_state = State::kName;
      return;
    default:
      m_token[0] = static_cast<char>(c);
      m_tokenLength = 1;
      m_state = State::kToken;
  }
}

// Operators count only outside arrays and dictionaries; anything else is an operand.
bool ContentEndScanner::EndToken(bool atEnd, unsigned char next) {
  if (!m_end.open.empty()) {
    Value();
    return false;
  }
  if (m_tokenLength > kTokenKept) return false;
  const std::string_view token(m_token, m_tokenLength);
  if (token == "q") {
    ++m_end.openSaves;
  } else if (token == "Q") {
    if (m_end.openSaves == 0) ++m_end.surplusRestores;
    m_end.openSaves = std::max(0, m_end.openSaves - 1);
  } else if (token == "BT") {
    m_end.inText = true;
  } else if (token == "ET") {
    m_end.inText = false;
  } else if (token == "BMC" || token == "BDC") {
    ++m_end.openMarked;
  } else if (token == "EMC") {
    m_end.openMarked = std::max(0, m_end.openMarked - 1);
  } else if (token == "ID" && !atEnd) {
    // The data of an inline image runs from the byte after the one that ends "ID" to an "EI"
    // that stands alone: the ending byte is used up.
    m_state = State::kImage;
    m_imagePrevious = next;
    m_imageMatched = 0;
    return true;
  }
  return false;
}

bool ContentEndScanner::InImage(unsigned char c) {
  if (m_imageMatched == 2) {
    m_imageMatched = 0;
    if (!IsRegular(c)) {
      m_state = State::kNormal;
      return false;
    }
  } else if (m_imageMatched == 1) {
    m_imageMatched = c == 'I' ? 2 : 0;
  } else if (c == 'E' && IsWhitespace(m_imagePrevious)) {
    m_imageMatched = 1;
  }
  m_imagePrevious = c;
  return true;
}

ContentEnd ScanContentEnd(std::string_view content) {
  ContentEndScanner scanner;
  scanner.Feed(content);
  return scanner.Finish();
}

std::string ClosingOperators(const ContentEnd& end) {
  std::string closing;
  size_t closedInside = 0;  // a container just closed is one more value of the one around it
  for (auto it = end.open.rbegin(); it != end.open.rend(); ++it) {
    if (it->kind == '[') {
      closing += "] ";
    } else {
      closing += (it->values + closedInside) % 2 ? "null >> " : ">> ";
    }
    closedInside = 1;
  }
  if (end.inText) closing += "ET ";
  for (int i = 0; i < end.openMarked; ++i) closing += "EMC ";
  for (int i = 0; i < end.openSaves; ++i) closing += "Q ";
  return closing;
}

ContentEnd EndOfContent(const std::function<bool(const ContentPieceSink&)>& read) {
  // The content is scanned as it is decoded, never held whole: content that inflates to
  // gigabytes costs time but no memory.
  ContentEndScanner scanner;
  const ContentPieceSink feed = [&](const char* data, size_t n) {
    scanner.Feed(std::string_view(data, n));
  };
  if (!read(feed)) return ContentEnd{};
  return scanner.Finish();
}

}  // namespace quarn
