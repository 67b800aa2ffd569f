#include "pdf/content/xobject.h"

#include <string_view>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/document/lib_base.h"
#include "pdf/document/info_dict.h"
#include "pdf/document/pages.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

constexpr const char* kFormModule = "CPDFFormXObj";

// Colour spaces of an image may be of every kind but the pattern colour space.
constexpr int kImageColorSpaceKinds = 64511;

bool IsIntegerValue(CPDFObject* value) {
  const CPDFNumber* number = AsNumber(value);
  return number && static_cast<float>(number->IntValue()) == number->RealValue();
}

// Dates are kept as they were read (neither parsed nor checked), so every string qualifies.
bool IsDateString(CPDFObjHolder*, CPDFObject* value) { return value && value->TypeCode() == kTypeString; }

bool HasIntegerEntry(CPDFObjHolder* doc, const CPDFDict& dict, std::string_view key) {
  return IsIntegerValue(dict.GetValue(doc, key));
}

// Creates T, lets it take over `value` and gives the content back when the binding fails.
template <class T>
std::unique_ptr<CPDFObject> BindAs(CPDFObjHolder* doc, CPDFObject& value) {
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(value);
  if (!typed->Realize(doc, value)) {
    value.SwapContent(*typed);
    return nullptr;
  }
  return typed;
}

// Replaces the integer behind `key` by a typed integer of the same value, in place (under the
// same indirect identity when it is one).
bool MakeTypedInteger(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  CPDFObjRef ref;
  CPDFObject* value = holder.GetValue(doc, key, &ref);
  if (!IsIntegerValue(value) || value->TypeCode() == kTypeInteger) return true;
  auto typed = std::make_unique<CPDFInt>(AsNumber(value)->IntValue());
  typed->CopyFlagsFrom(*value);
  if (ref.IsDefined()) return ReplaceIndirect(doc, ref, std::move(typed));
  holder.Put(key, std::move(typed));
  return true;
}

// The filters that every reader decodes, by their full names (the abbreviations belong to
// inline images).
bool IsStandardFilterName(const CPDFObject* name) {
  if (!name || name->TypeCode() != kTypeName) return false;
  const auto& text = static_cast<const CPDFName*>(name)->Str();
  return text == "FlateDecode" || text == "LZWDecode" || text == "ASCII85Decode" ||
         text == "ASCIIHexDecode" || text == "RunLengthDecode";
}

bool IsParmsValue(const CPDFObject* value) {
  return !value || value->TypeCode() == kTypeDict || value->TypeCode() == kTypeNull;
}

// Whether the data of `content` can go into a form as it stands, with its "Filter" and
// "DecodeParms": no filter, or standard ones with their parameters where they belong, and the
// data in the document's own file rather than an external one.
bool KeepsEncoding(CPDFObjHolder* doc, const CPDFStream& content) {
  if (content.Lookup("F")) return false;
  CPDFObject* filter = content.GetValue(doc, "Filter");
  CPDFObject* parms = content.GetValue(doc, "DecodeParms");
  if (!content.Lookup("Filter")) return !content.Lookup("DecodeParms");
  if (IsStandardFilterName(filter)) return IsParmsValue(parms);
  const CPDFArray* names = AsArray(filter);
  if (!names || names->Count() == 0 || names->Count() > size_t(limits::kMaxFiltersPerStream))
    return false;
  const CPDFArray* parmsList = AsArray(parms);
  if (parms && (!parmsList || parmsList->Count() > names->Count())) return false;
  for (size_t i = 0; i < names->Count(); ++i) {
    const int index = static_cast<int>(i);
    if (!IsStandardFilterName(names->GetObj(doc, index))) return false;
    if (parmsList && i < parmsList->Count() && !IsParmsValue(parmsList->GetObj(doc, index)))
      return false;
  }
  return true;
}

// The page's only content stream (alone, or the one element of an array); nullptr otherwise.
CPDFStream* SingleContentStream(CPDFObjHolder* doc, CPDFPage& page) {
  CPDFObject* contents = page.GetValue(doc, "Contents");
  if (const CPDFArray* parts = AsArray(contents)) {
    contents = parts->Count() == 1 ? parts->GetObj(doc, 0) : nullptr;
  }
  return contents && contents->TypeCode() == kTypeStream ? static_cast<CPDFStream*>(contents)
                                                         : nullptr;
}

}  // namespace

// ---- recognizers -------------------------------------------------------------------------------

bool IsXObject(CPDFObjHolder* doc, CPDFObject* value) {
  const CPDFDict* dict = AsDict(value);
  return dict && dict->HasName(doc, "Type", "XObject");
}

bool IsFormXObj(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsXObject(doc, value)) return false;
  const CPDFDict* dict = AsDict(value);
  if (!dict->HasName(doc, "Subtype", "Form")) return false;
  const CPDFNumber* formType = AsNumber(dict->GetValue(doc, "FormType"));
  if (!formType || formType->IntValue() != 1 || formType->RealValue() != 1.0f) return false;
  return dict->GetArray(doc, "BBox") && dict->GetArray(doc, "Matrix");
}

bool IsImageXObj(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsXObject(doc, value)) return false;
  const CPDFDict* dict = AsDict(value);
  return dict->HasName(doc, "Subtype", "Image") && HasIntegerEntry(doc, *dict, "Width") &&
         HasIntegerEntry(doc, *dict, "Height") && HasIntegerEntry(doc, *dict, "BitsPerComponent");
}

bool IsPSXObj(CPDFObjHolder* doc, CPDFObject* value) {
  return IsXObject(doc, value) && AsDict(value)->HasName(doc, "Subtype", "PS");
}

void RegisterXObjectFactories(CPDFLibBase& lib) {
  lib.RegisterResourceFactory("XObject", &CreateXObject);
}

std::unique_ptr<CPDFObject> CreateXObject(CPDFObjHolder* doc, CPDFObject& value, int kinds) {
  if (value.TypeCode() != kTypeStream) return nullptr;
  if ((kinds & kXObjectImage) && IsImageXObj(doc, &value)) return BindAs<CPDFImageXObj>(doc, value);
  if ((kinds & kXObjectForm) && IsFormXObj(doc, &value)) return BindAs<CPDFFormXObj>(doc, value);
  if ((kinds & kXObjectPostScript) && IsPSXObj(doc, &value)) return BindAs<CPDFPSXObj>(doc, value);
  return nullptr;
}

// ---- CPDFXObject -------------------------------------------------------------------------------

void CPDFXObject::BindStreamDoc(CPDFObjHolder* doc) {
  CPDFStructBase::BindDoc(doc);
  CPDFStream::BindDoc(doc);
}

void CPDFXObject::SwapContent(CPDFObject& other) { CPDFStream::SwapContent(other); }

bool CPDFXObject::Create(CPDFObjHolder* doc) {
  BindStreamDoc(doc);
  if (!Set_Type(std::make_unique<CPDFName>("XObject"))) return false;
  const std::string_view subtype = SubtypeName();
  return subtype.empty() || Set_Subtype(std::make_unique<CPDFName>(subtype));
}

bool CPDFXObject::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  // The content is taken over first in every case, so that a caller can give it back whole.
  SwapContent(source);
  BindStreamDoc(doc);
  return TypeCode() == kTypeStream;
}

// ---- CPDFFormXObj ------------------------------------------------------------------------------

bool CPDFFormXObj::Create(CPDFObjHolder* doc) {
  return CPDFXObject::Create(doc) && Set_FormType(std::make_unique<CPDFInt>(1));
}

bool CPDFFormXObj::CreateFromPage(CPDFObjHolder* target, CPDFPage& page) {
  CPDFObjHolder* source = page.Doc();
  try {
    BindStreamDoc(target);
    // One content stream goes into the form encoded as it is: a watermark whose few megabytes
    // inflate to gigabytes costs its few megabytes. Several must be joined, which decodes them
    // (bounded by what the host can still hold).
    CPDFStream* single = source ? SingleContentStream(source, page) : nullptr;
    if (single && KeepsEncoding(source, *single)) {
      if (!TakeEncodedContent(target, source, *single)) {
        if (target) {
          target->LastError().Keep(CPDFException(kFormModule, "CreateFromPage", kRuntimeError,
                                                 "CPDFStream::CopyFrom()"));
        }
        return false;
      }
    } else if (!page.ReadContents(*this)) {
      if (source && target) target->LastError().Keep(source->LastError());
      return false;
    }
    if (!Set_Type(std::make_unique<CPDFName>("XObject"))) return false;
    CPDFRect* mediaBox = page.Get_MediaBox();
    CPDFResDict* resources = page.Get_Resources();
    if (!mediaBox || !resources) {
      if (target) {
        target->LastError().Keep(
            CPDFException(kFormModule, "CreateFromPage", kUserError,
                          mediaBox ? "CPDFPage::Get_Resources()" : "CPDFPage::Get_MediaBox()"));
      }
      return false;
    }
    if (!Set_Subtype(std::make_unique<CPDFName>("Form")) ||
        !Set_FormType(std::make_unique<CPDFInt>(1))) {
      return false;
    }
    auto box = std::make_unique<CPDFRect>();
    box->Create(target, mediaBox->Llx(), mediaBox->Lly(), mediaBox->Urx(), mediaBox->Ury());
    if (!Set_BBox(std::move(box))) return false;
    auto matrix = std::make_unique<CPDFMatrix>();
    matrix->Create(target);
    if (!Set_Matrix(std::move(matrix))) return false;
    std::unique_ptr<CPDFObject> copy = resources->Duplicate(target, source);
    if (!copy) {
      if (target) {
        target->LastError().Keep(CPDFException(kFormModule, "CreateFromPage", kInternalError,
                                               "CPDFResDict::Duplicate()"));
      }
      return false;
    }
    CPDFObjRef resourcesRef;
    return SetValue(target, "Resources", std::move(copy), true, &resourcesRef);
  } catch (const CPDFException& e) {
    if (target) target->LastError().Keep(e);
  }
  return false;
}

bool CPDFFormXObj::TakeEncodedContent(CPDFObjHolder* target, CPDFObjHolder* source,
                                      const CPDFStream& content) {
  std::unique_ptr<CPDFObject> filter, parms;
  if (CPDFObject* value = content.GetValue(source, "Filter")) filter = value->Duplicate(target, source);
  if (CPDFObject* value = content.GetValue(source, "DecodeParms"))
    parms = value->Duplicate(target, source);
  // The data is shared where it lies (in the source file) or copied from memory.
  if (!CopyFrom(content, target)) return false;
  // Of the content's dictionary only the length and the encoding belong to the form.
  std::unique_ptr<CPDFAtom> length = Detach("Length");
  ClearEntries();
  return Insert("Length", std::move(length)) && (!filter || Insert("Filter", std::move(filter))) &&
         (!parms || Insert("DecodeParms", std::move(parms)));
}

bool CPDFFormXObj::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  if (!CPDFXObject::Realize(doc, source)) return false;
  if (!Set_FormType(std::make_unique<CPDFInt>(1))) return false;
  return BindEntry<CPDFRect>(doc, *this, "BBox", IsRect) &&
         BindEntry<CPDFMatrix>(doc, *this, "Matrix", IsMatrix) &&
         BindEntry<CPDFResDict>(doc, *this, "Resources", IsResDict) && ConvertXUID() &&
         LoadEntryThrough(doc, *this, "OPI", kTypeDict, FindResourceFactory(doc, kOPIFactory), -1) &&
         LoadEntryThrough(doc, *this, "PieceInfo", kTypeDict,
                          FindResourceFactory(doc, kPieceInfoFactory), -1) &&
         BindEntry<CPDFDate>(doc, *this, "LastModified", IsDateString);
}

bool CPDFFormXObj::ConvertXUID() {
  CPDFArray* xuid = Get_XUID();
  if (!xuid) return true;
  for (size_t i = 0; i < xuid->Count(); ++i) {
    CPDFAtom* atom = xuid->At(i);
    if (!atom || !atom->IsObject()) continue;
    auto* element = static_cast<CPDFObject*>(atom);
    if (!IsIntegerValue(element) || element->TypeCode() == kTypeInteger) continue;
    auto typed = std::make_unique<CPDFInt>(AsNumber(element)->IntValue());
    typed->CopyFlagsFrom(*element);
    xuid->Replace(i, std::move(typed));
  }
  return true;
}

void CPDFFormXObj::Concat(float a, float b, float c, float d, float e, float f) {
  CPDFMatrix* matrix = Get_Matrix();
  if (!matrix) {
    auto identity = std::make_unique<CPDFMatrix>();
    identity->Create(Doc());
    matrix = identity.get();
    Insert("Matrix", std::move(identity));
  }
  matrix->Concat(a, b, c, d, e, f);
}

// ---- CPDFImageXObj -----------------------------------------------------------------------------

bool CPDFImageXObj::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  if (!CPDFXObject::Realize(doc, source)) return false;
  return LoadGeometry() &&
         LoadEntryThrough(doc, *this, "ColorSpace", kTypeArray, FindResourceFactory(doc, "ColorSpace"),
                          kImageColorSpaceKinds) &&
         LoadEntryThrough(doc, *this, "OPI", kTypeDict, FindResourceFactory(doc, kOPIFactory), -1) &&
         LoadMask() && LoadAlternates();
}

bool CPDFImageXObj::LoadGeometry() {
  for (const char* key : {"Width", "Height", "BitsPerComponent"}) {
    if (!GetValue(Doc(), key)) return false;
    if (!MakeTypedInteger(Doc(), *this, key)) return false;
  }
  return true;
}

bool CPDFImageXObj::LoadMask() {
  // Masks of masks nested beyond any real document stay plain (they are written back all the
  // same); this keeps a hostile chain from exhausting the stack.
  static thread_local int depth = 0;
  if (depth >= limits::kMaxResourceNesting) return true;
  ++depth;
  struct Leave {
    ~Leave() { --depth; }
  } leave;
  // A colour-key mask is an array and stays as it is; only a stencil image becomes typed.
  return BindEntry<CPDFImageXObj>(Doc(), *this, "Mask", [](CPDFObjHolder* doc, CPDFObject* value) {
    return value && value->TypeCode() == kTypeStream && IsImageXObj(doc, value);
  });
}

bool CPDFImageXObj::LoadAlternates() {
  CPDFArray* alternates = Get_Alternates();
  if (!alternates) return true;
  const ResourceFactory factory = FindResourceFactory(Doc(), kAltImageFactory);
  for (size_t i = 0; i < alternates->Count(); ++i) {
    if (!LoadElementThrough(Doc(), *alternates, i, kTypeDict, factory, -1)) return false;
  }
  return true;
}

}  // namespace quarn
