// The fast f' rows: the vector kernels, their choice at run time, and the workers that sum blocks of rows ahead.
#include "transform/fast_sum.h"

#include <atomic>
#include <cfenv>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "transform/kk_sum.h"
#include "transform/grid.h"

namespace transform {

namespace {

typedef double Lanes2 __attribute__((vector_size(16)));
typedef double Lanes4 __attribute__((vector_size(32)));
typedef double Lanes8 __attribute__((vector_size(64)));

constexpr int TRAPPED_FLAGS = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// omega(j) * omega(j) and omega(j) - omega(j - 1), the same single operations
// every row's sum makes, made once per calculation.
double StepSquares[TABLE_CAPACITY + 1];
double StepWidths[TABLE_CAPACITY + 1];

// Rows summed ahead of the writing, by row - first.
double RowsAhead[TABLE_CAPACITY];

RowSettings Settings;

// One step with the weights of every lane: exactly the terms of sumTerm.
template <typename V, int L>
__attribute__((always_inline)) inline void weightedStep(const std::int64_t (&rows)[L], std::int64_t j, V w2, V& acc,
                                                        V& previous) {
    V weight;
    for (int l = 0; l < L; ++l) {
        weight[l] = (j == rows[l] || j - rows[l] == 1) ? static_cast<double>(SINGULAR_WEIGHT)
                                                       : static_cast<double>(UNIT_WEIGHT);
    }
    const V d1 = w2 - StepSquares[j] * weight;
    const V t1 = (GridFpp[j] / d1) * GridOmega[j];
    const V d2 = w2 * weight - StepSquares[j - 1];
    const V t2 = (GridFpp[j - 1] / d2) * GridOmega[j - 1];
    const V s = ((t1 + t2) * StepWidths[j]) / PI_SINGLE;
    acc = acc + s;
    previous = t1;
}

// Steps from .. to, where every lane has weight 1 at j and at j - 1: then t2
// of step j is t1 of step j - 1, the same operations on the same operands
// (the factor 1.0 on a square is exact), so it is taken over.
template <typename V>
__attribute__((always_inline)) inline void unitSteps(std::int64_t from, std::int64_t to, V w2, V& acc, V& previous) {
    V carried = previous;
    V sum = acc;
    for (std::int64_t j = from; j <= to; ++j) {
        const V d1 = w2 - StepSquares[j];
        const V t1 = (GridFpp[j] / d1) * GridOmega[j];
        const V s = ((t1 + carried) * StepWidths[j]) / PI_SINGLE;
        sum = sum + s;
        carried = t1;
    }
    acc = sum;
    previous = carried;
}

// Rows first .. first + count - 1 in the lanes (the last row repeated in the
// spare lanes), each lane the sequence of principalValueSum for its row.
template <typename V, int L>
__attribute__((always_inline)) inline void sumLanes(std::int32_t first, int count, double* fp) {
    const std::int64_t last = lastTermIndex();
    if (last - 1 < 1) {
        for (int l = 0; l < count; ++l) fp[l] = 0.0;
        return;
    }
    std::int64_t rows[L];
    V w2;
    for (int l = 0; l < L; ++l) {
        rows[l] = static_cast<std::int64_t>(first) + (l < count ? l : count - 1);
        w2[l] = GridOmega[rows[l]] * GridOmega[rows[l]];
    }
    V acc = {};
    V previous = {};

    // Step 2 has no earlier t1 to take over; steps rows[0] .. rows[L-1] + 2
    // hold a weight or follow one in some lane.
    weightedStep<V, L>(rows, 2, w2, acc, previous);
    const std::int64_t low = rows[0] > 3 ? rows[0] : 3;
    const std::int64_t high = rows[L - 1] + 2 < last ? rows[L - 1] + 2 : last;
    unitSteps<V>(3, low - 1 < last ? low - 1 : last, w2, acc, previous);
    for (std::int64_t j = low; j <= high; ++j) weightedStep<V, L>(rows, j, w2, acc, previous);
    unitSteps<V>(high + 1 > low ? high + 1 : low, last, w2, acc, previous);

    for (int l = 0; l < count; ++l) fp[l] = acc[l];
}

__attribute__((target("avx512f"))) void sumLanes8(std::int32_t first, int count, double* fp) {
    sumLanes<Lanes8, 8>(first, count, fp);
}

__attribute__((target("avx2"))) void sumLanes4(std::int32_t first, int count, double* fp) {
    sumLanes<Lanes4, 4>(first, count, fp);
}

void sumLanes2(std::int32_t first, int count, double* fp) { sumLanes<Lanes2, 2>(first, count, fp); }

int chosenLanes() {
    if (Settings.lanes != 0 && processorRunsLanes(Settings.lanes)) return Settings.lanes;
    return widestLaneCount();
}

unsigned chosenThreads() {
    if (Settings.threads != 0) return Settings.threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void sumReferenceRows(std::int64_t from, std::int64_t to, RowSink& sink) {
    for (std::int64_t i = from; i <= to; ++i) {
        const auto row = static_cast<std::int32_t>(i);
        sink.take(row, principalValueSum(row));
    }
}

// A block waits as PENDING until a worker has summed it.
enum BlockState : unsigned char { PENDING, CLEAN, FLAGGED };

// The blocks of one range, claimed by the workers in increasing order.
struct RowBlocks {
    std::int32_t first;
    std::int64_t rowCount;
    int lanes;
    std::int64_t blockCount;
    std::atomic<std::int64_t> nextBlock{0};
    std::vector<std::atomic<unsigned char>> states;

    RowBlocks(std::int32_t first_, std::int64_t rowCount_, int lanes_)
        : first(first_),
          rowCount(rowCount_),
          lanes(lanes_),
          blockCount((rowCount_ + lanes_ - 1) / lanes_),
          states(static_cast<std::size_t>(blockCount)) {}

    std::int64_t blockRows(std::int64_t block) const {
        const std::int64_t left = rowCount - block * lanes;
        return left < lanes ? left : lanes;
    }
};

// Sums the next unclaimed block, if any is left, and marks it CLEAN or
// FLAGGED by the exception flags it raised; the traps must be masked.
bool sumNextBlock(RowBlocks& blocks) {
    const std::int64_t block = blocks.nextBlock.fetch_add(1, std::memory_order_relaxed);
    if (block >= blocks.blockCount) return false;
    const std::int64_t offset = block * blocks.lanes;
    feclearexcept(FE_ALL_EXCEPT);
    sumRowBlock(blocks.lanes, static_cast<std::int32_t>(blocks.first + offset),
                static_cast<int>(blocks.blockRows(block)), RowsAhead + offset);
    const bool flagged = fetestexcept(TRAPPED_FLAGS) != 0;
    std::atomic<unsigned char>& state = blocks.states[static_cast<std::size_t>(block)];
    state.store(flagged ? FLAGGED : CLEAN, std::memory_order_release);
    state.notify_all();
    return true;
}

// A worker sums blocks with every trap masked; it stops between blocks when asked.
void runWorker(std::stop_token stop, RowBlocks& blocks) {
    fedisableexcept(FE_ALL_EXCEPT);
    while (!stop.stop_requested() && sumNextBlock(blocks)) {
    }
}

}  // namespace

int widestLaneCount() {
    if (__builtin_cpu_supports("avx512f")) return AVX512_LANES;
    if (__builtin_cpu_supports("avx2")) return AVX2_LANES;
    return BASELINE_LANES;
}

bool processorRunsLanes(int lanes) {
    switch (lanes) {
        case BASELINE_LANES: return true;
        case AVX2_LANES: return __builtin_cpu_supports("avx2");
        case AVX512_LANES: return __builtin_cpu_supports("avx512f");
        default: return false;
    }
}

void setRowSettings(const RowSettings& settings) { Settings = settings; }
RowSettings rowSettings() { return Settings; }

bool prepareRowTerms() {
    const std::int64_t last = lastTermIndex();
    if (last > TABLE_CAPACITY) return false;
    for (std::int64_t j = 1; j <= last; ++j) StepSquares[j] = GridOmega[j] * GridOmega[j];
    for (std::int64_t j = 2; j <= last; ++j) StepWidths[j] = GridOmega[j] - GridOmega[j - 1];
    return true;
}

void sumRowBlock(int lanes, std::int32_t first, int count, double* fp) {
    if (!processorRunsLanes(lanes)) lanes = BASELINE_LANES;
    if (count < 1) return;
    if (count > lanes) count = lanes;
    switch (lanes) {
        case AVX512_LANES: sumLanes8(first, count, fp); break;
        case AVX2_LANES: sumLanes4(first, count, fp); break;
        default: sumLanes2(first, count, fp); break;
    }
}

void computeRows(std::int32_t first, std::int32_t last, RowSink& sink) {
    if (last < first) return;
    // Ranges outside the tables and the plain setting take the plain loop as it is.
    if (Settings.referenceOnly || first < 1 || last > TABLE_CAPACITY) {
        sumReferenceRows(first, last, sink);
        return;
    }

    // The factors are the first operations of every row's sum; a trapped
    // exception among them belongs to the first row, so the plain loop runs.
    fenv_t environment;
    feholdexcept(&environment);
    const bool prepared = prepareRowTerms();
    const bool clean = fetestexcept(TRAPPED_FLAGS) == 0;
    fesetenv(&environment);
    if (!prepared || !clean) {
        sumReferenceRows(first, last, sink);
        return;
    }

    RowBlocks blocks(first, static_cast<std::int64_t>(last) - first + 1, chosenLanes());
    const unsigned threads = chosenThreads();
    const std::size_t workerCount =
        static_cast<std::int64_t>(threads) < blocks.blockCount ? threads : static_cast<std::size_t>(blocks.blockCount);
    std::vector<std::jthread> workers;
    // A thread that cannot be started leaves its share to the others, and
    // with none at all the calling thread sums each block when it needs it.
    auto startWorkers = [&] {
        try {
            while (workers.size() < workerCount) workers.emplace_back(runWorker, std::ref(blocks));
        } catch (const std::system_error&) {
        }
    };
    auto stopWorkers = [&] {
        for (std::jthread& worker : workers) worker.request_stop();
        workers.clear();  // joins
    };

    startWorkers();
    for (std::int64_t block = 0; block < blocks.blockCount; ++block) {
        std::atomic<unsigned char>& state = blocks.states[static_cast<std::size_t>(block)];
        if (workers.empty() && state.load(std::memory_order_relaxed) == PENDING) {
            fenv_t callers;
            feholdexcept(&callers);
            sumNextBlock(blocks);
            fesetenv(&callers);
        }
        unsigned char seen;
        while ((seen = state.load(std::memory_order_acquire)) == PENDING) state.wait(PENDING, std::memory_order_acquire);
        const std::int64_t offset = block * blocks.lanes;
        const std::int64_t from = first + offset;
        const std::int64_t to = from + blocks.blockRows(block) - 1;
        if (seen == CLEAN) {
            for (std::int64_t i = from; i <= to; ++i) sink.take(static_cast<std::int32_t>(i), RowsAhead[i - first]);
            continue;
        }
        // The workers finish the blocks they hold and stop; the blocks they
        // have claimed are then done, and new workers go on after them.
        stopWorkers();
        sumReferenceRows(from, to, sink);
        startWorkers();
    }
    stopWorkers();
}

}  // namespace transform
