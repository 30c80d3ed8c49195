// The fast f' rows: several rows at once in vector lanes, blocks of rows on every core, bit for bit the reference.
#pragma once

#include <cstdint>

namespace transform {

// Receives the rows of a range one at a time, in increasing row order.
class RowSink {
public:
    virtual void take(std::int32_t row, double fp) = 0;

protected:
    ~RowSink() = default;
};

// Computes f' for the rows first .. last (none when last < first), each the
// exact bits of principalValueSum, and hands them to `sink` in increasing
// order. Blocks of rows are summed ahead on worker threads with the
// floating-point traps masked; a block whose exception flags show an invalid
// operation, a division by zero or an overflow is summed again row by row on
// the calling thread by principalValueSum, each row handed on before the next
// is summed, so that a trap armed on the calling thread fires exactly after
// the rows the plain loop would have finished.
void computeRows(std::int32_t first, std::int32_t last, RowSink& sink);

// Lane counts of the kernels: 2 (SSE2, every x86-64), 4 (AVX2), 8 (AVX-512F).
inline constexpr int BASELINE_LANES = 2;
inline constexpr int AVX2_LANES = 4;
inline constexpr int AVX512_LANES = 8;

// The widest kernel this processor runs.
int widestLaneCount();
bool processorRunsLanes(int lanes);

// Internal settings of the fast rows, for the tests, the benchmarks and the
// timing of the program against the plain path. The program itself keeps
// the defaults: the widest kernel, one worker per core.
struct RowSettings {
    int lanes = 0;             // 0: the widest kernel the processor runs
    unsigned threads = 0;      // 0: std::thread::hardware_concurrency()
    bool referenceOnly = false; // every row by principalValueSum, in the plain loop's order
};
void setRowSettings(const RowSettings& settings);
RowSettings rowSettings();

// The kernel alone: f' of the rows first .. first + count - 1 into
// fp[0 .. count - 1], count at most `lanes` (a width the processor lacks
// takes the baseline kernel), on the calling thread with whatever
// floating-point environment it has. Needs prepareRowTerms() of the current
// grid first. Benchmarks and tests use it directly.
void sumRowBlock(int lanes, std::int32_t first, int count, double* fp);

// Computes the row-independent factors of every sum of the current grid:
// omega(j) * omega(j) for j = 1 .. M and omega(j) - omega(j - 1) for j = 2 .. M,
// with M = 2*TopEnergy - 10. Returns false, with nothing usable prepared,
// when M lies beyond the tables.
bool prepareRowTerms();

}  // namespace transform
