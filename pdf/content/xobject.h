// XObjects: streams filed under "XObject" in resource dictionaries. The form XObject is what a
// watermark becomes (a page of one document turned into a form of another); images and
// PostScript XObjects are recognised and bound when resources are loaded.
#pragma once

#include <memory>

#include "pdf/object/geometry.h"
#include "pdf/document/res_dict.h"
#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

class CPDFLibBase;

class CPDFPage;

// The class-name object and the empty-object factory of a stream-based typed class. The empty
// object is tied to `target` both as a typed value and as a stream.
#define QUARN_TYPED_STREAM_CLASS(Class, ClassNameText)                                     \
 public:                                                                                   \
  static const ::quarn::CPDFName& ClassName() {                                            \
    static const ::quarn::CPDFName name(ClassNameText);                                    \
    return name;                                                                           \
  }                                                                                        \
  std::unique_ptr<::quarn::CPDFObject> NewEmpty(::quarn::CPDFObjHolder* target) const override { \
    auto obj = std::make_unique<Class>();                                                  \
    obj->BindStreamDoc(target);                                                            \
    return obj;                                                                            \
  }

// The base of the XObject family: a stream whose "Type" is "XObject".
class CPDFXObject : public CPDFResource, public CPDFStream {
  QUARN_TYPED_STREAM_CLASS(CPDFXObject, "XObject")
 public:
  // Kind codes; the PostScript kind uses the bit it has in the factory's mask.
  enum XObjectKind : int { kBaseKind = 0, kImageKind = 1, kFormKind = 2, kPostScriptKind = 4 };

  CPDFXObject() = default;

  virtual int Kind() const { return kBaseKind; }
  // The "Subtype" value of this kind ("Image", "Form", "PS"), empty for the base.
  virtual const char* SubtypeName() const { return ""; }

  const char* GetCategory() const override { return "XObject"; }
  const char* GetPrefix() const override { return ""; }

  // Ties the object to `doc` as a typed value and as a stream (the two must never differ).
  void BindStreamDoc(CPDFObjHolder* doc);
  // A new XObject of `doc`: "Type" "XObject" and, for a kind that has one, its "Subtype".
  bool Create(CPDFObjHolder* doc);
  // Takes over the content of `source` and ties the stream to `doc`.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override;

  QUARN_ACCESSOR(Type, CPDFName)
  QUARN_ACCESSOR(Subtype, CPDFName)
};

// A form XObject: self-contained page content with its own box, matrix and resources.
class CPDFFormXObj : public CPDFXObject {
  QUARN_TYPED_STREAM_CLASS(CPDFFormXObj, "Form")
 public:
  int Kind() const override { return kFormKind; }
  const char* SubtypeName() const override { return "Form"; }
  const char* GetPrefix() const override { return "Fm"; }

  // A new, empty form of `doc`: "Type", "Subtype" and "FormType" 1.
  bool Create(CPDFObjHolder* doc);
  // Makes this form a copy of `page` (of another document) inside `target`: the page's content
  // (one stream with its encoding as it stands when readers can decode it; several joined
  // decoded), its MediaBox as BBox, the identity Matrix and a copy of its resources. The form
  // gets its object number only when it is filed in a resource dictionary. False on failure
  // (the error is in the target document's record); the caller destroys the form.
  bool CreateFromPage(CPDFObjHolder* target, CPDFPage& page);
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);

  // M := M x [a b c d e f]; the matrix is created as the identity first when missing.
  void Concat(float a, float b, float c, float d, float e, float f);
  void Translate(float tx, float ty) { Concat(1, 0, 0, 1, tx, ty); }
  void Scale(float sx, float sy) { Concat(sx, 0, 0, sy, 0, 0); }

  QUARN_ACCESSOR(FormType, CPDFNumber)
  QUARN_ACCESSOR(BBox, CPDFRect)
  QUARN_ACCESSOR(Matrix, CPDFMatrix)
  QUARN_ACCESSOR(Resources, CPDFResDict)
  QUARN_ACCESSOR(XUID, CPDFArray)
  QUARN_ACCESSOR(OPI, CPDFDict)
  QUARN_ACCESSOR(PieceInfo, CPDFDict)
  QUARN_ACCESSOR(LastModified, CPDFString)

 private:
  bool ConvertXUID();
  // Takes `content`'s data encoded, with its "Filter" and "DecodeParms" copied into `target`.
  bool TakeEncodedContent(CPDFObjHolder* target, CPDFObjHolder* source, const CPDFStream& content);
};

// An image XObject: a sampled image with its geometry and colour space.
class CPDFImageXObj : public CPDFXObject {
  QUARN_TYPED_STREAM_CLASS(CPDFImageXObj, "Image")
 public:
  int Kind() const override { return kImageKind; }
  const char* SubtypeName() const override { return "Image"; }
  const char* GetPrefix() const override { return "Im"; }

  bool Realize(CPDFObjHolder* doc, CPDFObject& source);

  QUARN_ACCESSOR(Width, CPDFNumber)
  QUARN_ACCESSOR(Height, CPDFNumber)
  QUARN_ACCESSOR(BitsPerComponent, CPDFNumber)
  QUARN_ACCESSOR(ColorSpace, CPDFObject)
  QUARN_ACCESSOR(Mask, CPDFObject)
  QUARN_ACCESSOR(Alternates, CPDFArray)

 private:
  bool LoadGeometry();
  bool LoadMask();
  bool LoadAlternates();
};

// A PostScript XObject: a fragment of PostScript for PostScript printers.
class CPDFPSXObj : public CPDFXObject {
  QUARN_TYPED_STREAM_CLASS(CPDFPSXObj, "PS")
 public:
  int Kind() const override { return kPostScriptKind; }
  const char* SubtypeName() const override { return "PS"; }
  const char* GetPrefix() const override { return "PS"; }
};

// Recognizers (they never change the value).
bool IsXObject(CPDFObjHolder* doc, CPDFObject* value);
bool IsFormXObj(CPDFObjHolder* doc, CPDFObject* value);
bool IsImageXObj(CPDFObjHolder* doc, CPDFObject* value);
bool IsPSXObj(CPDFObjHolder* doc, CPDFObject* value);

// Factory mask bits, in the order the recognizers are asked.
enum XObjectKindMask : int { kXObjectImage = 1, kXObjectForm = 2, kXObjectPostScript = 4 };

// The XObject factory: the first enabled recognizer that accepts decides the class; the new
// object takes over the value's content. nullptr when nothing accepts or the binding fails
// (the value is then as it was).
std::unique_ptr<CPDFObject> CreateXObject(CPDFObjHolder* doc, CPDFObject& value, int kinds);
// Plugs the "XObject" resource factory into the library.
void RegisterXObjectFactories(CPDFLibBase& lib);

}  // namespace quarn
