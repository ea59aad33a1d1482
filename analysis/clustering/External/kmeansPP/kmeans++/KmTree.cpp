#include "KmTree.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const char* const kSource = "External/kmeansPP/kmeans++/KmTree";

// Four lanes per register, two registers per block; plain adds and multiplies, so each lane
// rounds exactly as scalar code does.
typedef float Lanes4 __attribute__((vector_size(4 * sizeof(float))));

inline Lanes4 LoadLanes(const float* p)
{
    Lanes4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreLanes(float* p, Lanes4 v)
{
    std::memcpy(p, &v, sizeof v);
}

// Counts the rows below split in dimension splitDim and widens the lower box (boxes) or the
// upper box (boxes + 2 d) by each row; min and max are exact, so any lane width gives the same.
#define KM_BOUND_SIDES_BODY                                                            \
    const std::size_t dd = static_cast<std::size_t>(d);                                \
    int below = 0;                                                                     \
    for (int i = 0; i < count; ++i) {                                                  \
        const float* p = rows + static_cast<std::size_t>(i) * dd;                      \
        const int upperRow = p[splitDim] < split ? 0 : 1;                              \
        below += 1 - upperRow;                                                         \
        float* lo = boxes + static_cast<std::size_t>(upperRow) * 2 * dd;               \
        float* hi = lo + dd;                                                           \
        for (int j = 0; j < d; ++j) {                                                  \
            lo[j] = std::min(lo[j], p[j]);                                             \
            hi[j] = std::max(hi[j], p[j]);                                             \
        }                                                                              \
    }                                                                                  \
    return below;

int BoundSidesPlain(const float* rows, int count, int d, int splitDim, float split, float* boxes)
{
    KM_BOUND_SIDES_BODY
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("avx2"))) int BoundSidesAvx2(const float* rows, int count, int d, int splitDim, float split,
                                                   float* boxes)
{
    KM_BOUND_SIDES_BODY
}
#endif
#undef KM_BOUND_SIDES_BODY

int BoundSides(const float* rows, int count, int d, int splitDim, float split, float* boxes)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool haveAvx2 = __builtin_cpu_supports("avx2");
    if (haveAvx2) return BoundSidesAvx2(rows, count, d, splitDim, split, boxes);
#endif
    return BoundSidesPlain(rows, count, d, splitDim, split, boxes);
}

}  // namespace

KmTree::KmTree(int n, int d, const float* points)
    : m_n(n), m_d(d), m_points(points)
{
    if (n < 1) {
        Zelvo::Log::Printf("Error: k-means++ needs at least one point (n = %d)\n", n);
        return;
    }
    if (d < 1) {
        Zelvo::Log::Printf("Error: k-means++ needs at least one dimension (d = %d)\n", d);
        return;
    }
    if (!points) {
        Zelvo::Log::Puts("Error: k-means++ was given no point data");
        return;
    }
    const std::size_t dd = static_cast<std::size_t>(d);
    const std::size_t valueCount = static_cast<std::size_t>(n) * dd;
    for (std::size_t i = 0; i < valueCount; ++i) {
        if (!std::isfinite(points[i])) {
            Zelvo::Log::Printf("Error: k-means++ input holds a non-finite value (point %zu, dimension %zu)\n",
                               i / dd, i % dd);
            return;
        }
    }

    const std::size_t nodeCount = 2 * static_cast<std::size_t>(n) - 1;
    m_nodes = KmNewArray<Node>(nodeCount);
    m_positions = KmNewArray<int>(static_cast<std::size_t>(n));
    m_sortedPoints = KmNewArray<float>(valueCount);
    if (!m_nodes || !m_positions || !m_sortedPoints) {
        __KMeansAssertionFailure(kSource, 20, "node_data_ != 0 && point_indices_ != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    m_zeros = KmNewArray<float>(dd);
    m_meanScratch = KmNewArray<float>(dd);
    m_swapLeft = KmNewArray<int>(static_cast<std::size_t>(n) / 2 + 1);
    m_swapRight = KmNewArray<int>(static_cast<std::size_t>(n) / 2 + 1);
    m_buildScratch = KmNewArray<float>((3 + static_cast<std::size_t>(kSmallNode)) * dd);
    if (!m_zeros || !m_meanScratch || !m_swapLeft || !m_swapRight || !m_buildScratch || !GrowBoxLevels(64)) {
        __KMeansAssertionFailure(kSource, 25, "bound_v1 != 0 && bound_v2 != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    std::fill(m_zeros.get(), m_zeros.get() + d, 0.0f);
    for (int i = 0; i < n; ++i) m_positions[i] = i;
    // The build reorders this copy together with the positions, so every node's points are
    // contiguous both while it is built and afterwards.
    std::memcpy(m_sortedPoints.get(), points, sizeof(float) * valueCount);
    BoundRun(0, n - 1, m_boxes.get(), m_boxes.get() + dd);

    Node* root = BuildNodes(0, n - 1, 0, false);
    if (m_buildFailed) {
        __KMeansAssertionFailure(kSource, 20, "node_data_ != 0 && point_indices_ != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    m_root = root;
}

float* KmTree::NewNodeVectors()
{
    const int blockNodes = 1024;
    const std::size_t vectorSize = 3 * static_cast<std::size_t>(m_d);
    if (m_vectorBlocks.empty() || m_blockUsed == blockNodes) {
        auto block = KmNewArray<float>(blockNodes * vectorSize);
        if (!block) return nullptr;
        m_vectorBlocks.push_back(std::move(block));
        m_blockUsed = 0;
    }
    return m_vectorBlocks.back().get() + static_cast<std::size_t>(m_blockUsed++) * vectorSize;
}

KmTree::~KmTree() = default;

bool KmTree::GrowBoxLevels(int levels)
{
    const std::size_t levelSize = 4 * static_cast<std::size_t>(m_d);
    auto boxes = KmNewArray<float>(static_cast<std::size_t>(levels) * levelSize);
    if (!boxes) return false;
    if (m_boxes) std::memcpy(boxes.get(), m_boxes.get(), sizeof(float) * m_boxLevels * levelSize);
    m_boxes = std::move(boxes);
    m_boxLevels = levels;
    return true;
}

void KmTree::BoundRun(int first, int last, float* bmin, float* bmax) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* rows = m_sortedPoints.get();
    const float* p0 = rows + static_cast<std::size_t>(first) * dd;
    std::memcpy(bmin, p0, sizeof(float) * dd);
    std::memcpy(bmax, p0, sizeof(float) * dd);
    for (int pos = first + 1; pos <= last; ++pos) {
        const float* p = rows + static_cast<std::size_t>(pos) * dd;
        for (int j = 0; j < m_d; ++j) {
            bmin[j] = std::min(bmin[j], p[j]);
            bmax[j] = std::max(bmax[j], p[j]);
        }
    }
}

KmTree::Node* KmTree::BuildNodes(int first, int last, int depth, bool upperSide)
{
    m_depth = std::max(m_depth, depth);
    const std::size_t dd = static_cast<std::size_t>(m_d);
    Node* node = &m_nodes[m_nextNode++];
    node->pointCount = last - first + 1;
    node->firstPosition = first;
    node->upper = nullptr;
    node->vectors = nullptr;
    node->optCost = 0;
    node->seedCluster = -1;
    node->seedCost = 0;
    node->seedCostCluster = -1;
    // A single point is a leaf whatever its box.
    if (first == last) return node;

    // The parent bounded this run while partitioning it; the children's boxes go one level down.
    if (depth + 1 >= m_boxLevels && !GrowBoxLevels(2 * m_boxLevels)) {
        m_buildFailed = true;
        return node;
    }
    const float* bmin = m_boxes.get() + (4 * static_cast<std::size_t>(depth) + (upperSide ? 2 : 0)) * dd;
    const float* bmax = bmin + dd;
    float* lowerMin = m_boxes.get() + 4 * static_cast<std::size_t>(depth + 1) * dd;
    float* lowerMax = lowerMin + dd;
    float* upperMin = lowerMax + dd;
    float* upperMax = upperMin + dd;
    float* rows = m_sortedPoints.get();

    int splitDim = -1;
    float maxRadius = -1;
    for (int j = 0; j < m_d; ++j) {
        const float r = (bmax[j] - bmin[j]) * 0.5f;
        if (r > maxRadius) {
            maxRadius = r;
            splitDim = j;
        }
    }

    if (maxRadius == 0) {
        // All points equal: a leaf; its rows no longer move.
        return node;
    }

    float* sum = nullptr;
    if (node->pointCount > kSmallNode) {
        float* vectors = NewNodeVectors();
        if (!vectors) {
            m_buildFailed = true;
            return node;
        }
        float* median = vectors;
        float* radius = vectors + dd;
        sum = vectors + 2 * dd;
        for (int j = 0; j < m_d; ++j) {
            median[j] = (bmin[j] + bmax[j]) * 0.5f;
            radius[j] = (bmax[j] - bmin[j]) * 0.5f;
        }
        node->vectors = vectors;
    }

    // Partition the run around the box's midpoint in the split dimension. The side of every
    // row is known from its value alone: one pass counts the lower side and bounds both sides,
    // then the misplaced rows swap in pairs, the k-th from the left with the k-th from the
    // right, without a branch on the data.
    const float split = (bmin[splitDim] + bmax[splitDim]) * 0.5f;
    const float inf = std::numeric_limits<float>::infinity();
    std::fill(lowerMin, lowerMin + dd, inf);
    std::fill(lowerMax, lowerMax + dd, -inf);
    std::fill(upperMin, upperMin + dd, inf);
    std::fill(upperMax, upperMax + dd, -inf);
    // The upper box follows the lower one: a row's side picks its box without a branch.
    int size1 = BoundSides(rows + static_cast<std::size_t>(first) * dd, last - first + 1, m_d, splitDim, split,
                                 lowerMin);
    if (size1 > 0 && size1 <= last - first) {
        int* fromLeft = m_swapLeft.get();
        int* fromRight = m_swapRight.get();
        const int boundary = first + size1;
        int leftCount = 0;
        for (int pos = first; pos < boundary; ++pos) {
            fromLeft[leftCount] = pos;
            leftCount += rows[static_cast<std::size_t>(pos) * dd + splitDim] < split ? 0 : 1;
        }
        int rightCount = 0;
        for (int pos = last; pos >= boundary; --pos) {
            fromRight[rightCount] = pos;
            rightCount += rows[static_cast<std::size_t>(pos) * dd + splitDim] < split ? 1 : 0;
        }
        for (int i = 0; i < leftCount; ++i) {
            const int i1 = fromLeft[i];
            const int i2 = fromRight[i];
            std::swap(m_positions[i1], m_positions[i2]);
            std::swap_ranges(rows + static_cast<std::size_t>(i1) * dd, rows + static_cast<std::size_t>(i1 + 1) * dd,
                             rows + static_cast<std::size_t>(i2) * dd);
        }
    }
    // Values a float step apart have a midpoint equal to the smaller one, so nothing lands
    // below it; such runs are split at their middle position instead.
    if (size1 < 1 || size1 > last - first) {
        const int middle = first + (last - first + 1) / 2;
        const float* pts = m_points;
        std::nth_element(m_positions.get() + first, m_positions.get() + middle, m_positions.get() + last + 1,
                         [pts, dd, splitDim](int a, int b) {
                             return pts[static_cast<std::size_t>(a) * dd + splitDim] <
                                    pts[static_cast<std::size_t>(b) * dd + splitDim];
                         });
        size1 = middle - first;
        for (int pos = first; pos <= last; ++pos) {
            std::memcpy(rows + static_cast<std::size_t>(pos) * dd,
                        m_points + static_cast<std::size_t>(m_positions[pos]) * dd, sizeof(float) * dd);
        }
        BoundRun(first, middle - 1, lowerMin, lowerMax);
        BoundRun(middle, last, upperMin, upperMax);
    }

    const Node* lower = BuildNodes(first, first + size1 - 1, depth + 1, false);
    node->upper = BuildNodes(first + size1, last, depth + 1, true);
    if (m_buildFailed) return node;

    const Node* upper = node->upper;
    float* scratch = m_buildScratch.get();
    const float* lowerSum = NodeSum(lower, scratch + dd, scratch + 3 * dd);
    const float* upperSum = NodeSum(upper, scratch + 2 * dd, scratch + 3 * dd);
    if (!sum) sum = scratch;
    for (int j = 0; j < m_d; ++j) sum[j] = lowerSum[j] + upperSum[j];

    // The children's build scratch is free again: reuse the lower bound as the mean.
    float* mean = m_meanScratch.get();
    const float scale = 1.0f / static_cast<float>(node->pointCount);
    for (int j = 0; j < m_d; ++j) mean[j] = sum[j] * scale;
    node->optCost = NodeCostWithSum(lower, lowerSum, mean) + NodeCostWithSum(upper, upperSum, mean);
    return node;
}

void KmTree::NodeBox(const Node* node, float* buffer, const float** median, const float** radius) const
{
    if (node->vectors) {
        *median = node->vectors;
        *radius = node->vectors + m_d;
        return;
    }
    if (!node->upper) {
        *median = PointAt(node->firstPosition);
        *radius = m_zeros.get();
        return;
    }
    // Bounds gathered in position order as the build gathers them (same comparisons as
    // std::min and std::max), then turned into centre and half side lengths.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    float* centre = buffer;
    float* half = buffer + dd;
    const float* rows = PointAt(node->firstPosition);
    const int count = node->pointCount;
    const Lanes4 halves = {0.5f, 0.5f, 0.5f, 0.5f};
    int j = 0;
    for (; j + 4 <= m_d; j += 4) {
        Lanes4 lo = LoadLanes(rows + j);
        Lanes4 hi = lo;
        for (int i = 1; i < count; ++i) {
            const Lanes4 v = LoadLanes(rows + i * dd + j);
            lo = v < lo ? v : lo;
            hi = hi < v ? v : hi;
        }
        StoreLanes(centre + j, (lo + hi) * halves);
        StoreLanes(half + j, (hi - lo) * halves);
    }
    for (; j < m_d; ++j) {
        float lo = rows[j];
        float hi = rows[j];
        for (int i = 1; i < count; ++i) {
            lo = std::min(lo, rows[i * dd + j]);
            hi = std::max(hi, rows[i * dd + j]);
        }
        centre[j] = (lo + hi) * 0.5f;
        half[j] = (hi - lo) * 0.5f;
    }
    *median = centre;
    *radius = half;
}

const float* KmTree::NodeSum(const Node* node, float* out, float* scratch) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    if (node->vectors) return node->vectors + 2 * dd;
    if (!node->upper) {
        const float* p = PointAt(node->firstPosition);
        const float count = static_cast<float>(node->pointCount);
        for (int j = 0; j < m_d; ++j) out[j] = p[j] * count;
        return out;
    }
    const float* lowerSum = NodeSum(Lower(node), out, scratch + dd);
    const float* upperSum = NodeSum(node->upper, scratch, scratch + dd);
    for (int j = 0; j < m_d; ++j) out[j] = lowerSum[j] + upperSum[j];
    return out;
}

bool KmTree::NodeVectors(const Node* node, float* median, float* radius, float* sum) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    auto scratch = KmNewArray<float>(VisitScratchSize());
    if (!scratch) {
        Zelvo::Log::Puts("Error: k-means++ tree is out of memory");
        return false;
    }
    const float* m = nullptr;
    const float* r = nullptr;
    NodeBox(node, scratch.get(), &m, &r);
    std::copy(m, m + dd, median);
    std::copy(r, r + dd, radius);
    const float* s = NodeSum(node, scratch.get(), scratch.get() + dd);
    std::copy(s, s + dd, sum);
    return true;
}

float KmTree::NodeCostWithSum(const Node* node, const float* sum, const float* centre) const
{
    const float count = static_cast<float>(node->pointCount);
    // The divisions run four lanes at a time; the squares still add up in dimension order.
    const Lanes4 counts = {count, count, count, count};
    float dist = 0;
    int j = 0;
    for (; j + 4 <= m_d; j += 4) {
        const Lanes4 diff = LoadLanes(sum + j) / counts - LoadLanes(centre + j);
        const Lanes4 square = diff * diff;
        dist += square[0];
        dist += square[1];
        dist += square[2];
        dist += square[3];
    }
    for (; j < m_d; ++j) {
        const float diff = sum[j] / count - centre[j];
        dist += diff * diff;
    }
    return node->optCost + count * dist;
}

float KmTree::NodeCostAt(const Node* node, const float* centre, float* scratch) const
{
    return NodeCostWithSum(node, NodeSum(node, scratch, scratch + m_d), centre);
}

bool KmTree::ShouldBePruned(const float* median, const float* radius, const float* centres, int best,
                            int test) const
{
    if (best == test) return false;
    const float* b = centres + static_cast<std::size_t>(best) * m_d;
    const float* t = centres + static_cast<std::size_t>(test) * m_d;
    float a = 0;
    float bTerm = 0;
    for (int j = 0; j < m_d; ++j) {
        const float v = t[j] - b[j];
        a += v * v;
        const float corner = v > 0 ? median[j] + radius[j] : median[j] - radius[j];
        bTerm += v * (corner - b[j]);
    }
    return a >= 2 * bTerm;
}

float KmTree::DoKMeansStep(int k, float* centres, int* labels) const
{
    if (!m_root || k < 1 || !centres) {
        Zelvo::Log::Puts("Error: k-means step needs a built tree and at least one centre");
        return -1;
    }
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const std::size_t kk = static_cast<std::size_t>(k);
    auto sums = KmNewArray<float>(kk * dd);
    auto counts = KmNewArray<int>(kk);
    auto candidates = KmNewArray<int>(kk * (static_cast<std::size_t>(m_depth) + 2));
    auto gaps = KmNewArray<float>(kk * kk);
    auto distances = KmNewArray<float>(kk);
    const int laneCount = (k + kLaneBlock - 1) / kLaneBlock * kLaneBlock;
    const std::size_t ll = static_cast<std::size_t>(laneCount);
    auto lanes = KmNewArray<float>(ll * dd);
    auto laneSums = KmNewArray<float>(ll);
    auto scratch = KmNewArray<float>(VisitScratchSize());
    if (!sums || !counts || !candidates || !gaps || !distances || !lanes || !laneSums || !scratch) {
        __KMeansAssertionFailure(kSource, 59, "sums != 0 && counts != 0 && candidates != 0");
        Zelvo::Log::Puts("Error: k-means step is out of memory");
        return -1;
    }
    std::fill(sums.get(), sums.get() + kk * dd, 0.0f);
    std::fill(counts.get(), counts.get() + kk, 0);

    int numCandidates = 0;
    for (int i = 0; i < k; ++i) {
        if (!KmIsCentreInvalid(centres + i * dd, m_d)) candidates[numCandidates++] = i;
    }
    if (numCandidates == 0) {
        Zelvo::Log::Puts("Error: k-means step has no valid centre");
        return -1;
    }
    // The pruning test's squared centre gap depends on the centres only: once per step.
    for (int a = 0; a < numCandidates; ++a) {
        const int ca = candidates[a];
        gaps[ca * kk + ca] = 0;
        for (int b = a + 1; b < numCandidates; ++b) {
            const int cb = candidates[b];
            const float gap = KmPointDistSq(centres + cb * dd, centres + ca * dd, m_d);
            gaps[ca * kk + cb] = gap;
            gaps[cb * kk + ca] = gap;
        }
    }

    // Invalid centres keep their NaN lanes; no candidate list names them.
    std::fill(lanes.get(), lanes.get() + ll * dd, 0.0f);
    for (int i = 0; i < k; ++i) {
        for (std::size_t j = 0; j < dd; ++j) lanes[j * ll + i] = centres[i * dd + j];
    }

    const StepContext step{k,           centres,     gaps.get(), sums.get(),     counts.get(), labels,
                           distances.get(), lanes.get(), laneCount, laneSums.get()};
    const float cost = DoKMeansStepAtNode(m_root, numCandidates, candidates.get(), step, scratch.get());

    for (int i = 0; i < k; ++i) {
        float* centre = centres + i * dd;
        if (counts[i] > 0) {
            const float scale = 1.0f / static_cast<float>(counts[i]);
            const float* s = sums.get() + i * dd;
            for (int j = 0; j < m_d; ++j) centre[j] = s[j] * scale;
        } else {
            KmMarkCentreInvalid(centre, m_d);
        }
    }
    return cost;
}

void KmTree::DistancesToCentres(const float* p, const int* candidates, int count, const float* centres,
                                float* out) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const float* c[8];
        for (int r = 0; r < 8; ++r) c[r] = centres + candidates[i + r] * dd;
        float s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int j = 0; j < m_d; ++j) {
            const float x = p[j];
            for (int r = 0; r < 8; ++r) {
                const float e = x - c[r][j];
                s[r] += e * e;
            }
        }
        for (int r = 0; r < 8; ++r) out[i + r] = s[r];
    }
    for (; i < count; ++i) out[i] = KmPointDistSq(p, centres + candidates[i] * dd, m_d);
}

void KmTree::LaneDistances(const float* p, const StepContext& step) const
{
    const std::size_t ll = static_cast<std::size_t>(step.laneCount);
    for (std::size_t block = 0; block < ll; block += kLaneBlock) {
        Lanes4 s0 = {0, 0, 0, 0};
        Lanes4 s1 = {0, 0, 0, 0};
        const float* row = step.lanes + block;
        for (int j = 0; j < m_d; ++j, row += ll) {
            const float x = p[j];
            const Lanes4 e0 = x - LoadLanes(row);
            const Lanes4 e1 = x - LoadLanes(row + 4);
            s0 += e0 * e0;
            s1 += e1 * e1;
        }
        std::memcpy(step.laneSums + block, &s0, sizeof s0);
        std::memcpy(step.laneSums + block + 4, &s1, sizeof s1);
    }
}

void KmTree::LanePruneTerms(const float* median, const float* radius, const float* best,
                            const StepContext& step) const
{
    const std::size_t ll = static_cast<std::size_t>(step.laneCount);
    const Lanes4 zero = {0, 0, 0, 0};
    for (std::size_t block = 0; block < ll; block += kLaneBlock) {
        Lanes4 s0 = zero;
        Lanes4 s1 = zero;
        const float* row = step.lanes + block;
        for (int j = 0; j < m_d; ++j, row += ll) {
            const float bj = best[j];
            const float high = median[j] + radius[j] - bj;
            const float low = median[j] - radius[j] - bj;
            const Lanes4 highs = {high, high, high, high};
            const Lanes4 lows = {low, low, low, low};
            const Lanes4 v0 = LoadLanes(row) - bj;
            const Lanes4 v1 = LoadLanes(row + 4) - bj;
            s0 += v0 * (v0 > zero ? highs : lows);
            s1 += v1 * (v1 > zero ? highs : lows);
        }
        std::memcpy(step.laneSums + block, &s0, sizeof s0);
        std::memcpy(step.laneSums + block + 4, &s1, sizeof s1);
    }
}

float KmTree::DoKMeansStepAtNode(const Node* node, int numCandidates, int* candidates, const StepContext& step,
                                 float* scratch) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* centres = step.centres;
    const float* median = nullptr;
    const float* radius = nullptr;
    if (numCandidates > 1) {
        NodeBox(node, scratch, &median, &radius);
        if (median == scratch) scratch += 2 * dd;
    }

    // The candidate nearest the box centre; the first of equals wins. With most centres still
    // in the running, all of them are measured at once.
    const bool useLanes = numCandidates * 3 >= step.laneCount;
    int closest = candidates[0];
    if (numCandidates > 1) {
        if (useLanes) {
            LaneDistances(median, step);
            const float* dist = step.laneSums;
            float closestDist = dist[closest];
            for (int i = 1; i < numCandidates; ++i) {
                if (dist[candidates[i]] < closestDist) {
                    closestDist = dist[candidates[i]];
                    closest = candidates[i];
                }
            }
        } else {
            float* dist = step.distances;
            DistancesToCentres(median, candidates, numCandidates, centres, dist);
            float closestDist = dist[0];
            for (int i = 1; i < numCandidates; ++i) {
                if (dist[i] < closestDist) {
                    closestDist = dist[i];
                    closest = candidates[i];
                }
            }
        }
    }

    if (node->upper && numCandidates > 1) {
        // Keep the candidates that may own some point of the box (see ShouldBePruned),
        // stacked after the current list. Several rivals are tested at once.
        int* kept = candidates + numCandidates;
        int numKept = 0;
        const float* b = centres + closest * dd;
        const float* gaps = step.centreGaps + closest * static_cast<std::size_t>(step.k);
        if (useLanes) {
            LanePruneTerms(median, radius, b, step);
            for (int i = 0; i < numCandidates; ++i) {
                const int c = candidates[i];
                if (c == closest || !(gaps[c] >= 2 * step.laneSums[c])) kept[numKept++] = c;
            }
        } else {
            int rivals[4];
            int numRivals = 0;
            auto testRivals = [&]() {
                float s[4] = {0, 0, 0, 0};
                const float* t[4];
                for (int r = 0; r < numRivals; ++r) t[r] = centres + rivals[r] * dd;
                if (numRivals == 4) {
                    for (int j = 0; j < m_d; ++j) {
                        const float bj = b[j];
                        const float high = median[j] + radius[j] - bj;
                        const float low = median[j] - radius[j] - bj;
                        const float v0 = t[0][j] - bj;
                        const float v1 = t[1][j] - bj;
                        const float v2 = t[2][j] - bj;
                        const float v3 = t[3][j] - bj;
                        s[0] += v0 * (v0 > 0 ? high : low);
                        s[1] += v1 * (v1 > 0 ? high : low);
                        s[2] += v2 * (v2 > 0 ? high : low);
                        s[3] += v3 * (v3 > 0 ? high : low);
                    }
                } else {
                    for (int r = 0; r < numRivals; ++r) {
                        for (int j = 0; j < m_d; ++j) {
                            const float bj = b[j];
                            const float v = t[r][j] - bj;
                            s[r] += v * ((v > 0 ? median[j] + radius[j] : median[j] - radius[j]) - bj);
                        }
                    }
                }
                for (int r = 0; r < numRivals; ++r) {
                    if (!(gaps[rivals[r]] >= 2 * s[r])) kept[numKept++] = rivals[r];
                }
                numRivals = 0;
            };
            for (int i = 0; i < numCandidates; ++i) {
                const int c = candidates[i];
                if (c == closest) {
                    // Keep list order: settle the rivals before the closest one first.
                    testRivals();
                    kept[numKept++] = c;
                    continue;
                }
                rivals[numRivals++] = c;
                if (numRivals == 4) testRivals();
            }
            testRivals();
        }
        if (numKept > 1) {
            const float lowerCost = DoKMeansStepAtNode(Lower(node), numKept, kept, step, scratch);
            const float upperCost = DoKMeansStepAtNode(node->upper, numKept, kept, step, scratch);
            return lowerCost + upperCost;
        }
    }

    // The whole box goes to one centre.
    float* s = step.sums + closest * dd;
    const float* sum = NodeSum(node, scratch, scratch + dd);
    for (int j = 0; j < m_d; ++j) s[j] += sum[j];
    step.counts[closest] += node->pointCount;
    if (step.labels) {
        const int end = node->firstPosition + node->pointCount;
        for (int pos = node->firstPosition; pos < end; ++pos) step.labels[m_positions[pos]] = closest;
    }
    return NodeCostWithSum(node, sum, centres + closest * dd);
}

bool KmTree::SeedKMeansPlusPlus(int k, float* centres, const KmRandom& random)
{
    if (!m_root || k < 1 || !centres) {
        Zelvo::Log::Puts("Error: k-means++ seeding needs a built tree and at least one centre");
        return false;
    }
    const std::size_t dd = static_cast<std::size_t>(m_d);
    auto distSq = KmNewArray<float>(static_cast<std::size_t>(m_n));
    if (!distSq) {
        __KMeansAssertionFailure(kSource, 294, "dist_sq != 0");
        Zelvo::Log::Puts("Error: k-means++ seeding is out of memory");
        return false;
    }

    SeedKmppSetClusterIndex(m_root, 0);

    // First centre uniformly at random. The draws combine with 32-bit wrap-around; the
    // unsigned sum reinterpreted as signed gives the same value without overflow.
    const std::uint32_t high = static_cast<std::uint32_t>(KmDraw(random));
    const std::uint32_t low = static_cast<std::uint32_t>(KmDraw(random));
    const std::uint32_t mixed = high * 2147483647u + low;
    const std::int64_t signedMixed =
        mixed >= 0x80000000u ? static_cast<std::int64_t>(mixed) - 0x100000000LL : static_cast<std::int64_t>(mixed);
    const int firstPos = static_cast<int>(((signedMixed % m_n) + m_n) % m_n);
    std::memcpy(centres, PointAt(firstPos), sizeof(float) * dd);

    float total = 0;
    for (int pos = 0; pos < m_n; ++pos) {
        distSq[pos] = KmPointDistSq(PointAt(pos), centres, m_d);
        total += distSq[pos];
    }

    for (int c = 1; c < k; ++c) {
        const int pos = SeedDrawPosition(distSq.get(), m_n, total, random);
        std::memcpy(centres + c * dd, PointAt(pos), sizeof(float) * dd);
        total = SeedKmppUpdateAssignment(m_root, c, centres, distSq.get());
    }
    return true;
}

int KmTree::SeedDrawPosition(const float* distSq, int n, float total, const KmRandom& random)
{
    // The total comes from the tree's node costs and may round above the plain sum of the
    // weights; a walk that falls short is drawn again, a bounded number of times.
    const int maxDraws = 64;
    for (int draw = 0; draw < maxDraws; ++draw) {
        const float cutoff = (static_cast<float>(KmDraw(random)) * (1.0f / 2147483648.0f)) * total;
        float running = 0;
        for (int pos = 0; pos < n; ++pos) {
            running += distSq[pos];
            if (running >= cutoff) return pos;
        }
    }
    // No weight left to reach (or none at all): the last position that still carries weight.
    for (int pos = n - 1; pos >= 0; --pos) {
        if (distSq[pos] > 0) return pos;
    }
    return 0;
}

void KmTree::SeedKmppSetClusterIndex(Node* node, int index) const
{
    node->seedCluster = index;
    node->seedCostCluster = -1;
    if (node->upper) {
        SeedKmppSetClusterIndex(Lower(node), index);
        SeedKmppSetClusterIndex(node->upper, index);
    }
}

float KmTree::SeedKmppUpdateAssignment(Node* node, int c, const float* centres, float* distSq) const
{
    // The squared gap between the new centre and each earlier one, shared by every node's
    // pruning tests.
    auto gaps = KmNewArray<float>(static_cast<std::size_t>(c) + 1);
    auto scratch = KmNewArray<float>(VisitScratchSize());
    if (!gaps || !scratch) {
        __KMeansAssertionFailure(kSource, 294, "dist_sq != 0");
        Zelvo::Log::Puts("Error: k-means++ seeding is out of memory");
        return -1;
    }
    const std::size_t dd = static_cast<std::size_t>(m_d);
    for (int o = 0; o <= c; ++o) gaps[o] = KmPointDistSq(centres + c * dd, centres + o * dd, m_d);
    return SeedUpdate(node, c, centres, gaps.get(), distSq, scratch.get());
}

float KmTree::SeedOwnerCost(Node* node, const float* centres, float* scratch) const
{
    // Seeds never move, so a node's cost against its owner holds until the owner changes.
    if (node->seedCostCluster != node->seedCluster) {
        node->seedCost = NodeCostAt(node, centres + static_cast<std::size_t>(node->seedCluster) * m_d, scratch);
        node->seedCostCluster = node->seedCluster;
    }
    return node->seedCost;
}

float KmTree::SeedUpdate(Node* node, int c, const float* centres, const float* gaps, float* distSq,
                        float* scratch) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const int owner = node->seedCluster;
    if (owner >= 0 && owner != c) {
        // Both pruning tests at once: v = c - o with its box corner towards c, and
        // w = o - c with its corner towards o (see ShouldBePruned).
        const float* o = centres + owner * dd;
        const float* t = centres + c * dd;
        const float* median = nullptr;
        const float* radius = nullptr;
        NodeBox(node, scratch, &median, &radius);
        if (median == scratch) scratch += 2 * dd;
        float towardsNew = 0;
        float towardsOwner = 0;
        const Lanes4 zero = {0, 0, 0, 0};
        int j = 0;
        for (; j + 4 <= m_d; j += 4) {
            const Lanes4 oj = LoadLanes(o + j);
            const Lanes4 tj = LoadLanes(t + j);
            const Lanes4 mj = LoadLanes(median + j);
            const Lanes4 rj = LoadLanes(radius + j);
            const Lanes4 v = tj - oj;
            const Lanes4 w = oj - tj;
            const Lanes4 high = mj + rj;
            const Lanes4 low = mj - rj;
            const Lanes4 termNew = v * ((v > zero ? high : low) - oj);
            const Lanes4 termOwner = w * ((w > zero ? high : low) - tj);
            for (int lane = 0; lane < 4; ++lane) {
                towardsNew += termNew[lane];
                towardsOwner += termOwner[lane];
            }
        }
        for (; j < m_d; ++j) {
            const float v = t[j] - o[j];
            const float w = o[j] - t[j];
            const float high = median[j] + radius[j];
            const float low = median[j] - radius[j];
            towardsNew += v * ((v > 0 ? high : low) - o[j]);
            towardsOwner += w * ((w > 0 ? high : low) - t[j]);
        }
        const float gap = gaps[owner];
        if (gap >= 2 * towardsNew) return SeedOwnerCost(node, centres, scratch);
        if (gap >= 2 * towardsOwner) {
            SeedKmppSetClusterIndex(node, c);
            const int end = node->firstPosition + node->pointCount;
            for (int pos = node->firstPosition; pos < end; ++pos) distSq[pos] = KmPointDistSq(PointAt(pos), t, m_d);
            return SeedOwnerCost(node, centres, scratch);
        }
        if (!node->upper) return SeedOwnerCost(node, centres, scratch);
    }
    if (!node->upper) return NodeCostAt(node, centres + (owner >= 0 ? owner : c) * dd, scratch);

    const float lowerCost = SeedUpdate(Lower(node), c, centres, gaps, distSq, scratch);
    const float upperCost = SeedUpdate(node->upper, c, centres, gaps, distSq, scratch);
    const int lowerOwner = Lower(node)->seedCluster;
    node->seedCluster = (lowerOwner != -1 && lowerOwner == node->upper->seedCluster) ? lowerOwner : -1;
    return lowerCost + upperCost;
}
