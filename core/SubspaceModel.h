#pragma once

#include "HDpointSet.h"
#include "LabelingResult.h"
#include "SubspaceDescriptor.h"

#include <memory>

namespace Zelvo {

// A subspace clustering: the class of every point and the basis of every subspace.
class SubspaceModel {
public:
    SubspaceModel(std::unique_ptr<LabelingResult> labeling, std::unique_ptr<SubspaceDescriptor> descriptor);

    LabelingResult* GetLabeling() const { return m_labeling.get(); }
    SubspaceDescriptor* GetDescriptor() const { return m_descriptor.get(); }
    // Number of subspaces; -1 without a labeling.
    int GetSubspaceNum() const;
    // The points of subspace s (all dimensions, index order) as a new set; null for an
    // unknown subspace.
    std::unique_ptr<HDpointSet<float>> GetSubspacePointSet(HDpointSet<float>* set, int s) const;

private:
    std::unique_ptr<LabelingResult> m_labeling;
    std::unique_ptr<SubspaceDescriptor> m_descriptor;
};

}  // namespace Zelvo
