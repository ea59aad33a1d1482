#pragma once

#include <Eigen/Dense>

#include <vector>

// Chooses the number of clusters from a row-normalised matrix of leading eigenvectors:
// rotates the first g columns for g = 2 .. m and keeps the count whose alignment quality
// is best, a larger count winning when it comes within 0.001 of the best so far.
class ClusterRotate {
public:
    explicit ClusterRotate(int method);
    virtual ~ClusterRotate() = default;

    // One list of point indices per cluster of the chosen count (empty lists included),
    // each ordered by distance to its cluster's mean; empty when X has fewer than 2 columns.
    std::vector<std::vector<int>> cluster(const Eigen::MatrixXd& X);

    // The choice rule of one pass: raises the best quality to q when higher and tells
    // whether the pass of quality q becomes the chosen one.
    bool AcceptQuality(double q);
    double GetBestQuality() const { return m_bestQuality; }
    // Cluster count of the last choice (0 before any).
    int GetChosenCount() const { return m_chosenCount; }

private:
    int m_method;
    double m_bestQuality = 0;
    int m_chosenCount = 0;
};
