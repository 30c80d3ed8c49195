// Reading a million-row spectrum file through ListReader, against the bare block reads of the same file.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "textio/list_reader.h"
#include "textio/units.h"

namespace {

constexpr int ROWS = 1000000;

// A spectrum-like file: one record per row, energy and f'' as two reals,
// 40 bytes with the line end. Written once per run.
const std::string& spectrumPath() {
    static const std::string path = [] {
        std::string name = "/tmp/kkf_bench_spectrum_XXXXXX";
        int handle = mkstemp(name.data());
        if (handle < 0) std::abort();
        std::string block;
        char line[64];
        for (int row = 0; row < ROWS; ++row) {
            double energy = 10.0 + 0.5 * row;
            double fpp = 0.25 + (row % 1000) * 0.0037 - (row % 7) * 1.5e-3;
            int length = std::snprintf(line, sizeof line, "%16.6f %21.13E\r\n", energy, fpp);
            block.append(line, static_cast<std::size_t>(length));
            if (block.size() > (1 << 20)) {
                if (write(handle, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
                block.clear();
            }
        }
        if (write(handle, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
        close(handle);
        std::atexit([] { std::remove(spectrumPath().c_str()); });
        return name;
    }();
    return path;
}

long fileSize(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fclose(file);
    return size;
}

void BM_ReadSpectrumRows(benchmark::State& state) {
    const std::string& path = spectrumPath();
    const long size = fileSize(path);
    double checksum = 0;
    for (auto _ : state) {
        textio::resetUnitsForTesting();
        textio::openUnit(1, path.c_str(), static_cast<int>(path.size()));
        for (int row = 0; row < ROWS; ++row) {
            double energy = 0, fpp = 0;
            textio::ListReader::begin(1);
            textio::ListReader::getReal64(energy);
            textio::ListReader::getReal64(fpp);
            textio::ListReader::end();
            checksum += energy + fpp;
        }
        textio::closeUnit(1);
    }
    benchmark::DoNotOptimize(checksum);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * ROWS,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadSpectrumRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: the same file in 1024-byte reads with nothing done to the bytes.
void BM_ReadSpectrumBlocksOnly(benchmark::State& state) {
    const std::string& path = spectrumPath();
    const long size = fileSize(path);
    char buffer[1024];
    long total = 0;
    for (auto _ : state) {
        int handle = open(path.c_str(), O_RDONLY);
        ssize_t n;
        while ((n = read(handle, buffer, sizeof buffer)) > 0) total += buffer[n - 1];
        close(handle);
    }
    benchmark::DoNotOptimize(total);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_ReadSpectrumBlocksOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
