// Colour spaces: the device spaces (names), the CIE-based, special and pattern spaces (arrays
// whose first element names the family), and the colourant dictionary of DeviceN.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// The colour space family, filed under "ColorSpace" with the prefix "CS".
class CPDFColorSpace : public CPDFResource {
 public:
  static const ClassRow& Rules();
  const char* GetCategory() const override { return "ColorSpace"; }
  const char* GetPrefix() const override { return "CS"; }
};
class CPDFNameColorSpace : public CPDFColorSpace, public CPDFName {};
// An array colour space: [/Family parameters...].
class CPDFArrayColorSpace : public CPDFColorSpace, public CPDFArray {
 public:
  // The parameter dictionary or stream (the second element), or nullptr.
  CPDFDict* Params() { return AsDict(GetObj(Doc(), 1)); }
};

QUARN_FAMILY_CLASS(CPDFDevGrayCS, CPDFNameColorSpace)
QUARN_FAMILY_CLASS(CPDFDevRGBCS, CPDFNameColorSpace)
QUARN_FAMILY_CLASS(CPDFDevCMYKCS, CPDFNameColorSpace)
QUARN_FAMILY_CLASS(CPDFCalGrayCS, CPDFArrayColorSpace)
QUARN_FAMILY_CLASS(CPDFCalRGBCS, CPDFArrayColorSpace)
QUARN_FAMILY_CLASS(CPDFLabCS, CPDFArrayColorSpace)
QUARN_FAMILY_CLASS(CPDFICCBasedCS, CPDFArrayColorSpace,
  CPDFNumber* Get_N() { return Params() ? Params()->GetNumber(Doc(), "N") : nullptr; }
  CPDFObject* Get_Alternate() { return Params() ? Params()->GetValue(Doc(), "Alternate") : nullptr; }
  bool Set_N(std::unique_ptr<CPDFNumber> n) {
    return Params() && Params()->SetValue(Doc(), "N", std::move(n));
  }
  bool Set_Alternate(std::unique_ptr<CPDFObject> alternate) {
    return Params() && Params()->SetValue(Doc(), "Alternate", std::move(alternate));
  })
QUARN_FAMILY_CLASS(CPDFSeparationCS, CPDFArrayColorSpace)
QUARN_FAMILY_CLASS(CPDFDeviceNCS, CPDFArrayColorSpace)
QUARN_FAMILY_CLASS(CPDFIndexedCS, CPDFArrayColorSpace)
// The pattern space in its array form [/Pattern base]; the bare name "Pattern" stays a name.
QUARN_FAMILY_CLASS(CPDFPatternCS, CPDFArrayColorSpace)

// The "Colorants" dictionary of a DeviceN space: colourant name -> colour space.
QUARN_FAMILY_CLASS(CPDFColorDict, CPDFDataDict)

// The colour space factory. Bits: 0 DeviceGray, 1 DeviceRGB, 2 DeviceCMYK, 3 CalGray,
// 4 CalRGB, 5 Lab, 6 ICCBased, 7 Separation, 8 DeviceN, 9 Indexed, 10 Pattern.
BindOutcome MakeColorSpace(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out);
// Every kind but the pattern space: the colour spaces of images.
inline constexpr int kImageColorSpaceKinds = 64511;

bool BindColorSpaceEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

}  // namespace quarn
