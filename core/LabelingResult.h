#pragma once

#include <vector>

namespace Zelvo {

// One class label per point and the point indices of each class. Labels are renumbered
// densely by rank (the smallest label becomes class 0, the next distinct label class 1, ...),
// which for contiguous labels is the same as shifting by the minimum.
class LabelingResult {
public:
    explicit LabelingResult(const std::vector<int>& labels);

    int GetNumOfClass() const { return m_classCount; }
    int GetMinLabel() const { return m_minLabel; }
    int GetMaxLabel() const { return m_maxLabel; }
    const std::vector<int>& GetLabels() const { return m_labels; }
    // Indices of the points of class c in index order; null for an unknown class.
    std::vector<int>* GetAllIndicesInClass(int c);

private:
    int m_classCount = 0;
    int m_minLabel = 0;
    int m_maxLabel = 0;
    std::vector<int> m_labels;
    std::vector<std::vector<int>> m_classMembers;
    bool m_membersFilled = false;
};

}  // namespace Zelvo
