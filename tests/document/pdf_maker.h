// Builds test PDF files from text templates: objects are laid out one after another and each
// section gets a classic cross-reference table whose offsets are computed here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quarn::test {

class PdfMaker {
 public:
  explicit PdfMaker(const std::string& header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") : m_text(header) {}

  // Appends "num gen obj" body "endobj" and lists it in the next table.
  PdfMaker& Obj(int num, const std::string& body, int gen = 0) {
    m_entries[num] = Entry{static_cast<int64_t>(m_text.size()), gen, 'n'};
    m_text += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
    return *this;
  }
  // Lists a free entry in the next table: `next` is the following number of the free list.
  PdfMaker& Free(int num, int next, int gen) {
    m_entries[num] = Entry{next, gen, 'f'};
    return *this;
  }
  // Lists an entry as given, without writing an object.
  PdfMaker& ListEntry(int num, int64_t offset, int gen, char type) {
    m_entries[num] = Entry{offset, gen, type};
    return *this;
  }
  // Appends raw bytes.
  PdfMaker& Raw(const std::string& bytes) {
    m_text += bytes;
    return *this;
  }
  // Ends a section: its table (the first one opens with object 0, whose link is `freeHead`), then
  // "trailer", the entries given plus "/Prev" after the first section, "startxref", "%%EOF".
  PdfMaker& Section(const std::string& trailerEntries, int freeHead = 0) {
    const int64_t xref = static_cast<int64_t>(m_text.size());
    std::map<int, Entry> entries = m_entries;
    if (m_lastXRef < 0) entries[0] = Entry{freeHead, 65535, 'f'};
    m_text += "xref\n";
    for (auto it = entries.begin(); it != entries.end();) {
      auto end = it;
      int count = 0;
      while (end != entries.end() && end->first == it->first + count) {
        ++end;
        ++count;
      }
      m_text += std::to_string(it->first) + " " + std::to_string(count) + "\n";
      for (; it != end; ++it) {
        char line[32];
        std::snprintf(line, sizeof line, "%010lld %05d %c \n",
                      static_cast<long long>(it->second.offset), it->second.gen, it->second.type);
        m_text += line;
      }
    }
    m_text += "trailer\n<< " + trailerEntries;
    if (m_lastXRef >= 0) m_text += " /Prev " + std::to_string(m_lastXRef);
    m_text += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    m_lastXRef = xref;
    m_entries.clear();
    return *this;
  }

  const std::string& Str() const { return m_text; }
  int64_t LastXRef() const { return m_lastXRef; }

 private:
  struct Entry {
    int64_t offset;
    int gen;
    char type;
  };
  std::string m_text;
  std::map<int, Entry> m_entries;
  int64_t m_lastXRef = -1;
};

// Objects numbered 1..n in one section; the trailer gets "/Size n+1" and `trailer`.
inline std::string MakePdf(const std::vector<std::string>& objects,
                           const std::string& trailer = "/Root 1 0 R") {
  PdfMaker maker;
  for (size_t i = 0; i < objects.size(); ++i) maker.Obj(static_cast<int>(i + 1), objects[i]);
  maker.Section("/Size " + std::to_string(objects.size() + 1) + " " + trailer);
  return maker.Str();
}

// A document of `pages` pages under one flat tree: catalog 1, tree 2, pages 3.. with a
// 612 x 792 MediaBox on the tree; `extra` objects follow the pages.
inline std::string MakeFlatPdf(int pages, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(i + 3) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) +
                    " /MediaBox [0 0 612 792] >>");
  for (int i = 0; i < pages; ++i) {
    objects.push_back("<< /Type /Page /Parent 2 0 R /Resources << >> /Rotate " + std::to_string(i) +
                      " >>");
  }
  for (const std::string& e : extra) objects.push_back(e);
  return MakePdf(objects);
}

// A stream object body holding `data` exactly, with `length` as its declared "Length".
inline std::string StreamBody(const std::string& data, const std::string& length,
                              const std::string& extra = "") {
  return "<< /Length " + length + (extra.empty() ? "" : " " + extra) + " >>\nstream\n" + data +
         "\nendstream";
}

}  // namespace quarn::test
