// The content streams a run has filed, by their text, so that pages stamped alike share one
// stream. Only the most recently used texts are kept: a page number's text is met once, and a
// long document must not hold one entry per page.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "pdf/object/values.h"

namespace quarn {

class SharedContentsCache {
 public:
  // Enough for every stamp that recurs (one per page box and placement in a document of mixed
  // pages); a text not used for this many other texts is not expected again.
  static constexpr size_t kCapacity = 64;

  // The stream filed for `text`, or nullptr; a hit becomes the most recently used.
  const CPDFObjRef* Find(std::string_view text) {
    const auto it = m_index.find(text);
    if (it == m_index.end()) return nullptr;
    m_order.splice(m_order.begin(), m_order, it->second);
    return &it->second->second;
  }
  void Add(std::string text, const CPDFObjRef& ref) {
    if (Find(text)) return;
    m_order.emplace_front(std::move(text), ref);
    m_index.emplace(m_order.front().first, m_order.begin());
    if (m_order.size() > kCapacity) {
      m_index.erase(m_order.back().first);
      m_order.pop_back();
    }
  }
  void Clear() {
    m_index.clear();
    m_order.clear();
  }
  size_t Size() const { return m_order.size(); }

 private:
  using Order = std::list<std::pair<std::string, CPDFObjRef>>;
  Order m_order;                                                  // most recently used first
  std::unordered_map<std::string_view, Order::iterator> m_index;  // keys view m_order's texts
};

}  // namespace quarn
