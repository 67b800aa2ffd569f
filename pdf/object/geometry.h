// Rectangles (four numbers llx lly urx ury) and matrices (six numbers a b c d e f): typed arrays
// of the data family.
#pragma once

#include <memory>

#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFRect : public CPDFDataStruct, public CPDFArray {
  QUARN_TYPED_CLASS(CPDFRect, CPDFArray, "")
 public:
  CPDFRect() = default;
  CPDFRect(float llx, float lly, float urx, float ury);

  // Fills an empty rectangle with four numbers and ties it to `doc`.
  bool Create(CPDFObjHolder* doc, float llx, float lly, float urx, float ury);
  // Takes over the content of `source`, which must hold four numbers.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFArray::SwapContent(other); }

  // The four corners as 32-bit floats (0 for an element that is missing or not a number).
  float Llx() const { return Element(0); }
  float Lly() const { return Element(1); }
  float Urx() const { return Element(2); }
  float Ury() const { return Element(3); }
  float Width() const { return Urx() - Llx(); }
  float Height() const { return Ury() - Lly(); }
  void Set(float llx, float lly, float urx, float ury);

 private:
  float Element(int index) const;
};

class CPDFMatrix : public CPDFDataStruct, public CPDFArray {
  QUARN_TYPED_CLASS(CPDFMatrix, CPDFArray, "")
 public:
  // A new matrix is the identity [1 0 0 1 0 0].
  CPDFMatrix();

  bool Create(CPDFObjHolder* doc);
  // Takes over the content of `source`, which must hold six numbers.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFArray::SwapContent(other); }

  float At(int index) const;
  void Set(float a, float b, float c, float d, float e, float f);
  // M := M x [a b c d e f] in the row-vector convention, each element rounded to a float.
  void Concat(float a, float b, float c, float d, float e, float f);
  void Translate(float tx, float ty) { Concat(1, 0, 0, 1, tx, ty); }
  void Scale(float sx, float sy) { Concat(sx, 0, 0, sy, 0, 0); }
};

// Recognizers: an array of exactly four (rectangle) or six (matrix) numbers, each direct or
// reached through a reference.
bool IsRect(CPDFObjHolder* doc, CPDFObject* value);
bool IsMatrix(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
