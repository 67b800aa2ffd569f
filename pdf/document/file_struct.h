// The common base of the four parts of a file section: header, body, cross-reference table and
// trailer. Each part knows its document and the input it was read from; writing is virtual.
#pragma once

namespace quarn {

class CPDFDoc;
class InStream;
class OutStream;

class CPDFFileStruct {
 public:
  enum Kind : int { kNone = -1, kHeader = 0, kBody = 1, kXRef = 2, kTrailer = 3 };

  virtual ~CPDFFileStruct() = default;
  virtual void Serialize(OutStream& out) const = 0;

  int StructKind() const { return m_kind; }
  CPDFDoc* Doc() const { return m_doc; }
  // Ties the part to its document (the Realize step of the header and the tables).
  bool Realize(CPDFDoc* doc) {
    m_doc = doc;
    return true;
  }

 protected:
  explicit CPDFFileStruct(int kind, CPDFDoc* doc = nullptr) : m_doc(doc), m_kind(kind) {}
  CPDFFileStruct(const CPDFFileStruct&) = delete;
  CPDFFileStruct& operator=(const CPDFFileStruct&) = delete;

  CPDFDoc* m_doc;
  InStream* m_in = nullptr;  // observed: the input the part was read from

 private:
  int m_kind;
};

}  // namespace quarn
