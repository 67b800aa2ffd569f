// What a page's content leaves open at its end: graphics states saved with "q" and not restored,
// a text object not ended, arrays and dictionaries not closed. Found by lexing the content (no
// full parse), so that content drawn after it can first close what is open and start from the
// state of a fresh page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn {

struct ContentEnd {
  int openSaves = 0;    // "q" without its "Q"
  bool inText = false;  // "BT" without its "ET"
  // Containers open at the end, outermost first: '[' for an array, '<' for a dictionary, each
  // with the number of values read in it so far.
  struct Container {
    char kind;
    size_t values;
  };
  std::vector<Container> open;
};

// Lexes `content` (decoded page content) through to its end.
ContentEnd ScanContentEnd(std::string_view content);

// The operators that close what `end` says is open, each followed by a space; empty when
// nothing is. A dictionary left with a key and no value gets "null" as its value.
std::string ClosingOperators(const ContentEnd& end);

}  // namespace quarn
