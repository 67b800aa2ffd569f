// Builds test PDF files whose sections are cross-reference streams: plain objects, object
// streams holding objects, free entries, and one "Type" "XRef" stream per section whose rows
// (and offsets) are computed here. Rows may be Flate-compressed with the PNG Up predictor, as
// most writers do.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quarn::test {

// zlib's compression of `data` (the stream format "FlateDecode" reads).
inline std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
           static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// PNG "Up" prediction of rows of `columns` bytes: each row led by tag 2 and holding its
// difference to the row above.
inline std::string PredictUp(const std::string& data, size_t columns) {
  std::string out;
  std::string prior(columns, '\0');
  for (size_t at = 0; at < data.size(); at += columns) {
    out.push_back('\x02');
    for (size_t i = 0; i < columns && at + i < data.size(); ++i) {
      out.push_back(static_cast<char>(data[at + i] - prior[i]));
      prior[i] = data[at + i];
    }
  }
  return out;
}

class StreamPdfMaker {
 public:
  explicit StreamPdfMaker(const std::string& header = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n")
      : m_text(header) {}

  // Appends "num gen obj" body "endobj", listed in the next section as in use at its offset.
  StreamPdfMaker& Obj(int num, const std::string& body, int gen = 0) {
    m_rows[num] = Row{1, static_cast<uint64_t>(m_text.size()), gen};
    m_text += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
    return *this;
  }
  // Appends object stream `num` holding `objects` (number, text) uncompressed, or compressed
  // when `flate`; each object is listed as compressed in it. `extra` goes into its dictionary.
  StreamPdfMaker& ObjStm(int num, const std::vector<std::pair<int, std::string>>& objects,
                         bool flate = false, const std::string& extra = "") {
    std::string header, body;
    for (size_t i = 0; i < objects.size(); ++i) {
      header += std::to_string(objects[i].first) + " " + std::to_string(body.size()) + " ";
      body += objects[i].second + "\n";
      m_rows[objects[i].first] = Row{2, static_cast<uint64_t>(num), static_cast<int>(i)};
    }
    std::string data = header + body;
    if (flate) data = Deflate(data);
    std::string dict = "<< /Type /ObjStm /N " + std::to_string(objects.size()) + " /First " +
                       std::to_string(header.size()) + " /Length " + std::to_string(data.size()) +
                       (flate ? " /Filter /FlateDecode" : "") + (extra.empty() ? "" : " " + extra) +
                       " >>\nstream\n" + data + "\nendstream";
    return Obj(num, dict);
  }
  // Lists a row of any kind as given, without writing an object.
  StreamPdfMaker& ListRow(int num, int type, uint64_t second, int third) {
    m_rows[num] = Row{type, second, third};
    return *this;
  }
  // Links the next section to a section written before this maker took over the text.
  StreamPdfMaker& Prev(int64_t offset) {
    m_lastXRef = offset;
    return *this;
  }
  StreamPdfMaker& Raw(const std::string& bytes) {
    m_text += bytes;
    return *this;
  }
  // Ends a section with cross-reference stream `num` (which lists itself), the trailer keys
  // given plus "/Size" and "/Prev" after the first section. `predicted`: Flate with PNG Up.
  StreamPdfMaker& Section(int num, const std::string& trailerEntries, bool predicted = false) {
    const uint64_t offset = m_text.size();
    m_rows[num] = Row{1, offset, 0};
    if (m_lastXRef < 0) m_rows[0] = Row{0, 0, 65535};
    std::string index, rows;
    for (auto it = m_rows.begin(); it != m_rows.end();) {
      auto end = it;
      int count = 0;
      while (end != m_rows.end() && end->first == it->first + count) {
        ++end;
        ++count;
      }
      index += std::to_string(it->first) + " " + std::to_string(count) + " ";
      for (; it != end; ++it) {
        rows.push_back(static_cast<char>(it->second.type));
        for (int shift = 24; shift >= 0; shift -= 8) {
          rows.push_back(static_cast<char>(it->second.second >> shift));
        }
        rows.push_back(static_cast<char>(it->second.third >> 8));
        rows.push_back(static_cast<char>(it->second.third));
      }
    }
    const int size = std::max(m_highest, m_rows.rbegin()->first) + 1;
    m_highest = size - 1;
    std::string dict = "/Type /XRef /W [1 4 2] /Index [" + index + "] /Size " +
                       std::to_string(size) + " " + trailerEntries;
    if (m_lastXRef >= 0) dict += " /Prev " + std::to_string(m_lastXRef);
    if (predicted) {
      rows = Deflate(PredictUp(rows, 7));
      dict += " /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 7 >>";
    }
    m_text += std::to_string(num) + " 0 obj\n<< " + dict + " /Length " +
              std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
    m_text += "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
    m_lastXRef = static_cast<int64_t>(offset);
    m_rows.clear();
    return *this;
  }

  const std::string& Str() const { return m_text; }
  int64_t LastXRef() const { return m_lastXRef; }

 private:
  struct Row {
    int type;
    uint64_t second;
    int third;
  };
  std::string m_text;
  std::map<int, Row> m_rows;
  int64_t m_lastXRef = -1;
  int m_highest = 0;
};

}  // namespace quarn::test
