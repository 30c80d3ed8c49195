// The transform against physics: f' of iron around its K edge from the bundled f'' spectrum.
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace {

// Energy -> value from lines of two or more numbers; lines starting with # are skipped.
std::map<double, double> column(const std::string& text, int valueColumn) {
    std::map<double, double> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        double energy = 0, value = 0, skip = 0;
        fields >> energy;
        for (int i = 1; i < valueColumn; ++i) fields >> skip;
        fields >> value;
        if (fields) values[energy] = value;
    }
    return values;
}

TEST(Physics, IronKEdgeAgreesWithTheTabulatedFPrime) {
    const double edge = 7112.0;
    std::string folder = testsupport::makeTempDir("physics");
    testsupport::writeFile(folder + "/fe.dat", testsupport::readFile(testsupport::sourcePath("examples/fe-k-edge.dat")));
    testsupport::RunOptions options;
    options.workingDirectory = folder;
    // An answer of x eV selects the grid point at x + 9.5 eV.
    options.standardInput = "n\nfe.dat\nfe.out\n6952.5\n7252.5\ny\nn\n";
    options.timeoutSeconds = 300;
    auto run = testsupport::runProgram({testsupport::programPath()}, options);
    ASSERT_EQ(run.exitStatus, 0) << testsupport::visible(run.standardError);

    auto computed = column(testsupport::readFile(folder + "/fe.out"), 1);
    auto tabulated = column(testsupport::readFile(testsupport::sourcePath("tests/data/fe-k-edge-f1.dat")), 1);
    ASSERT_EQ(computed.size(), 601u);
    ASSERT_EQ(tabulated.size(), 601u);
    double minimum = INFINITY, minimumEnergy = 0;
    for (auto [energy, fPrime] : computed) {
        auto reference = tabulated.find(energy);
        ASSERT_NE(reference, tabulated.end()) << energy;
        EXPECT_NEAR(fPrime, reference->second, 1.0) << "at " << energy << " eV";
        if (fPrime < minimum) {
            minimum = fPrime;
            minimumEnergy = energy;
        }
    }
    EXPECT_NEAR(minimumEnergy, edge, 2.0) << "f' should dip at the edge";
    EXPECT_LT(minimum, -8.0);
}

}  // namespace
