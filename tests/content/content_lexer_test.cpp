// What page content leaves open at its end, and what closes it.
#include "pdf/content/content_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace quarn {
namespace {

TEST(ContentLexer, ClosesWhatTheContentLeavesOpen) {
  const std::pair<std::string, std::string> cases[] = {
      {"q BT /F1 12 Tf (x) Tj ET Q", ""},
      {"q 0.1 0 0 0.1 0 0 cm q 1 0 0 RG", "Q Q "},
      {"Q Q q", "Q "},  // restores beyond the first save do not count
      {"BT /F1 12 Tf", "ET "},
      {"BT (x) Tj ET [ /oops", "] "},
      {"/Tag << /A [1 (x)", "] >> "},
      {"/Tag << /A", "null >> "},
      {"/Tag <</A<</B 1>>", ">> "},
      {"(q) <71> /q q % q\n", "Q "},
      {"(a\\) (q) q", ""},  // one string, still open: no operator in it counts
      {"(a\\) q) q [q]", "Q "},
      {std::string("q BI /W 1 /H 1 ID \0q Q q EI Q", 29), ""},
      {"q BI /W 1 ID xEI q EIq EI\nBT", "ET Q "},  // only an "EI" standing alone ends the data
      {"q ID", "Q "},
      {"q QQ qq BT1 <</A (x\\) Q", ">> Q "},
      // Marked content left open (optional content that is off would hide the stamp).
      {"q /OC /oc1 BDC 0 g BT /P <</MCID 0>> BDC", "ET EMC EMC Q "},
      {"/Span BMC EMC EMC EMCX BMC1", ""},  // surplus "EMC" and longer words do not count
      // What the scan passes over a run at a time: comments, nested and escaped parentheses,
      // property dictionaries, inline image data with "EI" inside it.
      {"q % a comment (never closed\rBT", "ET Q "},
      {"q (a (nested) \\\\) q [ (x\\)) ] Q", "Q "},
      {"q /P <</A <</B [1 (x]) /C]>> >> BDC 0 g", "EMC Q "},
      {std::string("q BI /W 1 ID \nEI\0 EI Q", 22), ""},
  };
  for (const auto& [content, closing] : cases) {
    EXPECT_EQ(ClosingOperators(ScanContentEnd(content)), closing) << content;
    // Fed in pieces of any size, with tokens, strings and ">>" cut anywhere: the same end.
    for (size_t size = 1; size < content.size(); ++size) {
      ContentEndScanner scanner;
      for (size_t at = 0; at < content.size(); at += size) {
        scanner.Feed(std::string_view(content).substr(at, size));
      }
      EXPECT_EQ(ClosingOperators(scanner.Finish()), closing) << content << " in pieces of " << size;
    }
  }
}

TEST(ContentLexer, CountsRestoresThatHaveNoSaveOfTheContent) {
  const std::pair<std::string, int> cases[] = {
      {"q Q", 0}, {"Q Q q", 2}, {"q Q Q 1 0 0 1 9 9 cm", 1}, {"[Q] (Q) /Q Q", 1}, {"", 0}};
  for (const auto& [content, surplus] : cases) {
    EXPECT_EQ(ScanContentEnd(content).surplusRestores, surplus) << content;
  }
}

}  // namespace
}  // namespace quarn
