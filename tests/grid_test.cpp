// The 0.5 eV grid: energies, the interpolation bracket, f'' and angular frequencies.
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "support/test_support.h"
#include "support/worked_example.h"
#include "textio/units.h"
#include "transform/grid.h"

using namespace transform;
using testsupport::bits;

namespace {

void loadTable(std::initializer_list<std::pair<double, double>> rows) {
    EntryCount = 0;
    for (auto [energy, fpp] : rows) {
        ++EntryCount;
        InputEnergy[EntryCount] = energy;
        InputFpp[EntryCount] = fpp;
    }
}

TEST(Constants, AreTheWidenedSinglePrecisionValues) {
    EXPECT_EQ(bits(PI_SINGLE), bits(3.1415925025939941406));
    EXPECT_EQ(bits(PLANCK_H), bits(6.6259999244211844075e-34));
    EXPECT_EQ(bits(ELEMENTARY_CHARGE), bits(1.6020000460965951409e-19));
}

TEST(Grid, WorkedExampleEnergiesAndInterpolation) {
    GridEnergy[63] = -1.0;
    GridFpp[58] = -1.0;
    GridOmega[58] = -1.0;
    testsupport::loadWorkedExample();
    EXPECT_EQ(GridEnergy[1], 10.0);
    EXPECT_EQ(GridEnergy[62], 40.5);
    EXPECT_EQ(GridEnergy[63], -1.0) << "points above 2T are left alone";
    EXPECT_EQ(GridFpp[58], -1.0) << "points above 2T - 5 get no f''";
    EXPECT_EQ(GridOmega[58], -1.0);

    struct Point {
        int k;
        double energy, fpp, omega;
    };
    const Point points[] = {
        {1, 10.0, 3.1428571428571428, 1.5191160251671572e16},
        {2, 10.5, 3.3571428571428572, 1.5950718264255150e16},
        {5, 12.0, 4.0, 0},
        {11, 15.0, 3.625, 2.2786740377507356e16},
        {12, 15.5, 3.5625, 2.3546298390090932e16},
        {13, 16.0, 3.5, 2.4305856402674516e16},
        {14, 16.5, 3.4375, 2.5065414415258092e16},
        {33, 26.0, 2.5, 3.9497016654346080e16},
        {43, 31.0, 2.5, 0},
        {44, 31.5, 2.5, 0},
        {52, 35.5, 2.5, 5.3928618893434080e16},
        {57, 38.0, 2.5, 0},
    };
    for (const Point& p : points) {
        EXPECT_EQ(bits(GridEnergy[p.k]), bits(p.energy)) << "k = " << p.k;
        EXPECT_EQ(bits(GridFpp[p.k]), bits(p.fpp)) << "k = " << p.k << ": " << GridFpp[p.k];
        if (p.omega != 0) {
            EXPECT_EQ(bits(GridOmega[p.k]), bits(p.omega)) << "k = " << p.k;
        }
    }
}

TEST(Grid, SmallTopEnergies) {
    struct Case {
        std::int32_t top;
        std::int64_t gridPoints;
        std::int64_t interpolated;
    };
    const Case cases[] = {{3, 6, 1}, {2, 4, 0}, {1, 2, 0}, {0, 1, 0}, {-2, 1, 0}, {INT32_MIN, 1, 0}};
    for (const Case& c : cases) {
        loadTable({{1.0, 7.0}});
        for (int k = 1; k <= 8; ++k) GridEnergy[k] = GridFpp[k] = -1.0;
        TopEnergy = c.top;
        buildGrid();
        interpolateGrid();
        for (int k = 1; k <= 8; ++k) {
            bool built = k <= c.gridPoints, interpolated = k <= c.interpolated;
            EXPECT_EQ(GridEnergy[k], built ? 9.5 + k / 2.0 : -1.0) << "T = " << c.top << ", k = " << k;
            EXPECT_EQ(GridFpp[k], interpolated ? 7.0 : -1.0) << "T = " << c.top << ", k = " << k;
        }
    }
}

TEST(Bracket, EqualAndUnsortedEnergies) {
    struct Case {
        double g;
        std::int32_t j;
        double fpp;
    };
    // Two equal energies: the first is the upper end, the pair never has dE = 0.
    loadTable({{5.0, 1.0}, {12.0, 4.0}, {12.0, 6.0}, {20.0, 2.0}});
    const Case equal[] = {{4.0, 1, 1.0}, {5.0, 1, 1.0}, {12.0, 2, 4.0}, {16.0, 4, 4.0}, {20.0, 4, 2.0}, {21.0, 5, 2.0}};
    for (const Case& c : equal) {
        EXPECT_EQ(findBracket(c.g), c.j) << "g = " << c.g;
        EXPECT_EQ(bits(interpolatedFpp(c.g, findBracket(c.g))), bits(c.fpp)) << "g = " << c.g;
    }
    // An unsorted table: the first entry at or above g is the upper end.
    loadTable({{0.0, 0.0}, {30.0, 30.0}, {20.0, 100.0}, {40.0, 40.0}});
    const Case unsorted[] = {{25.0, 2, 25.0}, {30.0, 2, 30.0}, {35.0, 4, 55.0}, {41.0, 5, 40.0}, {-1.0, 1, 0.0}};
    for (const Case& c : unsorted) {
        EXPECT_EQ(findBracket(c.g), c.j) << "g = " << c.g;
        EXPECT_EQ(bits(interpolatedFpp(c.g, findBracket(c.g))), bits(c.fpp)) << "g = " << c.g;
    }
}

// The file is named relative to its folder: the name variable holds 60 characters.
class ReadSpectrumTest : public testsupport::TextIoTest {
protected:
    void SetUp() override {
        TextIoTest::SetUp();
        folder = testsupport::makeTempDir("spectrum");
        ASSERT_EQ(::chdir(folder.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(KKF_BINARY_DIR), 0);
        TextIoTest::TearDown();
    }
    SpectrumRefusal read(const std::string& content) {
        testsupport::writeFile(folder + "/spectrum.dat", content);
        std::string name = "spectrum.dat";
        name.resize(TEXT_LENGTH, ' ');
        return readSpectrum(name.data());
    }
    std::string folder;
};

TEST_F(ReadSpectrumTest, TopEnergyIsTheLastEnergyTruncated) {
    struct Case {
        std::string lastEnergy;
        std::int32_t top;
    };
    const Case cases[] = {{"31.0", 31}, {"31.9", 31}, {"30000.9", 30000}, {"0.7", 0}, {"-2.5", -2},
                          {"500000.99", 500000}, {"-3E9", INT32_MIN}};
    for (const Case& c : cases) {
        ASSERT_EQ(read("2\n1.0 1.0\n" + c.lastEnergy + " 2.0\n"), SpectrumRefusal::NONE) << c.lastEnergy;
        EXPECT_EQ(TopEnergy, c.top) << c.lastEnergy;
        EXPECT_EQ(EntryCount, 2);
        EXPECT_EQ(textio::unitTable().unit[0], textio::FREE_UNIT) << "unit 1 is disconnected again";
    }
}

TEST_F(ReadSpectrumTest, TablesTheProgramCannotHoldAreRefused) {
    struct Case {
        std::string content;
        SpectrumRefusal refusal;
    };
    const Case cases[] = {
        {"0\n", SpectrumRefusal::TOO_FEW_ENTRIES},
        {"-4\n1.0 1.0\n", SpectrumRefusal::TOO_FEW_ENTRIES},
        {"1000001\n", SpectrumRefusal::TOO_MANY_ENTRIES},  // refused before any row is read
        {"1\n500001.0 1.0\n", SpectrumRefusal::ENERGY_TOO_HIGH},
        {"1\n1E300 1.0\n", SpectrumRefusal::ENERGY_TOO_HIGH},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.content), c.refusal) << c.content;
        EXPECT_EQ(textio::unitTable().unit[0], textio::FREE_UNIT) << c.content;
    }
}

TEST_F(ReadSpectrumTest, RowsPersistBeyondAShorterTable) {
    ASSERT_EQ(read("3\n5.0 1.0\n12.0 4.0\n20.0 3.0\n"), SpectrumRefusal::NONE);
    ASSERT_EQ(read("1\n7.0 2.0\nthis record is never read\n"), SpectrumRefusal::NONE);
    EXPECT_EQ(InputEnergy[1], 7.0);
    EXPECT_EQ(InputEnergy[2], 12.0);
    EXPECT_EQ(InputFpp[3], 3.0);
    EXPECT_EQ(TopEnergy, 7);
}

TEST_F(ReadSpectrumTest, EndBeforeTheCountIsAnEndOfFile) {
    auto raised = testsupport::expectRaise([&] { read("3\n5.0 1.0\n12.0 4.0\n"); });
    EXPECT_EQ(raised.number, 6501);
    EXPECT_EQ(raised.kind, textio::StatementKind::READ);
    EXPECT_EQ(raised.name, "spectrum.dat");
}

}  // namespace
