// What the content of each page leaves open, remembered by the streams the content is made of:
// pages that draw the same streams are scanned once. A document whose pages all draw one
// stream that inflates to gigabytes would otherwise decode it again for every page, in time
// growing with the pages times the stream.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "pdf/content/content_lexer.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFPage;

class ContentEndCache {
 public:
  // The indirect streams of a page's content, in order; empty (remembered never) when the
  // content has a part that is not a reference, or too many parts.
  using Key = std::vector<CPDFObjRef>;
  static Key KeyOf(CPDFDoc& doc, CPDFPage& page);

  // The end of content made of `key`'s streams, when it was scanned here before.
  const ContentEnd* Find(const Key& key) const;
  // Whether content made of `key`'s streams was met before (scanned here or elsewhere).
  bool Seen(const Key& key) const;
  // Notes content that is scanned elsewhere (on the compressor's thread): met, end unknown.
  void NoteSeen(const Key& key);
  void Keep(const Key& key, const ContentEnd& end);

 private:
  // Contents remembered at once: the most recent ones, the oldest forgotten first. Pages that
  // share content meet it again soon, while a document whose every page has content of its own
  // would otherwise hold an entry a page.
  static constexpr size_t kMaxKeys = 64;
  // References and open containers held in all, so that hostile content (millions of arrays
  // left open) costs little memory.
  static constexpr size_t kMaxHeld = size_t(1) << 16;
  static constexpr size_t kMaxParts = 64;

  static size_t CostOf(const Key& key, const std::optional<ContentEnd>& end) {
    return key.size() + (end ? end->open.size() : 0);
  }
  void Hold(const Key& key, std::optional<ContentEnd> end);
  void ForgetOldest();

  std::map<Key, std::optional<ContentEnd>> m_ends;
  std::deque<Key> m_order;  // the keys of m_ends, oldest first
  size_t m_held = 0;
};

}  // namespace quarn
