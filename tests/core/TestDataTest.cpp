#include "TestSupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

// The generated sets are the ones scikit-learn makes from the same seeds, labels included,
// so the tests tuned on them keep seeing the same points.
TEST(TestData, GeneratedSetsAreScikitLearns)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Debian python with scikit-learn";
    TestSupport::TempDir dir;
    const std::string script =
        "import numpy as np\n"
        "from sklearn.datasets import make_blobs, make_swiss_roll\n"
        "def table(path):\n"
        "    return np.loadtxt(path, delimiter=',', skiprows=1)\n"
        "roll, _ = make_swiss_roll(2000, noise=0.05, random_state=7)\n"
        "blobs, labels = make_blobs(10000, n_features=8, centers=6, random_state=11)\n"
        "ours = table('" + TestSupport::DataPath("swissroll_2000.csv") + "')\n"
        "print('roll', ours.shape == roll.shape and np.abs(ours - roll).max() <= 1e-8 * np.abs(roll).max())\n"
        "ours = table('" + TestSupport::DataPath("blobs_10k_8d.csv") + "')\n"
        "print('blobs', ours.shape == blobs.shape and np.abs(ours - blobs).max() <= 1e-8 * np.abs(blobs).max())\n"
        "ours = np.loadtxt('" + TestSupport::DataPath("blobs_10k_8d_labels.txt") + "', dtype=int)\n"
        "print('labels', np.array_equal(ours, labels))\n";
    int code = -1;
    const std::string reply = TestSupport::RunPython(dir.path(), script, &code);
    ASSERT_EQ(code, 0) << reply;
    EXPECT_EQ(reply, "roll True\nblobs True\nlabels True\n");
}

// Only the stored and generated sets are found: a name that climbs out of the source tree,
// or one that is not there, fails the test.
TEST(TestData, OnlyTheProjectsOwnSetsAreFound)
{
    for (const char* name : {"../outside/iris.csv", "../samples/iris.csv", "..", "", "digits.csv"}) {
        SCOPED_TRACE(name);
        EXPECT_NONFATAL_FAILURE(TestSupport::DataPath(name), "no test data set named");
    }
    for (const char* name : {"iris.csv", "wine.csv", "iris_labels.txt"})
        EXPECT_FALSE(TestSupport::ReadFile(TestSupport::DataPath(name)).empty()) << name;
}
