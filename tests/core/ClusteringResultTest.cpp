#include "ClusteringResult.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

using Zelvo::ClusteringResult;
using Zelvo::hNode;

namespace {

// Canonical nested form of a (small) tree: N[...] for internal nodes, L<i,j> for leaves.
std::string Dump(const hNode* node)
{
    if (!node)
        return "null";
    std::string out;
    if (node->isLeaf) {
        out = "L";
        for (size_t i = 0; i < node->pointIndices.size(); ++i)
            out += (i ? "," : "") + std::to_string(node->pointIndices[i]);
    } else {
        out = "N";
    }
    if (!node->children.empty()) {
        out += "[";
        for (size_t i = 0; i < node->children.size(); ++i) {
            EXPECT_EQ(node->children[i]->parent, node);
            out += (i ? " " : "") + Dump(node->children[i]);
        }
        out += "]";
    }
    return out;
}

std::string ParseAndDump(const std::string& text, std::string* output = nullptr)
{
    ClusteringResult result;
    result.SetSerializedHierarchyString(text);
    std::string dump;
    const std::string printed = TestSupport::CaptureStdout([&] {
        hNode* root = result.GetRoot();
        if (root) {
            EXPECT_EQ(root->parent, nullptr);
        }
        dump = Dump(root);
    });
    if (output)
        *output = printed;
    return dump;
}

std::vector<int> LeafIndices(hNode* node)
{
    std::vector<int> indices;
    for (hNode* leaf : node->GetAllChildrenLeafNode())
        indices.insert(indices.end(), leaf->pointIndices.begin(), leaf->pointIndices.end());
    return indices;
}

}  // namespace

TEST(ClusteringResultWriters, IndexListsGiveTheDocumentedText)
{
    ClusteringResult result;
    result.SetClusteringIndexArray({{0, 2}, {}, {1}});
    EXPECT_EQ(result.GetSerializedHierarchyString(), "+(N)+(N)+(L0)-+(L2)--(N)+(N)+(L1)--(N)");
    EXPECT_EQ(Dump(result.GetRoot()), "N[N[L0 L2] N[L1]]");
    EXPECT_EQ(result.GetTreeDepth(result.GetRoot()), 3);

    ClusteringResult empty;
    empty.SetClusteringIndexArray({{}, {}});
    EXPECT_EQ(empty.GetSerializedHierarchyString(), "+(N)");
    EXPECT_EQ(Dump(empty.GetRoot()), "N");
    EXPECT_EQ(empty.GetTreeDepth(empty.GetRoot()), 1);
    EXPECT_TRUE(empty.GetRoot()->GetAllChildrenLeafNode().empty());

    ClusteringResult large;
    large.SetClusteringIndexArray({{2147483647, -2147483647}});
    EXPECT_EQ(large.GetSerializedHierarchyString(), "+(N)+(N)+(L2147483647)-+(L-2147483647)--(N)");
}

TEST(ClusteringResultWriters, LabelsGroupByDistinctValueInAscendingOrder)
{
    ClusteringResult result;
    result.SetCenters({Zelvo::HDpoint<float>({1.0f}), Zelvo::HDpoint<float>({2.0f})});
    const std::vector<int> labels{1, 1, 3};
    TestSupport::CaptureStdout([&] { result.SetFlatClusteringLabel(&labels); });
    EXPECT_EQ(result.GetSerializedHierarchyString(), "+(N)+(N)+(L0)-+(L1)--(N)+(N)+(L2)--(N)");

    // Negative and scattered labels form their groups without indexing by value.
    ClusteringResult scattered;
    const std::vector<int> odd{7, -5, 2000000000, -5, 7};
    TestSupport::CaptureStdout([&] { scattered.SetFlatClusteringLabel(&odd); });
    EXPECT_EQ(Dump(scattered.GetRoot()), "N[N[L1 L3] N[L0 L4] N[L2]]");

    const std::vector<int> emptyLabels;
    for (const std::vector<int>* none : {&emptyLabels, static_cast<const std::vector<int>*>(nullptr)}) {
        ClusteringResult nothing;
        TestSupport::CaptureStdout([&] { nothing.SetFlatClusteringLabel(none); });
        EXPECT_EQ(nothing.GetSerializedHierarchyString(), "+(N)");
    }
}

TEST(ClusteringResultWriters, RandomLabelsRoundTripToTheLevelOneClusters)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 1 + int(rng() % 300);
        const int spread = 1 + int(rng() % 20);
        const int offset = (trial % 3 == 0) ? -10 : 0;
        std::vector<int> labels(static_cast<size_t>(n));
        std::map<int, std::vector<int>> expected;
        for (int i = 0; i < n; ++i) {
            labels[size_t(i)] = offset + int(rng() % unsigned(spread)) * (trial % 2 ? 1 : 3);
            expected[labels[size_t(i)]].push_back(i);
        }
        ClusteringResult result;
        TestSupport::CaptureStdout([&] { result.SetFlatClusteringLabel(&labels); });

        ClusteringResult reread;  // as a stored result comes back: the text only
        reread.SetSerializedHierarchyString(result.GetSerializedHierarchyString());
        hNode* root = reread.GetRoot();
        ASSERT_NE(root, nullptr);
        ASSERT_EQ(root->children.size(), expected.size());
        size_t c = 0;
        for (const auto& group : expected) {
            hNode* cluster = root->children[c++];
            EXPECT_FALSE(cluster->isLeaf);
            EXPECT_EQ(LeafIndices(cluster), group.second) << "label " << group.first;
        }
        EXPECT_EQ(reread.GetTreeDepth(root), 3);
        EXPECT_EQ(reread.GetNodeCount(), 1 + expected.size() + size_t(n));
    }
}

TEST(ClusteringResultParser, GrammarDetails)
{
    // Blanks, line ends and "(N)" after a closing sign change nothing.
    EXPECT_EQ(ParseAndDump(" +(N)\n +(N) +(L0) -(N)+(L2)-\t-(N)+(N)+(L1)--(N)\n"), "N[N[L0 L2] N[L1]]");
    // Several indices in one leaf, read as atoi reads them.
    EXPECT_EQ(ParseAndDump("+(N)+(L3,12, 5,x,7y,99999999999)-"), "N[L3,12,5,0,7,2147483647]");
    // A leaf without a closing bracket runs to the end of the text.
    EXPECT_EQ(ParseAndDump("+(N)+(L4"), "N[L4]");
    // Nodes left open at the end are accepted (the hierarchical writer leaves them so).
    EXPECT_EQ(ParseAndDump("+(N)+(L0)-+(N)+(L1)-+(L2)"), "N[L0 N[L1 L2]]");
    // Breadth-first member order.
    ClusteringResult result;
    result.SetSerializedHierarchyString("+(N)+(N)+(L5)-+(N)+(L7)---+(L2)-");
    EXPECT_EQ(LeafIndices(result.GetRoot()), (std::vector<int>{2, 5, 7}));
    EXPECT_EQ(result.GetTreeDepth(result.GetRoot()), 4);
    hNode* leaf = result.GetRoot()->children[1];
    EXPECT_EQ(leaf->GetAllChildrenLeafNode(), std::vector<hNode*>{leaf});
    EXPECT_EQ(result.GetTreeDepth(leaf), 1);
    EXPECT_EQ(result.GetTreeDepth(nullptr), 0);
}

TEST(ClusteringResultParser, SecondTopLevelNodeIsKeptButNotReachable)
{
    ClusteringResult result;
    result.SetSerializedHierarchyString("+(N)+(L0)--+(N)+(L1)-");
    hNode* root = result.GetRoot();
    EXPECT_EQ(Dump(root), "N[L0]");
    EXPECT_EQ(result.GetNodeCount(), 4u);
}

TEST(ClusteringResultParser, TreeIsBuiltOnceAndKept)
{
    ClusteringResult result;
    result.SetClusteringIndexArray({{0}, {1}});
    hNode* first = result.GetRoot();
    result.SetClusteringIndexArray({{0, 1, 2}});
    EXPECT_EQ(result.GetSerializedHierarchyString(), "+(N)+(N)+(L0)-+(L1)-+(L2)--(N)");
    EXPECT_EQ(result.GetRoot(), first);
    EXPECT_EQ(Dump(result.GetRoot()), "N[N[L0] N[L1]]");
}

TEST(ClusteringResultParser, MalformedTextsGiveNoRoot)
{
    const char* corpus[] = {
        "", "abc", "(N)", "+", "+(", "+(N)+", "+(N)+(", "+()", "+)", "+(N)--", "-", "-+(N)",
        "+(X)", "+(N)+(Q1)-", "+(n)", "+(N+(L1))", "+(L-1)-", "+(N)+(L1+2)", "+(N)+(L1)---",
    };
    for (const char* text : corpus) {
        std::string printed;
        EXPECT_EQ(ParseAndDump(text, &printed), "null") << '"' << text << '"';
        EXPECT_EQ(printed.rfind("Error: malformed cluster hierarchy", 0), 0u) << printed;
    }

    // Callers see "no clusters"; the failed parse is not repeated for the same text.
    ClusteringResult result;
    result.SetClusteringIndexArray({{-1}});
    std::string printed = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(result.GetRoot(), nullptr);
        EXPECT_EQ(result.GetRoot(), nullptr);
        EXPECT_EQ(result.GetTreeDepth(result.GetRoot()), 0);
        EXPECT_EQ(result.GetNodeCount(), 0u);
    });
    EXPECT_EQ(printed.rfind("Error: malformed cluster hierarchy", 0), 0u) << printed;
    EXPECT_EQ(printed.find("Error", 1), std::string::npos) << "parsed twice: " << printed;
    // A new text is parsed afresh.
    result.SetClusteringIndexArray({{4}});
    ASSERT_NE(result.GetRoot(), nullptr);
    EXPECT_EQ(Dump(result.GetRoot()), "N[N[L4]]");
}

TEST(ClusteringResultParser, RandomTextsNeverBreakTheTree)
{
    std::mt19937 rng(3);
    const std::string alphabet = "+-()NLx0123456789, ";
    for (int trial = 0; trial < 3000; ++trial) {
        std::string text;
        const int length = int(rng() % 40);
        for (int i = 0; i < length; ++i)
            text += alphabet[rng() % alphabet.size()];
        ClusteringResult result;
        result.SetSerializedHierarchyString(text);
        TestSupport::CaptureStdout([&] {
            hNode* root = result.GetRoot();
            if (!root) {
                EXPECT_EQ(result.GetNodeCount(), 0u);
                return;
            }
            const int depth = result.GetTreeDepth(root);
            EXPECT_GE(depth, 1);
            EXPECT_LE(size_t(depth), result.GetNodeCount());
            for (hNode* leaf : root->GetAllChildrenLeafNode())
                EXPECT_TRUE(leaf->isLeaf);
            Dump(root);  // checks every parent link
        });
    }
}

TEST(ClusteringResultParser, HundredThousandPointChain)
{
    // A single-linkage chain: every merge adds one point to the cluster below it.
    const int n = 100000;
    std::string text;
    text.reserve(size_t(n) * 20);
    for (int k = 0; k + 1 < n; ++k)
        text += "+(N)+(L" + std::to_string(k) + ")-";
    text += "+(L" + std::to_string(n - 1) + ")";

    auto result = std::make_unique<ClusteringResult>();
    result->SetSerializedHierarchyString(text);
    hNode* root = result->GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(result->GetNodeCount(), size_t(2 * n - 1));
    EXPECT_EQ(result->GetTreeDepth(root), n);
    const std::vector<int> members = LeafIndices(root);
    ASSERT_EQ(members.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(members[size_t(i)], i);
    result.reset();  // freeing the chain must not recurse either
}

namespace {

TEST(ClusteringResultRemovePoints, RenumbersTheTreeAndItsTextAsTheSetCloses)
{
    const struct {
        const char* text;
        std::vector<int> deleted;
        const char* tree;  // after the deletion, as parsed from the text written again
    } cases[] = {
        // A leaf loses its point, later indices close up; an index past the set stays
        // outside the set.
        {"+(N)+(N)+(L0)-+(L3)--(N)+(N)+(L1,2)-+(L9)--(N)", {0}, "N[N[L2] N[L0,1 L8]]"},
        // An emptied cluster leaves the tree; deeper trees keep their shape.
        {"+(N)+(N)+(L0)-+(L1)--(N)+(N)+(N)+(L2)-+(L3)--(N)+(L4)--(N)", {0, 1}, "N[N[N[L0 L1] L2]]"},
        // Emptiness climbs: a node whose only child was emptied goes with it.
        {"+(N)+(N)+(N)+(L0)--(N)+(L1)--(N)+(L2)-", {0}, "N[N[L0] L1]"},
        // A node left with one child keeps it; one written without children stays.
        {"+(N)+(N)+(L0)-+(L1)--(N)+(N)-+(L2)-", {1}, "N[N[L0] N L1]"},
        {"+(N)+(L0)-+(L1)-+(L2)-", {}, "N[L0 L1 L2]"},
        {"+(L0,1,2)-", {1}, "L0,1"},
        // With every point gone the root has no children (a leaf's empty text would read as 0).
        {"+(L0,1,2)-", {0, 1, 2}, "N"},
        {"+(N)+(N)+(L0)--(N)+(N)+(L1)--(N)", {0, 1}, "N"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ClusteringResult result;
        result.SetSerializedHierarchyString(c.text);
        hNode* root = result.GetRoot();
        ASSERT_TRUE(result.RemovePoints(c.deleted));
        EXPECT_EQ(result.GetRoot(), root) << "the nodes stay where they were";
        EXPECT_EQ(Dump(root), c.tree);
        EXPECT_EQ(ParseAndDump(result.GetSerializedHierarchyString()), c.tree);
    }
    ClusteringResult malformed;
    malformed.SetSerializedHierarchyString("(N)");
    TestSupport::CaptureStdout([&] { EXPECT_FALSE(malformed.RemovePoints({0})); });
}

}  // namespace

namespace {

// A flat clustering renumbered after a deletion and stored reads back as the clustering built
// afresh from the kept points' labels: the same text, so the same clusters in the same order.
TEST(ClusteringResultRemovePoints, RenumberedAndStoredEqualsBuiltFromTheKeptLabels)
{
    const std::vector<int> labels{0, 0, 1, 1, 1, 2, 0, 2, 3, 3, 1, 2};
    std::vector<std::vector<int>> deletions{
        {}, {0}, {11}, {0, 11}, {8, 9} /* cluster 3 */, {2, 3, 4, 10} /* cluster 1 */,
        {0, 1, 6, 8, 9} /* clusters 0 and 3 */, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
    };
    std::mt19937 rng(5);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<int> deleted;
        for (int i = 0; i < int(labels.size()); ++i)
            if (rng() % 3 == 0) deleted.push_back(i);
        deletions.push_back(deleted);
    }
    for (const std::vector<int>& deleted : deletions) {
        SCOPED_TRACE(::testing::PrintToString(deleted));
        std::vector<int> keptLabels;
        for (int i = 0; i < int(labels.size()); ++i)
            if (!std::binary_search(deleted.begin(), deleted.end(), i)) keptLabels.push_back(labels[size_t(i)]);
        ClusteringResult renumbered, fresh;
        TestSupport::CaptureStdout([&] {
            renumbered.SetFlatClusteringLabel(&labels);
            fresh.SetFlatClusteringLabel(&keptLabels);
        });
        ASSERT_TRUE(renumbered.RemovePoints(deleted));
        EXPECT_EQ(renumbered.GetSerializedHierarchyString(), fresh.GetSerializedHierarchyString());

        ClusteringResult stored;
        stored.SetSerializedHierarchyString(renumbered.GetSerializedHierarchyString());
        ASSERT_NE(stored.GetRoot(), nullptr);
        EXPECT_EQ(Dump(stored.GetRoot()), Dump(fresh.GetRoot()));
        EXPECT_TRUE(stored.CountPointCover(int(keptLabels.size())).Exact());
        for (const hNode* cluster : stored.GetRoot()->children)
            EXPECT_FALSE(LeafIndices(const_cast<hNode*>(cluster)).empty()) << "an empty cluster";
    }
}

TEST(ClusteringResultCover, CountsStraysRepeatsAndGaps)
{
    const struct {
        const char* text;
        int points;
        size_t named, outside, repeated, missing;
    } cases[] = {
        {"+(N)+(N)+(L0)-+(L2)--(N)+(N)+(L1)--(N)", 3, 3, 0, 0, 0},
        {"+(N)+(N)+(L0)-+(L2)--(N)+(N)+(L1)--(N)", 5, 3, 0, 0, 2},
        {"+(N)+(L0,3)-+(L1,0,0)-+(L7)-", 3, 6, 2, 2, 1},
        {"+(N)+(L0,1)-+(L2,1)-", 3, 4, 0, 1, 0},
        {"+(N)", 0, 0, 0, 0, 0},
        {"+(N)", 2, 0, 0, 0, 2},
        {"(no tree)", 4, 0, 0, 0, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ClusteringResult result;
        result.SetSerializedHierarchyString(c.text);
        ClusteringResult::PointCover cover;
        TestSupport::CaptureStdout([&] { cover = result.CountPointCover(c.points); });
        EXPECT_EQ(cover.named, c.named);
        EXPECT_EQ(cover.outside, c.outside);
        EXPECT_EQ(cover.repeated, c.repeated);
        EXPECT_EQ(cover.missing, c.missing);
        EXPECT_EQ(cover.Exact(), c.outside + c.repeated + c.missing == 0);
    }
}

}  // namespace
