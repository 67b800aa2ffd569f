// A mutation that keeps a file's syntax and cross-reference offsets intact but points one to
// three indirect references ("12 0 R") at other objects of the same file ("3 0 R "). It reaches
// the hostile graphs that byte mutations rarely make: a page that is its own resources, a
// "Parent" that is a page, a "Kids" entry naming the catalog, a stream "Length" that is a page.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

struct Span {
  size_t begin;
  size_t end;  // one past the "R"
};

// The object numbers declared as "N G obj" and the references "N G R" in data.
inline void ScanObjects(const uint8_t* data, size_t size, std::vector<std::string>& numbers,
                        std::vector<Span>& references) {
  auto isDigit = [&](size_t i) { return i < size && std::isdigit(data[i]); };
  for (size_t i = 0; i < size; ++i) {
    if (!isDigit(i) || (i > 0 && (std::isalnum(data[i - 1]) || data[i - 1] == '.'))) continue;
    size_t j = i;
    while (isDigit(j)) ++j;
    const size_t numberEnd = j;
    if (j >= size || data[j] != ' ') continue;
    ++j;
    if (!isDigit(j)) continue;
    while (isDigit(j)) ++j;
    if (j >= size || data[j] != ' ') continue;
    ++j;
    if (j < size && data[j] == 'R') {
      references.push_back({i, j + 1});
    } else if (j + 2 < size && std::memcmp(data + j, "obj", 3) == 0) {
      numbers.emplace_back(reinterpret_cast<const char*>(data + i), numberEnd - i);
    }
  }
}

// Rewrites 1-3 references in place; returns the size, or 0 when no reference could be changed.
inline size_t SwapReferences(uint8_t* data, size_t size, unsigned seed) {
  std::vector<std::string> numbers;
  std::vector<Span> references;
  ScanObjects(data, size, numbers, references);
  if (numbers.empty() || references.empty()) return 0;
  std::minstd_rand random(seed);
  const int swaps = 1 + static_cast<int>(random() % 3);
  bool changed = false;
  for (int n = 0; n < swaps; ++n) {
    const Span span = references[random() % references.size()];
    const std::string replacement = numbers[random() % numbers.size()] + " 0 R";
    const size_t width = span.end - span.begin;
    if (replacement.size() > width) continue;
    std::memcpy(data + span.begin, replacement.data(), replacement.size());
    std::memset(data + span.begin + replacement.size(), ' ', width - replacement.size());
    changed = true;
  }
  return changed ? size : 0;
}

}  // namespace fuzz
