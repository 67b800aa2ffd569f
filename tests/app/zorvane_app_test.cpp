#include "app/zorvane_app.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/version_banner.h"
#include "support/files.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The bundled sample document, found from this file's place in the source tree.
fs::path SamplePdf() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "sample.pdf";
}

// Runs the tool's Main in a scratch directory, with standard error caught in a file.
class ZorvaneAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_errors = std::tmpfile();
    m_output = std::tmpfile();
    ASSERT_NE(m_errors, nullptr);
    ASSERT_NE(m_output, nullptr);
    fs::copy_file(SamplePdf(), Path("a.pdf"));
  }
  void TearDown() override {
    if (m_errors) std::fclose(m_errors);
    if (m_output) std::fclose(m_output);
    // Init sets the process locale; leave the next test the one it started with.
    std::setlocale(LC_ALL, "C");
  }

  std::string Path(const std::string& name) const { return m_dir.File(name); }

  int Main(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/zorvane");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    CZorvaneApp app(m_errors, m_output);
    return app.Main(static_cast<int>(argv.size()), argv.data());
  }

  // Everything written to standard error so far.
  std::string Errors() const { return Contents(m_errors); }
  // Everything written to standard output so far.
  std::string Output() const { return Contents(m_output); }

  std::FILE* ErrorStream() const { return m_errors; }

 private:
  static std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fseek(file, 0, SEEK_END);
    return text;
  }

  test::TempDir m_dir;
  std::FILE* m_errors = nullptr;
  std::FILE* m_output = nullptr;
};

// Checks that `lines` (from `first` on) are one successful run from `input` to `output`.
void ExpectSuccessfulRun(const std::vector<std::string>& lines, size_t first,
                         const std::string& input, const std::string& output) {
  ASSERT_GE(lines.size(), first + 4);
  const std::regex timeLine(R"((Start|Finish) at: \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
  EXPECT_TRUE(std::regex_match(lines[first], timeLine)) << lines[first];
  EXPECT_EQ(lines[first].rfind("Start at: ", 0), 0u);
  EXPECT_EQ(lines[first + 1], " InputFile: " + input);
  EXPECT_EQ(lines[first + 2], "OutputFile: " + output);
  EXPECT_TRUE(std::regex_match(lines[first + 3], timeLine)) << lines[first + 3];
  EXPECT_EQ(lines[first + 3].rfind("Finish at: ", 0), 0u);
}

TEST_F(ZorvaneAppTest, NoArgumentsPrintsUsage) {
  EXPECT_EQ(Main({}), 1);
  EXPECT_EQ(Errors(), UsageText("zorvane"));
  EXPECT_EQ(Errors().rfind("Usage: zorvane [-v] InputFile [OutputFile] [-wm FileName,", 0), 0u);
}

TEST_F(ZorvaneAppTest, OnlyOptionsPrintsUsage) {
  EXPECT_EQ(Main({"-fit", "-l", Path("x.log")}), 1);
  EXPECT_EQ(Errors(), UsageText("zorvane"));
  EXPECT_FALSE(fs::exists(Path("x.log")));
}

TEST(UsageTextTest, IsTheWholeLine) {
  EXPECT_EQ(UsageText("zv"),
            "Usage: zv [-v] InputFile [OutputFile] [-wm FileName,StartPage,EndPage] [-fit] [-up] "
            "[-nbp StartPage,EndPage,Initial] [-nbf Type,Format,Font,Size] "
            "[-nbs Location,OffsetX,OffsetY] [-sp] [-l LogFile] [-t TempPath]\n");
  // A program name is text, not a format.
  EXPECT_EQ(UsageText("z%s%n").rfind("Usage: z%s%n [-v]", 0), 0u);
}

TEST_F(ZorvaneAppTest, VersionWithOtherArgumentsPrintsOnlyTheBanner) {
  EXPECT_EQ(Main({"-v", Path("a.pdf"), "--help", "--version", "-l", Path("x.log")}), 1);
  EXPECT_EQ(Errors(), VersionBanner());
  EXPECT_EQ(Output(), "");
  EXPECT_FALSE(fs::exists(Path("x.log")));
}

TEST_F(ZorvaneAppTest, HelpAndVersionSummaryGoToStandardOutputWithSuccess) {
  EXPECT_EQ(Main({"-h"}), 0);
  EXPECT_EQ(Main({"--help", Path("a.pdf"), "-l", Path("x.log")}), 0);
  EXPECT_EQ(Main({"--version", Path("a.pdf")}), 0);
  EXPECT_EQ(Output(), HelpText("zorvane") + HelpText("zorvane") + VersionSummary());
  EXPECT_EQ(Errors(), "");
  EXPECT_FALSE(fs::exists(Path("x.log")));
}

TEST(HelpTextTest, IsTheUsageLineOneLinePerOptionAndTheManual) {
  const std::vector<std::string> lines = SplitLines(HelpText("zv"));
  const std::vector<std::string> options = {
      "-v",   "-wm",  "-fit", "-up", "-wmt", "-wmf", "-wmr", "-wmo", "-nbp",     "-nbf",
      "-nbs", "-nbc", "-sp",  "-pw", "-inc", "-l",   "-t",   "-h,",  "--version"};
  ASSERT_EQ(lines.size(), options.size() + 2);
  EXPECT_EQ(lines[0] + "\n", UsageText("zv"));
  for (size_t i = 0; i < options.size(); ++i) {
    EXPECT_EQ(lines[i + 1].rfind("  " + options[i] + " ", 0), 0u) << lines[i + 1];
    EXPECT_LE(lines[i + 1].size(), 80u) << lines[i + 1];
  }
  EXPECT_EQ(lines.back(), "The manual: man zorvane; many files at once: man zorvane-many");
}

TEST(VersionSummaryTest, NamesTheToolTheLibraryAndWhatTheyRunWith) {
  const std::vector<std::string> lines = SplitLines(VersionSummary());
  const std::vector<std::string> starts = {
      "zorvane 2.4.0", "libquarn 2.4.0", "zlib " + std::string(zlibVersion()),
      "libjpeg",       "libtiff 4.",     "OpenSSL ",
      "FreeType 2.",   "fontconfig 2."};
  ASSERT_EQ(lines.size(), starts.size());
  for (size_t i = 0; i < starts.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(starts[i], 0), 0u) << lines[i];
  }
  EXPECT_EQ(lines[0], "zorvane 2.4.0");
}

TEST(VersionBannerTest, HasTheToolLibraryAndDependencyLinesInOrder) {
  const std::vector<std::string> lines = SplitLines(VersionBanner());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "zorvane");
  const std::vector<std::string> expected = {
      "zorvane",
      "libquarn 2.4.0",
      "",
      "The Independent JPEG Group's JPEG software release 6b of 27-Mar-1998",
      "TIFF Software Distribution v3.4",
      "zlib 1.1.3",
      "MD5 message-digest algorithm"};
  std::vector<std::string> unindented;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] != '\t') unindented.push_back(line);
  }
  EXPECT_EQ(unindented, expected);
  // Each named line is followed by at least one notice line.
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (!lines[i].empty() && lines[i][0] != '\t') {
      EXPECT_EQ(lines[i + 1].substr(0, 1), "\t") << "no notice under: " << lines[i];
    }
  }
  EXPECT_EQ(lines.back().substr(0, 1), "\t");
  EXPECT_EQ(VersionBanner().back(), '\n');
}

TEST(VersionBannerTest, NamesTheLinkedLibraries) {
  const std::string banner = VersionBanner();
  EXPECT_NE(banner.find("zlib " + std::string(zlibVersion())), std::string::npos);
  EXPECT_NE(banner.find("LIBTIFF"), std::string::npos);
  EXPECT_NE(banner.find("OpenSSL"), std::string::npos);
  EXPECT_NE(banner.find("FreeType"), std::string::npos);
  EXPECT_NE(banner.find("fontconfig"), std::string::npos);
}

TEST_F(ZorvaneAppTest, RunLogsStartNamesAndFinishOnStandardError) {
  const std::string input = Path("a.pdf");
  const std::string output = Path("b.pdf");
  EXPECT_EQ(Main({input, output}), 0);
  const std::vector<std::string> lines = SplitLines(Errors());
  EXPECT_EQ(lines.size(), 4u);
  ExpectSuccessfulRun(lines, 0, input, output);
}

TEST_F(ZorvaneAppTest, InputOnlyRewritesInPlace) {
  const std::string input = Path("a.pdf");
  EXPECT_EQ(Main({input}), 0);
  ExpectSuccessfulRun(SplitLines(Errors()), 0, input, input);
}

TEST_F(ZorvaneAppTest, EmptyOutputNameMeansTheInput) {
  const std::string input = Path("a.pdf");
  EXPECT_EQ(Main({input, ""}), 0);
  ExpectSuccessfulRun(SplitLines(Errors()), 0, input, input);
}

TEST_F(ZorvaneAppTest, FileNamesArePrintedAsText) {
  const std::string input = Path("a%s%n%d.pdf");
  fs::copy_file(Path("a.pdf"), input);
  EXPECT_EQ(Main({input}), 0);
  ExpectSuccessfulRun(SplitLines(Errors()), 0, input, input);
}

TEST_F(ZorvaneAppTest, LogFileIsAppendedAcrossRuns) {
  const std::string log = Path("run.log");
  { test::WriteFile(log, "earlier line\n"); }
  const std::string input = Path("a.pdf");
  const std::string output = Path("b.pdf");
  EXPECT_EQ(Main({input, output, "-l", log}), 0);
  EXPECT_EQ(Main({input, output, "-l", log}), 0);
  EXPECT_EQ(Errors(), "");
  const std::vector<std::string> lines = SplitLines(test::ReadFile(log));
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "earlier line");
  ExpectSuccessfulRun(lines, 1, input, output);
  ExpectSuccessfulRun(lines, 5, input, output);
}

TEST_F(ZorvaneAppTest, EmptyLogNameMeansNoLog) {
  EXPECT_EQ(Main({Path("a.pdf"), "-l", ""}), 0);
  EXPECT_EQ(Errors(), "");
}

TEST_F(ZorvaneAppTest, UnwritableLogPathRunsWithoutLogAndSaysSoOnStandardError) {
  const std::string log = Path("missing-dir/run.log");
  EXPECT_EQ(Main({Path("a.pdf"), "-l", log}), 0);
  // One line with the host's reason after the name; nothing of the run itself.
  const std::vector<std::string> lines = SplitLines(Errors());
  ASSERT_EQ(lines.size(), 1u);
  const std::string start = "cannot open the log file, running without a log: " + log + ": ";
  EXPECT_EQ(lines[0].rfind(start, 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), start.size());
  EXPECT_FALSE(fs::exists(log));
}

TEST_F(ZorvaneAppTest, LogOptionWithoutValueLogsToStandardError) {
  const std::string input = Path("a.pdf");
  EXPECT_EQ(Main({input, "-l"}), 0);
  ExpectSuccessfulRun(SplitLines(Errors()), 0, input, input);
}

TEST_F(ZorvaneAppTest, LogOptionFollowedByAnOptionLogsToStandardError) {
  const std::string input = Path("a.pdf");
  EXPECT_EQ(Main({input, "-l", "-fit"}), 0);
  ExpectSuccessfulRun(SplitLines(Errors()), 0, input, input);
}

TEST_F(ZorvaneAppTest, UnsafeNumberFormatFailsBeforeTheLibraryStarts) {
  const std::string input = Path("a.pdf");
  const std::string before = test::ReadFile(input);
  EXPECT_EQ(Main({input, Path("b.pdf"), "-nbp", "-nbf", "n,Page %d of %n,H,9"}), 1);
  const std::vector<std::string> lines = SplitLines(Errors());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "%[ Error: invalid number format: Page %d of %n ]%");
  EXPECT_EQ(test::ReadFile(input), before);
  EXPECT_FALSE(fs::exists(Path("b.pdf")));
}

TEST_F(ZorvaneAppTest, NumberFormatIsNotJudgedWithoutNumbering) {
  EXPECT_EQ(Main({Path("a.pdf"), "-nbf", "n,%n"}), 0);
  EXPECT_EQ(SplitLines(Errors()).size(), 4u);
}

TEST_F(ZorvaneAppTest, SafeNumberFormatPasses) {
  EXPECT_EQ(Main({Path("a.pdf"), "-nbp", "-nbf", "R,- %s - 100%%,TB,10"}), 0);
  EXPECT_EQ(SplitLines(Errors()).size(), 4u);
}

// A run that does less than asked keeps its exit status and says why in the log: one line each
// between the name lines and the finish line. The sample document has three A4 pages; "@" in an
// argument stands for the sample's own path (it serves as the watermark too).
struct WarningCase {
  std::vector<std::string> args;
  std::vector<std::string> warnings;
};

class RunWarnings : public ZorvaneAppTest, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(RunWarnings, OneLineForEachThingIgnored) {
  const std::string input = Path("a.pdf");
  std::vector<std::string> args{input, Path("b.pdf")};
  std::vector<std::string> warnings;
  auto withPath = [&input](std::string text) {
    const size_t at = text.find('@');
    return at == std::string::npos ? text : text.replace(at, 1, input);
  };
  for (const std::string& arg : GetParam().args) args.push_back(withPath(arg));
  for (const std::string& line : GetParam().warnings) warnings.push_back(withPath(line));
  EXPECT_EQ(Main(args), 0);
  std::vector<std::string> lines = SplitLines(Errors());
  ASSERT_EQ(lines.size(), 4 + warnings.size()) << Errors();
  const std::vector<std::string> between(lines.begin() + 3, lines.end() - 1);
  EXPECT_EQ(between, warnings);
  lines.erase(lines.begin() + 3, lines.end() - 1);
  ExpectSuccessfulRun(lines, 0, input, Path("b.pdf"));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunWarnings,
    ::testing::Values(WarningCase{{}, {}},
                      WarningCase{{"--nbp", "-x", "-fit"},
                                  {"unknown option ignored: --nbp", "unknown option ignored: -x"}},
                      WarningCase{{"-wm", "@,1,-1"}, {"no page in the range of -wm: @,1,-1"}},
                      WarningCase{{"-wm", "@,3", "-nbp", "3"}, {}},
                      // -nbs is read for a numbered run only.
                      WarningCase{{"-nbs", "9"}, {}},
                      WarningCase{
                          {"-nbp", "2", "-nbs", "1,-10"},
                          {"page number outside the visible page: 2 page(s), first page 2"}}));

// The log methods on their own, with standard error as the log.
class AppLogTest : public ZorvaneAppTest {
 protected:
  void SetUp() override {
    ZorvaneAppTest::SetUp();
    m_app = std::make_unique<CZorvaneApp>(ErrorStream());
    ASSERT_TRUE(m_app->Init(nullptr, nullptr));
  }
  void TearDown() override {
    m_app.reset();
    ZorvaneAppTest::TearDown();
  }
  CZorvaneApp& App() { return *m_app; }

 private:
  std::unique_ptr<CZorvaneApp> m_app;
};

TEST_F(AppLogTest, WriteLogFormatsOneLine) {
  App().WriteLog("cannot get PDF Page: %d", 7);
  App().WriteLog("plain");
  EXPECT_EQ(Errors(), "cannot get PDF Page: 7\nplain\n");
}

TEST_F(AppLogTest, LongLinesAreKeptWhole) {
  const std::string name(5000, 'n');
  App().WriteLog("file not found: %s", name.c_str());
  EXPECT_EQ(Errors(), "file not found: " + name + "\n");
}

TEST_F(AppLogTest, ErrorLineIsFramed) {
  App().WriteError("file not found: a%s.pdf");
  EXPECT_EQ(Errors(), "%[ Error: file not found: a%s.pdf ]%\n");
}

TEST_F(AppLogTest, ErrorReportHasFourLines) {
  App().WriteErrorReport(
      CPDFErrorRecord("CPDFDict", "Serialize", kInvalidFormat, std::string("invalidtoken: >>>")));
  EXPECT_EQ(Errors(),
            "Module: CPDFDict\nMethod: Serialize\nType: Invalid Format\n"
            "Factor: invalidtoken: >>>\n");
}

TEST_F(AppLogTest, ErrorReportNamesEveryCode) {
  const char* names[] = {
      "", "Runtime Library Error", "System Error", "User Error", "Invalid Format", "Internal Error",
      ""};
  for (int code = 0; code <= 6; ++code) {
    App().WriteErrorReport(CPDFErrorRecord("M", "F", code, std::string()));
  }
  const std::vector<std::string> lines = SplitLines(Errors());
  ASSERT_EQ(lines.size(), 28u);
  for (int code = 0; code <= 6; ++code) {
    EXPECT_EQ(lines[code * 4 + 2], std::string("Type: ") + names[code]) << code;
  }
}

TEST_F(AppLogTest, EmptyRecordPrintsEmptyTexts) {
  App().WriteErrorReport(CPDFErrorRecord());
  EXPECT_EQ(Errors(), "Module: \nMethod: \nType: \nFactor: \n");
}

TEST_F(AppLogTest, CloseStopsTheLogButLeavesStandardErrorOpen) {
  App().WriteLog("before");
  App().Close();
  EXPECT_FALSE(App().HasLog());
  App().WriteLog("after");
  App().WriteErrorReport(CPDFErrorRecord("M", "F", 3, std::string("x")));
  EXPECT_EQ(Errors(), "before\n");
  EXPECT_GE(std::fputs("still open\n", ErrorStream()), 0);
  EXPECT_EQ(Errors(), "before\nstill open\n");
}

TEST_F(AppLogTest, InitKeepsTheTemporaryPath) {
  CZorvaneApp app(ErrorStream());
  ASSERT_TRUE(app.Init(nullptr, "/var/tmp/work"));
  EXPECT_EQ(app.TempPath(), "/var/tmp/work");
  CZorvaneApp other(ErrorStream());
  ASSERT_TRUE(other.Init(nullptr, nullptr));
  EXPECT_EQ(other.TempPath(), "");
}

TEST_F(AppLogTest, InitSetsAJapaneseLocaleWhenTheHostHasOne) {
  const bool hostHasSjis = std::setlocale(LC_ALL, "ja_JP.SJIS") != nullptr;
  std::setlocale(LC_ALL, "C");
  CZorvaneApp app(ErrorStream());
  ASSERT_TRUE(app.Init("", nullptr));
  const std::string current = std::setlocale(LC_ALL, nullptr);
  if (hostHasSjis) {
    EXPECT_EQ(current, "ja_JP.SJIS");
  }
  EXPECT_FALSE(current.empty());
}

TEST(LocalTimeTextTest, IsTheCtimeFormWithoutNewline) {
  const std::string text = LocalTimeText();
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})")))
      << text;
}

}  // namespace
}  // namespace quarn
