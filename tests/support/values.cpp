#include "support/values.h"

#include "pdf/stream/stream.h"

namespace quarn::test {

std::unique_ptr<CPDFObject> Parse(const std::string& text, CPDFObjHolder* holder,
                                  size_t bufferSize) {
  MemInStream in(text.data(), text.size(), bufferSize);
  return SerializeObject(holder, in);
}

std::unique_ptr<CPDFDict> ParseDict(const std::string& text, CPDFObjHolder* holder) {
  std::unique_ptr<CPDFObject> value = Parse(text, holder);
  if (!value || value->TypeCode() != kTypeDict) return nullptr;
  return std::unique_ptr<CPDFDict>(static_cast<CPDFDict*>(value.release()));
}

std::optional<CPDFException> ParseError(const std::string& text) {
  try {
    Parse(text);
  } catch (const CPDFException& e) {
    return e;
  }
  return std::nullopt;
}

std::string Text(const CPDFAtom& value, const CPDFCryptContext* crypt) {
  StringOutStream out;
  value.Serialize(out, crypt);
  return out.Str();
}

std::string Reserialize(const std::string& text) {
  auto value = Parse(text);
  return value ? Text(*value) : "<nothing>";
}

std::unique_ptr<CPDFArray> Numbers(std::initializer_list<float> values) {
  auto array = std::make_unique<CPDFArray>();
  for (float v : values) array->Push_Back(std::make_unique<CPDFNumber>(v));
  return array;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

}  // namespace quarn::test
