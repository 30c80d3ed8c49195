// The result rows: f' for every grid point of the chosen range, on the console and in the result file.
#include "textio/list_writer.h"
#include "textio/units.h"
#include "transform/fast_sum.h"
#include "transform/kk_sum.h"

namespace transform {

float LowEnergy = 0.0f;
float HighEnergy = 0.0f;
std::int32_t FirstRow = 0;
std::int32_t LastRow = 0;

namespace {

// Each row as it arrives, in increasing order: its console row, then its result-file row.
class ResultRowWriter final : public RowSink {
public:
    void take(std::int32_t row, double fp) override {
        using textio::ListWriter;
        GridFp[row] = fp;
        ListWriter::begin(textio::CONSOLE_UNIT);
        ListWriter::putReal64(GridEnergy[row]);
        ListWriter::putReal64(GridFp[row]);
        ListWriter::end();
        ListWriter::begin(RESULT_UNIT);
        ListWriter::putReal64(GridEnergy[row]);
        ListWriter::putReal64(GridFp[row]);
        ListWriter::putReal64(GridFpp[row]);
        ListWriter::end();
    }
};

}  // namespace

void writeResultRows() {
    FirstRow = rangeIndex(LowEnergy);
    LastRow = rangeIndex(HighEnergy);
    ResultRowWriter writer;
    computeRows(FirstRow, LastRow, writer);
}

}  // namespace transform
