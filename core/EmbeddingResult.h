#pragma once

#include "HDpointSet.h"
#include "MinimalEnclosingBall.h"
#include "SquaredDistanceBlocks.h"

#include <Eigen/Core>

#include <functional>
#include <memory>

#include <string>
#include <vector>

namespace Zelvo {

class ParallelJobs;

// One 2-D position of an embedded point.
struct Position2D {
    float x;
    float y;
};

// One 2-D embedding of a point set: the computed positions, a copy the user may drag,
// scaling to the size of the high-dimensional data and per-point distortion measures
// against the high-dimensional distances. Subclasses add a method-specific cost.
//
// Vectors returned by pointer are owned by the result and stay valid until the next call
// of the same operation. Operations that cannot produce a number for every point print a
// line and return null instead of reading out of range or handing back NaN.
//
// The distortion measures never throw and never hold an n x n matrix they were not handed:
// without a stored matrix they read the distances a block of columns at a time, on several
// threads, with the values and summation order of the whole matrix. A measure that would
// still need more than the memory budget (MemoryBudget) says so in an "Error: ..." line and
// returns null, leaving its previous values and the caller's total as they were.
class EmbeddingResult {
public:
    EmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set);
    virtual ~EmbeddingResult();
    EmbeddingResult(const EmbeddingResult&) = delete;
    EmbeddingResult& operator=(const EmbeddingResult&) = delete;

    virtual std::vector<float>* GetPerPointCost(float& total);
    virtual std::vector<float>* GetSelectedPointNeighborHood(std::vector<int>& selected);
    // name: "Stress", "Robust", "KDE" or "Corank"; any other name returns null. Null too,
    // after an "Error: ..." line, when the measure cannot be computed or would not fit the
    // memory budget.
    virtual std::vector<float>* GetPerPointDistortion(float& total, std::string name);

    void SetPointSetPointer(HDpointSet<float>* set);
    // After points were deleted from the set, the point-set row that each embedding row
    // stands for (-1: deleted). Without it, the measures that pair embedding rows with
    // point-set rows (Co-ranking, the scale ratio, scaling) refuse an embedding older than
    // its point set. False with an "Error ..." line unless there is one entry per embedding
    // row, each -1 or a distinct row of the point set as it is now.
    bool SetPointSetRows(const std::vector<int>& rows);
    // The embedding row that shows each row of the point set as it is now (-1: none), or false
    // after the same line as the measures print when the rows cannot be paired.
    bool GetEmbeddingRowOfPointSetRow(const char* user, std::vector<int>& embeddingRow) const;
    void updateMinMax();
    std::vector<float>* GetOriginalEmbededPosition() { return &originalPositions; }
    void SetModifiedEmbeddedPosition(std::vector<float>& p);
    Position2D Get2Dpoint(int i) const;
    void ReCalculateDistanceMatrix() {}
    // Both return NaN with an "Error ..." line when the embedding is older than the point
    // set and no translation of its rows was given; deleted rows take no part.
    float AutoScaling(bool useMEB);
    float GetScaleDifference();

    // The engine hands over its n x n high-dimensional distance matrix (squared distances,
    // geodesic distances for Isomap); moved, never copied.
    void SetHDSquaredDistance(Eigen::MatrixXf&& distances);
    // For a matrix that only the distortion measures read: made a block of columns at a time
    // when they ask, with the same values, so an embedding that is never measured does not pay
    // n x n time and memory; the measures keep the whole matrix only while it is small
    // (MemoryBudget::KeepBytes).
    void SetHDSquaredDistanceBlocks(std::unique_ptr<SquaredDistanceBlocks> blocks);
    // The whole matrix, made now when it was handed over as a source; an empty matrix after an
    // "Error: ..." line when it would not fit the memory budget or could not be made.
    const Eigen::MatrixXf& GetHDSquaredDistance();

    std::vector<float> originalPositions;  // pointCount x dim, point after point
    std::vector<float> modifiedPositions;  // same layout, changed by dragging
    int dim = 0;
    int pointCount = 0;
    float scale = 1.0f;
    float centerX = 0, centerY = 0;
    float meanRadius2D = 0;
    bool useMEB = false;
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    HDpointSet<float>* pointSet = nullptr;  // borrowed; must outlive the result
    std::vector<bool> dimMask;
    std::vector<std::vector<int>> neighborLists;
    std::vector<float> perPointCost;
    std::vector<float> perPointDistortion;
    std::vector<float> neighborhoodIndicator;
    bool costDirty = true;
    float kdeBandWidth = 3.0f;
    int corankK = 10;
    MinimalEnclosingBall meb2D;

protected:
    // Starts the named batch timer and stops it when the scope ends.
    class TimerScope {
    public:
        explicit TimerScope(const char* name);
        ~TimerScope();
        TimerScope(const TimerScope&) = delete;
        TimerScope& operator=(const TimerScope&) = delete;

    private:
        const char* m_name;
    };

    // Marks every neighbour of each selected point with 1.0; indices out of range are skipped.
    std::vector<float>* m_markSelectedNeighbors(const std::vector<int>& selected);
    // True when a matrix is pointCount x pointCount; otherwise prints
    // "Error: <user> needs a n x n <matrix>, have r x c".
    bool m_fitsPointCount(Eigen::Index rows, Eigen::Index cols, const char* user, const char* matrix) const;
    // The modified positions as two contiguous coordinate arrays.
    void m_splitModifiedPositions(Eigen::ArrayXf& x, Eigen::ArrayXf& y) const;

    Eigen::MatrixXf hdSquaredDistance;

private:
    using ColumnVisit = std::function<void(int column, const float* values, int worker)>;

    std::unique_ptr<SquaredDistanceBlocks> m_hdSquaredDistanceBlocks;
    // Each measure fills values and total; false (after an "Error: ..." line) leaves both
    // untouched.
    bool m_calculateStress(std::vector<float>& values, float& total);
    bool m_calculateRobustDistanceDistortion(std::vector<float>& values, float& total);
    // The embedding rows of the points still in the set, when some were deleted since the
    // embedding was made: the measures then take the remaining points alone, as a data set of
    // those points would.
    struct KeptRows {
        std::vector<int> rows;     // ascending embedding rows still there; empty: nothing deleted
        std::vector<int> compact;  // per embedding row its place in rows, or -1
        bool Any() const { return !compact.empty(); }
        int Count() const { return static_cast<int>(rows.size()); }
        // values of every row -> values of the kept rows (nothing when nothing was deleted).
        void Compact(Eigen::ArrayXf& values) const;
        // One column of every row's distances as the kept rows' column (in scratch).
        const float* Gather(const float* column, std::vector<float>& scratch) const;
        // Kept rows' values -> every row's, 0 at a deleted row.
        void Scatter(std::vector<float>& values, int pointCount) const;
    };
    KeptRows m_keptRows() const;
    bool m_calculateDistanceDeviation(const char* measure, bool squared, std::vector<float>& values, float& total);
    bool m_calculateKDEdistortion(std::vector<float>& values, float& total);
    bool m_calculateCorankDistortion(std::vector<float>& values, float& total);
    bool m_hasDistanceMatrix(const char* measure);
    // Visits every column of the high-dimensional distances once, visit(column, values,
    // worker) with pointCount values, on the threads of jobs; false after an "Error: ..."
    // line. extraBytes: what the measure holds besides, for the budget.
    bool m_visitDistanceColumns(const char* measure, double extraBytes, ParallelJobs& jobs, const ColumnVisit& visit);
    bool m_visitDistanceBlocks(const char* user, double extraBytes, ParallelJobs& jobs, const ColumnVisit& visit);
    // Makes the whole matrix from the blocks; false after an "Error: ..." line
    // naming user when it would not fit the memory budget or could not be made.
    bool m_materializeDistanceMatrix(const char* user);
    float m_radius2D(bool useMEB, const std::vector<int>& rows);
    // The point-set row of every embedding row (-1: deleted), or false after a line saying
    // why the rows cannot be paired with the point set's.
    bool m_pairedRows(const char* user, std::vector<int>& rows) const;
    float m_highDimensionalRadius(bool useMEB);

    // Sums over the high-dimensional distances alone, built once per matrix.
    bool m_hdSumsValid = false;
    double m_hdSumSquared = 0;  // sum of D_ij^2
    double m_hdSum = 0;         // sum of D_ij
    // High-dimensional kernel densities for the bandwidth they were built with.
    std::vector<float> m_hdDensity;
    float m_hdDensityBandWidth = 0;
    // The point set's numbering the rows were paired with, and the pairing (empty: row i
    // is point-set row i).
    uint64_t m_rowsNumbering = 0;
    std::vector<int> m_pointSetRows;
};

}  // namespace Zelvo
