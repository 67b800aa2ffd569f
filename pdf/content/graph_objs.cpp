#include "pdf/content/graph_objs.h"

#include <utility>

#include "pdf/object/out_stream.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFGraphObjs";
constexpr const char* kUpdateContents = "UpdateContents";

// Empties the stream and takes its filters off, so that it holds plain, empty data.
void EmptyStream(CPDFStream& stream) {
  stream.ClearData();
  stream.UpdateLength();
  if (!stream.Lookup("Filter")) return;
  CPDFErrorRecord decodeError;
  if (stream.DecodeAllFilter(decodeError)) return;
  // There is no data left to decode, so a decoder that refuses empty input (Flate wants at
  // least a zlib header) must not stop a stream from being reused: the filter entries are all
  // that has to go.
  stream.RemoveValue(stream.Doc(), "Filter");
  stream.RemoveValue(stream.Doc(), "DecodeParms");
}

}  // namespace

GraphObj& CPDFGraphObjs::Append(std::unique_ptr<GraphObj> object) {
  m_objects.push_back(std::move(object));
  return *m_objects.back();
}

template <class T>
T& CPDFGraphObjs::AppendNew() {
  return static_cast<T&>(Append(std::make_unique<T>()));
}

PageDescOperator& CPDFGraphObjs::AddSave() {
  auto& op = AppendNew<PageDescOperator>();
  op.SetSave();
  return op;
}

PageDescOperator& CPDFGraphObjs::AddRestore() {
  auto& op = AppendNew<PageDescOperator>();
  op.SetRestore();
  return op;
}

PageDescOperator& CPDFGraphObjs::AddLineWidth(float width) {
  auto& op = AppendNew<PageDescOperator>();
  op.SetLineWidth(width);
  return op;
}

PageDescOperator& CPDFGraphObjs::AddGray(float gray) {
  auto& op = AppendNew<PageDescOperator>();
  op.SetStrokeGray(gray);
  return op;
}

TextObject& CPDFGraphObjs::AddTextObject() { return AppendNew<TextObject>(); }

ExternalObject& CPDFGraphObjs::AddExternalObject(std::string_view name) {
  auto& object = AppendNew<ExternalObject>();
  object.SetXObject(name);
  return object;
}

void CPDFGraphObjs::Write(OutStream& out) const {
  bool first = true;
  for (const auto& object : m_objects) {
    if (!first) out << ' ';
    object->Write(out);
    first = false;
  }
}

bool CPDFGraphObjs::UpdateContents(CPDFStream& stream, CPDFErrorRecord& error) const {
  try {
    EmptyStream(stream);
    TempHugeString buffer;
    {
      // New content is a few dozen bytes; a small staging buffer keeps each call cheap (the
      // target itself grows as needed).
      MemOutStream out(buffer, 256);
      Write(out);
      out.Flush();
      if (!out.Good()) ThrowCode(kModule, kUpdateContents, kRuntimeError);
    }
    if (!stream.SetData(std::move(buffer))) ThrowCode(kModule, kUpdateContents, kRuntimeError);
    return true;
  } catch (const CPDFException& e) {
    error.Keep(e);
  } catch (const std::bad_alloc&) {
    error.Keep(CPDFException(kModule, kUpdateContents, kRuntimeError, "out of memory"));
  }
  // Leave the stream empty, as before the list was written.
  stream.ClearData();
  stream.UpdateLength();
  stream.RemoveValue(stream.Doc(), "Filter");
  stream.RemoveValue(stream.Doc(), "DecodeParms");
  return false;
}

}  // namespace quarn
