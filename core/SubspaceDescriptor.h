#pragma once

#include <Eigen/Dense>
#include <vector>

namespace Zelvo {

// One basis matrix per subspace, in class order (rows as in the basis file, one column per
// dimension of the subspace).
struct SubspaceDescriptor {
    std::vector<Eigen::MatrixXf> bases;
};

}  // namespace Zelvo
