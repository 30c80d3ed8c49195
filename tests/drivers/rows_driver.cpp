// Sums the f' rows of a small grid with one planted fault, through the fast or the plain path, with the traps armed.
//
// rows_driver FAULT PATH LANES THREADS FIRST LAST [nothreads]
//   FAULT    none | overflow | divide | invalid | square
//   PATH     fast | reference
//   LANES    kernel width (0: the widest), THREADS workers (0: one per core)
//   nothreads  leaves no address space for a thread's stack (status 3 when
//              a thread starts all the same)
// Prints one line per row as it arrives, "row hexbits", straight to standard
// output; a trapped exception ends the program with its MATH report.
#include <sys/resource.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "textio/errors.h"
#include "textio/platform.h"
#include "textio/units.h"
#include "transform/fast_sum.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

using namespace transform;

namespace {

// T = 45: terms j = 2 .. 80, interpolated points up to 85, zero storage above.
void loadGrid() {
    const double energies[] = {5.0, 12.0, 20.0, 26.0, 31.0, 38.0, 45.3};
    const double fpps[] = {1.0, 4.0, 3.0, 2.5, 2.5, 6.0, 1.5};
    EntryCount = 7;
    for (int i = 0; i < EntryCount; ++i) {
        InputEnergy[i + 1] = energies[i];
        InputFpp[i + 1] = fpps[i];
    }
    TopEnergy = 45;
    buildGrid();
    interpolateGrid();
}

// Row 45 alone overflows: its singular term is the only one large enough.
// Row 90 lies above the grid; given the frequency of point 30, its step 30
// divides by zero, or zero by zero when point 30 has no f''. A frequency
// whose square overflows stops the very first row.
bool plantFault(std::string_view fault) {
    if (fault == "none") return true;
    if (fault == "overflow") {
        GridFpp[45] = 1e304;
    } else if (fault == "divide" || fault == "invalid") {
        GridOmega[90] = GridOmega[30];
        if (fault == "invalid") GridFpp[30] = 0.0;
    } else if (fault == "square") {
        GridOmega[60] = 1e160;
    } else {
        return false;
    }
    return true;
}

class PrintedRows final : public RowSink {
public:
    void take(std::int32_t row, double fp) override {
        char line[64];
        char* end = std::to_chars(line, line + 20, row).ptr;
        *end++ = ' ';
        std::uint64_t bits;
        std::memcpy(&bits, &fp, sizeof bits);
        end = std::to_chars(end, line + sizeof line - 1, bits, 16).ptr;
        *end++ = '\n';
        textio::platform::writeAll(1, line, static_cast<int>(end - line));
    }
};

// Limits the address space to what the process holds now and a little more.
bool forbidThreads() {
    unsigned long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) return false;
    std::fclose(statm);
    const rlim_t bytes = static_cast<rlim_t>(pages) * 4096 + (4u << 20);
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) return false;
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8) return 2;
    textio::startUnits(0, nullptr);
    loadGrid();
    if (!plantFault(argv[1])) return 2;
    RowSettings settings;
    settings.referenceOnly = std::string_view(argv[2]) == "reference";
    settings.lanes = std::atoi(argv[3]);
    settings.threads = static_cast<unsigned>(std::atoi(argv[4]));
    setRowSettings(settings);
    if (argc == 8 && !forbidThreads()) return 3;
    textio::armFloatingPointTraps();
    PrintedRows rows;
    computeRows(std::atoi(argv[5]), std::atoi(argv[6]), rows);
    textio::endProcess(0);
}
