// The report frame on standard error, the exit status and the exit processing.
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/errors.h"

using namespace textio;

namespace {

std::string report(const std::string& head, ErrorNumber number) {
    return "\r\nrun-time error " + head + std::string(errorMessage(number)) + "\r\n";
}

testsupport::RunResult runScenario(const std::vector<std::string>& arguments, const std::string& folder = "") {
    std::vector<std::string> argv{testsupport::driverPath("textio_driver")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    testsupport::RunOptions options;
    options.workingDirectory = folder;
    return testsupport::runProgram(argv, options);
}

TEST(Report, FrameOfEachStatementKind) {
    std::string folder = testsupport::makeTempDir("report");
    struct Case {
        std::vector<std::string> arguments;
        std::string standardError;
    };
    const std::string mathHead = "\r\nrun-time error M61";
    const Case cases[] = {
        {{"open", "   missing/dir/spectrum.dat  "},
         report("F6416: OPEN(missing/dir/spectrum.dat)\r\n- ", ErrorNumber::PATH_NOT_FOUND)},
        {{"read-report"}, report("F6501: READ(spectrum.dat)\r\n- ", ErrorNumber::END_OF_FILE)},
        {{"write-fails", "/dev/full"}, report("F6422: WRITE(/dev/full)\r\n- ", ErrorNumber::NO_SPACE_LEFT)},
        {{"close-fails", "/dev/full"}, report("F6422: CLOSE(/dev/full)\r\n- ", ErrorNumber::NO_SPACE_LEFT)},
        {{"none-report"}, report("F6314\r\n- ", ErrorNumber::UNIT_NUMBER_OUT_OF_RANGE)},
        {{"divide"}, mathHead + "03: MATH\r\n- floating-point error: divide by zero\r\n"},
        {{"overflow"}, mathHead + "04: MATH\r\n- floating-point error: overflow\r\n"},
        {{"invalid"}, mathHead + "01: MATH\r\n- floating-point error: invalid\r\n"},
        {{"flags"}, mathHead + "04: MATH\r\n- floating-point error: overflow\r\n"},
    };
    for (const Case& c : cases) {
        auto result = runScenario(c.arguments, folder);
        EXPECT_EQ(result.standardError, c.standardError)
            << c.arguments[0] << ": got " << testsupport::visible(result.standardError);
        EXPECT_EQ(result.standardOutput, "") << c.arguments[0];
        EXPECT_EQ(result.exitStatus, 1) << c.arguments[0];
    }
}

TEST(Report, OutputWrittenBeforeTheErrorIsInTheFile) {
    std::string folder = testsupport::makeTempDir("report");
    auto result = runScenario({"rows-then-error", folder + "/rows.dat"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, report("F6103: READ(CON)\r\n- ", ErrorNumber::INVALID_REAL));
    EXPECT_EQ(testsupport::readFile(folder + "/rows.dat"), " row one\r\n row two\r\n");
}

TEST(ExitProcessing, FailureAtTheNormalEndIsOneReportAndStatusOne) {
    std::string folder = testsupport::makeTempDir("report");
    auto result = runScenario({"exit-fails", "/dev/full", folder + "/later.dat"});
    EXPECT_EQ(result.standardError, report("F6422: CLOSE(/dev/full)\r\n- ", ErrorNumber::NO_SPACE_LEFT));
    EXPECT_EQ(result.exitStatus, 1) << "rows that could not be written are no success";
}

TEST(ExitProcessing, PendingConsoleLineGetsItsLineEnd) {
    auto result = runScenario({"pending-line-end"});
    EXPECT_EQ(result.standardOutput, "prompt\r\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(Messages, EveryNumberHasOneLine) {
    for (int number = 6000; number < 7000; ++number) {
        std::string_view message = errorMessage(static_cast<ErrorNumber>(number));
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find_first_of("\r\n"), std::string_view::npos) << number;
    }
}

}  // namespace
