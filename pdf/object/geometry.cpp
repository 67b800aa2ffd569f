#include "pdf/object/geometry.h"

namespace quarn {

namespace {

bool IsNumberArray(CPDFObjHolder* doc, CPDFObject* value, size_t count) {
  CPDFArray* array = AsArray(value);
  if (!array || array->Count() != count) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!array->GetNumber(doc, static_cast<int>(i))) return false;
  }
  return true;
}

// Replaces each element that is a reference to a number by a direct copy of the number, so
// that the typed value reads its numbers without a document.
void MakeElementsDirect(CPDFObjHolder* doc, CPDFArray& array) {
  for (size_t i = 0; i < array.Count(); ++i) {
    CPDFAtom* atom = array.At(i);
    if (!atom || !atom->IsRef()) continue;
    if (CPDFNumber* number = array.GetNumber(doc, static_cast<int>(i))) {
      array.Replace(i, std::make_unique<CPDFNumber>(number->Int64Value(), number->RealValue()));
    }
  }
}

float NumberAt(const CPDFArray& array, size_t index) {
  CPDFAtom* atom = array.At(index);
  if (!atom || !atom->IsObject()) return 0.0f;
  CPDFNumber* number = AsNumber(static_cast<CPDFObject*>(atom));
  return number ? number->RealValue() : 0.0f;
}

void FillReals(CPDFArray& array, std::initializer_list<float> values) {
  array.ClearItems();
  for (float v : values) array.Append(std::make_unique<CPDFReal>(v));
}

}  // namespace

bool IsRect(CPDFObjHolder* doc, CPDFObject* value) { return IsNumberArray(doc, value, 4); }
bool IsMatrix(CPDFObjHolder* doc, CPDFObject* value) { return IsNumberArray(doc, value, 6); }

// ---- CPDFRect ----------------------------------------------------------------------------------

CPDFRect::CPDFRect(float llx, float lly, float urx, float ury) { Set(llx, lly, urx, ury); }

bool CPDFRect::Create(CPDFObjHolder* doc, float llx, float lly, float urx, float ury) {
  BindDoc(doc);
  Set(llx, lly, urx, ury);
  return true;
}

bool CPDFRect::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  if (!IsRect(doc, this)) return false;
  MakeElementsDirect(doc, *this);
  return true;
}

void CPDFRect::Set(float llx, float lly, float urx, float ury) {
  FillReals(*this, {llx, lly, urx, ury});
}

float CPDFRect::Element(int index) const { return NumberAt(*this, static_cast<size_t>(index)); }

// ---- CPDFMatrix --------------------------------------------------------------------------------

CPDFMatrix::CPDFMatrix() { Set(1, 0, 0, 1, 0, 0); }

bool CPDFMatrix::Create(CPDFObjHolder* doc) {
  BindDoc(doc);
  Set(1, 0, 0, 1, 0, 0);
  return true;
}

bool CPDFMatrix::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  if (!IsMatrix(doc, this)) return false;
  MakeElementsDirect(doc, *this);
  return true;
}

float CPDFMatrix::At(int index) const { return NumberAt(*this, static_cast<size_t>(index)); }

void CPDFMatrix::Set(float a, float b, float c, float d, float e, float f) {
  FillReals(*this, {a, b, c, d, e, f});
}

void CPDFMatrix::Concat(float a, float b, float c, float d, float e, float f) {
  const double ma = At(0), mb = At(1), mc = At(2), md = At(3), me = At(4), mf = At(5);
  Set(static_cast<float>(ma * a + mb * c), static_cast<float>(ma * b + mb * d),
      static_cast<float>(mc * a + md * c), static_cast<float>(mc * b + md * d),
      static_cast<float>(me * a + mf * c + e), static_cast<float>(me * b + mf * d + f));
}

}  // namespace quarn
