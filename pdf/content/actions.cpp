#include "pdf/content/actions.h"

#include "pdf/content/misc_resources.h"
#include "pdf/content/navigation.h"

namespace quarn {

const ClassRow& CPDFAction::Rules() {
  static const ClassRow rules{.discriminator = "S", .typeName = "Action",
                              .typeRule = TypeRule::kOptional,
                              .typed = {{{"Next", BindActionEntry}}}};
  return rules;
}
#define QUARN_ACTION(Class, Name, ...) \
  QUARN_CLASS_ROW(Class, .base = &CPDFAction::Rules(), .name = Name, .valueKinds = kTypeDict __VA_ARGS__)
QUARN_ACTION(CPDFGoToAct, "GoTo", , .required = {{{"D", 0}}}, .typed = {{{"D", BindDestEntry}}})
QUARN_ACTION(CPDFGoToRAct, "GoToR", , .required = {{{"D", 0}, {"F", 0}}},
             .typed = {{{"D", BindDestEntry}, {"F", BindFileSpecEntry}}})
QUARN_ACTION(CPDFLaunchAct, "Launch", , .typed = {{{"F", BindFileSpecEntry}, {"Win", BindWinLaunchEntry}}})
QUARN_ACTION(CPDFThreadAct, "Thread", , .required = {{{"D", 0}}}, .typed = {{{"F", BindFileSpecEntry}}})
QUARN_ACTION(CPDFURIAct, "URI", , .required = {{{"URI", kTypeString}}})
QUARN_ACTION(CPDFSoundAct, "Sound", , .required = {{{"Sound", 0}}}, .typed = {{{"Sound", BindSoundEntry}}})
QUARN_ACTION(CPDFMovieAct, "Movie")
QUARN_ACTION(CPDFHideAct, "Hide", , .required = {{{"T", 0}}})
QUARN_ACTION(CPDFNamedAct, "Named", , .required = {{{"N", 0}}})
QUARN_ACTION(CPDFSetStateAct, "SetState", , .required = {{{"T", 0}}})
QUARN_ACTION(CPDFNOPAct, "NOP")
QUARN_ACTION(CPDFSubmitFormAct, "SubmitForm", , .required = {{{"F", 0}}},
             .typed = {{{"F", BindFileSpecEntry}}})
QUARN_ACTION(CPDFResetFormAct, "ResetForm")
QUARN_ACTION(CPDFImportDataAct, "ImportData", , .required = {{{"F", 0}}},
             .typed = {{{"F", BindFileSpecEntry}}})
QUARN_ACTION(CPDFJavaScriptAct, "JavaScript", , .required = {{{"JS", 0}}})
#undef QUARN_ACTION
QUARN_CLASS_ROW(CPDFAddActDict, .valueKinds = kTypeDict, .eachEntry = BindActionEntry)
QUARN_CLASS_ROW(CPDFURIDict, .valueKinds = kTypeDict)

BindOutcome MakeAction(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                       std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {
      MakeOne<CPDFGoToAct>,       MakeOne<CPDFGoToRAct>,      MakeOne<CPDFLaunchAct>,
      MakeOne<CPDFThreadAct>,     MakeOne<CPDFURIAct>,        MakeOne<CPDFSoundAct>,
      MakeOne<CPDFMovieAct>,      MakeOne<CPDFSetStateAct>,   MakeOne<CPDFHideAct>,
      MakeOne<CPDFNamedAct>,      MakeOne<CPDFNOPAct>,        MakeOne<CPDFSubmitFormAct>,
      MakeOne<CPDFResetFormAct>,  MakeOne<CPDFImportDataAct>, MakeOne<CPDFJavaScriptAct>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

bool BindActionEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryOrElements(doc, holder, key, kTypeDict, MakeAction);
}

bool BindAddActEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFAddActDict>);
}

}  // namespace quarn
