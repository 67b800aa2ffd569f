// Navigation: destinations and named destinations, name and number trees, the outline,
// page labels, viewer preferences, article threads and their beads.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// A destination: [page /XYZ left top zoom], [page /Fit], [page /FitH top], ...
QUARN_FAMILY_CLASS(CPDFDestination, CPDFDataArray,
  // The page element (a reference, or a page number in a remote document).
  CPDFAtom* Page() { return At(0); }
  // The fit name ("XYZ", "Fit", ...).
  CPDFName* Fit() { return AsName(GetObj(Doc(), 1)); })
QUARN_FAMILY_CLASS(CPDFNamedDest, CPDFDataDict, QUARN_ACCESSOR(D, CPDFObject))

QUARN_FAMILY_CLASS(CPDFNameTreeNode, CPDFDataDict,
  QUARN_GET(Kids, CPDFArray) QUARN_GET(Names, CPDFArray) QUARN_GET(Limits, CPDFArray)
  // Kid `index`, bound as a node on first use.
  CPDFNameTreeNode* Kid(size_t index);)
QUARN_FAMILY_CLASS(CPDFNumTreeNode, CPDFDataDict,
  QUARN_GET(Kids, CPDFArray) QUARN_GET(Nums, CPDFArray) QUARN_GET(Limits, CPDFArray)
  CPDFNumTreeNode* Kid(size_t index);)
QUARN_FAMILY_CLASS(CPDFNameDict, CPDFDataDict,
  QUARN_ACCESSOR(Dests, CPDFNameTreeNode) QUARN_ACCESSOR(Pages, CPDFNameTreeNode)
  QUARN_ACCESSOR(Templates, CPDFNameTreeNode) QUARN_ACCESSOR(URLS, CPDFNameTreeNode)
  QUARN_ACCESSOR(IDS, CPDFNameTreeNode) QUARN_ACCESSOR(JavaScript, CPDFNameTreeNode)
  QUARN_ACCESSOR(AP, CPDFNameTreeNode) QUARN_ACCESSOR(EmbeddedFiles, CPDFNameTreeNode))

BindOutcome MakeOutlineItem(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                            std::unique_ptr<CPDFObject>& out);
BindOutcome MakeBead(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                     std::unique_ptr<CPDFObject>& out);

// Outline items link to each other through "Parent", "Prev", "Next", "First" and "Last";
// those are bound one at a time as they are asked for, so a long or looping outline is never
// walked by the binding itself.
QUARN_FAMILY_CLASS(CPDFOutlineItem, CPDFDocDict,
  QUARN_ACCESSOR(Title, CPDFString) QUARN_GET(Parent, CPDFDict)
  QUARN_BOUND_GET(Prev, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_BOUND_GET(Next, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_BOUND_GET(First, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_BOUND_GET(Last, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_ACCESSOR(Dest, CPDFObject) QUARN_ACCESSOR(A, CPDFObject) QUARN_ACCESSOR(Count, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFOutlines, CPDFDocDict,
  QUARN_BOUND_GET(First, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_BOUND_GET(Last, CPDFOutlineItem, MakeOutlineItem, kTypeDict)
  QUARN_ACCESSOR(Count, CPDFNumber))

QUARN_FAMILY_CLASS(CPDFPageLabelDict, CPDFDataDict,
  QUARN_ACCESSOR(S, CPDFName) QUARN_ACCESSOR(P, CPDFString) QUARN_ACCESSOR(St, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFViewPref, CPDFDocDict)

QUARN_FAMILY_CLASS(CPDFBead, CPDFDocDict,
  QUARN_GET(T, CPDFDict) QUARN_BOUND_GET(N, CPDFBead, MakeBead, kTypeDict)
  QUARN_BOUND_GET(V, CPDFBead, MakeBead, kTypeDict) QUARN_GET(P, CPDFDict)
  QUARN_ACCESSOR(R, CPDFArray))
QUARN_FAMILY_CLASS(CPDFThread, CPDFDocDict,
  QUARN_BOUND_GET(F, CPDFBead, MakeBead, kTypeDict) QUARN_ACCESSOR(I, CPDFDict))

// A destination array, or (for a dictionary) a named destination.
BindOutcome MakeDest(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                     std::unique_ptr<CPDFObject>& out);
bool BindDestEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
// The destination recognizer's table check.
bool IsDestinationArray(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
