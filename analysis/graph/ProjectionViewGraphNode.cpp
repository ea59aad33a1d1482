#include "ProjectionViewGraphNode.h"

#include "LinearProjectionEmbeddingResult.h"
#include "SubspaceDistance.h"

#include <limits>

namespace Zelvo {

ProjectionViewGraphNode::ProjectionViewGraphNode() = default;

ProjectionViewGraphNode::ProjectionViewGraphNode(EmbeddingResult* e, int id) : embedding(e), id(id) {}

ProjectionViewGraphNode::ProjectionViewGraphNode(std::unique_ptr<EmbeddingResult> e, int id) : id(id)
{
    m_setOwnedEmbedding(std::move(e));
}

ProjectionViewGraphNode::~ProjectionViewGraphNode() = default;

void ProjectionViewGraphNode::m_setOwnedEmbedding(std::unique_ptr<EmbeddingResult> e)
{
    m_ownedEmbedding = std::move(e);
    embedding = m_ownedEmbedding.get();
}

void ProjectionViewGraphNode::initParams()
{
    m_ownedEmbedding.reset();
    embedding = nullptr;
    isAdded = false;
    addFlag = false;
    isSelected = false;
    id = -2;
}

Eigen::MatrixXf* ProjectionViewGraphNode::GetSubspaceBasis()
{
    auto* projection = dynamic_cast<LinearProjectionEmbeddingResult*>(embedding);
    return projection ? &projection->basis : nullptr;
}

float ProjectionViewGraphNode::DistanceFromNode(GraphNodeModelInterface* other)
{
    auto* view = dynamic_cast<ProjectionViewGraphNode*>(other);
    const Eigen::MatrixXf* mine = GetSubspaceBasis();
    const Eigen::MatrixXf* theirs = view ? view->GetSubspaceBasis() : nullptr;
    if (!mine || !theirs) return std::numeric_limits<float>::quiet_NaN();
    return 2.0f * SubspaceDistance(*mine, *theirs, GrassmanianSubspaceDistance);
}

}  // namespace Zelvo
