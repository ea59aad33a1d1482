// The distortion measures at their edges: a budget that holds one block of distances but not
// the whole matrix, distance sources whose columns come in more than one part of rows, and the
// rank neighbours of a point set whose selection or normalisation changed.
#include "CallbackDistanceBlocks.h"
#include "EmbeddingResult.h"
#include "HDpointSet.h"
#include "MemoryBudget.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using Zelvo::EmbeddingResult;
using Zelvo::MemoryBudget;

namespace {

using TestSupport::BudgetScope;

std::vector<float> Gaussian(int n, int d, unsigned seed, const std::vector<float>& scales = {})
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(n) * d);
    for (size_t k = 0; k < v.size(); ++k) v[k] = normal(gen) * (scales.empty() ? 1.0f : scales[k % d]);
    return v;
}

// A whole matrix handed out a block of 48 columns at a time, each in three parts of rows,
// declaring a little memory of its own per pass and per part.
class MatrixBlocks : public Zelvo::SquaredDistanceBlocks {
public:
    explicit MatrixBlocks(std::shared_ptr<const Eigen::MatrixXf> matrix) : m_matrix(std::move(matrix)) {}
    int PointCount() const override { return static_cast<int>(m_matrix->cols()); }
    int BlockWidth() const override { return 48; }
    size_t PassBytes() const override { return 4096; }
    size_t PartBytes() const override { return 1024; }
    bool BeginPass(int) override { return true; }
    void EndPass() override {}
    int PartCount(int) const override { return 3; }
    bool FillPart(int first, int part, int, float* columns) override
    {
        const int n = PointCount();
        const int rows = (n + 2) / 3;
        for (int c = first; c < std::min(n, first + BlockWidth()); ++c)
            for (int i = part * rows; i < std::min(n, (part + 1) * rows); ++i)
                columns[static_cast<size_t>(c - first) * n + i] = (*m_matrix)(i, c);
        return true;
    }

private:
    std::shared_ptr<const Eigen::MatrixXf> m_matrix;
};

struct Measured {
    bool ok = false;
    std::vector<float> values;
    float total = 0;
    std::string out;
    bool operator==(const Measured& o) const
    {
        return ok == o.ok && values.size() == o.values.size() && std::memcmp(&total, &o.total, sizeof total) == 0 &&
               std::memcmp(values.data(), o.values.data(), values.size() * sizeof(float)) == 0;
    }
};

Measured Measure(EmbeddingResult& r, const std::string& name)
{
    Measured m;
    r.perPointDistortion = {-7.0f};
    m.total = -12345;
    std::vector<float>* got = nullptr;
    m.out = TestSupport::CaptureStdout([&] { got = r.GetPerPointDistortion(m.total, name); });
    m.ok = got != nullptr;
    m.values = r.perPointDistortion;
    return m;
}

}  // namespace

// Under a budget that holds one block of distances and the measure's own arrays but not the
// whole matrix, each measure still gives the whole matrix's values, down to the smallest budget
// that holds them (found by bisection); one byte less is refused with an Error line and changes
// nothing. Every budget above gives the same values.
TEST(MeasureEdges, ABudgetBetweenABlockAndTheWholeMatrixComputesByBlocks)
{
    const int n = 700;
    const std::vector<float> v = Gaussian(n, 5, 11);
    auto matrix = std::make_shared<Eigen::MatrixXf>(n, n);
    std::vector<float> places;
    for (int i = 0; i < n; ++i) {
        places.insert(places.end(), {v[5 * i] + 0.3f * v[5 * i + 2], v[5 * i + 1] - 0.2f * v[5 * i + 3]});
        for (int j = 0; j < n; ++j) {
            double sum = 0;
            for (int k = 0; k < 5; ++k) sum += double(v[5 * i + k] - v[5 * j + k]) * (v[5 * i + k] - v[5 * j + k]);
            (*matrix)(i, j) = static_cast<float>(sum);
        }
    }
    const size_t whole = size_t(n) * n * sizeof(float);
    EmbeddingResult handed(places.data(), 2, n, nullptr);
    handed.SetHDSquaredDistance(Eigen::MatrixXf(*matrix));
    handed.kdeBandWidth = 0.8f;
    // Each try measures a new embedding: the measures keep sums and densities between calls.
    const auto byBlocks = [&](const std::string& name, size_t budget) {
        EmbeddingResult r(places.data(), 2, n, nullptr);
        r.SetHDSquaredDistanceBlocks(std::make_unique<MatrixBlocks>(matrix));
        r.kdeBandWidth = 0.8f;
        BudgetScope scope(budget);
        return Measure(r, name);
    };

    for (const std::string name : {"Stress", "Robust", "KDE"}) {
        SCOPED_TRACE(name);
        const Measured reference = Measure(handed, name);
        ASSERT_TRUE(reference.ok) << reference.out;
        ASSERT_EQ(reference.values.size(), size_t(n));
        size_t refused = 1, fits = whole - 1;
        ASSERT_FALSE(byBlocks(name, refused).ok);
        ASSERT_EQ(byBlocks(name, fits), reference) << "a budget just below the whole matrix";
        while (fits - refused > 1) {
            const size_t middle = refused + (fits - refused) / 2;
            const Measured m = byBlocks(name, middle);
            (m.ok ? fits : refused) = middle;
            if (m.ok) {
                EXPECT_EQ(m, reference) << "budget " << middle;
            }
        }
        // At the edge: one block must be enough.
        EXPECT_LT(fits, whole / 4);
        const Measured atEdge = byBlocks(name, fits);
        EXPECT_EQ(atEdge, reference) << atEdge.out;
        const Measured below = byBlocks(name, refused);
        EXPECT_FALSE(below.ok);
        EXPECT_EQ(below.total, -12345);
        EXPECT_EQ(below.values, std::vector<float>{-7.0f});
        EXPECT_EQ(below.out.rfind("Error: " + name + " distortion needs ", 0), 0u) << below.out;
        for (size_t budget : {2 * fits, whole - 1, whole, whole + 1, 3 * whole, 17 * whole, size_t(0)})
            EXPECT_EQ(byBlocks(name, budget), reference) << "budget " << budget;
    }

    // The budget itself: exactly its size fits, a byte more does not.
    BudgetScope scope(123456);
    EXPECT_TRUE(MemoryBudget::Allows("edge", 123456.0));
    const std::string out = TestSupport::CaptureStdout([] { EXPECT_FALSE(MemoryBudget::Allows("edge", 123457.0)); });
    EXPECT_EQ(out.rfind("Error: edge needs 0.1 MB of memory, more than the 0.1 MB ", 0), 0u) << out;
}

// A distance-functor source fills its columns in parts of 4,096 rows: with more points than one
// part, every row of every block holds the functor's distance, squared, the pair taken with the
// lower index first.
TEST(MeasureEdges, CallbackBlocksOfMoreThanOnePartHoldEveryRow)
{
    const int n = 4096 + 37, d = 3;
    const std::vector<float> v = Gaussian(n, d, 5, {1.0f, 4.0f, 0.5f});
    std::vector<Zelvo::HDpoint<float>> points;
    for (int i = 0; i < n; ++i) points.emplace_back(v.data() + size_t(i) * d, d);
    for (Zelvo::DistanceType type : {Zelvo::DistanceEuclidean, Zelvo::DistanceManhattan}) {
        Zelvo::distanceFunctor functor;
        functor.type = type;
        functor.mask = {true, false, true};
        Zelvo::CallbackDistanceBlocks blocks(points, functor);
        const int width = blocks.BlockWidth();
        ASSERT_TRUE(blocks.BeginPass(2));
        // The first block, the one that ends at row 4,096, and the last (narrower) one.
        for (int first : {0, 4096 - width, (n - 1) / width * width}) {
            ASSERT_EQ(blocks.PartCount(first), 2) << first;
            std::vector<float> columns(size_t(width) * n, std::numeric_limits<float>::quiet_NaN());
            for (int part = 1; part >= 0; --part) ASSERT_TRUE(blocks.FillPart(first, part, part, columns.data()));
            for (int c = 0; c < std::min(width, n - first); ++c) {
                const int j = first + c;
                for (int i = 0; i < n; ++i) {
                    double sum = 0;
                    for (int k : {0, 2}) {
                        const double diff = double(v[size_t(i) * d + k]) - v[size_t(j) * d + k];
                        sum += type == Zelvo::DistanceEuclidean ? diff * diff : std::abs(diff);
                    }
                    const double expected = type == Zelvo::DistanceEuclidean ? sum : sum * sum;
                    const float got = columns[size_t(c) * n + i];
                    ASSERT_NEAR(got, expected, 1e-5 * expected + 1e-6) << "type " << type << " row " << i << " column " << j;
                    // Both orders of a pair measure it the same way.
                    if (first == 0 && i < width) {
                        EXPECT_EQ(got, columns[size_t(i) * n + j]);
                    }
                }
            }
        }
        blocks.EndPass();
    }
}

// A point set's rank neighbours follow its selection and normalisation: after each change they
// are again the points of rank 0 .. K in the packed points of the moment (ranked as the rank
// matrix ranks them: exact distances, equal ones by index), never the rows of the packing
// before.
TEST(MeasureEdges, RankNeighboursFollowTheMaskAndTheNormalisation)
{
    const int n = 160, d = 4, K = 6;
    auto set = TestSupport::MakePackedPointSet(Gaussian(n, d, 3, {1.0f, 12.0f, 0.1f, 3.0f}), d);
    const auto nearest = [&] {
        const std::vector<float>& packed = *set->GetPackedRawDataArray(false);
        const int count = set->GetPointCount();
        const size_t w = packed.size() / count;
        const int width = std::min(K + 1, count);
        std::vector<int> rows;
        for (int i = 0; i < count; ++i) {
            std::vector<std::pair<float, int>> row;
            for (int j = 0; j < count; ++j) {
                double sum = 0;
                for (size_t k = 0; k < w; ++k) {
                    const float diff = packed[i * w + k] - packed[j * w + k];
                    sum += diff * diff;
                }
                row.emplace_back(static_cast<float>(std::sqrt(sum)), j);
            }
            std::sort(row.begin(), row.end());
            for (int r = 0; r < width; ++r) rows.push_back(row[r].second);
        }
        return rows;
    };
    const struct {
        const char* what;
        std::function<void()> change;
    } steps[] = {
        {"as packed", [] {}},
        {"dimension 1 unselected", [&] { set->m_dimMask[1] = false; }},
        {"min-max normalised", [&] { set->m_state = Zelvo::PointSetMinMaxNorm; }},
        {"variance normalised", [&] { set->m_state = Zelvo::PointSetVarianceNorm; }},
        {"dimension 1 selected again", [&] { set->m_dimMask[1] = true; }},
        {"raw values again", [&] { set->m_state = Zelvo::PointSetOriginal; }},
        {"points deleted", [&] {
             std::vector<int> gone = {0, 5, 77};
             set->DeleteHDpoints(gone);
         }},
    };
    std::vector<int> before;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        std::shared_ptr<const std::vector<int>> got;
        const std::string out = TestSupport::CaptureStdout([&] { got = set->GetRankNeighbours(K, "test"); });
        ASSERT_NE(got, nullptr) << out;
        const std::vector<int> copy = *got;
        std::vector<int> expected;
        TestSupport::CaptureStdout([&] { expected = nearest(); });
        EXPECT_EQ(copy, expected);
        if (!before.empty()) {
            EXPECT_NE(copy, before) << "the change must move some neighbours";
        }
        before = copy;
    }
}
