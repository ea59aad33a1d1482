#include "EmbeddingTestData.h"
#include "SubspaceDistance.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

using Eigen::MatrixXf;
using namespace Zelvo;

namespace {

// Columns given as rows of the initializer, for readability.
MatrixXf Cols(int rows, std::initializer_list<std::initializer_list<float>> columns)
{
    MatrixXf m = MatrixXf::Zero(rows, Eigen::Index(columns.size()));
    Eigen::Index c = 0;
    for (const auto& column : columns)
        m.col(c++).head(column.size()) = Eigen::Map<const Eigen::VectorXf>(column.begin(), column.size());
    return m;
}

}  // namespace

TEST(SubspaceDistance, EdgeCasesOfSpans)
{
    const MatrixXf plane = Cols(3, {{0.6f, 0.8f, 0}, {0, 0, 1}});
    const MatrixXf space = Cols(3, {{0, 0.8f, -0.6f}, {0, 0.6f, 0.8f}, {1, 0, 0}});  // contains the plane
    const MatrixXf xy = Cols(3, {{0, 1, 0}, {1, 0, 0}});
    struct Case {
        const char* name;
        MatrixXf a, b;
        float grassmann, chordal;
    } cases[] = {
        {"identical", plane, plane, 0, 0},
        {"orthogonal lines", Cols(2, {{1, 0}}), Cols(2, {{0, 1}}), float(M_PI / 2), std::sqrt(2.0f)},
        {"plane inside space", plane, space, 0, 0},
        {"space around plane", space, plane, 0, 0},
        {"length-2 column", Cols(3, {{2, 0, 0}}), Cols(3, {{2, 0, 0}}), 0, 0},
        {"unit but not orthogonal", Cols(3, {{1, 0, 0}, {0.6f, 0.8f, 0}}), xy, 0, 0},
        {"zero column", Cols(3, {{1, 0, 0}, {0, 0, 0}}), xy, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(SubspaceDistance(c.a, c.b, GrassmanianSubspaceDistance), c.grassmann, 1e-3f);
        EXPECT_NEAR(SubspaceDistance(c.a, c.b, ChordalSubspaceDistance), c.chordal, 1e-5f);
        // Every type but 1 is the Grassmannian distance.
        EXPECT_EQ(SubspaceDistance(c.a, c.b, SubspaceDistanceType(7)),
                  SubspaceDistance(c.a, c.b, GrassmanianSubspaceDistance));
    }
}

TEST(SubspaceDistance, BasesThatDoNotFitGiveNaNAndAnErrorLine)
{
    const MatrixXf three = MatrixXf::Identity(3, 2);
    MatrixXf notFinite = three;
    notFinite(1, 1) = NAN;
    const std::pair<MatrixXf, MatrixXf> pairs[] = {{three, MatrixXf::Identity(4, 2)},
                                                   {MatrixXf(), three},
                                                   {three, notFinite},
                                                   {three, MatrixXf::Zero(3, 2)}};
    for (const auto& [a, b] : pairs) {
        for (int function = 0; function < 3; ++function) {
            float value = 0;
            const std::string out = TestSupport::CaptureStdout([&, f = function] {
                value = f == 0 ? SubspaceDistance(a, b, ChordalSubspaceDistance)
                               : f == 1 ? GrassmanianDistance(a, b) : ChordalDistance(a, b);
            });
            EXPECT_TRUE(std::isnan(value)) << a.rows() << "x" << a.cols() << " / " << b.rows() << "x" << b.cols();
            EXPECT_EQ(out.rfind("Error ", 0), 0u) << out;
        }
    }
}

TEST(SubspaceDistance, MatchesSciPyPrincipalAnglesOnRandomBases)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no numpy/scipy";
    TestSupport::TempDir dir;
    std::mt19937 random(19);
    std::normal_distribution<float> normal;
    // Rows, columns of A, columns of B; Gaussian bases, none orthonormal, two rank-deficient.
    const int shapes[][3] = {{5, 2, 2}, {8, 3, 3}, {10, 2, 4}, {6, 4, 1}, {7, 5, 3}, {12, 6, 6}, {4, 3, 2}};
    const int count = int(std::size(shapes));
    std::vector<std::pair<MatrixXf, MatrixXf>> bases;
    for (int i = 0; i < count; ++i) {
        MatrixXf a = MatrixXf::NullaryExpr(shapes[i][0], shapes[i][1], [&] { return normal(random); });
        MatrixXf b = MatrixXf::NullaryExpr(shapes[i][0], shapes[i][2], [&] { return normal(random); });
        if (i == count - 2) b.col(4) = b.col(0) * 2.0f;  // exactly repeated direction
        if (i == count - 1) a.col(1).setZero();
        EmbeddingTestData::WriteCsv(dir.file("a" + std::to_string(i) + ".csv"), a.cast<double>());
        EmbeddingTestData::WriteCsv(dir.file("b" + std::to_string(i) + ".csv"), b.cast<double>());
        bases.emplace_back(std::move(a), std::move(b));
    }
    // Grassmannian: norm of the principal angles. Chordal between spans of ranks r <= s:
    // sqrt(s - r + 2 sum sin^2); against the best-aligned part of the larger span: sqrt(2 sum sin^2).
    const std::string script = "import numpy as np\nfrom scipy.linalg import subspace_angles\nrows = []\n"
                               "for i in range(" + std::to_string(count) + "):\n"
                               "    a, b = [np.loadtxt('%s%d.csv' % (n, i), delimiter=',', ndmin=2) for n in 'ab']\n"
                               "    t = subspace_angles(a, b)\n"
                               "    gap = abs(np.linalg.matrix_rank(a) - np.linalg.matrix_rank(b))\n"
                               "    s2 = np.sum(np.sin(t) ** 2)\n"
                               "    rows.append([np.linalg.norm(t), np.sqrt(2 * s2), np.sqrt(gap + 2 * s2)])\n"
                               "np.savetxt('expected.csv', np.array(rows), delimiter=',', fmt='%.17g')\n";
    int code = -1;
    const std::string output = TestSupport::RunPython(dir.path(), script, &code);
    ASSERT_EQ(code, 0) << output;
    const Eigen::MatrixXd expected = EmbeddingTestData::ReadCsv(dir.file("expected.csv"));
    ASSERT_EQ(expected.rows(), count);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const auto& [a, b] = bases[i];
        EXPECT_NEAR(SubspaceDistance(a, b, GrassmanianSubspaceDistance), expected(i, 0), 1e-3);
        EXPECT_NEAR(SubspaceDistance(b, a, GrassmanianSubspaceDistance), expected(i, 0), 1e-3);
        EXPECT_NEAR(GrassmanianDistance(a, b), expected(i, 0), 1e-3);
        EXPECT_NEAR(SubspaceDistance(a, b, ChordalSubspaceDistance), expected(i, 1), 1e-4);
        EXPECT_NEAR(ChordalDistance(a, b), expected(i, 2), 1e-4);
    }
}
