#include "hNode.h"

#include <cstddef>

namespace Zelvo {

std::vector<hNode*> hNode::GetAllChildrenLeafNode()
{
    std::vector<hNode*> leaves;
    // The queue is a vector read from a moving front: no allocation per node.
    std::vector<hNode*> queue{this};
    for (size_t front = 0; front < queue.size(); ++front) {
        hNode* node = queue[front];
        if (node->isLeaf)
            leaves.push_back(node);
        else
            queue.insert(queue.end(), node->children.begin(), node->children.end());
    }
    return leaves;
}

}  // namespace Zelvo
