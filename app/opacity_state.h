// The graphics state that gives a stamp its opacity: an ExtGState with "ca" and "CA", made once
// a run in the output document and named in the resources of each page that draws with it.
#pragma once

#include <string>

#include "pdf/object/values.h"

namespace quarn {

class StampCanvas;

class OpacityState {
 public:
  explicit OpacityState(float opacity) : m_opacity(opacity) {}

  // The name under which the current page's resources refer to the state (made on the first
  // call, entered on a page that has no name for it yet). False, with its line written, on
  // failure.
  bool Name(StampCanvas& canvas, std::string& name);

 private:
  bool Make(StampCanvas& canvas, std::string& name);

  float m_opacity;
  CPDFObjRef m_ref;  // the state in the output document, once made
};

}  // namespace quarn
