// Actions (go-to, launch, URI, named, form actions and the rest), the additional-actions
// dictionary and the catalog's URI dictionary.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// The action family: "Type" optionally "Action", "S" tells the kind, "Next" follows.
class CPDFAction : public CPDFDocStruct, public CPDFDict {
 public:
  static const ClassRow& Rules();
  QUARN_ACCESSOR(S, CPDFName)
  QUARN_ACCESSOR(Next, CPDFObject)
};
QUARN_FAMILY_CLASS(CPDFGoToAct, CPDFAction, QUARN_ACCESSOR(D, CPDFObject))
QUARN_FAMILY_CLASS(CPDFGoToRAct, CPDFAction, QUARN_ACCESSOR(D, CPDFObject) QUARN_ACCESSOR(F, CPDFObject))
QUARN_FAMILY_CLASS(CPDFLaunchAct, CPDFAction,
  QUARN_ACCESSOR(F, CPDFObject) QUARN_ACCESSOR(Win, CPDFObject))
QUARN_FAMILY_CLASS(CPDFThreadAct, CPDFAction, QUARN_ACCESSOR(F, CPDFObject))
QUARN_FAMILY_CLASS(CPDFURIAct, CPDFAction, QUARN_SET(URI, CPDFString))
QUARN_FAMILY_CLASS(CPDFSoundAct, CPDFAction, QUARN_ACCESSOR(Sound, CPDFObject))
QUARN_FAMILY_CLASS(CPDFMovieAct, CPDFAction, QUARN_ACCESSOR(T, CPDFString))
QUARN_FAMILY_CLASS(CPDFHideAct, CPDFAction)
QUARN_FAMILY_CLASS(CPDFNamedAct, CPDFAction)
QUARN_FAMILY_CLASS(CPDFSetStateAct, CPDFAction)
QUARN_FAMILY_CLASS(CPDFNOPAct, CPDFAction)
QUARN_FAMILY_CLASS(CPDFSubmitFormAct, CPDFAction,
  QUARN_ACCESSOR(F, CPDFObject) QUARN_ACCESSOR(Flags, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFResetFormAct, CPDFAction, QUARN_ACCESSOR(Flags, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFImportDataAct, CPDFAction, QUARN_ACCESSOR(F, CPDFObject))
QUARN_FAMILY_CLASS(CPDFJavaScriptAct, CPDFAction)

// Additional actions: each entry (trigger -> action) made by the action factory.
QUARN_FAMILY_CLASS(CPDFAddActDict, CPDFDocDict)
// The catalog's URI dictionary.
QUARN_FAMILY_CLASS(CPDFURIDict, CPDFDocDict, QUARN_ACCESSOR(Base, CPDFString))

// The action factory. Bits: 0 GoTo, 1 GoToR, 2 Launch, 3 Thread, 4 URI, 5 Sound, 6 Movie,
// 7 SetState, 8 Hide, 9 Named, 10 NOP, 11 SubmitForm, 12 ResetForm, 13 ImportData,
// 14 JavaScript.
BindOutcome MakeAction(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                       std::unique_ptr<CPDFObject>& out);

// An action entry (dictionary), or an array of them ("Next").
bool BindActionEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindAddActEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

}  // namespace quarn
