// The stamping driver: one run over one document. It opens the input, names the output, walks
// the pages that any stamping applies to, has each stamp (the watermark, the page number) draw
// on the pages of its range, keeps each visited page's procedure sets current, and writes the
// result. The bookkeeping of the walk (page release, compression, update marks) is its
// PageSession's.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "app/content_end_cache.h"
#include "app/numbering.h"
#include "app/page_number_stamp.h"
#include "app/page_view.h"
#include "app/shared_contents.h"
#include "app/stamp.h"
#include "app/stamp_options.h"
#include "app/text_watermark_stamp.h"
#include "app/watermark_placement.h"
#include "pdf/content/content_lexer.h"
#include "pdf/document/page_contents.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFGraphObjs;
class CPDFLib;
class CPDFPage;
class CPDFRect;
class CPDFResDict;
class CPDFStream;
class CZorvaneApp;
struct NumberStamp;

// The watermark part of -wm "FileName,StartPage,EndPage".
struct WatermarkSpec {
  std::string fileName;   // empty: no watermark
  std::string givenName;  // the name as written, before ".pdf" was added
  int32_t firstPage = 1;
  int32_t lastPage = 0;  // 0: the last page; negative: no page at all
};

// Reads a -wm value: the file name up to the first comma (".pdf" added when it has no
// extension), then the first and the last page as decimal integers.
WatermarkSpec ParseWatermarkSpec(std::string_view value);

// -wmt "Text,StartPage,EndPage": the text up to the first comma that is not written "\,"
// ("\\" is a backslash), then the first and the last page as in -wm.
struct TextWatermarkOption {
  std::string text;
  int32_t firstPage = 1;
  int32_t lastPage = 0;  // 0: the last page; negative: no page at all
};
TextWatermarkOption ParseTextWatermarkOption(std::string_view value);

// Why a password file gave no password.
enum class PasswordFileError { kNone, kCannotOpen, kNotAFile };

// The first line of a password file ("-": standard input), without its end of line and at most
// limits::kMaxPasswordLineBytes long; nothing when the file cannot be opened or read, or is
// neither a regular file nor a pipe (`error`, when given, tells which).
std::optional<std::string> ReadPassword(const std::string& fileName,
                                        PasswordFileError* error = nullptr);

// The standard library's decimal conversion (leading blanks, optional sign, leading digits; 0
// when there are none), saturated to the 32-bit range.
int32_t DecimalValue(std::string_view text);

// The pages one run visits and the two ranges inside them (1-based, inclusive; an empty range
// has last < first).
struct PageRanges {
  int32_t firstVisited = 1;
  int32_t lastVisited = 0;
  int32_t watermarkFirst = 1;
  int32_t watermarkLast = 0;
  int32_t numberingFirst = 0;
  int32_t numberingLast = 0;
};

// Resolves the ranges against the page count: a negative last page stays empty, a last page of
// 0 means the page count (for the numbering range too, even with numbering off).
PageRanges ResolvePageRanges(int32_t watermarkFirst, int32_t watermarkLast, int32_t numberingFirst,
                             int32_t numberingLast, int32_t pageCount);

// Puts the corners of a rectangle given by any two opposite corners in order; true when they
// were not.
bool NormaliseBox(CPDFRect& box);

// Appends "a b c d e f cm" to `objects`.
void AddConcatMatrix(CPDFGraphObjs& objects, const Affine& m);

class PageSession;

// The driver is the canvas its stamps draw on: it keeps the current page, adds their streams to
// it and writes their error lines.
class CPDFDriver : private StampCanvas {
 public:
  // The driver writes its error lines through `app`'s log.
  CPDFDriver(CPDFLib& lib, CZorvaneApp& app);
  ~CPDFDriver() override;
  CPDFDriver(const CPDFDriver&) = delete;
  CPDFDriver& operator=(const CPDFDriver&) = delete;

  // Stores and interprets the option values. Always true.
  bool SetOptions(const StampOptions& options);
  // The run of one document from `inputFile` into `outputFile` (the same name: in place).
  bool Process(const std::string& inputFile, const std::string& outputFile);
  // The names error lines give the input and the output when they differ from the files read
  // and written (standard input and output, which a run reaches through temporary files).
  void SetShownNames(std::string input, std::string output) {
    m_shownInput = std::move(input);
    m_shownOutput = std::move(output);
  }

  // ---- state, for callers that look inside one run ----
  const WatermarkSpec& Watermark() const { return m_watermark; }
  bool Fit() const { return m_fit; }
  bool Up() const { return m_up; }
  const NumberingSettings& Numbering() const { return m_numbering; }
  int32_t PageCount() const { return m_pageCount; }

 private:
  // ---- StampCanvas ----
  CPDFLib& Lib() override { return m_lib; }
  CZorvaneApp& App() override { return m_app; }
  CPDFDoc& Document() override { return *m_doc; }
  CPDFPage& Page() override { return *m_page; }
  const CPDFRect& PageBox() override { return *m_pageBox; }
  CPDFResDict& Resources() override { return *m_resources; }
  const PageView& View() override { return m_view; }
  bool AddGraphics(const CPDFGraphObjs& objects, StampPlace place) override;
  bool AddStampOver(NumberStamp stamp, CPDFObjRef* filed) override;
  void NotePageOwned(const CPDFObjRef& ref) override;
  bool CheckReadable(const std::string& fileName) override;
  void LogError(const std::string& message) override;
  void LogError(const std::string& message, const CPDFErrorRecord& record) override;

  // Reads -wmr, -wmt and -wmf (the text watermark and the turn of SetOptions).
  void SetTextWatermarkOptions(const StampOptions& options);
  // Reads -nbp, -nbf, -nbs and -sp (the numbering part of SetOptions).
  void SetNumberingOptions(const StampOptions& options);
  bool OpenInput(const std::string& inputFile);
  // Refuses a certified input (its line written); notes whether the input is signed.
  bool CheckSignatures(const char* shownName);
  bool SaveOutput(const std::string& outputFile);
  bool VisitPage(int32_t page);
  // The page at `index` (0-based) from the session, with a line when it had to be given a copy
  // of its own.
  CPDFPage* OpenPage(int32_t index, CPDFObjRef* ref);
  // Has every stamp that covers `page` draw on it, under the content first.
  bool DrawStamps(int32_t page, const std::vector<Stamp*>& covering);
  // Before the stamps join the page: what its own content leaves open, when a stamp goes over it.
  void ScanContentEnd(int32_t page, const std::vector<Stamp*>& covering);
  // The current page's MediaBox with its corners in order; a page without a usable one is
  // given US Letter (with a line in the log). nullptr when even that fails.
  CPDFRect* FetchPageBox(int32_t page);
  static constexpr float kLetterWidth = 612.0f;
  static constexpr float kLetterHeight = 792.0f;
  // The current page's resource dictionary; a page with none anywhere in its tree gets an empty
  // one of its own when `stamped` (readers take a missing one as empty). nullptr otherwise.
  CPDFResDict* PageResources(bool stamped);
  // False, with its line written, when the output would be written without its catalog.
  bool CheckCatalogWritten(const std::string& inputFile);
  bool FlushOutput(const std::string& outputFile);
  // Writes the document's warnings that have not been written yet.
  void LogNewWarnings();
  // Writes out the oldest visited pages until at most `kept` wait; false with its line written.
  bool ReleaseDonePages(size_t kept);
  // Gives the current page a "Contents" array of its own in place of an array that is an object
  // of its own (and may be shared), with only the items that are streams; false with its line
  // written on failure.
  bool OwnContentsArray();
  void CleanUpAfterFailure(const std::string& inputFile, const std::string& outputFile);
  // The warning lines of a run that stamps less than was asked (its exit status stays): a range
  // that holds no page of the document, and stamps drawn where no reader shows them.
  void WarnEmptyRanges(const PageRanges& ranges);

  // Adds `stream` (its plain text) to the current page, sharing one filed stream among all pages
  // that get the same text.
  bool AddSharedContents(CPDFStream& stream, bool compress, bool after,
                         CPDFObjRef* filed = nullptr);
  // An update writes each changed page anyway; the array that a second content stream needs is
  // then kept in the page rather than written as one more object per page.
  ContentsArray ContentsArrayKind() const;
  // Whether the current page has content of its own (a stream, or a non-empty array).
  bool PageHasContent() const;
  // Detaches the current page's content for the writer of `stamp`'s stream to scan, when that
  // stamp alone is drawn over it and no other page can share its stream (which needs the
  // closing now): false when the content is to be scanned here.
  bool DeferContentScan(Stamp& stamp, int32_t page);
  // Encloses the page's content in q ... Q under a stamp drawn over it: puts the "q" stream in
  // front of the content and gives the text that goes in front of the stamp's own. The first
  // enclosure of a page also closes what its content leaves open.
  bool EncloseContent(std::string& prefix);
  // The stream in front of the content: "q", and one more "q" for each of `extra` (a restore of
  // the content's own that has no save before it); `front`, when given, gets its identity.
  bool AddEnclosingSave(int extra, CPDFObjRef* front = nullptr);
  static std::string EnclosingSaves(int extra);
  // After the worker has scanned a page's content: the "q" in front of it gets the saves that
  // the content's surplus restores take away.
  bool AddSurplusSaves(const CPDFObjRef& pageRef, const CPDFObjRef& front, int extra);
  // Adds the filed stream `shared` to the current page.
  bool ReferToShared(const CPDFObjRef& shared, bool after);
  // Puts `prefix` in front of the stream's data.
  static bool PrefixData(CPDFStream& stream, const std::string& prefix);
  // What the current page's content leaves open (nothing when it cannot be read).
  ContentEnd ScanPageEnd() const;
  // The end of the page's own content: scanned before the page was stamped, or now.
  ContentEnd PageEnd() const;

  CPDFLib& m_lib;
  CZorvaneApp& m_app;

  std::unique_ptr<CPDFDoc> m_doc;
  // The walk over the pages of the document being saved, between the save and the flush.
  std::unique_ptr<PageSession> m_session;
  CPDFPage* m_page = nullptr;          // the current page (observed)
  CPDFRect* m_pageBox = nullptr;       // its MediaBox (observed)
  CPDFResDict* m_resources = nullptr;  // its resource dictionary (observed)
  PageView m_view;                     // its visible box and rotation
  int32_t m_pageCount = 0;

  std::optional<std::string> m_passwordFile;
  WatermarkSpec m_watermark;
  bool m_fit = false;
  bool m_up = false;
  std::string m_watermarkValue;  // -wm as given, for the warning of an empty range
  NumberingSettings m_numbering;
  std::string m_numberingPagesValue;  // -nbp as given, for the warning of an empty range
  StampStyle m_watermarkStyle;        // -wmo
  WatermarkTurn m_watermarkTurn;      // -wmr
  std::optional<TextWatermarkSettings> m_textWatermark;  // -wmt with -wmf
  std::string m_textWatermarkValue;                      // -wmt as given
  // The line for a -nbc or -wmo value that does not parse (the run stops before it opens).
  std::optional<std::string> m_refusedStyle;
  // The stamps of the run, in the order they are drawn on a page: the watermark, the text
  // watermark, the number; and the pages each is drawn on, as the options give them.
  std::vector<std::unique_ptr<Stamp>> m_stamps;
  std::vector<std::pair<int32_t, int32_t>> m_stampPages;

  size_t m_warningsShown = 0;    // the document's warnings written to the log so far
  std::string m_shownInput;      // empty: the input file's own name
  std::string m_shownOutput;     // empty: the output file's own name
  bool m_signedInput = false;    // a signature field holds a signature: a full rewrite breaks it
  bool m_incremental = false;    // -inc: only what the run changed is written, after the input
  bool m_outputWritten = false;  // the output file was created (or truncated) by this run
  bool m_pageEnclosed = false;   // the current page's content was enclosed (and closed) already
  // The end of the current page's own content, when scanned before the page was stamped.
  std::optional<ContentEnd> m_pageEnd;
  ContentEndCache m_contentEnds;
  // The current page's content, detached for the worker to scan along with the number stamp.
  std::optional<DetachedContents> m_deferredContent;
  // A page whose content the worker scans: the "q" stream put in front of it, and the number of
  // surplus restores the scan finds (set by the worker by the time the page is written).
  CPDFObjRef m_pageFront;
  std::shared_ptr<int> m_pageSurplus;
  // What stood under the output name when the save began (see CleanUpAfterFailure).
  std::optional<std::tuple<dev_t, ino_t, off_t, int64_t>> m_outputBefore;
  // Content streams filed by this run, by their text: pages stamped alike share one stream.
  SharedContentsCache m_sharedContents;
  SharedContentsCache m_sharedStamps;  // number stamps, by NumberStamp::Key
};

}  // namespace quarn
