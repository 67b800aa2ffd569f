// The smaller typed dictionaries: graphics states, marked-content properties, sounds, movies,
// embedded files and Filespec dictionaries, launch parameters, OPI dictionaries, alternate
// images, application data, separation information, thumbnails and page transitions.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// ---- resources ---------------------------------------------------------------------------------

class CPDFExtGStateBase : public CPDFResource, public CPDFDict {
 public:
  const char* GetCategory() const override { return "ExtGState"; }
  const char* GetPrefix() const override { return "GS"; }
};
QUARN_FAMILY_CLASS(CPDFExtGState, CPDFExtGStateBase,
  QUARN_ACCESSOR(OPM, CPDFNumber) QUARN_ACCESSOR(BG, CPDFObject) QUARN_ACCESSOR(BG2, CPDFObject)
  QUARN_ACCESSOR(UCR, CPDFObject) QUARN_ACCESSOR(UCR2, CPDFObject) QUARN_ACCESSOR(TR, CPDFObject)
  QUARN_ACCESSOR(TR2, CPDFObject) QUARN_ACCESSOR(HT, CPDFObject) QUARN_ACCESSOR(LC, CPDFNumber)
  QUARN_ACCESSOR(LJ, CPDFNumber) QUARN_GET(HTP, CPDFArray))

class CPDFPropertiesBase : public CPDFResource, public CPDFDict {
 public:
  const char* GetCategory() const override { return "Properties"; }
  const char* GetPrefix() const override { return "Pr"; }
};
QUARN_FAMILY_CLASS(CPDFProperties, CPDFPropertiesBase)

// ---- sounds, movies, files -------------------------------------------------------------------

QUARN_FAMILY_CLASS(CPDFSound, CPDFDocStreamValue,
  QUARN_ACCESSOR(R, CPDFNumber) QUARN_ACCESSOR(C, CPDFNumber) QUARN_ACCESSOR(B, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFMovieDict, CPDFDataDict,
  QUARN_ACCESSOR(F, CPDFObject) QUARN_ACCESSOR(Rotate, CPDFNumber) QUARN_ACCESSOR(Poster, CPDFObject))
QUARN_FAMILY_CLASS(CPDFMovieActiv, CPDFDataDict,
  QUARN_GET(Start, CPDFObject) QUARN_GET(Duration, CPDFObject) QUARN_GET(FWScale, CPDFArray))
QUARN_FAMILY_CLASS(CPDFMacFileInfo, CPDFDataDict,
  QUARN_ACCESSOR(Subtype, CPDFString) QUARN_ACCESSOR(Creator, CPDFString)
  QUARN_ACCESSOR(ResFork, CPDFStream))
QUARN_FAMILY_CLASS(CPDFEmbedFileParams, CPDFDataDict,
  QUARN_ACCESSOR(Size, CPDFNumber) QUARN_ACCESSOR(CreationDate, CPDFDate)
  QUARN_ACCESSOR(ModDate, CPDFDate) QUARN_ACCESSOR(Mac, CPDFMacFileInfo))
QUARN_FAMILY_CLASS(CPDFEmbedFile, CPDFDataStreamValue,
  QUARN_ACCESSOR(Params, CPDFEmbedFileParams))
QUARN_FAMILY_CLASS(CPDFFileSpec, CPDFDataDict,
  QUARN_ACCESSOR(FS, CPDFName) QUARN_ACCESSOR(F, CPDFString) QUARN_ACCESSOR(UF, CPDFString)
  QUARN_ACCESSOR(EF, CPDFDict) QUARN_ACCESSOR(Desc, CPDFString))
QUARN_FAMILY_CLASS(CPDFWinLaunch, CPDFDataDict,
  QUARN_ACCESSOR(F, CPDFString) QUARN_ACCESSOR(D, CPDFString) QUARN_ACCESSOR(O, CPDFString)
  QUARN_ACCESSOR(P, CPDFString))

// ---- OPI, alternate images, application data -------------------------------------------------

class CPDFOPIDict : public CPDFDataStruct, public CPDFDict {
 public:
  QUARN_ACCESSOR(F, CPDFObject)
  QUARN_ACCESSOR(Tags, CPDFArray)
  static const ClassRow& Rules();
};
QUARN_FAMILY_CLASS(CPDFOPI13, CPDFOPIDict,
  QUARN_ACCESSOR(CropRect, CPDFArray) QUARN_ACCESSOR(Comments, CPDFString)
  QUARN_ACCESSOR(CropFixed, CPDFArray) QUARN_ACCESSOR(ImageType, CPDFArray)
  QUARN_ACCESSOR(Size, CPDFArray))
QUARN_FAMILY_CLASS(CPDFOPI20, CPDFOPIDict,
  QUARN_ACCESSOR(IncludedImageDimensions, CPDFArray) QUARN_ACCESSOR(Inks, CPDFObject))

QUARN_FAMILY_CLASS(CPDFAltImageDict, CPDFDataDict, QUARN_ACCESSOR(Image, CPDFStream))
QUARN_FAMILY_CLASS(CPDFAppDataDict, CPDFDataDict,
  QUARN_ACCESSOR(LastModified, CPDFDate) QUARN_ACCESSOR(Private, CPDFObject))
QUARN_FAMILY_CLASS(CPDFPieceInfoDict, CPDFDataDict)
QUARN_FAMILY_CLASS(CPDFSepInfoDict, CPDFDataDict,
  QUARN_ACCESSOR(Pages, CPDFArray) QUARN_ACCESSOR(DeviceColorant, CPDFObject)
  QUARN_ACCESSOR(ColorSpace, CPDFArray))
QUARN_FAMILY_CLASS(CPDFThumbnail, CPDFDocStreamValue,
  QUARN_ACCESSOR(Width, CPDFNumber) QUARN_ACCESSOR(Height, CPDFNumber)
  QUARN_ACCESSOR(ColorSpace, CPDFObject) QUARN_ACCESSOR(BitsPerComponent, CPDFNumber))

// ---- page transitions ------------------------------------------------------------------------

class CPDFTransition : public CPDFDocStruct, public CPDFDict {
 public:
  static const ClassRow& Rules();
  QUARN_ACCESSOR(S, CPDFName)
  QUARN_ACCESSOR(D, CPDFNumber)
  QUARN_ACCESSOR(Dm, CPDFName)
  QUARN_ACCESSOR(M, CPDFName)
  QUARN_ACCESSOR(Di, CPDFObject)
};
QUARN_FAMILY_CLASS(CPDFSplitTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFBlindsTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFBoxTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFWipeTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFDissolveTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFGlitterTrans, CPDFTransition)
QUARN_FAMILY_CLASS(CPDFReplaceTrans, CPDFTransition)

// ---- makers and entry binders ----------------------------------------------------------------

BindOutcome MakeTransition(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out);
BindOutcome MakeOPIDict(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out);

bool BindSoundEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindMovieEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindMovieActivEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindFileSpecEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindWinLaunchEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindExtGStateEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

// Plugs the makers of these classes into the library's registry.
void RegisterMiscFactories(CPDFLibBase& lib);

}  // namespace quarn
