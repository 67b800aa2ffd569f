// Feeds arbitrary bytes to the object parser. A value that parses must be writable, and what is
// written must read back: after one round trip (which settles numbers to their written form) a
// second one changes nothing. Copies made by Clone and Duplicate must write the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "pdf/object/values.h"

namespace {

using namespace quarn;

std::string Write(const CPDFObject& value) {
  StringOutStream out;
  value.Serialize(out);
  return out.Str();
}

// Values whose written form is not expected to read back: a stream's data ends at "endstream"
// only when "endobj" follows, which a stream nested in a container never has; and an empty name
// is written "/", which the reader refuses.
bool CannotReadBack(const CPDFObject& value) {
  if (value.TypeCode() == kTypeStream) return true;
  if (const auto* name = dynamic_cast<const CPDFName*>(&value)) return name->Empty();
  if (const auto* array = dynamic_cast<const CPDFArray*>(&value)) {
    for (size_t i = 0; i < array->Count(); ++i) {
      const CPDFAtom* atom = array->At(i);
      if (atom->IsObject() && CannotReadBack(static_cast<const CPDFObject&>(*atom))) return true;
    }
  }
  if (const auto* dict = dynamic_cast<const CPDFDict*>(&value)) {
    for (const auto& [key, atom] : *dict) {
      if (key.empty()) return true;
      if (atom->IsObject() && CannotReadBack(static_cast<const CPDFObject&>(*atom))) return true;
    }
  }
  return false;
}

// Reads the written form again; a name at the very end needs a byte after it, and a top-level
// stream needs the "endobj" that the object framing would give it.
std::unique_ptr<CPDFObject> ReadBack(const std::string& written) {
  const std::string text = written + "\r\nendobj\r\n";
  MemInStream in(text.data(), text.size());
  return SerializeObject(nullptr, in);
}

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\n--- first ---\n%s\n--- second ---\n%s\n", what, a.c_str(), b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemInStream in(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<CPDFObject> value;
  try {
    value = SerializeObject(nullptr, in);
  } catch (const CPDFException&) {
    return 0;  // malformed input is reported, which is all that is asked
  }
  if (!value) return 0;

  const std::string first = Write(*value);
  if (Write(*value->Clone()) != first) Fail("clone differs", first, Write(*value->Clone()));
  if (auto copy = value->Duplicate(nullptr, nullptr)) {
    if (Write(*copy) != first) Fail("duplicate differs", first, Write(*copy));
  }
  if (CannotReadBack(*value)) return 0;

  std::unique_ptr<CPDFObject> second;
  try {
    second = ReadBack(first);
  } catch (const CPDFException& e) {
    Fail("written value does not read back", first, e.Module() + " " + e.Message());
  }
  if (!second) Fail("written value reads as nothing", first, "");
  const std::string secondText = Write(*second);
  std::unique_ptr<CPDFObject> third = ReadBack(secondText);
  if (!third || Write(*third) != secondText)
    Fail("round trip not stable", secondText, third ? Write(*third) : "");
  return 0;
}
