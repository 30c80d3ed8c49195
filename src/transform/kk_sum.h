// The Kramers-Kronig principal-value sum and the result rows.
#pragma once

#include <bit>
#include <cstdint>

#include "transform/grid.h"

namespace transform {

// Weights of a term pair: 1, or the single-precision number just above 1 for
// the two steps at the singular point.
inline constexpr float UNIT_WEIGHT = 1.0f;
inline constexpr float SINGULAR_WEIGHT = std::bit_cast<float>(0x3F800001u);

extern float LowEnergy;
extern float HighEnergy;
extern std::int32_t FirstRow;
extern std::int32_t LastRow;

// trunc(2 * x) as a 32-bit integer, held at the integer limits beyond them.
std::int32_t rangeIndex(float x);

// The range answers select no row, or rows that all lie inside the tables.
bool rangeFitsTables(float low, float high);

// One step j of the sum for row i, every operation rounded on its own in
// the order written; w2 is omega(i) squared.
struct SumTerm {
    double weight, d1, t1, d2, t2, step, s;
};
inline SumTerm sumTerm(const double* omega, const double* fpp, std::int64_t i, std::int64_t j, double w2) {
    SumTerm term;
    term.weight = (j == i || j - i == 1) ? SINGULAR_WEIGHT : UNIT_WEIGHT;
    const double square = omega[j] * omega[j];
    term.d1 = w2 - square * term.weight;
    term.t1 = (fpp[j] / term.d1) * omega[j];
    const double previousSquare = omega[j - 1] * omega[j - 1];
    term.d2 = w2 * term.weight - previousSquare;
    term.t2 = (fpp[j - 1] / term.d2) * omega[j - 1];
    term.step = omega[j] - omega[j - 1];
    term.s = ((term.t1 + term.t2) * term.step) / PI_SINGLE;
    return term;
}

// The last term index of every sum, 2*TopEnergy - 10; no term when below 2.
std::int64_t lastTermIndex();

// f' at grid point i, from the terms j = 2 .. 2*TopEnergy - 10 added in order.
double principalValueSum(std::int32_t i);

// Computes f' for FirstRow .. LastRow and writes each row to the console
// (energy, f') and to RESULT_UNIT (energy, f', f'').
void writeResultRows();

}  // namespace transform
