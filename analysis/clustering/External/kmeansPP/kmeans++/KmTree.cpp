#include "KmTree.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <mutex>

namespace {

const char* const kSource = "External/kmeansPP/kmeans++/KmTree";

// The hot loops are also built for AVX2 and chosen at load time where the processor has it.
// Wider registers change no result: the loops use plain adds and multiplies, never fused ones.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define KM_HOT __attribute__((target_clones("avx2", "default")))
#else
#define KM_HOT
#endif

// Four lanes per register, two registers per block; plain adds and multiplies, so each lane
// rounds exactly as scalar code does.
typedef float Lanes4 __attribute__((vector_size(4 * sizeof(float))));

// Eight lanes where the processor has them (two registers of four elsewhere).
typedef float Lanes8 __attribute__((vector_size(8 * sizeof(float))));
typedef std::int32_t Bits8 __attribute__((vector_size(8 * sizeof(std::int32_t))));

inline void LoadLanes8(Lanes8& v, const float* p)
{
    std::memcpy(&v, p, sizeof v);
}

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

// Squared distances from p to 4 R transposed centres (rows of stride ll), each summed in
// dimension order; R independent sums overlap.
template <int R>
void SquaredDistanceLanes(const float* p, int d, const float* row, std::size_t ll, float* out)
{
    Lanes4 s[R];
    for (int r = 0; r < R; ++r) s[r] = Lanes4{0, 0, 0, 0};
    for (int j = 0; j < d; ++j, row += ll) {
        const float x = p[j];
        for (int r = 0; r < R; ++r) {
            const Lanes4 e = x - LoadLanes(row + 4 * r);
            s[r] += e * e;
        }
    }
    for (int r = 0; r < R; ++r) StoreLanes(out + 4 * r, s[r]);
}

// The pruning test's box term (t - b).(corner - b) for 4 R transposed centres t, with the box
// corner farthest towards each; summed in dimension order.
template <int R>
void PruneTermLanes(const float* median, const float* radius, const float* best, int d, const float* row,
                    std::size_t ll, float* out)
{
    const Lanes4 zero = {0, 0, 0, 0};
    Lanes4 s[R];
    for (int r = 0; r < R; ++r) s[r] = zero;
    for (int j = 0; j < d; ++j, row += ll) {
        const float bj = best[j];
        const float high = median[j] + radius[j] - bj;
        const float low = median[j] - radius[j] - bj;
        const Lanes4 highs = {high, high, high, high};
        const Lanes4 lows = {low, low, low, low};
        for (int r = 0; r < R; ++r) {
            const Lanes4 v = LoadLanes(row + 4 * r) - bj;
            s[r] += v * (v > zero ? highs : lows);
        }
    }
    for (int r = 0; r < R; ++r) StoreLanes(out + 4 * r, s[r]);
}

// The two seeding box-test terms of a dimension, or of a lane of them: towards the new centre
// t from owner o, and towards o from t, each with the box corner on its side (see
// KmTree::SeedBoxTests). The same float operations for one value or for lanes.
template <typename T>
inline void SeedTermPair(T oj, T tj, T mj, T rj, T zero, T* termNew, T* termOwner)
{
    const T v = tj - oj;
    const T w = oj - tj;
    const T high = mj + rj;
    const T low = mj - rj;
    *termNew = v * ((v > zero ? high : low) - oj);
    *termOwner = w * ((w > zero ? high : low) - tj);
}

// Index of the lowest byte whose top bit is set in a word of flags, in memory order.
// The seeding cluster owning every point of two children, or -1 when they differ or are split.
int JoinedOwner(int lowerOwner, int upperOwner)
{
    return lowerOwner != -1 && lowerOwner == upperOwner ? lowerOwner : -1;
}

int LowestFlaggedByte(std::uint64_t flags)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_clzll(flags) / 8;
#else
    return __builtin_ctzll(flags) / 8;
#endif
}

// Largest of d non-negative values; max is exact, so lanes give the same value as a scan.
float WidestHalfSide(const float* values, int d)
{
    Lanes4 widest = {0, 0, 0, 0};
    int j = 0;
    for (; j + 4 <= d; j += 4) {
        const Lanes4 v = LoadLanes(values + j);
        widest = v > widest ? v : widest;
    }
    float result = std::max(std::max(widest[0], widest[1]), std::max(widest[2], widest[3]));
    for (; j < d; ++j) result = std::max(result, values[j]);
    return result;
}

}  // namespace

std::size_t KmTree::SliceCount(std::size_t count, std::size_t size)
{
    return (count + size - 1) / size;
}

template <typename Work>
void KmTree::ForSlices(std::size_t count, std::size_t size, const Work& work) const
{
    const auto slice = [&](int index, int) {
        const std::size_t begin = static_cast<std::size_t>(index) * size;
        work(static_cast<std::size_t>(index), begin, std::min(count, begin + size));
    };
    const int slices = static_cast<int>(SliceCount(count, size));
    if (m_workers) {
        m_workers->Run(slices, slice);
    } else {
        for (int index = 0; index < slices; ++index) slice(index, 0);
    }
}

KmTree::KmTree(int n, int d, const float* points, int workers)
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
    const std::size_t nn = static_cast<std::size_t>(n);
    const std::size_t valueCount = nn * dd;

    // Threads pay off only where there are several subtrees of some size to share out.
    if (workers <= 0) workers = KmWorkers::AvailableProcessors();
    workers = std::min(workers, kMaxWorkers);
    if (workers > 1 && n >= 2 * kMinJobPoints) {
        try {
            m_workers = std::make_unique<KmWorkers>(workers);
        } catch (const std::exception&) {
            m_workers.reset();  // one thread does it all
        }
        if (m_workers && m_workers->Count() < 2) m_workers.reset();
    }
    if (m_workers) m_jobPoints = std::max(kMinJobPoints, n / (kJobsPerWorker * m_workers->Count()));

    std::vector<std::size_t> firstBad;
    try {
        firstBad.resize(SliceCount(valueCount, kValueSlice));
    } catch (const std::bad_alloc&) {
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    ForSlices(valueCount, kValueSlice, [&](std::size_t slice, std::size_t begin, std::size_t end) {
        firstBad[slice] = begin + KmFirstNonFinite(points + begin, end - begin);
    });
    std::size_t bad = valueCount;
    for (std::size_t slice = 0; slice < firstBad.size() && bad == valueCount; ++slice) {
        const std::size_t end = std::min(valueCount, (slice + 1) * kValueSlice);
        if (firstBad[slice] < end) bad = firstBad[slice];
    }
    if (bad < valueCount) {
        Zelvo::Log::Printf("Error: k-means++ input holds a non-finite value (point %zu, dimension %zu)\n", bad / dd,
                           bad % dd);
        return;
    }
    // Records hold 3 d floats each. With few dimensions larger small subtrees make them rarer,
    // so that the tree stays within about twice the point data; with many, records are a
    // small share and smaller subtrees are quicker to visit.
    m_smallNode = d < 32 ? 14 : 8;

    m_positions = KmNewArray<int>(nn);
    m_sortedPoints = KmNewArray<float>(valueCount);
    m_splitCost = KmNewArray<float>(nn);
    m_smallDepth = KmNewArray<std::uint8_t>(nn + kDepthPadding);
    // Two more than one per point: until the build ends, the owners' storage holds the
    // partition's two swap lists of at most n / 2 + 1 entries each.
    m_owner = KmNewArray<int>(nn + 2);
    if (d >= kSeedCacheDimensions) {
        m_smallSeedCost = KmNewArray<float>(nn);
        m_smallSeedCluster = KmNewArray<int>(nn);
    }
    const bool cacheOk = d < kSeedCacheDimensions || (m_smallSeedCost && m_smallSeedCluster);
    if (!m_positions || !m_sortedPoints || !m_splitCost || !m_smallDepth || !m_owner || !cacheOk) {
        __KMeansAssertionFailure(kSource, 20, "node_data_ != 0 && point_indices_ != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    m_zeros = KmNewArray<float>(dd);
    m_below = KmNewArray<std::uint8_t>(nn);
    // Every record is an inner node, so there are fewer records than points.
    const std::size_t recordBlocks = (nn - 1) / kRecordBlock + 1;
    BuildScratch scratch;
    bool scratchOk = false;
    try {
        m_recordBlocks.resize(recordBlocks);
        m_vectorBlocks.resize(recordBlocks);
        scratchOk = NewBuildScratch(scratch, m_owner.get(), n / 2 + 1);
    } catch (const std::bad_alloc&) {
        scratchOk = false;
    }
    if (!m_zeros || !m_below || !scratchOk) {
        __KMeansAssertionFailure(kSource, 25, "bound_v1 != 0 && bound_v2 != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    std::fill(m_zeros.get(), m_zeros.get() + d, 0.0f);
    std::fill(m_smallDepth.get(), m_smallDepth.get() + nn + kDepthPadding, kNoSplit);
    if (m_smallSeedCluster) std::fill(m_smallSeedCluster.get(), m_smallSeedCluster.get() + n, -1);
    for (int i = 0; i < n; ++i) m_positions[i] = i;
    // The build reorders this copy together with the positions, so every node's points are
    // contiguous both while it is built and afterwards.
    ForSlices(valueCount, kValueSlice, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::memcpy(m_sortedPoints.get() + begin, points + begin, sizeof(float) * (end - begin));
    });
    bool built = false;
    if (m_workers && n > m_jobPoints) {
        try {
            BoundRunShared(0, n - 1, BuildLevel(scratch, 0), BuildLevel(scratch, 0) + dd);
            built = BuildInParallel(scratch);
        } catch (const std::bad_alloc&) {
            built = false;
        }
    } else {
        BoundRun(0, n - 1, BuildLevel(scratch, 0), BuildLevel(scratch, 0) + dd);
        float rootCost = 0;
        m_rootRecord = BuildNode(scratch, 0, n - 1, 0, n > m_smallNode ? -1 : 0, false, &rootCost);
        m_depth = scratch.depth;
        built = !scratch.failed;
    }
    // The build scratch goes, and the owners' storage becomes the owners.
    m_below.reset();
    scratch = BuildScratch();
    std::fill(m_owner.get(), m_owner.get() + n, 0);
    if (!built) {
        __KMeansAssertionFailure(kSource, 20, "node_data_ != 0 && point_indices_ != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its tree");
        return;
    }
    m_valid = true;
}

KmTree::~KmTree() = default;

int KmTree::NewRecord(int first, int count, float** vectors)
{
    // Records come in blocks that never move, so threads may build and read records while
    // others add more. Every record is an inner node, so the blocks suffice.
    std::unique_lock<std::mutex> lock(m_recordMutex, std::defer_lock);
    if (m_workers) lock.lock();
    const std::size_t index = m_recordCount;
    const std::size_t block = index / kRecordBlock;
    if (block >= m_recordBlocks.size()) return -1;
    if (!m_recordBlocks[block]) {
        m_recordBlocks[block] = KmNewArray<Record>(kRecordBlock);
        m_vectorBlocks[block] = KmNewArray<float>(kRecordBlock * 3 * static_cast<std::size_t>(m_d));
        if (!m_recordBlocks[block] || !m_vectorBlocks[block]) {
            m_recordBlocks[block].reset();
            m_vectorBlocks[block].reset();
            return -1;
        }
    }
    ++m_recordCount;
    m_recordBlocks[block][index % kRecordBlock] = Record{first, count, 0, -1, -1, 0, -1, 0.0f};
    *vectors = m_vectorBlocks[block].get() + (index % kRecordBlock) * 3 * static_cast<std::size_t>(m_d);
    return static_cast<int>(index);
}

const float* KmTree::RecordVectors(int record) const
{
    const std::size_t r = static_cast<std::size_t>(record);
    return m_vectorBlocks[r / kRecordBlock].get() + (r % kRecordBlock) * 3 * static_cast<std::size_t>(m_d);
}

bool KmTree::NewBuildScratch(BuildScratch& scratch, int* swaps, int swapHalf) const
{
    scratch.mean = KmNewArray<float>(static_cast<std::size_t>(m_d));
    if (!swaps) {
        scratch.ownSwaps = KmNewArray<int>(2 * static_cast<std::size_t>(swapHalf));
        swaps = scratch.ownSwaps.get();
    }
    scratch.swaps = swaps;
    scratch.swapHalf = swapHalf;
    return scratch.mean && swaps && GrowBoxLevels(scratch, 64);
}

bool KmTree::GrowBoxLevels(BuildScratch& scratch, int levels) const
{
    const std::size_t levelSize = kLevelVectors * static_cast<std::size_t>(m_d);
    auto boxes = KmNewArray<float>(static_cast<std::size_t>(levels) * levelSize);
    if (!boxes) return false;
    if (scratch.boxes) std::memcpy(boxes.get(), scratch.boxes.get(), sizeof(float) * scratch.levels * levelSize);
    scratch.boxes = std::move(boxes);
    scratch.levels = levels;
    return true;
}

float* KmTree::BuildLevel(const BuildScratch& scratch, int depth) const
{
    return scratch.boxes.get() + kLevelVectors * static_cast<std::size_t>(depth) * m_d;
}

KM_HOT void KmTree::BoundRun(int first, int last, float* bmin, float* bmax) const
{
    // Bounds kept in registers across the rows, a block of dimensions at a time. A last block
    // that does not fill up overlaps the one before it; min and max do not mind seeing a value
    // twice. The first of equal values stays, as in a scan of the rows.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* rows = PointAt(first);
    const int count = last - first + 1;
    if (m_d < 4) {
        for (int j = 0; j < m_d; ++j) {
            float lo = rows[j];
            float hi = lo;
            for (int i = 1; i < count; ++i) {
                const float v = rows[i * dd + j];
                lo = v < lo ? v : lo;
                hi = hi < v ? v : hi;
            }
            bmin[j] = lo;
            bmax[j] = hi;
        }
        return;
    }
    int j = 0;
    for (; j + 8 <= m_d; j += 8) {
        Lanes4 lo0 = LoadLanes(rows + j);
        Lanes4 lo1 = LoadLanes(rows + j + 4);
        Lanes4 hi0 = lo0;
        Lanes4 hi1 = lo1;
        for (int i = 1; i < count; ++i) {
            const float* p = rows + i * dd + j;
            const Lanes4 v0 = LoadLanes(p);
            const Lanes4 v1 = LoadLanes(p + 4);
            lo0 = v0 < lo0 ? v0 : lo0;
            lo1 = v1 < lo1 ? v1 : lo1;
            hi0 = hi0 < v0 ? v0 : hi0;
            hi1 = hi1 < v1 ? v1 : hi1;
        }
        StoreLanes(bmin + j, lo0);
        StoreLanes(bmin + j + 4, lo1);
        StoreLanes(bmax + j, hi0);
        StoreLanes(bmax + j + 4, hi1);
    }
    while (j < m_d) {
        const int at = std::min(j, m_d - 4);
        Lanes4 lo = LoadLanes(rows + at);
        Lanes4 hi = lo;
        for (int i = 1; i < count; ++i) {
            const Lanes4 v = LoadLanes(rows + i * dd + at);
            lo = v < lo ? v : lo;
            hi = hi < v ? v : hi;
        }
        StoreLanes(bmin + at, lo);
        StoreLanes(bmax + at, hi);
        j = at + 4;
    }
}

int KmTree::BuildNode(BuildScratch& scratch, int first, int last, int depth, int smallDepth, bool upperSide,
                      float* optCost)
{
    *optCost = 0;
    NodeSplit split;
    if (!SplitNode(scratch, first, last, depth, smallDepth, upperSide, &split)) return -1;
    const auto childSmallDepth = [&](int childCount) {
        if (smallDepth >= 0) return smallDepth + 1;
        return childCount > m_smallNode ? -1 : 0;
    };
    const int lowerCount = split.position - first;
    const int upperCount = last + 1 - split.position;
    float lowerOpt = 0;
    float upperOpt = 0;
    const int lowerRecord =
        BuildNode(scratch, first, split.position - 1, depth + 1, childSmallDepth(lowerCount), false, &lowerOpt);
    if (scratch.failed) return -1;
    const int upperRecord =
        BuildNode(scratch, split.position, last, depth + 1, childSmallDepth(upperCount), true, &upperOpt);
    if (scratch.failed) return -1;

    // The children may have grown the build levels: find the sums again.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* lowerSum = BuildLevel(scratch, depth + 1) + 4 * dd;
    const float* upperSum = lowerSum + dd;
    float* sum = BuildLevel(scratch, depth) + (4 + (upperSide ? 1 : 0)) * dd;
    *optCost = JoinNode(split, first, last, smallDepth, ChildBuild{lowerRecord, lowerOpt, lowerSum},
                        ChildBuild{upperRecord, upperOpt, upperSum}, sum, scratch.mean.get());
    return split.record;
}

bool KmTree::SplitNode(BuildScratch& scratch, int first, int last, int depth, int smallDepth, bool upperSide,
                       NodeSplit* out)
{
    scratch.depth = std::max(scratch.depth, depth);
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const int count = last - first + 1;
    float* rows = m_sortedPoints.get();
    const std::size_t side = upperSide ? 1 : 0;
    // A leaf's sum is its point times its count.
    const auto leafSum = [&]() {
        float* sum = BuildLevel(scratch, depth) + (4 + side) * dd;
        const float* p = rows + static_cast<std::size_t>(first) * dd;
        const float scale = static_cast<float>(count);
        for (int j = 0; j < m_d; ++j) sum[j] = p[j] * scale;
        return false;
    };
    // A single point is a leaf whatever its box.
    if (first == last) return leafSum();

    // The parent bounded this run while partitioning it; the children's boxes go one level down.
    if (depth + 1 >= scratch.levels && !GrowBoxLevels(scratch, 2 * scratch.levels)) {
        scratch.failed = true;
        return false;
    }
    const float* bmin = BuildLevel(scratch, depth) + 2 * side * dd;
    const float* bmax = bmin + dd;
    float* lowerMin = BuildLevel(scratch, depth + 1);
    float* lowerMax = lowerMin + dd;
    float* upperMin = lowerMax + dd;
    float* upperMax = upperMin + dd;

    // The split dimension is the first of the widest: half sides first, then their largest,
    // then where it first occurs.
    float* halfSides = scratch.mean.get();
    for (int j = 0; j < m_d; ++j) halfSides[j] = (bmax[j] - bmin[j]) * 0.5f;
    float maxRadius = WidestHalfSide(halfSides, m_d);
    int splitDim = 0;
    while (halfSides[splitDim] != maxRadius) ++splitDim;
    // All points equal: a leaf; its rows no longer move.
    if (maxRadius == 0) return leafSum();

    out->record = -1;
    out->vectors = nullptr;
    if (smallDepth < 0) {
        out->record = NewRecord(first, count, &out->vectors);
        if (out->record < 0) {
            scratch.failed = true;
            return false;
        }
        float* median = out->vectors;
        float* radius = out->vectors + dd;
        for (int j = 0; j < m_d; ++j) {
            median[j] = (bmin[j] + bmax[j]) * 0.5f;
            radius[j] = (bmax[j] - bmin[j]) * 0.5f;
        }
    }

    // Partition the run around the box's midpoint in the split dimension: count the lower
    // side, then swap the misplaced rows in pairs, the k-th from the left with the k-th from
    // the right, without a branch on the data. Each side is bounded afterwards. Runs near the
    // root do this on all threads, with the same pairs.
    const float split = (bmin[splitDim] + bmax[splitDim]) * 0.5f;
    const bool shared = scratch.shareRuns && count > kSharedRun;
    int size1 = 0;
    if (shared) {
        size1 = PartitionShared(scratch, first, last, splitDim, split);
    } else {
        std::uint8_t* below = m_below.get();
        for (int pos = first; pos <= last; ++pos) {
            below[pos] = rows[static_cast<std::size_t>(pos) * dd + splitDim] < split ? 1 : 0;
            size1 += below[pos];
        }
        if (size1 > 0 && size1 < count) {
            int* fromLeft = scratch.swaps;
            int* fromRight = scratch.swaps + scratch.swapHalf;
            const int boundary = first + size1;
            int leftCount = 0;
            for (int pos = first; pos < boundary; ++pos) {
                fromLeft[leftCount] = pos;
                leftCount += 1 - below[pos];
            }
            int rightCount = 0;
            for (int pos = last; pos >= boundary; --pos) {
                fromRight[rightCount] = pos;
                rightCount += below[pos];
            }
            SwapRows(fromLeft, fromRight, 0, leftCount);
        }
    }
    // Values a float step apart have a midpoint equal to the smaller one, so nothing lands
    // below it; such runs are split at their middle position instead.
    if (size1 < 1 || size1 >= count) {
        if (!m_similarValuesReported.exchange(true)) Zelvo::Log::Puts("To many similar values, tree build fail!!! FIXME");
        const int middle = first + count / 2;
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
    }
    if (shared) {
        BoundRunShared(first, first + size1 - 1, lowerMin, lowerMax);
        BoundRunShared(first + size1, last, upperMin, upperMax);
    } else {
        BoundRun(first, first + size1 - 1, lowerMin, lowerMax);
        BoundRun(first + size1, last, upperMin, upperMax);
    }
    out->position = first + size1;
    return true;
}

void KmTree::SwapRows(const int* fromLeft, const int* fromRight, int begin, int end)
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    float* rows = m_sortedPoints.get();
    for (int i = begin; i < end; ++i) {
        const int i1 = fromLeft[i];
        const int i2 = fromRight[i];
        std::swap(m_positions[i1], m_positions[i2]);
        std::swap_ranges(rows + static_cast<std::size_t>(i1) * dd, rows + static_cast<std::size_t>(i1 + 1) * dd,
                         rows + static_cast<std::size_t>(i2) * dd);
    }
}

int KmTree::PartitionShared(BuildScratch& scratch, int first, int last, int splitDim, float split)
{
    // Blocks of rows: each counts its rows below the split, then its misplaced rows on either
    // side of the boundary, then lists them at offsets that give the lists one scan makes.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* rows = m_sortedPoints.get();
    std::uint8_t* below = m_below.get();
    const int count = last - first + 1;
    const int blocks = (count + kBuildBlock - 1) / kBuildBlock;
    std::vector<int> lowerCounts(blocks);
    std::vector<int> leftOffsets(blocks + 1, 0);
    std::vector<int> rightOffsets(blocks + 1, 0);
    const auto blockStart = [&](int b) { return first + b * kBuildBlock; };
    const auto blockEnd = [&](int b) { return std::min(last + 1, first + (b + 1) * kBuildBlock); };
    m_workers->Run(blocks, [&](int b, int) {
        int lower = 0;
        for (int pos = blockStart(b); pos < blockEnd(b); ++pos) {
            below[pos] = rows[static_cast<std::size_t>(pos) * dd + splitDim] < split ? 1 : 0;
            lower += below[pos];
        }
        lowerCounts[b] = lower;
    });
    int size1 = 0;
    for (const int lower : lowerCounts) size1 += lower;
    if (size1 < 1 || size1 >= count) return size1;

    const int boundary = first + size1;
    m_workers->Run(blocks, [&](int b, int) {
        int left = 0;
        int right = 0;
        for (int pos = blockStart(b); pos < std::min(blockEnd(b), boundary); ++pos) left += 1 - below[pos];
        for (int pos = std::max(blockStart(b), boundary); pos < blockEnd(b); ++pos) right += below[pos];
        leftOffsets[b + 1] = left;
        rightOffsets[b] = right;
    });
    // Rows above the split on the left are listed from the start, rows below it on the right
    // from the end.
    for (int b = 0; b < blocks; ++b) leftOffsets[b + 1] += leftOffsets[b];
    for (int b = blocks - 1; b >= 0; --b) rightOffsets[b] += rightOffsets[b + 1];
    int* fromLeft = scratch.swaps;
    int* fromRight = scratch.swaps + scratch.swapHalf;
    m_workers->Run(blocks, [&](int b, int) {
        int at = leftOffsets[b];
        for (int pos = blockStart(b); pos < std::min(blockEnd(b), boundary); ++pos)
            if (!below[pos]) fromLeft[at++] = pos;
        at = rightOffsets[b + 1];
        for (int pos = blockEnd(b) - 1; pos >= std::max(blockStart(b), boundary); --pos)
            if (below[pos]) fromRight[at++] = pos;
    });
    const int misplaced = leftOffsets[blocks];
    m_workers->Run((misplaced + kBuildBlock - 1) / kBuildBlock, [&](int b, int) {
        SwapRows(fromLeft, fromRight, b * kBuildBlock, std::min(misplaced, (b + 1) * kBuildBlock));
    });
    return size1;
}

void KmTree::BoundRunShared(int first, int last, float* bmin, float* bmax) const
{
    const int count = last - first + 1;
    const int blocks = (count + kBuildBlock - 1) / kBuildBlock;
    if (!m_workers || blocks < 2) {
        BoundRun(first, last, bmin, bmax);
        return;
    }
    const std::size_t dd = static_cast<std::size_t>(m_d);
    std::vector<float> bounds(2 * dd * static_cast<std::size_t>(blocks));
    m_workers->Run(blocks, [&](int b, int) {
        float* own = bounds.data() + 2 * dd * static_cast<std::size_t>(b);
        BoundRun(first + b * kBuildBlock, std::min(last, first + (b + 1) * kBuildBlock - 1), own, own + dd);
    });
    // The blocks in order, keeping the earlier of equal values as one scan does.
    std::copy(bounds.begin(), bounds.begin() + 2 * dd, bmin);
    std::copy(bounds.begin() + dd, bounds.begin() + 2 * dd, bmax);
    for (int b = 1; b < blocks; ++b) {
        const float* lo = bounds.data() + 2 * dd * static_cast<std::size_t>(b);
        const float* hi = lo + dd;
        for (std::size_t j = 0; j < dd; ++j) {
            bmin[j] = lo[j] < bmin[j] ? lo[j] : bmin[j];
            bmax[j] = bmax[j] < hi[j] ? hi[j] : bmax[j];
        }
    }
}

float KmTree::JoinNode(const NodeSplit& split, int first, int last, int smallDepth, const ChildBuild& lower,
                       const ChildBuild& upper, float* sum, float* meanScratch)
{
    const int count = last - first + 1;
    const std::size_t dd = static_cast<std::size_t>(m_d);
    for (int j = 0; j < m_d; ++j) sum[j] = lower.sum[j] + upper.sum[j];
    if (split.vectors) std::memcpy(split.vectors + 2 * dd, sum, sizeof(float) * dd);

    float* mean = meanScratch;
    const float scale = 1.0f / static_cast<float>(count);
    for (int j = 0; j < m_d; ++j) mean[j] = sum[j] * scale;
    const float optCost = NodeCost(split.position - first, lower.optCost, lower.sum, mean) +
                          NodeCost(last + 1 - split.position, upper.optCost, upper.sum, mean);
    m_splitCost[split.position] = optCost;
    if (smallDepth >= 0) m_smallDepth[split.position] = static_cast<std::uint8_t>(smallDepth);
    if (split.record >= 0) {
        Record& r = RecordAt(split.record);
        r.split = split.position;
        r.lower = lower.record;
        r.upper = upper.record;
    }
    return optCost;
}

bool KmTree::BuildInParallel(BuildScratch& scratch)
{
    BuildPlan plan;
    scratch.shareRuns = true;
    try {
        PlanBuild(scratch, 0, m_n - 1, 0, false, plan);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (scratch.failed) return false;
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const std::size_t workers = static_cast<std::size_t>(m_workers->Count());
    std::vector<BuildScratch> workerScratch;
    try {
        workerScratch.resize(workers);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (BuildScratch& own : workerScratch) {
        if (!NewBuildScratch(own, nullptr, m_jobPoints / 2 + 1)) return false;
    }
    scratch.shareRuns = false;
    // Each subtree starts from the box its parent left for it, at the depth it has.
    m_workers->Run(static_cast<int>(plan.jobs.size()), [&](int index, int worker) {
        BuildJob& job = plan.jobs[index];
        BuildScratch& own = workerScratch[static_cast<std::size_t>(worker)];
        if (own.failed) return;
        if (job.depth + 1 >= own.levels && !GrowBoxLevels(own, 2 * (job.depth + 1))) {
            own.failed = true;
            return;
        }
        float* level = BuildLevel(own, job.depth);
        std::memcpy(level, plan.values.data() + job.values, sizeof(float) * 2 * dd);
        const int smallDepth = job.last - job.first + 1 > m_smallNode ? -1 : 0;
        job.record = BuildNode(own, job.first, job.last, job.depth, smallDepth, false, &job.optCost);
        std::memcpy(plan.values.data() + job.values + 2 * dd, level + 4 * dd, sizeof(float) * dd);
    });
    m_depth = scratch.depth;
    for (const BuildScratch& own : workerScratch) {
        if (own.failed) return false;
        m_depth = std::max(m_depth, own.depth);
    }
    const ChildBuild root = JoinTop(plan, 0, scratch.mean.get());
    m_rootRecord = root.record;
    return true;
}

int KmTree::PlanBuild(BuildScratch& scratch, int first, int last, int depth, bool upperSide, BuildPlan& plan)
{
    // The box of a shared-out subtree is kept beside its sum, which the subtree leaves there.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* box = BuildLevel(scratch, depth) + 2 * (upperSide ? 1 : 0) * dd;
    if (last - first + 1 <= m_jobPoints) {
        const std::size_t values = plan.values.size();
        plan.values.insert(plan.values.end(), box, box + 2 * dd);
        plan.values.resize(values + 3 * dd);
        plan.jobs.push_back(BuildJob{first, last, depth, values, -1, 0.0f});
        return ~static_cast<int>(plan.jobs.size() - 1);
    }
    const int index = static_cast<int>(plan.tops.size());
    const std::size_t values = plan.values.size();
    plan.values.resize(values + dd);
    plan.tops.push_back(TopBuild{first, last, NodeSplit{}, false, -1, -1, values});
    NodeSplit split;
    if (!SplitNode(scratch, first, last, depth, -1, upperSide, &split)) {
        // A leaf of repeated points: its sum is ready.
        const float* sum = BuildLevel(scratch, depth) + (4 + (upperSide ? 1 : 0)) * dd;
        std::copy(sum, sum + dd, plan.values.begin() + values);
        return index;
    }
    plan.tops[index].split = split;
    plan.tops[index].inner = true;
    const int lower = PlanBuild(scratch, first, split.position - 1, depth + 1, false, plan);
    if (scratch.failed) return index;
    const int upper = PlanBuild(scratch, split.position, last, depth + 1, true, plan);
    plan.tops[index].lower = lower;
    plan.tops[index].upper = upper;
    return index;
}

KmTree::ChildBuild KmTree::JoinTop(BuildPlan& plan, int node, float* meanScratch)
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    if (node < 0) {
        const BuildJob& job = plan.jobs[~node];
        return ChildBuild{job.record, job.optCost, plan.values.data() + job.values + 2 * dd};
    }
    const TopBuild top = plan.tops[node];
    float* sum = plan.values.data() + top.values;
    if (!top.inner) return ChildBuild{-1, 0.0f, sum};
    const ChildBuild lower = JoinTop(plan, top.lower, meanScratch);
    const ChildBuild upper = JoinTop(plan, top.upper, meanScratch);
    const float optCost = JoinNode(top.split, top.first, top.last, -1, lower, upper, sum, meanScratch);
    return ChildBuild{top.split.record, optCost, sum};
}

KmTree::View KmTree::RecordView(int record) const
{
    const Record& r = RecordAt(record);
    const float* vectors = RecordVectors(record);
    return View{r.first, r.count, false, m_splitCost[r.split], vectors, vectors + m_d, vectors + 2 * m_d};
}

int KmTree::SmallSplit(int first, int count, int smallDepth) const
{
    // Eight depth bytes at a time: the first byte equal to smallDepth is the first zero byte
    // of the word XOR smallDepth in every byte. The zero-byte test may also flag bytes after a
    // true zero, never before one, so its lowest flag is exact. The array is padded, so a
    // word may run past the last position.
    const std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t highs = 0x8080808080808080ull;
    const std::uint64_t pattern = ones * static_cast<std::uint8_t>(smallDepth);
    for (int offset = 1; offset < count; offset += 8) {
        std::uint64_t word;
        std::memcpy(&word, m_smallDepth.get() + first + offset, sizeof word);
        const std::uint64_t x = word ^ pattern;
        const std::uint64_t zeros = (x - ones) & ~x & highs;
        if (zeros == 0) continue;
        const int at = offset + LowestFlaggedByte(zeros);
        return at < count ? first + at : -1;
    }
    return -1;
}

KmTree::SmallNode KmTree::MakeSmall(int first, int count, int depth) const
{
    return SmallNode{first, count, depth, SmallSplit(first, count, depth)};
}

KM_HOT KmTree::View KmTree::SmallView(const SmallNode& node, float* buffer, bool withBox) const
{
    if (node.split < 0) return View{node.first, node.count, true, 0.0f, PointAt(node.first), m_zeros.get(), nullptr};
    View view{node.first, node.count, false, m_splitCost[node.split], nullptr, nullptr, nullptr};
    if (!withBox) return view;
    // Bounds gathered in position order (the first of equal values wins), then turned into
    // centre and half side lengths as the build does.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    float* centre = buffer;
    float* half = buffer + dd;
    BoundRun(node.first, node.first + node.count - 1, centre, half);
    for (int j = 0; j < m_d; ++j) {
        const float lo = centre[j];
        const float hi = half[j];
        centre[j] = (lo + hi) * 0.5f;
        half[j] = (hi - lo) * 0.5f;
    }
    view.median = centre;
    view.radius = half;
    return view;
}

const float* KmTree::SmallSum(const SmallNode& node, float* out, float* scratch) const
{
    if (node.split < 0) {
        const float* p = PointAt(node.first);
        const float count = static_cast<float>(node.count);
        for (int j = 0; j < m_d; ++j) out[j] = p[j] * count;
        return out;
    }
    const float* lowerSum = SmallSum(LowerOf(node), out, scratch + m_d);
    const float* upperSum = SmallSum(UpperOf(node), scratch, scratch + m_d);
    for (int j = 0; j < m_d; ++j) out[j] = lowerSum[j] + upperSum[j];
    return out;
}

int KmTree::RunOwner(int first, int count) const
{
    const int owner = m_owner[first];
    const int end = first + count;
    for (int pos = first + 1; pos < end; ++pos)
        if (m_owner[pos] != owner) return -1;
    return owner;
}

KM_HOT float KmTree::NodeCost(int pointCount, float optCost, const float* sum, const float* centre) const
{
    const float count = static_cast<float>(pointCount);
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
    return optCost + count * dist;
}

void KmTree::CollectNodes(int record, int first, int count, int smallDepth, std::vector<NodeInfo>& out) const
{
    if (record >= 0) {
        const Record& r = RecordAt(record);
        out.push_back(NodeInfo{r.first, r.count, r.split, m_splitCost[r.split], true, -1});
        CollectNodes(r.lower, r.first, r.split - r.first, 0, out);
        CollectNodes(r.upper, r.split, r.first + r.count - r.split, 0, out);
        return;
    }
    const int split = SmallSplit(first, count, smallDepth);
    out.push_back(NodeInfo{first, count, split, split < 0 ? 0.0f : m_splitCost[split], false, smallDepth});
    if (split < 0) return;
    CollectNodes(-1, first, split - first, smallDepth + 1, out);
    CollectNodes(-1, split, first + count - split, smallDepth + 1, out);
}

std::vector<KmTree::NodeInfo> KmTree::Nodes() const
{
    std::vector<NodeInfo> nodes;
    if (m_valid) CollectNodes(m_rootRecord, 0, m_n, 0, nodes);
    return nodes;
}

bool KmTree::NodeVectors(const NodeInfo& node, float* median, float* radius, float* sum) const
{
    if (!m_valid) return false;
    const std::size_t dd = static_cast<std::size_t>(m_d);
    auto scratch = KmNewArray<float>(VisitScratchSize());
    if (!scratch) {
        Zelvo::Log::Puts("Error: k-means++ tree is out of memory");
        return false;
    }
    View view{};
    const float* s = nullptr;
    if (node.hasRecord) {
        int found = -1;
        for (int r = 0; r < static_cast<int>(m_recordCount) && found < 0; ++r)
            if (RecordAt(r).first == node.firstPosition && RecordAt(r).count == node.pointCount) found = r;
        if (found < 0) return false;
        view = RecordView(found);
        s = view.sum;
    } else {
        const SmallNode small = MakeSmall(node.firstPosition, node.pointCount, node.smallDepth);
        view = SmallView(small, scratch.get(), true);
        s = SmallSum(small, scratch.get() + 2 * dd, scratch.get() + 3 * dd);
    }
    std::copy(view.median, view.median + dd, median);
    std::copy(view.radius, view.radius + dd, radius);
    std::copy(s, s + dd, sum);
    return true;
}
float KmTree::DoKMeansStep(int k, float* centres, int* labels) const
{
    if (!m_valid || k < 1 || !centres) {
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

    const StepContext step{k,           centres,     gaps.get(), sums.get(),     counts.get(),  labels,
                           distances.get(), lanes.get(), laneCount, laneSums.get(), nullptr,       nullptr};
    float cost = 0;
    if (m_workers && IsTopRecord(m_rootRecord) && k <= kMaxNotedCentres) {
        if (!StepInParallel(numCandidates, candidates.get(), step, &cost)) {
            Zelvo::Log::Puts("Error: k-means step is out of memory");
            return -1;
        }
    } else {
        cost = StepChild(m_rootRecord, 0, m_n, numCandidates, candidates.get(), step, scratch.get());
    }

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

KM_HOT void KmTree::DistancesToCentres(const float* p, const int* candidates, int count, const float* centres,
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

KM_HOT void KmTree::LaneDistances(const float* p, const StepContext& step) const
{
    const std::size_t ll = static_cast<std::size_t>(step.laneCount);
    std::size_t block = 0;
    for (; block + 2 * kLaneBlock <= ll; block += 2 * kLaneBlock)
        SquaredDistanceLanes<4>(p, m_d, step.lanes + block, ll, step.laneSums + block);
    if (block < ll) SquaredDistanceLanes<2>(p, m_d, step.lanes + block, ll, step.laneSums + block);
}

KM_HOT void KmTree::LanePruneTerms(const float* median, const float* radius, const float* best,
                            const StepContext& step) const
{
    const std::size_t ll = static_cast<std::size_t>(step.laneCount);
    std::size_t block = 0;
    for (; block + 2 * kLaneBlock <= ll; block += 2 * kLaneBlock)
        PruneTermLanes<4>(median, radius, best, m_d, step.lanes + block, ll, step.laneSums + block);
    if (block < ll) PruneTermLanes<2>(median, radius, best, m_d, step.lanes + block, ll, step.laneSums + block);
}

float KmTree::StepChild(int record, int first, int count, int numCandidates, int* candidates,
                        const StepContext& step, float* scratch) const
{
    if (record >= 0) return StepRecord(record, numCandidates, candidates, step, scratch);
    return StepSmall(MakeSmall(first, count, 0), numCandidates, candidates, step, scratch);
}

float KmTree::StepRecord(int record, int numCandidates, int* candidates, const StepContext& step,
                         float* scratch) const
{
    const View view = RecordView(record);
    int numKept = 0;
    const int closest = FilterCandidates(view, numCandidates, candidates, step, &numKept);
    if (numKept > 1) {
        const Record& r = RecordAt(record);
        int* kept = candidates + numCandidates;
        const float lowerCost = StepChild(r.lower, r.first, r.split - r.first, numKept, kept, step, scratch);
        const float upperCost = StepChild(r.upper, r.split, r.first + r.count - r.split, numKept, kept, step, scratch);
        return lowerCost + upperCost;
    }
    return AssignWhole(view, view.sum, StepEvent{record, view.count, -1, closest}, step);
}

float KmTree::StepSmall(const SmallNode& node, int numCandidates, int* candidates, const StepContext& step,
                        float* scratch) const
{
    // The box serves the filtering only, so the children may reuse its scratch.
    const View view = SmallView(node, scratch, numCandidates > 1);
    int numKept = 0;
    const int closest = FilterCandidates(view, numCandidates, candidates, step, &numKept);
    if (numKept > 1) {
        int* kept = candidates + numCandidates;
        const float lowerCost = StepSmall(LowerOf(node), numKept, kept, step, scratch);
        const float upperCost = StepSmall(UpperOf(node), numKept, kept, step, scratch);
        return lowerCost + upperCost;
    }
    const std::size_t dd = static_cast<std::size_t>(m_d);
    return AssignWhole(view, SmallSum(node, scratch + 2 * dd, scratch + 3 * dd),
                       StepEvent{node.first, node.count, node.depth, closest}, step);
}

float KmTree::AssignWhole(const View& view, const float* sum, const StepEvent& event, const StepContext& step) const
{
    if (step.notes) {
        NoteWhole(event, step);
    } else {
        AddToCentre(sum, event.closest, step);
        step.counts[event.closest] += event.count;
    }
    return WholeNodeCost(view, sum, event.closest, step);
}

float KmTree::WholeNodeCost(const View& view, const float* sum, int closest, const StepContext& step) const
{
    if (step.labels) {
        const int end = view.first + view.count;
        for (int pos = view.first; pos < end; ++pos) step.labels[m_positions[pos]] = closest;
    }
    return NodeCost(view.count, view.optCost, sum, step.centres + static_cast<std::size_t>(closest) * m_d);
}

void KmTree::NoteWhole(const StepEvent& event, const StepContext& step) const
{
    // A subtree's whole nodes cover its run in visiting order, each at least one position, and
    // the notes fill the owners' storage of that run from its start: a small node of at most
    // kShortNoteCount points in one int (centre << 8 | depth << 4 | count - 1), any other node,
    // which has more points than that or is a record, in three (-1 and the record, or
    // -depth - 2 and the count; then the centre). So notes never pass the run's end.
    int* note = step.notes + *step.noteCount;
    if (event.depth >= 0 && event.count <= kShortNoteCount) {
        note[0] = event.closest << 8 | event.depth << 4 | (event.count - 1);
        *step.noteCount += 1;
        return;
    }
    note[0] = event.depth < 0 ? -1 : -event.depth - 2;
    note[1] = event.depth < 0 ? event.first : event.count;
    note[2] = event.closest;
    *step.noteCount += 3;
}

int KmTree::ReadNote(const int* notes, int at, int position, StepEvent* event) const
{
    const int note = notes[at];
    if (note >= 0) {
        *event = StepEvent{position, (note & 15) + 1, (note >> 4) & 15, note >> 8};
        return at + 1;
    }
    if (note == -1) {
        const int record = notes[at + 1];
        *event = StepEvent{record, RecordAt(record).count, -1, notes[at + 2]};
    } else {
        *event = StepEvent{position, notes[at + 1], -note - 2, notes[at + 2]};
    }
    return at + 3;
}

void KmTree::AddToCentre(const float* sum, int centre, const StepContext& step) const
{
    float* s = step.sums + static_cast<std::size_t>(centre) * m_d;
    for (int j = 0; j < m_d; ++j) s[j] += sum[j];
}

bool KmTree::StepInParallel(int numCandidates, int* candidates, const StepContext& step, float* cost) const
{
    StepPlan plan;
    try {
        PlanStep(m_rootRecord, 0, m_n, numCandidates, candidates, step, plan);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Every thread gets its own candidate lists and scratch.
    const std::size_t workers = static_cast<std::size_t>(m_workers->Count());
    const std::size_t kk = static_cast<std::size_t>(step.k);
    const std::size_t ll = static_cast<std::size_t>(step.laneCount);
    const std::size_t candidateSize = kk * (static_cast<std::size_t>(m_depth) + 2);
    auto workerCandidates = KmNewArray<int>(workers * candidateSize);
    auto workerDistances = KmNewArray<float>(workers * kk);
    auto workerLaneSums = KmNewArray<float>(workers * ll);
    auto workerScratch = KmNewArray<float>(workers * VisitScratchSize());
    if (!workerCandidates || !workerDistances || !workerLaneSums || !workerScratch) return false;

    m_workers->Run(static_cast<int>(plan.jobs.size()), [&](int index, int worker) {
        StepJob& job = plan.jobs[index];
        const std::size_t w = static_cast<std::size_t>(worker);
        int* jobCandidates = workerCandidates.get() + w * candidateSize;
        std::copy(plan.candidates.begin() + job.candidateOffset,
                  plan.candidates.begin() + job.candidateOffset + job.numCandidates, jobCandidates);
        StepContext local = step;
        local.sums = nullptr;
        local.counts = nullptr;
        local.distances = workerDistances.get() + w * kk;
        local.laneSums = workerLaneSums.get() + w * ll;
        // Counted on this thread's stack: jobs lie side by side in memory.
        int noteCount = 0;
        local.notes = m_owner.get() + job.first;
        local.noteCount = &noteCount;
        job.cost = StepChild(job.record, job.first, job.count, job.numCandidates, jobCandidates, local,
                             workerScratch.get() + w * VisitScratchSize());
        job.noteCount = noteCount;
    });
    PlanCursor at;
    try {
        *cost = FinishStep(m_rootRecord, plan, at, step);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // Each centre's sum adds its nodes in visiting order. The centres are shared out in
    // consecutive groups, each counted in its thread's own scratch, so that threads seldom
    // write to the same cache line.
    const int groups = static_cast<int>(std::min<std::size_t>(workers, kk));
    m_workers->Run(groups, [&](int group, int worker) {
        const std::size_t w = static_cast<std::size_t>(worker);
        const int first = static_cast<int>(static_cast<long long>(step.k) * group / groups);
        const int end = static_cast<int>(static_cast<long long>(step.k) * (group + 1) / groups);
        int* groupCounts = workerCandidates.get() + w * candidateSize;
        std::fill(groupCounts, groupCounts + (end - first), 0);
        AddNotedNodes(plan, first, end, step, groupCounts, workerScratch.get() + w * VisitScratchSize());
        for (int c = first; c < end; ++c) step.counts[c] += groupCounts[c - first];
    });
    return true;
}

void KmTree::AddNotedNodes(const StepPlan& plan, int first, int end, const StepContext& step, int* counts,
                           float* scratch) const
{
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const auto add = [&](const StepEvent& event) {
        if (event.closest < first || event.closest >= end) return;
        const float* sum = event.depth < 0 ? RecordVectors(event.first) + 2 * dd
                                           : SmallSum(MakeSmall(event.first, event.count, event.depth), scratch,
                                                      scratch + dd);
        AddToCentre(sum, event.closest, step);
        counts[event.closest - first] += event.count;
    };
    for (const int item : plan.order) {
        if (item < 0) {
            add(plan.topEvents[~item]);
            continue;
        }
        const StepJob& job = plan.jobs[item];
        const int* notes = m_owner.get() + job.first;
        int position = job.first;
        for (int at = 0; at < job.noteCount;) {
            StepEvent event;
            at = ReadNote(notes, at, position, &event);
            position += event.count;
            add(event);
        }
    }
}

void KmTree::PlanStep(int record, int first, int count, int numCandidates, int* candidates, const StepContext& step,
                      StepPlan& plan) const
{
    if (!IsTopRecord(record)) {
        plan.jobs.push_back(StepJob{record, first, count, numCandidates, plan.candidates.size(), 0.0f, 0});
        plan.candidates.insert(plan.candidates.end(), candidates, candidates + numCandidates);
        return;
    }
    const View view = RecordView(record);
    int numKept = 0;
    const int closest = FilterCandidates(view, numCandidates, candidates, step, &numKept);
    if (numKept <= 1) {
        plan.closest.push_back(closest);
        return;
    }
    plan.closest.push_back(-1);
    const Record& r = RecordAt(record);
    int* kept = candidates + numCandidates;
    PlanStep(r.lower, r.first, r.split - r.first, numKept, kept, step, plan);
    PlanStep(r.upper, r.split, r.first + r.count - r.split, numKept, kept, step, plan);
}

float KmTree::FinishStep(int record, StepPlan& plan, PlanCursor& at, const StepContext& step) const
{
    if (!IsTopRecord(record)) {
        plan.order.push_back(static_cast<int>(at.job));
        return plan.jobs[at.job++].cost;
    }
    const int closest = plan.closest[at.node++];
    if (closest >= 0) {
        const View view = RecordView(record);
        plan.order.push_back(~static_cast<int>(plan.topEvents.size()));
        plan.topEvents.push_back(StepEvent{record, view.count, -1, closest});
        return WholeNodeCost(view, view.sum, closest, step);
    }
    const Record& r = RecordAt(record);
    const float lowerCost = FinishStep(r.lower, plan, at, step);
    const float upperCost = FinishStep(r.upper, plan, at, step);
    return lowerCost + upperCost;
}

int KmTree::FilterCandidates(const View& view, int numCandidates, int* candidates, const StepContext& step,
                             int* numKept) const
{
    *numKept = 0;
    int closest = candidates[0];
    if (numCandidates < 2) return closest;
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* centres = step.centres;
    const float* median = view.median;
    const float* radius = view.radius;

    // The candidate nearest the box centre; the first of equals wins. With most centres still
    // in the running, all of them are measured at once.
    const bool useLanes = numCandidates * 3 >= step.laneCount;
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
    // A leaf's points are all at its box centre.
    if (view.leaf) return closest;

    // Keep the candidates that may own some point of the box: a rival t is dropped when
    // |t - b|^2 >= 2 (t - b).(corner - b) for the box corner farthest towards t, as then no
    // point of the box is closer to t than to b. Several rivals are tested at once.
    int* kept = candidates + numCandidates;
    int count = 0;
    const float* b = centres + closest * dd;
    const float* gaps = step.centreGaps + closest * static_cast<std::size_t>(step.k);
    if (useLanes) {
        LanePruneTerms(median, radius, b, step);
        for (int i = 0; i < numCandidates; ++i) {
            const int c = candidates[i];
            if (c == closest || !(gaps[c] >= 2 * step.laneSums[c])) kept[count++] = c;
        }
        *numKept = count;
        return closest;
    }
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
            if (!(gaps[rivals[r]] >= 2 * s[r])) kept[count++] = rivals[r];
        }
        numRivals = 0;
    };
    for (int i = 0; i < numCandidates; ++i) {
        const int c = candidates[i];
        if (c == closest) {
            // Keep list order: settle the rivals before the closest one first.
            testRivals();
            kept[count++] = c;
            continue;
        }
        rivals[numRivals++] = c;
        if (numRivals == 4) testRivals();
    }
    testRivals();
    *numKept = count;
    return closest;
}

bool KmTree::SeedKMeansPlusPlus(int k, float* centres, const KmRandom& random)
{
    if (!m_valid || k < 1 || !centres) {
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

    SeedKmppSetClusterIndex(0);

    // First centre uniformly at random. The draws combine with 32-bit wrap-around; the
    // unsigned sum reinterpreted as signed gives the same value without overflow.
    const std::uint32_t high = static_cast<std::uint32_t>(KmDraw(random));
    const std::uint32_t low = static_cast<std::uint32_t>(KmDraw(random));
    const std::uint32_t mixed = high * 2147483647u + low;
    const std::int64_t signedMixed =
        mixed >= 0x80000000u ? static_cast<std::int64_t>(mixed) - 0x100000000LL : static_cast<std::int64_t>(mixed);
    const int firstPos = static_cast<int>(((signedMixed % m_n) + m_n) % m_n);
    std::memcpy(centres, PointAt(firstPos), sizeof(float) * dd);

    // The distances may be measured on several threads; the total adds them up in order.
    ForSlices(static_cast<std::size_t>(m_n), kMinJobPoints, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t pos = begin; pos < end; ++pos)
            distSq[pos] = KmPointDistSq(PointAt(static_cast<int>(pos)), centres, m_d);
    });
    float total = 0;
    for (int pos = 0; pos < m_n; ++pos) total += distSq[pos];

    for (int c = 1; c < k; ++c) {
        const int pos = SeedDrawPosition(distSq.get(), m_n, total, random);
        std::memcpy(centres + c * dd, PointAt(pos), sizeof(float) * dd);
        total = SeedKmppUpdateAssignment(c, centres, distSq.get());
        if (total < 0) return false;
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

void KmTree::SeedKmppSetClusterIndex(int index)
{
    if (!m_valid) return;
    SeedSetRange(0, m_n, index);
    // A new seeding starts with new centres: forget the cached costs.
    if (m_smallSeedCluster) std::fill(m_smallSeedCluster.get(), m_smallSeedCluster.get() + m_n, -1);
    if (m_rootRecord >= 0) SeedSetRecord(m_rootRecord, index);
}

void KmTree::SeedSetRange(int first, int count, int index)
{
    std::fill(m_owner.get() + first, m_owner.get() + first + count, index);
}

void KmTree::SeedSetRecord(int record, int index)
{
    Record& r = RecordAt(record);
    r.seedCluster = index;
    r.seedCostCluster = -1;
    if (r.lower >= 0) SeedSetRecord(r.lower, index);
    if (r.upper >= 0) SeedSetRecord(r.upper, index);
}

float KmTree::SeedKmppUpdateAssignment(int c, const float* centres, float* distSq)
{
    if (!m_valid || c < 0 || !centres || !distSq) return -1;
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
    const SeedContext seed{c, centres, gaps.get(), distSq, scratch.get()};
    if (m_workers && IsTopRecord(m_rootRecord)) return SeedUpdateInParallel(seed);
    int owner = -1;
    return SeedUpdateChild(m_rootRecord, 0, m_n, seed, &owner);
}

float KmTree::SeedUpdateInParallel(const SeedContext& seed)
{
    SeedPlan plan;
    try {
        PlanSeed(m_rootRecord, 0, m_n, seed, plan);
    } catch (const std::bad_alloc&) {
        Zelvo::Log::Puts("Error: k-means++ seeding is out of memory");
        return -1;
    }
    const std::size_t scratchSize = VisitScratchSize();
    auto workerScratch = KmNewArray<float>(static_cast<std::size_t>(m_workers->Count()) * scratchSize);
    if (!workerScratch) {
        Zelvo::Log::Puts("Error: k-means++ seeding is out of memory");
        return -1;
    }
    // The subtrees own disjoint records, positions and cache entries.
    m_workers->Run(static_cast<int>(plan.jobs.size()), [&](int index, int worker) {
        SeedJob& job = plan.jobs[index];
        SeedContext local = seed;
        local.scratch = workerScratch.get() + static_cast<std::size_t>(worker) * scratchSize;
        if (job.move) {
            job.cost = SeedMoveRecord(job.record, local);
            job.owner = seed.c;
        } else {
            job.cost = SeedUpdateChild(job.record, job.first, job.count, local, &job.owner);
        }
    });
    PlanCursor at;
    int owner = -1;
    return FinishSeed(m_rootRecord, plan, at, seed, &owner);
}

void KmTree::PlanSeed(int record, int first, int count, const SeedContext& seed, SeedPlan& plan) const
{
    if (!IsTopRecord(record)) {
        plan.jobs.push_back(SeedJob{record, first, count, false, 0.0f, -1});
        return;
    }
    const SeedChoice choice = SeedChoose(record, seed);
    plan.choices.push_back(choice);
    if (choice == SeedChoice::KeepOwner) return;
    const Record& r = RecordAt(record);
    if (choice == SeedChoice::MoveToNew) {
        plan.jobs.push_back(SeedJob{record, r.first, r.count, true, 0.0f, -1});
        return;
    }
    PlanSeed(r.lower, r.first, r.split - r.first, seed, plan);
    PlanSeed(r.upper, r.split, r.first + r.count - r.split, seed, plan);
}

float KmTree::FinishSeed(int record, const SeedPlan& plan, PlanCursor& at, const SeedContext& seed, int* owner)
{
    if (!IsTopRecord(record)) {
        const SeedJob& job = plan.jobs[at.job++];
        *owner = job.owner;
        return job.cost;
    }
    const SeedChoice choice = plan.choices[at.node++];
    if (choice == SeedChoice::KeepOwner) {
        *owner = RecordAt(record).seedCluster;
        return SeedRecordCost(record, seed.centres);
    }
    if (choice == SeedChoice::MoveToNew) {
        const SeedJob& job = plan.jobs[at.job++];
        *owner = job.owner;
        return job.cost;
    }
    const Record& r = RecordAt(record);
    int lowerOwner = -1;
    int upperOwner = -1;
    const float lowerCost = FinishSeed(r.lower, plan, at, seed, &lowerOwner);
    const float upperCost = FinishSeed(r.upper, plan, at, seed, &upperOwner);
    RecordAt(record).seedCluster = JoinedOwner(lowerOwner, upperOwner);
    *owner = RecordAt(record).seedCluster;
    return lowerCost + upperCost;
}

float KmTree::SeedRecordCost(int record, const float* centres)
{
    // Seeds never move, so a node's cost against its owner holds until the owner changes.
    Record& r = RecordAt(record);
    if (r.seedCostCluster != r.seedCluster) {
        const View view = RecordView(record);
        r.seedCost = NodeCost(view.count, view.optCost, view.sum,
                              centres + static_cast<std::size_t>(r.seedCluster) * m_d);
        r.seedCostCluster = r.seedCluster;
    }
    return r.seedCost;
}

KM_HOT void KmTree::SeedMovePoints(int first, int count, const SeedContext& seed)
{
    const float* t = seed.centres + static_cast<std::size_t>(seed.c) * m_d;
    const int end = first + count;
    for (int pos = first; pos < end; ++pos) seed.distSq[pos] = KmPointDistSq(PointAt(pos), t, m_d);
}

float KmTree::SeedUpdateChild(int record, int first, int count, const SeedContext& seed, int* owner)
{
    if (record >= 0) {
        const float cost = SeedUpdateRecord(record, seed);
        *owner = RecordAt(record).seedCluster;
        return cost;
    }
    return SeedUpdateSmall(MakeSmall(first, count, 0), seed, owner);
}

KmTree::SeedChoice KmTree::SeedChoose(int record, const SeedContext& seed) const
{
    const int owner = RecordAt(record).seedCluster;
    if (owner >= 0 && owner != seed.c) {
        bool keepsOwner = false;
        bool movesToNew = false;
        SeedBoxTests(RecordView(record), owner, seed, &keepsOwner, &movesToNew);
        if (keepsOwner) return SeedChoice::KeepOwner;
        if (movesToNew) return SeedChoice::MoveToNew;
    }
    return SeedChoice::Split;
}

float KmTree::SeedMoveRecord(int record, const SeedContext& seed)
{
    const Record& r = RecordAt(record);
    SeedSetRecord(record, seed.c);
    SeedSetRange(r.first, r.count, seed.c);
    SeedMovePoints(r.first, r.count, seed);
    return SeedRecordCost(record, seed.centres);
}

float KmTree::SeedUpdateRecord(int record, const SeedContext& seed)
{
    const SeedChoice choice = SeedChoose(record, seed);
    if (choice == SeedChoice::KeepOwner) return SeedRecordCost(record, seed.centres);
    if (choice == SeedChoice::MoveToNew) return SeedMoveRecord(record, seed);
    const Record& r = RecordAt(record);
    int lowerOwner = -1;
    int upperOwner = -1;
    const float lowerCost = SeedUpdateChild(r.lower, r.first, r.split - r.first, seed, &lowerOwner);
    const float upperCost = SeedUpdateChild(r.upper, r.split, r.first + r.count - r.split, seed, &upperOwner);
    RecordAt(record).seedCluster = JoinedOwner(lowerOwner, upperOwner);
    return lowerCost + upperCost;
}

float KmTree::SmallSeedCost(const SmallNode& node, const View& view, int centre, const SeedContext& seed)
{
    // A single point's cost is its squared distance, which distSq already holds.
    if (view.count == 1) return seed.distSq[node.first];
    const bool cached = node.split >= 0 && m_smallSeedCost;
    if (cached && m_smallSeedCluster[node.split] == centre) return m_smallSeedCost[node.split];
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* sum = SmallSum(node, seed.scratch + 2 * dd, seed.scratch + 3 * dd);
    const float cost = NodeCost(view.count, view.optCost, sum, seed.centres + centre * dd);
    if (cached) {
        m_smallSeedCost[node.split] = cost;
        m_smallSeedCluster[node.split] = centre;
    }
    return cost;
}

float KmTree::SeedUpdateSmall(const SmallNode& node, const SeedContext& seed, int* ownerOut)
{
    const int owner = RunOwner(node.first, node.count);
    const bool tested = owner >= 0 && owner != seed.c;
    const View view = SmallView(node, seed.scratch, tested);
    *ownerOut = owner;
    if (tested) {
        bool keepsOwner = false;
        bool movesToNew = false;
        SeedBoxTests(view, owner, seed, &keepsOwner, &movesToNew);
        if (keepsOwner || (!movesToNew && view.leaf)) return SmallSeedCost(node, view, owner, seed);
        if (movesToNew) {
            SeedSetRange(node.first, node.count, seed.c);
            SeedMovePoints(node.first, node.count, seed);
            *ownerOut = seed.c;
            return SmallSeedCost(node, view, seed.c, seed);
        }
    }
    if (view.leaf) return SmallSeedCost(node, view, owner >= 0 ? owner : seed.c, seed);

    int lowerOwner = -1;
    int upperOwner = -1;
    const float lowerCost = SeedUpdateSmall(LowerOf(node), seed, &lowerOwner);
    const float upperCost = SeedUpdateSmall(UpperOf(node), seed, &upperOwner);
    *ownerOut = JoinedOwner(lowerOwner, upperOwner);
    return lowerCost + upperCost;
}

KM_HOT bool KmTree::SeedBoxTestsByLanes(const float* o, const float* t, const float* median, const float* radius,
                                        float gap, bool* keepsOwner, bool* movesToNew) const
{
    // Each test compares the gap with twice a sum of d terms added in dimension order. Any
    // order of adding puts a sum within (d + 8) u S of the exact one (u = 2^-24, S the sum of
    // the terms' magnitudes), so sums added lane by lane decide the test unless they land
    // within that margin of it. The terms themselves are the same float operations.
    const Lanes8 zero = {0, 0, 0, 0, 0, 0, 0, 0};
    const Bits8 magnitude = {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF,
                             0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    Lanes8 sumNew = zero;
    Lanes8 sumOwner = zero;
    Lanes8 sizeNew = zero;
    Lanes8 sizeOwner = zero;
    int j = 0;
    for (; j + 8 <= m_d; j += 8) {
        Lanes8 oj;
        Lanes8 tj;
        Lanes8 mj;
        Lanes8 rj;
        LoadLanes8(oj, o + j);
        LoadLanes8(tj, t + j);
        LoadLanes8(mj, median + j);
        LoadLanes8(rj, radius + j);
        Lanes8 termNew;
        Lanes8 termOwner;
        SeedTermPair(oj, tj, mj, rj, zero, &termNew, &termOwner);
        sumNew += termNew;
        sumOwner += termOwner;
        sizeNew += reinterpret_cast<Lanes8>(reinterpret_cast<Bits8>(termNew) & magnitude);
        sizeOwner += reinterpret_cast<Lanes8>(reinterpret_cast<Bits8>(termOwner) & magnitude);
    }
    float fastNew = 0;
    float fastOwner = 0;
    float sizeN = 0;
    float sizeO = 0;
    for (int lane = 0; lane < 8; ++lane) {
        fastNew += sumNew[lane];
        fastOwner += sumOwner[lane];
        sizeN += sizeNew[lane];
        sizeO += sizeOwner[lane];
    }
    for (; j < m_d; ++j) {
        float termNew;
        float termOwner;
        SeedTermPair(o[j], t[j], median[j], radius[j], 0.0f, &termNew, &termOwner);
        fastNew += termNew;
        fastOwner += termOwner;
        sizeN += std::fabs(termNew);
        sizeO += std::fabs(termOwner);
    }
    // The margin, 8 (d + 2) u S, is more than twice both sums' bounds together, which also
    // covers the rounding of S and of 2 F +- margin. Far from overflow the bounds hold; near
    // it the caller adds in order.
    const float slack = static_cast<float>(m_d + 2) * (1.0f / 2097152.0f);
    const float marginNew = sizeN * slack;
    const float marginOwner = sizeO * slack;
    const float largest = 1e30f;
    const bool sureNew = sizeN < largest && (gap >= 2 * fastNew + marginNew || gap < 2 * fastNew - marginNew);
    const bool sureOwner =
        sizeO < largest && (gap >= 2 * fastOwner + marginOwner || gap < 2 * fastOwner - marginOwner);
    if (!sureNew || !sureOwner) return false;
    *keepsOwner = gap >= 2 * fastNew + marginNew;
    *movesToNew = gap >= 2 * fastOwner + marginOwner;
    return true;
}

KM_HOT void KmTree::SeedBoxTests(const View& view, int owner, const SeedContext& seed, bool* keepsOwner,
                                 bool* movesToNew) const
{
    // Both pruning tests at once: v = c - o with its box corner towards c, and w = o - c with
    // its corner towards o (see FilterCandidates), each term added in dimension order.
    const std::size_t dd = static_cast<std::size_t>(m_d);
    const float* o = seed.centres + owner * dd;
    const float* t = seed.centres + seed.c * dd;
    const float* median = view.median;
    const float* radius = view.radius;
    const float gap = seed.gaps[owner];
    // With few dimensions the sums in order are as quick.
    if (m_d >= kLaneTestDimensions && m_d <= kLaneTestMaxDimensions &&
        SeedBoxTestsByLanes(o, t, median, radius, gap, keepsOwner, movesToNew))
        return;

    float towardsNew = 0;
    float towardsOwner = 0;
    const Lanes4 zero = {0, 0, 0, 0};
    int j = 0;
    for (; j + 4 <= m_d; j += 4) {
        const Lanes4 oj = LoadLanes(o + j);
        const Lanes4 tj = LoadLanes(t + j);
        const Lanes4 mj = LoadLanes(median + j);
        const Lanes4 rj = LoadLanes(radius + j);
        Lanes4 termNew;
        Lanes4 termOwner;
        SeedTermPair(oj, tj, mj, rj, zero, &termNew, &termOwner);
        for (int lane = 0; lane < 4; ++lane) {
            towardsNew += termNew[lane];
            towardsOwner += termOwner[lane];
        }
    }
    for (; j < m_d; ++j) {
        float termNew;
        float termOwner;
        SeedTermPair(o[j], t[j], median[j], radius[j], 0.0f, &termNew, &termOwner);
        towardsNew += termNew;
        towardsOwner += termOwner;
    }
    *keepsOwner = gap >= 2 * towardsNew;
    *movesToNew = gap >= 2 * towardsOwner;
}
