#include "LinearProjection.h"

#include "LinearProjectionEmbeddingResult.h"
#include "Log.h"

#include <new>

namespace Zelvo {

LinearProjection::LinearProjection(const Eigen::MatrixXf& basis) : m_basis(basis) {}

void LinearProjection::SetProjectionBasis(const Eigen::MatrixXf& basis)
{
    m_basis = basis;
}

std::unique_ptr<EmbeddingResult> LinearProjection::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    if (targetDim != m_basis.cols()) {
        Log::Printf("Error LinearProjection targetDim %d don't match the basisDim %ld\n", targetDim,
                    static_cast<long>(m_basis.cols()));
        return nullptr;
    }
    if (targetDim < 1) {
        Log::Printf("Error LinearProjection targetDim %d is not positive\n", targetDim);
        return nullptr;
    }
    if (!points) {
        Log::Puts("Error LinearProjection: no point set");
        return nullptr;
    }
    try {
        const int m = points->GetSelectedDimensionCount();
        if (m == 0) {
            Log::Puts("Error LinearProjection: no dimension is selected");
            return nullptr;
        }
        if (m_basis.rows() != m) {
            Log::Printf("Error LinearProjection basis has %ld rows for %d selected dimensions\n",
                        static_cast<long>(m_basis.rows()), m);
            return nullptr;
        }
        if (!m_basis.allFinite()) {
            Log::Puts("Error LinearProjection basis holds values that are not finite");
            return nullptr;
        }
        const std::vector<float>* packed = points->GetPackedRawDataArray(true);
        if (!packed) {
            Log::Printf("Error LinearProjection: normalisation state %d gives no packed data\n",
                        static_cast<int>(points->m_state));
            return nullptr;
        }
        const int n = points->GetPointCount();
        if (n <= 0 || packed->size() != static_cast<size_t>(n) * m) {
            Log::Printf("Error LinearProjection: packed data of %zu values for %d points of %d dimensions\n",
                        packed->size(), n, m);
            return nullptr;
        }

        using RowMajor = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
        const Eigen::Map<const RowMajor> rows(packed->data(), n, m);
        // The mean of the values projected, so that normalised data are centred too.
        Eigen::VectorXf mean = rows.cast<double>().colwise().mean().transpose().cast<float>();
        RowMajor positions = (rows.rowwise() - mean.transpose()) * m_basis;
        if (!positions.allFinite()) {
            Log::Puts("Error LinearProjection: the projection holds values that are not finite");
            return nullptr;
        }
        return std::make_unique<LinearProjectionEmbeddingResult>(positions.data(), targetDim, n, points, m_basis,
                                                                 mean);
    } catch (const std::bad_alloc&) {
        Log::Puts("Error LinearProjection: not enough memory");
        return nullptr;
    }
}

}  // namespace Zelvo
