// The stamping driver: one run over one document. It opens the input, names the output, walks
// the pages that any stamping applies to, puts the watermark and the page number on the pages
// of their ranges, keeps each visited page's procedure sets current, and writes the result.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "app/content_end_cache.h"
#include "app/numbering.h"
#include "app/page_view.h"
#include "app/shared_contents.h"
#include "app/stamp_options.h"
#include "app/stream_compressor.h"
#include "pdf/content/content_lexer.h"
#include "pdf/document/page_contents.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFFont;
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
  std::string fileName;  // empty: no watermark
  int32_t firstPage = 1;
  int32_t lastPage = 0;  // 0: the last page; negative: no page at all
};

// Reads a -wm value: the file name up to the first comma (".pdf" added when it has no
// extension), then the first and the last page as decimal integers.
WatermarkSpec ParseWatermarkSpec(std::string_view value);

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

// The page-numbering settings (filled from -nbp, -nbf, -nbs and -sp).
struct NumberingSettings {
  bool on = false;
  int32_t firstPage = 0;  // N1: 1 by default with -nbp, 0 without
  int32_t lastPage = 0;   // N2: 0 means the last page
  int32_t initial = 1;
  bool spread = false;
  NumberFormatSettings text;  // -nbf: style, format, font and size
  NumberPlacement placement;  // -nbs: location and offsets in points
};

class CPDFDriver {
 public:
  // The driver writes its error lines through `app`'s log.
  CPDFDriver(CPDFLib& lib, CZorvaneApp& app);
  ~CPDFDriver();
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

  // The page at `index` (0-based): a page object that an earlier visit met at another place of
  // the page tree (and may have stamped) is first given a copy of its own there.
  CPDFPage* PageOfItsOwn(int32_t index, CPDFObjRef* ref);
  // Stamping of page `page` (1-based) of the open document; the current page, its box and its
  // resources must have been fetched.
  bool StampWatermark(int32_t page);
  bool StampNumber(int32_t page);
  // Turns `objects` into a new Flate-compressed content stream of the current page: the only
  // content with `replace`, else drawn over (`after`) or under the existing content.
  // `filed`, when given, receives the stream filed for this call (undefined when an identical
  // stream filed before was used instead).
  bool AddGraphics(const CPDFGraphObjs& objects, bool replace, bool after,
                   CPDFObjRef* filed = nullptr);

  // ---- state, for callers that look inside one run ----
  const WatermarkSpec& Watermark() const { return m_watermark; }
  bool Fit() const { return m_fit; }
  bool Up() const { return m_up; }
  const NumberingSettings& Numbering() const { return m_numbering; }
  const CPDFObjRef& WatermarkForm() const { return m_formRef; }
  int32_t PageCount() const { return m_pageCount; }
  CPDFDoc* Document() const { return m_doc.get(); }

 private:
  // Reads -nbp, -nbf, -nbs and -sp (the numbering part of SetOptions).
  void SetNumberingOptions(const StampOptions& options);
  // Before anything is opened: picks the encoding the numbering font is made with and turns a
  // UTF-8 format into it; false (its line written) when a character is not in that encoding.
  bool PrepareNumberingText();
  bool OpenInput(const std::string& inputFile);
  // "file not found" / "not a regular file" for an input or watermark name that cannot be one.
  bool CheckReadable(const std::string& fileName);
  // Refuses a certified input (its line written); notes whether the input is signed.
  bool CheckSignatures(const char* shownName);
  bool SaveOutput(const std::string& outputFile);
  bool VisitPage(int32_t page, const PageRanges& ranges);
  // The current page's MediaBox with its corners in order; a page without a usable one is
  // given US Letter (with a line in the log). nullptr when even that fails.
  CPDFRect* PageBox(int32_t page);
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
  // Writes a finished page out and drops it from memory, keeping everything it refers to, and
  // then the objects made for that page alone (`owned`).
  void ReleaseDonePage(const CPDFObjRef& pageRef, const std::vector<CPDFObjRef>& owned);
  // Settles and releases the oldest visited pages until at most `kept` wait; false, with its
  // line written, when a page's streams could not be compressed.
  bool ReleaseDonePages(size_t kept);
  // Drops the page's content as read from the input (a stream, or an array and its streams)
  // when nothing changed it.
  void UnloadReadContents(const CPDFObjRef& contents);
  // Gives the streams filed before compression (the first `upTo` jobs) their compressed data;
  // false with its line written when one cannot be compressed.
  bool SettleCompressed(uint64_t upTo);
  StreamCompressor& Compressor();
  // Writes out and drops one object made for a finished page, keeping what it refers to.
  void ReleaseOwnedObject(const CPDFObjRef& ref);
  // Gives the current page a "Contents" array of its own in place of an array that is an object
  // of its own (and may be shared), with only the items that are streams; false with its line
  // written on failure.
  bool OwnContentsArray();
  // Notes the current page's "Contents" array when stamping made it (it belongs to that page).
  void NoteNewContentsArray(const CPDFObjRef& contentsBefore);
  // Marks the indirect objects that `value` refers to (through its direct containers) as not
  // releasable, so that releasing the page does not take them along.
  void KeepReferencedObjects(const CPDFObject& value, int depth);
  // Direct containers nested deeper than this inside a page are not looked into.
  static constexpr int kMaxReleaseScanDepth = 64;
  void CleanUpAfterFailure(const std::string& inputFile, const std::string& outputFile);
  // The warning lines of a run that stamps less than was asked (its exit status stays): a range
  // that holds no page of the document, and stamps drawn where no reader shows them.
  void WarnEmptyRanges(const PageRanges& ranges);
  void WarnUnseenStamps();

  // Incremental updates write only the objects marked changed. The driver changes objects of
  // the input in three places: the page (its content, and a box or resources it is given), the
  // dictionary that holds the page's resources, and a box that is put in order where the page
  // inherits it.
  // The resources as they are written, to tell whether stamping changed them.
  std::string ResourcesText() const;
  // The object that holds the current page's resources when stamping may change them unseen
  // (undefined when they sit in an object the update writes anyway).
  CPDFObjRef WatchedResources(const CPDFObjRef& pageRef, bool stamped);
  // A full rewrite: marks the page-tree nodes whose dictionaries the page's stamping edited (the
  // resources it inherits, a box put in order) as changed, so that they are written as edited
  // and never dropped from memory as if they were as the input holds them. False when one
  // cannot be marked.
  bool KeepEditedNodes(const CPDFObjRef& pageRef);
  // Marks the current page's changed objects after its stamping; false when one cannot be.
  bool MarkPageChanges(const CPDFObjRef& pageRef, bool stamped, const CPDFObjRef& watched,
                       const std::string& resourcesBefore);
  // The object that gives page `pageRef` its `key`: the value itself when it is an indirect
  // object, else the page or the ancestor whose dictionary holds it (undefined when none does).
  CPDFObjRef InheritedHolder(const CPDFObjRef& pageRef, const char* key);

  // Watermark steps.
  // Makes the form from the watermark file's first page and files it under a new name in the
  // current page's resources.
  bool MakeWatermarkForm(std::string& name);
  // The name under which the current page's resources refer to the form (entered when new).
  bool NameWatermarkForm(std::string& name);
  void PlaceForm(class CPDFFormXObj& form) const;
  // Where the watermark goes on the current page when that page is shown as readers show it.
  Affine WatermarkPlacement(const CPDFRect& formBox) const;
  // The "cm" that carries the form (drawn with its own Matrix) to where it belongs on the current
  // page; false when none is needed (the page is shown as the page the form was made on).
  bool WatermarkAdjustment(Affine& adjustment) const;

  // Numbering steps.
  // The numbering font, named in the current page's resources: made on the first numbered page,
  // fetched by its identity on the others. nullptr after a failure (its lines are written).
  CPDFFont* NumberingFont(std::string& name);
  CPDFFont* MakeNumberingFont(std::string& name);
  CPDFFont* FetchNumberingFont();
  bool NameNumberingFont(const CPDFFont& font, std::string& name);
  TextPosition NumberPosition(CPDFFont& font, const std::string& text, int32_t page);
  int32_t NumberTextWidth(CPDFFont& font, const std::string& text);

  // Adds `stream` (its plain text) to the current page, sharing one filed stream among all pages
  // that get the same text.
  bool AddSharedContents(CPDFStream& stream, bool compress, bool after,
                         CPDFObjRef* filed = nullptr);
  // An update writes each changed page anyway; the array that a second content stream needs is
  // then kept in the page rather than written as one more object per page.
  ContentsArray ContentsArrayKind() const {
    return m_incremental ? ContentsArray::kDirect : ContentsArray::kIndirect;
  }
  // Whether the current page has content of its own (a stream, or a non-empty array).
  bool PageHasContent() const;
  // Detaches the current page's content for the number stamp's maker to scan, when only the
  // number is drawn over it and no other page can share the stamp's stream (which needs the
  // closing now): false when the content is to be scanned here.
  bool DeferContentScan(bool watermarked, int32_t page);
  // Adds the number stamp over the current page's content; `filed` as for AddGraphics.
  bool AddStampOver(NumberStamp stamp, CPDFObjRef* filed);
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

  void LogError(const std::string& message);
  void LogError(const std::string& message, const CPDFErrorRecord& record);

  CPDFLib& m_lib;
  CZorvaneApp& m_app;

  std::unique_ptr<CPDFDoc> m_doc;
  CPDFPage* m_page = nullptr;          // the current page (observed)
  CPDFRect* m_pageBox = nullptr;       // its MediaBox (observed)
  CPDFResDict* m_resources = nullptr;  // its resource dictionary (observed)
  PageView m_view;                     // its visible box and rotation
  int32_t m_pageCount = 0;

  std::optional<std::string> m_passwordFile;
  WatermarkSpec m_watermark;
  bool m_fit = false;
  bool m_up = false;
  CPDFObjRef m_formRef;                   // the watermark form in the output document, once made
  Affine m_formMatrix = kIdentity;        // its Matrix
  Affine m_formBox = {0, 0, 0, 0, 0, 0};  // its BBox (llx lly urx ury in the first four)
  bool m_formPlain = true;                // made on a plain page
  PageView m_formView;                    // the view of the page it was made on

  std::string m_watermarkValue;  // -wm as given, for the warning of an empty range

  NumberingSettings m_numbering;
  std::string m_numberingPagesValue;  // -nbp as given, for the warning of an empty range
  CPDFObjRef m_fontRef;  // the numbering font in the output document, once made
  std::array<std::optional<int32_t>, 256> m_byteWidths;  // of the numbering font, once measured
  // Whether the number format keeps the whole number text (found on the first numbered page).
  std::optional<bool> m_formatKeepsNumber;
  // The font name whose kind PrepareNumberingText found, and the encoding to make it with.
  std::string m_numberingFontPlanned;
  std::string m_numberingEncoding;

  // Pages on which a stamp lies wholly outside the visible page: one warning for the run.
  struct UnseenStamps {
    int32_t pages = 0;
    int32_t firstPage = 0;
    void Note(int32_t page) {
      if (pages++ == 0) firstPage = page;
    }
  };
  UnseenStamps m_watermarksUnseen;
  UnseenStamps m_numbersUnseen;
  size_t m_warningsShown = 0;  // the document's warnings written to the log so far
  std::string m_shownInput;    // empty: the input file's own name
  std::string m_shownOutput;   // empty: the output file's own name
  bool m_signedInput = false;  // a signature field holds a signature: a full rewrite breaks it
  bool m_incremental = false;  // -inc: only what the run changed is written, after the input
  std::vector<const char*> m_fixedBoxes;  // boxes of the current page put in order (or given)
  bool m_outputWritten = false;           // the output file was created (or truncated) by this run
  // Objects made for the current page alone (its number's stream, its new "Contents" array):
  // released together with it.
  std::vector<CPDFObjRef> m_pageOwned;
  bool m_pageEnclosed = false;  // the current page's content was enclosed (and closed) already
  // The end of the current page's own content, when scanned before the page was stamped.
  std::optional<ContentEnd> m_pageEnd;
  ContentEndCache m_contentEnds;
  // The current page's content, detached for the worker to scan along with the number stamp.
  std::optional<DetachedContents> m_deferredContent;
  // A page visited and not written yet: the objects made for it alone, and the count of
  // compression jobs submitted by the end of its visit.
  struct DonePage {
    CPDFObjRef ref;
    std::vector<CPDFObjRef> owned;
    uint64_t jobsEnd = 0;
    // A page whose content the worker scans: the "q" stream put in front of it, and the number
    // of surplus restores the scan finds (set by the worker by the time jobsEnd is settled).
    CPDFObjRef front;
    std::shared_ptr<int> surplus;
  };
  CPDFObjRef m_pageFront;              // of the current page, as in DonePage
  std::shared_ptr<int> m_pageSurplus;  // of the current page, as in DonePage
  // Pages stay this many visits in memory after their own, so that the worker has compressed
  // their streams by the time they are written; the order of writing stays that of the pages.
  static constexpr size_t kReleaseLag = 160;
  std::deque<DonePage> m_donePages;  // oldest first
  // The page objects visited so far, by number: a page tree that lists one page object twice
  // gives its second place a copy of its own (see PageOfItsOwn).
  std::vector<bool> m_visitedPages;
  // What stood under the output name when the save began (see CleanUpAfterFailure).
  std::optional<std::tuple<dev_t, ino_t, off_t, int64_t>> m_outputBefore;
  // Content streams filed by this run, by their text: pages stamped alike share one stream.
  SharedContentsCache m_sharedContents;
  SharedContentsCache m_sharedStamps;  // number stamps, by NumberStamp::Key
  // Compresses the filed streams while the walk goes on: the jobs of a page are settled when
  // that page is written, kReleaseLag visits later.
  std::unique_ptr<StreamCompressor> m_compressor;
};

}  // namespace quarn
