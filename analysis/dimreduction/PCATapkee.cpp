#include "PCATapkee.h"

#include "ColumnDistanceBlocks.h"
#include "EmbeddingLibrary.h"
#include "LinearProjectionEmbeddingResult.h"
#include "Log.h"
#include "TapkeeEngineSupport.h"

#include <new>
#include <utility>

namespace Zelvo {

PCATapkee::PCATapkee(distanceFunctor& distance) : m_distance(distance) {}

std::unique_ptr<EmbeddingResult> PCATapkee::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    try {
        if (!points) {
            Log::Puts("Error PCA: no point set");
            return nullptr;
        }
        const int d = points->GetSelectedDimensionCount();
        const int n = points->GetPointCount();
        if (d == 0) {
            Log::Puts("Error PCA: no dimension is selected");
            return nullptr;
        }
        const std::vector<float>* packed = points->GetPackedRawDataArray(true);
        if (!packed) {
            Log::Printf("Error PCA: normalisation state %d gives no packed data\n", static_cast<int>(points->m_state));
            return nullptr;
        }
        if (n <= 0 || packed->size() != static_cast<size_t>(n) * d) {
            Log::Printf("Error PCA: packed data of %zu values for %d points of %d dimensions\n", packed->size(), n, d);
            return nullptr;
        }
        Log::Printf("Data matrix Row: %d  Col: %d\n", d, n);

        // Column j is packed point j: the packed buffer read as a d x n matrix.
        Eigen::MatrixXf data = Eigen::Map<const Eigen::MatrixXf>(packed->data(), d, n);
        const tapkee::ParameterSet parameters{tapkee::method(tapkee::PCA), tapkee::target_dimension(targetDim)};
        tapkee::TapkeeOutput output = tapkee::embedUsing(data, parameters);
        if (!TapkeeEngineSupport::AcceptEmbedding(output.embedding, n, targetDim, "PCA")) return nullptr;
        TapkeeEngineSupport::ToPointMajor(output.embedding);

        Eigen::MatrixXf& basis = output.projectionMatrix;
        if (basis.rows() == 0 && basis.cols() == 0) {
            Log::Puts("Error PCA: no projection matrix");
            return nullptr;
        }
        for (Eigen::Index c = 0; c < basis.cols(); ++c) {
            const float norm = basis.col(c).norm();
            if (norm > 0) basis.col(c) /= norm;
        }

        auto result = std::make_unique<LinearProjectionEmbeddingResult>(output.embedding.data(), targetDim, n,
                                                                         points, basis, output.mean);
        output = tapkee::TapkeeOutput();
        // Only the distortion measures read the n x n distances: made a block at a time when
        // they ask.
        result->SetHDSquaredDistanceBlocks(std::make_unique<ColumnDistanceBlocks>(std::move(data)));
        TapkeeEngineSupport::ReportRange("PCA", result->minX, result->maxX, result->minY, result->maxY);
        return result;
    } catch (const std::bad_alloc&) {
        TapkeeEngineSupport::ReportMemoryExhausted("PCA");
        return nullptr;
    }
}

}  // namespace Zelvo
