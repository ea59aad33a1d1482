#pragma once

#include <cstddef>  // HDpoint.h uses size_t without including it

#include "HDpoint.h"
#include "hNode.h"

#include <memory>
#include <string>
#include <vector>

namespace Zelvo {

// A clustering kept as its serialised hierarchy text:
//   '+' opens a node whose text runs from two places after the '+' to the next ')';
//   "N..." is an internal node, "L<i>,<j>,..." a leaf with point indices; '-' closes the
//   current node; every other character is skipped.
// The tree is parsed from the text on the first GetRoot() and kept from then on.
class ClusteringResult {
public:
    ClusteringResult();
    ~ClusteringResult();
    ClusteringResult(const ClusteringResult&) = delete;
    ClusteringResult& operator=(const ClusteringResult&) = delete;

    void SetSerializedHierarchyString(const std::string& text);
    const std::string& GetSerializedHierarchyString() const { return m_serializedHierarchy; }
    // Direct access for readers that fill the text in place.
    std::string& SerializedHierarchyString() { return m_serializedHierarchy; }

    // One cluster per non-empty list, one leaf per index, under a single root.
    void SetClusteringIndexArray(const std::vector<std::vector<int>>& clusters);
    // One cluster per distinct label, in ascending label order. Null counts as no points.
    void SetFlatClusteringLabel(const std::vector<int>* labels);

    // The root of the parsed tree; null when the text holds no well-formed tree.
    hNode* GetRoot();
    // Levels in the subtree of node: 0 for null, 1 for a leaf or a childless node.
    int GetTreeDepth(const hNode* node) const;

    // How the leaves of the tree name the points 0 .. pointCount - 1 of a set.
    struct PointCover {
        size_t named = 0;     // indices in the leaves, repeats and strays included
        size_t outside = 0;   // indices below 0 or past the set
        size_t repeated = 0;  // indices of a point named before
        size_t missing = 0;   // points of the set that no leaf names
        bool Exact() const { return outside == 0 && repeated == 0 && missing == 0; }
    };
    // Without a tree every point is missing.
    PointCover CountPointCover(int pointCount);

    // Renumbers the tree as the point set is numbered after the rows in deleted (ascending,
    // distinct) were taken out: a deleted point leaves its leaf, a node left without points
    // leaves its parent, every later index closes up, and the text is written again from the
    // tree. A root left without points stays as an internal node without children ("+(N)").
    // Nodes keep their addresses, so clusters built on the kept ones stay valid. False when
    // there is no tree.
    bool RemovePoints(const std::vector<int>& deleted);

    void SetDescription(const std::string& description) { m_description = description; }
    const std::string& GetDescription() const { return m_description; }

    void SetCenters(std::vector<HDpoint<float>> centers) { m_centers = std::move(centers); }
    const std::vector<HDpoint<float>>& GetCenters() const { return m_centers; }
    std::vector<HDpoint<float>>& GetCenters() { return m_centers; }

    // Every node the parser created, including ones not reachable from the root.
    size_t GetNodeCount() const { return m_allNodes.size(); }

private:
    bool _buildTreeFromSerializedString();
    // The text of the tree below m_root, in the form SetClusteringIndexArray writes.
    void _writeSerializedStringFromTree();
    hNode* _createNode(hNode* parent, size_t textBegin, size_t textEnd);

    std::string m_serializedHierarchy;
    std::string m_description;
    hNode* m_root = nullptr;
    std::vector<std::unique_ptr<hNode>> m_allNodes;
    std::vector<HDpoint<float>> m_centers;
    bool m_parseFailed = false;  // the current text was tried and rejected
};

}  // namespace Zelvo
