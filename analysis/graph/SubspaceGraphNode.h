#pragma once

#include "DimReductionInterface.h"
#include "HDpointSet.h"
#include "ProjectionViewGraphNode.h"
#include "SubspaceModel.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// The overview of one subspace: the whole point set projected onto a 2-D basis of the
// subspace (its own basis when it has two columns, else the first two principal axes of
// the subspace's points). Its distance to other nodes is measured with the subspace's full
// basis.
class SubspaceGraphNode : public ProjectionViewGraphNode {
public:
    // Neither the set nor the model is owned; both must outlive the node.
    SubspaceGraphNode(HDpointSet<float>* set, distanceFunctor& f, SubspaceModel* m, int subspace);
    ~SubspaceGraphNode() override;

    // The subspace's basis from the model (all its columns); null when the overview has no
    // embedding or the subspace has no basis.
    Eigen::MatrixXf* GetSubspaceBasis() override;

    // Builds the overview's embedding; leaves none when the projection fails.
    void estimate2DBasis();

    SubspaceModel* subspaceModel = nullptr;
    HDpointSet<float>* pointSet = nullptr;
    std::unique_ptr<DimReductionInterface> pcaEngine;

private:
    // The subspace's basis in the model (empty for a missing basis file); null without one.
    Eigen::MatrixXf* m_modelBasis();
    // The subspace's points as the projection reads them: the point set's packed rows (its
    // selected dimensions in its current normalisation state), every column selected.
    std::unique_ptr<HDpointSet<float>> m_packedSubspacePoints();
};

}  // namespace Zelvo
