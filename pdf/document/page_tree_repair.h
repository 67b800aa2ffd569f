// Mending a page tree as readers read it: every node's "Count" made the number of pages its
// kids hold, a kid that leads back to a node above it left out, and a node listed at a second
// place given a copy of its own there, so that each place shows pages of its own.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;

class CPDFPageTreeRepair {
 public:
  explicit CPDFPageTreeRepair(CPDFDoc& doc) : m_doc(doc) {}

  // Walks the tree below `root` (whose identity is `rootRef`) in page order, with a stack of
  // its own rather than the call stack, mending what it finds; each mend adds a line to
  // `warnings`, except that past the first few "Count" mends one line counts the rest. Throws when the tree lists nodes more often than copies can be made for.
  void Run(CPDFDict& root, const CPDFObjRef& rootRef, std::vector<std::string>& warnings);

 private:
  struct Frame {
    CPDFDict* node = nullptr;
    CPDFObjRef ref;     // undefined for a node written directly into its parent's "Kids"
    CPDFObjRef holder;  // the nearest node with an identity (the node itself when it has one)
    size_t index = 0;   // the next kid to look at
    int64_t pages = 0;  // pages found below the kids looked at so far
    bool loadedHere = false;
  };
  using Key = std::pair<int32_t, int32_t>;

  // Looks at the next kid of the top frame: counts a page, descends into a node, or mends.
  void Step();
  // The top frame's kids are all counted: its "Count" is set right, and it is left.
  void Leave();
  // The node `kid`, listed again at the top frame's current kid, replaced there by a copy
  // filed under `copyRef`.
  CPDFDict* CopyNode(const CPDFDict& kid, CPDFObjRef& copyRef);
  // The frame's node (and its "Kids" array, when that is an object of its own) is written
  // again.
  void MarkChanged(const Frame& frame);
  std::string Name(const Frame& frame) const;

  CPDFDoc& m_doc;
  std::vector<Frame> m_stack;
  std::set<Key> m_onPath;   // nodes of m_stack that have an identity
  std::set<Key> m_visited;  // every node entered so far
  size_t m_copies = 0;
  size_t m_countsMended = 0;
  std::vector<std::string>* m_warnings = nullptr;
};

}  // namespace quarn
