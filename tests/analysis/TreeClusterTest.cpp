#include "TreeCluster.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Tree = std::unique_ptr<TreeClusterNode, FreeDeleter>;

// A table in the row-pointer layout the library takes, owning its storage.
struct Table {
    int rows = 0;
    int columns = 0;
    std::vector<double> values;
    std::vector<int> present;
    std::vector<double> weight;
    std::vector<double*> rowPointers;
    std::vector<int*> maskPointers;

    Table(int r, int c) : rows(r), columns(c), values(size_t(r) * c, 0.0), present(size_t(r) * c, 1), weight(c, 1.0)
    {
        bind();
    }
    Table(const Table& other)
        : rows(other.rows), columns(other.columns), values(other.values), present(other.present), weight(other.weight)
    {
        bind();
    }
    Table& operator=(const Table&) = delete;
    Table(Table&&) = default;

    void bind()
    {
        for (int i = 0; i < rows; i++) {
            rowPointers.push_back(values.data() + size_t(i) * columns);
            maskPointers.push_back(present.data() + size_t(i) * columns);
        }
    }
    double& at(int r, int c) { return values[size_t(r) * columns + c]; }
    int& maskAt(int r, int c) { return present[size_t(r) * columns + c]; }
    double** data() { return rowPointers.data(); }
    int** mask() { return maskPointers.data(); }

    Table transposed() const
    {
        Table t(columns, rows);
        t.weight.assign(rows, 1.0);
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < columns; c++) {
                t.values[size_t(c) * rows + r] = values[size_t(r) * columns + c];
                t.present[size_t(c) * rows + r] = present[size_t(r) * columns + c];
            }
        return t;
    }
};

Table randomTable(int rows, int columns, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    Table t(rows, columns);
    for (double& v : t.values) v = normal(rng);
    return t;
}

// Points on an integer grid: many equal distances, so the tie rules decide the merges.
Table gridTable(int rows, int columns, int levels, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> level(0, levels - 1);
    Table t(rows, columns);
    for (double& v : t.values) v = level(rng);
    return t;
}

const char kAllMetrics[] = {'e', 'b', 'c', 'a', 'u', 'x', 's', 'k'};

double metricOf(Table& t, char dist, int i, int j)
{
    return setmetric(dist)(t.columns, t.data(), t.data(), t.mask(), t.mask(), t.weight.data(), i, j, 0);
}

std::vector<TreeClusterNode> toVector(const TreeClusterNode* tree, int count)
{
    return std::vector<TreeClusterNode>(tree, tree + count);
}

// The closest-pair search as the tie rule states it (lowest row, then lowest column, rescanning
// the whole active triangle at every merge): SciPy breaks ties its own way, so only this shows
// the order of equal merges.
std::vector<TreeClusterNode> referenceAgglomeration(Table& t, char dist, char method)
{
    const int n = t.rows;
    const int ndata = t.columns;
    const Metric metric = setmetric(dist);
    std::vector<std::vector<double>> d(n);
    for (int i = 1; i < n; i++)
        for (int j = 0; j < i; j++) d[i].push_back(metric(ndata, t.data(), t.data(), t.mask(), t.mask(), t.weight.data(), i, j, 0));
    auto D = [&](int a, int b) -> double& { return a > b ? d[a][b] : d[b][a]; };

    std::vector<int> id(n), size(n, 1);
    std::vector<std::vector<double>> cdata(n);
    std::vector<std::vector<int>> cmask(n);
    for (int i = 0; i < n; i++) {
        id[i] = i;
        for (int c = 0; c < ndata; c++) {
            cmask[i].push_back(t.maskAt(i, c));
            cdata[i].push_back(t.maskAt(i, c) ? t.at(i, c) : 0.0);
        }
    }

    std::vector<TreeClusterNode> nodes;
    for (int k = 0; k < n - 1; k++) {
        const int active = n - k;
        int is = 1, js = 0;
        double best = D(1, 0);
        for (int i = 1; i < active; i++)
            for (int j = 0; j < i; j++)
                if (D(i, j) < best) {
                    best = D(i, j);
                    is = i;
                    js = j;
                }
        nodes.push_back(method == 'c' ? TreeClusterNode{id[js], id[is], best} : TreeClusterNode{id[is], id[js], best});

        const int last = active - 1;
        if (method == 'm') {
            for (int l = 0; l < active; l++)
                if (l != is && l != js) D(js, l) = std::max(D(is, l), D(js, l));
        } else if (method == 'a') {
            const double sizeis = size[is], sizejs = size[js], sum = sizeis + sizejs;
            for (int l = 0; l < active; l++)
                if (l != is && l != js) D(js, l) = (D(is, l) * sizeis + D(js, l) * sizejs) / sum;
            size[js] += size[is];
        } else {
            for (int c = 0; c < ndata; c++) {
                cdata[js][c] = cdata[js][c] * cmask[js][c] + cdata[is][c] * cmask[is][c];
                cmask[js][c] += cmask[is][c];
                if (cmask[js][c]) cdata[js][c] /= cmask[js][c];
            }
        }
        for (int l = 0; l < active; l++)
            if (l != is && l != last) D(is, l) = D(last, l);
        id[is] = id[last];
        size[is] = size[last];
        cdata[is] = cdata[last];
        cmask[is] = cmask[last];
        id[js] = -k - 1;
        if (method == 'c') {
            std::vector<double*> rows;
            std::vector<int*> masks;
            for (int i = 0; i < active - 1; i++) {
                rows.push_back(cdata[i].data());
                masks.push_back(cmask[i].data());
            }
            for (int l = 0; l < active - 1; l++)
                if (l != js) D(js, l) = metric(ndata, rows.data(), rows.data(), masks.data(), masks.data(), t.weight.data(), js, l, 0);
        }
    }
    return nodes;
}

void expectSameMerges(const std::vector<TreeClusterNode>& expected, const TreeClusterNode* actual, const std::string& what)
{
    ASSERT_NE(actual, nullptr) << what;
    for (size_t k = 0; k < expected.size(); k++) {
        ASSERT_EQ(actual[k].left, expected[k].left) << what << " merge " << k;
        ASSERT_EQ(actual[k].right, expected[k].right) << what << " merge " << k;
        ASSERT_EQ(actual[k].distance, expected[k].distance) << what << " merge " << k;
    }
}

// Members of every merge, from node ids (-(k + 1)) or SciPy's ids (n + k).
std::vector<std::vector<int>> cladesOf(const std::vector<std::pair<int, int>>& merges, int n, bool scipyIds)
{
    std::vector<std::vector<int>> clades;
    auto members = [&](int id) {
        if (scipyIds ? id < n : id >= 0) return std::vector<int>{id};
        return clades[scipyIds ? id - n : -id - 1];
    };
    for (const auto& m : merges) {
        std::vector<int> all = members(m.first);
        const std::vector<int> right = members(m.second);
        all.insert(all.end(), right.begin(), right.end());
        std::sort(all.begin(), all.end());
        clades.push_back(all);
    }
    return clades;
}

void writeTable(Table& t, const std::string& valuesPath, const std::string& maskPath, const std::string& weightPath)
{
    std::ofstream values(valuesPath), mask(maskPath), weight(weightPath);
    char buffer[64];
    for (int r = 0; r < t.rows; r++) {
        for (int c = 0; c < t.columns; c++) {
            std::snprintf(buffer, sizeof buffer, "%.17g ", t.at(r, c));
            values << buffer;
            mask << t.maskAt(r, c) << ' ';
        }
        values << '\n';
        mask << '\n';
    }
    for (double w : t.weight) {
        std::snprintf(buffer, sizeof buffer, "%.17g\n", w);
        weight << buffer;
    }
}

std::vector<double> parseNumbers(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::vector<double> numbers;
    std::string token;
    while (in >> token) numbers.push_back(token == "nan" ? std::numeric_limits<double>::quiet_NaN() : std::strtod(token.c_str(), nullptr));
    return numbers;
}

}  // namespace

// ---------------------------------------------------------------- metrics

TEST(TreeClusterMetrics, HandValues)
{
    Table t(2, 2);
    t.at(1, 0) = 2;
    t.at(1, 1) = 4;
    EXPECT_DOUBLE_EQ(metricOf(t, 'e', 0, 1), 10.0);  // mean of squares, no root
    EXPECT_DOUBLE_EQ(metricOf(t, 'b', 0, 1), 3.0);
    EXPECT_DOUBLE_EQ(metricOf(t, 'z', 0, 1), 10.0);  // unknown letter: euclid

    t.weight = {1.0, 3.0};
    EXPECT_DOUBLE_EQ(metricOf(t, 'e', 0, 1), (4.0 + 3.0 * 16.0) / 4.0);
    EXPECT_DOUBLE_EQ(metricOf(t, 'b', 0, 1), (2.0 + 3.0 * 4.0) / 4.0);
    t.maskAt(0, 1) = 0;
    EXPECT_DOUBLE_EQ(metricOf(t, 'e', 0, 1), 4.0);  // only the first column takes part

    t.weight = {0.0, 0.0};
    for (char dist : {'e', 'b', 'c', 'a'}) EXPECT_EQ(metricOf(t, dist, 0, 1), 0.0) << dist;
}

TEST(TreeClusterMetrics, DegenerateRows)
{
    Table t(3, 4);
    for (int c = 0; c < 4; c++) {
        t.at(0, c) = 3.0;        // constant
        t.at(1, c) = c * c;      // varying
        t.at(2, c) = 0.0;        // zero
    }
    for (char dist : {'c', 'a', 's', 'k'}) {
        EXPECT_EQ(metricOf(t, dist, 0, 1), 1.0) << dist;
        EXPECT_EQ(metricOf(t, dist, 1, 0), 1.0) << dist;
    }
    for (char dist : {'u', 'x'}) EXPECT_EQ(metricOf(t, dist, 2, 1), 1.0) << dist;

    // No position present in both: 0 for every metric.
    for (int c = 0; c < 4; c++) t.maskAt(0, c) = 0;
    for (char dist : kAllMetrics) EXPECT_EQ(metricOf(t, dist, 0, 1), 0.0) << dist;
    // One common position: no pair for Kendall, zero rank variance for Spearman.
    t.maskAt(0, 2) = 1;
    EXPECT_EQ(metricOf(t, 'k', 0, 1), 0.0);
    EXPECT_EQ(metricOf(t, 's', 0, 1), 1.0);
}

TEST(TreeClusterMetrics, AgreeWithScipyUnderMasksAndWeights)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Debian python with scipy";
    const int rows = 14, columns = 12;
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(0.0, 2.0);
    std::uniform_int_distribution<int> small(0, 4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Table t(rows, columns);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            // Half the rows take few distinct values, so the rank metrics meet ties.
            t.at(r, c) = r % 2 ? small(rng) : normal(rng);
            t.maskAt(r, c) = unit(rng) < 0.15 ? 0 : 1;
        }
    for (double& w : t.weight) w = 0.25 + 2.0 * unit(rng);

    TestSupport::TempDir dir;
    writeTable(t, dir.file("x.txt"), dir.file("m.txt"), dir.file("w.txt"));
    const std::string script = R"(
import warnings; warnings.filterwarnings('ignore')  # constant rows after masking: NaN, skipped below
import numpy as np
from scipy.spatial import distance as D
from scipy import stats
X = np.loadtxt('x.txt'); M = np.loadtxt('m.txt') != 0; w = np.loadtxt('w.txt')
for i in range(X.shape[0]):
    for j in range(i):
        s = M[i] & M[j]
        x, y, ww = X[i, s], X[j, s], w[s]
        r = 1 - D.correlation(x, y, ww)
        u = 1 - D.cosine(x, y, ww)
        vals = [D.sqeuclidean(x, y, ww) / ww.sum(), D.cityblock(x, y, ww) / ww.sum(), 1 - r, 1 - abs(r),
                1 - u, 1 - abs(u), 1 - stats.spearmanr(x, y).correlation, 1 - stats.kendalltau(x, y).correlation]
        print(' '.join(repr(float(v)) for v in vals))
)";
    int code = -1;
    const std::vector<double> oracle = parseNumbers(TestSupport::RunPython(dir.path(), script, &code));
    ASSERT_EQ(code, 0);
    ASSERT_EQ(oracle.size(), size_t(rows * (rows - 1) / 2 * 8));

    size_t at = 0;
    int compared = 0;
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < i; j++)
            for (char dist : kAllMetrics) {
                const double expected = oracle[at++];
                if (std::isnan(expected)) continue;  // a constant row after masking
                EXPECT_NEAR(metricOf(t, dist, i, j), expected, 1e-9) << dist << " rows " << i << ", " << j;
                compared++;
            }
    EXPECT_GT(compared, rows * (rows - 1) / 2 * 8 * 9 / 10);
}

TEST(TreeClusterMetrics, TransposedModeComparesColumns)
{
    Table t = gridTable(9, 7, 4, 5);
    t.maskAt(2, 3) = 0;
    t.maskAt(5, 0) = 0;
    for (int r = 0; r < 9; r++) t.at(r, 6) += 0.5 * r;
    Table tt = t.transposed();
    for (int c = 0; c < 9; c++) tt.weight[c] = 1.0 + 0.1 * c;
    t.weight = tt.weight;  // weights follow the compared positions
    for (char dist : kAllMetrics)
        for (int i = 0; i < 7; i++)
            for (int j = 0; j < 7; j++) {
                const double byRows = metricOf(tt, dist, i, j);
                const double byColumns = setmetric(dist)(9, t.data(), t.data(), t.mask(), t.mask(), t.weight.data(), i, j, 1);
                EXPECT_EQ(byColumns, byRows) << dist << " " << i << "," << j;
            }
}

// ---------------------------------------------------------------- trees by hand

TEST(TreeClusterTree, ThreePointsOnALine)
{
    // Points 0, 1 and 5: the pair {0, 1} merges first, then the third point joins.
    Table t(3, 1);
    t.at(1, 0) = 1;
    t.at(2, 0) = 5;
    struct Case {
        char method;
        TreeClusterNode first, second;
    };
    const Case cases[] = {
        {'s', {0, 1, 1.0}, {-1, 2, 16.0}},
        {'m', {1, 0, 1.0}, {2, -1, 25.0}},
        {'a', {1, 0, 1.0}, {2, -1, 20.5}},
        {'c', {0, 1, 1.0}, {-1, 2, 20.25}},  // centroid 0.5 to 5
    };
    for (const Case& c : cases) {
        Tree tree(treecluster(3, 1, t.data(), t.mask(), t.weight.data(), 0, 'e', c.method, nullptr));
        ASSERT_TRUE(tree) << c.method;
        const TreeClusterNode* n = tree.get();
        EXPECT_EQ(n[0].left, c.first.left) << c.method;
        EXPECT_EQ(n[0].right, c.first.right) << c.method;
        EXPECT_EQ(n[0].distance, c.first.distance) << c.method;
        EXPECT_EQ(n[1].left, c.second.left) << c.method;
        EXPECT_EQ(n[1].right, c.second.right) << c.method;
        EXPECT_EQ(n[1].distance, c.second.distance) << c.method;
    }
}

TEST(TreeClusterTree, SingleLinkageOrdersEqualHeightsByIndex)
{
    // 50 evenly spaced points: every merge height is 1, and the pointer representation points
    // every element at the last one. Taking the equal heights by element index gives a chain.
    const int n = 50;
    Table t(n, 1);
    for (int i = 0; i < n; i++) t.at(i, 0) = i;
    Tree tree(treecluster(n, 1, t.data(), t.mask(), t.weight.data(), 0, 'e', 's', nullptr));
    ASSERT_TRUE(tree);
    for (int r = 0; r < n - 1; r++) {
        EXPECT_EQ(tree.get()[r].left, r) << r;
        EXPECT_EQ(tree.get()[r].right, r == 0 ? n - 1 : -r) << r;
        EXPECT_EQ(tree.get()[r].distance, 1.0) << r;
    }
}

TEST(TreeClusterTree, ClosestPairTiesGoToLowestRowThenColumn)
{
    // Four corners of a unit square: the four sides tie. Row 1, column 0 is met first.
    Table t(4, 2);
    const double corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; i++)
        for (int c = 0; c < 2; c++) t.at(i, c) = corners[i][c];
    Tree tree(treecluster(4, 2, t.data(), t.mask(), t.weight.data(), 0, 'e', 'm', nullptr));
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree.get()[0].left, 1);
    EXPECT_EQ(tree.get()[0].right, 0);
    // Element 3 moved into position 1; the pair (2, 1) = {2, 3} now ties with nothing lower.
    EXPECT_EQ(tree.get()[1].left, 2);
    EXPECT_EQ(tree.get()[1].right, 3);
    EXPECT_EQ(tree.get()[1].distance, 0.5);
    EXPECT_EQ(tree.get()[2].left, -2);
    EXPECT_EQ(tree.get()[2].right, -1);
}

TEST(TreeClusterTree, FastSearchMatchesFullScanOnGridTies)
{
    struct Case {
        int rows, columns, levels;
        unsigned seed;
    };
    const Case cases[] = {{120, 3, 4, 1}, {200, 2, 5, 2}, {90, 4, 2, 3}, {150, 6, 3, 4}};
    for (const Case& c : cases)
        for (char dist : {'e', 'b', 'c'})
            for (char method : {'m', 'a', 'c'}) {
                Table t = gridTable(c.rows, c.columns, c.levels, c.seed);
                if (dist == 'c')  // keep rows non-constant so correlations vary
                    for (int r = 0; r < c.rows; r++) t.at(r, 0) += 0.5;
                const std::vector<TreeClusterNode> expected = referenceAgglomeration(t, dist, method);
                Tree tree(treecluster(t.rows, t.columns, t.data(), t.mask(), t.weight.data(), 0, dist, method, nullptr));
                expectSameMerges(expected, tree.get(), std::string("grid seed ") + std::to_string(c.seed) + " " + dist + method);
            }
}

TEST(TreeClusterTree, GivenMatrixAndTransposedModeGiveTheSameTree)
{
    Table t = gridTable(70, 4, 4, 9);
    Table tt = t.transposed();
    for (char method : {'s', 'm', 'a', 'c'}) {
        Tree plain(treecluster(70, 4, t.data(), t.mask(), t.weight.data(), 0, 'b', method, nullptr));
        ASSERT_TRUE(plain) << method;
        const std::vector<TreeClusterNode> expected = toVector(plain.get(), 69);

        tt.weight.assign(4, 1.0);
        Tree transposed(treecluster(4, 70, tt.data(), tt.mask(), tt.weight.data(), 1, 'b', method, nullptr));
        expectSameMerges(expected, transposed.get(), std::string("transposed ") + method);

        double** matrix = distancematrix(70, 4, t.data(), t.mask(), t.weight.data(), 'b', 0);
        ASSERT_NE(matrix, nullptr);
        Tree given(treecluster(70, 4, t.data(), t.mask(), t.weight.data(), 0, 'b', method, matrix));
        expectSameMerges(expected, given.get(), std::string("given matrix ") + method);
        for (int i = 1; i < 70; i++) std::free(matrix[i]);
        std::free(matrix);
    }
}

// ---------------------------------------------------------------- against SciPy

TEST(TreeClusterTree, MergesAgreeWithScipyLinkage)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Debian python with scipy";
    const int n = 90, d = 5;
    Table t = randomTable(n, d, 17);
    for (int i = 0; i < n; i++) t.at(i, i % d) += 4.0 * (i % 3);  // a few loose groups

    TestSupport::TempDir dir;
    writeTable(t, dir.file("x.txt"), dir.file("m.txt"), dir.file("w.txt"));
    const std::string script = R"(
import numpy as np
from scipy.cluster.hierarchy import linkage
from scipy.spatial.distance import pdist
X = np.loadtxt('x.txt')
d = X.shape[1]
condensed = pdist(X, 'sqeuclidean') / d
for Z in (linkage(condensed, 'single'), linkage(condensed, 'complete'), linkage(condensed, 'average')):
    for row in Z: print(int(row[0]), int(row[1]), repr(float(row[2])))
for row in linkage(X, 'centroid'): print(int(row[0]), int(row[1]), repr(float(row[2]) ** 2 / d))
)";
    int code = -1;
    const std::vector<double> z = parseNumbers(TestSupport::RunPython(dir.path(), script, &code));
    ASSERT_EQ(code, 0);
    ASSERT_EQ(z.size(), size_t(4 * (n - 1) * 3));

    const char methods[] = {'s', 'm', 'a', 'c'};
    for (int m = 0; m < 4; m++) {
        Tree tree(treecluster(n, d, t.data(), t.mask(), t.weight.data(), 0, 'e', methods[m], nullptr));
        ASSERT_TRUE(tree) << methods[m];
        std::vector<std::pair<int, int>> ours, theirs;
        for (int k = 0; k < n - 1; k++) {
            ours.push_back({tree.get()[k].left, tree.get()[k].right});
            const double* row = &z[size_t(m * (n - 1) + k) * 3];
            theirs.push_back({int(row[0]), int(row[1])});
            EXPECT_NEAR(tree.get()[k].distance, row[2], 1e-9 * (1.0 + row[2])) << methods[m] << " merge " << k;
        }
        EXPECT_EQ(cladesOf(ours, n, false), cladesOf(theirs, n, true)) << methods[m];
    }
}

// ---------------------------------------------------------------- refusals

TEST(TreeClusterTree, RefusesBadInputWithAnErrorLine)
{
    Table t = randomTable(5, 3, 8);
    auto refuses = [&](int rows, int columns, double** data, int** mask, double* weight, int transpose, char method,
                       double** matrix, const std::string& what) {
        TreeClusterNode* tree = nullptr;
        const std::string out = TestSupport::CaptureStdout(
            [&] { tree = treecluster(rows, columns, data, mask, weight, transpose, 'e', method, matrix); });
        EXPECT_EQ(tree, nullptr) << what;
        EXPECT_EQ(out.rfind("Error", 0), 0u) << what << ": " << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << what << ": " << out;
        std::free(tree);
    };
    for (char method : {'s', 'm', 'a', 'c'}) {
        refuses(1, 3, t.data(), t.mask(), t.weight.data(), 0, method, nullptr, "one point");
        refuses(0, 3, nullptr, nullptr, nullptr, 0, method, nullptr, "no point");
        refuses(5, 0, t.data(), t.mask(), t.weight.data(), 0, method, nullptr, "no column");
        refuses(0, 5, nullptr, nullptr, nullptr, 1, method, nullptr, "no row, transposed");
        refuses(3, 1, t.data(), t.mask(), t.weight.data(), 1, method, nullptr, "one column, transposed");
    }
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (double value : bad)
        for (char method : {'s', 'm', 'a', 'c'}) {
            const double keep = t.at(3, 1);
            t.at(3, 1) = value;
            refuses(5, 3, t.data(), t.mask(), t.weight.data(), 0, method, nullptr, "non-finite value");
            t.at(3, 1) = keep;
            t.weight[2] = value;
            refuses(5, 3, t.data(), t.mask(), t.weight.data(), 0, method, nullptr, "non-finite weight");
            t.weight[2] = 1.0;
        }

    double** matrix = distancematrix(5, 3, t.data(), t.mask(), t.weight.data(), 'e', 0);
    ASSERT_NE(matrix, nullptr);
    matrix[4][2] = std::numeric_limits<double>::quiet_NaN();
    refuses(5, 3, t.data(), t.mask(), t.weight.data(), 0, 's', matrix, "non-finite given distance");
    for (int i = 1; i < 5; i++) std::free(matrix[i]);
    std::free(matrix);

    // An unknown method yields nothing, quietly.
    TreeClusterNode* tree = nullptr;
    TestSupport::CaptureStdout([&] { tree = treecluster(5, 3, t.data(), t.mask(), t.weight.data(), 0, 'e', 'z', nullptr); });
    EXPECT_EQ(tree, nullptr);
}

TEST(TreeClusterTree, ValuesOutsideTheMaskDoNotTakePart)
{
    // A non-finite value under a zero mask is ignored, also inside merged centroids.
    Table clean = randomTable(30, 4, 12);
    for (int r = 0; r < 30; r += 4) clean.maskAt(r, r % 4) = 0;
    Table dirty(clean);
    for (int r = 0; r < 30; r += 4) dirty.at(r, r % 4) = std::numeric_limits<double>::quiet_NaN();
    for (char method : {'s', 'm', 'a', 'c'}) {
        Tree expected(treecluster(30, 4, clean.data(), clean.mask(), clean.weight.data(), 0, 'e', method, nullptr));
        ASSERT_TRUE(expected);
        Tree actual(treecluster(30, 4, dirty.data(), dirty.mask(), dirty.weight.data(), 0, 'e', method, nullptr));
        expectSameMerges(toVector(expected.get(), 29), actual.get(), std::string("masked NaN ") + method);
    }
}
