#include "EmbeddingResult.h"

#include "BatchTimer.h"
#include "Log.h"
#include "MemoryBudget.h"
#include "ParallelJobs.h"
#include "RankEntry.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <limits>
#include <new>

namespace Zelvo {

namespace {

// Columns a job of the column visits takes at once.
constexpr int kColumnsPerJob = 16;
// At most this much goes to blocks and parts beyond the least a pass needs, so that more
// threads and blocks may run at once.
constexpr double kSpareBytes = 128.0 * 1024 * 1024;

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
    // Sums and densities over the points are over the remaining ones now.
    m_hdSumsValid = false;
    m_hdDensity.clear();
    return true;
}

EmbeddingResult::KeptRows EmbeddingResult::m_keptRows() const
{
    KeptRows kept;
    if (std::find(m_pointSetRows.begin(), m_pointSetRows.end(), -1) == m_pointSetRows.end())
        return kept;
    kept.compact.assign(static_cast<size_t>(pointCount), -1);
    for (int i = 0; i < pointCount; ++i) {
        if (m_pointSetRows[i] < 0)
            continue;
        kept.compact[i] = static_cast<int>(kept.rows.size());
        kept.rows.push_back(i);
    }
    return kept;
}

void EmbeddingResult::KeptRows::Compact(Eigen::ArrayXf& values) const
{
    if (!Any())
        return;
    Eigen::ArrayXf kept(static_cast<Eigen::Index>(rows.size()));
    for (size_t k = 0; k < rows.size(); ++k)
        kept[static_cast<Eigen::Index>(k)] = values[rows[k]];
    values.swap(kept);
}

const float* EmbeddingResult::KeptRows::Gather(const float* column, std::vector<float>& scratch) const
{
    if (!Any())
        return column;
    scratch.resize(rows.size());
    for (size_t k = 0; k < rows.size(); ++k)
        scratch[k] = column[rows[k]];
    return scratch.data();
}

void EmbeddingResult::KeptRows::Scatter(std::vector<float>& values, int pointCount) const
{
    if (!Any())
        return;
    std::vector<float> all(static_cast<size_t>(pointCount), 0.0f);
    for (size_t k = 0; k < rows.size(); ++k)
        all[rows[k]] = values[k];
    values.swap(all);
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
            const float x = originalPositions[2 * static_cast<size_t>(i)];
            const float y = originalPositions[2 * static_cast<size_t>(i) + 1];
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

void EmbeddingResult::SetHDSquaredDistanceBlocks(std::unique_ptr<SquaredDistanceBlocks> blocks)
{
    SetHDSquaredDistance(Eigen::MatrixXf());
    m_hdSquaredDistanceBlocks = std::move(blocks);
}

const Eigen::MatrixXf& EmbeddingResult::GetHDSquaredDistance()
{
    if (m_hdSquaredDistanceBlocks && !m_materializeDistanceMatrix("The high-dimensional distance matrix")) {
        static const Eigen::MatrixXf none;
        return none;
    }
    return hdSquaredDistance;
}

void EmbeddingResult::SetHDSquaredDistance(Eigen::MatrixXf&& distances)
{
    m_hdSquaredDistanceBlocks.reset();
    hdSquaredDistance = std::move(distances);
    m_hdSumsValid = false;
    m_hdDensity.clear();
    m_hdDensityBandWidth = 0;
}

bool EmbeddingResult::m_materializeDistanceMatrix(const char* user)
{
    const double bytes = static_cast<double>(pointCount) * pointCount * sizeof(float);
    try {
        if (!m_hdSquaredDistanceBlocks) return true;
        SquaredDistanceBlocks& blocks = *m_hdSquaredDistanceBlocks;
        const int count = blocks.PointCount();
        if (count != pointCount)
            return true;  // the measures refuse it by its size
        const double partBytes = static_cast<double>(blocks.PartBytes());
        const double least = bytes + blocks.PassBytes() + partBytes;
        if (!MemoryBudget::Allows(user, least)) return false;
        ParallelJobs jobs;
        const double spare = std::clamp(static_cast<double>(MemoryBudget::Bytes()) - least, 0.0, kSpareBytes);
        const int threads = partBytes > 0 ? static_cast<int>(std::min<double>(jobs.Count(), 1 + spare / partBytes))
                                          : jobs.Count();
        Eigen::MatrixXf whole(count, count);
        if (!blocks.BeginPass(jobs.Count())) return false;
        // Every part of every block at once: the blocks are the matrix's own columns.
        const int width = blocks.BlockWidth();
        std::vector<std::pair<int, int>> parts;
        for (int first = 0; first < count; first += width)
            for (int part = 0; part < blocks.PartCount(first); ++part) parts.emplace_back(first, part);
        std::atomic<bool> failed{false};
        jobs.Run(static_cast<int>(parts.size()), [&](int index, int worker) {
            if (failed) return;
            const auto& p = parts[index];
            if (!blocks.FillPart(p.first, p.second, worker, whole.data() + static_cast<size_t>(p.first) * count))
                failed = true;
        }, threads);
        blocks.EndPass();
        if (failed) return false;
        SetHDSquaredDistance(std::move(whole));
        return true;
    } catch (const std::exception& e) {
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        Log::Printf("Error: %s of %d points: %s\n", user, pointCount, memory ? "not enough memory" : e.what());
        if (m_hdSquaredDistanceBlocks) m_hdSquaredDistanceBlocks->EndPass();
        return false;
    }
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
    using Measure = bool (EmbeddingResult::*)(std::vector<float>&, float&);
    Measure measure = nullptr;
    if (name == "Stress")
        measure = &EmbeddingResult::m_calculateStress;
    else if (name == "Robust")
        measure = &EmbeddingResult::m_calculateRobustDistanceDistortion;
    else if (name == "KDE")
        measure = &EmbeddingResult::m_calculateKDEdistortion;
    else if (name == "Corank")
        measure = &EmbeddingResult::m_calculateCorankDistortion;
    if (!measure) return nullptr;
    // Computed aside, so that a refusal leaves the previous values and the caller's total.
    std::vector<float> values;
    float sum = 0;
    try {
        if (!(this->*measure)(values, sum)) return nullptr;
    } catch (const std::bad_alloc&) {
        Log::Printf("Error: %s distortion of %d points: not enough memory\n", name.c_str(), pointCount);
        return nullptr;
    } catch (const std::exception& e) {
        Log::Printf("Error: %s distortion of %d points failed: %s\n", name.c_str(), pointCount, e.what());
        return nullptr;
    }
    perPointDistortion.swap(values);
    total = sum;
    return &perPointDistortion;
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
    const std::string user = std::string(measure) + " distortion";
    if (m_hdSquaredDistanceBlocks) {
        const Eigen::Index count = m_hdSquaredDistanceBlocks->PointCount();
        return m_fitsPointCount(count, count, user.c_str(), "high-dimensional distance matrix");
    }
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

bool EmbeddingResult::m_visitDistanceColumns(const char* measure, double extraBytes, ParallelJobs& jobs,
                                             const ColumnVisit& visit)
{
    const std::string user = std::string(measure) + " distortion";
    const int n = pointCount;
    // Blocks small enough are kept whole after their first use, as a handed matrix is.
    if (m_hdSquaredDistanceBlocks) {
        const SquaredDistanceBlocks& blocks = *m_hdSquaredDistanceBlocks;
        const double whole = static_cast<double>(n) * n * sizeof(float);
        const double least = whole + blocks.PassBytes() + static_cast<double>(blocks.PartBytes()) + extraBytes;
        if (whole > static_cast<double>(MemoryBudget::KeepBytes()) || least > static_cast<double>(MemoryBudget::Bytes()))
            return m_visitDistanceBlocks(user.c_str(), extraBytes, jobs, visit);
        if (!m_materializeDistanceMatrix(user.c_str())) return false;
    }
    if (!MemoryBudget::Allows(user.c_str(), extraBytes)) return false;
    const int groups = (n + kColumnsPerJob - 1) / kColumnsPerJob;
    jobs.Run(groups, [&](int group, int worker) {
        const int last = std::min(n, (group + 1) * kColumnsPerJob);
        for (int c = group * kColumnsPerJob; c < last; ++c) visit(c, hdSquaredDistance.col(c).data(), worker);
    });
    return true;
}

// Waves of whole blocks: their parts are filled on all threads, then their columns visited.
bool EmbeddingResult::m_visitDistanceBlocks(const char* user, double extraBytes, ParallelJobs& jobs,
                                            const ColumnVisit& visit)
{
    SquaredDistanceBlocks& blocks = *m_hdSquaredDistanceBlocks;
    const int n = pointCount;
    const int width = std::max(1, std::min(blocks.BlockWidth(), n));
    const int blockCount = static_cast<int>((int64_t(n) + width - 1) / width);
    const double blockBytes = static_cast<double>(n) * width * sizeof(float);
    const double partBytes = static_cast<double>(blocks.PartBytes());
    const double least = blockBytes + blocks.PassBytes() + partBytes + extraBytes;
    if (!MemoryBudget::Allows(user, least)) return false;
    const double spare = std::clamp(static_cast<double>(MemoryBudget::Bytes()) - least, 0.0, kSpareBytes);
    const int fillThreads =
        partBytes > 0 ? static_cast<int>(std::min<double>(jobs.Count(), 1 + spare / 2 / partBytes)) : jobs.Count();
    const int wave = static_cast<int>(std::min<double>(blockCount, 1 + spare / 2 / blockBytes));

    std::vector<float> columns(static_cast<size_t>(wave) * width * static_cast<size_t>(n));
    if (!blocks.BeginPass(jobs.Count())) return false;
    struct Part {
        int first;
        int part;
        float* out;
    };
    std::vector<Part> parts;
    std::atomic<bool> failed{false};
    try {
        for (int block = 0; block < blockCount && !failed; block += wave) {
            const int firstColumn = block * width;
            const int lastColumn = static_cast<int>(std::min<int64_t>(n, (int64_t(block) + wave) * width));
            parts.clear();
            for (int first = firstColumn; first < lastColumn; first += width) {
                float* out = columns.data() + static_cast<size_t>(first - firstColumn) * n;
                for (int part = 0; part < blocks.PartCount(first); ++part) parts.push_back(Part{first, part, out});
            }
            jobs.Run(static_cast<int>(parts.size()), [&](int index, int worker) {
                if (failed) return;
                const Part& p = parts[index];
                if (!blocks.FillPart(p.first, p.part, worker, p.out)) failed = true;
            }, fillThreads);
            if (failed) break;
            const int groups = (lastColumn - firstColumn + kColumnsPerJob - 1) / kColumnsPerJob;
            jobs.Run(groups, [&](int group, int worker) {
                const int first = firstColumn + group * kColumnsPerJob;
                const int last = std::min(lastColumn, first + kColumnsPerJob);
                for (int c = first; c < last; ++c)
                    visit(c, columns.data() + static_cast<size_t>(c - firstColumn) * n, worker);
            });
        }
    } catch (...) {
        blocks.EndPass();
        throw;
    }
    blocks.EndPass();
    return !failed;
}

bool EmbeddingResult::m_calculateStress(std::vector<float>& values, float& total)
{
    TimerScope timer("Stress");
    return m_calculateDistanceDeviation("Stress", true, values, total);
}

bool EmbeddingResult::m_calculateRobustDistanceDistortion(std::vector<float>& values, float& total)
{
    TimerScope timer("RDD");
    return m_calculateDistanceDeviation("Robust", false, values, total);
}

// Per point i: sum_j (D_ij - d_ij)^2 / sum D^2 (squared) or sum_j |D_ij - d_ij| / sum D.
// D_ij is read from column i (hdSquaredDistance(j, i)), so each row walks contiguous memory.
// Negative entries (round-off of squared distances) count as 0 before the root. Each column
// is summed on its own and the columns are added up in order, whichever thread took them.
bool EmbeddingResult::m_calculateDistanceDeviation(const char* measure, bool squared, std::vector<float>& values,
                                                   float& total)
{
    if (!m_hasDistanceMatrix(measure))
        return false;
    // After a deletion only the remaining points take part, as in a data set of those alone;
    // a deleted point's value is 0.
    const KeptRows kept = m_keptRows();
    const int n = kept.Any() ? kept.Count() : pointCount;
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    kept.Compact(x);
    kept.Compact(y);
    const bool needSums = !m_hdSumsValid;
    std::vector<double> deviation(n), columnSumSquared(needSums ? n : 0), columnSum(needSums ? n : 0);
    ParallelJobs jobs;
    // A gathered column per thread when points were deleted.
    std::vector<std::vector<float>> scratch(jobs.Count());
    const double extraBytes = static_cast<double>(n) * (2 * sizeof(float) + 3 * sizeof(double) + sizeof(float)) +
                              (kept.Any() ? static_cast<double>(jobs.Count()) * n * sizeof(float) : 0.0);
    const bool visited = m_visitDistanceColumns(measure, extraBytes, jobs, [&](int c, const float* column, int worker) {
        const int i = kept.Any() ? kept.compact[c] : c;
        if (i < 0)
            return;
        const Eigen::Map<const Eigen::ArrayXf> D2(kept.Gather(column, scratch[worker]), n);
        const auto hd = D2.max(0.0f).sqrt();
        const auto d2 = ((x - x[i]).square() + (y - y[i]).square()).sqrt();
        deviation[i] = squared ? (hd - d2).square().sum() : (hd - d2).abs().sum();
        if (needSums) {
            const auto positive = D2.max(0.0f);
            columnSumSquared[i] = positive.cast<double>().sum();
            columnSum[i] = positive.sqrt().cast<double>().sum();
        }
    });
    if (!visited)
        return false;
    if (needSums) {
        m_hdSumSquared = 0;
        m_hdSum = 0;
        for (int i = 0; i < n; ++i) {
            m_hdSumSquared += columnSumSquared[i];
            m_hdSum += columnSum[i];
        }
        m_hdSumsValid = true;
    }
    values.assign(n, 0.0f);
    total = 0;
    const double normaliser = squared ? m_hdSumSquared : m_hdSum;
    if (normaliser > 0) {
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            const float value = static_cast<float>(deviation[i] / normaliser);
            values[i] = value;
            sum += value;
        }
        total = static_cast<float>(sum);
    }
    kept.Scatter(values, pointCount);
    return true;
}

// rho_i = 1 / (n h) * sum_j exp(-dist_ij / (2h)) / h, in 2-D and in the high-dimensional
// space; the high-dimensional densities depend only on the distances and h and are kept.
bool EmbeddingResult::m_calculateKDEdistortion(std::vector<float>& values, float& total)
{
    TimerScope timer("KDE");
    const float h = kdeBandWidth;
    if (!std::isfinite(h) || h <= 0.0f) {
        Log::Printf("Error: KDE distortion needs a finite bandwidth above 0, have %g\n", h);
        return false;
    }
    if (!m_hasDistanceMatrix("KDE"))
        return false;
    // After a deletion only the remaining points take part (see the deviations above).
    const KeptRows kept = m_keptRows();
    const int n = kept.Any() ? kept.Count() : pointCount;
    // A density reaches 1 / h^2 (all points on one place) and the total n / h^2; with room for
    // the rounding of the sums, both stay floats while 2 n / h^2 does.
    const double smallest = std::sqrt(2.0 * n / FLT_MAX);
    if (static_cast<double>(h) < smallest) {
        Log::Printf("Error: KDE distortion of %d points needs a bandwidth of at least %g, have %g: a smaller one "
                    "makes the densities too large for a float\n",
                    n, smallest, h);
        return false;
    }
    const float exponentScale = -1.0f / (2.0f * h);
    const double normalisation = 1.0 / (static_cast<double>(n) * h * h);
    ParallelJobs jobs;

    // The rows of the 2-D pass below are taken in groups of at most 16 MB of kernels: each row's
    // kernels are evaluated on their own (so exactly as one row at a time would be), then
    // added to the later points' sums in row order.
    const int64_t groupLimit = std::min<int64_t>(int64_t(16) << 20, MemoryBudget::Bytes() / 4);
    const int groupRows = static_cast<int>(
        std::max<int64_t>(1, std::min<int64_t>({256, n - 1, groupLimit / (int64_t(n) * 4 + 1)})));
    std::vector<std::vector<float>> scratch(jobs.Count());
    const double extraBytes = static_cast<double>(n) * sizeof(float) * (4 + groupRows) + groupRows * sizeof(float) +
                              (kept.Any() ? static_cast<double>(jobs.Count()) * n * sizeof(float) : 0.0);

    if (m_hdDensity.size() != static_cast<size_t>(n) || m_hdDensityBandWidth != h) {
        std::vector<float> density(n);
        const bool visited = m_visitDistanceColumns("KDE", extraBytes, jobs, [&](int c, const float* column, int worker) {
            const int i = kept.Any() ? kept.compact[c] : c;
            if (i < 0)
                return;
            const auto hd = Eigen::Map<const Eigen::ArrayXf>(kept.Gather(column, scratch[worker]), n).max(0.0f).sqrt();
            density[i] = static_cast<float>((hd * exponentScale).exp().sum() * normalisation);
        });
        if (!visited)
            return false;
        m_hdDensity.swap(density);
        m_hdDensityBandWidth = h;
    } else if (!MemoryBudget::Allows("KDE distortion", extraBytes)) {
        return false;
    }

    // 2-D distances are symmetric: each pair's kernel is evaluated once and added to both
    // points; the pair (i, i) contributes exp(0) = 1.
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    kept.Compact(x);
    kept.Compact(y);
    Eigen::ArrayXf kernelSums = Eigen::ArrayXf::Ones(n);
    std::vector<Eigen::ArrayXf> kernels(groupRows, Eigen::ArrayXf(n));
    std::vector<float> rowSums(groupRows);
    for (int g0 = 0; g0 + 1 < n; g0 += groupRows) {
        const int rowsInGroup = std::min(groupRows, n - 1 - g0);
        jobs.Run(rowsInGroup, [&](int r, int) {
            const int i = g0 + r;
            const Eigen::Index rest = n - i - 1;
            Eigen::ArrayXf& kernel = kernels[r];
            kernel.head(rest) =
                (((x.tail(rest) - x[i]).square() + (y.tail(rest) - y[i]).square()).sqrt() * exponentScale).exp();
            rowSums[r] = kernel.head(rest).sum();
        });
        // Point j takes the kernels of the group's rows before it in row order, and its own
        // row's sum after them, as the row-by-row loop adds them.
        const int span = std::max(1024, (n - g0) / (4 * jobs.Count()) / 16 * 16);
        const int spans = (n - g0 + span - 1) / span;
        jobs.Run(spans, [&](int s, int) {
            const int lo = g0 + s * span;
            const int hi = std::min(n, lo + span);
            float* sums = kernelSums.data();
            for (int r = 0; r < rowsInGroup; ++r) {
                const int i = g0 + r;
                const int from = std::max(lo, i + 1);
                const float* kernel = kernels[r].data() + (from - i - 1);
                for (int j = from; j < hi; ++j) sums[j] += kernel[j - from];
                if (i >= lo && i < hi) sums[i] += rowSums[r];
            }
        });
    }
    values.assign(n, 0.0f);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const float density = static_cast<float>(kernelSums[i] * normalisation);
        const float value = std::abs(m_hdDensity[i] - density);
        values[i] = value;
        sum += value;
    }
    total = static_cast<float>(sum);
    kept.Scatter(values, pointCount);
    return true;
}

// Counts, per point, the points that are among its K + 1 nearest both in 2-D and in the
// point set's high-dimensional ranking (rank at most K). Neither rank matrix is built: the
// point set finds each point's K + 1 first by rank, and each row keeps its K + 1 nearest in
// 2-D in a bounded max-heap, which most points leave at the first comparison.
bool EmbeddingResult::m_calculateCorankDistortion(std::vector<float>& values, float& total)
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
    const int hdWidth = std::min(K, setCount - 1) + 1;

    // Only the rows that still have a point take part; a deleted row's value is 0.
    std::vector<int> kept;
    for (int i = 0; i < pointCount; ++i)
        if (rows[i] >= 0) kept.push_back(i);
    const int n = static_cast<int>(kept.size());
    // The K + 1 nearest in 2-D are at most all points; K itself may be as large as an int goes.
    const size_t inSet = static_cast<size_t>(std::min(K, n - 1) + 1);
    ParallelJobs jobs;
    // What this pass holds beside the high-dimensional rows (which the point set counts with
    // it): the row pairing, the positions, the counts and the values, and each thread's scratch.
    const double perThread = static_cast<double>(n) * sizeof(float) + static_cast<double>(setCount) * sizeof(int) +
                             static_cast<double>(inSet) * sizeof(rankEntry);
    const double extraBytes = static_cast<double>(pointCount) * (sizeof(int) + 3 * sizeof(float)) +
                              static_cast<double>(n) * (2 * sizeof(int) + 2 * sizeof(float)) + perThread * jobs.Count();
    const std::shared_ptr<const std::vector<int>> hdNearest =
        pointSet->GetRankNeighbours(K, "Corank distortion", extraBytes);
    if (!hdNearest)
        return false;

    Eigen::ArrayXf allX, allY;
    m_splitModifiedPositions(allX, allY);
    Eigen::ArrayXf x(n), y(n);
    for (int k = 0; k < n; ++k) {
        x[k] = allX[kept[k]];
        y[k] = allY[kept[k]];
    }
    // Per thread: the 2-D distances of one row, its heap, and a mark per point-set row that
    // tells the high-dimensional neighbours of the row at hand.
    struct Scratch {
        Eigen::ArrayXf squared;
        std::vector<rankEntry> nearest;
        std::vector<int> mark;
    };
    std::vector<Scratch> scratch(jobs.Count());
    std::vector<int> counts(n);
    constexpr int kRowsPerJob = 64;
    jobs.Run((n + kRowsPerJob - 1) / kRowsPerJob, [&](int job, int worker) {
        Scratch& s = scratch[worker];
        if (s.mark.empty()) {
            s.squared.resize(n);
            s.nearest.reserve(inSet);
            s.mark.assign(setCount, -1);
        }
        const int last = std::min(n, (job + 1) * kRowsPerJob);
        for (int i = job * kRowsPerJob; i < last; ++i) {
            s.squared = (x - x[i]).square() + (y - y[i]).square();
            s.nearest.clear();
            for (int j = 0; j < n; ++j) {
                const float d = s.squared[j];
                if (s.nearest.size() < inSet) {
                    s.nearest.push_back(rankEntry{j, d});
                    std::push_heap(s.nearest.begin(), s.nearest.end(), sortEntry());
                } else if (d < s.nearest.front().distance) {
                    std::pop_heap(s.nearest.begin(), s.nearest.end(), sortEntry());
                    s.nearest.back() = rankEntry{j, d};
                    std::push_heap(s.nearest.begin(), s.nearest.end(), sortEntry());
                }
            }
            const int row = rows[kept[i]];
            const int* hd = hdNearest->data() + static_cast<size_t>(row) * hdWidth;
            for (int r = 0; r < hdWidth; ++r) s.mark[hd[r]] = i;
            int count = 0;
            for (const rankEntry& e : s.nearest) {
                if (s.mark[rows[kept[e.index]]] == i)
                    ++count;
            }
            counts[i] = count;
        }
    });
    values.assign(pointCount, 0.0f);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const float value = static_cast<float>(counts[i]) / static_cast<float>(K);
        values[kept[i]] = -value;
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
