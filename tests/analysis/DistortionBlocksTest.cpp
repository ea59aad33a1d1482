// The distortion measures read the high-dimensional distances a block at a time: the blocks
// hold the whole matrix's values, the measures give the values of the row-by-row loops over
// the whole matrix bit for bit, Co-ranking follows the point set's rank matrix (ties and
// deleted points included), and whatever would not fit the memory budget is refused.
#include "CallbackDistanceBlocks.h"
#include "ColumnDistanceBlocks.h"
#include "EmbeddingLibrary.h"
#include "EmbeddingResult.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "MemoryBudget.h"
#include "PCATapkee.h"
#include "RankEntry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

// The test program's own operator new and delete count the heap while a HeapWatch (below) is on,
// in every build, with the sanitizers or without: what the standard containers and Eigen's sparse
// matrices allocate. Eigen's dense arrays come from malloc and are not seen.
namespace {

std::atomic<bool> g_counting{false};
std::atomic<long long> g_heapNow{0};
std::atomic<long long> g_heapPeak{0};

void* Counted(void* p)
{
    if (!p) throw std::bad_alloc();
    if (g_counting.load(std::memory_order_relaxed)) {
        const long long now = g_heapNow += static_cast<long long>(malloc_usable_size(p));
        long long peak = g_heapPeak.load();
        while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {}
    }
    return p;
}

void* Allocate(std::size_t size)
{
    return Counted(std::malloc(size ? size : 1));
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment)
{
    void* p = nullptr;
    const std::size_t align = std::max(sizeof(void*), static_cast<std::size_t>(alignment));
    return Counted(posix_memalign(&p, align, size ? size : 1) == 0 ? p : nullptr);
}

void Release(void* p) noexcept
{
    if (p && g_counting.load(std::memory_order_relaxed))
        g_heapNow -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    try {
        return AllocateAligned(size, alignment);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t& tag) noexcept
{
    return operator new(size, alignment, tag);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }

using Zelvo::EmbeddingResult;
using Zelvo::HDpointSet;
using Zelvo::MemoryBudget;

namespace {

using TestSupport::BudgetScope;

// n points of d values: Gaussian, or on a grid of four values with every fifth point a copy
// of the one before, so that many distances are equal.
std::vector<float> Points(int n, int d, bool ties, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> normal(0.0f, 2.0f);
    std::uniform_int_distribution<int> grid(0, 3);
    std::vector<float> v(static_cast<size_t>(n) * d);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < d; ++k) {
            float& x = v[static_cast<size_t>(i) * d + k];
            x = ties ? float(grid(gen)) : normal(gen);
            if (ties && i % 5 == 4) x = v[static_cast<size_t>(i - 1) * d + k];
        }
    return v;
}

std::unique_ptr<EmbeddingResult> Embed(Zelvo::DimReductionInterface& engine, HDpointSet<float>& set)
{
    std::unique_ptr<EmbeddingResult> result;
    TestSupport::CaptureStdout([&] { result = engine.DoEmbeding(&set, 2); });
    return result;
}

struct Values {
    std::vector<float> values;
    float total = 0;
    bool operator==(const Values& o) const
    {
        return values.size() == o.values.size() && std::memcmp(&total, &o.total, sizeof total) == 0 &&
               std::memcmp(values.data(), o.values.data(), values.size() * sizeof(float)) == 0;
    }
};

Values Measure(EmbeddingResult& r, const std::string& name, float h = 3, int K = 10, std::string* out = nullptr)
{
    r.kdeBandWidth = h;
    r.corankK = K;
    Values v;
    v.total = -12345;
    std::vector<float>* got = nullptr;
    const std::string text = TestSupport::CaptureStdout([&] { got = r.GetPerPointDistortion(v.total, name); });
    if (out) *out = text;
    if (got) v.values = *got;
    return v;
}

// The measures as the row-by-row loops over a whole matrix compute them: the reference the
// blockwise measures must give bit for bit.
Values DeviationReference(const Eigen::MatrixXf& hd, const std::vector<float>& p, bool squared)
{
    const int n = static_cast<int>(hd.cols());
    Eigen::ArrayXf x(n), y(n);
    for (int i = 0; i < n; ++i) x[i] = p[2 * i], y[i] = p[2 * i + 1];
    double sumSquared = 0, sum = 0;
    for (int c = 0; c < n; ++c) {
        const auto positive = hd.col(c).array().max(0.0f);
        sumSquared += positive.cast<double>().sum();
        sum += positive.sqrt().cast<double>().sum();
    }
    const double normaliser = squared ? sumSquared : sum;
    Values v{std::vector<float>(n, 0.0f), 0};
    if (normaliser <= 0) return v;
    double total = 0;
    for (int i = 0; i < n; ++i) {
        const auto D = hd.col(i).array().max(0.0f).sqrt();
        const auto d = ((x - x[i]).square() + (y - y[i]).square()).sqrt();
        const double deviation = squared ? (D - d).square().sum() : (D - d).abs().sum();
        v.values[i] = static_cast<float>(deviation / normaliser);
        total += v.values[i];
    }
    v.total = static_cast<float>(total);
    return v;
}

Values KdeReference(const Eigen::MatrixXf& hd, const std::vector<float>& p, float h)
{
    const int n = static_cast<int>(hd.cols());
    Eigen::ArrayXf x(n), y(n);
    for (int i = 0; i < n; ++i) x[i] = p[2 * i], y[i] = p[2 * i + 1];
    const float scale = -1.0f / (2.0f * h);
    const double normalisation = 1.0 / (static_cast<double>(n) * h * h);
    Eigen::ArrayXf sums = Eigen::ArrayXf::Ones(n), kernel(n);
    for (int i = 0; i + 1 < n; ++i) {
        const Eigen::Index rest = n - i - 1;
        kernel.head(rest) = (((x.tail(rest) - x[i]).square() + (y.tail(rest) - y[i]).square()).sqrt() * scale).exp();
        sums[i] += kernel.head(rest).sum();
        sums.tail(rest) += kernel.head(rest);
    }
    Values v{std::vector<float>(n), 0};
    double total = 0;
    for (int i = 0; i < n; ++i) {
        const float high = static_cast<float>((hd.col(i).array().max(0.0f).sqrt() * scale).exp().sum() * normalisation);
        v.values[i] = std::abs(high - static_cast<float>(sums[i] * normalisation));
        total += v.values[i];
    }
    v.total = static_cast<float>(total);
    return v;
}

// From the point set's whole rank matrix; rows: the point-set row of each embedding row.
Values CorankReference(HDpointSet<float>& set, const std::vector<float>& p, const std::vector<int>& rows, int K)
{
    TestSupport::CaptureStdout([&] { set.CalculateRankMatrix(); });
    std::vector<int> kept;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] >= 0) kept.push_back(static_cast<int>(i));
    const size_t inSet = std::min<size_t>(K + 1, kept.size());
    Values v{std::vector<float>(rows.size(), 0.0f), 0};
    double total = 0;
    for (int i : kept) {
        // The K + 1 nearest in 2-D, kept in a bounded max-heap as the measure keeps them (equal
        // distances leave it in the heap's own order).
        std::vector<Zelvo::rankEntry> nearest;
        for (size_t j = 0; j < kept.size(); ++j) {
            const float dx = p[2 * kept[j]] - p[2 * i], dy = p[2 * kept[j] + 1] - p[2 * i + 1];
            const float d2 = dx * dx + dy * dy;
            const Zelvo::rankEntry e{static_cast<int>(j), d2};
            if (nearest.size() < inSet) {
                nearest.push_back(e);
                std::push_heap(nearest.begin(), nearest.end(), Zelvo::sortEntry());
            } else if (d2 < nearest.front().distance) {
                std::pop_heap(nearest.begin(), nearest.end(), Zelvo::sortEntry());
                nearest.back() = e;
                std::push_heap(nearest.begin(), nearest.end(), Zelvo::sortEntry());
            }
        }
        int count = 0;
        for (const Zelvo::rankEntry& e : nearest) count += set.m_rankMatrix[rows[i]][rows[kept[e.index]]] <= K;
        v.values[i] = -(static_cast<float>(count) / static_cast<float>(K));
        total += static_cast<float>(count) / static_cast<float>(K);
    }
    v.total = static_cast<float>(-total);
    return v;
}

// Fills every part of every block, the last block first, and returns the whole matrix.
Eigen::MatrixXf FromBlocks(Zelvo::SquaredDistanceBlocks& blocks)
{
    const int n = blocks.PointCount();
    Eigen::MatrixXf m(n, n);
    EXPECT_TRUE(blocks.BeginPass(2));
    const int width = blocks.BlockWidth();
    for (int first = (n - 1) / width * width; first >= 0; first -= width)
        for (int part = blocks.PartCount(first) - 1; part >= 0; --part)
            EXPECT_TRUE(blocks.FillPart(first, part, part % 2, m.data() + static_cast<size_t>(first) * n));
    blocks.EndPass();
    return m;
}

bool Identical(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b)
{
    return a.rows() == b.rows() && a.cols() == b.cols() &&
           std::memcmp(a.data(), b.data(), sizeof(float) * static_cast<size_t>(a.size())) == 0;
}

long PeakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the calling thread, and the threads it starts, on the first `count` of its processors
// for one scope, as a machine with that many would (0: on all of them).
class ProcessorScope {
public:
    explicit ProcessorScope(int count)
    {
        CPU_ZERO(&m_all);
        sched_getaffinity(0, sizeof m_all, &m_all);
        if (count <= 0) return;
        cpu_set_t fewer;
        CPU_ZERO(&fewer);
        for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu)
            if (CPU_ISSET(cpu, &m_all)) CPU_SET(cpu, &fewer), ++taken;
        sched_setaffinity(0, sizeof fewer, &fewer);
    }
    ~ProcessorScope() { sched_setaffinity(0, sizeof m_all, &m_all); }
    ProcessorScope(const ProcessorScope&) = delete;
    ProcessorScope& operator=(const ProcessorScope&) = delete;

private:
    cpu_set_t m_all;
};

// How far the heap grows above where it stood when the watch began, as the counting operator new
// and delete above see it.
class HeapWatch {
public:
    HeapWatch()
    {
        g_heapNow = 0;
        g_heapPeak = 0;
        g_counting = true;
    }
    ~HeapWatch() { g_counting = false; }
    HeapWatch(const HeapWatch&) = delete;
    HeapWatch& operator=(const HeapWatch&) = delete;
    long long Peak() const { return g_heapPeak; }
    long long Now() const { return g_heapNow; }
};

}  // namespace

// The product of each block is split into parts of rows, which must not change a single value:
// shapes around the product's own panels, one-column last blocks and the small products.
TEST(DistortionBlocks, BlockSourcesHoldTheWholeMatrixBitForBit)
{
    struct Shape {
        int n, d;
    };
    for (Shape s : {Shape{1, 3}, Shape{5, 3}, Shape{19, 1}, Shape{40, 7}, Shape{255, 20}, Shape{257, 20},
                    Shape{262, 9}, Shape{513, 64}, Shape{1030, 2}, Shape{4200, 9}}) {
        const std::vector<float> v = Points(s.n, s.d, s.n % 2, s.n + s.d);
        const Eigen::MatrixXf data = Eigen::Map<const Eigen::MatrixXf>(v.data(), s.d, s.n);
        Zelvo::ColumnDistanceBlocks blocks(data);
        EXPECT_TRUE(Identical(FromBlocks(blocks), tapkee::SquaredColumnDistances(data))) << s.n << " x " << s.d;
    }

    // Functor distances: Euclidean and Manhattan over a mask, one block and a part beyond.
    const int n = 70, d = 4;
    const std::vector<float> v = Points(n, d, true, 3);
    std::vector<Zelvo::HDpoint<float>> points;
    for (int i = 0; i < n; ++i) points.emplace_back(v.data() + i * d, d);
    for (Zelvo::DistanceType type : {Zelvo::DistanceEuclidean, Zelvo::DistanceManhattan}) {
        Zelvo::distanceFunctor functor;
        functor.type = type;
        functor.mask = {true, false, true, true};
        Zelvo::CallbackDistanceBlocks blocks(points, functor);
        const tapkee::DistanceCallback distance = [&](int i, int j) { return functor(points[i], points[j]); };
        EXPECT_TRUE(Identical(FromBlocks(blocks), tapkee::SquaredCallbackDistances(n, distance))) << type;
    }
    // A functor that gives no distance fails the pass with one line.
    Zelvo::distanceFunctor broken;
    broken.type = static_cast<Zelvo::DistanceType>(7);
    Zelvo::CallbackDistanceBlocks blocks(points, broken);
    std::vector<float> columns(static_cast<size_t>(n) * blocks.BlockWidth());
    bool filled = true;
    const std::string out = TestSupport::CaptureStdout([&] {
        blocks.BeginPass(1);
        filled = blocks.FillPart(0, 0, 0, columns.data()) || blocks.FillPart(0, 0, 0, columns.data());
    });
    EXPECT_FALSE(filled);
    EXPECT_EQ(out, "Error: distance -1.000000 between points 0 and 1 is no distance\n");
}

// PCA and LLE results measured through their blocks (kept whole, or block by block under a
// budget that keeps nothing) against the row-by-row loops over the whole matrix, with random
// data and with ties; then the same embedding after points were deleted from the set, whose
// measures take the remaining points alone.
TEST(DistortionBlocks, MeasuresGiveTheWholeMatrixLoopsBitForBit)
{
    struct Case {
        int n, d;
        bool ties, lle;
    };
    for (Case c : {Case{300, 20, false, false}, Case{700, 4, true, false}, Case{1500, 6, true, false},
                   Case{260, 5, false, true}}) {
        const std::vector<float> v = Points(c.n, c.d, c.ties, c.n);
        auto set = TestSupport::MakePackedPointSet(v, c.d);
        Zelvo::distanceFunctor functor;
        functor.mask = set->m_dimMask;
        Zelvo::PCATapkee pca(functor);
        Zelvo::LocalLinearEmbeddingTapkee lle(functor, 8);
        std::unique_ptr<EmbeddingResult> r = Embed(c.lle ? static_cast<Zelvo::DimReductionInterface&>(lle) : pca, *set);
        ASSERT_NE(r, nullptr);
        std::vector<float> dragged = r->modifiedPositions;
        dragged[0] += 3.0f;
        r->SetModifiedEmbeddedPosition(dragged);
        // The whole matrix, from a second run of the same engine.
        const Eigen::MatrixXf hd =
            Embed(c.lle ? static_cast<Zelvo::DimReductionInterface&>(lle) : pca, *set)->GetHDSquaredDistance();
        ASSERT_EQ(hd.rows(), c.n);
        const std::string label = std::to_string(c.n) + (c.lle ? " LLE" : " PCA");

        for (int pass = 0; pass < 2; ++pass) {
            // First block by block, then kept whole after the budget is back.
            const size_t keepNothing = size_t(16) * c.n * c.n * sizeof(float) - 16;
            BudgetScope budget(pass == 0 ? keepNothing : 0);
            EXPECT_EQ(Measure(*r, "Stress"), DeviationReference(hd, dragged, true)) << label;
            EXPECT_EQ(Measure(*r, "Robust"), DeviationReference(hd, dragged, false)) << label;
            for (float h : {3.0f, 0.7f}) EXPECT_EQ(Measure(*r, "KDE", h), KdeReference(hd, dragged, h)) << label << h;
            std::vector<int> rows(c.n);
            for (int i = 0; i < c.n; ++i) rows[i] = i;
            for (int K : {1, 10, c.n - 1, c.n + 4})
                EXPECT_EQ(Measure(*r, "Corank", 3, K), CorankReference(*set, dragged, rows, K)) << label << " K " << K;
        }

        // Every seventh point deleted: the embedding keeps its rows, Co-ranking pairs them.
        std::vector<int> gone, rows;
        for (int i = 0; i < c.n; ++i) {
            if (i % 7 == 3) gone.push_back(i);
            rows.push_back(i % 7 == 3 ? -1 : i - static_cast<int>(gone.size()));
        }
        TestSupport::CaptureStdout([&] {
            set->DeleteHDpoints(gone);
            EXPECT_TRUE(r->SetPointSetRows(rows));
        });
        for (int K : {2, 10}) {
            const Values got = Measure(*r, "Corank", 3, K);
            EXPECT_EQ(got, CorankReference(*set, dragged, rows, K)) << label << " deleted, K " << K;
            EXPECT_EQ(got.values[3], 0.0f);
        }
        // The other measures take the remaining points alone: a data set of those points with
        // the same distances and places, a deleted point's value 0.
        std::vector<int> kept;
        for (int i = 0; i < c.n; ++i)
            if (rows[i] >= 0) kept.push_back(i);
        Eigen::MatrixXf keptHd(kept.size(), kept.size());
        std::vector<float> keptPlaces;
        for (size_t a = 0; a < kept.size(); ++a) {
            for (size_t b = 0; b < kept.size(); ++b) keptHd(a, b) = hd(kept[a], kept[b]);
            keptPlaces.insert(keptPlaces.end(), {dragged[2 * kept[a]], dragged[2 * kept[a] + 1]});
        }
        const auto expectNear = [&](const Values& got, const Values& keptOnly, const char* name) {
            ASSERT_EQ(got.values.size(), size_t(c.n)) << name;
            EXPECT_NEAR(got.total, keptOnly.total, 1e-5 * std::abs(keptOnly.total)) << name;
            for (int i = 0; i < c.n; ++i) {
                const float expected = rows[i] < 0 ? 0.0f : keptOnly.values[size_t(rows[i])];
                EXPECT_NEAR(got.values[i], expected, 1e-5f * std::abs(expected) + 1e-12f) << label << name << " row " << i;
            }
        };
        expectNear(Measure(*r, "Stress"), DeviationReference(keptHd, keptPlaces, true), " Stress");
        expectNear(Measure(*r, "Robust"), DeviationReference(keptHd, keptPlaces, false), " Robust");
        expectNear(Measure(*r, "KDE", 0.7f), KdeReference(keptHd, keptPlaces, 0.7f), " KDE");
    }
}

// The rows the point set finds are exactly the entries of rank at most K, nearest first, in
// data full of equal distances.
TEST(DistortionBlocks, RankNeighboursAreTheRankMatrixEntriesUpToK)
{
    const int n = 90, d = 3;
    auto set = TestSupport::MakePackedPointSet(Points(n, d, true, 5), d);
    TestSupport::CaptureStdout([&] { set->CalculateRankMatrix(); });
    for (int K : {0, 1, 4, n - 1, n + 10}) {
        const auto rows = set->GetRankNeighbours(K, "test");
        ASSERT_NE(rows, nullptr);
        const int width = std::min(K + 1, n);
        ASSERT_EQ(rows->size(), size_t(n) * width);
        for (int i = 0; i < n; ++i)
            for (int r = 0; r < width; ++r)
                EXPECT_EQ(set->m_rankMatrix[i][(*rows)[size_t(i) * width + r]], r) << "K " << K << " row " << i;
    }
}

// A PCA embedding of n points in 5 dimensions, with the point set it measures against.
struct PcaEmbedding {
    explicit PcaEmbedding(int n) : set(TestSupport::MakePackedPointSet(Points(n, 5, false, 9), 5))
    {
        Zelvo::distanceFunctor functor;
        functor.mask = set->m_dimMask;
        Zelvo::PCATapkee pca(functor);
        result = Embed(pca, *set);
    }
    std::unique_ptr<HDpointSet<float>> set;
    std::unique_ptr<EmbeddingResult> result;
};

// KDE densities reach 1 / h^2 where points share one spot, and their total n / h^2: the smallest
// bandwidth grows with the point count. n points at one spot in the high-dimensional space, far
// apart in 2-D: just above the bound of n the values and the total are finite floats; at half of
// it (where n / h^2 would overflow) the measure is refused, for few points and for many.
TEST(DistortionBlocks, KdeSmallestBandwidthGrowsWithThePointCount)
{
    for (int n : {3, 2000}) {
        auto set = TestSupport::MakePackedPointSet(std::vector<float>(static_cast<size_t>(n) * 2, 1.0f), 2);
        std::vector<float> apart(static_cast<size_t>(n) * 2, 0.0f);
        for (int i = 0; i < n; ++i) apart[2 * i] = 1000.0f * i;
        EmbeddingResult r(apart.data(), 2, n, set.get());
        r.SetHDSquaredDistance(Eigen::MatrixXf::Zero(n, n));
        const double bound = std::sqrt(2.0 * n / FLT_MAX);
        const Values accepted = Measure(r, "KDE", static_cast<float>(1.01 * bound));
        ASSERT_EQ(accepted.values.size(), size_t(n)) << n;
        EXPECT_TRUE(std::isfinite(accepted.total) && accepted.total > 0) << n;
        const auto finite = [](float v) { return std::isfinite(v); };
        EXPECT_TRUE(std::all_of(accepted.values.begin(), accepted.values.end(), finite)) << n;
        std::string out;
        EXPECT_TRUE(Measure(r, "KDE", static_cast<float>(0.5 * bound), 10, &out).values.empty()) << n;
        const std::string head = "Error: KDE distortion of " + std::to_string(n) + " points needs a bandwidth of";
        EXPECT_EQ(out.rfind(head, 0), 0u) << out;
    }
}

// Whatever would not fit the budget is refused with one "Error: ..." line, on one processor as
// on many: the previous values, the caller's total and the source stay, and the same embedding
// is measured once the budget allows it.
TEST(DistortionBlocks, RefusalsOverTheBudgetLeaveEverythingAsItWas)
{
    PcaEmbedding embedding(1000);
    auto& set = embedding.set;
    auto& r = embedding.result;
    ASSERT_NE(r, nullptr);
    // Each measure needs more than the budget on any number of processors (Co-ranking's rows
    // of 1000 points alone are over it); tried on one, two and all of them.
    for (int processors : {1, 2, 0}) {
        ProcessorScope scope(processors);
        BudgetScope budget(64 * 1024);
        r->perPointDistortion = {1.0f, 2.0f};
        for (const char* name : {"Stress", "Robust", "KDE", "Corank"}) {
            float total = 77;
            std::vector<float>* values = nullptr;
            const std::string out = TestSupport::CaptureStdout([&] { values = r->GetPerPointDistortion(total, name); });
            EXPECT_EQ(values, nullptr) << name << " on processors " << processors;
            EXPECT_EQ(total, 77) << name;
            EXPECT_EQ(r->perPointDistortion, std::vector<float>({1.0f, 2.0f})) << name;
            EXPECT_EQ(out.rfind("Error: " + std::string(name) + " distortion needs ", 0), 0u) << out;
            EXPECT_NE(out.find(" MB of memory, more than the 0.1 MB allowed\n"), std::string::npos) << out;
        }
        std::string out = TestSupport::CaptureStdout([&] { EXPECT_EQ(r->GetHDSquaredDistance().size(), 0); });
        EXPECT_EQ(out.rfind("Error: The high-dimensional distance matrix needs ", 0), 0u) << out;
        out = TestSupport::CaptureStdout([&] { set->CalculateRankMatrix(); });
        EXPECT_TRUE(set->m_rankMatrix.empty());
        EXPECT_EQ(out, "Error: The rank matrix of 1000 points needs 3.8 MB of memory, more than the 0.1 MB allowed\n");
    }
    const Eigen::MatrixXf hd = r->GetHDSquaredDistance();
    EXPECT_EQ(Measure(*r, "Stress"), DeviationReference(hd, r->modifiedPositions, true));
}

// Co-ranking counts the high-dimensional rows it reads with its own working memory: at the
// smallest budget it accepts, on one processor or all, and up to the largest neighbour count a
// field holds, the heap never grows beyond the budget, and what stays after it (rows the point
// set keeps for the next time) is no more than may be kept.
TEST(DistortionBlocks, CorankStaysWithinItsBudget)
{
    const int n = 400;
    PcaEmbedding embedding(n);
    auto& r = embedding.result;
    ASSERT_NE(r, nullptr);
    for (int processors : {1, 0}) {
        for (int K : {10, std::numeric_limits<int>::max()}) {
            ProcessorScope scope(processors);
            r->corankK = K;
            bool accepted = false;
            for (double budget = 32 * 1024; !accepted && budget < 64 << 20; budget *= 1.04) {
                BudgetScope limit(static_cast<size_t>(budget));
                std::vector<float>* values = nullptr;
                float total = 0;
                long long peak = 0, stays = 0;
                TestSupport::CaptureStdout([&] {
                    HeapWatch watch;
                    values = r->GetPerPointDistortion(total, "Corank");
                    peak = watch.Peak();
                    stays = watch.Now();
                });
                accepted = values != nullptr;
                if (!accepted) continue;
                const std::string label = "K " + std::to_string(K) + " on processors " + std::to_string(processors);
                ASSERT_EQ(values->size(), size_t(n)) << label;
                EXPECT_GT(peak, 0) << label;  // the watch sees the measure's rows
                EXPECT_LE(peak, budget) << label;
                EXPECT_LE(stays, static_cast<long long>(MemoryBudget::KeepBytes() + n * sizeof(float))) << label;
            }
            EXPECT_TRUE(accepted) << K;
        }
    }
}

// A large generated set under every measure with a budget far below its n x n matrices: each
// measure gives finite values, and the process never grows by anything near one such matrix
// (1.5 GB; the bound leaves room for the sanitizers' quarantine).
TEST(DistortionBlocks, LargeSetIsMeasuredWithinTheBudget)
{
    const int n = 20000, d = 4;
    auto set = TestSupport::MakePackedPointSet(TestSupport::Blobs(n, d, 6, 3.0f, 4), d);
    Zelvo::distanceFunctor functor;
    functor.mask = set->m_dimMask;
    Zelvo::PCATapkee pca(functor);
    std::unique_ptr<EmbeddingResult> r = Embed(pca, *set);
    ASSERT_NE(r, nullptr);
    const size_t budgetBytes = size_t(256) << 20;
    BudgetScope budget(budgetBytes);
    const long before = PeakResidentKilobytes();
    for (const char* name : {"Stress", "Robust", "KDE", "Corank"}) {
        std::string out;
        const Values v = Measure(*r, name, 3, 10, &out);
        ASSERT_EQ(v.values.size(), size_t(n)) << name << ": " << out;
        EXPECT_TRUE(std::all_of(v.values.begin(), v.values.end(), [](float x) { return std::isfinite(x); })) << name;
    }
    EXPECT_LT(PeakResidentKilobytes() - before, 768L * 1024);
}
