#pragma once

#include <Eigen/Dense>

#include <cstdlib>
#include <functional>
#include <vector>

// Lloyd k-means over the rows of a matrix (the row-normalised leading eigenvectors of
// spectral clustering), seeded with distinct random rows, at most 100 cycles.
class Kmeans {
public:
    // Draws one value from 0 .. RAND_MAX, as std::rand does.
    using RandomGenerator = std::function<int()>;

    // k lists of row indices, list c holding the rows of centre c ordered by distance
    // to it (empty lists included). Empty, after an "Error ..." line, when k < 1, k is
    // above the row count or X holds a non-finite value.
    static std::vector<std::vector<int>> cluster(const Eigen::MatrixXd& X, int k,
                                                 const RandomGenerator& random = std::rand);
};
