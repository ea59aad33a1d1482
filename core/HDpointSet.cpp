#include "HDpointSet.h"

#include "Log.h"
#include "MemoryBudget.h"
#include "ParallelJobs.h"
#include "RankEntry.h"

#include <Eigen/Core>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>

namespace Zelvo {

namespace {

uint64_t NewNumbering()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}

}  // namespace

template <typename T>
HDpointSet<T>::HDpointSet() : m_numbering(NewNumbering())
{
}

template <typename T>
int HDpointSet<T>::GetPointCount()
{
    if (m_dimension <= 0) return 0;
    return static_cast<int>(m_values.size() / static_cast<size_t>(m_dimension));
}

template <typename T>
int64_t HDpointSet<T>::m_refreshDimension()
{
    m_dimension = static_cast<int64_t>(m_dimMask.size());
    return m_dimension;
}

template <typename T>
int HDpointSet<T>::GetSelectedDimensionCount() const
{
    return static_cast<int>(std::count(m_dimMask.begin(), m_dimMask.end(), true));
}

template <typename T>
void HDpointSet<T>::UpdateDimensionMinMaxMeanVariance()
{
    const size_t D = static_cast<size_t>(m_refreshDimension());
    const size_t N = static_cast<size_t>(GetPointCount());
    if (N == 0) {
        // Nothing to average over: plain zeros rather than 0/0.
        m_dimMin.assign(D, T(0));
        m_dimMax.assign(D, T(0));
        m_dimMean.assign(D, T(0));
        m_dimVariance.assign(D, T(0));
        return;
    }
    m_dimMin.assign(D, std::numeric_limits<T>::max());
    m_dimMax.assign(D, std::numeric_limits<T>::lowest());
    m_dimMean.assign(D, T(0));
    m_dimVariance.assign(D, T(0));

    for (size_t i = 0; i < N; ++i) {
        const T* row = &m_values[i * D];
        for (size_t d = 0; d < D; ++d) {
            const T v = row[d];
            m_dimMean[d] += v;
            if (v > m_dimMax[d]) m_dimMax[d] = v;
            if (v < m_dimMin[d]) m_dimMin[d] = v;
        }
    }
    for (size_t d = 0; d < D; ++d) m_dimMean[d] /= static_cast<T>(N);

    for (size_t i = 0; i < N; ++i) {
        const T* row = &m_values[i * D];
        for (size_t d = 0; d < D; ++d) {
            const T diff = row[d] - m_dimMean[d];
            m_dimVariance[d] += diff * diff;
        }
    }
    // Population variance.
    for (size_t d = 0; d < D; ++d) m_dimVariance[d] /= static_cast<T>(N);
}

template <typename T>
void HDpointSet<T>::m_ensureStatistics()
{
    const size_t D = static_cast<size_t>(m_refreshDimension());
    if (m_dimMin.size() != D || m_dimMax.size() != D || m_dimMean.size() != D || m_dimVariance.size() != D)
        UpdateDimensionMinMaxMeanVariance();
}

template <typename T>
void HDpointSet<T>::m_invalidateDerivedBuffers()
{
    m_minMaxBuffer.clear();
    m_meanVarBuffer.clear();
    m_packedBuffer.clear();
    m_packedWidth = 0;
    m_packedPointCount = 0;
    m_packedMask.clear();
    m_centerPoint.clear();
    m_averageRadius = 0;
    m_radiusKey = BuildKey();
    m_rankMatrix.clear();
    m_rankKey = BuildKey();
    m_rankNeighbours.reset();
    m_rankNeighbourWidth = -1;
}

template <typename T>
bool HDpointSet<T>::DeleteHDpoints(std::vector<int>& indices)
{
    std::sort(indices.begin(), indices.end());
    const size_t D = static_cast<size_t>(m_refreshDimension());
    const int N = GetPointCount();
    // Check the whole list first so a bad entry leaves the set untouched.
    for (size_t k = 0; k < indices.size(); ++k) {
        if (indices[k] < 0 || indices[k] >= N) return false;
        if (k > 0 && indices[k] == indices[k - 1]) return false;
    }

    if (!indices.empty()) {
        size_t write = 0, next = 0;
        for (int i = 0; i < N; ++i) {
            if (next < indices.size() && indices[next] == i) {
                ++next;
                continue;
            }
            if (write != static_cast<size_t>(i))
                std::copy_n(m_values.begin() + static_cast<size_t>(i) * D, D, m_values.begin() + write * D);
            ++write;
        }
        m_values.resize(write * D);
    }

    UpdateDimensionMinMaxMeanVariance();

    if (!indices.empty()) {
        // Every derived buffer is numbered by point; none survives a renumbering.
        m_invalidateDerivedBuffers();
        m_numbering = NewNumbering();
        if (m_kind == 0) m_spatialX = GetPointCount();
    }
    return true;
}

template <typename T>
typename HDpointSet<T>::BuildKey HDpointSet<T>::m_currentKey()
{
    m_refreshDimension();
    return BuildKey{m_dimMask, m_state, GetPointCount()};
}

template <typename T>
bool HDpointSet<T>::m_packedBufferIsCurrent()
{
    m_refreshDimension();
    const int N = GetPointCount();
    const int K = GetSelectedDimensionCount();
    return m_packedPointCount == N && m_packedWidth == K && m_packedState == m_state && m_packedMask == m_dimMask &&
           m_packedBuffer.size() == static_cast<size_t>(N) * static_cast<size_t>(K);
}

template <typename T>
std::vector<T>* HDpointSet<T>::GetPackedRawDataArray(bool regenerate)
{
    if (!regenerate && m_packedBufferIsCurrent()) return &m_packedBuffer;
    if (!m_pack()) return nullptr;
    if (m_computeAverageRadius) calculateAverageRadius();
    return &m_packedBuffer;
}

template <typename T>
bool HDpointSet<T>::m_ensurePacked()
{
    return m_packedBufferIsCurrent() || m_pack() != nullptr;
}

template <typename T>
std::vector<T>* HDpointSet<T>::m_pack()
{
    m_packedBuffer.clear();
    m_packedWidth = 0;
    m_packedPointCount = 0;
    m_packedMask.clear();

    const size_t D = static_cast<size_t>(m_refreshDimension());
    const size_t N = static_cast<size_t>(GetPointCount());
    std::vector<size_t> selected;
    for (size_t d = 0; d < D; ++d)
        if (m_dimMask[d]) selected.push_back(d);
    const size_t K = selected.size();
    const bool anyValue = N > 0 && K > 0;

    const std::vector<T>* source = nullptr;
    switch (m_state) {
    case PointSetOriginal:
        source = &m_values;
        break;
    case PointSetVarianceNorm:
        if (anyValue) generateMeanVarNormalizationBuffer();
        source = &m_meanVarBuffer;
        break;
    case PointSetMinMaxNorm:
        if (anyValue) generateMinMaxNormalizationBuffer();
        source = &m_minMaxBuffer;
        break;
    case PointSetUnknown:
        if (anyValue) return nullptr;
        break;
    default:
        break;  // unknown states contribute no values
    }

    if (source && anyValue) {
        if (K == D) {
            // Every dimension selected: the rows as they are.
            m_packedBuffer.assign(source->data(), source->data() + N * D);
        } else {
            m_packedBuffer.reserve(N * K);
            for (size_t i = 0; i < N; ++i) {
                const T* row = source->data() + i * D;
                for (size_t d : selected) m_packedBuffer.push_back(row[d]);
            }
        }
    }
    m_packedWidth = static_cast<int>(K);
    m_packedPointCount = static_cast<int>(N);
    m_packedMask = m_dimMask;
    m_packedState = m_state;
    ++m_packing;

    Log::Puts("Generated the packed buffer");
    return &m_packedBuffer;
}

template <typename T>
void HDpointSet<T>::generateMinMaxNormalizationBuffer()
{
    m_ensureStatistics();
    const size_t D = static_cast<size_t>(m_dimension);
    const size_t N = static_cast<size_t>(GetPointCount());
    if (m_minMaxBuffer.size() == N * D) return;  // built for the current points

    m_minMaxBuffer.assign(N * D, T(0));
    for (size_t i = 0; i < N; ++i) {
        const T* row = &m_values[i * D];
        T* out = &m_minMaxBuffer[i * D];
        for (size_t d = 0; d < D; ++d) {
            const T range = m_dimMax[d] - m_dimMin[d];
            // A constant dimension carries no information: 0 instead of 0/0.
            out[d] = range == T(0) ? T(0) : (row[d] - m_dimMin[d]) / range;
        }
    }
}

template <typename T>
void HDpointSet<T>::generateMeanVarNormalizationBuffer()
{
    m_ensureStatistics();
    const size_t D = static_cast<size_t>(m_dimension);
    const size_t N = static_cast<size_t>(GetPointCount());
    if (m_meanVarBuffer.size() == N * D) return;  // built for the current points

    // A constant dimension may keep a rounding residue as variance; its range is exactly 0.
    std::vector<double> deviation(D, 0.0);
    std::vector<bool> constant(D, true);
    for (size_t d = 0; d < D; ++d) {
        constant[d] = m_dimVariance[d] == T(0) || m_dimMax[d] == m_dimMin[d];
        if (!constant[d]) deviation[d] = std::sqrt(static_cast<double>(m_dimVariance[d]));
    }

    m_meanVarBuffer.assign(N * D, T(0));
    for (size_t i = 0; i < N; ++i) {
        const T* row = &m_values[i * D];
        T* out = &m_meanVarBuffer[i * D];
        for (size_t d = 0; d < D; ++d) {
            if (constant[d]) continue;
            const T diff = row[d] - m_dimMean[d];
            out[d] = static_cast<T>(static_cast<double>(diff) / deviation[d]);
        }
    }
}

template <typename T>
void HDpointSet<T>::ResetNormalizationBuffers()
{
    m_meanVarBuffer.clear();
    m_minMaxBuffer.clear();
}

template <typename T>
std::string HDpointSet<T>::GetDimensionLabel(int d)
{
    const int64_t D = m_refreshDimension();
    if (d >= 0 && d < D && static_cast<size_t>(d) < m_dimLabels.size()) return m_dimLabels[d];
    return "Error Label!!";
}

template <typename T>
void HDpointSet<T>::calculateCenterPoint()
{
    m_centerPoint.clear();
    // A buffer packed for another mask or state is repacked, never read as zeros.
    if (!m_ensurePacked() || m_packedBuffer.empty()) return;

    const size_t K = static_cast<size_t>(m_packedWidth);
    const size_t N = static_cast<size_t>(m_packedPointCount);
    m_centerPoint.assign(K, T(0));
    for (size_t i = 0; i < N; ++i) {
        const T* row = &m_packedBuffer[i * K];
        for (size_t k = 0; k < K; ++k) m_centerPoint[k] += row[k];
    }
    for (size_t k = 0; k < K; ++k) m_centerPoint[k] /= static_cast<T>(N);
}

template <typename T>
void HDpointSet<T>::calculateAverageRadius()
{
    calculateCenterPoint();
    m_radiusKey = m_currentKey();
    float radius = 0;
    const size_t N = static_cast<size_t>(GetPointCount());
    const size_t K = static_cast<size_t>(GetSelectedDimensionCount());
    // Without a centre every point counts as being at distance 0.
    if (!m_centerPoint.empty() && m_centerPoint.size() == K) {
        for (size_t i = 0; i < N; ++i) {
            const T* row = &m_packedBuffer[i * K];
            float sum = 0;
            for (size_t k = 0; k < K; ++k) {
                const float diff = static_cast<float>(m_centerPoint[k] - row[k]);
                sum += diff * diff;
            }
            radius += std::sqrt(sum);
        }
    }
    m_averageRadius = N > 0 ? radius / static_cast<float>(N) : 0.0f;
    Log::Printf("Calculate PointSet Average Radius: %f\n", m_averageRadius);
}

template <typename T>
float HDpointSet<T>::GetAverageRadius()
{
    if (m_averageRadius == 0.0f || !(m_radiusKey == m_currentKey())) calculateAverageRadius();
    return m_averageRadius;
}

template <typename T>
HDpoint<T> HDpointSet<T>::GetPackedHDpoint(int i)
{
    m_refreshDimension();
    const int K = GetSelectedDimensionCount();
    if (i >= 0 && m_ensurePacked() && i < m_packedPointCount)
        return HDpoint<T>(&m_packedBuffer[static_cast<size_t>(i) * K], static_cast<size_t>(K));
    return HDpoint<T>(std::vector<T>(static_cast<size_t>(K), T(0)));
}

template <typename T>
void HDpointSet<T>::CalculateRankMatrix()
{
    const BuildKey key = m_currentKey();
    const size_t N = static_cast<size_t>(key.pointCount);
    if (m_rankKey == key && m_rankMatrix.size() == N) return;

    m_rankMatrix.clear();
    m_rankKey = BuildKey();
    // Ranks come from the points as they are packed now; without a packing (state 3) there
    // is nothing to rank.
    if (!m_ensurePacked() || m_packedBuffer.empty()) return;
    char what[80];
    std::snprintf(what, sizeof what, "The rank matrix of %zu points", N);
    if (!MemoryBudget::Allows(what, static_cast<double>(N) * (static_cast<double>(N) * sizeof(int) + sizeof(std::vector<int>))))
        return;
    m_rankMatrix.assign(N, std::vector<int>(N, 0));
    m_rankKey = key;
    const size_t K = static_cast<size_t>(m_packedWidth);
    std::vector<rankEntry> entries(N);
    for (size_t i = 0; i < N; ++i) {
        const T* p = K > 0 ? &m_packedBuffer[i * K] : nullptr;
        for (size_t j = 0; j < N; ++j) {
            const T* q = K > 0 ? &m_packedBuffer[j * K] : nullptr;
            double sum = 0.0;
            for (size_t k = 0; k < K; ++k) {
                const float diff = static_cast<float>(p[k] - q[k]);
                sum += diff * diff;
            }
            entries[j] = rankEntry{static_cast<int>(j), static_cast<float>(std::sqrt(sum))};
        }
        // Stable: equal distances keep index order.
        std::stable_sort(entries.begin(), entries.end(), sortEntry());
        std::vector<int>& row = m_rankMatrix[i];
        for (size_t r = 0; r < N; ++r) row[entries[r].index] = static_cast<int>(r);
    }
}

namespace {

// One candidate of a rank-neighbour row; ordered as the stable sort of a rank-matrix row
// orders its entries: by distance, equal distances by index.
struct RankCandidate {
    float distance;
    int index;
    bool operator<(const RankCandidate& other) const
    {
        return distance < other.distance || (distance == other.distance && index < other.index);
    }
};

}  // namespace

template <typename T>
std::shared_ptr<const std::vector<int>> HDpointSet<T>::GetRankNeighbours(int K, const char* user, double alsoBytes)
{
    const BuildKey key = m_currentKey();
    const int N = key.pointCount;
    if (!m_ensurePacked() || (N > 0 && m_packedBuffer.empty())) {
        Log::Printf("Error: %s needs the packed points of the point set, which normalisation state %d does not give\n",
                    user, static_cast<int>(m_state));
        return nullptr;
    }
    const int width = std::min(std::max(K, 0), N - 1) + 1;
    const double rowBytes = static_cast<double>(N) * width * sizeof(int);
    if (m_rankNeighbours && m_rankNeighbourWidth == width && m_rankNeighbourPacking == m_packing &&
        m_rankNeighbours->size() == static_cast<size_t>(N) * width) {
        if (!MemoryBudget::Allows(user, rowBytes + alsoBytes)) return nullptr;
        return m_rankNeighbours;
    }

    // Distances to a span of points at a time, from a copy of the points laid out dimension
    // after dimension so that a span of one dimension is contiguous. They are summed in float
    // first; only a point whose float sum comes near enough to enter the row is measured
    // again exactly as CalculateRankMatrix measures it. The float sum of the same terms is
    // within (W + 2) float roundings of the exact one, so the margin below never lets a point
    // that belongs to the row pass by.
    constexpr int kSpan = 1024;
    constexpr int kRowsPerJob = 16;
    const size_t W = static_cast<size_t>(m_packedWidth);
    const double margin = 1.0 + 4.0 * (static_cast<double>(W) + 2.0) * std::numeric_limits<float>::epsilon();
    ParallelJobs jobs;
    const double bytes = rowBytes + static_cast<double>(N) * W * sizeof(T) +
                         jobs.Count() * (kSpan * sizeof(float) + kRowsPerJob * static_cast<double>(width) * sizeof(RankCandidate));
    if (!MemoryBudget::Allows(user, bytes + alsoBytes)) return nullptr;
    // Rows kept from before go before the new ones are made.
    m_rankNeighbours.reset();
    m_rankNeighbourWidth = -1;

    std::vector<T> byDimension(static_cast<size_t>(N) * W);
    for (size_t j = 0; j < static_cast<size_t>(N); ++j)
        for (size_t k = 0; k < W; ++k) byDimension[k * N + j] = m_packedBuffer[j * W + k];
    auto found = std::make_shared<std::vector<int>>(static_cast<size_t>(N) * width);
    std::vector<int>& nearest = *found;
    // Each job takes a few rows through every span, while the span is still in the cache.
    struct Row {
        std::vector<RankCandidate> best;
        double bound = 0;  // float sums above this cannot enter the full row
    };
    struct Scratch {
        std::vector<float> quick;
        std::vector<Row> rows;
    };
    std::vector<Scratch> scratch(jobs.Count());
    jobs.Run((N + kRowsPerJob - 1) / kRowsPerJob, [&](int job, int worker) {
        Scratch& s = scratch[worker];
        s.quick.resize(kSpan);
        s.rows.resize(kRowsPerJob);
        const int firstRow = job * kRowsPerJob;
        const int lastRow = std::min(N, firstRow + kRowsPerJob);
        for (int i = firstRow; i < lastRow; ++i) {
            Row& row = s.rows[static_cast<size_t>(i - firstRow)];
            row.best.clear();
            row.best.reserve(width);
            row.bound = std::numeric_limits<double>::infinity();
        }
        for (int first = 0; first < N; first += kSpan) {
            const int count = std::min(kSpan, N - first);
            for (int i = firstRow; i < lastRow; ++i) {
                const T* p = W > 0 ? &m_packedBuffer[static_cast<size_t>(i) * W] : nullptr;
                Row& row = s.rows[static_cast<size_t>(i - firstRow)];
                // Sixteen points at a time through every dimension, their sums kept in registers.
                using Sixteen = Eigen::Array<float, 16, 1>;
                float* quick = s.quick.data();
                int t = 0;
                for (; t + 16 <= count; t += 16) {
                    Sixteen sums = Sixteen::Zero();
                    for (size_t k = 0; k < W; ++k)
                        sums += (p[k] - Eigen::Map<const Sixteen>(&byDimension[k * N + first + t])).square();
                    Eigen::Map<Sixteen>(quick + t) = sums;
                }
                for (; t < count; ++t) {
                    float sum = 0;
                    for (size_t k = 0; k < W; ++k) {
                        const float diff = p[k] - byDimension[k * N + first + t];
                        sum += diff * diff;
                    }
                    quick[t] = sum;
                }
                for (int t = 0; t < count; ++t) {
                    if (quick[t] > row.bound) continue;
                    // The distance CalculateRankMatrix takes: each term in float, summed in
                    // double in dimension order, root in double, kept as float.
                    const T* q = &m_packedBuffer[static_cast<size_t>(first + t) * W];
                    double sum = 0.0;
                    for (size_t k = 0; k < W; ++k) {
                        const float diff = static_cast<float>(p[k] - q[k]);
                        sum += diff * diff;
                    }
                    float d = static_cast<float>(std::sqrt(sum));
                    // A distance that is no number ranks after all others.
                    if (std::isnan(d)) d = std::numeric_limits<float>::infinity();
                    // Points come in index order, so a newcomer displaces the last kept one
                    // only when strictly nearer.
                    std::vector<RankCandidate>& best = row.best;
                    if (best.size() < static_cast<size_t>(width)) {
                        best.push_back(RankCandidate{d, first + t});
                        std::push_heap(best.begin(), best.end());
                    } else if (d < best.front().distance) {
                        std::pop_heap(best.begin(), best.end());
                        best.back() = RankCandidate{d, first + t};
                        std::push_heap(best.begin(), best.end());
                    } else {
                        continue;
                    }
                    if (best.size() == static_cast<size_t>(width)) {
                        // A newcomer needs a root below the last kept distance, so a sum below
                        // its square; near float's largest values the float sums may overflow.
                        const double last = best.front().distance;
                        row.bound = last * last < 1e37 ? last * last * margin : std::numeric_limits<double>::infinity();
                    }
                }
            }
        }
        for (int i = firstRow; i < lastRow; ++i) {
            std::vector<RankCandidate>& best = s.rows[static_cast<size_t>(i - firstRow)].best;
            std::sort_heap(best.begin(), best.end());
            int* out = &nearest[static_cast<size_t>(i) * width];
            for (int r = 0; r < width; ++r) out[r] = best[r].index;
        }
    });
    // Kept within the same bound as a kept distance matrix.
    if (rowBytes <= static_cast<double>(MemoryBudget::KeepBytes())) {
        m_rankNeighbours = found;
        m_rankNeighbourWidth = width;
        m_rankNeighbourPacking = m_packing;
    }
    return found;
}

template <typename T>
HDpointSet<T>* HDpointSet<T>::GetSampledPointSet(const std::vector<int>& indices)
{
    const size_t D = static_cast<size_t>(m_refreshDimension());
    const int N = GetPointCount();
    auto* sample = new HDpointSet<T>();
    sample->m_kind = m_kind;
    sample->m_spatialX = m_spatialX;
    sample->m_spatialY = m_spatialY;
    sample->m_spatialZ = m_spatialZ;
    sample->m_dimension = m_dimension;
    sample->m_dimMask = m_dimMask;
    sample->m_dimLabels = m_dimLabels;
    sample->m_values.reserve(indices.size() * D);
    for (int index : indices) {
        if (index < 0 || index >= N) continue;
        const auto begin = m_values.begin() + static_cast<size_t>(index) * D;
        sample->m_values.insert(sample->m_values.end(), begin, begin + D);
    }
    return sample;
}

template <typename T>
std::vector<T>* HDpointSet<T>::GetPackedMeanVector()
{
    generateMeanVarNormalizationBuffer();
    m_packedMean.clear();
    const size_t D = static_cast<size_t>(m_refreshDimension());
    for (size_t d = 0; d < D && d < m_dimMean.size(); ++d)
        if (m_dimMask[d]) m_packedMean.push_back(m_dimMean[d]);
    return &m_packedMean;
}

template class HDpointSet<float>;

}  // namespace Zelvo
