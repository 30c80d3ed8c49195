// Reading the spectrum file and preparing the 0.5 eV grid.
#include "transform/grid.h"

#include "textio/list_reader.h"
#include "textio/units.h"

namespace transform {

double InputEnergy[TABLE_CAPACITY + 1];
double InputFpp[TABLE_CAPACITY + 1];
double GridEnergy[TABLE_CAPACITY + 1];
double GridFpp[TABLE_CAPACITY + 1];
double GridOmega[TABLE_CAPACITY + 1];
double GridFp[TABLE_CAPACITY + 1];

std::int32_t EntryCount = 0;
std::int32_t TopEnergy = 0;

namespace {

// E(N) truncated toward zero; the caller has refused energies of 500001 eV
// and more, and the most negative energies stay at the smallest integer.
std::int32_t truncatedEnergy(double energy) {
    if (energy < -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(energy);
}

}  // namespace

SpectrumRefusal readSpectrum(const char* inputFileName) {
    using textio::ListReader;
    textio::openUnit(INPUT_UNIT, inputFileName, TEXT_LENGTH);
    ListReader::begin(INPUT_UNIT);
    ListReader::getInt32(EntryCount);
    ListReader::end();

    SpectrumRefusal refusal = SpectrumRefusal::NONE;
    if (EntryCount < 1) {
        refusal = SpectrumRefusal::TOO_FEW_ENTRIES;
    } else if (EntryCount > TABLE_CAPACITY) {
        refusal = SpectrumRefusal::TOO_MANY_ENTRIES;
    } else {
        for (std::int32_t i = 1; i <= EntryCount; ++i) {
            ListReader::begin(INPUT_UNIT);
            ListReader::getReal64(InputEnergy[i]);
            ListReader::getReal64(InputFpp[i]);
            ListReader::end();
        }
        if (InputEnergy[EntryCount] >= TOP_ENERGY_LIMIT) {
            refusal = SpectrumRefusal::ENERGY_TOO_HIGH;
        } else {
            TopEnergy = truncatedEnergy(InputEnergy[EntryCount]);
        }
    }
    textio::closeUnit(INPUT_UNIT);
    return refusal;
}

const char* refusalText(SpectrumRefusal refusal) {
    switch (refusal) {
        case SpectrumRefusal::TOO_FEW_ENTRIES: return "The input file must hold at least one entry.";
        case SpectrumRefusal::TOO_MANY_ENTRIES: return "The input file holds more than 1000000 entries.";
        case SpectrumRefusal::ENERGY_TOO_HIGH: return "The last energy of the input file must lie below 500001 eV.";
        case SpectrumRefusal::NONE: break;
    }
    return "";
}

void buildGrid() {
    GridEnergy[1] = GRID_START;
    const std::int64_t last = gridPointCount();
    for (std::int64_t k = 2; k <= last; ++k) GridEnergy[k] = GridEnergy[k - 1] + GRID_STEP;
}

std::int32_t findBracket(double g) {
    if (g <= InputEnergy[1]) return 1;
    std::int32_t j = 2;
    while (j <= EntryCount && !(g <= InputEnergy[j])) ++j;
    return j;
}

double interpolatedFpp(double g, std::int32_t j) {
    if (j == 1) return InputFpp[1];
    if (j > EntryCount) return InputFpp[EntryCount];
    const double dF = InputFpp[j] - InputFpp[j - 1];
    const double dE = InputEnergy[j] - InputEnergy[j - 1];
    const double slope = dF / dE;
    const double offset = g - InputEnergy[j - 1];
    const double rise = slope * offset;
    return rise + InputFpp[j - 1];
}

double angularFrequency(double g) {
    const double frequency = g / PLANCK_H;
    const double charged = frequency * ELEMENTARY_CHARGE;
    const double half = charged * PI_SINGLE;
    return half * 2.0;
}

namespace {

// The entry findBracket gives for g, found by going on from `upper`, the
// entry it gave for a grid energy not above g: no entry j >= 2 below that
// one holds an energy at or above g, whatever the order of the table.
std::int32_t nextBracket(double g, std::int32_t upper) {
    if (g <= InputEnergy[1]) return 1;
    std::int32_t j = upper < 2 ? 2 : upper;
    while (j <= EntryCount && !(g <= InputEnergy[j])) ++j;
    return j;
}

}  // namespace

void interpolateGrid() {
    const std::int64_t last = interpolatedPointCount();
    std::int32_t upper = 2;
    double previous = 0.0;
    for (std::int64_t k = 1; k <= last; ++k) {
        const double g = GridEnergy[k];
        // The grid rises; a grid energy below the one before starts the sweep again.
        if (k == 1 || !(g >= previous)) upper = 2;
        upper = nextBracket(g, upper);
        previous = g;
        GridFpp[k] = interpolatedFpp(g, upper);
        GridOmega[k] = angularFrequency(g);
    }
}

}  // namespace transform
