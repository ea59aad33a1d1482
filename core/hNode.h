#pragma once

#include <vector>

namespace Zelvo {

// One node of a cluster tree: an internal node groups its children, a leaf holds point
// indices. Nodes are owned by the ClusteringResult that parsed them; the links here
// never own anything.
class hNode {
public:
    std::vector<hNode*> children;  // in the order the text opens them
    hNode* parent = nullptr;       // null for the root
    bool isLeaf = false;
    std::vector<int> pointIndices;  // leaf only, in text order

    // The leaves below this node in breadth-first order (a leaf gives itself).
    std::vector<hNode*> GetAllChildrenLeafNode();
};

}  // namespace Zelvo
