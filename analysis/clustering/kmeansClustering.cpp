#include "kmeansClustering.h"

#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "KMeans.h"
#include "KmWorkers.h"
#include "Log.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace Zelvo {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using WorkArray = std::unique_ptr<T[], FreeDeleter>;

// Zero-filled heap array on a 32-byte boundary; null when memory runs out.
template <typename T>
WorkArray<T> AllocZeroed(size_t count)
{
    const size_t alignment = 32;
    if (count > (SIZE_MAX - alignment) / sizeof(T)) return WorkArray<T>();
    const size_t bytes = (std::max<size_t>(count * sizeof(T), 1) + alignment - 1) / alignment * alignment;
    void* p = std::aligned_alloc(alignment, bytes);
    if (p) std::memset(p, 0, bytes);
    return WorkArray<T>(static_cast<T*>(p));
}

bool ResizeLabels(std::vector<int>& labels, size_t n)
{
    try {
        labels.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

#if defined(__GNUC__)
#define KM_INLINE inline __attribute__((always_inline))
#else
#define KM_INLINE inline
#endif

// Eight float lanes. Each lane accumulates one centre's sum in dimension order, so the
// distances equal the plain one-pair loop bit for bit.
typedef float Lanes __attribute__((vector_size(32)));


// Squared distances from x to R x 8 centres whose values sit column-wise in rows of ct.
template <int R>
KM_INLINE void CentreBlock(const float* x, int d, const float* ct, int kp, float* out)
{
    Lanes acc[R];
    for (int r = 0; r < R; ++r) acc[r] = Lanes{};
    for (int j = 0; j < d; ++j, ct += kp) {
        const float xj = x[j];
        for (int r = 0; r < R; ++r) {
            Lanes centre;
            std::memcpy(&centre, ct + 8 * r, sizeof centre);
            const Lanes diff = xj - centre;
            acc[r] += diff * diff;
        }
    }
    for (int r = 0; r < R; ++r) std::memcpy(out + 8 * r, &acc[r], sizeof(Lanes));
}

// Squared distances from x to every centre of ct (d rows of kp values, kp a multiple of 8).
KM_INLINE void PointToCentres(const float* x, int d, const float* ct, int kp, float* out)
{
    int b = 0;
    for (; b + 32 <= kp; b += 32) CentreBlock<4>(x, d, ct + b, kp, out + b);
    switch (kp - b) {
    case 24: CentreBlock<3>(x, d, ct + b, kp, out + b); break;
    case 16: CentreBlock<2>(x, d, ct + b, kp, out + b); break;
    case 8: CentreBlock<1>(x, d, ct + b, kp, out + b); break;
    default: break;
    }
}

int PaddedCount(int k)
{
    return (k + 7) / 8 * 8;
}

// Centres c x d, point after point, into d rows of kp values; spare lanes stay 0.
void TransposeCentres(const float* centres, int k, int d, int kp, float* ct)
{
    for (int c = 0; c < k; ++c)
        for (int j = 0; j < d; ++j) ct[size_t(j) * size_t(kp) + size_t(c)] = centres[size_t(c) * size_t(d) + size_t(j)];
}

// One assignment pass of the Lloyd iteration: every point to its nearest centre (the lower
// index on a tie), summed into the new centres.
struct AssignPass {
    const float* data;
    int n, d, k, kp;
    const float* centres;   // k x d
    const float* ct;        // d x kp
    float* dist;            // kp
    int* labels;            // n
    float* sums;            // k x d
    int* counts;            // k
};

// The centre nearest to x (the lower index on a tie; label when no distance is below the
// largest float), with its distance in best.
KM_INLINE int NearestCentre(AssignPass& s, const float* x, int label, float* best)
{
    *best = FLT_MAX;
    PointToCentres(x, s.d, s.ct, s.kp, s.dist);
    for (int c = 0; c < s.k; ++c) {
        if (s.dist[c] < *best) {
            *best = s.dist[c];
            label = c;
        }
    }
    return label;
}

KM_INLINE float RunAssignPass(AssignPass& s)
{
    const size_t dd = size_t(s.d);
    float error = 0;
    for (int i = 0; i < s.n; ++i) {
        const float* x = s.data + size_t(i) * dd;
        float best;
        const int label = NearestCentre(s, x, s.labels[i], &best);
        s.labels[i] = label;
        float* sum = s.sums + size_t(label) * dd;
        for (size_t j = 0; j < dd; ++j) sum[j] += x[j];
        ++s.counts[label];
        error += best;
    }
    return error;
}

// The first half of the pass for the points begin to end - 1: their labels, and their
// distances to their centres in nearest (the largest float where no distance is below it).
KM_INLINE void RunLabelRange(AssignPass& s, int begin, int end, float* nearest)
{
    const size_t dd = size_t(s.d);
    for (int i = begin; i < end; ++i) s.labels[i] = NearestCentre(s, s.data + size_t(i) * dd, s.labels[i], nearest + i);
}

// For every centre, the first point with the smallest distance to it (point 0 if none is
// below the largest float, as for a centre of NaN values).
struct NearestPoints {
    const float* data;
    int n, d, k, kp;
    const float* ct;
    float* dist;    // kp
    float* best;    // k
    int* nearest;   // k
};

// The same over the points begin to end - 1, from the best values already in s.
KM_INLINE void RunNearestRange(NearestPoints& s, int begin, int end)
{
    for (int i = begin; i < end; ++i) {
        PointToCentres(s.data + size_t(i) * size_t(s.d), s.d, s.ct, s.kp, s.dist);
        for (int c = 0; c < s.k; ++c) {
            if (s.dist[c] < s.best[c]) {
                s.best[c] = s.dist[c];
                s.nearest[c] = i;
            }
        }
    }
}

KM_INLINE void RunNearestPoints(NearestPoints& s)
{
    for (int c = 0; c < s.k; ++c) {
        s.best[c] = FLT_MAX;
        s.nearest[c] = 0;
    }
    RunNearestRange(s, 0, s.n);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("avx2"))) float AssignPassAvx2(AssignPass& s) { return RunAssignPass(s); }
__attribute__((target("avx2"))) void NearestPointsAvx2(NearestPoints& s) { RunNearestPoints(s); }
__attribute__((target("avx2"))) void LabelRangeAvx2(AssignPass& s, int begin, int end, float* nearest)
{
    RunLabelRange(s, begin, end, nearest);
}
__attribute__((target("avx2"))) void NearestRangeAvx2(NearestPoints& s, int begin, int end)
{
    RunNearestRange(s, begin, end);
}

bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

float DoAssignPass(AssignPass& s)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (HaveAvx2()) return AssignPassAvx2(s);
#endif
    return RunAssignPass(s);
}

void DoNearestPoints(NearestPoints& s)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (HaveAvx2()) return NearestPointsAvx2(s);
#endif
    RunNearestPoints(s);
}

void DoLabelRange(AssignPass& s, int begin, int end, float* nearest)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (HaveAvx2()) return LabelRangeAvx2(s, begin, end, nearest);
#endif
    RunLabelRange(s, begin, end, nearest);
}

void DoNearestRange(NearestPoints& s, int begin, int end)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (HaveAvx2()) return NearestRangeAvx2(s, begin, end);
#endif
    RunNearestRange(s, begin, end);
}

// Points per thread's share of a pass, and the fewest points worth sharing out.
const int kPointBlock = 4096;
const int kMinSharedPoints = 4 * kPointBlock;
// With fewer centres a Lloyd pass is bound by reading the points, and one thread that labels
// and sums them in one sweep is as quick.
const int kMinSharedCentres = 16;

// Threads for a pass over n points; null where one does it all.
std::unique_ptr<KmWorkers> NewWorkers(int n, int workers)
{
    if (workers <= 0) workers = KmWorkers::AvailableProcessors();
    workers = std::min(workers, 32);
    if (workers < 2 || n < kMinSharedPoints) return nullptr;
    std::unique_ptr<KmWorkers> made;
    try {
        made = std::make_unique<KmWorkers>(workers);
    } catch (const std::exception&) {
        return nullptr;
    }
    return made->Count() > 1 ? std::move(made) : nullptr;
}

// Scratch of a pass on several threads: kp distances per thread, and per point its distance
// to its centre and its place in the points listed centre by centre.
struct SharedScratch {
    WorkArray<float> dist;
    WorkArray<float> nearest;
    WorkArray<int> members;
    WorkArray<int> starts;  // k + 1
};

// One assignment pass on several threads with the results of DoAssignPass: labels by blocks of
// points; then counts and the error in point order; then the points listed centre by centre
// in point order, and each centre's sum added up over its list.
float SharedAssignPass(AssignPass& s, KmWorkers& workers, SharedScratch& scratch)
{
    const int blocks = (s.n + kPointBlock - 1) / kPointBlock;
    workers.Run(blocks, [&](int block, int worker) {
        AssignPass own = s;
        own.dist = scratch.dist.get() + size_t(worker) * size_t(s.kp);
        DoLabelRange(own, block * kPointBlock, std::min(s.n, (block + 1) * kPointBlock), scratch.nearest.get());
    });
    float error = 0;
    for (int i = 0; i < s.n; ++i) {
        ++s.counts[s.labels[i]];
        error += scratch.nearest[i];
    }
    int* starts = scratch.starts.get();
    starts[0] = 0;
    for (int c = 0; c < s.k; ++c) starts[c + 1] = starts[c] + s.counts[c];
    for (int i = 0; i < s.n; ++i) scratch.members[starts[s.labels[i]]++] = i;
    for (int c = s.k; c > 0; --c) starts[c] = starts[c - 1];
    starts[0] = 0;
    const size_t dd = size_t(s.d);
    workers.Run(s.k, [&](int c, int) {
        float* sum = s.sums + size_t(c) * dd;
        for (int at = starts[c]; at < starts[c + 1]; ++at) {
            const float* x = s.data + size_t(scratch.members[at]) * dd;
            for (size_t j = 0; j < dd; ++j) sum[j] += x[j];
        }
    });
    return error;
}

// DoNearestPoints on several threads: each block of points finds its own first nearest
// points, and the blocks are taken in order, keeping the earlier of equal distances. dist
// holds kp floats per thread; false when out of memory.
bool SharedNearestPoints(NearestPoints& s, KmWorkers& workers, float* dist)
{
    const int blocks = 2 * workers.Count();
    const size_t kk = size_t(s.k);
    auto best = AllocZeroed<float>(size_t(blocks) * kk);
    auto nearest = AllocZeroed<int>(size_t(blocks) * kk);
    if (!best || !nearest) return false;
    workers.Run(blocks, [&](int block, int worker) {
        NearestPoints own = s;
        own.dist = dist + size_t(worker) * size_t(s.kp);
        own.best = best.get() + size_t(block) * kk;
        own.nearest = nearest.get() + size_t(block) * kk;
        std::fill(own.best, own.best + kk, FLT_MAX);
        DoNearestRange(own, int(int64_t(s.n) * block / blocks), int(int64_t(s.n) * (block + 1) / blocks));
    });
    for (size_t c = 0; c < kk; ++c) {
        s.best[c] = FLT_MAX;
        s.nearest[c] = 0;
        for (int block = 0; block < blocks; ++block) {
            const size_t at = size_t(block) * kk + c;
            if (best[at] < s.best[c]) {
                s.best[c] = best[at];
                s.nearest[c] = nearest[at];
            }
        }
    }
    return true;
}

}  // namespace

kmeansClustering::kmeansClustering(int k, kmeansType type, KmRandom random, int workers)
    : m_k(k), m_type(type), m_random(std::move(random)), m_workers(workers)
{
}

kmeansClustering::~kmeansClustering() = default;

// Exhausted memory is reported like every other failure: no exception leaves the engine.
std::unique_ptr<ClusteringResult> kmeansClustering::DoClustering(HDpointSet<float>* points)
try {
    if (!points) {
        Log::Puts("Error: kmeans was given no point set");
        return nullptr;
    }
    points->m_dimension = static_cast<int64_t>(points->m_dimMask.size());
    const size_t D = points->m_dimMask.size();
    const int d = points->GetSelectedDimensionCount();
    const int n = points->GetPointCount();
    const std::vector<float>* packed = points->GetPackedRawDataArray(true);

    Log::Printf("kmeans parameters, n:%d d:%d k:%d\n", n, d, m_k);
    if (m_type != ClassicKmeans && m_type != KmeansPlusPlus) return nullptr;

    if (!packed) {
        Log::Printf("Error: kmeans needs a normalisation state that gives values, not %d\n",
                    static_cast<int>(points->m_state));
        return nullptr;
    }
    if (m_k < 1) {
        Log::Printf("Error: kmeans needs at least one cluster, k = %d\n", m_k);
        return nullptr;
    }
    if (n < 1) {
        Log::Puts("Error: kmeans needs at least one point");
        return nullptr;
    }
    if (d < 1) {
        Log::Puts("Error: kmeans needs at least one selected dimension");
        return nullptr;
    }
    const size_t count = size_t(n) * size_t(d);
    if (packed->size() != count) {
        Log::Printf("Error: kmeans found %zu values for %d points of %d dimensions\n", packed->size(), n, d);
        return nullptr;
    }
    const size_t bad = KmFirstNonFinite(packed->data(), count);
    if (bad < count) {
        Log::Printf("Error: kmeans found a value that is not a number at point %zu, selected dimension %zu\n",
                    bad / size_t(d), bad % size_t(d));
        return nullptr;
    }

    if (m_type == ClassicKmeans) {
        Log::Puts("start classic kmeans");
        if (!k_mean(packed->data(), n, d, m_k, 0.1f)) {
            Log::Puts("Error: kmeans is out of memory");
            return nullptr;
        }
    } else {
        if (points->m_values.size() < size_t(n) * D) {
            Log::Printf("Error: kmeans found %zu raw values for %d points of %zu dimensions\n",
                        points->m_values.size(), n, D);
            return nullptr;
        }
        float cost = 0;
        if (!_runKmeansPlusPlus(points, packed->data(), n, d, &cost)) return nullptr;
        Log::Printf("Kmeans final cost: %f\n", double(cost));
    }

    auto result = std::make_unique<ClusteringResult>();
    result->SetCenters(m_centers);
    result->SetFlatClusteringLabel(&m_labels);
    return result;
} catch (const std::bad_alloc&) {
    Log::Puts("Error kmeans: not enough memory");
    return nullptr;
}

bool kmeansClustering::_runKmeansPlusPlus(HDpointSet<float>* points, const float* data, int n, int d, float* cost)
{
    const int k = m_k;
    const int kp = PaddedCount(k);
    const size_t D = points->m_dimMask.size();
    auto centres = AllocZeroed<float>(size_t(k) * size_t(d));
    auto ct = AllocZeroed<float>(size_t(kp) * size_t(d));
    auto dist = AllocZeroed<float>(size_t(kp));
    auto best = AllocZeroed<float>(size_t(k));
    auto nearest = AllocZeroed<int>(size_t(k));
    if (!centres || !ct || !dist || !best || !nearest || !ResizeLabels(m_labels, size_t(n))) {
        Log::Puts("Error: kmeans is out of memory");
        return false;
    }

    *cost = RunKMeansPlusPlus(n, k, d, data, 1, centres.get(), m_labels.data(), m_random, m_workers);
    if (*cost < 0) {
        Log::Puts("Error: k-means++ clustering failed");
        return false;
    }

    // Every centre is shown by a real point; an empty cluster's centre (NaN) gets point 0.
    TransposeCentres(centres.get(), k, d, kp, ct.get());
    NearestPoints search{data, n, d, k, kp, ct.get(), dist.get(), best.get(), nearest.get()};
    const std::unique_ptr<KmWorkers> workers = NewWorkers(n, m_workers);
    auto workerDist = workers ? AllocZeroed<float>(size_t(workers->Count()) * size_t(kp)) : WorkArray<float>();
    if (!workers || !workerDist || !SharedNearestPoints(search, *workers, workerDist.get())) DoNearestPoints(search);

    m_centers.clear();
    m_centers.reserve(size_t(k));
    for (int c = 0; c < k; ++c)
        m_centers.emplace_back(points->m_values.data() + size_t(nearest[c]) * D, D);
    return true;
}

bool kmeansClustering::k_mean(const float* data, int n, int d, int k, float threshold)
{
    if (!ResizeLabels(m_labels, size_t(n))) return false;
    m_centers.clear();

    const size_t dd = size_t(d);
    const size_t kd = size_t(k) * dd;
    const int kp = PaddedCount(k);
    auto counts = AllocZeroed<int>(size_t(k));
    auto centres = AllocZeroed<float>(kd);
    auto sums = AllocZeroed<float>(kd);
    auto ct = AllocZeroed<float>(size_t(kp) * dd);
    auto dist = AllocZeroed<float>(size_t(kp));
    if (!counts || !centres || !sums || !ct || !dist) return false;

    // Evenly spaced points; with fewer points than clusters every centre starts at point 0.
    const size_t step = size_t(n / k);
    for (int c = 0; c < k; ++c) std::memcpy(centres.get() + size_t(c) * dd, data + size_t(c) * step * dd, dd * sizeof(float));

    AssignPass pass{data, n, d, k, kp, centres.get(), ct.get(), dist.get(), m_labels.data(), sums.get(),
                    counts.get()};
    // Large sets are labelled on all threads, with the same results.
    const std::unique_ptr<KmWorkers> workers = k >= kMinSharedCentres ? NewWorkers(n, m_workers) : nullptr;
    SharedScratch shared;
    if (workers) {
        shared.dist = AllocZeroed<float>(size_t(workers->Count()) * size_t(kp));
        shared.nearest = AllocZeroed<float>(size_t(n));
        shared.members = AllocZeroed<int>(size_t(n));
        shared.starts = AllocZeroed<int>(size_t(k) + 1);
        if (!shared.dist || !shared.nearest || !shared.members || !shared.starts) return false;
    }

    Log::Puts("start k-mean");
    const float infinity = std::numeric_limits<float>::infinity();
    float previousError = infinity;
    int t = 0;
    Log::Printf("* iteration:%d error:%f\n", 0, double(infinity - 0.0f));
    float diff = 0;
    for (;;) {
        std::memset(counts.get(), 0, size_t(k) * sizeof(int));
        std::memset(sums.get(), 0, kd * sizeof(float));
        TransposeCentres(centres.get(), k, d, kp, ct.get());
        const float error = workers ? SharedAssignPass(pass, *workers, shared) : DoAssignPass(pass);

        int empty = 0;
        for (int c = 0; c < k; ++c) {
            float* centre = centres.get() + size_t(c) * dd;
            const float* sum = sums.get() + size_t(c) * dd;
            const int members = counts[c];
            if (members == 0) {
                ++empty;
                std::memcpy(centre, sum, dd * sizeof(float));
            } else {
                for (size_t j = 0; j < dd; ++j) centre[j] = sum[j] / float(members);
            }
        }
        Log::Printf("  Zero Cluster Count: %d\n", empty);

        diff = std::fabs(error - previousError);
        if (t >= 50) {
            Log::Printf("break at %d iteration\n", 50);
            break;
        }
        if (!(diff > threshold)) break;  // a NaN difference stops too
        ++t;
        previousError = error;
        Log::Printf("* iteration:%d error:%f\n", t, double(diff));

    }
    Log::Printf("Finished at %d iteration\n", t + 1);
    Log::Printf("error diff: %f\n", double(diff));

    int empty = 0;
    m_centers.reserve(size_t(k));
    for (int c = 0; c < k; ++c) {
        if (counts[c] == 0) {
            ++empty;
            continue;
        }
        m_centers.emplace_back(centres.get() + size_t(c) * dd, dd);
    }
    Log::Printf("Zero cluster count: %d\n", empty);
    return true;
}

}  // namespace Zelvo
