#pragma once

#include "ClusteringInterface.h"
#include "EngineTypes.h"
#include "HDpoint.h"
#include "KmUtils.h"

#include <memory>
#include <vector>

namespace Zelvo {

// Flat k-means over the packed (selected, normalised) values of a point set.
// Type 0 runs the engine's own Lloyd iteration (k_mean) seeded with evenly spaced points;
// type 1 runs k-means++ and then stands each centre in for by its nearest data point.
class kmeansClustering : public ClusteringInterface {
public:
    // random feeds the k-means++ seeding (values 0..2147483647); empty means std::rand().
    // workers is the number of threads for large point sets, 0 for one per available
    // processor; the results are the same for any number.
    kmeansClustering(int k, kmeansType type, KmRandom random = KmRandom(), int workers = 0);
    ~kmeansClustering() override;
    kmeansClustering(const kmeansClustering&) = delete;
    kmeansClustering& operator=(const kmeansClustering&) = delete;

    // A new result built from one label per point with the run's centres, or null: silently
    // for a type other than 0 and 1, with an "Error ..." line for input it cannot cluster.
    std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) override;

    // Written by the last run.
    const std::vector<int>& GetLabels() const { return m_labels; }
    const std::vector<HDpoint<float>>& GetCenters() const { return m_centers; }

private:
    friend struct kmeansClusteringTestAccess;

    // Lloyd iteration over n points of d floats; false only when memory runs out.
    bool k_mean(const float* data, int n, int d, int k, float threshold);
    // k-means++ then the nearest data point (raw values of all dimensions) per centre.
    bool _runKmeansPlusPlus(HDpointSet<float>* points, const float* data, int n, int d, float* cost);

    int m_k;
    kmeansType m_type;
    KmRandom m_random;
    int m_workers;
    std::vector<int> m_labels;
    std::vector<HDpoint<float>> m_centers;
};

}  // namespace Zelvo
