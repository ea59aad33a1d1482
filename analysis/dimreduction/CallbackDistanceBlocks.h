#pragma once

#include "HDpoint.h"
#include "SquaredDistanceBlocks.h"
#include "distanceFunctor.h"

#include <atomic>
#include <vector>

namespace Zelvo {

// The squared distance-functor distances between points (the distance matrix of a callback
// run), a block of columns at a time, with exactly the values of
// tapkee::SquaredCallbackDistances: the distance of each pair taken with the lower index
// first, squared in double. A distance that is negative or no number fails the pass with
// that function's "Error: distance ..." line.
class CallbackDistanceBlocks : public SquaredDistanceBlocks {
public:
    CallbackDistanceBlocks(std::vector<HDpoint<float>> points, const distanceFunctor& functor);

    int PointCount() const override { return static_cast<int>(m_points.size()); }
    int BlockWidth() const override { return 64; }
    size_t PassBytes() const override { return 0; }
    size_t PartBytes() const override { return 0; }
    bool BeginPass(int workers) override;
    void EndPass() override {}
    int PartCount(int first) const override;
    bool FillPart(int first, int part, int worker, float* columns) override;

private:
    static constexpr int kPartRows = 4096;

    std::vector<HDpoint<float>> m_points;
    distanceFunctor m_functor;
    std::atomic<bool> m_reported{false};  // one error line per pass
};

}  // namespace Zelvo
