#include "ClusteringResult.h"

#include "Log.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <unordered_set>

namespace Zelvo {

namespace {

// Reads one index the way atoi does (leading blanks, optional sign, digits, 0 without
// digits), saturating instead of overflowing.
int ParseIndex(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    int64_t value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

void AppendInt(std::string& text, int value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    text.append(buffer, result.ptr);
}

// The distinct labels in ascending order. Labels usually span a short range, which a
// presence table covers in one pass; a wide spread falls back to sorting.
std::vector<int> DistinctAscending(const std::vector<int>& values)
{
    if (values.empty()) return {};
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const int64_t span = int64_t(*high) - int64_t(*low) + 1;
    std::vector<int> distinct;
    if (span <= 4 * int64_t(values.size()) + 64) {
        std::vector<char> present(size_t(span), 0);
        for (const int v : values) present[size_t(int64_t(v) - *low)] = 1;
        for (int64_t i = 0; i < span; ++i)
            if (present[size_t(i)]) distinct.push_back(int(*low + i));
        return distinct;
    }
    distinct = values;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    return distinct;
}

}  // namespace

ClusteringResult::ClusteringResult() = default;

// The nodes live in a flat owning list, so even a very deep tree is freed without recursion.
ClusteringResult::~ClusteringResult() = default;

void ClusteringResult::SetSerializedHierarchyString(const std::string& text)
{
    m_serializedHierarchy = text;
    m_parseFailed = false;
}

void ClusteringResult::SetClusteringIndexArray(const std::vector<std::vector<int>>& clusters)
{
    size_t indexCount = 0;
    for (const std::vector<int>& cluster : clusters)
        indexCount += cluster.size();

    std::string& text = m_serializedHierarchy;
    text.clear();
    text.reserve(4 + clusters.size() * 9 + indexCount * 12);
    text += "+(N)";  // the root stays open
    for (const std::vector<int>& cluster : clusters) {
        if (cluster.empty())
            continue;  // keeps the cluster numbering free of gaps
        text += "+(N)";
        for (int index : cluster) {
            text += "+(L";
            AppendInt(text, index);
            text += ")-";
        }
        text += "-(N)";
    }
    m_parseFailed = false;
}

void ClusteringResult::SetFlatClusteringLabel(const std::vector<int>* labels)
{
    static const std::vector<int> kNoLabels;
    const std::vector<int>& values = labels ? *labels : kNoLabels;

    std::vector<int> distinct = DistinctAscending(values);
    const int maxLabel = distinct.empty() ? -1 : distinct.back();
    Log::Printf("Cluster label count: %ld, cluster count: %d, maxLabel %d\n", long(distinct.size()),
                int(m_centers.size()), maxLabel);

    // One group per distinct label in ascending order: the same clusters as one list per
    // label 0..max with the empty ones dropped, and safe for any label value.
    std::vector<std::vector<int>> groups(distinct.size());
    const bool dense = !distinct.empty() && int64_t(distinct.back()) - distinct.front() < int64_t(distinct.size());
    for (size_t i = 0; i < values.size(); ++i) {
        size_t group;
        if (dense)
            group = size_t(int64_t(values[i]) - distinct.front());
        else
            group = size_t(std::lower_bound(distinct.begin(), distinct.end(), values[i]) - distinct.begin());
        groups[group].push_back(int(i));
    }
    SetClusteringIndexArray(groups);
}

hNode* ClusteringResult::GetRoot()
{
    if (!m_root && !m_parseFailed && !_buildTreeFromSerializedString())
        m_parseFailed = true;
    return m_root;
}

hNode* ClusteringResult::_createNode(hNode* parent, size_t textBegin, size_t textEnd)
{
    m_allNodes.push_back(std::make_unique<hNode>());
    hNode* node = m_allNodes.back().get();
    node->parent = parent;
    parent->children.push_back(node);

    const char* text = m_serializedHierarchy.data();
    if (text[textBegin] == 'L') {
        node->isLeaf = true;
        const char* field = text + textBegin + 1;
        const char* end = text + textEnd;
        for (;;) {
            const char* comma = std::find(field, end, ',');
            node->pointIndices.push_back(ParseIndex(field, comma));
            if (comma == end)
                break;
            field = comma + 1;
        }
    }
    return node;
}

bool ClusteringResult::_buildTreeFromSerializedString()
{
    const std::string& text = m_serializedHierarchy;
    const size_t size = text.size();
    m_allNodes.clear();

    hNode holder;  // temporary parent of the root; not kept
    hNode* current = &holder;
    const char* problem = nullptr;
    size_t position = 0;

    for (size_t i = 0; i < size && !problem; ++i) {
        const char c = text[i];
        if (c == '+') {
            size_t end = text.find(')', i);
            if (end == std::string::npos)
                end = size;
            const size_t begin = i + 2;
            position = i;
            if (begin >= end)
                problem = "node without text";
            else if (text[begin] != 'N' && text[begin] != 'L')
                problem = "node text is neither N nor L";
            else if (text.find_first_of("+-", i + 1) < end)
                problem = "sign inside a node text";
            else
                current = _createNode(current, begin, end);
        } else if (c == '-') {
            position = i;
            if (current == &holder)
                problem = "more closing signs than open nodes";
            else
                current = current->parent;
        }
    }
    if (!problem && holder.children.empty()) {
        problem = "no node";
        position = 0;
    }
    if (problem) {
        Log::Printf("Error: malformed cluster hierarchy (%s at %zu)\n", problem, position);
        m_allNodes.clear();
        m_root = nullptr;
        return false;
    }
    // Top-level nodes after the first are kept (and freed) but not reachable from the root.
    for (hNode* top : holder.children)
        top->parent = nullptr;
    m_root = holder.children.front();
    return true;
}

ClusteringResult::PointCover ClusteringResult::CountPointCover(int pointCount)
{
    PointCover cover;
    const size_t points = pointCount > 0 ? size_t(pointCount) : 0;
    std::vector<char> seen(points, 0);
    size_t distinct = 0;
    if (hNode* root = GetRoot()) {
        for (const hNode* leaf : root->GetAllChildrenLeafNode()) {
            for (const int index : leaf->pointIndices) {
                ++cover.named;
                if (index < 0 || size_t(index) >= points)
                    ++cover.outside;
                else if (seen[size_t(index)])
                    ++cover.repeated;
                else {
                    seen[size_t(index)] = 1;
                    ++distinct;
                }
            }
        }
    }
    cover.missing = points - distinct;
    return cover;
}

bool ClusteringResult::RemovePoints(const std::vector<int>& deleted)
{
    hNode* root = GetRoot();
    if (!root)
        return false;
    if (deleted.empty())
        return true;
    const auto newIndex = [&deleted](int index) {
        const auto at = std::lower_bound(deleted.begin(), deleted.end(), index);
        if (at != deleted.end() && *at == index)
            return -1;
        // Indices that named no point before (negative, or past the set) stay outside it.
        return index < 0 ? index : index - static_cast<int>(at - deleted.begin());
    };
    // Children before parents, so a node sees which of its children the deletion emptied.
    std::vector<hNode*> order{root};
    for (size_t front = 0; front < order.size(); ++front)
        if (!order[front]->isLeaf)
            order.insert(order.end(), order[front]->children.begin(), order[front]->children.end());
    // Only what the deletion emptied goes: a cluster with no points would be shown and stored
    // as one. A node that was written without children is part of the shape and stays.
    std::unordered_set<const hNode*> emptied;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        hNode* node = *it;
        if (node->isLeaf) {
            std::vector<int>& indices = node->pointIndices;
            for (int& index : indices)
                index = newIndex(index);
            indices.erase(std::remove(indices.begin(), indices.end(), -1), indices.end());
            if (indices.empty())  // a parsed leaf always names a point
                emptied.insert(node);
        } else {
            std::vector<hNode*>& children = node->children;
            const size_t before = children.size();
            children.erase(std::remove_if(children.begin(), children.end(),
                                          [&emptied](const hNode* child) { return emptied.count(child) > 0; }),
                           children.end());
            if (before > 0 && children.empty())
                emptied.insert(node);
        }
    }
    // A leaf's text without indices reads back as point 0: an emptied root is an empty
    // internal node instead.
    if (root->isLeaf && root->pointIndices.empty())
        root->isLeaf = false;
    _writeSerializedStringFromTree();
    return true;
}

void ClusteringResult::_writeSerializedStringFromTree()
{
    std::string text;
    const auto writeLeaf = [&text](const hNode* leaf) {
        text += "+(L";
        for (size_t k = 0; k < leaf->pointIndices.size(); ++k) {
            if (k > 0)
                text += ',';
            AppendInt(text, leaf->pointIndices[k]);
        }
        text += ")-";
    };
    // Depth first without recursion: a node is opened when reached and closed after its last
    // child; the root stays open, as the other writers leave it.
    std::vector<std::pair<const hNode*, size_t>> stack;
    if (m_root->isLeaf) {
        writeLeaf(m_root);
    } else {
        text += "+(N)";
        stack.emplace_back(m_root, 0);
    }
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next == node->children.size()) {
            stack.pop_back();
            if (!stack.empty())
                text += "-(N)";
            continue;
        }
        const hNode* child = node->children[next++];
        if (child->isLeaf) {
            writeLeaf(child);
        } else {
            text += "+(N)";
            stack.emplace_back(child, 0);
        }
    }
    m_serializedHierarchy = std::move(text);
    m_parseFailed = false;
}

int ClusteringResult::GetTreeDepth(const hNode* node) const
{
    if (!node)
        return 0;
    // Breadth first with the level of each node; a chain of any length uses no stack.
    std::vector<std::pair<const hNode*, int>> queue{{node, 1}};
    int depth = 1;
    for (size_t front = 0; front < queue.size(); ++front) {
        const auto [current, level] = queue[front];
        depth = std::max(depth, level);
        if (current->isLeaf)
            continue;
        for (const hNode* child : current->children)
            queue.emplace_back(child, level + 1);
    }
    return depth;
}

}  // namespace Zelvo
