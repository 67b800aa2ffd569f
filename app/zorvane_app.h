// The application object: the log, the temporary-directory setting and the frame of one run.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "app/stamp_options.h"
#include "pdf/object/exception.h"

namespace quarn {

class CPDFLib;
class OutputFile;

class CZorvaneApp {
 public:
  // `standardError` is where usage, banner and the default log go, `standardOutput` where the
  // help and the version summary go (stderr and stdout in the tool; tests hand in files of
  // their own).
  explicit CZorvaneApp(std::FILE* standardError = stderr, std::FILE* standardOutput = stdout);
  ~CZorvaneApp();
  CZorvaneApp(const CZorvaneApp&) = delete;
  CZorvaneApp& operator=(const CZorvaneApp&) = delete;

  // The process-wide application object of the tool.
  static CZorvaneApp& Instance();

  // The whole process: parse, usage, banner, help or version summary, Init, Run, Close.
  // Returns the exit status.
  int Main(int argc, const char* const* argv);

  // Sets the locale, opens the log (nullptr: standard error; "": no log; else appended to that
  // file, or no log when it cannot be opened) and keeps the temporary path (nullptr: none).
  bool Init(const char* logFile, const char* tempPath);
  // One run from the input into the output (empty or nullptr: the input, rewritten in place).
  // "-" as the input reads standard input, as the output writes standard output; standard input
  // without an output goes to standard output. 0 on success, 1 on failure.
  int Run(const char* inputFile, const char* outputFile, const StampOptions& options);
  // Closes an owned log file; standard error stays open. No log afterwards.
  void Close();

  // One log line with printf rules, then a newline and a flush. Nothing without a log.
  void WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // One log line taken as it is.
  void WriteLogLine(const std::string& line);
  // The framed error line "%[ Error: <message> ]%".
  void WriteError(const std::string& message);
  // The framed error line for a failure that escaped the run (out of memory), written without
  // allocating.
  void WriteFailure(const char* message);
  // "Module:", "Method:", "Type:" and "Factor:" lines of a library error record.
  void WriteErrorReport(const CPDFErrorRecord& record);

  bool HasLog() const { return m_log != nullptr; }
  // Where a long run shows its progress line: standard error when it is a terminal that the
  // log does not use; nullptr otherwise.
  std::FILE* ProgressTerminal() const;
  const std::string& TempPath() const { return m_tempPath; }

 private:
  void OpenLog(const char* logFile);
  // Holds closed standard descriptors open on /dev/null and notes whether standard output was.
  void KeepStandardDescriptorsOpen();
  void PrintToStandardError(const std::string& text);
  // False when standard output did not take all of `text`.
  bool PrintToStandardOutput(const std::string& text);
  // False (after its error line) when a colour or opacity does not parse, or numbering would use
  // a format that reads other arguments than its two strings.
  bool CheckStampValues(const StampOptions& options);
  std::unique_ptr<CPDFLib> StartLibrary();
  bool ProcessDocument(CPDFLib& lib, const std::string& inputName, const std::string& outputName,
                       const StampOptions& options);
  // A run that reads standard input or writes standard output, through temporary files.
  bool ProcessPiped(CPDFLib& lib, const std::string& inputName, const std::string& outputName,
                    const StampOptions& options);
  // The directory of temporary files: -t, else $TMPDIR, else /tmp.
  std::string TempDirectory() const;
  // A new named temporary file there; nullptr after its error line.
  std::unique_ptr<OutputFile> CreateTempFile();
  // Standard input copied into a temporary file; nullptr after its error line.
  std::unique_ptr<OutputFile> SpoolStandardInput();

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::FILE* m_standardError;
  std::FILE* m_standardOutput;
  std::FILE* m_log = nullptr;  // observes standard error or m_ownedLog; nullptr: no log
  std::unique_ptr<std::FILE, FileCloser> m_ownedLog;
  std::string m_tempPath;
  bool m_standardOutputOpen = true;
};

// The usage line, with `programName` in its place.
std::string UsageText(const char* programName);

// What -h and --help print: the usage line, one line per option, and where the manual is.
std::string HelpText(const char* programName);

// The current local time in the host's ctime form, without its newline.
std::string LocalTimeText();

}  // namespace quarn
