#include "pdf/font/type3_font.h"

namespace quarn {

namespace {

bool IsFileNumber(CPDFDict& dict, CPDFObjHolder* doc, const char* key) {
  CPDFObject* value = dict.GetValue(doc, key);
  return value && value->TypeCode() == kTypeNumber;
}

}  // namespace

bool IsType3Font(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  if (!dict || !dict->HasName(doc, "Type", "Font") || !dict->HasName(doc, "Subtype", "Type3")) {
    return false;
  }
  CPDFObject* encoding = dict->GetValue(doc, "Encoding");
  return IsFileNumber(*dict, doc, "FirstChar") && IsFileNumber(*dict, doc, "LastChar") &&
         dict->GetArray(doc, "Widths") && dict->GetArray(doc, "FontBBox") &&
         dict->GetArray(doc, "FontMatrix") && dict->GetDict(doc, "CharProcs") && encoding &&
         (encoding->TypeCode() == kTypeName || encoding->TypeCode() == kTypeDict);
}

bool IsMMType1Font(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFont(doc, value)) return false;
  auto* dict = static_cast<CPDFDict*>(value);
  return dict->HasName(doc, "Subtype", "MMType1") && IsFileNumber(*dict, doc, "FirstChar") &&
         IsFileNumber(*dict, doc, "LastChar") && dict->GetArray(doc, "Widths") &&
         dict->GetDict(doc, "FontDescriptor");
}

}  // namespace quarn
