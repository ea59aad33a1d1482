#pragma once

// k-means++ over a kd-tree: D-squared seeding followed by filtering Lloyd steps.
// Points are n x d floats, point after point; centres k x d floats, centre after centre.

#include "KmUtils.h"

#include <ostream>
#include <vector>

class KmTree;

// Progress and summary streams; both start empty, so nothing is written unless a caller adds one.
extern std::vector<std::ostream*> gLogOutputs;
extern std::vector<std::ostream*> gVerboseLogOutputs;

// Runs `attempts` seeded k-means runs and keeps the cheapest. Fills ret_centers (k x d) and
// ret_assignment (n labels in 0..k-1) from the best run; a centre whose cluster ended empty
// is left invalid (every byte 0xFF, so every value is NaN) and no label names it.
// Returns the lowest cost, or -1 on failure (k < 1, no point, no dimension, a missing array,
// a non-finite value, exhausted memory) after printing why; also -1 for attempts < 1, with the
// outputs untouched. Draws come from `random` (values 0..2147483647), std::rand() when empty.
// workers is the number of threads for large point sets (see KmTree), 0 for one per processor.
float RunKMeansPlusPlus(int n, int k, int d, const float* points, int attempts, float* ret_centers,
                        int* ret_assignment, const KmRandom& random = KmRandom(), int workers = 0);

// Statistics over the attempts of one RunKMeansPlusPlus call (costs and processor seconds).
struct KmRunStatistics {
    float minCost = -1;
    float maxCost = -1;
    double totalCost = 0;
    double minTime = -1;
    double maxTime = -1;
    double totalTime = 0;
};

// One attempt: Lloyd steps from the seeded centres until the cost stops falling. When it beats
// the best so far, labels the points and copies the centres out. False when a step cannot run.
bool RunKMeansOnce(const KmTree& tree, int k, float* centers, double startTime, KmRunStatistics* stats,
                   float* ret_centers, int* ret_assignment);

// Writes the aggregate statistics to the log streams.
void LogMetaStats(const KmRunStatistics& stats, int attempts);
