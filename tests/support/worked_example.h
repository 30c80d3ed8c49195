// The five-entry spectrum used throughout the transform tests, loaded straight into the tables.
#pragma once

#include <bit>
#include <cstdint>

#include "transform/grid.h"

namespace testsupport {

// Energies 5, 12, 20, 26, 31 eV with f'' 1, 4, 3, 2.5, 2.5: T = 31, grid
// points 1 to 62, interpolated points 1 to 57.
inline void loadWorkedExample() {
    const double energies[] = {5.0, 12.0, 20.0, 26.0, 31.0};
    const double fpps[] = {1.0, 4.0, 3.0, 2.5, 2.5};
    transform::EntryCount = 5;
    for (int i = 0; i < 5; ++i) {
        transform::InputEnergy[i + 1] = energies[i];
        transform::InputFpp[i + 1] = fpps[i];
    }
    transform::TopEnergy = 31;
    transform::buildGrid();
    transform::interpolateGrid();
}

inline std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

}  // namespace testsupport
