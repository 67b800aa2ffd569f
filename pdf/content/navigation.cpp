#include "pdf/content/navigation.h"

#include <string_view>

#include "pdf/content/actions.h"

namespace quarn {

namespace {

// What follows the fit name of a destination: how many elements, and whether null may stand
// for a number.
struct FitRule {
  std::string_view name;
  size_t count;
  bool nullAllowed;
};
constexpr FitRule kFitRules[] = {
    {"XYZ", 3, true},   {"Fit", 0, false},   {"FitH", 1, false},  {"FitV", 1, false},
    {"FitR", 4, false}, {"FitB", 0, false},  {"FitBH", 1, false}, {"FitBV", 1, false},
};

bool HasTreeArrays(CPDFObjHolder* doc, CPDFObject* value, const char* leaves) {
  const CPDFDict* dict = AsDict(value);
  return dict && (dict->GetArray(doc, "Kids") || dict->GetArray(doc, leaves));
}
bool IsNameTreeNode(CPDFObjHolder* doc, CPDFObject* value) { return HasTreeArrays(doc, value, "Names"); }
bool IsNumTreeNode(CPDFObjHolder* doc, CPDFObject* value) { return HasTreeArrays(doc, value, "Nums"); }

bool BindNameTreeEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFNameTreeNode>);
}

template <class Node>
Node* BoundKid(Node& node, size_t index) {
  CPDFArray* kids = node.Get_Kids();
  if (!kids || index >= kids->Count()) return nullptr;
  BindElementWith(node.Doc(), *kids, index, kTypeDict, MakeOne<Node>);
  return dynamic_cast<Node*>(kids->GetObj(node.Doc(), static_cast<int>(index)));
}

}  // namespace

bool IsDestinationArray(CPDFObjHolder* doc, CPDFObject* value) {
  const CPDFArray* array = AsArray(value);
  if (!array || array->Count() < 2) return false;
  const CPDFName* fit = AsName(array->GetObj(doc, 1));
  if (!fit) return false;
  for (const FitRule& rule : kFitRules) {
    if (!fit->Equals(rule.name)) continue;
    if (array->Count() < 2 + rule.count) return false;
    for (size_t i = 0; i < rule.count; ++i) {
      const CPDFObject* element = array->GetObj(doc, static_cast<int>(2 + i));
      const bool isNull = !element || element->TypeCode() == kTypeNull;
      if (isNull ? !rule.nullAllowed : !AsNumber(element)) return false;
    }
    return true;
  }
  return false;
}

QUARN_CLASS_ROW(CPDFDestination, .valueKinds = kTypeArray, .extra = IsDestinationArray)
QUARN_CLASS_ROW(CPDFNamedDest, .valueKinds = kTypeDict, .required = {{{"D", kTypeArray}}},
                 .typed = {{{"D", BindDestEntry}}})
QUARN_CLASS_ROW(CPDFNameTreeNode, .valueKinds = kTypeDict, .extra = IsNameTreeNode)
QUARN_CLASS_ROW(CPDFNumTreeNode, .valueKinds = kTypeDict, .extra = IsNumTreeNode)
QUARN_CLASS_ROW(CPDFNameDict, .valueKinds = kTypeDict,
                 .typed = {{{"Dests", BindNameTreeEntry}, {"Pages", BindNameTreeEntry},
                            {"Templates", BindNameTreeEntry}, {"URLS", BindNameTreeEntry},
                            {"IDS", BindNameTreeEntry}, {"JavaScript", BindNameTreeEntry},
                            {"AP", BindNameTreeEntry}, {"EmbeddedFiles", BindNameTreeEntry}}})
QUARN_CLASS_ROW(CPDFOutlines, .valueKinds = kTypeDict, .typeName = "Outlines",
                 .typeRule = TypeRule::kOptional)
QUARN_CLASS_ROW(CPDFOutlineItem, .valueKinds = kTypeDict, .required = {{{"Title", kTypeString}}},
                 .typed = {{{"Dest", BindDestEntry}, {"A", BindActionEntry}}})
QUARN_CLASS_ROW(CPDFPageLabelDict, .valueKinds = kTypeDict, .typeName = "PageLabel",
                 .typeRule = TypeRule::kOptional)
QUARN_CLASS_ROW(CPDFViewPref, .valueKinds = kTypeDict)
QUARN_CLASS_ROW(CPDFThread, .valueKinds = kTypeDict, .typeName = "Thread",
                 .typeRule = TypeRule::kOptional)
QUARN_CLASS_ROW(CPDFBead, .valueKinds = kTypeDict, .typeName = "Bead",
                 .typeRule = TypeRule::kOptional)

CPDFNameTreeNode* CPDFNameTreeNode::Kid(size_t index) { return BoundKid(*this, index); }
CPDFNumTreeNode* CPDFNumTreeNode::Kid(size_t index) { return BoundKid(*this, index); }

BindOutcome MakeOutlineItem(CPDFObjHolder* doc, CPDFObject& value, int,
                            std::unique_ptr<CPDFObject>& out) {
  return MakeAs<CPDFOutlineItem>(doc, value, out);
}

BindOutcome MakeBead(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeAs<CPDFBead>(doc, value, out);
}

BindOutcome MakeDest(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  if (value.TypeCode() == kTypeArray) return MakeAs<CPDFDestination>(doc, value, out);
  return MakeAs<CPDFNamedDest>(doc, value, out);
}

bool BindDestEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray, MakeDest);
}

}  // namespace quarn
