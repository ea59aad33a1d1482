#pragma once

#include "KmUtils.h"

#include <memory>
#include <vector>

// A kd-tree over n points of d floats (point after point, owned by the caller) that runs
// Lloyd steps by filtering whole boxes of points to one centre at a time, and seeds
// centres by D-squared sampling with incrementally maintained distances.
//
// Centres are k x d floats, centre after centre; a centre whose cluster received no point
// is marked invalid (every byte 0xFF) and takes no part in later steps.
//
// Inner nodes of at most kSmallNode points keep no vectors: their box and sum are recomputed
// from their contiguous points when visited, with the same float operations as the build.
class KmTree {
public:
    // Nodes lie in build order, so an inner node's lower child directly follows it.
    struct Node {
        int pointCount;        // points below this node
        int firstPosition;     // start of its run in the position order
        const float* vectors;  // box centre, box half side lengths and point sum (d floats each)
                               // of a large inner node; null in a leaf and a small inner node
        Node* upper;           // upper child, null in a leaf (all its points are equal)
        float optCost;         // sum of squared distances of the points to their own mean
        float seedCost;        // cost against seeding cluster seedCostCluster (-1: none yet)
        int seedCluster;       // seeding cluster owning every point below, or -1 when split
        int seedCostCluster;
    };
    static const Node* Lower(const Node* node) { return node->upper ? node + 1 : nullptr; }
    static Node* Lower(Node* node) { return node->upper ? node + 1 : nullptr; }

    // Builds the tree at once. On bad input (no point, no dimension, a non-finite value) or
    // exhausted memory it prints a line and the tree stays invalid.
    KmTree(int n, int d, const float* points);
    ~KmTree();
    KmTree(const KmTree&) = delete;
    KmTree& operator=(const KmTree&) = delete;

    bool IsValid() const { return m_root != nullptr; }
    int PointCount() const { return m_n; }
    int Dimension() const { return m_d; }
    const Node* Root() const { return m_root; }
    Node* Root() { return m_root; }
    // Index of the point at a position of the tree's order; every node covers a contiguous run.
    int PointIndexAt(int position) const { return m_positions[position]; }
    // The point at a position, stored contiguously in the tree's order.
    const float* PointAt(int position) const { return m_sortedPoints.get() + static_cast<std::size_t>(position) * m_d; }
    int Depth() const { return m_depth; }

    // One Lloyd step: returns the cost of assigning every point to its nearest valid centre
    // as the centres were on entry, then moves each centre to the mean of its points or marks
    // it invalid. Fills labels (n entries) when given. Returns -1 when it cannot run.
    float DoKMeansStep(int k, float* centres, int* labels) const;

    // Writes k seed centres by D-squared sampling. Returns false when it cannot run.
    bool SeedKMeansPlusPlus(int k, float* centres, const KmRandom& random = KmRandom());

    // Seeding support, also used on its own by tests.
    void SeedKmppSetClusterIndex(Node* node, int index) const;
    // Cost of the node's points after centre c joins the seeds; updates the per-position
    // squared distances of the points that move to c.
    float SeedKmppUpdateAssignment(Node* node, int c, const float* centres, float* distSq) const;

    // Position reached by walking the weights until their running sum meets a random cutoff
    // of the total (D-squared sampling); always ends, also when no weight is left.
    static int SeedDrawPosition(const float* distSq, int n, float total, const KmRandom& random);

    // Box centre, half side lengths and point sum (d floats each) of any node, stored or not;
    // false when out of memory.
    bool NodeVectors(const Node* node, float* median, float* radius, float* sum) const;

    static const int kSmallNode = 8;

private:
    // Builds the node of a run whose box the parent left at its depth's level of m_boxes.
    Node* BuildNodes(int first, int last, int depth, bool upperSide);
    // Bounding box of a run of the sorted rows.
    void BoundRun(int first, int last, float* bmin, float* bmax) const;
    bool GrowBoxLevels(int levels);
    bool SplitByPosition(int first, int last, int splitDim, int* size1);
    // Working state of one Lloyd step.
    struct StepContext {
        int k;
        const float* centres;
        const float* centreGaps;  // k x k squared distances between the centres
        float* sums;              // k x d
        int* counts;              // k
        int* labels;              // n, or null
        float* distances;         // k scratch
        const float* lanes;       // the centres transposed: d rows of laneCount values
        int laneCount;            // k rounded up to whole blocks of kLaneBlock
        float* laneSums;          // laneCount scratch
    };
    static const int kLaneBlock = 8;
    // Scratch of a visit below which small nodes recompute their vectors.
    std::size_t VisitScratchSize() const { return static_cast<std::size_t>(3 * kSmallNode + 2) * m_d; }
    // Box of a node: its stored vectors, its point for a leaf, or recomputed into buffer
    // (2 d floats) for a small inner node.
    void NodeBox(const Node* node, float* buffer, const float** median, const float** radius) const;
    // Sum of a node's points, added up as the build does: the stored one, or written to out;
    // scratch takes kSmallNode x d floats.
    const float* NodeSum(const Node* node, float* out, float* scratch) const;
    // Cost of the node's points against a centre.
    float NodeCostWithSum(const Node* node, const float* sum, const float* centre) const;
    float NodeCostAt(const Node* node, const float* centre, float* scratch) const;
    float* NewNodeVectors();
    float SeedUpdate(Node* node, int c, const float* centres, const float* gaps, float* distSq, float* scratch) const;
    float SeedOwnerCost(Node* node, const float* centres, float* scratch) const;
    float DoKMeansStepAtNode(const Node* node, int numCandidates, int* candidates, const StepContext& step,
                             float* scratch) const;
    // Squared distances from p to the listed centres, each summed in dimension order; several
    // centres at once so that the independent sums overlap.
    void DistancesToCentres(const float* p, const int* candidates, int count, const float* centres,
                            float* out) const;
    // Per-centre sums over every lane of the transposed centres, each centre summed in
    // dimension order exactly as the per-candidate loops do: squared distances from p, or the
    // pruning test's box term against centre best.
    void LaneDistances(const float* p, const StepContext& step) const;
    void LanePruneTerms(const float* median, const float* radius, const float* best, const StepContext& step) const;
    // True when no point of the box can be closer to centre test than to centre best.
    bool ShouldBePruned(const float* median, const float* radius, const float* centres, int best,
                        int test) const;

    int m_n = 0;
    int m_d = 0;
    const float* m_points = nullptr;
    Node* m_root = nullptr;
    std::unique_ptr<Node[]> m_nodes;          // every node, in build order
    // Median, radius and sum of each large inner node, in blocks that never move.
    std::vector<std::unique_ptr<float[]>> m_vectorBlocks;
    std::unique_ptr<float[]> m_buildScratch;  // child sums while building
    std::unique_ptr<int[]> m_positions;       // position -> point index
    std::unique_ptr<float[]> m_sortedPoints;  // the points in position order
    std::unique_ptr<float[]> m_zeros;         // radius of every leaf
    std::unique_ptr<float[]> m_meanScratch;   // build scratch
    // Build scratch: per depth, the lower and the upper child's box (min then max, d floats each).
    std::unique_ptr<float[]> m_boxes;
    int m_boxLevels = 0;
    std::unique_ptr<int[]> m_swapLeft;        // build scratch: rows that change sides
    std::unique_ptr<int[]> m_swapRight;
    int m_nextNode = 0;
    int m_blockUsed = 0;
    bool m_buildFailed = false;
    int m_depth = 0;
};
