// What a page's content leaves open at its end: graphics states saved with "q" and not restored,
// a text object not ended, arrays and dictionaries not closed. Found by lexing the content (no
// full parse), so that content drawn after it can first close what is open and start from the
// state of a fresh page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

struct ContentEnd {
  int openSaves = 0;  // "q" without its "Q"
  // "Q" with no "q" of the content before it: each restores a state saved before the content.
  int surplusRestores = 0;
  bool inText = false;  // "BT" without its "ET"
  // "BMC" or "BDC" without its "EMC": what is drawn after would belong to that marked content,
  // hidden with it when it is optional content that is off.
  int openMarked = 0;
  // Containers open at the end, outermost first: '[' for an array, '<' for a dictionary, each
  // with the number of values read in it so far.
  struct Container {
    char kind;
    size_t values;
  };
  std::vector<Container> open;
};

// Lexes decoded content fed in pieces of any size (a token may run across two pieces), keeping
// only the state that the end needs, so that content of any length is scanned in little memory.
class ContentEndScanner {
 public:
  void Feed(std::string_view piece);
  // The state after everything fed so far (what is still being read counts as read).
  ContentEnd Finish();

 private:
  enum class State {
    kNormal,
    kComment,
    kLiteral,
    kEscape,
    kAfterLess,
    kHex,
    kAfterGreater,
    kName,
    kToken,
    kImage
  };
  // Read runs of bytes in the normal state and inside a literal string; each returns where it
  // stopped: at the end, or after a byte that changed the state.
  const unsigned char* ScanNormal(const unsigned char* at, const unsigned char* end);
  const unsigned char* ScanLiteral(const unsigned char* at, const unsigned char* end);
  // Takes one byte; false when the byte ends what was being read and must be taken again.
  bool Take(unsigned char c);
  void Start(unsigned char c);
  // A token ended by the byte `next` (or by the end of the content); true when `next` is used
  // up by it.
  bool EndToken(bool atEnd, unsigned char next);
  bool InImage(unsigned char c);
  void Value();

  static constexpr size_t kTokenKept = 3;  // the operators that count are at most three bytes
  State m_state = State::kNormal;
  int64_t m_literalDepth = 0;
  char m_token[kTokenKept] = {};
  size_t m_tokenLength = 0;
  unsigned char m_imagePrevious = 0;
  int m_imageMatched = 0;  // bytes of a closing " EI" seen
  ContentEnd m_end;
};

// Lexes `content` (decoded page content) through to its end.
ContentEnd ScanContentEnd(std::string_view content);

// The operators that close what `end` says is open, each followed by a space; empty when
// nothing is. A dictionary left with a key and no value gets "null" as its value.
std::string ClosingOperators(const ContentEnd& end);

// The end of the content that `read` hands, piece by piece, to the sink it is given; nothing
// open when `read` fails.
using ContentPieceSink = std::function<void(const char* data, size_t n)>;
ContentEnd EndOfContent(const std::function<bool(const ContentPieceSink&)>& read);

}  // namespace quarn
