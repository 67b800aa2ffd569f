#include "app/driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <utility>

#include "app/image_watermark.h"
#include "app/number_stamp.h"
#include "app/page_number_stamp.h"
#include "app/progress_line.h"
#include "app/text_watermark_stamp.h"
#include "app/watermark_stamp.h"
#include "app/zorvane_app.h"
#include "pdf/content/content_lexer.h"
#include "pdf/content/graph_objs.h"
#include "pdf/content/xobject.h"
#include "pdf/document/doc.h"
#include "pdf/document/page_contents.h"
#include "pdf/document/page_session.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/signatures.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/geometry.h"
#include "pdf/object/limits.h"
#include "pdf/stream/stream.h"
#include "platform/file_status.h"
#include "platform/temp_file.h"

namespace quarn {

namespace {

// The name an error line gives a file: `shown` when set, else the file's own name.
const char* ShownName(const std::string& shown, const std::string& name) {
  return shown.empty() ? name.c_str() : shown.c_str();
}

// What stands under a name: file identity, size and change time (nothing when there is none).
std::optional<std::tuple<dev_t, ino_t, off_t, int64_t>> FileState(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) return std::nullopt;
  const int64_t changed = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
  return std::make_tuple(info.st_dev, info.st_ino, info.st_size, changed);
}

// A last page resolved against the page count: negative stays empty (0), 0 is the last page.
int32_t ResolveLastPage(int32_t last, int32_t pageCount) {
  if (last < 0) return 0;
  return last == 0 ? pageCount : last;
}

}  // namespace

// ---- option values -----------------------------------------------------------------------------

int32_t DecimalValue(std::string_view text) {
  const std::string copy(text);
  const long long value = std::strtoll(copy.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

WatermarkSpec ParseWatermarkSpec(std::string_view value) {
  WatermarkSpec parsed;
  const size_t comma = value.find(',');
  parsed.fileName = std::string(value.substr(0, comma));
  parsed.givenName = parsed.fileName;
  if (comma != std::string_view::npos) {
    const std::string_view rest = value.substr(comma + 1);
    const size_t second = rest.find(',');
    parsed.firstPage = DecimalValue(rest.substr(0, second));
    if (second != std::string_view::npos) parsed.lastPage = DecimalValue(rest.substr(second + 1));
  }
  if (!parsed.fileName.empty()) {
    // The extension is looked for in the last path component only: "dir.v2/logo" has none.
    const size_t slash = parsed.fileName.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (parsed.fileName.find('.', base) == std::string::npos) parsed.fileName += ".pdf";
  }
  parsed.firstPage = std::max<int32_t>(parsed.firstPage, 1);
  return parsed;
}

TextWatermarkOption ParseTextWatermarkOption(std::string_view value) {
  TextWatermarkOption parsed;
  size_t i = 0;
  for (; i < value.size() && value[i] != ','; ++i) {
    const bool escaped =
        value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == ',' || value[i + 1] == '\\');
    if (escaped) ++i;
    parsed.text += value[i];
  }
  if (i < value.size()) {
    const std::string_view pages = value.substr(i + 1);
    const size_t comma = pages.find(',');
    parsed.firstPage = DecimalValue(pages.substr(0, comma));
    if (comma != std::string_view::npos) parsed.lastPage = DecimalValue(pages.substr(comma + 1));
  }
  parsed.firstPage = std::max<int32_t>(parsed.firstPage, 1);
  return parsed;
}

PageRanges ResolvePageRanges(int32_t watermarkFirst, int32_t watermarkLast, int32_t numberingFirst,
                             int32_t numberingLast, int32_t pageCount) {
  PageRanges ranges;
  ranges.watermarkFirst = std::max<int32_t>(watermarkFirst, 1);
  ranges.watermarkLast = ResolveLastPage(watermarkLast, pageCount);
  ranges.numberingFirst = numberingFirst;
  ranges.numberingLast = ResolveLastPage(numberingLast, pageCount);
  const int32_t first = ranges.watermarkFirst != 0 && numberingFirst != 0
                            ? std::min(ranges.watermarkFirst, numberingFirst)
                            : std::max(ranges.watermarkFirst, numberingFirst);
  ranges.firstVisited = std::max<int32_t>(first, 1);
  ranges.lastVisited = std::min(pageCount, std::max(ranges.watermarkLast, ranges.numberingLast));
  return ranges;
}

// ---- the driver --------------------------------------------------------------------------------

CPDFDriver::CPDFDriver(CPDFLib& lib, CZorvaneApp& app) : m_lib(lib), m_app(app) {}

CPDFDriver::~CPDFDriver() = default;

namespace {

// The first line of `fd`, without its end of line, read up to the bound on a password line. A
// pipe is waited on while a writer holds it open; one without a writer is at its end.
std::optional<std::string> ReadFirstLine(int fd) {
  std::string line;
  char buffer[256];
  while (line.size() < limits::kMaxPasswordLineBytes) {
    const size_t want = std::min(sizeof buffer, limits::kMaxPasswordLineBytes - line.size());
    const ssize_t n = read(fd, buffer, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, -1) < 0 && errno != EINTR) return std::nullopt;
      continue;
    }
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    const std::string_view got(buffer, static_cast<size_t>(n));
    const size_t end = got.find('\n');
    line.append(got.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::optional<std::string> ReadPassword(const std::string& fileName, PasswordFileError* error) {
  PasswordFileError ignored;
  PasswordFileError& why = error ? *error : ignored;
  why = PasswordFileError::kNone;
  if (fileName == "-") return ReadFirstLine(STDIN_FILENO);
  // Opened without waiting: a FIFO that no one writes to must not hold the run forever.
  const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = PasswordFileError::kCannotOpen;
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> line;
  if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode))) {
    why = PasswordFileError::kNotAFile;
  } else {
    line = ReadFirstLine(fd);
    if (!line) why = PasswordFileError::kCannotOpen;
  }
  close(fd);
  return line;
}

bool CPDFDriver::SetOptions(const StampOptions& options) {
  m_passwordFile = options.passwordFile;
  m_watermark = WatermarkSpec{};
  if (options.watermarkSpec) m_watermark = ParseWatermarkSpec(*options.watermarkSpec);
  m_watermarkValue = options.watermarkSpec.value_or("");
  m_fit = options.fit;
  m_up = options.up;
  m_incremental = options.incremental;
  m_refusedStyle = RefusedStyleLine(options);
  m_watermarkStyle = StampStyle{};
  if (options.watermarkOpacitySpec && !m_refusedStyle) {
    m_watermarkStyle =
        ParseWatermarkOpacityOption(*options.watermarkOpacitySpec).value_or(StampStyle{});
  }
  SetTextWatermarkOptions(options);
  SetNumberingOptions(options);
  return true;
}

void CPDFDriver::SetTextWatermarkOptions(const StampOptions& options) {
  m_watermarkTurn = WatermarkTurn{};
  m_textWatermark.reset();
  m_textWatermarkValue = options.textWatermarkSpec.value_or("");
  if (m_refusedStyle) return;
  if (options.watermarkTurnSpec && (options.watermarkSpec || options.textWatermarkSpec)) {
    m_watermarkTurn =
        ParseWatermarkTurnOption(*options.watermarkTurnSpec).value_or(WatermarkTurn{});
  }
  if (!options.textWatermarkSpec) return;
  const TextWatermarkOption parsed = ParseTextWatermarkOption(*options.textWatermarkSpec);
  if (parsed.text.empty()) {
    // Nothing to draw is not what was asked for.
    m_refusedStyle = "invalid value of -wmt: " + *options.textWatermarkSpec;
    return;
  }
  TextWatermarkSettings settings;
  settings.text = parsed.text;
  settings.firstPage = parsed.firstPage;
  settings.lastPage = parsed.lastPage;
  if (options.watermarkFontSpec) {
    settings.font = ParseWatermarkFontOption(*options.watermarkFontSpec).value_or(WatermarkFont{});
  }
  m_textWatermark = std::move(settings);
}

void CPDFDriver::SetNumberingOptions(const StampOptions& options) {
  m_numbering = NumberingSettings{};
  m_numbering.spread = options.spread;
  // -nbf and -nbs alone change nothing: they are read for a numbered run only. Without -nbp the
  // numbering range is 0..0, resolved later to 0..page count, and no number stamp is made.
  if (!options.numberingOn) return;
  m_numbering.on = true;
  const NumberingPages pages = ParseNumberingPagesOption(options.numberingPagesSpec.value_or(""));
  m_numbering.firstPage = pages.firstPage;
  m_numbering.lastPage = pages.lastPage;
  m_numbering.initial = pages.initial;
  m_numbering.text = ParseNumberFormatOption(options.numberFormatSpec.value_or(""));
  m_numbering.placement = ParseNumberPlacementOption(options.numberPlacementSpec);
  m_numberingPagesValue = options.numberingPagesSpec.value_or("");
  if (options.numberColourSpec) {
    m_numbering.style = ParseNumberColourOption(*options.numberColourSpec).value_or(StampStyle{});
  }
  if (options.numberPlacementSpec && PlacementLocationOutOfRange(*options.numberPlacementSpec)) {
    m_app.WriteLog("location out of 1-8 in -nbs, 8 used: %s", options.numberPlacementSpec->c_str());
  }
}

void CPDFDriver::LogError(const std::string& message) { m_app.WriteError(message); }

void CPDFDriver::LogError(const std::string& message, const CPDFErrorRecord& record) {
  m_app.WriteError(message);
  m_app.WriteErrorReport(record);
}

bool CPDFDriver::Process(const std::string& inputFile, const std::string& outputFile) {
  m_outputWritten = false;
  m_signedInput = false;
  m_sharedContents.Clear();
  m_sharedStamps.Clear();
  m_session.reset();
  // Before anything is opened: a number format that the font cannot show ends the run here.
  m_stamps.clear();
  if (m_refusedStyle) {
    LogError(*m_refusedStyle);
    return false;
  }
  m_stampPages.clear();
  if (!m_watermark.fileName.empty()) {
    // An image file is known by its bytes: it needs no extension.
    auto watermark = std::make_unique<WatermarkStamp>(
        WatermarkFileName(m_watermark.givenName, m_watermark.fileName), m_fit, m_up,
        m_watermarkStyle.opacity);
    watermark->SetTurn(m_watermarkTurn);
    m_stamps.push_back(std::move(watermark));
    m_stampPages.emplace_back(m_watermark.firstPage, m_watermark.lastPage);
  }
  if (m_textWatermark) {
    auto text = std::make_unique<TextWatermarkStamp>(*m_textWatermark, m_fit, m_up,
                                                     m_watermarkStyle.opacity);
    text->SetTurn(m_watermarkTurn);
    m_stamps.push_back(std::move(text));
    m_stampPages.emplace_back(m_textWatermark->firstPage, m_textWatermark->lastPage);
  }
  if (m_numbering.on) {
    m_stamps.push_back(std::make_unique<PageNumberStamp>(m_numbering));
    m_stampPages.emplace_back(m_numbering.firstPage, m_numbering.lastPage);
  }
  for (const auto& stamp : m_stamps) {
    if (!stamp->Prepare(*this)) return false;
  }
  if (!OpenInput(inputFile)) return false;
  // A document in which no page can be found is not stamped: writing it back unchanged would
  // report a success that did not happen.
  const int32_t pageCount = m_doc->GetPageCount();
  if (pageCount <= 0) {
    const std::string line = Format("no page in PDF Document: %s", inputFile.c_str());
    if (pageCount < 0) {
      LogError(line, m_doc->LastError());
    } else {
      LogError(line);
    }
    m_doc.reset();
    return false;
  }
  m_pageCount = pageCount;
  if (!SaveOutput(outputFile)) {
    CleanUpAfterFailure(inputFile, outputFile);
    return false;
  }
  // Numbers give every page a stream of its own to compress: worth a second thread, unless the
  // pages fill no batch of the worker's, when starting the thread costs more than it takes off.
  // The output is the same either way.
  const bool worker = m_numbering.on && static_cast<size_t>(pageCount) > StreamCompressor::kBatch &&
                      StreamCompressor::WorkerWanted();
  m_session = std::make_unique<PageSession>(*m_doc, m_incremental, worker);

  PageRanges ranges = ResolvePageRanges(m_watermark.firstPage, m_watermark.lastPage,
                                        m_numbering.firstPage, m_numbering.lastPage, m_pageCount);
  WarnEmptyRanges(ranges);
  for (size_t i = 0; i < m_stamps.size(); ++i) {
    // A range that reaches past the document ends at its last page.
    const auto [first, last] = m_stampPages[i];
    m_stamps[i]->SetPages(first, std::min(ResolveLastPage(last, m_pageCount), m_pageCount));
  }
  if (m_textWatermark) {
    // The text watermark's pages are visited too, wherever the other ranges end.
    const int32_t last =
        std::min(ResolveLastPage(m_textWatermark->lastPage, m_pageCount), m_pageCount);
    if (m_textWatermark->firstPage <= last) {
      ranges.firstVisited = std::min(ranges.firstVisited, m_textWatermark->firstPage);
      ranges.lastVisited = std::max(ranges.lastVisited, last);
    }
  }
  bool ok = true;
  ProgressLine progress(m_app.ProgressTerminal());
  const int64_t visited = ranges.lastVisited - ranges.firstVisited + 1;
  for (int64_t page = ranges.firstVisited; ok && page <= ranges.lastVisited; ++page) {
    ok = VisitPage(static_cast<int32_t>(page));
    progress.Update(page - ranges.firstVisited + 1, visited);
  }
  progress.Clear();
  if (ok) {
    for (const auto& stamp : m_stamps) stamp->WarnUnseen(m_app);
  }
  if (ok) {
    CPDFErrorRecord error;
    ok = m_session->Compressor().SettleAll(m_doc.get(), error);
    if (!ok) LogError("cannot update PDF GraphObjs", error);
  }
  if (ok) {
    m_page = nullptr;
    m_pageBox = nullptr;
    m_resources = nullptr;
  }
  ok = ok && ReleaseDonePages(0) && CheckCatalogWritten(inputFile) && FlushOutput(outputFile);
  if (!ok) {
    CleanUpAfterFailure(inputFile, outputFile);
    return false;
  }
  // An incremental update leaves the signed bytes as they were; a full rewrite moves them.
  if (m_signedInput && !m_incremental) {
    m_app.WriteLog(
        "the signatures of %s no longer verify after a full rewrite: use -inc to keep them",
        ShownName(m_shownInput, inputFile));
  }
  m_page = nullptr;
  m_pageBox = nullptr;
  m_resources = nullptr;
  m_session.reset();
  m_stamps.clear();
  m_doc.reset();
  return true;
}

void CPDFDriver::WarnEmptyRanges(const PageRanges& ranges) {
  const int32_t lastWatermarked = std::min(ranges.watermarkLast, m_pageCount);
  if (!m_watermark.fileName.empty() && ranges.watermarkFirst > lastWatermarked) {
    m_app.WriteLog("no page in the range of -wm: %s", m_watermarkValue.c_str());
  }
  if (m_textWatermark &&
      m_textWatermark->firstPage >
          std::min(ResolveLastPage(m_textWatermark->lastPage, m_pageCount), m_pageCount)) {
    m_app.WriteLog("no page in the range of -wmt: %s", m_textWatermarkValue.c_str());
  }
  const int32_t lastNumbered = std::min(ranges.numberingLast, m_pageCount);
  if (m_numbering.on && ranges.numberingFirst > lastNumbered) {
    m_app.WriteLog("no page in the range of -nbp: %s", m_numberingPagesValue.c_str());
  }
}

bool CPDFDriver::OpenInput(const std::string& inputFile) {
  if (!CheckReadable(inputFile)) return false;
  std::optional<std::string> password;
  if (m_passwordFile) {
    PasswordFileError why = PasswordFileError::kNone;
    password = ReadPassword(*m_passwordFile, &why);
    if (why == PasswordFileError::kNotAFile) {
      LogError(
          Format("password file is not a regular file or a pipe: %s", m_passwordFile->c_str()));
      return false;
    }
    if (!password) {
      LogError(Format("file not found: %s", m_passwordFile->c_str()));
      return false;
    }
  }
  CPDFErrorRecord error;
  m_doc = m_lib.OpenDoc(inputFile, password ? password->c_str() : nullptr, error);
  if (!m_doc) {
    if (password && error.Message() == "incorrect password") {
      LogError("incorrect password", error);
    } else {
      LogError(Format("cannot open PDF Document: %s", ShownName(m_shownInput, inputFile)), error);
      if (!password && error.Message() == "encrypted document") {
        m_app.WriteLog(
            "the document needs its password: give it with -pw PasswordFile (-pw - reads it "
            "from standard input)");
      }
    }
    return false;
  }
  if (!m_doc->MayModify()) {
    LogError(Format("the document's permissions do not allow changes: %s",
                    ShownName(m_shownInput, inputFile)));
    m_app.WriteLog("the owner password lifts them: give it with -pw PasswordFile");
    m_doc.reset();
    return false;
  }
  if (!CheckSignatures(ShownName(m_shownInput, inputFile))) {
    m_doc.reset();
    return false;
  }
  // The pages are numbered and stamped as readers show them, whatever the tree's counts say.
  const bool mended = m_doc->RepairPageTree();
  m_warningsShown = 0;
  LogNewWarnings();
  if (!mended) {
    LogError(Format("cannot read the page tree: %s", ShownName(m_shownInput, inputFile)),
             m_doc->LastError());
    m_doc.reset();
    return false;
  }
  return true;
}

bool CPDFDriver::CheckSignatures(const char* shownName) {
  // Certification forbids changing page content at every level of its permissions, and stamps
  // are page content: any change breaks the certification, whichever way it is written.
  if (IsCertified(*m_doc)) {
    LogError(Format("the document is certified against changes: %s", shownName));
    return false;
  }
  // Only a full rewrite breaks a signature; an update leaves the form unread.
  m_signedInput = !m_incremental && HasSignature(*m_doc);
  return true;
}

bool CPDFDriver::CheckReadable(const std::string& fileName) {
  // Only a name with nothing under it is "not found"; a name the host refuses for another
  // reason (too long, no permission) is reported by the open with that reason.
  const FileKind kind = KindOf(fileName);
  if (kind == FileKind::kMissing) {
    LogError(Format("file not found: %s", fileName.c_str()));
    return false;
  }
  if (kind == FileKind::kSpecial) {
    LogError(Format("not a regular file: %s", fileName.c_str()));
    return false;
  }
  return true;
}

bool CPDFDriver::SaveOutput(const std::string& outputFile) {
  // The output is written where its name leads: through a symbolic link to the file it names
  // (the link stays a link), and always through a temporary beside it that replaces it in one
  // step, so that an output that is another name of the input (a hard link, a second path)
  // never truncates the file being read.
  const std::string target = FollowLinks(outputFile);
  if (IsSpecialFile(target)) {
    LogError(Format("output is not a regular file: %s", outputFile.c_str()));
    return false;
  }
  m_outputBefore = FileState(outputFile);
  bool saved = false;
  if (m_incremental) {
    // An update in place replaces the file the document was opened from, whatever name the
    // output gave it; another output gets a copy of the input with the update after it.
    const bool inPlace = outputFile == m_doc->FileName() || SameFile(outputFile, m_doc->FileName());
    saved = m_doc->SaveUpdate(inPlace ? FollowLinks(m_doc->FileName()).c_str() : target.c_str());
  } else {
    saved = m_doc->Save(target.c_str(), false, false);
  }
  if (saved) {
    m_outputWritten = true;
    return true;
  }
  // One line per failure: a save that cannot even open its output ends the run here.
  LogError(Format("cannot save PDF Document: %s", ShownName(m_shownOutput, outputFile)),
           m_doc->LastError());
  return false;
}

bool CPDFDriver::VisitPage(int32_t page) {
  CPDFObjRef pageRef;
  m_page = OpenPage(page - 1, &pageRef);
  if (!m_page) {
    LogError(Format("cannot get PDF Page: %d", page), m_doc->LastError());
    return false;
  }
  m_session->BeginPage(*m_page, pageRef);
  m_pageBox = FetchPageBox(page);
  if (!m_pageBox) {
    LogError("cannot get MediaBox", m_doc->LastError());
    return false;
  }
  CPDFRect* cropBox = m_page->Get_CropBox();
  if (cropBox && NormaliseBox(*cropBox)) m_session->NoteFixedBox("CropBox");
  m_view = ViewOfPage(*m_pageBox, cropBox, m_page->Get_Rotate());
  std::vector<Stamp*> covering;
  for (const auto& stamp : m_stamps) {
    if (stamp->Covers(page)) covering.push_back(stamp.get());
  }
  const bool stamped = !covering.empty();
  m_session->WatchResources(stamped);
  m_resources = PageResources(stamped);
  if (!m_resources && stamped) {
    LogError("cannot get Resources", m_doc->LastError());
    return false;
  }
  m_pageEnclosed = false;
  m_pageEnd.reset();
  m_pageFront.Reset();
  m_pageSurplus.reset();
  if (stamped && !OwnContentsArray()) return false;
  ScanContentEnd(page, covering);
  m_session->NoteContentsBefore();
  if (!DrawStamps(page, covering)) return false;
  if (m_resources) m_resources->UpdateProcSet();
  // Once the worker has scanned the page's content, the "q" in front of it gets the saves that
  // the content's surplus restores take away.
  std::function<bool()> beforeWrite;
  if (m_pageSurplus) {
    beforeWrite = [this, pageRef, front = m_pageFront, surplus = std::move(m_pageSurplus)] {
      return *surplus <= 0 || AddSurplusSaves(pageRef, front, *surplus);
    };
  }
  if (!m_session->FinishPage(stamped, m_resources != nullptr, std::move(beforeWrite))) {
    // A change the output would leave out must not pass for a stamped page.
    LogError(Format("cannot update PDF Page: %d", page), m_doc->LastError());
    return false;
  }
  return ReleaseDonePages(PageSession::kReleaseLag);
}

void CPDFDriver::ScanContentEnd(int32_t page, const std::vector<Stamp*>& covering) {
  // A stamp drawn over the page closes what the page's own content left open. That content is
  // scanned now, before the stamps join it: they leave nothing open themselves, and decoding
  // the shared watermark stream again on every page would only cost time.
  // Pages that draw the same streams as a page before are not scanned again; content met once
  // already (scanned on the compressor's thread) is scanned here once more, and remembered.
  m_deferredContent.reset();
  std::vector<Stamp*> over;
  for (Stamp* stamp : covering) {
    if (stamp->Place() == StampPlace::kOver) over.push_back(stamp);
  }
  if (over.empty() || !PageHasContent()) return;
  const ContentEndCache::Key key = ContentEndCache::KeyOf(*m_doc, *m_page);
  if (const ContentEnd* known = m_contentEnds.Find(key)) {
    m_pageEnd = *known;
  } else if (over.size() == 1 && !m_contentEnds.Seen(key) && DeferContentScan(*over[0], page)) {
    m_contentEnds.NoteSeen(key);
  } else {
    m_pageEnd = ScanPageEnd();
    m_contentEnds.Keep(key, *m_pageEnd);
  }
}

bool CPDFDriver::DrawStamps(int32_t page, const std::vector<Stamp*>& covering) {
  for (Stamp* stamp : covering) {
    if (!stamp->Made() && !stamp->Make(*this, page)) return false;
    if (!stamp->Draw(*this, page)) return false;
  }
  return true;
}

CPDFPage* CPDFDriver::OpenPage(int32_t index, CPDFObjRef* ref) {
  CPDFObjRef shared;
  CPDFPage* page = m_session->OpenPage(index, ref, &shared);
  if (page && shared.IsDefined()) {
    m_app.WriteLog("page object %d %d listed twice: page %d given a copy", shared.Num(),
                   shared.Gen(), index + 1);
  }
  return page;
}

bool CPDFDriver::ReleaseDonePages(size_t kept) {
  CPDFErrorRecord error;
  if (m_session->Release(kept, error)) return true;
  // A failed closing step has written its own line.
  if (error.IsError()) LogError("cannot update PDF GraphObjs", error);
  return false;
}

bool NormaliseBox(CPDFRect& box) {
  const float llx = box.Llx(), lly = box.Lly(), urx = box.Urx(), ury = box.Ury();
  if (llx <= urx && lly <= ury) return false;
  box.Set(std::min(llx, urx), std::min(lly, ury), std::max(llx, urx), std::max(lly, ury));
  return true;
}

void AddConcatMatrix(CPDFGraphObjs& objects, const Affine& m) {
  auto op = std::make_unique<PageDescOperator>();
  op->SetConcatMatrix(static_cast<float>(m[0]), static_cast<float>(m[1]), static_cast<float>(m[2]),
                      static_cast<float>(m[3]), static_cast<float>(m[4]), static_cast<float>(m[5]));
  objects.Append(std::move(op));
}

CPDFRect* CPDFDriver::FetchPageBox(int32_t page) {
  // A rectangle may be given by any two opposite corners; readers take a page without a
  // usable box as US Letter, and so does the stamp (the page gets that box of its own).
  CPDFRect* box = m_page->Get_MediaBox();
  if (box && NormaliseBox(*box)) m_session->NoteFixedBox("MediaBox");
  if (box && box->Width() > 0 && box->Height() > 0) return box;
  m_app.WriteLog("MediaBox of page %d is missing or empty: US Letter assumed", page);
  auto letter = std::make_unique<CPDFRect>();
  if (!letter->Create(m_doc.get(), 0, 0, kLetterWidth, kLetterHeight) ||
      !m_page->Set_MediaBox(std::move(letter))) {
    return nullptr;
  }
  m_session->NoteFixedBox("MediaBox");
  return m_page->Get_MediaBox();
}

CPDFResDict* CPDFDriver::PageResources(bool stamped) {
  if (CPDFResDict* resources = m_page->Get_Resources()) return resources;
  if (!stamped) return nullptr;
  auto made = std::make_unique<CPDFResDict>();
  if (!made->Create(m_doc.get()) || !m_page->Set_Resources(std::move(made))) return nullptr;
  return m_page->Get_Resources();
}

bool CPDFDriver::OwnContentsArray() {
  // The stamps join the page's "Contents" array. An array that is an object of its own may be
  // shared by other pages, which would then show this page's stamps too: the page gets a copy
  // of its own, and the array stays as the input has it.
  const CPDFAtom* contents = m_page->Lookup("Contents");
  if (contents && contents->IsRef()) {
    const CPDFObjRef shared = *static_cast<const CPDFObjRef*>(contents);
    // One stream, as a rule: told from the file without reading it.
    if (m_doc->IsStreamInFile(shared)) return true;
    const CPDFArray* parts = AsArray(m_doc->GetObj(shared));
    if (!parts) {
      m_doc->ClearError();
      return true;
    }
    CPDFObjRef made;
    if (!m_doc->RegistObj(parts->Clone(), &made) || !m_page->SetReference("Contents", made)) {
      LogError("cannot add PDF Contents", m_doc->LastError());
      return false;
    }
    m_session->NoteOwned(made);
    m_doc->UnloadObj(shared);
  }
  // Items that are not streams hold no content, and readers that meet one drop the whole
  // array, stamps and all: they are left out before the content is read or stamped.
  if (DropNonStreamContents(*m_page)) return true;
  LogError("cannot add PDF Contents", m_doc->LastError());
  return false;
}

void CPDFDriver::LogNewWarnings() {
  const std::vector<std::string>& warnings = m_doc->Warnings();
  for (; m_warningsShown < warnings.size(); ++m_warningsShown) {
    m_app.WriteLog("%s", warnings[m_warningsShown].c_str());
  }
}

bool CPDFDriver::CheckCatalogWritten(const std::string& inputFile) {
  if (m_session->CatalogWritten()) return true;
  LogError(Format("no catalog in PDF Document: %s", inputFile.c_str()));
  return false;
}

bool CPDFDriver::FlushOutput(const std::string& outputFile) {
  const bool flushed = m_doc->Flush();
  // Objects that the save found damaged and wrote as null are reported, whatever the outcome.
  LogNewWarnings();
  if (flushed) return true;
  // The output is what failed to be written, whatever file the document was read from.
  LogError(Format("cannot flush PDF Document: %s", ShownName(m_shownOutput, outputFile)),
           m_doc->LastError());
  return false;
}

void CPDFDriver::CleanUpAfterFailure(const std::string& inputFile, const std::string& outputFile) {
  m_page = nullptr;
  m_pageBox = nullptr;
  m_resources = nullptr;
  const bool inPlace = outputFile == inputFile || SameFile(outputFile, inputFile);
  // The session and its worker go first: they end with the run, before the document.
  m_session.reset();
  // Closing a document that is being saved removes the output it created (a temporary or a
  // new file); the input is never touched.
  m_doc.reset();
  // A file that this run did not write is not ours to delete: when the save could not even open
  // the output, or kept its work in a temporary that never replaced the file, whatever stood
  // under that name before stays.
  if (!m_outputWritten || inPlace) return;
  const auto now = FileState(outputFile);
  if (now && now != m_outputBefore) RemoveFile(outputFile);
}

// ---- content -----------------------------------------------------------------------------------

bool CPDFDriver::AddGraphics(const CPDFGraphObjs& objects, StampPlace place) {
  const bool after = place == StampPlace::kOver;
  CPDFStream stream(nullptr);
  CPDFErrorRecord error;
  const bool enclose = after && PageHasContent();
  if (!objects.UpdateContents(stream, error)) {
    LogError("cannot update PDF GraphObjs", error);
    return false;
  }
  std::string prefix;
  if (enclose && !EncloseContent(prefix)) return false;
  if (enclose && !PrefixData(stream, prefix)) {
    LogError("cannot update PDF GraphObjs",
             CPDFException("CPDFGraphObjs", "UpdateContents", kRuntimeError, "out of memory"));
    return false;
  }
  return AddSharedContents(stream, true, after);
}

void CPDFDriver::NotePageOwned(const CPDFObjRef& ref) { m_session->NoteOwned(ref); }

ContentsArray CPDFDriver::ContentsArrayKind() const {
  return m_session->Incremental() ? ContentsArray::kDirect : ContentsArray::kIndirect;
}

bool CPDFDriver::AddStampOver(NumberStamp stamp, CPDFObjRef* filed) {
  if (filed) filed->Reset();
  if (PageHasContent()) {
    if (m_deferredContent && !m_pageEnclosed) {
      // The maker scans the content for what it leaves open (EncloseContent, on its thread);
      // the saves for surplus restores are added to the "q" in front when the page is written.
      m_pageEnclosed = true;
      stamp.pageContent = std::exchange(m_deferredContent, std::nullopt);
      stamp.prefix = "Q ";
      stamp.surplus = m_pageSurplus = std::make_shared<int>(0);
      if (!AddEnclosingSave(0, &m_pageFront)) return false;
    } else if (!EncloseContent(stamp.prefix)) {
      return false;
    }
  }
  // A stamp whose closing is not known yet draws a text of this page alone: nothing to share.
  std::string key = stamp.pageContent ? std::string() : stamp.Key();
  if (const CPDFObjRef* shared = key.empty() ? nullptr : m_sharedStamps.Find(key)) {
    return ReferToShared(*shared, true);
  }
  // Filed empty: the worker writes its text, and the compressed data replaces the empty data
  // before anything writes the stream.
  CPDFStream empty(nullptr);
  CPDFObjRef made;
  if (!AddContentsFiled(*m_page, empty, true, &made, ContentsArrayKind())) {
    LogError("cannot add PDF Contents", m_doc->LastError());
    return false;
  }
  m_session->Compressor().Submit(
      made, [stamp = std::move(stamp)](std::string& text, CPDFErrorRecord& error) {
        return stamp.Write(text, error);
      });
  if (!key.empty()) m_sharedStamps.Add(std::move(key), made);
  if (filed) *filed = made;
  return true;
}

bool CPDFDriver::DeferContentScan(Stamp& stamp, int32_t page) {
  // Detached content is held until the worker has scanned it, for at most the pages between a
  // visit and its page's writing (the session's release lag, and a batch): 64 KiB each keeps
  // that to about 14 MB at worst. A page's compressed content is mostly far less.
  constexpr uint64_t kMaxDetached = 64 * 1024;
  if (!stamp.DrawsTextOfItsOwn(page)) return false;
  DetachedContents detached;
  if (!DetachContents(*m_page, kMaxDetached, detached)) return false;
  m_deferredContent = std::move(detached);
  return true;
}

bool CPDFDriver::EncloseContent(std::string& prefix) {
  // Content drawn over the page starts from whatever graphics state the page's own content left
  // behind. Producers that change the matrix without q/Q would move the stamp off the page or
  // hide it, so the page's content is enclosed in q ... Q: "q" goes in front of it and the new
  // stream begins with "Q".
  // Content may also end with states saved and not restored, a text object or an array left
  // open; those are closed first (once a page), so that the stamp is drawn as on a fresh page.
  // Content that restores more states than it saves would take the enclosing "q" away: it gets
  // one more "q" in front for each.
  prefix = "Q ";
  if (std::exchange(m_pageEnclosed, true)) return AddEnclosingSave(0);
  const ContentEnd end = PageEnd();
  prefix = ClosingOperators(end) + prefix;
  return AddEnclosingSave(end.surplusRestores);
}

std::string CPDFDriver::EnclosingSaves(int extra) {
  // Beyond a few, restores without saves are hostile content, not a producer's slip.
  constexpr int kMaxExtraSaves = 16;
  std::string saves = "q";
  for (int i = 0; i < std::min(extra, kMaxExtraSaves); ++i) saves += " q";
  return saves;
}

bool CPDFDriver::AddEnclosingSave(int extra, CPDFObjRef* front) {
  const std::string saves = EnclosingSaves(extra);
  if (const CPDFObjRef* shared = m_sharedContents.Find(saves)) {
    if (front) *front = *shared;
    return ReferToShared(*shared, false);
  }
  CPDFStream save(nullptr);
  return save.SetData(saves.data(), saves.size()) && AddSharedContents(save, false, false, front);
}

bool CPDFDriver::AddSurplusSaves(const CPDFObjRef& pageRef, const CPDFObjRef& front, int extra) {
  auto* page = dynamic_cast<CPDFDict*>(m_doc->GetObj(pageRef));
  CPDFArray* parts = page ? AsArray(page->GetValue(m_doc.get(), "Contents")) : nullptr;
  const CPDFAtom* first = parts && parts->Count() > 0 ? parts->At(0) : nullptr;
  // Only the "q" this run put there is replaced.
  if (!first || !first->IsRef() || !front.IsDefined() ||
      !(*static_cast<const CPDFObjRef*>(first) == front)) {
    return true;
  }
  const std::string saves = EnclosingSaves(extra);
  CPDFObjRef ref;
  if (const CPDFObjRef* shared = m_sharedContents.Find(saves)) {
    ref = *shared;
  } else {
    auto stream = std::make_unique<CPDFStream>(m_doc.get());
    if (!stream->SetData(saves.data(), saves.size()) ||
        !m_doc->RegistObj(std::move(stream), &ref)) {
      LogError("cannot add PDF Contents", m_doc->LastError());
      return false;
    }
    m_sharedContents.Add(saves, ref);
  }
  parts->RemoveAt(0);
  parts->InsertAt(0, std::make_unique<CPDFObjRef>(ref));
  return true;
}

bool CPDFDriver::ReferToShared(const CPDFObjRef& shared, bool after) {
  if (!AddContentsReference(*m_page, shared, after, ContentsArrayKind())) {
    LogError("cannot add PDF Contents", m_doc->LastError());
    return false;
  }
  return true;
}

bool CPDFDriver::AddSharedContents(CPDFStream& stream, bool compress, bool after,
                                   CPDFObjRef* filed) {
  // Every page stamped with the same text draws the same bytes: the stream is filed (and
  // compressed) once and each further page refers to it. This keeps a long document from
  // holding, compressing and writing one identical stream per page.
  std::string text(stream.Data(), stream.DataLength());
  if (const CPDFObjRef* shared = m_sharedContents.Find(text)) return ReferToShared(*shared, after);
  // Filed with its plain text; the compressed data replaces it before anything writes it.
  CPDFObjRef made;
  if (!AddContentsFiled(*m_page, stream, after, &made, ContentsArrayKind())) {
    LogError("cannot add PDF Contents", m_doc->LastError());
    return false;
  }
  if (compress) m_session->Compressor().Submit(made, text);
  m_sharedContents.Add(std::move(text), made);
  if (filed) *filed = made;
  return true;
}

bool CPDFDriver::PageHasContent() const {
  CPDFObject* contents = m_page->Get_Contents();
  if (const CPDFArray* parts = AsArray(contents)) return parts->Count() > 0;
  return contents != nullptr && contents->TypeCode() != kTypeNull;
}

ContentEnd CPDFDriver::PageEnd() const { return m_pageEnd ? *m_pageEnd : ScanPageEnd(); }

ContentEnd CPDFDriver::ScanPageEnd() const {
  bool read = true;
  ContentEnd end = EndOfContent([&](const ContentPieceSink& sink) {
    read = StreamContents(*m_page, sink);
    return read;
  });
  if (!read) m_doc->ClearError();
  return end;
}

bool CPDFDriver::PrefixData(CPDFStream& stream, const std::string& prefix) {
  std::string data = prefix;
  data.append(stream.Data(), stream.DataLength());
  return stream.SetData(data.data(), data.size());
}

}  // namespace quarn
