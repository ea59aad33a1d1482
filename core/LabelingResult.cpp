#include "LabelingResult.h"

#include <algorithm>

namespace Zelvo {

LabelingResult::LabelingResult(const std::vector<int>& labels) : m_labels(labels)
{
    std::vector<int> distinct(labels);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    m_classCount = static_cast<int>(distinct.size());
    m_classMembers.resize(distinct.size());
    if (distinct.empty()) return;
    m_minLabel = distinct.front();
    m_maxLabel = distinct.back();
    for (int& label : m_labels)
        label = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), label) - distinct.begin());
}

std::vector<int>* LabelingResult::GetAllIndicesInClass(int c)
{
    if (c < 0 || c >= m_classCount) return nullptr;
    if (!m_membersFilled) {
        for (int i = 0; i < static_cast<int>(m_labels.size()); ++i) m_classMembers[m_labels[i]].push_back(i);
        m_membersFilled = true;
    }
    return &m_classMembers[c];
}

}  // namespace Zelvo
