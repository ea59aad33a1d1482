// The serialised cluster-tree text (clustering results and imported hierarchies): a text
// that parses gives a tree whose leaves, written again from their index lists and parsed,
// hold the same indices in the same order.
#include "ClusteringResult.h"
#include "FuzzSupport.h"
#include "hNode.h"

#include <string>
#include <vector>

namespace {

std::vector<std::vector<int>> LeafLists(Zelvo::hNode* root)
{
    std::vector<std::vector<int>> lists;
    for (Zelvo::hNode* leaf : root->GetAllChildrenLeafNode())
        if (!leaf->pointIndices.empty()) lists.push_back(leaf->pointIndices);
    return lists;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    Zelvo::ClusteringResult result;
    result.SetSerializedHierarchyString(std::string(reinterpret_cast<const char*>(data), size));
    Zelvo::hNode* root = result.GetRoot();
    FUZZ_CHECK(result.GetRoot() == root);  // parsed once, then kept
    if (!root) return 0;
    FUZZ_CHECK(root->parent == nullptr);
    FUZZ_CHECK(result.GetTreeDepth(root) >= 1);
    const std::vector<std::vector<int>> lists = LeafLists(root);

    // Each leaf becomes one cluster of one leaf per index; the indices come back in order.
    Zelvo::ClusteringResult rewritten;
    rewritten.SetClusteringIndexArray(lists);
    Zelvo::hNode* again = rewritten.GetRoot();
    FUZZ_CHECK(again != nullptr);
    std::vector<int> flat;
    for (const auto& list : lists) flat.insert(flat.end(), list.begin(), list.end());
    std::vector<int> flatAgain;
    for (Zelvo::hNode* cluster : again->children)
        for (Zelvo::hNode* leaf : cluster->children) {
            FUZZ_CHECK(leaf->isLeaf && leaf->pointIndices.size() == 1);
            flatAgain.push_back(leaf->pointIndices[0]);
        }
    FUZZ_CHECK(flatAgain == flat);
    FUZZ_CHECK(again->children.size() == lists.size());
    return 0;
}
