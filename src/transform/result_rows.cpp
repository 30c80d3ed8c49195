// The result rows: f' for every grid point of the chosen range, on the console and in the result file.
#include "textio/list_writer.h"
#include "textio/units.h"
#include "transform/kk_sum.h"

namespace transform {

float LowEnergy = 0.0f;
float HighEnergy = 0.0f;
std::int32_t FirstRow = 0;
std::int32_t LastRow = 0;

void writeResultRows() {
    using textio::ListWriter;
    FirstRow = rangeIndex(LowEnergy);
    LastRow = rangeIndex(HighEnergy);
    for (std::int64_t i = FirstRow; i <= LastRow; ++i) {
        const auto row = static_cast<std::int32_t>(i);
        GridFp[row] = principalValueSum(row);
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
}

}  // namespace transform
