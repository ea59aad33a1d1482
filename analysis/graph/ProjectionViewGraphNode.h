#pragma once

#include "EmbeddingResult.h"
#include "GraphNodeModelInterface.h"

#include <Eigen/Core>

#include <memory>

namespace Zelvo {

// A node of a view transition graph: one 2-D linear projection of the point set.
class ProjectionViewGraphNode : public GraphNodeModelInterface {
public:
    ProjectionViewGraphNode();
    // A view of an embedding that the caller keeps alive as long as the node.
    ProjectionViewGraphNode(EmbeddingResult* e, int id);
    // A view that owns its embedding; null when the projection failed.
    ProjectionViewGraphNode(std::unique_ptr<EmbeddingResult> e, int id);
    ~ProjectionViewGraphNode() override;
    ProjectionViewGraphNode(const ProjectionViewGraphNode&) = delete;
    ProjectionViewGraphNode& operator=(const ProjectionViewGraphNode&) = delete;

    // Twice the Grassmannian distance between the two nodes' bases; NaN when either node
    // has no basis or the other node is no view.
    float DistanceFromNode(GraphNodeModelInterface* other) override;
    // The projection basis of the view; null without a linear-projection embedding.
    virtual Eigen::MatrixXf* GetSubspaceBasis();

    // No embedding (an owned one is released), flags false, id -2.
    void initParams();

    EmbeddingResult* embedding = nullptr;
    bool isAdded = false;     // made by AddEmbeddingResult
    bool addFlag = false;     // the flag given to AddEmbeddingResult
    bool isSelected = false;  // read by NodeSelectionChanged
    int id = -2;              // subspace index, or running number of an added view

protected:
    void m_setOwnedEmbedding(std::unique_ptr<EmbeddingResult> e);

private:
    std::unique_ptr<EmbeddingResult> m_ownedEmbedding;
};

}  // namespace Zelvo
