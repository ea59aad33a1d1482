#pragma once

#include "SubspaceModel.h"

#include <memory>

namespace Zelvo {

// Reads a subspace clustering made elsewhere: a label file (one integer per line) and one
// header-less basis CSV per class, named from the label file's path up to and including
// its last '_' + "Sub" + class number (from 1) + "_Basis.csv".
class SubspaceLoader {
public:
    // Null when the label file cannot be read; a missing basis file gives an empty basis.
    static std::unique_ptr<SubspaceModel> LoadSubspaceModelFromFile(const char* labelPath);
};

}  // namespace Zelvo
