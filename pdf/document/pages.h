// The page tree: intermediate nodes (CPDFPages) and pages (CPDFPage), found by position, counted
// and deleted; "MediaBox" and "Resources" are inherited through "Parent".
#pragma once

#include <cstdint>
#include <vector>

#include "pdf/document/info_dict.h"
#include "pdf/document/res_dict.h"
#include "pdf/object/geometry.h"
#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFPage;
class CPDFStream;

class CPDFPages : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFPages, CPDFDict, "Pages")
 public:
  // "Type" "Pages", "Parent" when `parent` is given, an empty "Kids" and "Count" 0.
  bool Create(CPDFObjHolder* doc, const CPDFObjRef* parent);
  // Takes over `source` and binds the inheritable boxes and resources that fit their class.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override;

  // The page at `position` (0-based) below this node, binding the nodes and the page on the
  // way; *ref receives the page's identity. nullptr on a malformed tree, *ref then naming the
  // entry at `position` when it could not be read (an object a running save has released); a
  // tree that loops throws.
  CPDFPage* GetPage(int position, CPDFObjRef* ref = nullptr);
  // Removes the page at `position` below this node (whose own identity is `self`), and any
  // node that it leaves empty. False on a malformed tree.
  bool DeletePage(int position, const CPDFObjRef& self);
  // Gives the page at `position` below this node (whose own identity is `self`) an object of
  // its own: a copy of the page as the input holds it, filed under a new number, takes its
  // place in "Kids". For a page object that the tree lists more than once, so that each place
  // shows a page of its own; the copy's "Parent" is the node that lists it there.
  // *ref receives the new identity; nullptr when the input cannot give the page again.
  CPDFPage* SeparatePage(int position, const CPDFObjRef& self, CPDFObjRef* ref);

  QUARN_ACCESSOR(Kids, CPDFArray)
  QUARN_ACCESSOR(Count, CPDFNumber)
  QUARN_ACCESSOR(Parent, CPDFDict)
  QUARN_ACCESSOR(MediaBox, CPDFRect)
  QUARN_ACCESSOR(CropBox, CPDFRect)
  QUARN_ACCESSOR(ArtBox, CPDFRect)
  QUARN_ACCESSOR(TrimBox, CPDFRect)
  QUARN_ACCESSOR(BleedBox, CPDFRect)
  QUARN_ACCESSOR(Resources, CPDFResDict)

 private:
  friend class CPDFPageTreeWalk;
  // Where the last lookup in this node left off, so that visiting the pages in order does not
  // walk the kids from the start each time. Valid while "Kids" is the same array of the same
  // length; cleared whenever this node's kids change.
  struct Cursor {
    const CPDFArray* kids = nullptr;
    size_t kidCount = 0;
    size_t index = 0;
    int64_t passed = 0;  // pages before kid `index`
  };
  Cursor m_cursor;

  // The node below this one that held the page found last, and the position of its first page,
  // so that the next page in order is looked for there at once rather than from the top down.
  // Used only while that node is still the object filed under its identity, with the same
  // "Kids" array of the same length and the same "Count"; cleared whenever pages are removed.
  struct LastLeaf {
    CPDFObjRef ref;
    const CPDFPages* node = nullptr;
    const CPDFArray* kids = nullptr;
    size_t kidCount = 0;
    int64_t first = 0;
    int64_t count = 0;
  };
  // The last leaf when it holds `position` and may still be used; nullptr otherwise.
  CPDFPages* LastLeafHolding(int64_t position);
  LastLeaf m_lastLeaf;
};

class CPDFPage : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFPage, CPDFDict, "Page")
 public:
  // Takes over `source` and binds its typed entries; an entry that does not fit its class
  // fails the binding.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  // Inherited attributes ("MediaBox", "Resources", "CropBox", "Rotate"): the page's own value,
  // else the nearest ancestor's through "Parent".
  // A "Parent" chain that loops ends the search with an error in the document's record.
  CPDFRect* Get_MediaBox(CPDFObjRef* ref = nullptr);
  CPDFResDict* Get_Resources(CPDFObjRef* ref = nullptr);
  CPDFRect* Get_CropBox(CPDFObjRef* ref = nullptr);
  CPDFNumber* Get_Rotate(CPDFObjRef* ref = nullptr);
  QUARN_SET(MediaBox, CPDFRect)
  QUARN_SET(Resources, CPDFResDict)
  QUARN_SET(CropBox, CPDFRect)
  QUARN_SET(Rotate, CPDFNumber)

  QUARN_ACCESSOR(Parent, CPDFDict)
  QUARN_ACCESSOR(ArtBox, CPDFRect)
  QUARN_ACCESSOR(TrimBox, CPDFRect)
  QUARN_ACCESSOR(BleedBox, CPDFRect)
  QUARN_ACCESSOR(Contents, CPDFObject)
  QUARN_ACCESSOR(Dur, CPDFNumber)
  QUARN_ACCESSOR(LastModified, CPDFDate)
  // Entries bound to their typed classes (annotations, transition, additional actions, ...)
  // when first asked for rather than when the page is loaded: stamping a long document never
  // reads its annotations. An entry that does not bind is answered as it is.
  CPDFObject* Get_Thumb(CPDFObjRef* ref = nullptr) {
    return GetBoundEntry(Doc(), *this, "Thumb", kTypeStream, kThumbFactory, ref);
  }
  CPDFArray* Get_Annots(CPDFObjRef* ref = nullptr) {
    return GetBoundElements(Doc(), *this, "Annots", kTypeDict, kAnnotFactory, ref);
  }
  CPDFDict* Get_Trans(CPDFObjRef* ref = nullptr) {
    return AsDict(GetBoundEntry(Doc(), *this, "Trans", kTypeDict, kTransFactory, ref));
  }
  CPDFDict* Get_AA(CPDFObjRef* ref = nullptr) {
    return AsDict(GetBoundEntry(Doc(), *this, "AA", kTypeDict, kAddActFactory, ref));
  }
  CPDFDict* Get_PieceInfo(CPDFObjRef* ref = nullptr) {
    return AsDict(GetBoundEntry(Doc(), *this, "PieceInfo", kTypeDict, kPieceInfoFactory, ref));
  }
  CPDFDict* Get_SeparationInfo(CPDFObjRef* ref = nullptr) {
    return AsDict(GetBoundEntry(Doc(), *this, "SeparationInfo", kTypeDict, kSepInfoFactory, ref));
  }
  QUARN_SET(Thumb, CPDFObject)
  QUARN_SET(Annots, CPDFArray)
  QUARN_SET(Trans, CPDFDict)
  QUARN_SET(AA, CPDFDict)
  QUARN_SET(PieceInfo, CPDFDict)
  QUARN_SET(SeparationInfo, CPDFDict)

  // Copies the inherited "MediaBox" and "Resources" into the page's own dictionary; an
  // ancestor's indirect value becomes a new indirect object of the page.
  bool Uninherit();

  // Content of the page (defined with the content streams): the decoded content into
  // `target` (failing when it would not fit what the temporary directory and the address space
  // can still take); the content replaced by one stream; one stream added before or after it.
  bool ReadContents(CPDFStream& target);
  bool ReplaceContents(const CPDFStream& s);
  bool AddContents(const CPDFStream& s, bool after);

 private:
  // The dictionary that holds `key` for this page (itself or an ancestor), or nullptr.
  CPDFDict* FindInheritedHolder(const char* key);
};

// Recognizers of the page tree.
bool IsPagesNode(CPDFObjHolder* doc, CPDFObject* value);
bool IsPage(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
