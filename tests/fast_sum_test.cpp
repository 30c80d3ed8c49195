// The fast f' rows against the plain sum, bit for bit: every kernel width and thread count, edge rows, faults.
#include <cfenv>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/worked_example.h"
#include "transform/fast_sum.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

using namespace transform;
using testsupport::bits;

namespace {

constexpr unsigned THREAD_COUNTS[] = {1, 2, 5};

std::vector<int> kernelWidths() {
    std::vector<int> widths;
    for (int lanes : {BASELINE_LANES, AVX2_LANES, AVX512_LANES})
        if (processorRunsLanes(lanes)) widths.push_back(lanes);
    return widths;
}

class CollectedRows final : public RowSink {
public:
    void take(std::int32_t row, double fp) override {
        rows.push_back(row);
        fps.push_back(fp);
    }
    std::vector<std::int32_t> rows;
    std::vector<double> fps;
};

CollectedRows plainRows(std::int32_t first, std::int32_t last) {
    CollectedRows plain;
    for (std::int64_t i = first; i <= last; ++i) plain.take(static_cast<std::int32_t>(i), principalValueSum(static_cast<std::int32_t>(i)));
    return plain;
}

// The first difference between the fast rows of every width and thread
// count and the plain rows, or "" when there is none.
std::string differenceFromPlainRows(std::int32_t first, std::int32_t last) {
    const CollectedRows plain = plainRows(first, last);
    for (int lanes : kernelWidths()) {
        for (unsigned threads : THREAD_COUNTS) {
            RowSettings settings;
            settings.lanes = lanes;
            settings.threads = threads;
            setRowSettings(settings);
            CollectedRows fast;
            computeRows(first, last, fast);
            std::ostringstream where;
            where << "rows " << first << ".." << last << ", " << lanes << " lanes, " << threads << " threads: ";
            if (fast.rows != plain.rows) return where.str() + "other rows or order";
            for (std::size_t k = 0; k < plain.rows.size(); ++k) {
                if (bits(fast.fps[k]) != bits(plain.fps[k])) {
                    where.precision(17);
                    where << "row " << plain.rows[k] << " gives " << fast.fps[k] << ", plain " << plain.fps[k];
                    return where.str();
                }
            }
        }
    }
    return "";
}

// A spectrum of up to 200 entries with ascending energies (some equal, the
// first one possibly above the first grid point) and f'' of either sign.
// The points above the interpolated ones first get stale values, as from
// an earlier, longer calculation, or zero.
void loadRandomSpectrum(std::mt19937_64& random, double topLimit) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    EntryCount = 1 + static_cast<std::int32_t>(unit(random) * 199.0);
    double energy = 0.5 + 40.0 * unit(random);
    for (std::int32_t k = 1; k <= EntryCount; ++k) {
        if (k > 1 && unit(random) > 0.1) energy += unit(random) * 2.0 * topLimit / EntryCount;
        InputEnergy[k] = energy;
        InputFpp[k] = -3.0 + 43.0 * unit(random);
    }
    TopEnergy = static_cast<std::int32_t>(InputEnergy[EntryCount]);
    const bool stale = unit(random) > 0.5;
    for (std::int64_t k = interpolatedPointCount() + 1; k <= 2 * static_cast<std::int64_t>(TopEnergy) + 80; ++k) {
        if (k < 1) continue;
        GridOmega[k] = stale ? 1e17 * unit(random) : 0.0;
        GridFpp[k] = stale ? 10.0 * unit(random) : 0.0;
    }
    buildGrid();
    interpolateGrid();
}

class FastRows : public ::testing::Test {
protected:
    void TearDown() override { setRowSettings(RowSettings{}); }
};

TEST_F(FastRows, RandomSpectraAndRanges) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        std::mt19937_64 random(seed);
        loadRandomSpectrum(random, 1500.0);
        const std::int64_t top = 2 * static_cast<std::int64_t>(TopEnergy) + 30;
        for (int range = 0; range < 3; ++range) {
            const auto first = static_cast<std::int32_t>(1 + random() % static_cast<std::uint64_t>(top < 1 ? 1 : top));
            const auto last = static_cast<std::int32_t>(first + random() % 40);
            EXPECT_EQ(differenceFromPlainRows(first, last), "") << "seed " << seed << ", T = " << TopEnergy;
        }
    }
}

TEST_F(FastRows, EdgeRowsOfTheSum) {
    std::mt19937_64 random(77);
    loadRandomSpectrum(random, 200.0);
    const auto m = static_cast<std::int32_t>(lastTermIndex());
    const std::int32_t filled = static_cast<std::int32_t>(interpolatedPointCount());
    ASSERT_GT(m, 20);
    struct Range {
        std::int32_t first, last;
        const char* what;
    };
    const Range ranges[] = {
        {1, 1, "row 1: its weighted step 2 opens the sum"},
        {1, 3, "rows 1 to 3"},
        {m, m, "row M: its weighted step closes the sum"},
        {m - 3, m + 4, "across M"},
        {m + 1, m + 1, "the first row without a weighted step"},
        {filled, filled, "the last interpolated point"},
        {filled - 2, filled + 9, "into the stale points above the interpolated ones"},
        {1, filled + 30, "everything at once"},
        {TABLE_CAPACITY - 9, TABLE_CAPACITY, "the top of the tables, never filled"},
    };
    for (const Range& r : ranges) EXPECT_EQ(differenceFromPlainRows(r.first, r.last), "") << r.what;
    // One row at every lane position, and every range length up to two blocks of the widest kernel.
    for (std::int32_t row = m - 9; row <= m + 2; ++row) EXPECT_EQ(differenceFromPlainRows(row, row), "");
    for (std::int32_t length = 1; length <= 2 * AVX512_LANES + 1; ++length)
        EXPECT_EQ(differenceFromPlainRows(m - 8, m - 9 + length), "") << "length " << length;
}

TEST_F(FastRows, NoTermsUpToTopEnergyFiveFewTermsAbove) {
    testsupport::loadWorkedExample();
    for (std::int32_t top : {5, 4, 1, 0, -3}) {
        TopEnergy = top;
        EXPECT_EQ(differenceFromPlainRows(1, 12), "") << "T = " << top;
        CollectedRows fast;
        computeRows(1, 12, fast);
        for (double fp : fast.fps) EXPECT_EQ(bits(fp), bits(0.0)) << "T = " << top;
    }
    for (std::int32_t top : {6, 7, 8}) {  // M = 2, 4, 6
        TopEnergy = top;
        EXPECT_EQ(differenceFromPlainRows(1, 15), "") << "T = " << top;
    }
}

TEST_F(FastRows, NoRowsForAnEmptyRange) {
    testsupport::loadWorkedExample();
    CollectedRows fast;
    computeRows(14, 12, fast);
    EXPECT_TRUE(fast.rows.empty());
}

TEST_F(FastRows, EveryCountOfRowsInOneBlockOfEachWidth) {
    std::mt19937_64 random(5);
    loadRandomSpectrum(random, 100.0);
    ASSERT_TRUE(prepareRowTerms());
    const auto m = static_cast<std::int32_t>(lastTermIndex());
    const double untouched = -0x1.5p-1000;
    for (int lanes : kernelWidths()) {
        for (int count = 1; count <= lanes; ++count) {
            for (std::int32_t first : {1, m - count + 1, m - 1, m + 3}) {
                double fp[AVX512_LANES + 1];
                for (double& value : fp) value = untouched;
                sumRowBlock(lanes, first, count, fp);
                for (int l = 0; l < count; ++l)
                    EXPECT_EQ(bits(fp[l]), bits(principalValueSum(first + l)))
                        << lanes << " lanes, rows from " << first << ", lane " << l;
                for (int l = count; l <= AVX512_LANES; ++l)
                    EXPECT_EQ(bits(fp[l]), bits(untouched)) << "written beyond the block: lane " << l;
            }
        }
    }
}

TEST_F(FastRows, FlaggedBlocksGiveThePlainRows) {
    // Without traps the faulting rows go on with infinities and NaNs; the
    // flagged blocks are summed again by the plain path and must agree.
    struct Fault {
        const char* what;
        void (*plant)();
    };
    const Fault faults[] = {
        {"overflow in row 20", [] { GridFpp[20] = 1e304; }},
        {"division by zero in row 70", [] { GridOmega[70] = GridOmega[30]; }},
        {"zero by zero in row 70", [] { GridOmega[70] = GridOmega[30]; GridFpp[30] = 0.0; }},
        {"overflowing square of point 40", [] { GridOmega[40] = 1e160; }},
    };
    for (const Fault& fault : faults) {
        testsupport::loadWorkedExample();
        TopEnergy = 31;
        for (int k = 58; k <= 80; ++k) GridOmega[k] = GridFpp[k] = 0.0;
        fault.plant();
        EXPECT_EQ(differenceFromPlainRows(2, 75), "") << fault.what;
    }
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST_F(FastRows, TheCallersTrapsStayArmed) {
    testsupport::loadWorkedExample();
    const int trapped = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
    feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(trapped);
    CollectedRows fast;
    computeRows(1, 40, fast);
    const int armed = fegetexcept();
    fedisableexcept(trapped);
    EXPECT_EQ(armed & trapped, trapped);
    EXPECT_EQ(fast.rows.size(), 40u);
    EXPECT_EQ(differenceFromPlainRows(1, 40), "");
}

TEST_F(FastRows, PlainSettingTakesThePlainLoop) {
    testsupport::loadWorkedExample();
    RowSettings settings;
    settings.referenceOnly = true;
    setRowSettings(settings);
    CollectedRows rows;
    computeRows(12, 14, rows);
    ASSERT_EQ(rows.rows, (std::vector<std::int32_t>{12, 13, 14}));
    EXPECT_EQ(bits(rows.fps[0]), bits(-1.3866785722063715));
    EXPECT_EQ(bits(rows.fps[2]), bits(-1.0814522858562359));
}

// The driver plants one fault in a grid with T = 45 and prints rows 20 to
// 100 as they arrive, with the traps armed as in the program: the fast path
// must print the same rows and end with the same report and status, also
// when no worker thread can be started.
TEST(FastRowsWithTraps, PlantedFaultsEndLikeThePlainLoop) {
    const std::string mathHead = "\r\nrun-time error M61";
    struct Case {
        const char* fault;
        int plainRows;  // rows written before the faulting one
        std::string report;
    };
    const Case cases[] = {
        {"none", 81, ""},
        {"overflow", 25, mathHead + "04: MATH\r\n- floating-point error: overflow\r\n"},
        {"divide", 70, mathHead + "03: MATH\r\n- floating-point error: divide by zero\r\n"},
        {"invalid", 70, mathHead + "01: MATH\r\n- floating-point error: invalid\r\n"},
        {"square", 0, mathHead + "04: MATH\r\n- floating-point error: overflow\r\n"},
    };
    const std::string driver = testsupport::driverPath("rows_driver");
    for (const Case& c : cases) {
        const testsupport::RunResult plain =
            testsupport::runProgram({driver, c.fault, "reference", "0", "0", "20", "100"}, {});
        EXPECT_EQ(plain.standardError, c.report) << c.fault;
        EXPECT_EQ(plain.exitStatus, c.report.empty() ? 0 : 1) << c.fault;
        std::size_t lines = 0;
        for (char ch : plain.standardOutput) lines += ch == '\n';
        EXPECT_EQ(lines, static_cast<std::size_t>(c.plainRows)) << c.fault;

        for (int lanes : kernelWidths()) {
            for (unsigned threads : THREAD_COUNTS) {
                const testsupport::RunResult fast = testsupport::runProgram(
                    {driver, c.fault, "fast", std::to_string(lanes), std::to_string(threads), "20", "100"}, {});
                const std::string label = std::string(c.fault) + ", " + std::to_string(lanes) + " lanes, " +
                                          std::to_string(threads) + " threads";
                EXPECT_EQ(fast.standardOutput, plain.standardOutput) << label;
                EXPECT_EQ(fast.standardError, plain.standardError) << label;
                EXPECT_EQ(fast.exitStatus, plain.exitStatus) << label;
            }
        }
        // No thread can be started: the calling thread sums the blocks itself.
        const testsupport::RunResult alone =
            testsupport::runProgram({driver, c.fault, "fast", "0", "0", "20", "100", "nothreads"}, {});
        EXPECT_EQ(alone.standardOutput, plain.standardOutput) << c.fault << ", no thread";
        EXPECT_EQ(alone.standardError, plain.standardError) << c.fault << ", no thread";
        EXPECT_EQ(alone.exitStatus, plain.exitStatus) << c.fault << ", no thread (3: a thread started)";
    }
}

}  // namespace
