#include "pdf/content/misc_resources.h"

#include "pdf/content/functions_halftones.h"
#include "pdf/content/xobject.h"
#include "pdf/document/lib_base.h"

namespace quarn {

namespace {

BindOutcome MakeAppData(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeAs<CPDFAppDataDict>(doc, value, out);
}
bool BindAppDataEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeAppData);
}
bool BindEmbedParamsEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFEmbedFileParams>);
}
bool BindMacInfoEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFMacFileInfo>);
}
// "EF" of a Filespec dictionary: each of its entries is an embedded file stream.
bool BindEmbeddedFiles(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  CPDFDict* files = AsDict(holder.GetValue(doc, key));
  if (!files || files->TypeCode() != kTypeDict) return true;
  for (const char* name : {"F", "UF", "DOS", "Mac", "Unix"}) {
    if (!BindEntryWith(doc, *files, name, kTypeStream, MakeOne<CPDFEmbedFile>)) return false;
  }
  return true;
}
// The image of an alternate: an image XObject through the XObject factory.
BindOutcome MakeImage(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  if (!IsImageXObj(doc, &value)) return BindOutcome::kLeft;
  out = CreateXObject(doc, value, kXObjectImage);
  return out ? BindOutcome::kBound : BindOutcome::kFailed;
}
bool BindImageEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeStream, MakeImage);
}

// The OPI dictionaries tell their version by a number, 1.3 or 2.0.
bool HasOPIVersion(CPDFObjHolder* doc, CPDFObject* value, float version) {
  const CPDFNumber* number = AsNumber(AsDict(value)->GetValue(doc, "Version"));
  return number && number->RealValue() == version;
}
bool IsOPI13Version(CPDFObjHolder* doc, CPDFObject* value) { return HasOPIVersion(doc, value, 1.3f); }
bool IsOPI20Version(CPDFObjHolder* doc, CPDFObject* value) { return HasOPIVersion(doc, value, 2.0f); }

}  // namespace

// ---- the rows ----------------------------------------------------------------------------------

QUARN_CLASS_ROW(CPDFExtGState, .valueKinds = kTypeDict, .typeName = "ExtGState",
                 .typeRule = TypeRule::kOptional,
                 .typed = {{{"BG", BindFunctionEntry}, {"BG2", BindFunctionEntry},
                            {"UCR", BindFunctionEntry}, {"UCR2", BindFunctionEntry},
                            {"TR", BindFunctionEntry}, {"TR2", BindFunctionEntry},
                            {"HT", BindHalftoneEntry}}})
QUARN_CLASS_ROW(CPDFProperties, .valueKinds = kTypeDict)

QUARN_CLASS_ROW(CPDFSound, .valueKinds = kTypeStream, .typeName = "Sound",
                 .typeRule = TypeRule::kOptional, .required = {{{"R", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFMovieDict, .valueKinds = kTypeDict, .required = {{{"F", 0}}},
                 .typed = {{{"F", BindFileSpecEntry}}})
QUARN_CLASS_ROW(CPDFMovieActiv, .valueKinds = kTypeDict)
QUARN_CLASS_ROW(CPDFMacFileInfo, .valueKinds = kTypeDict)
QUARN_CLASS_ROW(CPDFEmbedFileParams, .valueKinds = kTypeDict,
                 .typed = {{{"CreationDate", BindDateEntry}, {"ModDate", BindDateEntry},
                            {"Mac", BindMacInfoEntry}}})
QUARN_CLASS_ROW(CPDFEmbedFile, .valueKinds = kTypeStream, .typeName = "EmbeddedFile",
                 .typeRule = TypeRule::kOptional, .typed = {{{"Params", BindEmbedParamsEntry}}})
QUARN_CLASS_ROW(CPDFFileSpec, .valueKinds = kTypeDict, .typeName = "Filespec",
                 .typeRule = TypeRule::kOptional, .typed = {{{"EF", BindEmbeddedFiles}}})
QUARN_CLASS_ROW(CPDFWinLaunch, .valueKinds = kTypeDict, .required = {{{"F", 0}}})

const ClassRow& CPDFOPIDict::Rules() {
  static const ClassRow rules{.valueKinds = kTypeDict, .required = {{{"F", 0}}},
                              .typed = {{{"F", BindFileSpecEntry}}}};
  return rules;
}
QUARN_CLASS_ROW(CPDFOPI13, .base = &CPDFOPIDict::Rules(), .name = "1.3", .valueKinds = kTypeDict,
                 .typeName = "OPI", .typeRule = TypeRule::kRequired,
                 .required = {{{"Version", kAnyNumber}}}, .extra = IsOPI13Version)
QUARN_CLASS_ROW(CPDFOPI20, .base = &CPDFOPIDict::Rules(), .name = "2.0", .valueKinds = kTypeDict,
                 .extra = IsOPI20Version)

QUARN_CLASS_ROW(CPDFAltImageDict, .valueKinds = kTypeDict, .required = {{{"Image", kTypeStream}}},
                 .typed = {{{"Image", BindImageEntry}}})
QUARN_CLASS_ROW(CPDFAppDataDict, .valueKinds = kTypeDict,
                 .required = {{{"LastModified", kTypeString}}},
                 .typed = {{{"LastModified", BindDateEntry}}})
QUARN_CLASS_ROW(CPDFPieceInfoDict, .valueKinds = kTypeDict, .eachEntry = BindAppDataEntry)
QUARN_CLASS_ROW(CPDFSepInfoDict, .valueKinds = kTypeDict,
                 .required = {{{"Pages", kTypeArray}, {"DeviceColorant", kTypeName | kTypeString}}})
QUARN_CLASS_ROW(CPDFThumbnail, .valueKinds = kTypeStream,
                 .required = {{{"Width", kAnyNumber}, {"Height", kAnyNumber},
                               {"BitsPerComponent", kAnyNumber}}})

const ClassRow& CPDFTransition::Rules() {
  static const ClassRow rules{.discriminator = "S", .typeName = "Trans",
                              .typeRule = TypeRule::kOptional};
  return rules;
}
#define QUARN_TRANSITION(Class, Name) \
  QUARN_CLASS_ROW(Class, .base = &CPDFTransition::Rules(), .name = Name, .valueKinds = kTypeDict)
QUARN_TRANSITION(CPDFSplitTrans, "Split")
QUARN_TRANSITION(CPDFBlindsTrans, "Blinds")
QUARN_TRANSITION(CPDFBoxTrans, "Box")
QUARN_TRANSITION(CPDFWipeTrans, "Wipe")
QUARN_TRANSITION(CPDFDissolveTrans, "Dissolve")
QUARN_TRANSITION(CPDFGlitterTrans, "Glitter")
QUARN_TRANSITION(CPDFReplaceTrans, "R")
#undef QUARN_TRANSITION

// ---- makers ------------------------------------------------------------------------------------

BindOutcome MakeTransition(CPDFObjHolder* doc, CPDFObject& value, int,
                           std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {
      MakeOne<CPDFSplitTrans>,    MakeOne<CPDFBlindsTrans>,  MakeOne<CPDFBoxTrans>,
      MakeOne<CPDFWipeTrans>,     MakeOne<CPDFDissolveTrans>, MakeOne<CPDFGlitterTrans>,
      MakeOne<CPDFReplaceTrans>};
  return MakeFirstOf(kOrder, doc, value, -1, out);
}

BindOutcome MakeOPIDict(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out) {
  if (kinds & 1) {
    const BindOutcome outcome = MakeAs<CPDFOPI13>(doc, value, out);
    if (outcome != BindOutcome::kLeft) return outcome;
  }
  return (kinds & 2) ? MakeAs<CPDFOPI20>(doc, value, out) : BindOutcome::kLeft;
}

bool BindSoundEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeStream, MakeOne<CPDFSound>);
}
bool BindMovieEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFMovieDict>);
}
bool BindMovieActivEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFMovieActiv>);
}
bool BindFileSpecEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFFileSpec>);
}
bool BindWinLaunchEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFWinLaunch>);
}
bool BindExtGStateEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFExtGState>);
}

void RegisterMiscFactories(CPDFLibBase& lib) {
  lib.RegisterResourceFactory("ExtGState", AsFactory<MakeOne<CPDFExtGState>>);
  lib.RegisterResourceFactory("Properties", AsFactory<MakeOne<CPDFProperties>>);
  lib.RegisterResourceFactory(kOPIFactory, AsFactory<MakeOPIDict>);
  lib.RegisterResourceFactory(kPieceInfoFactory, AsFactory<MakeOne<CPDFPieceInfoDict>>);
  lib.RegisterResourceFactory(kAltImageFactory, AsFactory<MakeOne<CPDFAltImageDict>>);
  lib.RegisterResourceFactory(kSepInfoFactory, AsFactory<MakeOne<CPDFSepInfoDict>>);
  lib.RegisterResourceFactory(kThumbFactory, AsFactory<MakeOne<CPDFThumbnail>>);
  lib.RegisterResourceFactory(kTransFactory, AsFactory<MakeTransition>);
}

}  // namespace quarn
