#pragma once

#include "KmUtils.h"
#include "KmWorkers.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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
//
// Large trees are built, stepped and seeded on several threads: the nodes near the root are
// handled by the calling thread, the subtrees below them are shared out, and every sum is
// added up in the order a single thread would use, so that the tree and every result are the
// same to the last bit whatever the number of threads. One tree serves one caller at a time.
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
    // exhausted memory it prints a line and the tree stays invalid. workers is the number of
    // threads for the build, the steps and the seeding, 0 for one per available processor.
    KmTree(int n, int d, const float* points, int workers = 0);
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
    // Threads the build, the steps and the seeding run on.
    int WorkerCount() const { return m_workers ? m_workers->Count() : 1; }

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
    // hold each position's KmPointDistSq to the centre of its seeding cluster. A Lloyd step
    // may reuse the seeding state, so every seeding starts with SeedKmppSetClusterIndex.
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
    // A node a Lloyd step gives wholly to one centre: a record (depth -1, first names it) or a
    // small node.
    struct StepEvent {
        int first;
        int count;
        int depth;
        int closest;
    };
    // Scratch of one thread's build, on cache lines of its own.
    struct alignas(64) BuildScratch {
        // Per depth: the lower and the upper child's box (min then max, d floats each), then
        // the two children's sums.
        std::unique_ptr<float[]> boxes;
        int levels = 0;
        std::unique_ptr<float[]> mean;   // d floats
        int* swaps = nullptr;            // the partition's two swap lists, swapHalf entries each
        std::unique_ptr<int[]> ownSwaps; // their storage where it is not the owners'
        int swapHalf = 0;
        int depth = 0;                   // deepest node reached
        bool failed = false;             // out of memory
        bool shareRuns = false;          // large runs are partitioned and bounded on all threads
    };
    // An inner node as SplitNode left it.
    struct NodeSplit {
        int record = -1;
        float* vectors = nullptr;  // the record's median, radius and sum
        int position = 0;          // first position of the upper child
    };
    // A built child as its parent joins it: its record, own-mean cost and sum.
    struct ChildBuild {
        int record;
        float optCost;
        const float* sum;
    };
    // A subtree the build shares out; its box (2 d floats) and then its sum (d floats) are
    // kept in the plan's values from the given offset.
    struct BuildJob {
        int first;
        int last;
        int depth;
        std::size_t values;
        int record;
        float optCost;
    };
    // A node near the root, split before the subtrees below are shared out. Its children are
    // top nodes (index) or subtrees (~index); its sum is kept in the plan's values.
    struct TopBuild {
        int first;
        int last;
        NodeSplit split;
        bool inner;
        int lower;
        int upper;
        std::size_t values;
    };
    struct BuildPlan {
        std::vector<TopBuild> tops;
        std::vector<BuildJob> jobs;
        std::vector<float> values;
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
        // A shared-out subtree notes its whole nodes here instead of adding their sums; null
        // where they are added at once.
        int* notes;
        int* noteCount;
    };
    // A subtree a Lloyd step shares out, with the candidates its parent kept.
    struct StepJob {
        int record;
        int first;
        int count;
        int numCandidates;
        std::size_t candidateOffset;
        float cost;
        int noteCount;
    };
    // The nodes near the root of one Lloyd step: the centre each one went to wholly (-1 where it
    // was split), in visiting order, and the subtrees below them. Afterwards, the whole top
    // nodes, and the order of those (~index) and the subtrees (index) in a visit.
    struct StepPlan {
        std::vector<int> closest;
        std::vector<StepJob> jobs;
        std::vector<int> candidates;
        std::vector<StepEvent> topEvents;
        std::vector<int> order;
    };
    enum class SeedChoice : std::uint8_t { KeepOwner, MoveToNew, Split };
    // A subtree a seeding update shares out: all of it to move to the new centre, or to update.
    struct SeedJob {
        int record;
        int first;
        int count;
        bool move;
        float cost;
        int owner;
    };
    struct SeedPlan {
        std::vector<SeedChoice> choices;
        std::vector<SeedJob> jobs;
    };
    // Where a walk over a plan has got to.
    struct PlanCursor {
        std::size_t node = 0;
        std::size_t job = 0;
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
    static constexpr int kMaxWorkers = 32;
    static constexpr int kMinJobPoints = 2048;   // smallest subtree worth a thread
    static constexpr int kJobsPerWorker = 8;     // subtrees differ in work: several per thread
    static constexpr int kBuildBlock = 4096;     // rows per thread's share of a run near the root
    static constexpr int kSharedRun = 4 * kBuildBlock;  // fewest rows worth that sharing
    static constexpr std::size_t kValueSlice = 1 << 18;  // values per thread's share of a pass over all
    static constexpr int kShortNoteCount = 16;   // most points a one-int note holds
    static constexpr int kMaxNotedCentres = 1 << 23;  // centres a one-int note can name

    // Builds the node of a run whose box the parent left at its depth's level of the build
    // scratch, where the node also leaves its sum; writes its own-mean cost. Returns its
    // record, or -1 for a node without one.
    int BuildNode(BuildScratch& scratch, int first, int last, int depth, int smallDepth, bool upperSide,
                  float* optCost);
    // The first half of building a node: its record, and its run partitioned into the two
    // children, bounded one level down. False for a leaf, whose sum it leaves at its level, or
    // when out of memory (scratch.failed).
    bool SplitNode(BuildScratch& scratch, int first, int last, int depth, int smallDepth, bool upperSide,
                   NodeSplit* out);
    // The second half, once the children are built: the node's sum, own-mean cost and links.
    float JoinNode(const NodeSplit& split, int first, int last, int smallDepth, const ChildBuild& lower,
                   const ChildBuild& upper, float* sum, float* meanScratch);
    // The nodes near the root split by the calling thread, the subtrees below them built on
    // all threads, then the nodes near the root joined; the same tree as a build on one thread.
    bool BuildInParallel(BuildScratch& scratch);
    int PlanBuild(BuildScratch& scratch, int first, int last, int depth, bool upperSide, BuildPlan& plan);
    ChildBuild JoinTop(BuildPlan& plan, int node, float* meanScratch);
    bool NewBuildScratch(BuildScratch& scratch, int* swaps, int swapHalf) const;
    bool GrowBoxLevels(BuildScratch& scratch, int levels) const;
    float* BuildLevel(const BuildScratch& scratch, int depth) const;
    void BoundRun(int first, int last, float* bmin, float* bmax) const;
    // Runs work(slice, begin, end) over slices of size items out of count, on all threads
    // where there are.
    static std::size_t SliceCount(std::size_t count, std::size_t size);
    template <typename Work>
    void ForSlices(std::size_t count, std::size_t size, const Work& work) const;
    // The same bounds, found on all threads; only from the calling thread, never from a job.
    void BoundRunShared(int first, int last, float* bmin, float* bmax) const;
    // The partition of a run on all threads, from the calling thread; returns the size of its
    // lower side.
    int PartitionShared(BuildScratch& scratch, int first, int last, int splitDim, float split);
    // Swaps the rows named at the same places of the two lists, from begin to end - 1.
    void SwapRows(const int* fromLeft, const int* fromRight, int begin, int end);
    // A new record of a run and its vectors' storage; -1 when out of memory.
    int NewRecord(int first, int count, float** vectors);
    Record& RecordAt(int record)
    {
        const std::size_t r = static_cast<std::size_t>(record);
        return m_recordBlocks[r / kRecordBlock][r % kRecordBlock];
    }
    const Record& RecordAt(int record) const
    {
        const std::size_t r = static_cast<std::size_t>(record);
        return m_recordBlocks[r / kRecordBlock][r % kRecordBlock];
    }
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
    float AssignWhole(const View& view, const float* sum, const StepEvent& event, const StepContext& step) const;
    // Labels the points of a whole node and returns their cost against its centre.
    float WholeNodeCost(const View& view, const float* sum, int closest, const StepContext& step) const;
    void AddToCentre(const float* sum, int centre, const StepContext& step) const;
    void NoteWhole(const StepEvent& event, const StepContext& step) const;
    // Reads the note at notes[at] of the node starting at position; returns where the next begins.
    int ReadNote(const int* notes, int at, int position, StepEvent* event) const;
    // A record near the root, visited by the calling thread when the work is shared out.
    bool IsTopRecord(int record) const { return record >= 0 && RecordAt(record).count > m_jobPoints; }
    // A Lloyd step with the subtrees below the top records shared out; false when out of memory.
    bool StepInParallel(int numCandidates, int* candidates, const StepContext& step, float* cost) const;
    void PlanStep(int record, int first, int count, int numCandidates, int* candidates, const StepContext& step,
                  StepPlan& plan) const;
    float FinishStep(int record, StepPlan& plan, PlanCursor& at, const StepContext& step) const;
    // Adds the whole nodes of a shared-out step to the sums and counts of centres first to end - 1.
    void AddNotedNodes(const StepPlan& plan, int first, int end, const StepContext& step, int* counts,
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

    SeedChoice SeedChoose(int record, const SeedContext& seed) const;
    float SeedMoveRecord(int record, const SeedContext& seed);
    float SeedUpdateInParallel(const SeedContext& seed);
    void PlanSeed(int record, int first, int count, const SeedContext& seed, SeedPlan& plan) const;
    float FinishSeed(int record, const SeedPlan& plan, PlanCursor& at, const SeedContext& seed, int* owner);
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
    // The fallback split of a run of equal split values is reported once per build, from
    // whichever thread meets it first.
    std::atomic<bool> m_similarValuesReported{false};
    int m_rootRecord = -1;
    // Records in blocks of kRecordBlock, with the median, radius and sum of each; as many
    // blocks as points may need, allocated as records are added.
    std::vector<std::unique_ptr<Record[]>> m_recordBlocks;
    std::vector<std::unique_ptr<float[]>> m_vectorBlocks;
    std::size_t m_recordCount = 0;
    std::mutex m_recordMutex;
    std::unique_ptr<int[]> m_positions;           // position -> point index
    std::unique_ptr<float[]> m_sortedPoints;      // the points in position order
    std::unique_ptr<float[]> m_splitCost;         // own-mean cost of the inner node splitting at a position
    std::unique_ptr<std::uint8_t[]> m_smallDepth; // depth of the small inner node splitting at a position
    // Seeding cluster of each position. A Lloyd step shared out over threads uses it to note
    // whole nodes, so a seeding starts again with SeedKmppSetClusterIndex.
    std::unique_ptr<int[]> m_owner;
    // Seeding cost of the small inner node splitting at a position, and the cluster it was
    // computed against (-1: none). Only with enough dimensions that these 8 bytes per point
    // keep the tree within about twice the point data.
    std::unique_ptr<float[]> m_smallSeedCost;
    std::unique_ptr<int[]> m_smallSeedCluster;
    std::unique_ptr<float[]> m_zeros;             // radius of every leaf
    std::unique_ptr<std::uint8_t[]> m_below;      // build scratch: 1 where a row goes to the lower side
    int m_depth = 0;
    std::unique_ptr<KmWorkers> m_workers;         // none on one thread
    int m_jobPoints = 0;                          // records of more points are top records
};
