// Resource dictionaries: eight categories of named resources and the procedure-set array.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pdf/document/lib_base.h"
#include "pdf/object/typed_dict.h"

namespace quarn {

// ---- category factories -----------------------------------------------------------------------
// The factory under `key` in the library of `doc` (pdf/document/lib_base.h), or nullptr while
// none is plugged in (values then stay plain).
ResourceFactory FindResourceFactory(CPDFObjHolder* doc, std::string_view key);

inline constexpr std::string_view kOPIFactory = "OPI";              // CPDFOPIDict (all versions)
inline constexpr std::string_view kPieceInfoFactory = "PieceInfo";  // CPDFPieceInfoDict
inline constexpr std::string_view kAltImageFactory = "AltImage";    // CPDFAltImageDict
// The factories of the typed dictionary family that the page, the catalog and the document
// bind their entries through on first use.
inline constexpr std::string_view kAnnotFactory = "Annot";          // annotations, then fields
inline constexpr std::string_view kFieldFactory = "Field";          // form fields
inline constexpr std::string_view kActionFactory = "Action";        // actions
inline constexpr std::string_view kAddActFactory = "AddAct";        // CPDFAddActDict
inline constexpr std::string_view kDestFactory = "Dest";            // destination or named dest
inline constexpr std::string_view kTransFactory = "Trans";          // page transitions
inline constexpr std::string_view kThumbFactory = "Thumb";          // CPDFThumbnail
inline constexpr std::string_view kSepInfoFactory = "SepInfo";      // CPDFSepInfoDict
inline constexpr std::string_view kOutlinesFactory = "Outlines";    // the outline dictionary
inline constexpr std::string_view kThreadFactory = "Thread";        // article threads
inline constexpr std::string_view kAcroFormFactory = "AcroForm";    // CPDFAcroFormDict
inline constexpr std::string_view kNameDictFactory = "Names";       // CPDFNameDict
inline constexpr std::string_view kURIDictFactory = "URI";          // CPDFURIDict
inline constexpr std::string_view kViewPrefFactory = "ViewPref";    // CPDFViewPref
inline constexpr std::string_view kNumTreeFactory = "NumTree";      // number-tree nodes
inline constexpr std::string_view kFDFCatalogFactory = "FDFCatalog";  // the Root of an FDF file

// Runs `factory` on the value of the entry `key` of `holder` when the value's type code is in
// `typeMask`, and puts the typed object in its place, keeping the entry's indirect identity.
// Values already typed are left alone. Returns false only when the value cannot be loaded or
// the typed object cannot be filed in its place.
bool LoadEntryThrough(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                      ResourceFactory factory, int kinds);
// The same for element `index` of an array.
bool LoadElementThrough(CPDFObjHolder* doc, CPDFArray& holder, size_t index, int typeMask,
                        ResourceFactory factory, int kinds);

// The entry `key` of `holder` bound through the factory under `factoryKey` on first use (when
// its value kind is in `typeMask`), then resolved; an entry that does not bind stays plain.
CPDFObject* GetBoundEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key,
                          int typeMask, std::string_view factoryKey, CPDFObjRef* ref = nullptr);
// The array under `key` with each element bound through the factory on first use.
CPDFArray* GetBoundElements(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key,
                            int typeMask, std::string_view factoryKey, CPDFObjRef* ref = nullptr);

// ---- the resource dictionary ------------------------------------------------------------------

class CPDFResDict : public CPDFDataStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFResDict, CPDFDict, "")
 public:
  // Binds the dictionary to `doc` (taking over the content of `source`) and loads every
  // category through its factory, in the order ColorSpace, XObject, ExtGState, Font, Pattern,
  // ProcSet, Properties, Shading.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  // A new, empty resource dictionary of `doc`.
  bool Create(CPDFObjHolder* doc);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_GET(ColorSpace, CPDFDict)
  QUARN_GET(XObject, CPDFDict)
  QUARN_GET(ExtGState, CPDFDict)
  QUARN_GET(Font, CPDFDict)
  QUARN_GET(Pattern, CPDFDict)
  QUARN_GET(ProcSet, CPDFArray)
  QUARN_GET(Properties, CPDFDict)
  QUARN_GET(Shading, CPDFDict)

  // The resource value filed under `name` in `category` (not ProcSet), or nullptr.
  CPDFObject* FindResource(const char* category, const std::string& name);
  // The first free name prefix + 1..4095 for the resource's category and prefix.
  bool MakeName(std::string& name, const CPDFResource& resource);
  bool MakeNameFor(const char* category, const char* prefix, std::string& name);
  // Files `resource` as a new indirect object and enters a reference under `name`.
  bool AddResource(const std::string& name, std::unique_ptr<CPDFObject> resource, CPDFObjRef* ref);
  // Enters a reference to an existing object under `name` in `category`.
  bool AddReference(const char* category, const std::string& name, const CPDFObjRef& ref);
  // Rebuilds the procedure-set array: PDF, then Text with fonts, then ImageB ImageC ImageI with
  // XObjects.
  void UpdateProcSet();

  // True for the seven categories that hold named resources (all but ProcSet).
  static bool IsNamedCategory(std::string_view category);

 private:
  bool LoadCategory(const char* category);
  bool LoadProcSets();
  // The category's dictionary, made (directly) when absent and marked updated when indirect.
  CPDFDict& CategoryForAdding(const char* category);
};

// Recognizer: any dictionary can serve as a resource dictionary.
bool IsResDict(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
