// The library's thin containers: a byte string, an owning array and a byte-ordered dictionary.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// A length-counted byte string; may hold 0 bytes.
class TempString {
 public:
  TempString() = default;
  explicit TempString(std::string s) : m_str(std::move(s)) {}

  const char* Data() const { return m_str.data(); }
  size_t Length() const { return m_str.size(); }
  bool Empty() const { return m_str.empty(); }
  void Assign(const char* data, size_t n) { m_str.assign(data, n); }
  void Assign(std::string_view s) { m_str.assign(s); }
  void Append(const char* data, size_t n) { m_str.append(data, n); }
  void Clear() { m_str.clear(); }
  const std::string& Str() const { return m_str; }
  std::string& Str() { return m_str; }
  std::string_view View() const { return m_str; }

 protected:
  std::string m_str;
};

// An ordered array owning its elements.
template <class T>
class TempArray {
 public:
  size_t Count() const { return m_items.size(); }
  T* At(size_t i) const { return i < m_items.size() ? m_items[i].get() : nullptr; }
  void Append(std::unique_ptr<T> v) { m_items.push_back(std::move(v)); }
  void InsertAt(size_t i, std::unique_ptr<T> v) {
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(std::min(i, m_items.size())),
                   std::move(v));
  }
  // Replaces element i and returns the old one (so the caller decides whether it dies).
  std::unique_ptr<T> Replace(size_t i, std::unique_ptr<T> v) {
    std::unique_ptr<T> old = std::move(m_items[i]);
    m_items[i] = std::move(v);
    return old;
  }
  std::unique_ptr<T> Detach(size_t i) {
    std::unique_ptr<T> old = std::move(m_items[i]);
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
    return old;
  }
  void RemoveAt(size_t i) { m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i)); }
  void ClearItems() { m_items.clear(); }
  void SwapItems(TempArray& other) { m_items.swap(other.m_items); }

 protected:
  std::vector<std::unique_ptr<T>> m_items;
};

// Keys compare byte by byte as unsigned values, the shorter key first when one is a prefix of
// the other: exactly std::string's ordering (char_traits<char> compares as unsigned char).
// Most keys of a dictionary differ in their first byte (Type, Parent, Resources, Contents), so
// that byte is compared in line before the rest goes to memcmp.
struct KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (!a.empty() && !b.empty() && a[0] != b[0]) {
      return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
    }
    return a < b;
  }
};

// A dictionary from name bytes to owned values, iterated in ascending key order.
template <class T>
class TempDict {
 public:
  using Map = std::map<std::string, std::unique_ptr<T>, KeyLess>;

  size_t Count() const { return m_entries.size(); }
  T* Find(std::string_view key) const {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second.get();
  }
  bool Has(std::string_view key) const { return m_entries.find(key) != m_entries.end(); }
  // Insert of a present key deletes the old value and stores the new one in its place.
  void Put(std::string_view key, std::unique_ptr<T> v) {
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
      it->second = std::move(v);
    } else {
      m_entries.emplace(std::string(key), std::move(v));
    }
  }
  std::unique_ptr<T> Detach(std::string_view key) {
    auto it = m_entries.find(key);
    if (it == m_entries.end()) return nullptr;
    std::unique_ptr<T> v = std::move(it->second);
    m_entries.erase(it);
    return v;
  }
  bool Erase(std::string_view key) {
    auto it = m_entries.find(key);
    if (it == m_entries.end()) return false;
    m_entries.erase(it);
    return true;
  }
  void ClearEntries() { m_entries.clear(); }
  void SwapEntries(TempDict& other) { m_entries.swap(other.m_entries); }

  typename Map::const_iterator begin() const { return m_entries.begin(); }
  typename Map::const_iterator end() const { return m_entries.end(); }
  typename Map::iterator begin() { return m_entries.begin(); }
  typename Map::iterator end() { return m_entries.end(); }

 protected:
  Map m_entries;
};

}  // namespace quarn
