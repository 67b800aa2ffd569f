#include "app/content_end_cache.h"

#include <algorithm>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/document/pages.h"

namespace quarn {

ContentEndCache::Key ContentEndCache::KeyOf(CPDFDoc& doc, CPDFPage& page) {
  const CPDFAtom* contents = page.Lookup("Contents");
  if (!contents) return {};
  const CPDFObject* value = nullptr;
  if (contents->IsRef()) {
    const CPDFObjRef& ref = *static_cast<const CPDFObjRef*>(contents);
    // One stream, as a rule: told from the file without reading it.
    if (doc.IsStreamInFile(ref)) return {ref};
    value = doc.GetObj(ref);
    doc.ClearError();
    if (value && value->TypeCode() == kTypeStream) return {ref};
  } else {
    value = static_cast<const CPDFObject*>(contents);
  }
  const CPDFArray* parts = AsArray(value);
  if (!parts || parts->Count() > kMaxParts) return {};
  Key key;
  for (size_t i = 0; i < parts->Count(); ++i) {
    const CPDFAtom* part = parts->At(i);
    if (!part || !part->IsRef()) return {};
    key.push_back(*static_cast<const CPDFObjRef*>(part));
  }
  return key;
}

const ContentEnd* ContentEndCache::Find(const Key& key) const {
  const auto it = m_ends.find(key);
  return it != m_ends.end() && it->second ? &*it->second : nullptr;
}

bool ContentEndCache::Seen(const Key& key) const { return m_ends.count(key) > 0; }

void ContentEndCache::NoteSeen(const Key& key) { Hold(key, std::nullopt); }

void ContentEndCache::Keep(const Key& key, const ContentEnd& end) { Hold(key, end); }

void ContentEndCache::Hold(const Key& key, std::optional<ContentEnd> end) {
  if (key.empty() || CostOf(key, end) > kMaxHeld) return;
  const auto it = m_ends.find(key);
  if (it != m_ends.end()) {
    m_held -= CostOf(it->first, it->second);
    m_ends.erase(it);
    m_order.erase(std::find(m_order.begin(), m_order.end(), key));
  }
  while (!m_order.empty() &&
         (m_order.size() >= kMaxKeys || m_held + CostOf(key, end) > kMaxHeld)) {
    ForgetOldest();
  }
  m_held += CostOf(key, end);
  m_order.push_back(key);
  m_ends.emplace(key, std::move(end));
}

void ContentEndCache::ForgetOldest() {
  const auto it = m_ends.find(m_order.front());
  m_held -= CostOf(it->first, it->second);
  m_ends.erase(it);
  m_order.pop_front();
}

}  // namespace quarn
