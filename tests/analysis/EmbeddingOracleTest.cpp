#include "EmbeddingLibrary.h"
#include "EmbeddingTestData.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace tapkee;
using namespace EmbeddingTestData;

namespace {

// The first `count` points of a shared data set, centred, as float columns; the
// exact float values are also written to data.csv for the oracle.
Eigen::MatrixXf LoadColumns(const std::string& name, int count, const TestSupport::TempDir& dir)
{
    Eigen::MatrixXd table = ReadCsv(TestSupport::DataPath(name), 1);
    if (table.rows() == 0) return Eigen::MatrixXf();
    table = table.topRows(std::min<Eigen::Index>(count, table.rows())).eval();
    table = (table.rowwise() - table.colwise().mean()).eval();
    const Eigen::MatrixXf data = table.transpose().cast<float>();
    WriteCsv(dir.file("data.csv"), data.transpose().cast<double>());
    return data;
}

// Runs the oracle script; false (with the script's output in the failure) when it fails.
::testing::AssertionResult RunOracle(const TestSupport::TempDir& dir, const std::string& body)
{
    const std::string script = "import numpy as np\n"
                               "X = np.loadtxt('data.csv', delimiter=',', ndmin=2)\n"
                               "def save(name, a):\n"
                               "    np.savetxt(name, np.atleast_2d(a), delimiter=',', fmt='%.17g')\n" +
                               body;
    int code = -1;
    const std::string output = TestSupport::RunPython(dir.path(), script, &code);
    if (code != 0) return ::testing::AssertionFailure() << "oracle failed: " << output;
    return ::testing::AssertionSuccess();
}

Eigen::MatrixXd Dense(const Eigen::SparseMatrix<float>& matrix)
{
    return Eigen::MatrixXd(matrix.cast<double>());
}

class EmbeddingOracle : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no numpy/scipy/scikit-learn";
    }
    TestSupport::TempDir dir;
};

}  // namespace

TEST_F(EmbeddingOracle, PcaMatchesScikitLearn)
{
    const Eigen::MatrixXf data = LoadColumns("iris.csv", 150, dir);
    ASSERT_EQ(data.cols(), 150);
    // Shift the data so that the mean is not trivially zero.
    Eigen::MatrixXf shifted = data.colwise() + Eigen::Vector4f(3, -2, 1, 5);
    WriteCsv(dir.file("data.csv"), shifted.transpose().cast<double>());
    TapkeeOutput out;
    TestSupport::CaptureStdout([&] { out = embedUsing(shifted, {method(PCA), target_dimension(2)}); });
    ASSERT_EQ(out.embedding.rows(), 150);
    ASSERT_TRUE(RunOracle(dir, R"(
from sklearn.decomposition import PCA
from scipy.spatial.distance import pdist, squareform
p = PCA(n_components=2).fit(X)
save('positions.csv', p.transform(X))
save('basis.csv', p.components_.T)
save('mean.csv', p.mean_.reshape(-1, 1))
save('distances.csv', squareform(pdist(X, 'sqeuclidean')))
)"));
    EXPECT_LT(MaxDifferenceUpToSign(out.embedding.cast<double>(), ReadCsv(dir.file("positions.csv"))), 1e-4);
    EXPECT_LT(MaxDifferenceUpToSign(out.projectionMatrix.cast<double>(), ReadCsv(dir.file("basis.csv"))), 1e-5);
    EXPECT_TRUE(out.mean.cast<double>().isApprox(ReadCsv(dir.file("mean.csv")).col(0), 1e-6));
    const Eigen::MatrixXd distances = ReadCsv(dir.file("distances.csv"));
    EXPECT_LT((SquaredColumnDistances(shifted).cast<double>() - distances).cwiseAbs().maxCoeff(), 1e-4);
}

TEST_F(EmbeddingOracle, IsomapMatchesScikitLearn)
{
    const Eigen::MatrixXf data = LoadColumns("swissroll_2000.csv", 500, dir);
    ASSERT_EQ(data.cols(), 500);
    const TapkeeOutput out = embedUsing(data, {method(Isomap), target_dimension(2), num_neighbors(10)});
    ASSERT_EQ(out.embedding.rows(), 500);
    ASSERT_TRUE(RunOracle(dir, R"(
from sklearn.manifold import Isomap
iso = Isomap(n_neighbors=10, n_components=2, eigen_solver='dense', path_method='D')
save('positions.csv', iso.fit_transform(X))
save('geodesics.csv', iso.dist_matrix_)
)"));
    const Eigen::MatrixXd geodesics = ReadCsv(dir.file("geodesics.csv"));
    ASSERT_EQ(geodesics.rows(), 500);
    // Squared geodesics are handed back; compare lengths relative to the longest path.
    const Eigen::MatrixXd ours = out.distanceMatrix.cast<double>().cwiseSqrt();
    EXPECT_LT((ours - geodesics).cwiseAbs().maxCoeff(), 1e-5 * geodesics.maxCoeff());
    const Eigen::MatrixXd positions = ReadCsv(dir.file("positions.csv"));
    EXPECT_LT(MaxDifferenceUpToSign(out.embedding.cast<double>(), positions), 1e-4 * positions.cwiseAbs().maxCoeff());
    // B is -1/2 J G J of the squared geodesics.
    const Eigen::MatrixXd centring = Eigen::MatrixXd::Identity(500, 500) - Eigen::MatrixXd::Constant(500, 500, 1.0 / 500);
    const Eigen::MatrixXd expectedB = -0.5 * centring * geodesics.cwiseAbs2() * centring;
    EXPECT_LT((out.innerProducts.cast<double>() - expectedB).cwiseAbs().maxCoeff(), 1e-5 * expectedB.cwiseAbs().maxCoeff());
    // Neighbour lists: the 10 nearest, nearest first.
    ASSERT_EQ(out.neighbors.size(), 500u);
    for (const auto& list : out.neighbors) EXPECT_EQ(list.size(), 10u);
}

TEST_F(EmbeddingOracle, MdsWithEuclideanDistancesEqualsPca)
{
    for (const char* name : {"iris.csv", "swissroll_2000.csv"}) {
        SCOPED_TRACE(name);
        const Eigen::MatrixXf data = LoadColumns(name, 450, dir);
        ASSERT_GT(data.cols(), 100);
        const TapkeeOutput mds = embedUsing(data, {method(MultidimensionalScaling), target_dimension(2)});
        TapkeeOutput pca;
        TestSupport::CaptureStdout([&] { pca = embedUsing(data, {method(PCA), target_dimension(2)}); });
        ASSERT_EQ(mds.embedding.rows(), data.cols());
        const double scale = pca.embedding.cwiseAbs().maxCoeff();
        EXPECT_LT(MaxDifferenceUpToSign(mds.embedding.cast<double>(), pca.embedding.cast<double>()), 1e-4 * scale);
        // Both hand back the same squared distances.
        const Eigen::MatrixXf columnDistances = SquaredColumnDistances(data);
        EXPECT_LT((mds.distanceMatrix - columnDistances).cwiseAbs().maxCoeff(), 1e-4f * columnDistances.maxCoeff());
        EXPECT_TRUE(mds.innerProducts.isApprox(mds.innerProducts.transpose()));
    }
}

TEST_F(EmbeddingOracle, LaplacianEigenmapsMatchGeneralisedEigenproblem)
{
    const Eigen::MatrixXf data = LoadColumns("swissroll_2000.csv", 500, dir);
    const double width = 2.0;
    const TapkeeOutput out = embedUsing(
        data, {method(LaplacianEigenmaps), target_dimension(2), gaussian_kernel_width(width), num_neighbors(10)});
    ASSERT_EQ(out.embedding.rows(), 500);
    // An independent weight matrix from scipy, then (D - W) f = lambda D f solved densely.
    ASSERT_TRUE(RunOracle(dir, R"(
import scipy.linalg
from scipy.spatial.distance import cdist
k, width, n = 10, 2.0, X.shape[0]
d = cdist(X, X)
near = []
for i in range(n):
    order = [j for j in np.lexsort((np.arange(n), d[i])) if j != i][:k]
    near.append(set(order))
W = np.zeros((n, n))
for i in range(n):
    for j in near[i]:
        if i in near[j]:
            W[i, j] = np.exp(-d[i, j] ** 2 / width)
D = np.diag(W.sum(axis=1))
vals, vecs = scipy.linalg.eigh(D - W, D)
f = vecs[:, 1:3]
for c in range(f.shape[1]):
    if f[np.argmax(np.abs(f[:, c])), c] < 0:
        f[:, c] = -f[:, c]
save('weights.csv', W)
save('positions.csv', f)
save('values.csv', vals[:4])
)"));
    const Eigen::MatrixXd weights = ReadCsv(dir.file("weights.csv"));
    EXPECT_LT((Dense(out.weights) - weights).cwiseAbs().maxCoeff(), 1e-6);
    const Eigen::MatrixXd positions = ReadCsv(dir.file("positions.csv"));
    const double scale = positions.cwiseAbs().maxCoeff();
    EXPECT_LT((out.embedding.cast<double>() - positions).cwiseAbs().maxCoeff(), 1e-3 * scale)
        << "eigenvalues " << ReadCsv(dir.file("values.csv"));
    // Mutual lists match the weight matrix's pattern.
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(static_cast<Eigen::Index>(out.neighbors[i].size()), (weights.row(i).array() > 0).count()) << i;
}

TEST_F(EmbeddingOracle, KernelLleMatchesScikitLearn)
{
    const Eigen::MatrixXf data = LoadColumns("swissroll_2000.csv", 500, dir);
    const TapkeeOutput out =
        embedUsing(data, {method(KernelLocallyLinearEmbedding), target_dimension(2), num_neighbors(12)});
    ASSERT_EQ(out.embedding.rows(), 500);
    ASSERT_TRUE(RunOracle(dir, R"(
from sklearn.manifold import LocallyLinearEmbedding
from sklearn.manifold._locally_linear import barycenter_kneighbors_graph
k = 12
W = barycenter_kneighbors_graph(X, k, reg=1e-3).toarray()
IW = np.eye(X.shape[0]) - W
save('reconstruction.csv', W)
save('quadratic.csv', IW.T @ IW)
lle = LocallyLinearEmbedding(n_neighbors=k, n_components=2, reg=1e-3, eigen_solver='dense')
save('positions.csv', lle.fit_transform(X))
)"));
    const Eigen::MatrixXd reconstruction = ReadCsv(dir.file("reconstruction.csv"));
    EXPECT_LT((Dense(out.reconstructionWeights) - reconstruction).cwiseAbs().maxCoeff(), 1e-3);
    const Eigen::MatrixXd quadratic = ReadCsv(dir.file("quadratic.csv"));
    EXPECT_LT((Dense(out.weights) - quadratic).cwiseAbs().maxCoeff(), 2e-3);
    const Eigen::MatrixXd positions = ReadCsv(dir.file("positions.csv"));
    const Eigen::MatrixXd ours = out.embedding.cast<double>();
    EXPECT_LT(ProcrustesDisparity(ours, positions), 1e-3);
    EXPECT_LT(MaxDifferenceUpToSign(ours, positions), 5e-3) << "columns may be mixed by a small eigengap";
}

// The dense and the partial eigen-solvers give the same embedding, signs included.
TEST(EmbeddingSolvers, DenseAndPartialAgree)
{
    TestSupport::TempDir dir;
    const Eigen::MatrixXf data = LoadColumns("swissroll_2000.csv", 300, dir);
    ASSERT_EQ(data.cols(), 300);
    for (int m : {MultidimensionalScaling, Isomap, LaplacianEigenmaps, KernelLocallyLinearEmbedding}) {
        SCOPED_TRACE(m);
        const ParameterSet base = {method(m), target_dimension(2), num_neighbors(10), gaussian_kernel_width(2.0)};
        ParameterSet dense = base;
        ParameterSet partial = base;
        const TapkeeOutput a = embedUsing(data, dense.Add(eigen_solver(DenseEigenSolver)));
        const TapkeeOutput b = embedUsing(data, partial.Add(eigen_solver(PartialEigenSolver)));
        ASSERT_EQ(a.embedding.rows(), 300);
        ASSERT_EQ(b.embedding.rows(), 300);
        const float scale = a.embedding.cwiseAbs().maxCoeff();
        EXPECT_LT((a.embedding - b.embedding).cwiseAbs().maxCoeff(), 1e-4f * scale);
    }
}
