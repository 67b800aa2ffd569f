#include "pdf/font/font_file.h"

#include "pdf/document/doc.h"

namespace quarn {

namespace {

// Replaces a length read from the file by an integer object of the same value, in place.
bool ConvertLength(CPDFObjHolder* doc, CPDFDict& dict, const char* key) {
  CPDFAtom* atom = dict.Lookup(key);
  if (!atom) return true;
  CPDFObjRef ref;
  CPDFObject* value = Resolve(doc, atom, &ref);
  if (!value || value->TypeCode() != kTypeNumber) return true;
  auto integer = std::make_unique<CPDFInt>(static_cast<CPDFNumber*>(value)->IntValue());
  integer->CopyFlagsFrom(*value);
  if (atom->IsRef()) return ReplaceIndirect(doc, ref, std::move(integer));
  return dict.Insert(key, std::move(integer));
}

}  // namespace

bool IsFontFile(CPDFObjHolder* doc, CPDFObject* value) {
  if (!value || value->TypeCode() != kTypeStream) return false;
  CPDFObject* length1 = static_cast<CPDFStream*>(value)->GetValue(doc, "Length1");
  return length1 && length1->TypeCode() == kTypeNumber;
}

bool CPDFFontFile::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  BindDoc(doc);
  SwapContent(source);
  for (const char* key : {"Length1", "Length2", "Length3"}) {
    if (!ConvertLength(doc, *this, key)) return false;
  }
  return true;
}

std::unique_ptr<CPDFFontFile> CPDFFontFile::Duplicate(CPDFObjHolder* target) const {
  std::unique_ptr<CPDFObject> copy = CPDFObject::Duplicate(target, Doc());
  auto* file = dynamic_cast<CPDFFontFile*>(copy.get());
  if (!file) return nullptr;
  copy.release();
  return std::unique_ptr<CPDFFontFile>(file);
}

}  // namespace quarn
