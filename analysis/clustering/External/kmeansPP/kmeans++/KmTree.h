#pragma once

#include "KmUtils.h"

#include <cstdint>
#include <memory>
#include <vector>

// A kd-tree over n points of d floats (point after point, owned by the caller) that runs
// Lloyd steps by filtering whole boxes of points to one centre at a time, and seeds
// centres by D-squared sampling with incrementally maintained distances.
//
// Centres are k x d floats, centre after centre; a centre whose cluster received no point
// is marked invalid (every byte 0xFF) and takes no part in later steps.
//
// Storage, kept within about twice the point data: every node covers a contiguous run of
// positions, and the points are copied in that order. Only inner nodes of more than
// SmallNodeSize() points keep a record with their box and sum. Below them a run forms a
// small subtree whose shape is one byte per position (the depth, inside the small subtree,
// of the node that splits there); a visit rebuilds its boxes and sums with the same float
// operations as the build. The cost of every inner node's points against their own mean is
// kept per split position.
class KmTree {
public:
    // One node as tests and callers see it.
    struct NodeInfo {
        int firstPosition;
        int pointCount;
        int upperFirst;  // first position of the upper child; -1 in a leaf (all its points are equal)
        float optCost;   // sum of squared distances of the points to their own mean
        bool hasRecord;  // its box and sum are stored
        int smallDepth;  // depth inside its small subtree; -1 with a record
    };

    // Builds the tree at once. On bad input (no point, no dimension, a non-finite value) or
    // exhausted memory it prints a line and the tree stays invalid.
    KmTree(int n, int d, const float* points);
    ~KmTree();
    KmTree(const KmTree&) = delete;
    KmTree& operator=(const KmTree&) = delete;

    bool IsValid() const { return m_valid; }
    int PointCount() const { return m_n; }
    int Dimension() const { return m_d; }
    // Index of the point at a position of the tree's order; every node covers a contiguous run.
    int PointIndexAt(int position) const { return m_positions[position]; }
    // The point at a position, stored contiguously in the tree's order.
    const float* PointAt(int position) const { return m_sortedPoints.get() + static_cast<std::size_t>(position) * m_d; }
    int Depth() const { return m_depth; }
    // Inner nodes of at most this many points keep no record.
    int SmallNodeSize() const { return m_smallNode; }

    // Every node, parents before children and lower children before upper ones.
    std::vector<NodeInfo> Nodes() const;
    // Box centre, half side lengths and point sum (d floats each) of a node as a visit
    // computes them; false when out of memory.
    bool NodeVectors(const NodeInfo& node, float* median, float* radius, float* sum) const;

    // One Lloyd step: returns the cost of assigning every point to its nearest valid centre
    // as the centres were on entry, then moves each centre to the mean of its points or marks
    // it invalid. Fills labels (n entries) when given. Returns -1 when it cannot run.
    float DoKMeansStep(int k, float* centres, int* labels) const;

    // Writes k seed centres by D-squared sampling. Returns false when it cannot run.
    bool SeedKMeansPlusPlus(int k, float* centres, const KmRandom& random = KmRandom());

    // Seeding support, also used on its own by tests: every point to seeding cluster index;
    // then, after centre c joins the seeds, the cost of all points (or -1 when out of memory),
    // updating the per-position squared distances of the points that move to c. distSq must
    // hold each position's KmPointDistSq to the centre of its seeding cluster.
    void SeedKmppSetClusterIndex(int index);
    float SeedKmppUpdateAssignment(int c, const float* centres, float* distSq);

    // Position reached by walking the weights until their running sum meets a random cutoff
    // of the total (D-squared sampling); always ends, also when no weight is left.
    static int SeedDrawPosition(const float* distSq, int n, float total, const KmRandom& random);

    // Largest run a small subtree may hold.
    static constexpr int kMaxSmallNode = 16;

private:
    // An inner node of more than m_smallNode points.
    struct Record {
        int first;
        int count;
        int split;            // first position of the upper child
        int lower;            // record of the lower child, or -1 for a small subtree or a leaf
        int upper;            // the same for the upper child
        int seedCluster;      // seeding cluster owning every point below, or -1 when split
        int seedCostCluster;  // cluster seedCost was computed against, -1 for none
        float seedCost;
    };
    // A node as one visit sees it. The box of a node without a record is gathered only when
    // a visit asks for it.
    struct View {
        int first;
        int count;
        bool leaf;
        float optCost;
        const float* median;
        const float* radius;
        const float* sum;  // null for a node without a record
    };
    // A node below the records: its run, its depth inside its small subtree and its split.
    struct SmallNode {
        int first;
        int count;
        int depth;
        int split;  // first position of the upper child, -1 in a leaf
    };
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
    // Working state of one seeding update.
    struct SeedContext {
        int c;
        const float* centres;
        const float* gaps;  // squared distance from centre c to each earlier seed
        float* distSq;
        float* scratch;     // VisitScratchSize() floats
    };
    static constexpr int kLaneBlock = 8;
    static constexpr std::uint8_t kNoSplit = 0xFF;
    static constexpr std::size_t kDepthPadding = 8;  // depth bytes after the last position
    static constexpr std::size_t kRecordBlock = 1024;  // records whose vectors share one allocation
    static constexpr std::size_t kLevelVectors = 6;   // d-float vectors per build level
    static constexpr int kSeedCacheDimensions = 16;   // fewest dimensions with a small-node cost cache
    static constexpr int kLaneTestDimensions = 16;    // fewest dimensions for seeding tests by lanes
    static constexpr int kLaneTestMaxDimensions = 1 << 20;  // keeps the error bound far below 1

    // Builds the node of a run whose box the parent left at its depth's level of the build
    // scratch, where the node also leaves its sum; writes its own-mean cost. Returns its
    // record, or -1 for a node without one.
    int BuildNode(int first, int last, int depth, int smallDepth, bool upperSide, float* optCost);
    void BoundRun(int first, int last, float* bmin, float* bmax) const;
    bool GrowBoxLevels(int levels);
    float* BuildLevel(int depth) const;
    float* NewRecordVectors();
    const float* RecordVectors(int record) const;
    View RecordView(int record) const;
    SmallNode MakeSmall(int first, int count, int depth) const;
    SmallNode LowerOf(const SmallNode& node) const { return MakeSmall(node.first, node.split - node.first, node.depth + 1); }
    SmallNode UpperOf(const SmallNode& node) const
    {
        return MakeSmall(node.split, node.first + node.count - node.split, node.depth + 1);
    }
    // The view of a small node; its box goes to buffer (2 d floats) when withBox is set.
    View SmallView(const SmallNode& node, float* buffer, bool withBox) const;
    // Sum of a small node's points, added up as the build does; scratch takes
    // (kMaxSmallNode + 1) d floats.
    const float* SmallSum(const SmallNode& node, float* out, float* scratch) const;
    // Seeding cluster owning every point of a run, or -1.
    int RunOwner(int first, int count) const;
    // Scratch of one traversal: a box, a sum and the sum's own scratch.
    std::size_t VisitScratchSize() const { return static_cast<std::size_t>(kMaxSmallNode + 4) * m_d; }
    // Where the small inner node at smallDepth on a run splits it, -1 for a leaf.
    int SmallSplit(int first, int count, int smallDepth) const;
    void CollectNodes(int record, int first, int count, int smallDepth, std::vector<NodeInfo>& out) const;
    // Cost of a node's points against a centre, from their sum.
    float NodeCost(int count, float optCost, const float* sum, const float* centre) const;

    float StepRecord(int record, int numCandidates, int* candidates, const StepContext& step, float* scratch) const;
    float StepChild(int record, int first, int count, int numCandidates, int* candidates, const StepContext& step,
                    float* scratch) const;
    float StepSmall(const SmallNode& node, int numCandidates, int* candidates, const StepContext& step,
                    float* scratch) const;
    // The filtering at one node: the candidate nearest the box centre, and (in an inner node)
    // the candidates that may own some point of the box, stacked after the current list.
    int FilterCandidates(const View& view, int numCandidates, int* candidates, const StepContext& step,
                         int* numKept) const;
    float AssignWhole(const View& view, const float* sum, int closest, const StepContext& step) const;
    // Squared distances from p to the listed centres, each summed in dimension order; several
    // centres at once so that the independent sums overlap.
    void DistancesToCentres(const float* p, const int* candidates, int count, const float* centres,
                            float* out) const;
    // Per-centre sums over every lane of the transposed centres, each centre summed in
    // dimension order exactly as the per-candidate loops do: squared distances from p, or the
    // pruning test's box term against centre best.
    void LaneDistances(const float* p, const StepContext& step) const;
    void LanePruneTerms(const float* median, const float* radius, const float* best, const StepContext& step) const;

    void SeedSetRecord(int record, int index);
    void SeedSetRange(int first, int count, int index);
    float SeedUpdateRecord(int record, const SeedContext& seed);
    float SeedUpdateChild(int record, int first, int count, const SeedContext& seed, int* owner);
    float SeedRecordCost(int record, const float* centres);
    float SeedUpdateSmall(const SmallNode& node, const SeedContext& seed, int* owner);
    // Cost of a small node's points against seed centre, from the cache where it has one.
    float SmallSeedCost(const SmallNode& node, const View& view, int centre, const SeedContext& seed);
    // Which of the two box tests of a seeding update hold: no point of the box is closer to
    // the new centre than to the owner, or every point of it is.
    void SeedBoxTests(const View& view, int owner, const SeedContext& seed, bool* keepsOwner, bool* movesToNew) const;
    // The same tests from sums added lane by lane, when those settle both; false otherwise.
    bool SeedBoxTestsByLanes(const float* o, const float* t, const float* median, const float* radius, float gap,
                             bool* keepsOwner, bool* movesToNew) const;
    void SeedMovePoints(int first, int count, const SeedContext& seed);

    int m_n = 0;
    int m_d = 0;
    int m_smallNode = 8;
    const float* m_points = nullptr;
    bool m_valid = false;
    int m_rootRecord = -1;
    std::vector<Record> m_records;                // in build order; record 0 is the root when it has one
    std::vector<std::unique_ptr<float[]>> m_vectorBlocks;  // median, radius and sum of each record
    std::unique_ptr<int[]> m_positions;           // position -> point index
    std::unique_ptr<float[]> m_sortedPoints;      // the points in position order
    std::unique_ptr<float[]> m_splitCost;         // own-mean cost of the inner node splitting at a position
    std::unique_ptr<std::uint8_t[]> m_smallDepth; // depth of the small inner node splitting at a position
    std::unique_ptr<int[]> m_owner;               // seeding cluster of each position
    // Seeding cost of the small inner node splitting at a position, and the cluster it was
    // computed against (-1: none). Only with enough dimensions that these 8 bytes per point
    // keep the tree within about twice the point data.
    std::unique_ptr<float[]> m_smallSeedCost;
    std::unique_ptr<int[]> m_smallSeedCluster;
    std::unique_ptr<float[]> m_zeros;             // radius of every leaf
    std::unique_ptr<float[]> m_meanScratch;       // build scratch
    // Build scratch: per depth, the lower and the upper child's box (min then max, d floats
    // each), then the two children's sums.
    std::unique_ptr<float[]> m_boxes;
    int m_boxLevels = 0;
    std::unique_ptr<std::uint8_t[]> m_below;      // build scratch: 1 where a row goes to the lower side
    bool m_buildFailed = false;
    int m_depth = 0;
};
