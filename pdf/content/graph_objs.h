// A list of graphic objects: new page content built in memory, then written into a stream.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string_view>

#include "pdf/content/graph_obj.h"
#include "pdf/object/exception.h"

namespace quarn {

class CPDFStream;
class OutStream;

// An ordered, doubly linked list of owned graphic objects. Destroying or clearing the list
// destroys its objects.
class CPDFGraphObjs {
 public:
  using List = std::list<std::unique_ptr<GraphObj>>;

  CPDFGraphObjs() = default;
  CPDFGraphObjs(const CPDFGraphObjs&) = delete;
  CPDFGraphObjs& operator=(const CPDFGraphObjs&) = delete;

  size_t Count() const { return m_objects.size(); }
  bool Empty() const { return m_objects.empty(); }
  void Clear() { m_objects.clear(); }
  List::const_iterator begin() const { return m_objects.begin(); }
  List::const_iterator end() const { return m_objects.end(); }

  // Appends any object; the list takes ownership and returns the object (observed).
  GraphObj& Append(std::unique_ptr<GraphObj> object);
  // "q" and "Q".
  PageDescOperator& AddSave();
  PageDescOperator& AddRestore();
  // "w" with the line width, "G" with the stroking gray level.
  PageDescOperator& AddLineWidth(float width);
  PageDescOperator& AddGray(float gray);
  // A new, empty text object appended to the list; the caller fills it.
  TextObject& AddTextObject();
  // An external object invoking the XObject resource `name` with "Do".
  ExternalObject& AddExternalObject(std::string_view name);

  // Writes the objects separated by single spaces; nothing for an empty list.
  void Write(OutStream& out) const;
  // Makes the list the whole data of `stream`, which is left without filters. On failure the
  // error goes into `error`, the stream is left empty and the result is false.
  bool UpdateContents(CPDFStream& stream, CPDFErrorRecord& error) const;

 private:
  template <class T>
  T& AppendNew();

  List m_objects;
};

}  // namespace quarn
