#include "pdf/content/color_spaces.h"

namespace quarn {

namespace {

// The family name of a colour space value: the name itself, or an array's first element.
const CPDFName* FamilyName(CPDFObjHolder* doc, CPDFObject* value) {
  if (const CPDFName* name = AsName(value)) return name;
  const CPDFArray* array = AsArray(value);
  return array && array->Count() > 0 ? AsName(array->GetObj(doc, 0)) : nullptr;
}

template <const char* Family>
bool IsFamily(CPDFObjHolder* doc, CPDFObject* value) {
  const CPDFName* name = FamilyName(doc, value);
  return name && name->Equals(Family);
}

// The CIE-based spaces carry a dictionary with "WhitePoint" as their second element.
template <const char* Family>
bool IsCIEFamily(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFamily<Family>(doc, value)) return false;
  const CPDFDict* params = AsDict(AsArray(value)->GetObj(doc, 1));
  return params && params->GetArray(doc, "WhitePoint");
}

constexpr char kDeviceGray[] = "DeviceGray";
constexpr char kDeviceRGB[] = "DeviceRGB";
constexpr char kDeviceCMYK[] = "DeviceCMYK";
constexpr char kCalGray[] = "CalGray";
constexpr char kCalRGB[] = "CalRGB";
constexpr char kLab[] = "Lab";
constexpr char kICCBased[] = "ICCBased";
constexpr char kSeparation[] = "Separation";
constexpr char kDeviceN[] = "DeviceN";
constexpr char kIndexed[] = "Indexed";
constexpr char kPattern[] = "Pattern";

// An ICC profile stream with its number of components.
bool IsICCFamily(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFamily<kICCBased>(doc, value)) return false;
  const CPDFObject* profile = AsArray(value)->GetObj(doc, 1);
  return profile && profile->TypeCode() == kTypeStream &&
         AsNumber(AsDict(const_cast<CPDFObject*>(profile))->GetValue(doc, "N"));
}

bool BindColorant(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray | kTypeName, MakeColorSpace);
}

}  // namespace

const ClassRow& CPDFColorSpace::Rules() {
  static const ClassRow rules{};
  return rules;
}
#define QUARN_COLOR_SPACE(Class, Family, Kinds, Check)                                  \
  QUARN_CLASS_ROW(Class, .base = &CPDFColorSpace::Rules(), .name = Family, .valueKinds = Kinds, \
                   .extra = Check<Family>)
QUARN_COLOR_SPACE(CPDFDevGrayCS, kDeviceGray, kTypeName, IsFamily)
QUARN_COLOR_SPACE(CPDFDevRGBCS, kDeviceRGB, kTypeName, IsFamily)
QUARN_COLOR_SPACE(CPDFDevCMYKCS, kDeviceCMYK, kTypeName, IsFamily)
QUARN_COLOR_SPACE(CPDFCalGrayCS, kCalGray, kTypeArray, IsCIEFamily)
QUARN_COLOR_SPACE(CPDFCalRGBCS, kCalRGB, kTypeArray, IsCIEFamily)
QUARN_COLOR_SPACE(CPDFLabCS, kLab, kTypeArray, IsCIEFamily)
QUARN_CLASS_ROW(CPDFICCBasedCS, .base = &CPDFColorSpace::Rules(), .name = kICCBased,
                 .valueKinds = kTypeArray, .extra = IsICCFamily)
QUARN_COLOR_SPACE(CPDFSeparationCS, kSeparation, kTypeArray, IsFamily)
QUARN_COLOR_SPACE(CPDFDeviceNCS, kDeviceN, kTypeArray, IsFamily)
QUARN_COLOR_SPACE(CPDFIndexedCS, kIndexed, kTypeArray, IsFamily)
QUARN_COLOR_SPACE(CPDFPatternCS, kPattern, kTypeArray, IsFamily)
#undef QUARN_COLOR_SPACE
QUARN_CLASS_ROW(CPDFColorDict, .valueKinds = kTypeDict, .eachEntry = BindColorant)

BindOutcome MakeColorSpace(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {
      MakeOne<CPDFDevGrayCS>,  MakeOne<CPDFDevRGBCS>,     MakeOne<CPDFDevCMYKCS>,
      MakeOne<CPDFCalGrayCS>,  MakeOne<CPDFCalRGBCS>,     MakeOne<CPDFLabCS>,
      MakeOne<CPDFICCBasedCS>, MakeOne<CPDFSeparationCS>, MakeOne<CPDFDeviceNCS>,
      MakeOne<CPDFIndexedCS>,  MakeOne<CPDFPatternCS>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

bool BindColorSpaceEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray, MakeColorSpace);
}

}  // namespace quarn
