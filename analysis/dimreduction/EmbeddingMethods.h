#pragma once

#include "EmbeddingLibrary.h"

namespace tapkee {

// The checked parameters of one run.
struct RunSettings {
    int targetDimension = 0;
    int neighbors = 0;
    double kernelWidth = 0;
    EigenSolverKind solver = AutomaticEigenSolver;
    // Asked for the factor of a sparse solve before it is made, and by kernel LLE for the rest of
    // its run before it makes W and M; none: no check.
    MemoryCheck fits;
};

// Each fills `output` and returns true, or returns false after printing why. The
// settings have been checked against the point count before.
bool RunPCA(const Eigen::MatrixXf& data, const RunSettings& settings, TapkeeOutput& output);
bool RunMultidimensionalScaling(int n, const DistanceCallback& distance, const RunSettings& settings,
                                TapkeeOutput& output);
bool RunIsomap(int n, const DistanceCallback& distance, const RunSettings& settings, TapkeeOutput& output);
bool RunLaplacianEigenmaps(int n, const DistanceCallback& distance, const RunSettings& settings,
                           TapkeeOutput& output);
// With a search that finds the neighbours, no distance matrix is built.
bool RunKernelLocallyLinearEmbedding(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                                     const NeighborSearch& search, const RunSettings& settings,
                                     TapkeeOutput& output);
// The most memory the run of a callback method holds at once, in bytes (see PeakMemory).
double PeakBytes(int chosenMethod, int n, const RunSettings& settings, bool neighborSearch);
// Squares every distance of the matrix in place (taken in double).
void SquareInPlace(Eigen::MatrixXf& distances);

}  // namespace tapkee
