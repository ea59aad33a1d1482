#include "EmbeddingResult.h"

#include "BatchTimer.h"
#include "Log.h"
#include "RankEntry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace Zelvo {

namespace {

bool IsUsableRadius(float r)
{
    return std::isfinite(r) && r > 0.0f;
}

}  // namespace

EmbeddingResult::TimerScope::TimerScope(const char* name) : m_name(name)
{
    BatchTimer::GetInstance().StartTimer(m_name);
}

EmbeddingResult::TimerScope::~TimerScope()
{
    BatchTimer::GetInstance().StopTimer(m_name);
}

EmbeddingResult::EmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set)
{
    if (positions && dim > 0 && n > 0) {
        this->dim = dim;
        pointCount = n;
        originalPositions.assign(positions, positions + static_cast<size_t>(n) * dim);
    } else {
        this->dim = dim > 0 ? dim : 0;
        pointCount = 0;
    }
    modifiedPositions = originalPositions;
    updateMinMax();
    SetPointSetPointer(set);
    centerX = 0;
    centerY = 0;
}

EmbeddingResult::~EmbeddingResult() = default;

void EmbeddingResult::SetPointSetPointer(HDpointSet<float>* set)
{
    pointSet = set;
    if (set)
        dimMask = set->m_dimMask;
    else
        dimMask.clear();
    m_rowsNumbering = set ? set->GetNumbering() : 0;
    m_pointSetRows.clear();
}

bool EmbeddingResult::SetPointSetRows(const std::vector<int>& rows)
{
    if (!pointSet) {
        Log::Puts("Error: the embedding has no point set to pair its rows with");
        return false;
    }
    const int n = pointSet->GetPointCount();
    bool valid = rows.size() == static_cast<size_t>(pointCount);
    std::vector<char> used(static_cast<size_t>(std::max(n, 0)), 0);
    for (size_t i = 0; valid && i < rows.size(); ++i) {
        const int row = rows[i];
        if (row == -1) continue;
        valid = row >= 0 && row < n && !used[row];
        if (valid) used[row] = 1;
    }
    if (!valid) {
        Log::Printf("Error: %zu point-set rows for an embedding of %d rows and a point set of %d points: need one "
                    "per embedding row, each -1 or a distinct point\n",
                    rows.size(), pointCount, n);
        return false;
    }
    m_pointSetRows = rows;
    m_rowsNumbering = pointSet->GetNumbering();
    return true;
}

bool EmbeddingResult::m_pairedRows(const char* user, std::vector<int>& rows) const
{
    if (!pointSet) {
        Log::Printf("Error: %s needs the point set of the embedding\n", user);
        return false;
    }
    const int n = pointSet->GetPointCount();
    const bool rowsFit = std::all_of(m_pointSetRows.begin(), m_pointSetRows.end(), [n](int row) { return row < n; });
    if (pointSet->GetNumbering() != m_rowsNumbering || (m_pointSetRows.empty() && n != pointCount) || !rowsFit) {
        Log::Printf("Error: %s refused: the embedding (%d rows) is older than the point set (%d points), its rows "
                    "no longer match the points\n",
                    user, pointCount, n);
        return false;
    }
    if (m_pointSetRows.empty()) {
        rows.resize(static_cast<size_t>(pointCount));
        for (int i = 0; i < pointCount; ++i) rows[i] = i;
    } else {
        rows = m_pointSetRows;
    }
    return true;
}

bool EmbeddingResult::GetEmbeddingRowOfPointSetRow(const char* user, std::vector<int>& embeddingRow) const
{
    std::vector<int> rows;
    if (!m_pairedRows(user, rows))
        return false;
    embeddingRow.assign(static_cast<size_t>(pointSet->GetPointCount()), -1);
    for (int i = 0; i < pointCount; ++i)
        if (rows[i] >= 0)
            embeddingRow[rows[i]] = i;
    return true;
}

void EmbeddingResult::updateMinMax()
{
    const int n = pointCount;
    double sumX = 0, sumY = 0;
    if (dim == 2 && n > 0) {
        minX = maxX = originalPositions[0];
        minY = maxY = originalPositions[1];
        for (int i = 0; i < n; ++i) {
            const float x = originalPositions[2 * i];
            const float y = originalPositions[2 * i + 1];
            if (x < minX) minX = x;
            if (x > maxX) maxX = x;
            if (y < minY) minY = y;
            if (y > maxY) maxY = y;
            sumX += x;
            sumY += y;
        }
    }
    if (n > 0 && dim >= 2) {
        centerX = static_cast<float>(sumX / n);
        centerY = static_cast<float>(sumY / n);
        for (int i = 0; i < n; ++i) {
            originalPositions[static_cast<size_t>(i) * dim] -= centerX;
            originalPositions[static_cast<size_t>(i) * dim + 1] -= centerY;
        }
    }
    centerX = 0;
    centerY = 0;
    modifiedPositions = originalPositions;
}

void EmbeddingResult::SetModifiedEmbeddedPosition(std::vector<float>& p)
{
    if (p.size() != originalPositions.size())
        return;
    modifiedPositions = p;
    costDirty = true;
}

Position2D EmbeddingResult::Get2Dpoint(int i) const
{
    const size_t at = static_cast<size_t>(i) * dim;
    return Position2D{originalPositions[at], originalPositions[at + 1]};
}

void EmbeddingResult::SetHDSquaredDistanceSource(std::function<Eigen::MatrixXf()> source)
{
    SetHDSquaredDistance(Eigen::MatrixXf());
    m_hdSquaredDistanceSource = std::move(source);
}

const Eigen::MatrixXf& EmbeddingResult::GetHDSquaredDistance()
{
    m_materializeDistanceMatrix();
    return hdSquaredDistance;
}

void EmbeddingResult::m_materializeDistanceMatrix()
{
    if (!m_hdSquaredDistanceSource) return;
    std::function<Eigen::MatrixXf()> source = std::move(m_hdSquaredDistanceSource);
    m_hdSquaredDistanceSource = nullptr;
    SetHDSquaredDistance(source());
}

void EmbeddingResult::SetHDSquaredDistance(Eigen::MatrixXf&& distances)
{
    m_hdSquaredDistanceSource = nullptr;
    hdSquaredDistance = std::move(distances);
    m_hdSumsValid = false;
    m_hdDensity.clear();
    m_hdDensityBandWidth = 0;
}

std::vector<float>* EmbeddingResult::GetPerPointCost(float& /*total*/)
{
    Log::Puts("(GetPerPointCost) - Need implement this!!");
    return nullptr;
}

std::vector<float>* EmbeddingResult::GetSelectedPointNeighborHood(std::vector<int>& /*selected*/)
{
    Log::Puts("(GetSelectedPointNeighborHood) - Need implement this!!");
    return nullptr;
}

std::vector<float>* EmbeddingResult::GetPerPointDistortion(float& total, std::string name)
{
    bool done = false;
    if (name == "Stress")
        done = m_calculateStress(total);
    else if (name == "Robust")
        done = m_calculateRobustDistanceDistortion(total);
    else if (name == "KDE")
        done = m_calculateKDEdistortion(total);
    else if (name == "Corank")
        done = m_calculateCorankDistortion(total);
    return done ? &perPointDistortion : nullptr;
}

std::vector<float>* EmbeddingResult::m_markSelectedNeighbors(const std::vector<int>& selected)
{
    neighborhoodIndicator.assign(pointCount, 0.0f);
    const int listCount = static_cast<int>(neighborLists.size());
    for (int s : selected) {
        if (s < 0 || s >= listCount)
            continue;
        for (int j : neighborLists[s]) {
            if (j >= 0 && j < pointCount)
                neighborhoodIndicator[j] = 1.0f;
        }
    }
    return &neighborhoodIndicator;
}

void EmbeddingResult::m_splitModifiedPositions(Eigen::ArrayXf& x, Eigen::ArrayXf& y) const
{
    x.resize(pointCount);
    y.resize(pointCount);
    for (int i = 0; i < pointCount; ++i) {
        x[i] = modifiedPositions[static_cast<size_t>(i) * dim];
        y[i] = dim > 1 ? modifiedPositions[static_cast<size_t>(i) * dim + 1] : 0.0f;
    }
}

bool EmbeddingResult::m_hasDistanceMatrix(const char* measure)
{
    m_materializeDistanceMatrix();
    const std::string user = std::string(measure) + " distortion";
    return m_fitsPointCount(hdSquaredDistance.rows(), hdSquaredDistance.cols(), user.c_str(),
                            "high-dimensional distance matrix");
}

bool EmbeddingResult::m_fitsPointCount(Eigen::Index rows, Eigen::Index cols, const char* user,
                                       const char* matrix) const
{
    if (rows == pointCount && cols == pointCount)
        return true;
    Log::Printf("Error: %s needs a %d x %d %s, have %ld x %ld\n", user, pointCount, pointCount, matrix,
                static_cast<long>(rows), static_cast<long>(cols));
    return false;
}

// Negative entries (round-off of squared distances) count as 0 before the root.
void EmbeddingResult::m_updateHDSums()
{
    if (m_hdSumsValid)
        return;
    m_hdSumSquared = 0;
    m_hdSum = 0;
    for (Eigen::Index c = 0; c < hdSquaredDistance.cols(); ++c) {
        const auto squared = hdSquaredDistance.col(c).array().max(0.0f);
        m_hdSumSquared += squared.cast<double>().sum();
        m_hdSum += squared.sqrt().cast<double>().sum();
    }
    m_hdSumsValid = true;
}

bool EmbeddingResult::m_calculateStress(float& total)
{
    TimerScope timer("Stress");
    return m_calculateDistanceDeviation("Stress", true, total);
}

bool EmbeddingResult::m_calculateRobustDistanceDistortion(float& total)
{
    TimerScope timer("RDD");
    return m_calculateDistanceDeviation("Robust", false, total);
}

// Per point i: sum_j (D_ij - d_ij)^2 / sum D^2 (squared) or sum_j |D_ij - d_ij| / sum D.
// D_ij is read from column i (hdSquaredDistance(j, i)), so each row walks contiguous memory.
bool EmbeddingResult::m_calculateDistanceDeviation(const char* measure, bool squared, float& total)
{
    if (!m_hasDistanceMatrix(measure))
        return false;
    m_updateHDSums();
    const int n = pointCount;
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    perPointDistortion.assign(n, 0.0f);
    total = 0;
    const double normaliser = squared ? m_hdSumSquared : m_hdSum;
    if (normaliser <= 0)
        return true;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const auto hd = hdSquaredDistance.col(i).array().max(0.0f).sqrt();
        const auto d2 = ((x - x[i]).square() + (y - y[i]).square()).sqrt();
        const double deviation = squared ? (hd - d2).square().sum() : (hd - d2).abs().sum();
        const float value = static_cast<float>(deviation / normaliser);
        perPointDistortion[i] = value;
        sum += value;
    }
    total = static_cast<float>(sum);
    return true;
}

// rho_i = 1 / (n h) * sum_j exp(-dist_ij / (2h)) / h, in 2-D and in the high-dimensional
// space; the high-dimensional densities depend only on the matrix and h and are kept.
bool EmbeddingResult::m_calculateKDEdistortion(float& total)
{
    TimerScope timer("KDE");
    const float h = kdeBandWidth;
    if (!std::isfinite(h) || h <= 0.0f) {
        Log::Printf("Error: KDE distortion needs a finite bandwidth above 0, have %f\n", h);
        return false;
    }
    if (!m_hasDistanceMatrix("KDE"))
        return false;
    const int n = pointCount;
    const float exponentScale = -1.0f / (2.0f * h);
    const double normalisation = 1.0 / (static_cast<double>(n) * h * h);

    if (m_hdDensity.size() != static_cast<size_t>(n) || m_hdDensityBandWidth != h) {
        m_hdDensity.resize(n);
        for (int i = 0; i < n; ++i) {
            const auto hd = hdSquaredDistance.col(i).array().max(0.0f).sqrt();
            m_hdDensity[i] = static_cast<float>((hd * exponentScale).exp().sum() * normalisation);
        }
        m_hdDensityBandWidth = h;
    }

    // 2-D distances are symmetric: each pair's kernel is evaluated once and added to both
    // points; the pair (i, i) contributes exp(0) = 1.
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    Eigen::ArrayXf kernelSums = Eigen::ArrayXf::Ones(n);
    Eigen::ArrayXf kernel(n);
    for (int i = 0; i + 1 < n; ++i) {
        const Eigen::Index rest = n - i - 1;
        kernel.head(rest) =
            (((x.tail(rest) - x[i]).square() + (y.tail(rest) - y[i]).square()).sqrt() * exponentScale).exp();
        kernelSums[i] += kernel.head(rest).sum();
        kernelSums.tail(rest) += kernel.head(rest);
    }
    perPointDistortion.assign(n, 0.0f);
    total = 0;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const float density = static_cast<float>(kernelSums[i] * normalisation);
        const float value = std::abs(m_hdDensity[i] - density);
        perPointDistortion[i] = value;
        sum += value;
    }
    total = static_cast<float>(sum);
    return true;
}

// Counts, per point, the points that are among its K + 1 nearest both in 2-D and in the
// point set's high-dimensional ranking. Only the 2-D set is needed, not a 2-D rank
// matrix: each row keeps its K + 1 nearest in a bounded max-heap, which most points
// leave at the first comparison.
bool EmbeddingResult::m_calculateCorankDistortion(float& total)
{
    TimerScope timer("Corank");
    const int K = corankK;
    if (K < 1) {
        Log::Printf("Error: Corank distortion needs a neighbourhood size of at least 1, have %d\n", K);
        return false;
    }
    std::vector<int> rows;
    if (!m_pairedRows("Corank distortion", rows))
        return false;
    const int setCount = pointSet->GetPointCount();
    pointSet->CalculateRankMatrix();
    const std::vector<std::vector<int>>& hdRank = pointSet->m_rankMatrix;
    bool rankFits = hdRank.size() == static_cast<size_t>(setCount);
    for (size_t i = 0; rankFits && i < hdRank.size(); ++i)
        rankFits = hdRank[i].size() == static_cast<size_t>(setCount);
    if (!rankFits) {
        Log::Printf("Error: Corank distortion needs a %d x %d high-dimensional rank matrix, have %d rows\n",
                    setCount, setCount, static_cast<int>(hdRank.size()));
        return false;
    }

    // Only the rows that still have a point take part; a deleted row's value is 0.
    Eigen::ArrayXf allX, allY;
    m_splitModifiedPositions(allX, allY);
    std::vector<int> kept;
    for (int i = 0; i < pointCount; ++i)
        if (rows[i] >= 0) kept.push_back(i);
    const int n = static_cast<int>(kept.size());
    Eigen::ArrayXf x(n), y(n);
    for (int k = 0; k < n; ++k) {
        x[k] = allX[kept[k]];
        y[k] = allY[kept[k]];
    }
    Eigen::ArrayXf squared(n);
    const size_t inSet = static_cast<size_t>(std::min(K + 1, n));
    std::vector<rankEntry> nearest;
    nearest.reserve(inSet);
    perPointDistortion.assign(pointCount, 0.0f);
    total = 0;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        squared = (x - x[i]).square() + (y - y[i]).square();
        nearest.clear();
        for (int j = 0; j < n; ++j) {
            const float d = squared[j];
            if (nearest.size() < inSet) {
                nearest.push_back(rankEntry{j, d});
                std::push_heap(nearest.begin(), nearest.end(), sortEntry());
            } else if (d < nearest.front().distance) {
                std::pop_heap(nearest.begin(), nearest.end(), sortEntry());
                nearest.back() = rankEntry{j, d};
                std::push_heap(nearest.begin(), nearest.end(), sortEntry());
            }
        }
        const std::vector<int>& row = hdRank[rows[kept[i]]];
        int count = 0;
        for (const rankEntry& e : nearest) {
            if (row[rows[kept[e.index]]] <= K)
                ++count;
        }
        const float value = static_cast<float>(count) / static_cast<float>(K);
        perPointDistortion[kept[i]] = -value;
        sum += value;
    }
    total = static_cast<float>(-sum);
    return true;
}

float EmbeddingResult::m_highDimensionalRadius(bool withBall)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    if (!pointSet)
        return nan;
    if (!withBall)
        return pointSet->GetAverageRadius();
    // The points as packed now: a buffer of another mask or state is packed again.
    std::vector<float>* packed = pointSet->GetPackedRawDataArray(false);
    const int width = pointSet->GetPackedWidth();
    const int count = pointSet->GetPackedPointCount();
    if (!packed || width <= 0 || count <= 0 || packed->size() < static_cast<size_t>(width) * count)
        return nan;
    MinimalEnclosingBall ball;
    ball.SetPoints(packed->data(), count, width);
    ball.CalculateMinimalEnclosingBall();
    return ball.GetRadius();
}

float EmbeddingResult::m_radius2D(bool withBall, const std::vector<int>& rows)
{
    if (pointCount <= 0 || dim < 2)
        return std::numeric_limits<float>::quiet_NaN();
    // Without deleted rows the positions are used in place; otherwise the kept rows only,
    // around their own centre.
    float* positions = originalPositions.data();
    int n = pointCount;
    int stride = dim;
    double centreX = centerX, centreY = centerY;
    std::vector<float> kept;
    if (std::find(rows.begin(), rows.end(), -1) != rows.end()) {
        double sumX = 0, sumY = 0;
        for (int i = 0; i < pointCount; ++i) {
            if (rows[i] < 0)
                continue;
            kept.push_back(originalPositions[static_cast<size_t>(i) * dim]);
            kept.push_back(originalPositions[static_cast<size_t>(i) * dim + 1]);
            sumX += kept[kept.size() - 2];
            sumY += kept.back();
        }
        positions = kept.data();
        n = static_cast<int>(kept.size() / 2);
        stride = 2;
        if (n == 0)
            return std::numeric_limits<float>::quiet_NaN();
        centreX = sumX / n;
        centreY = sumY / n;
    }
    if (withBall) {
        meb2D.SetPoints(positions, n, stride);
        meb2D.CalculateMinimalEnclosingBall();
        return meb2D.GetRadius();
    }
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const double dx = positions[static_cast<size_t>(i) * stride] - centreX;
        const double dy = positions[static_cast<size_t>(i) * stride + 1] - centreY;
        sum += std::sqrt(dx * dx + dy * dy);
    }
    meanRadius2D = static_cast<float>(sum / n);
    return meanRadius2D;
}

float EmbeddingResult::AutoScaling(bool useMEB)
{
    this->useMEB = useMEB;
    // Without a point set there is nothing to pair, and no radius to scale to (below).
    std::vector<int> rows;
    if (pointSet && !m_pairedRows("Scaling", rows))
        return std::numeric_limits<float>::quiet_NaN();
    const float R = m_highDimensionalRadius(useMEB);
    if (!IsUsableRadius(R)) {
        Log::Printf("Warning: no usable high-dimensional radius (%f), embedding not scaled\n", R);
        scale = 1.0f;
        return scale;
    }
    scale = FLT_MAX;
    int passes = 0;
    while (!(static_cast<double>(scale) >= 0.9 && static_cast<double>(scale) <= 1.1) && passes <= 4) {
        const float r = m_radius2D(useMEB, rows);
        if (!IsUsableRadius(r))
            break;
        scale = R / r;
        for (float& v : originalPositions)
            v *= scale;
        ++passes;
    }
    if (passes == 0) {
        Log::Puts("Warning: no usable 2-D radius, embedding not scaled");
        scale = 1.0f;
        return scale;
    }
    updateMinMax();
    const float r = m_radius2D(useMEB, rows);
    scale = IsUsableRadius(r) ? R / r : 1.0f;
    return scale;
}

float EmbeddingResult::GetScaleDifference()
{
    // Without a point set there is nothing to pair, and no radius to scale to (below).
    std::vector<int> rows;
    if (pointSet && !m_pairedRows("Scale ratio", rows))
        return std::numeric_limits<float>::quiet_NaN();
    const float R = m_highDimensionalRadius(false);
    const float r = m_radius2D(true, rows);
    scale = IsUsableRadius(R) && IsUsableRadius(r) ? R / r : 1.0f;
    return scale;
}

}  // namespace Zelvo
