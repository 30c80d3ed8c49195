// The interpolation's forward sweep over the table: the same entries as the search from the start, in linear time.
#include <chrono>
#include <cstdint>
#include <random>

#include "support/test_support.h"
#include "support/worked_example.h"
#include "transform/grid.h"

using namespace transform;
using testsupport::bits;

namespace {

// The first grid point whose f'' differs from the one of the search from
// the table start, or 0 when every point agrees.
std::int64_t firstPointUnlikeTheSearch() {
    for (std::int64_t k = 1; k <= interpolatedPointCount(); ++k) {
        const double g = GridEnergy[k];
        if (bits(GridFpp[k]) != bits(interpolatedFpp(g, findBracket(g)))) return k;
    }
    return 0;
}

TEST(GridSweep, SameEntriesAsTheSearchFromTheStart) {
    enum Order { ASCENDING, UNSORTED, DESCENDING, ALL_EQUAL };
    struct Case {
        const char* what;
        Order order;
        double firstEnergy;
        int entries;
    };
    const Case cases[] = {
        {"ascending with equal neighbours", ASCENDING, 3.0, 300},
        {"ascending from above the first grid point", ASCENDING, 25.0, 120},
        {"one entry", ASCENDING, 40.0, 1},
        {"unsorted", UNSORTED, 1.0, 250},
        {"descending", DESCENDING, 900.0, 90},
        {"all energies equal", ALL_EQUAL, 700.0, 40},
    };
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Case& c : cases) {
        EntryCount = c.entries;
        double energy = c.firstEnergy;
        for (std::int32_t k = 1; k <= EntryCount; ++k) {
            if (c.order == UNSORTED) energy = 1000.0 * unit(random);
            InputEnergy[k] = energy;
            InputFpp[k] = -2.0 + 30.0 * unit(random);
            if (c.order == ASCENDING && unit(random) > 0.2) energy += 8.0 * unit(random);
            if (c.order == DESCENDING) energy -= 10.0 * unit(random);
        }
        // The last entry sets T: put a high energy there for every order.
        if (c.order != ASCENDING) InputEnergy[EntryCount] = c.order == ALL_EQUAL ? energy : 950.5;
        TopEnergy = static_cast<std::int32_t>(InputEnergy[EntryCount]);
        buildGrid();
        interpolateGrid();
        EXPECT_EQ(firstPointUnlikeTheSearch(), 0) << c.what;
    }
}

TEST(GridSweep, AGridEnergyBelowTheOneBeforeStartsAgain) {
    testsupport::loadWorkedExample();
    // Energies that fall, jump back and repeat: the sweep must not carry a
    // bracket over from a higher grid energy.
    const double energies[] = {30.0, 11.0, 11.0, 27.5, 4.0, 31.0, 12.0, 35.0, 26.0};
    for (std::size_t k = 0; k < std::size(energies); ++k) GridEnergy[20 + k] = energies[k];
    interpolateGrid();
    EXPECT_EQ(firstPointUnlikeTheSearch(), 0);
}

TEST(GridSweep, MillionEntriesInWellUnderASecond) {
    EntryCount = TABLE_CAPACITY;
    for (std::int32_t k = 1; k <= EntryCount; ++k) {
        InputEnergy[k] = 0.5 * k - 0.25;  // up to 499999.75 eV
        InputFpp[k] = 1.0 + 1000.0 / InputEnergy[k];
    }
    TopEnergy = 499999;
    buildGrid();
    const auto start = std::chrono::steady_clock::now();
    interpolateGrid();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.0);
    // The search from the start costs up to a million steps a point: a sample.
    for (std::int64_t k = 1; k <= interpolatedPointCount(); k += 24999) {
        const double g = GridEnergy[k];
        EXPECT_EQ(bits(GridFpp[k]), bits(interpolatedFpp(g, findBracket(g)))) << "k = " << k;
    }
}

}  // namespace
