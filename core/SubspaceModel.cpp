#include "SubspaceModel.h"

namespace Zelvo {

SubspaceModel::SubspaceModel(std::unique_ptr<LabelingResult> labeling, std::unique_ptr<SubspaceDescriptor> descriptor)
    : m_labeling(std::move(labeling)), m_descriptor(std::move(descriptor))
{
}

int SubspaceModel::GetSubspaceNum() const
{
    return m_labeling ? m_labeling->GetNumOfClass() : -1;
}

std::unique_ptr<HDpointSet<float>> SubspaceModel::GetSubspacePointSet(HDpointSet<float>* set, int s) const
{
    if (!set || !m_labeling) return nullptr;
    const std::vector<int>* indices = m_labeling->GetAllIndicesInClass(s);
    if (!indices) return nullptr;
    return std::unique_ptr<HDpointSet<float>>(set->GetSampledPointSet(*indices));
}

}  // namespace Zelvo
