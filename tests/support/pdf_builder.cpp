#include "support/pdf_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace quarn::test {

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(out.data()), &size,
               reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size())) != Z_OK) {
    throw std::runtime_error("zlib compress failed");
  }
  out.resize(size);
  return out;
}

std::string PredictUp(const std::string& data, size_t columns) {
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

namespace {

std::string Stream(const std::string& data, const std::string& length, const std::string& extra,
                   const char* end) {
  return "<< /Length " + length + (extra.empty() ? "" : " " + extra) + " >>\nstream\n" + data + end;
}

}  // namespace

std::string StreamBody(const std::string& data, const std::string& length,
                       const std::string& extra) {
  return Stream(data, length, extra, "\nendstream");
}

std::string StreamObject(const std::string& data, const std::string& extra) {
  return Stream(data, std::to_string(data.size()), extra, "endstream");
}

PdfBuilder& PdfBuilder::Obj(int num, const std::string& body, int gen) {
  m_rows[num] = Row{1, static_cast<uint64_t>(m_text.size()), gen};
  m_text += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
  return *this;
}

PdfBuilder& PdfBuilder::ObjStm(int num, const std::vector<std::pair<int, std::string>>& objects,
                               bool flate, const std::string& extra) {
  std::string header, body;
  for (size_t i = 0; i < objects.size(); ++i) {
    header += std::to_string(objects[i].first) + " " + std::to_string(body.size()) + " ";
    body += objects[i].second + "\n";
    m_rows[objects[i].first] = Row{2, static_cast<uint64_t>(num), static_cast<int>(i)};
  }
  const std::string data = flate ? Deflate(header + body) : header + body;
  const std::string entries = "/Type /ObjStm /N " + std::to_string(objects.size()) + " /First " +
                              std::to_string(header.size()) + (flate ? " /Filter /FlateDecode" : "") +
                              (extra.empty() ? "" : " " + extra);
  return Obj(num, StreamBody(data, std::to_string(data.size()), entries));
}

PdfBuilder& PdfBuilder::Free(int num, int next, int gen) {
  return Entry(num, 0, static_cast<uint64_t>(next), gen);
}

PdfBuilder& PdfBuilder::Entry(int num, int type, uint64_t second, int third) {
  m_rows[num] = Row{type, second, third};
  return *this;
}

PdfBuilder& PdfBuilder::Raw(const std::string& bytes) {
  m_text += bytes;
  return *this;
}

PdfBuilder& PdfBuilder::Prev(int64_t offset) {
  m_lastXRef = offset;
  return *this;
}

std::vector<std::pair<int, std::vector<PdfBuilder::Row>>> PdfBuilder::Runs() const {
  std::vector<std::pair<int, std::vector<Row>>> runs;
  for (const auto& [num, row] : m_rows) {
    if (runs.empty() || runs.back().first + static_cast<int>(runs.back().second.size()) != num) {
      runs.emplace_back(num, std::vector<Row>{});
    }
    runs.back().second.push_back(row);
  }
  return runs;
}

PdfBuilder& PdfBuilder::Section(const std::string& trailerEntries, int freeHead) {
  const int64_t xref = static_cast<int64_t>(m_text.size());
  if (m_lastXRef < 0) m_rows[0] = Row{0, static_cast<uint64_t>(freeHead), 65535};
  m_text += "xref\n";
  for (const auto& [first, rows] : Runs()) {
    m_text += std::to_string(first) + " " + std::to_string(rows.size()) + "\n";
    for (const Row& row : rows) {
      char line[40];
      std::snprintf(line, sizeof line, "%010llu %05d %c \n",
                    static_cast<unsigned long long>(row.second), row.third,
                    row.type == 0 ? 'f' : 'n');
      m_text += line;
    }
  }
  m_text += "trailer\n<< " + trailerEntries;
  if (m_lastXRef >= 0) m_text += " /Prev " + std::to_string(m_lastXRef);
  m_text += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  m_lastXRef = xref;
  m_rows.clear();
  return *this;
}

PdfBuilder& PdfBuilder::StreamSection(int num, const std::string& trailerEntries, bool predicted) {
  const uint64_t offset = m_text.size();
  m_rows[num] = Row{1, offset, 0};
  if (m_lastXRef < 0) m_rows[0] = Row{0, 0, 65535};
  std::string index, rows;
  for (const auto& [first, run] : Runs()) {
    index += std::to_string(first) + " " + std::to_string(run.size()) + " ";
    for (const Row& row : run) {
      rows.push_back(static_cast<char>(row.type));
      for (int shift = 24; shift >= 0; shift -= 8) rows.push_back(static_cast<char>(row.second >> shift));
      rows.push_back(static_cast<char>(row.third >> 8));
      rows.push_back(static_cast<char>(row.third));
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

std::string MakePdf(const std::vector<std::string>& objects, const std::string& trailer) {
  PdfBuilder builder;
  for (size_t i = 0; i < objects.size(); ++i) builder.Obj(static_cast<int>(i + 1), objects[i]);
  builder.Section("/Size " + std::to_string(objects.size() + 1) + " " + trailer);
  return builder.Str();
}

std::string MakePagesPdf(const std::vector<std::string>& pages,
                         const std::vector<std::string>& extra, const std::string& treeEntries) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
  std::string kids;
  for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(i + 3) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) +
                    (treeEntries.empty() ? "" : " " + treeEntries) + " >>");
  for (const std::string& page : pages) objects.push_back("<< /Type /Page /Parent 2 0 R " + page + " >>");
  objects.insert(objects.end(), extra.begin(), extra.end());
  return MakePdf(objects);
}

std::string MakeFlatPdf(int pages, const std::vector<std::string>& extra) {
  std::vector<std::string> list;
  for (int i = 0; i < pages; ++i) list.push_back("/Resources << >> /Rotate " + std::to_string(i));
  return MakePagesPdf(list, extra, "/MediaBox [0 0 612 792]");
}

}  // namespace quarn::test
