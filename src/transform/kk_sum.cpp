// The Kramers-Kronig principal-value sum on the grid's angular frequencies, and the result rows.
#include "transform/kk_sum.h"


namespace transform {

std::int32_t rangeIndex(float x) {
    const double doubled = 2.0 * static_cast<double>(x);
    // Compared before converting, so that no conversion leaves the integer range.
    if (!(doubled < 2147483648.0)) return INT32_MAX;
    if (!(doubled > -2147483649.0)) return INT32_MIN;
    return static_cast<std::int32_t>(doubled);
}

bool rangeFitsTables(float low, float high) {
    // Judged on the very indices the rows are written from: answers far
    // beyond the tables are held at the integer limits there, so that two of
    // them in falling order can still select a row.
    const std::int32_t first = rangeIndex(low);
    const std::int32_t last = rangeIndex(high);
    return last < first || (first >= 1 && last <= TABLE_CAPACITY);
}

std::int64_t lastTermIndex() { return 2 * static_cast<std::int64_t>(TopEnergy) - 10; }

double principalValueSum(std::int32_t i) {
    const std::int64_t last = lastTermIndex();
    if (last - 1 < 1) return 0.0;
    const double w2 = GridOmega[i] * GridOmega[i];
    double acc = 0.0;
    for (std::int64_t j = 2; j <= last; ++j) acc = acc + sumTerm(GridOmega, GridFpp, i, j, w2).s;
    return acc;
}

}  // namespace transform
