#include "app/zorvane_app.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <new>

#include "app/command_line.h"
#include "app/driver.h"
#include "app/number_format.h"
#include "app/stamp_style.h"
#include "app/version_banner.h"
#include "pdf/library/pdf_lib.h"
#include "platform/error_text.h"
#include "platform/file_status.h"
#include "platform/locale.h"
#include "platform/output_file.h"
#include "platform/shared_library.h"

namespace quarn {

std::string UsageText(const char* programName) {
  return Format(
      "Usage: %s [-v] InputFile [OutputFile] [-wm FileName,StartPage,EndPage] [-fit] [-up] "
      "[-nbp StartPage,EndPage,Initial] [-nbf Type,Format,Font,Size] "
      "[-nbs Location,OffsetX,OffsetY] [-sp] [-l LogFile] [-t TempPath]\n",
      programName);
}

std::string HelpText(const char* programName) {
  // The options in the order of the manual, each with the gist of its entry there.
  static constexpr const char* kOptions[][2] = {
      {"-v", "version banner on standard error; exits 1"},
      {"-wm FileName,StartPage,EndPage", "watermark (PDF page, PNG or JPEG) on pages"},
      {"-fit", "stretch the watermark to the page"},
      {"-up", "draw the watermark over the page content"},
      {"-wmt Text,StartPage,EndPage", "text watermark on pages (a comma in Text: \\,)"},
      {"-wmf Font,Size,Colour,Location", "text watermark font, size, #RRGGBB, place 0-8"},
      {"-wmr Angle", "turn every watermark (degrees, or diag)"},
      {"-wmo Opacity", "opacity of every watermark, 0 to 1"},
      {"-nbp StartPage,EndPage,Initial", "number these pages, the first as Initial"},
      {"-nbf Type,Format,Font,Size", "number style n/R/r, printf format, font, size"},
      {"-nbs Location,OffsetX,OffsetY", "number position 1-8, offsets in millimetres"},
      {"-nbc Colour,Opacity", "number colour #RRGGBB and opacity 0 to 1"},
      {"-sp", "mirror the number position on facing pages"},
      {"-pw PasswordFile", "password: the first line of PasswordFile"},
      {"-inc", "write the stamps as an incremental update"},
      {"-l LogFile", "append the log to LogFile (\"\": no log)"},
      {"-t TempPath", "directory for temporary files"},
      {"-h, --help", "print this help on standard output"},
      {"--version", "print the versions on standard output"},
  };
  std::string text = UsageText(programName);
  for (const auto& [option, meaning] : kOptions) text += Format("  %-31s %s\n", option, meaning);
  text += "The manual: man zorvane; many files at once: man zorvane-many\n";
  return text;
}

namespace {

// The file name that stands for standard input (as the input) or standard output (as the output).
constexpr char kStandardStream[] = "-";

// Writes all of `size` bytes, going on after interrupted and partial writes.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies everything `from` still has into `to`; false with errno set when a read or write fails.
bool CopyAll(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || !WriteAll(to, buffer, static_cast<size_t>(n))) return false;
  }
}

// Copies the file `path` to standard output; false with errno set on failure.
bool CopyFileToStandardOutput(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool copied = CopyAll(fd, STDOUT_FILENO);
  const int err = errno;
  close(fd);
  errno = err;
  return copied;
}

}  // namespace

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  char buffer[64] = {};
  if (ctime_r(&now, buffer) == nullptr) return std::string();
  std::string text = buffer;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

CZorvaneApp::CZorvaneApp(std::FILE* standardError, std::FILE* standardOutput)
    : m_standardError(standardError), m_standardOutput(standardOutput) {}

CZorvaneApp::~CZorvaneApp() { Close(); }

CZorvaneApp& CZorvaneApp::Instance() {
  static CZorvaneApp app;
  return app;
}

int CZorvaneApp::Main(int argc, const char* const* argv) {
  KeepStandardDescriptorsOpen();
  CommandLine commandLine;
  if (!commandLine.Parse(argc, argv)) {
    PrintToStandardError(UsageText(commandLine.programName));
    return 1;
  }
  // The banner wins over every other option: nothing is opened, not even the log.
  if (commandLine.version) {
    PrintToStandardError(VersionBanner());
    return 1;
  }
  // Asked for, so they go to standard output with success, unlike the bare usage.
  if (commandLine.help) return PrintToStandardOutput(HelpText(commandLine.programName)) ? 0 : 1;
  if (commandLine.versionSummary) return PrintToStandardOutput(VersionSummary()) ? 0 : 1;
  if (!Init(commandLine.logFile, commandLine.tempPath)) return 1;
  // Past a file-size limit (ulimit -f) a write then fails with EFBIG and the run ends with its
  // error line, instead of the process dying with the output half written.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader of standard output that goes away makes the write fail with EPIPE, so that the run
  // ends with its error line and removes its temporary files instead of dying of SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  int status = 1;
  try {
    status = Run(commandLine.inputFile, commandLine.outputFile, commandLine.ToStampOptions());
  } catch (const std::bad_alloc&) {
    // What escaped the run still ends with its line; the log is closed properly below.
    WriteFailure("out of memory");
  } catch (const LibraryUnavailable& e) {
    // A library opened on first use (installed fonts, image codecs, ciphers) is missing.
    WriteFailure(e.what());
  } catch (...) {
    WriteFailure("internal error");
  }
  Close();
  return status == 0 ? 0 : 1;
}

void CZorvaneApp::KeepStandardDescriptorsOpen() {
  // A file opened while a standard descriptor is closed would take its number, and the PDF
  // meant for standard output would go into it: closed ones are held by /dev/null, and a closed
  // standard output is remembered so that "-" as the output fails.
  // One poll looks at all three (a closed one comes back as POLLNVAL); only when poll itself
  // fails does fcntl ask one by one.
  pollfd descriptors[] = {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
  const bool polled = poll(descriptors, 3, 0) >= 0;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    const bool isOpen =
        polled ? (descriptors[fd].revents & POLLNVAL) == 0 : fcntl(fd, F_GETFD) != -1;
    if (fd == STDOUT_FILENO) m_standardOutputOpen = isOpen;
    if (isOpen) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

bool CZorvaneApp::Init(const char* logFile, const char* tempPath) {
  if (!SetHostLocale()) return false;
  OpenLog(logFile);
  if (tempPath != nullptr) m_tempPath = tempPath;
  return true;
}

void CZorvaneApp::OpenLog(const char* logFile) {
  Close();
  if (logFile == nullptr) {
    m_log = m_standardError;
    return;
  }
  if (*logFile == '\0') return;
  // An unusable log file silences the log; the run itself goes on, and standard error says so
  // once, since nothing else will. A FIFO that no one reads is one (the open does not wait for
  // a reader, it fails); one that is read is written as any file, waiting for its reader.
  const int fd = open(logFile, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  int error = errno;
  if (fd >= 0) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
      m_ownedLog.reset(fdopen(fd, "a"));
    }
    error = errno;
    if (!m_ownedLog) close(fd);
  }
  m_log = m_ownedLog.get();
  if (m_log == nullptr) {
    PrintToStandardError(Format("cannot open the log file, running without a log: %s: %s\n",
                                logFile, SystemErrorText(error).c_str()));
  }
}

void CZorvaneApp::Close() {
  m_ownedLog.reset();
  m_log = nullptr;
}

int CZorvaneApp::Run(const char* inputFile, const char* outputFile, const StampOptions& options) {
  WriteLog("Start at: %s", LocalTimeText().c_str());
  const std::string inputName = inputFile != nullptr ? inputFile : "";
  // Without an output file the input is rewritten in place; standard input goes on to standard
  // output.
  const std::string outputName =
      outputFile != nullptr && *outputFile != '\0' ? std::string(outputFile) : inputName;
  WriteLog(" InputFile: %s", inputName.c_str());
  WriteLog("OutputFile: %s", outputName.c_str());
  for (const std::string& option : options.unknownOptions) {
    WriteLog("unknown option ignored: %s", option.c_str());
  }

  if (!CheckStampValues(options)) return 1;
  std::unique_ptr<CPDFLib> lib = StartLibrary();
  if (!lib) {
    WriteLog("cannot initialize libquarn");
    return 1;
  }
  if (!ProcessDocument(*lib, inputName, outputName, options)) return 1;
  lib.reset();

  WriteLog("Finish at: %s", LocalTimeText().c_str());
  return 0;
}

bool CZorvaneApp::CheckStampValues(const StampOptions& options) {
  const std::optional<std::string> refused = RefusedStyleLine(options);
  if (refused) {
    WriteError(*refused);
    return false;
  }
  if (!options.numberingOn || !options.numberFormatSpec) return true;
  const std::string format = NumberFormatField(*options.numberFormatSpec);
  if (IsSafeNumberFormat(format)) return true;
  WriteError(Format("invalid number format: %s", format.c_str()));
  return false;
}

std::unique_ptr<CPDFLib> CZorvaneApp::StartLibrary() {
  try {
    return std::make_unique<CPDFLib>(m_tempPath);
  } catch (...) {
    return nullptr;
  }
}

bool CZorvaneApp::ProcessDocument(CPDFLib& lib, const std::string& inputName,
                                  const std::string& outputName, const StampOptions& options) {
  // The stamping driver opens the input through `lib`, stamps the pages and writes the output,
  // logging its own error lines through this object.
  if (inputName == kStandardStream || outputName == kStandardStream) {
    return ProcessPiped(lib, inputName, outputName, options);
  }
  // Runs that rewrite one file in place take turns: each reads the file the previous one left,
  // so every run that reports success has its stamp in the result.
  FileLock lock;
  if (outputName == inputName || SameFile(outputName, inputName)) {
    (void)lock.Acquire(FollowLinks(inputName));
  }
  CPDFDriver driver(lib, *this);
  driver.SetOptions(options);
  return driver.Process(inputName, outputName);
}

bool CZorvaneApp::ProcessPiped(CPDFLib& lib, const std::string& inputName,
                               const std::string& outputName, const StampOptions& options) {
  // A PDF is read by random access and written by a rename: standard input is first spooled
  // into a temporary file, and the output is made in one that is copied to standard output only
  // once it is complete, so that a failed run writes nothing there. Both are removed on every
  // path.
  std::unique_ptr<OutputFile> spooledInput;
  std::unique_ptr<OutputFile> spooledOutput;
  std::string input = inputName;
  std::string output = outputName;
  if (inputName == kStandardStream) {
    if (options.passwordFile && *options.passwordFile == kStandardStream) {
      WriteError("standard input cannot give both the password and the document");
      return false;
    }
    spooledInput = SpoolStandardInput();
    if (!spooledInput) return false;
    input = spooledInput->Path();
  }
  if (outputName == kStandardStream) {
    if (!m_standardOutputOpen) {
      WriteError(Format("cannot write to standard output: %s", SystemErrorText(EBADF).c_str()));
      return false;
    }
    spooledOutput = CreateTempFile();
    if (!spooledOutput) return false;
    output = spooledOutput->Path();
  }
  CPDFDriver driver(lib, *this);
  driver.SetOptions(options);
  driver.SetShownNames(inputName, outputName);
  if (!driver.Process(input, output)) return false;
  if (spooledOutput && !CopyFileToStandardOutput(output)) {
    WriteError(Format("cannot write to standard output: %s", SystemErrorText(errno).c_str()));
    return false;
  }
  return true;
}

std::string CZorvaneApp::TempDirectory() const {
  if (!m_tempPath.empty()) return m_tempPath;
  const char* environment = std::getenv("TMPDIR");
  return environment != nullptr && *environment != '\0' ? environment : "/tmp";
}

std::unique_ptr<OutputFile> CZorvaneApp::CreateTempFile() {
  const std::string directory = TempDirectory();
  std::unique_ptr<OutputFile> file = OutputFile::CreateNamedIn(directory);
  if (!file) {
    WriteError(Format("cannot create a temporary file in %s: %s", directory.c_str(),
                      SystemErrorText(errno).c_str()));
  }
  return file;
}

std::unique_ptr<OutputFile> CZorvaneApp::SpoolStandardInput() {
  std::unique_ptr<OutputFile> file = CreateTempFile();
  if (!file) return nullptr;
  const int fd = file->DuplicateFd();
  const bool copied = fd >= 0 && CopyAll(STDIN_FILENO, fd);
  const int err = errno;
  if (fd >= 0) close(fd);
  if (!copied) {
    WriteError(Format("cannot read standard input: %s", SystemErrorText(err).c_str()));
    return nullptr;
  }
  return file;
}

std::FILE* CZorvaneApp::ProgressTerminal() const {
  if (m_log == m_standardError || isatty(fileno(m_standardError)) == 0) return nullptr;
  return m_standardError;
}

void CZorvaneApp::WriteLog(const char* format, ...) {
  if (m_log == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list measuring;
  va_copy(measuring, args);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string line;
  if (length > 0) {
    line.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    line.resize(static_cast<size_t>(length));
  }
  va_end(args);
  WriteLogLine(line);
}

void CZorvaneApp::WriteLogLine(const std::string& line) {
  if (m_log == nullptr) return;
  // One write per line: standard error is unbuffered, and a line written in two pieces costs two
  // system calls and may be split by another process's output.
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line).push_back('\n');
  std::fwrite(whole.data(), 1, whole.size(), m_log);
  std::fflush(m_log);
}

void CZorvaneApp::WriteError(const std::string& message) {
  WriteLogLine("%[ Error: " + message + " ]%");
}

void CZorvaneApp::WriteFailure(const char* message) {
  // Memory may be short: the line is written without building a string.
  if (m_log == nullptr) return;
  std::fprintf(m_log, "%%[ Error: %s ]%%\n", message);
  std::fflush(m_log);
}

void CZorvaneApp::WriteErrorReport(const CPDFErrorRecord& record) {
  WriteLogLine("Module: " + record.Module());
  WriteLogLine("Method: " + record.Method());
  WriteLogLine(std::string("Type: ") + ErrorCodeName(record.Code()));
  WriteLogLine("Factor: " + record.Message());
}

void CZorvaneApp::PrintToStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), m_standardError);
  std::fflush(m_standardError);
}

bool CZorvaneApp::PrintToStandardOutput(const std::string& text) {
  const size_t written = std::fwrite(text.data(), 1, text.size(), m_standardOutput);
  return std::fflush(m_standardOutput) == 0 && written == text.size();
}

}  // namespace quarn
