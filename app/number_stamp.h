// The content stream that draws one page's number, held by value so that any thread can write
// it: the text in the named font at its place, after whatever closes the page's own content.
// The driver files the stream at once and has its text written (and compressed) by the
// compressing worker while it walks on.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/numbering.h"
#include "app/page_view.h"
#include "pdf/document/page_contents.h"
#include "pdf/object/exception.h"

namespace quarn {

struct NumberStamp {
  // Goes in front of the drawing: what closes the page's own content and the "Q " that ends
  // its enclosing "q", or nothing when the page's content is not enclosed.
  std::string prefix;
  // The page's own content, when it is to be scanned by the writer of the stamp: what closes it
  // goes in front of `prefix`. Such a stamp is not shared (see Key).
  std::optional<DetachedContents> pageContent;
  // Receives the scan's count of surplus restores (see ContentEnd), when given.
  std::shared_ptr<int> surplus;
  // On a page shown turned: the displayed frame, where the number is set, carried into the page.
  std::optional<Affine> displayToUser;
  // The graphics state that gives the text its opacity, and its fill colour: none for opaque
  // black, which adds nothing.
  std::string stateName;
  std::optional<std::array<float, 3>> fill;
  std::string fontName;
  float fontSize = 0.0f;
  TextPosition position;
  std::string text;

  // Stamps with equal keys write equal text, so that pages stamped alike share one stream
  // (without `pageContent`, whose closing is not known yet).
  std::string Key() const;
  // The stream's plain text; false (with `error`) when it cannot be made.
  bool Write(std::string& out, CPDFErrorRecord& error) const;
};

}  // namespace quarn
