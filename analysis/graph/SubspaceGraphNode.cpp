#include "SubspaceGraphNode.h"

#include "DimReductionFactory.h"
#include "LinearProjection.h"
#include "LinearProjectionEmbeddingResult.h"

namespace Zelvo {

SubspaceGraphNode::SubspaceGraphNode(HDpointSet<float>* set, distanceFunctor& f, SubspaceModel* m, int subspace)
    : subspaceModel(m),
      pointSet(set),
      pcaEngine(DimReductionFactory::FromPCAFactory(f))
{
    id = subspace;
    estimate2DBasis();
}

SubspaceGraphNode::~SubspaceGraphNode() = default;

Eigen::MatrixXf* SubspaceGraphNode::m_modelBasis()
{
    if (!subspaceModel || !subspaceModel->GetDescriptor() || id < 0) return nullptr;
    std::vector<Eigen::MatrixXf>& bases = subspaceModel->GetDescriptor()->bases;
    if (static_cast<size_t>(id) >= bases.size()) return nullptr;
    return &bases[id];
}

Eigen::MatrixXf* SubspaceGraphNode::GetSubspaceBasis()
{
    Eigen::MatrixXf* basis = embedding ? m_modelBasis() : nullptr;
    return basis && basis->size() != 0 ? basis : nullptr;
}

std::unique_ptr<HDpointSet<float>> SubspaceGraphNode::m_packedSubspacePoints()
{
    LabelingResult* labeling = subspaceModel ? subspaceModel->GetLabeling() : nullptr;
    const std::vector<int>* members = labeling ? labeling->GetAllIndicesInClass(id) : nullptr;
    const std::vector<float>* packed = pointSet->GetPackedRawDataArray(false);
    if (!members || !packed) return nullptr;
    const int width = pointSet->GetPackedWidth();
    const int count = pointSet->GetPackedPointCount();

    auto subset = std::make_unique<HDpointSet<float>>();
    subset->m_dimension = width;
    subset->m_dimMask.assign(width, true);
    subset->m_computeAverageRadius = false;
    subset->m_values.reserve(members->size() * static_cast<size_t>(width));
    for (int index : *members) {
        if (index < 0 || index >= count) continue;
        const auto row = packed->begin() + static_cast<size_t>(index) * width;
        subset->m_values.insert(subset->m_values.end(), row, row + width);
    }
    return subset;
}

void SubspaceGraphNode::estimate2DBasis()
{
    m_setOwnedEmbedding(nullptr);
    const Eigen::MatrixXf* basis = m_modelBasis();
    if (!basis || !pointSet) return;

    Eigen::MatrixXf plane;
    if (basis->cols() == 2) {
        plane = *basis;
    } else {
        // The principal axes must live in the space the projection reads, so the PCA runs on
        // the same packed (normalised, selected) values that the plane then projects.
        std::unique_ptr<HDpointSet<float>> points = m_packedSubspacePoints();
        if (!points || !pcaEngine) return;
        std::unique_ptr<EmbeddingResult> pca = pcaEngine->DoEmbeding(points.get(), 2);
        auto* axes = dynamic_cast<LinearProjectionEmbeddingResult*>(pca.get());
        if (!axes) return;
        plane = axes->basis;
    }
    LinearProjection projection(plane);
    m_setOwnedEmbedding(projection.DoEmbeding(pointSet, 2));
}

}  // namespace Zelvo
