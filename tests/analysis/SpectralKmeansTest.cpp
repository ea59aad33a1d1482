#include "Kmeans.h"
#include "SpectralTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace SpectralTestHelpers;

namespace {

// A generator replaying fixed draws, then repeating the last.
Kmeans::RandomGenerator replay(std::vector<int> draws)
{
    auto state = std::make_shared<std::pair<std::vector<int>, size_t>>(std::move(draws), 0);
    return [state]() {
        const auto& v = state->first;
        const int value = v[std::min(state->second, v.size() - 1)];
        ++state->second;
        return value;
    };
}

// The seed index of one draw: floor(r * n / 2^31).
int seedOf(int r, int n) { return int(double(r) * double(n) / 2147483648.0); }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

}  // namespace

TEST(SpectralKmeansTest, SameLabelsAsScikitLearnFromTheSameSeeds)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Python oracles";
    std::vector<int> truth;
    const std::vector<float> values = blobs(4, 50, 3, 17, truth, 2.5f, 6.0f);  // overlapping blobs: several cycles
    const int n = int(truth.size());
    Eigen::MatrixXd X(n, 3);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) X(i, c) = values[i * 3 + c];

    const std::vector<int> draws = {123456789, 2000000000, 123456790, 98765432, 1500000000, 7};
    std::vector<int> seeds;
    for (int r : draws) {
        const int s = seedOf(r, n);
        if (std::find(seeds.begin(), seeds.end(), s) == seeds.end()) seeds.push_back(s);
        if (seeds.size() == 4) break;
    }
    ASSERT_EQ(seeds.size(), 4u);  // the third draw repeats the first index and is skipped

    std::vector<std::vector<int>> lists;
    TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 4, replay(draws)); });
    ASSERT_EQ(lists.size(), 4u);

    TestSupport::TempDir dir;
    writeMatrix(dir.file("x.txt"), X);
    std::string seedText;
    for (int s : seeds) seedText += std::to_string(s) + ",";
    int code = 0;
    const std::vector<double> sk = runPython(dir,
        "import numpy as np\nfrom sklearn.cluster import KMeans\n"
        "X = np.loadtxt('x.txt')\nseeds = [" + seedText + "]\n"
        "km = KMeans(n_clusters=4, init=X[seeds], n_init=1, algorithm='lloyd', tol=0, max_iter=100).fit(X)\n"
        "print(' '.join(str(v) for v in km.labels_))\n", &code);
    ASSERT_EQ(code, 0);
    ASSERT_EQ(int(sk.size()), n);
    const std::vector<int> labels = labelsOf(lists, n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(labels[i], int(sk[i])) << "point " << i;

    // Members ordered by distance to their centre.
    for (const auto& members : lists) {
        Eigen::RowVectorXd centre = Eigen::RowVectorXd::Zero(3);
        for (int p : members) centre += X.row(p);
        centre /= double(members.size());
        for (size_t t = 1; t < members.size(); ++t)
            EXPECT_LE((X.row(members[t - 1]) - centre).squaredNorm(), (X.row(members[t]) - centre).squaredNorm() + 1e-9);
    }
}

TEST(SpectralKmeansTest, IdenticalPointsTiesAndMinimumCycles)
{
    Eigen::MatrixXd same = Eigen::MatrixXd::Ones(6, 2);
    std::vector<std::vector<int>> lists;
    const std::string out = TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(same, 3, replay({0, 500000000, 1500000000})); });
    ASSERT_EQ(lists.size(), 3u);
    // Every centre is equally near: all points join centre 0 in index order.
    EXPECT_EQ(lists[0], (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(lists[1].empty());
    EXPECT_TRUE(lists[2].empty());
    // Nothing moves, yet three cycles run.
    EXPECT_EQ(lines(out).size(), 3u);
    EXPECT_EQ(lines(out)[2].rfind("Cycle 2 Error 0 Movement 0, 0", 0), 0u);

    // A point halfway between two centres goes to the lower one.
    Eigen::MatrixXd X(3, 1);
    X << 0, 1, 2;
    TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 2, replay({0, 2000000000})); });  // seeds rows 0, 2
    // Cycle 0: point 1 ties and joins centre 0 -> centres 0.5 and 2; then it stays.
    EXPECT_EQ(lists[0], (std::vector<int>{0, 1}));  // equal distances 0.25: index order
    EXPECT_EQ(lists[1], (std::vector<int>{2}));
}

TEST(SpectralKmeansTest, RefusesImpossibleRequests)
{
    Eigen::MatrixXd X = Eigen::MatrixXd::Random(4, 2);
    std::vector<std::vector<int>> lists = {{1}};
    std::string out = TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 5); });
    EXPECT_TRUE(lists.empty());
    EXPECT_EQ(out.rfind("Error", 0), 0u);
    out = TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 0); });
    EXPECT_TRUE(lists.empty());
    EXPECT_EQ(out.rfind("Error", 0), 0u);
    X(2, 1) = std::numeric_limits<double>::quiet_NaN();
    out = TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 2); });
    EXPECT_TRUE(lists.empty());
    EXPECT_EQ(out.rfind("Error", 0), 0u);
    // k equal to n needs every row as a seed and still ends.
    X(2, 1) = 0.5;
    TestSupport::CaptureStdout([&] { lists = Kmeans::cluster(X, 4); });
    ASSERT_EQ(lists.size(), 4u);
    for (const auto& l : lists) EXPECT_EQ(l.size(), 1u);
}
