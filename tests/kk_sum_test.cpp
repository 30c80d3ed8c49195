// The principal-value sum, step by step on the worked example, and the range answers.
#include <climits>
#include <cstdint>

#include "support/test_support.h"
#include "support/worked_example.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

using namespace transform;
using testsupport::bits;

namespace {

TEST(PrincipalValueSum, WorkedExampleStepsOfRowTwelve) {
    testsupport::loadWorkedExample();
    const double w2 = GridOmega[12] * GridOmega[12];
    EXPECT_EQ(bits(w2), bits(5.5442816787519882e32));
    ASSERT_EQ(lastTermIndex(), 52);

    struct Step {
        int j;
        double weight, t1, t2, step, s, acc;
    };
    const double singular = 1.0000001192092896;
    const Step steps[] = {
        {2, 1.0, 1.7849449394361412e-16, 1.4751318012703076e-16, 7.59558012583578e14, 0.078820451984028511, 0.078820451984028511},
        {3, 1.0, 2.1686292990373235e-16, 1.7849449394361412e-16, 7.59558012583578e14, 0.095587476373750077, 0.17440792835777857},
        {11, 1.0, 2.347137224162635e-15, 1.1732426208001837e-15, 7.59558012583576e14, 0.85113926022276465, 2.7203766524567534},
        {12, singular, -1.2691768152338307e-9, 2.3471328161653545e-15, 7.59558012583576e14, -3.0685444907849928e5, -3.0685172870184685e5},
        {13, singular, -2.3405379229330633e-15, 1.2691768152338307e-9, 7.59558012583584e14, 3.0685445067298174e5, 2.7219711348880082},
        {14, 1.0, -1.1667712723292236e-15, -2.3405424580155351e-15, 7.59558012583576e14, -0.84798020250178774, 1.8739909323862205},
        {52, 1.0, -5.7276601971198616e-17, -5.8491279058366622e-17, 7.59558012583592e14, -0.02798976046805084, -1.3866785722063715},
    };
    double acc = 0.0;
    std::size_t next = 0;
    for (int j = 2; j <= 52; ++j) {
        SumTerm term = sumTerm(GridOmega, GridFpp, 12, j, w2);
        acc = acc + term.s;
        if (j == 12) {
            EXPECT_EQ(bits(term.d1), bits(-6.6092987996510453e25));
        }
        if (j == 13) {
            EXPECT_EQ(bits(term.d2), bits(6.6092987996510453e25));
        }
        if (next < std::size(steps) && steps[next].j == j) {
            const Step& e = steps[next++];
            EXPECT_EQ(bits(term.weight), bits(e.weight)) << "j = " << j;
            EXPECT_EQ(bits(term.t1), bits(e.t1)) << "j = " << j;
            EXPECT_EQ(bits(term.t2), bits(e.t2)) << "j = " << j;
            EXPECT_EQ(bits(term.step), bits(e.step)) << "j = " << j;
            EXPECT_EQ(bits(term.s), bits(e.s)) << "j = " << j;
            EXPECT_EQ(bits(acc), bits(e.acc)) << "j = " << j;
        }
    }
    EXPECT_EQ(next, std::size(steps));
}

TEST(PrincipalValueSum, WorkedExampleRows) {
    testsupport::loadWorkedExample();
    EXPECT_EQ(bits(principalValueSum(12)), bits(-1.3866785722063715));
    EXPECT_EQ(bits(principalValueSum(13)), bits(-1.2273038056574674));
    EXPECT_EQ(bits(principalValueSum(14)), bits(-1.0814522858562359));
    // The same row twice gives the same bits: nothing carries over.
    EXPECT_EQ(bits(principalValueSum(12)), bits(-1.3866785722063715));
}

TEST(PrincipalValueSum, NoTermsUpToTopEnergyFive) {
    testsupport::loadWorkedExample();
    for (std::int32_t top : {5, 1, 0, -3}) {
        TopEnergy = top;
        EXPECT_EQ(bits(principalValueSum(1)), bits(0.0)) << "T = " << top;
        EXPECT_EQ(bits(principalValueSum(12)), bits(0.0)) << "T = " << top;
    }
    TopEnergy = 6;  // one term, j = 2
    EXPECT_NE(principalValueSum(1), 0.0);
}

TEST(PrincipalValueSum, RowsAboveTheInterpolatedPointsStayFinite) {
    testsupport::loadWorkedExample();
    // Point 900 was never filled: omega 0 makes every denominator negative.
    GridOmega[900] = 0.0;
    GridFpp[900] = 0.0;
    double f = principalValueSum(900);
    EXPECT_TRUE(f == f && f < 0.0) << f;
}

TEST(RangeIndex, TruncatesTwiceTheAnswer) {
    struct Case {
        float x;
        std::int32_t index;
    };
    const Case cases[] = {{6.0f, 12}, {6.3f, 12}, {6.5f, 13}, {0.4f, 0}, {-0.7f, -1}, {500000.0f, 1000000},
                          {1e30f, INT32_MAX}, {-1e30f, INT32_MIN}, {1073741824.0f, INT32_MAX}};
    for (const Case& c : cases) EXPECT_EQ(rangeIndex(c.x), c.index) << c.x;
}

TEST(RangeIndex, RangesThatLeaveTheTablesAreRefused) {
    struct Case {
        float low, high;
        bool fits;
    };
    const Case cases[] = {
        {6.0f, 7.0f, true},         {0.5f, 500000.0f, true},  {0.4f, 7.0f, false},    {6.0f, 500000.5f, false},
        {7.0f, 6.0f, true},         {-5.0f, -6.0f, true},     {-5.0f, 6.0f, false},   {1e30f, 1e30f, false},
        {1e30f, 0.0f, true},        {0.0f, 0.0f, false},      {0.5f, 0.5f, true},     {-1e30f, 1e30f, false},
        {3e9f, 2e9f, false},        {-2e9f, -3e9f, false},    {3e9f, 6.0f, true},
    };
    for (const Case& c : cases) EXPECT_EQ(rangeFitsTables(c.low, c.high), c.fits) << c.low << " " << c.high;
}

}  // namespace
