#pragma once

namespace Zelvo {

// The draw record of one projected point: its computed position, the row of the embedding it
// shows and its radius before the item's own scale. The scene fills and owns the records; each
// point item keeps a pointer to its own.
struct Embedding2DPoint {
    float x = 0;
    float y = 0;
    int pointIndex = -1;
    float pointSize = 0;
};

}  // namespace Zelvo
