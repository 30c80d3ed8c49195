// The f' rows, plain and fast, side by side: 400 consecutive rows around 7000 eV of a grid with T = 30000.
//
// Prints Google Benchmark's table (medians of repeated runs) and then the
// nanoseconds per term of each path and its speed-up over the plain sum.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "transform/fast_sum.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

using namespace transform;

namespace {

constexpr std::int32_t TOP = 30000;
constexpr std::int32_t ROW_COUNT = 400;
constexpr std::int32_t FIRST_ROW = 2 * (7000 - 10) + 1 - ROW_COUNT / 2;  // 6900 eV .. 7099.5 eV

// A smooth f'' with an absorption edge at 7112 eV, 15000 entries up to 30000.25 eV.
void loadSpectrum() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    EntryCount = 15000;
    for (std::int32_t k = 1; k <= EntryCount; ++k) {
        const double e = k < EntryCount ? 2.0 * k : TOP + 0.25;
        const double edge = e < 7112.0 ? 0.0 : 3.5 * 7112.0 / e;
        InputEnergy[k] = e;
        InputFpp[k] = 0.4 + 2000.0 / e + edge;
    }
    TopEnergy = TOP;
    buildGrid();
    interpolateGrid();
}

double termsPerRun() { return static_cast<double>(ROW_COUNT) * static_cast<double>(lastTermIndex() - 1); }

void setTermCounter(benchmark::State& state) {
    state.counters["terms"] = termsPerRun();
    state.counters["time_per_term"] =
        benchmark::Counter(termsPerRun(), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Reference(benchmark::State& state) {
    loadSpectrum();
    for (auto _ : state) {
        for (std::int32_t i = FIRST_ROW; i < FIRST_ROW + ROW_COUNT; ++i) benchmark::DoNotOptimize(principalValueSum(i));
    }
    setTermCounter(state);
}

// The kernel of one width on the calling thread only.
void BM_KernelOneThread(benchmark::State& state) {
    loadSpectrum();
    const int lanes = static_cast<int>(state.range(0));
    if (!processorRunsLanes(lanes)) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    std::vector<double> fp(ROW_COUNT + AVX512_LANES);
    for (auto _ : state) {
        prepareRowTerms();
        for (std::int32_t offset = 0; offset < ROW_COUNT; offset += lanes) {
            const int count = ROW_COUNT - offset < lanes ? ROW_COUNT - offset : lanes;
            sumRowBlock(lanes, FIRST_ROW + offset, count, fp.data() + offset);
        }
        benchmark::DoNotOptimize(fp.data());
        benchmark::ClobberMemory();
    }
    setTermCounter(state);
}

class DiscardedRows final : public RowSink {
public:
    void take(std::int32_t, double fp) override { benchmark::DoNotOptimize(fp); }
};

// The whole fast path as the program runs it: widest kernel, a worker per core.
void BM_FastRows(benchmark::State& state) {
    loadSpectrum();
    RowSettings settings;
    settings.threads = static_cast<unsigned>(state.range(0));
    setRowSettings(settings);
    DiscardedRows sink;
    for (auto _ : state) computeRows(FIRST_ROW, FIRST_ROW + ROW_COUNT - 1, sink);
    setRowSettings(RowSettings{});
    setTermCounter(state);
}

const unsigned CORES = std::thread::hardware_concurrency() == 0 ? 1 : std::thread::hardware_concurrency();

BENCHMARK(BM_Reference)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_KernelOneThread)
    ->Arg(BASELINE_LANES)
    ->Arg(AVX2_LANES)
    ->Arg(AVX512_LANES)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_FastRows)
    ->Arg(1)
    ->Arg(CORES)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly()
    ->UseRealTime();

// Keeps the medians and prints each path's time per term and its ratio to the plain sum.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name != "median" || run.error_occurred) continue;
            const auto terms = run.counters.find("terms");
            if (terms == run.counters.end()) continue;
            // Real time per iteration in nanoseconds, whatever unit the table shows.
            const double ns = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            medians_.emplace_back(run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args),
                                  ns / terms->second.value);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double reference = 0.0;
        for (const auto& [name, perTerm] : medians_)
            if (name == "BM_Reference") reference = perTerm;
        std::printf("\nmedian time per term (widest kernel here: %d lanes; cores: %u)\n", widestLaneCount(), CORES);
        for (const auto& [name, perTerm] : medians_) {
            std::printf("  %-26s %8.4f ns/term", name.c_str(), perTerm);
            if (reference > 0.0) std::printf("   %6.2f x the plain sum", reference / perTerm);
            std::printf("\n");
        }
    }

private:
    std::vector<std::pair<std::string, double>> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
