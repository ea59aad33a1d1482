#pragma once

#include "NGLPointSet.h"

#include <vector>

namespace ngl {

// The relative neighbourhood graph of `points` (Geometry<T>::D coordinates each), exactly as
// EmptyRegionMethod over RelativeNeighbor returns it: the same pairs in the same order
// (i ascending, then each neighbour j ascending, every edge from both ends), with the same
// single-precision arithmetic. Squared distances are computed once; each pair's possible
// blockers (points no farther from one end than the other end) are tried nearest-first and the
// scan stops at the first blocker. Memory: n^2 values of T.
template <typename T>
void RelativeNeighborGraph(const NGLPointSet<T>& points, std::vector<unsigned int>& pairs, int& pairCount);

}  // namespace ngl
