#pragma once

#include "HDpoint.h"
#include "PointSetState.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Zelvo {

// The points of the loaded data set: N points of D named dimensions, point after point,
// the selection of dimensions (mask), the normalisation state, per-dimension statistics
// and derived buffers (normalised, packed, centre, radius, rank matrix) built on demand.
//
// Derived buffers remember the points, mask and state they were built from; a buffer that
// no longer matches is rebuilt when it is next read (the packed rows, the centre, the
// average radius, the rank matrix), never read as zeros or in an old numbering.
template <typename T>
class HDpointSet {
public:
    HDpointSet();
    virtual ~HDpointSet() = default;
    virtual int GetPointCount();  // values / D, 0 when D is 0

    void UpdateDimensionMinMaxMeanVariance();
    // Validates the whole list (in range, distinct) before removing anything; sorts it.
    bool DeleteHDpoints(std::vector<int>& indices);
    // Packs the selected dimensions in the current state; null for state 3.
    std::vector<T>* GetPackedRawDataArray(bool regenerate);
    void generateMinMaxNormalizationBuffer();
    void generateMeanVarNormalizationBuffer();
    void ResetNormalizationBuffers();
    std::string GetDimensionLabel(int d);
    void calculateCenterPoint();
    void calculateAverageRadius();
    HDpoint<T> GetPackedHDpoint(int i);  // K zeros only for an index out of range or state 3
    // Nothing, after an "Error: ..." line, when the N x N matrix would not fit the memory
    // budget (MemoryBudget).
    void CalculateRankMatrix();
    // For every point, the points whose rank in its row of the rank matrix is at most K, as
    // CalculateRankMatrix ranks them (equal distances in index order), found without the
    // N x N matrix: N rows of min(K + 1, N) point indices, nearest first. alsoBytes: what the
    // caller holds beside the rows while it reads them, checked with them against the memory
    // budget. The set keeps the rows for the next call (until the packed buffer is built
    // again) only while they fit MemoryBudget::KeepBytes(); otherwise they go when the caller
    // lets go of them. Null after an "Error: ..." line naming user when the points give no
    // packed buffer or the rows, the memory to find them and alsoBytes would not fit the
    // memory budget together.
    std::shared_ptr<const std::vector<int>> GetRankNeighbours(int K, const char* user, double alsoBytes = 0);
    HDpointSet<T>* GetSampledPointSet(const std::vector<int>& indices);  // caller owns
    std::vector<T>* GetPackedMeanVector();

    // Number of selected dimensions (set bits of the mask).
    int GetSelectedDimensionCount() const;
    // Row length K and row count of the packed buffer as it was last built.
    int GetPackedWidth() const { return m_packedWidth; }
    int GetPackedPointCount() const { return m_packedPointCount; }
    // The average radius of the packed points as they are now (recomputed when the points,
    // mask or state changed since it was computed, or when it is 0).
    float GetAverageRadius();
    // Changes whenever the point numbering changes (points deleted, a new set read in):
    // whatever pairs its own rows with this set's rows remembers it to notice.
    uint64_t GetNumbering() const { return m_numbering; }
    // True for the points of a volume: they fill its x * y * z grid, which its voxel labels
    // follow, so none of them can be deleted.
    bool FillsGrid() const { return m_kind == 1 || m_spatialY > 1 || m_spatialZ > 1; }

    // Plain data, filled by the readers and the data profile.
    unsigned char m_kind = 0;           // 0 point data, 1 volume data
    int m_spatialX = 0, m_spatialY = 0, m_spatialZ = 0;
    int64_t m_dimension = 0;            // D, refreshed from the mask size before use
    std::vector<bool> m_dimMask;        // bit d set = dimension d selected
    std::vector<std::string> m_dimLabels;
    bool m_computeAverageRadius = true;
    std::vector<T> m_dimMin, m_dimMax, m_dimMean, m_dimVariance;
    std::vector<T> m_packedMean;
    std::vector<T> m_values;            // N x D
    std::vector<T> m_minMaxBuffer;      // N x D, empty until needed
    std::vector<T> m_meanVarBuffer;     // N x D, empty until needed
    std::vector<T> m_packedBuffer;      // N x K
    PointSetState m_state = PointSetOriginal;
    float m_averageRadius = 0;
    std::vector<T> m_centerPoint;       // K
    std::vector<std::vector<int>> m_rankMatrix;  // N x N

private:
    // D from the mask size, as every operation reads it.
    int64_t m_refreshDimension();
    // What a derived buffer was built from; the values themselves change only with the
    // numbering (deletion clears every buffer, a read replaces the whole set).
    struct BuildKey {
        std::vector<bool> mask;
        PointSetState state = PointSetOriginal;
        int pointCount = -1;
        bool operator==(const BuildKey& other) const
        {
            return pointCount == other.pointCount && state == other.state && mask == other.mask;
        }
    };
    BuildKey m_currentKey();
    // True when the packed buffer was built for the current points, mask and state.
    bool m_packedBufferIsCurrent();
    // Builds the packed buffer; null for state 3. No average radius.
    std::vector<T>* m_pack();
    // True when the packed buffer is current after repacking if it had to be.
    bool m_ensurePacked();
    // Computes the statistics when they do not cover every dimension yet.
    void m_ensureStatistics();
    // Drops every buffer derived from the point numbering.
    void m_invalidateDerivedBuffers();

    int m_packedWidth = 0;
    int m_packedPointCount = 0;
    std::vector<bool> m_packedMask;     // mask the packed buffer was built with
    PointSetState m_packedState = PointSetOriginal;
    BuildKey m_radiusKey;               // what m_averageRadius was computed from
    BuildKey m_rankKey;                 // what m_rankMatrix was computed from
    uint64_t m_numbering;
    uint64_t m_packing = 0;             // counts the builds of the packed buffer
    std::shared_ptr<const std::vector<int>> m_rankNeighbours;  // GetRankNeighbours, and what it was found from
    int m_rankNeighbourWidth = -1;
    uint64_t m_rankNeighbourPacking = 0;
};

}  // namespace Zelvo
