#include "pdf/content/content_lexer.h"

#include <algorithm>

#include "pdf/object/lexer.h"

namespace quarn {

namespace {

bool IsRegular(unsigned char c) {
  return !IsWhitespace(c) && !IsDelimiter(c) && c != '%' && c != '{' && c != '}';
}

class ContentScanner {
 public:
  explicit ContentScanner(std::string_view data) : m_data(data) {}

  ContentEnd Run() {
    while (m_at < m_data.size()) Step();
    return m_end;
  }

 private:
  unsigned char Peek(size_t ahead = 0) const {
    return m_at + ahead < m_data.size() ? static_cast<unsigned char>(m_data[m_at + ahead]) : 0;
  }

  // One value completed at the current depth.
  void Value() {
    if (!m_end.open.empty()) ++m_end.open.back().values;
  }

  void Step() {
    const unsigned char c = Peek();
    if (IsWhitespace(c) || c == '{' || c == '}') {
      ++m_at;
    } else if (c == '%') {
      while (m_at < m_data.size() && !IsEndOfLine(Peek())) ++m_at;
    } else if (c == '(') {
      SkipLiteral();
      Value();
    } else if (c == '<' && Peek(1) == '<') {
      m_end.open.push_back({'<', 0});
      m_at += 2;
    } else if (c == '<') {
      const size_t close = m_data.find('>', m_at);
      m_at = close == std::string_view::npos ? m_data.size() : close + 1;
      Value();
    } else if (c == '[') {
      m_end.open.push_back({'[', 0});
      ++m_at;
    } else if (c == ']' || c == '>') {
      const char kind = c == ']' ? '[' : '<';
      m_at += c == '>' && Peek(1) == '>' ? size_t{2} : size_t{1};
      if (!m_end.open.empty() && m_end.open.back().kind == kind) {
        m_end.open.pop_back();
        Value();
      }
    } else if (c == '/') {
      ++m_at;
      while (m_at < m_data.size() && IsRegular(Peek())) ++m_at;
      Value();
    } else if (c == ')') {
      ++m_at;
    } else {
      const size_t start = m_at;
      while (m_at < m_data.size() && IsRegular(Peek())) ++m_at;
      Token(m_data.substr(start, m_at - start));
    }
  }

  void SkipLiteral() {
    int depth = 0;
    for (++m_at; m_at < m_data.size(); ++m_at) {
      const char c = m_data[m_at];
      if (c == '\\') {
        ++m_at;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && depth-- == 0) {
        ++m_at;
        return;
      }
    }
  }

  // Operators count only outside arrays and dictionaries; anything else is an operand.
  void Token(std::string_view token) {
    if (!m_end.open.empty()) {
      Value();
      return;
    }
    if (token == "q") {
      ++m_end.openSaves;
    } else if (token == "Q") {
      m_end.openSaves = std::max(0, m_end.openSaves - 1);
    } else if (token == "BT") {
      m_end.inText = true;
    } else if (token == "ET") {
      m_end.inText = false;
    } else if (token == "ID") {
      SkipInlineImage();
    }
  }

  // The data of an inline image runs from the byte after "ID" to an "EI" that stands alone.
  void SkipInlineImage() {
    ++m_at;
    for (; m_at + 1 < m_data.size(); ++m_at) {
      if (m_data[m_at] == 'E' && m_data[m_at + 1] == 'I' && m_at > 0 &&
          IsWhitespace(static_cast<unsigned char>(m_data[m_at - 1])) &&
          (m_at + 2 >= m_data.size() || !IsRegular(static_cast<unsigned char>(m_data[m_at + 2])))) {
        m_at += 2;
        return;
      }
    }
    m_at = m_data.size();
  }

  std::string_view m_data;
  size_t m_at = 0;
  ContentEnd m_end;
};

}  // namespace

ContentEnd ScanContentEnd(std::string_view content) { return ContentScanner(content).Run(); }

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
  for (int i = 0; i < end.openSaves; ++i) closing += "Q ";
  return closing;
}

}  // namespace quarn
