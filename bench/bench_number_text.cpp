// Speed of the number text: realText per value, and whole result records through ListWriter.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "textio/list_writer.h"
#include "textio/number_text.h"
#include "textio/units.h"

namespace {

// Values of the size a result table holds: energies, f' and f''.
std::vector<double> usualValues() {
    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> logarithm(-3.0, 5.0);
    std::vector<double> values(4096);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = std::pow(10.0, logarithm(random)) * ((i % 3 == 1) ? -1.0 : 1.0);
    }
    return values;
}

// Every finite double equally likely by its bits: all exponents alike.
std::vector<double> anyValues() {
    std::mt19937_64 random(2);
    std::vector<double> values;
    while (values.size() < 4096) {
        const std::uint64_t bits = random();
        if (((bits >> 52) & 0x7FF) != 0x7FF) values.push_back(std::bit_cast<double>(bits));
    }
    return values;
}

void realTextOf(benchmark::State& state, const std::vector<double>& values, textio::RealKind kind) {
    char text[textio::MAX_NUMBER_TEXT];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(textio::realText(values[i], kind, text));
        benchmark::ClobberMemory();
        i = (i + 1) % values.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RealText64UsualValues(benchmark::State& state) { realTextOf(state, usualValues(), textio::RealKind::REAL64); }
void BM_RealText64AnyValues(benchmark::State& state) { realTextOf(state, anyValues(), textio::RealKind::REAL64); }
void BM_RealText32UsualValues(benchmark::State& state) { realTextOf(state, usualValues(), textio::RealKind::REAL32); }
BENCHMARK(BM_RealText64UsualValues);
BENCHMARK(BM_RealText64AnyValues);
BENCHMARK(BM_RealText32UsualValues);

// The leading digits of every finite double: from the power table, and by
// the plain long division that the table is tested against.
struct Scaling {
    std::uint64_t m;
    int e;
    int k;
};

std::vector<Scaling> scalings() {
    std::vector<Scaling> result;
    for (double value : anyValues()) {
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
        const int biased = static_cast<int>((bits >> 52) & 0x7FF);
        const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
        if (biased == 0 && fraction == 0) continue;
        const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
        const int e = biased == 0 ? -1074 : biased - 1075;
        const double magnitude = (e + std::log2(static_cast<double>(m))) * 0.30102999566398120;
        result.push_back({m, e, 17 - static_cast<int>(std::floor(magnitude))});
    }
    return result;
}

template <std::uint64_t (*Floor)(std::uint64_t, int, int) noexcept>
void scaledFloorOf(benchmark::State& state) {
    const std::vector<Scaling> cases = scalings();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Floor(cases[i].m, cases[i].e, cases[i].k));
        i = (i + 1) % cases.size();
    }
}
void BM_ScaledFloorFromTable(benchmark::State& state) { scaledFloorOf<textio::scaledFloor>(state); }
void BM_ScaledFloorByLongDivision(benchmark::State& state) { scaledFloorOf<textio::scaledFloorByLongDivision>(state); }
BENCHMARK(BM_ScaledFloorFromTable);
BENCHMARK(BM_ScaledFloorByLongDivision);

void BM_IntegerText(benchmark::State& state) {
    char text[textio::MAX_NUMBER_TEXT];
    std::int32_t value = -2147483647;
    for (auto _ : state) {
        benchmark::DoNotOptimize(textio::integerText(value, text));
        benchmark::ClobberMemory();
        value += 104729;
    }
}
BENCHMARK(BM_IntegerText);

// One result record (energy, f', f'') per iteration through a file unit.
void writeResultRecords(benchmark::State& state, const char* name) {
    textio::resetUnitsForTesting();
    textio::openUnit(2, name, static_cast<int>(std::strlen(name)));
    const std::vector<double> values = usualValues();
    std::size_t i = 0;
    for (auto _ : state) {
        textio::ListWriter::begin(2);
        textio::ListWriter::putReal64(values[i]);
        textio::ListWriter::putReal64(values[i + 1]);
        textio::ListWriter::putReal64(values[i + 2]);
        textio::ListWriter::end();
        i = (i + 3) % (values.size() - 2);
    }
    textio::closeUnit(2);
    state.SetItemsProcessed(state.iterations());
}

// Formatting and buffering alone: the null device takes the full buffers.
void BM_ResultRecordToNullFile(benchmark::State& state) { writeResultRecords(state, "/dev/null"); }
BENCHMARK(BM_ResultRecordToNullFile);

// With the writes of a real file in a temporary folder.
void BM_ResultRecordToTemporaryFile(benchmark::State& state) {
    char name[] = "/tmp/kkfprime-bench-XXXXXX";
    close(mkstemp(name));
    writeResultRecords(state, name);
    unlink(name);
}
BENCHMARK(BM_ResultRecordToTemporaryFile);

}  // namespace

BENCHMARK_MAIN();
