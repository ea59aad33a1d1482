#pragma once

namespace Zelvo {

// Neighbourhood graphs offered by the projected view; the value is the index in its graph list.
enum GraphType {
    KNN1Graph = 0,
    KNN2Graph = 1,
    KNN3Graph = 2,
    KNN4Graph = 3,
    KNN5Graph = 4,
    KNN6Graph = 5,
    KNN7Graph = 6,
    KNN8Graph = 7,
    KNN9Graph = 8,
    KNN10Graph = 9,
    KNN15Graph = 10,
    KNN30Graph = 11,
    RNGGraph = 12,
    MSTGraph = 13
};

}  // namespace Zelvo
