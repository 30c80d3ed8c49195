// The spectrum table, the 0.5 eV grid with its interpolated f'' and angular frequencies, and the constants.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>

// The rows are defined to the last bit: every operation must be rounded to
// its own 64-bit type before the next one uses it.
static_assert(FLT_EVAL_METHOD == 0, "kkfprime needs each operation rounded to its own type");

namespace transform {

inline constexpr std::int32_t INPUT_UNIT = 1;
inline constexpr std::int32_t RESULT_UNIT = 2;
inline constexpr std::int32_t TABLE_CAPACITY = 1000000;
inline constexpr int TEXT_LENGTH = 60;

// The physical constants are single-precision numbers, widened exactly.
inline constexpr double PI_SINGLE = std::bit_cast<float>(0x40490FDAu);
inline constexpr double PLANCK_H = std::bit_cast<float>(0x085C2FC6u);
inline constexpr double ELEMENTARY_CHARGE = std::bit_cast<float>(0x203D217Bu);

inline constexpr double GRID_START = 10.0;
inline constexpr double GRID_STEP = 0.5;

// The highest last energy whose grid still fits the tables (T at most 500000).
inline constexpr double TOP_ENERGY_LIMIT = 500001.0;

// The six tables, indexed from 1 (entry 0 is never used). They live for the
// whole run and are only ever overwritten entry by entry.
extern double InputEnergy[TABLE_CAPACITY + 1];
extern double InputFpp[TABLE_CAPACITY + 1];
extern double GridEnergy[TABLE_CAPACITY + 1];
extern double GridFpp[TABLE_CAPACITY + 1];
extern double GridOmega[TABLE_CAPACITY + 1];
extern double GridFp[TABLE_CAPACITY + 1];

extern std::int32_t EntryCount;
extern std::int32_t TopEnergy;

// Why a spectrum file was not taken into the tables.
enum class SpectrumRefusal { NONE, TOO_FEW_ENTRIES, TOO_MANY_ENTRIES, ENERGY_TOO_HIGH };

// Reads the count and the energy/f'' rows of the named file on INPUT_UNIT
// and derives TopEnergy; the unit is disconnected again in every case.
SpectrumRefusal readSpectrum(const char* inputFileName);

// The console line that tells the user why a spectrum was refused.
const char* refusalText(SpectrumRefusal refusal);

// Grid energies 10.0 eV, 10.5 eV, ... for points 1 to 2*TopEnergy (point 1 always).
void buildGrid();

// f'' and angular frequency of grid points 1 to 2*TopEnergy - 5.
void interpolateGrid();

// The upper table entry of the interpolation pair for grid energy g: 1 when
// g <= E(1), else the smallest j >= 2 with g <= E(j), or EntryCount + 1 when
// g lies above every entry.
std::int32_t findBracket(double g);

// f'' at g from the entries j - 1 and j, with the flat continuations at both
// ends of the table.
double interpolatedFpp(double g, std::int32_t j);

double angularFrequency(double g);

// Counts of grid points, computed without 32-bit overflow.
inline std::int64_t gridPointCount() { return TopEnergy < 1 ? 1 : 2 * static_cast<std::int64_t>(TopEnergy); }
inline std::int64_t interpolatedPointCount() { return 2 * static_cast<std::int64_t>(TopEnergy) - 5; }

}  // namespace transform
