// The result rows of the whole program, fast, against the same program with every row summed by the plain loop.
#include <string>

#include "support/test_support.h"

namespace {

using testsupport::readFile;
using testsupport::runProgram;
using testsupport::visible;

struct Calculation {
    testsupport::RunResult result;
    std::string resultFile;
};

// One calculation of `spectrum` in a folder of its own, with the answers
// of the dialogue for the range low .. high, by `program`.
Calculation calculate(const std::string& program, const std::string& label, const std::string& spectrum,
              const std::string& low, const std::string& high) {
    const std::string dir = testsupport::makeTempDir(label);
    testsupport::writeFile(dir + "/spectrum.dat", spectrum);
    testsupport::RunOptions options;
    options.workingDirectory = dir;
    options.standardInput = "n\nspectrum.dat\nresult.out\n" + low + "\n" + high + "\ny\nn\n";
    Calculation run;
    run.result = runProgram({program}, options);
    run.resultFile = readFile(dir + "/result.out");
    return run;
}

std::size_t lineCount(const std::string& bytes) {
    std::size_t lines = 0;
    for (char ch : bytes) lines += ch == '\n';
    return lines;
}

void expectSameCalculation(const Calculation& fast, const Calculation& plain) {
    EXPECT_EQ(fast.result.exitStatus, plain.result.exitStatus);
    EXPECT_EQ(fast.result.standardError, plain.result.standardError) << visible(fast.result.standardError);
    EXPECT_TRUE(fast.result.standardOutput == plain.result.standardOutput) << "console rows differ";
    EXPECT_TRUE(fast.resultFile == plain.resultFile) << "result files differ";
}

TEST(ResultRowsProgram, IronKEdgeRangeAsThePlainLoopWritesIt) {
    // The K edge (7112 eV) +- 150 eV: 601 rows of 56,885 terms each.
    const std::string spectrum = readFile(testsupport::sourcePath("examples/fe-k-edge.dat"));
    const Calculation fast = calculate(testsupport::programPath(), "rows-fast-iron", spectrum, "6952.5", "7252.5");
    const Calculation plain =
        calculate(testsupport::driverPath("plain_kkfprime"), "rows-plain-iron", spectrum, "6952.5", "7252.5");
    EXPECT_EQ(plain.result.exitStatus, 0);
    EXPECT_EQ(lineCount(plain.resultFile), 601u);
    expectSameCalculation(fast, plain);
}

TEST(ResultRowsProgram, AnOverflowingSumEndsAfterTheSameRows) {
    // f'' of 1e304 at 20 eV: the sum of the row at 12.5 eV is the first to overflow.
    const std::string spectrum = "5\n5.0 1.0\n12.0 4.0\n20.0 1e304\n26.0 2.5\n31.0 2.5\n";
    const Calculation fast = calculate(testsupport::programPath(), "rows-fast-overflow", spectrum, "1.0", "14.0");
    const Calculation plain =
        calculate(testsupport::driverPath("plain_kkfprime"), "rows-plain-overflow", spectrum, "1.0", "14.0");
    EXPECT_EQ(plain.result.standardError, "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n");
    EXPECT_EQ(plain.result.exitStatus, 1);
    EXPECT_EQ(lineCount(plain.resultFile), 4u) << "rows at 10.5 to 12.0 eV";
    expectSameCalculation(fast, plain);
}

}  // namespace
