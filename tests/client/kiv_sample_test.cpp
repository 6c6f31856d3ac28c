// The C++ sample of examples/ against the real kiv through comrt, its output read by the same
// checker as the samples under Wine (scripts/check-sample).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/isolated_env.h"
#include "tests/support/kiv_process.h"

TEST(KivSample, PrimeProgressCancelledSearchAnsweredSearchAndReport) {
    kivtest::AdoptOrphans();
    ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
    // 10^2999 + 8 is searched for far longer than the one second after which it is cancelled.
    kivtest::Captured sample = kivtest::RunCaptured(KIV_SAMPLE_EXECUTABLE, {"3000", "1"});
    ASSERT_EQ(sample.status, 0) << sample.out << sample.err;
    std::string output = kivtest::isolated_root() + "/sample.txt";
    std::ofstream(output) << sample.out;
    kivtest::Captured check =
        kivtest::RunCaptured(KIV_SOURCE_DIR "/scripts/check-sample", {}, output);
    EXPECT_EQ(check.status, 0) << check.out;
}
