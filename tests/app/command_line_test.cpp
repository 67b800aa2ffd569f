#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarn {
namespace {

// Parses a command line given as strings; the strings stay alive in the fixture, as argv does
// in the tool.
class CommandLineTest : public ::testing::Test {
 protected:
  bool Parse(std::vector<std::string> args) {
    m_args = std::move(args);
    m_argv.clear();
    for (const std::string& arg : m_args) m_argv.push_back(arg.c_str());
    return m_line.Parse(static_cast<int>(m_argv.size()), m_argv.data());
  }
  const CommandLine& Line() const { return m_line; }

 private:
  std::vector<std::string> m_args;
  std::vector<const char*> m_argv;
  CommandLine m_line;
};

std::string OrUnset(const char* field) { return field ? field : "<unset>"; }

TEST(ProgramNameTest, CutsAfterTheLastSlashOrBackslash) {
  EXPECT_STREQ(ProgramNameOf("/usr/local/bin/zorvane"), "zorvane");
  EXPECT_STREQ(ProgramNameOf("C:\\tools\\zorvane.exe"), "zorvane.exe");
  EXPECT_STREQ(ProgramNameOf("dir\\sub/zorvane"), "zorvane");
  EXPECT_STREQ(ProgramNameOf("zorvane"), "zorvane");
  EXPECT_STREQ(ProgramNameOf("build/"), "");
}

TEST(ProgramNameTest, MissingArgumentZeroStillGivesAName) {
  EXPECT_STREQ(ProgramNameOf(nullptr), "zorvane");
  CommandLine line;
  EXPECT_FALSE(line.Parse(0, nullptr));
  EXPECT_STREQ(line.programName, "zorvane");
}

TEST_F(CommandLineTest, NoArgumentsOrOnlyOptionsFail) {
  EXPECT_FALSE(Parse({"zorvane"}));
  EXPECT_STREQ(Line().programName, "zorvane");
  EXPECT_FALSE(Parse({"zorvane", "-fit", "-up", "-l", "x.log"}));
}

TEST_F(CommandLineTest, VersionAloneSucceeds) {
  EXPECT_TRUE(Parse({"zorvane", "-v"}));
  EXPECT_TRUE(Line().version);
  EXPECT_EQ(Line().inputFile, nullptr);
}

TEST_F(CommandLineTest, HelpAndVersionSummaryAloneSucceedAndAreNoUnknownOptions) {
  for (const char* help : {"-h", "--help"}) {
    EXPECT_TRUE(Parse({"zorvane", help})) << help;
    EXPECT_TRUE(Line().help) << help;
    EXPECT_TRUE(Line().unknownOptions.empty()) << help;
  }
  EXPECT_TRUE(Parse({"zorvane", "--version"}));
  EXPECT_TRUE(Line().versionSummary);
  EXPECT_FALSE(Line().version);
  EXPECT_TRUE(Line().unknownOptions.empty());
}

TEST_F(CommandLineTest, FilesInOrderAndAThirdIsIgnored) {
  ASSERT_TRUE(Parse({"/bin/zorvane", "in.pdf", "-fit", "out.pdf", "third.pdf"}));
  EXPECT_STREQ(Line().programName, "zorvane");
  EXPECT_EQ(OrUnset(Line().inputFile), "in.pdf");
  EXPECT_EQ(OrUnset(Line().outputFile), "out.pdf");
  EXPECT_TRUE(Line().fit);
}

TEST_F(CommandLineTest, InputOnlyLeavesOutputUnset) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf"}));
  EXPECT_EQ(Line().outputFile, nullptr);
}

TEST_F(CommandLineTest, EmptyArgumentIsAFileName) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", ""}));
  EXPECT_EQ(OrUnset(Line().outputFile), "");
}

TEST_F(CommandLineTest, EveryOptionIsRead) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf",       "-wm",   "logo.pdf,2,3", "-fit",
                     "-up",     "-nbp",         "1,0,5", "-nbf",         "R,- %s -,HB,12",
                     "-nbs",    "4,10,-5",      "-sp",   "-l",           "run.log",
                     "-t",      "/tmp/work",    "-nbc",  "#C00000,0.8",  "-wmo",
                     "0.3",     "-wmr",         "-30",   "-wmt",         "DRAFT\\,1,2",
                     "-wmf",    "TB,40,#FF0000"}));
  const CommandLine& line = Line();
  EXPECT_EQ(OrUnset(line.watermarkSpec), "logo.pdf,2,3");
  EXPECT_TRUE(line.fit);
  EXPECT_TRUE(line.up);
  EXPECT_TRUE(line.numberingOn);
  EXPECT_EQ(OrUnset(line.numberingPagesSpec), "1,0,5");
  EXPECT_EQ(OrUnset(line.numberFormatSpec), "R,- %s -,HB,12");
  EXPECT_EQ(OrUnset(line.numberPlacementSpec), "4,10,-5");
  EXPECT_TRUE(line.spread);
  EXPECT_EQ(OrUnset(line.logFile), "run.log");
  EXPECT_EQ(OrUnset(line.tempPath), "/tmp/work");
  EXPECT_EQ(OrUnset(line.numberColourSpec), "#C00000,0.8");
  EXPECT_EQ(OrUnset(line.watermarkOpacitySpec), "0.3");
  EXPECT_EQ(OrUnset(line.watermarkTurnSpec), "-30");  // a negative angle is a value
  EXPECT_EQ(OrUnset(line.textWatermarkSpec), "DRAFT\\,1,2");
  EXPECT_EQ(OrUnset(line.watermarkFontSpec), "TB,40,#FF0000");
  EXPECT_FALSE(line.version);
  EXPECT_EQ(line.outputFile, nullptr);
}

TEST_F(CommandLineTest, DefaultsWithoutOptions) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf"}));
  const CommandLine& line = Line();
  EXPECT_EQ(line.watermarkSpec, nullptr);
  EXPECT_FALSE(line.fit || line.up || line.numberingOn || line.spread || line.version);
  EXPECT_EQ(line.numberingPagesSpec, nullptr);
  EXPECT_EQ(line.numberFormatSpec, nullptr);
  EXPECT_EQ(line.numberPlacementSpec, nullptr);
  EXPECT_EQ(line.logFile, nullptr);
  EXPECT_EQ(line.tempPath, nullptr);
}

TEST_F(CommandLineTest, LogAsLastArgumentHasNoValue) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-l"}));
  EXPECT_EQ(Line().logFile, nullptr);
}

TEST_F(CommandLineTest, LogFollowedByAnOptionHasNoValue) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-l", "-fit"}));
  EXPECT_EQ(Line().logFile, nullptr);
  EXPECT_TRUE(Line().fit);
}

TEST_F(CommandLineTest, EmptyLogNameIsAValue) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-l", ""}));
  EXPECT_EQ(OrUnset(Line().logFile), "");
  EXPECT_EQ(Line().outputFile, nullptr);
}

TEST_F(CommandLineTest, NumberingWithoutValueThenFormat) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-nbp", "-nbf", "r"}));
  EXPECT_TRUE(Line().numberingOn);
  EXPECT_EQ(Line().numberingPagesSpec, nullptr);
  EXPECT_EQ(OrUnset(Line().numberFormatSpec), "r");
}

TEST_F(CommandLineTest, NumberingValueIsTakenWhenPresent) {
  ASSERT_TRUE(Parse({"zorvane", "-nbp", "3,5,10", "in.pdf"}));
  EXPECT_TRUE(Line().numberingOn);
  EXPECT_EQ(OrUnset(Line().numberingPagesSpec), "3,5,10");
  EXPECT_EQ(OrUnset(Line().inputFile), "in.pdf");
}

// -nbp and -nbs take the next word only when it reads as their value; any other word is the
// next file name, so that an output written after them is never taken for their value.
struct NumberValueCase {
  std::vector<std::string> args;
  const char* pages;      // -nbp value
  const char* placement;  // -nbs value
  const char* input;
  const char* output;
};

class NumberOptionValues : public ::testing::TestWithParam<NumberValueCase> {};

TEST_P(NumberOptionValues, TakeOnlyWhatReadsAsTheirValue) {
  const NumberValueCase& expected = GetParam();
  std::vector<const char*> argv{"zorvane"};
  for (const std::string& arg : expected.args) argv.push_back(arg.c_str());
  CommandLine line;
  ASSERT_TRUE(line.Parse(static_cast<int>(argv.size()), argv.data()));
  EXPECT_TRUE(line.numberingOn);
  EXPECT_EQ(OrUnset(line.numberingPagesSpec), OrUnset(expected.pages));
  EXPECT_EQ(OrUnset(line.numberPlacementSpec), OrUnset(expected.placement));
  EXPECT_EQ(OrUnset(line.inputFile), OrUnset(expected.input));
  EXPECT_EQ(OrUnset(line.outputFile), OrUnset(expected.output));
}

INSTANTIATE_TEST_SUITE_P(
    Words, NumberOptionValues,
    ::testing::Values(
        NumberValueCase{{"in.pdf", "-nbp", "out.pdf"}, nullptr, nullptr, "in.pdf", "out.pdf"},
        NumberValueCase{
            {"in.pdf", "-nbp", "3,5,10", "out.pdf"}, "3,5,10", nullptr, "in.pdf", "out.pdf"},
        NumberValueCase{
            {"in.pdf", "-nbp", " -2, +5 ,\t1"}, " -2, +5 ,\t1", nullptr, "in.pdf", nullptr},
        NumberValueCase{{"in.pdf", "-nbp", "", "out.pdf"}, "", nullptr, "in.pdf", "out.pdf"},
        NumberValueCase{{"in.pdf", "-nbp", "2a"}, nullptr, nullptr, "in.pdf", "2a"},
        NumberValueCase{{"in.pdf", "-nbp", "1.5"}, nullptr, nullptr, "in.pdf", "1.5"},
        NumberValueCase{{"-nbp", "in.pdf", "out.pdf"}, nullptr, nullptr, "in.pdf", "out.pdf"},
        NumberValueCase{{"in.pdf", "-nbp", "-nbs", "5,-10.5,+2.25", "out.pdf"},
                        nullptr,
                        "5,-10.5,+2.25",
                        "in.pdf",
                        "out.pdf"},
        NumberValueCase{
            {"in.pdf", "-nbp", "-nbs", "out.pdf"}, nullptr, nullptr, "in.pdf", "out.pdf"},
        NumberValueCase{
            {"in.pdf", "-nbp", "-nbs", "", "out.pdf"}, nullptr, "", "in.pdf", "out.pdf"},
        NumberValueCase{
            {"in.pdf", "-nbp", "-nbs", ".5, 1 ,\t2"}, nullptr, ".5, 1 ,\t2", "in.pdf", nullptr},
        NumberValueCase{{"in.pdf", "-nbp", "-nbs", "1e2"}, nullptr, nullptr, "in.pdf", "1e2"}));

TEST_F(CommandLineTest, ValueOptionsAtTheEndOrBeforeOptionsStayUnset) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-wm", "-nbf", "-nbs", "-up", "-t"}));
  EXPECT_EQ(Line().watermarkSpec, nullptr);
  EXPECT_EQ(Line().numberFormatSpec, nullptr);
  EXPECT_EQ(Line().numberPlacementSpec, nullptr);
  EXPECT_EQ(Line().tempPath, nullptr);
  EXPECT_TRUE(Line().up);
}

TEST_F(CommandLineTest, UnknownOptionsAreIgnored) {
  ASSERT_TRUE(Parse({"zorvane", "-foo", "in.pdf", "--fit", "-FIT", "-V", "-wmx", "out.pdf"}));
  const CommandLine& line = Line();
  // An unknown option never takes a value: the next word is still the input file.
  EXPECT_EQ(OrUnset(line.inputFile), "in.pdf");
  EXPECT_EQ(OrUnset(line.outputFile), "out.pdf");
  EXPECT_FALSE(line.fit);
  EXPECT_FALSE(line.version);
  EXPECT_EQ(line.watermarkSpec, nullptr);
}

TEST_F(CommandLineTest, LoneDashIsAFileNameExceptAfterPw) {
  ASSERT_TRUE(Parse({"zorvane", "-", "-wm", "-", "-l", "-", "-fit"}));
  EXPECT_EQ(OrUnset(Line().inputFile), "-");
  EXPECT_EQ(OrUnset(Line().outputFile), "-");
  EXPECT_EQ(Line().watermarkSpec, nullptr);
  EXPECT_EQ(Line().logFile, nullptr);
  EXPECT_TRUE(Line().fit);
}

TEST_F(CommandLineTest, PasswordFileTakesAFileOrALoneDashForStandardInput) {
  const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
      {{"zorvane", "in.pdf", "-pw", "secret.txt", "out.pdf"}, "secret.txt"},
      {{"zorvane", "in.pdf", "-pw", "-", "out.pdf"}, "-"},
      {{"zorvane", "in.pdf", "-pw", "-fit", "out.pdf"}, nullptr},
      {{"zorvane", "in.pdf", "out.pdf"}, nullptr},
  };
  for (const auto& [args, expected] : cases) {
    CommandLine line;
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    ASSERT_TRUE(line.Parse(static_cast<int>(argv.size()), argv.data()));
    EXPECT_EQ(OrUnset(line.passwordFile), OrUnset(expected)) << args.size();
    EXPECT_EQ(OrUnset(line.outputFile), "out.pdf");
    EXPECT_EQ(line.ToStampOptions().passwordFile.has_value(), expected != nullptr);
  }
}

TEST_F(CommandLineTest, RepeatedOptionOverwrites) {
  ASSERT_TRUE(Parse(
      {"zorvane", "in.pdf", "-wm", "a.pdf", "-wm", "b.pdf", "-l", "one.log", "-l", "two.log"}));
  EXPECT_EQ(OrUnset(Line().watermarkSpec), "b.pdf");
  EXPECT_EQ(OrUnset(Line().logFile), "two.log");
}

TEST_F(CommandLineTest, RepeatedOptionWithoutValueKeepsTheEarlierOne) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-wm", "a.pdf", "-wm"}));
  EXPECT_EQ(OrUnset(Line().watermarkSpec), "a.pdf");
}

TEST_F(CommandLineTest, VersionWithOtherArguments) {
  ASSERT_TRUE(Parse({"zorvane", "-v", "in.pdf", "-l", "x.log"}));
  EXPECT_TRUE(Line().version);
  EXPECT_EQ(OrUnset(Line().inputFile), "in.pdf");
}

TEST_F(CommandLineTest, StampOptionsCarryTheValues) {
  ASSERT_TRUE(Parse({"zorvane", "in.pdf", "-wm", "logo,3", "-up", "-nbp", "-nbs", "", "-sp"}));
  const StampOptions options = Line().ToStampOptions();
  EXPECT_EQ(options.watermarkSpec.value_or("<unset>"), "logo,3");
  EXPECT_FALSE(options.fit);
  EXPECT_TRUE(options.up);
  EXPECT_TRUE(options.numberingOn);
  EXPECT_FALSE(options.numberingPagesSpec.has_value());
  EXPECT_FALSE(options.numberFormatSpec.has_value());
  // An empty value is kept apart from no value.
  ASSERT_TRUE(options.numberPlacementSpec.has_value());
  EXPECT_EQ(*options.numberPlacementSpec, "");
  EXPECT_TRUE(options.spread);
}

}  // namespace
}  // namespace quarn
