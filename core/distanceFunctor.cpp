#include "distanceFunctor.h"

#include <algorithm>
#include <cmath>

namespace Zelvo {

namespace {

// 1 - r over the selected coordinates. Points equal over the selection are at distance 0;
// otherwise a point without spread over the selection has no correlation (r = 0).
float correlationDistance(const HDpoint<float>& a, const HDpoint<float>& b, const std::vector<bool>& mask)
{
    const size_t n = a.size();
    bool identical = true;
    double sumA = 0.0, sumB = 0.0;
    size_t count = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!mask[i]) continue;
        if (a[i] != b[i]) identical = false;
        sumA += a[i];
        sumB += b[i];
        ++count;
    }
    if (identical) return 0.0f;

    const double meanA = sumA / count, meanB = sumB / count;
    double sab = 0.0, saa = 0.0, sbb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (!mask[i]) continue;
        const double da = a[i] - meanA, db = b[i] - meanB;
        sab += da * db;
        saa += da * da;
        sbb += db * db;
    }
    if (saa <= 0.0 || sbb <= 0.0) return 1.0f;
    // Rounding may push r a hair past +-1; keep the distance inside [0, 2].
    const double r = std::clamp(sab / std::sqrt(saa * sbb), -1.0, 1.0);
    return static_cast<float>(1.0 - r);
}

}  // namespace

float distanceFunctor::operator()(const HDpoint<float>& a, const HDpoint<float>& b)
{
    const size_t n = a.size();
    if (mask.size() != n) mask.assign(n, true);

    switch (type) {
    case DistanceEuclidean: {
        if (n == 0) return 0.0f;
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i) {
            if (!mask[i]) continue;
            const float diff = a[i] - b[i];
            sum += diff * diff;
        }
        return static_cast<float>(std::sqrt(sum));
    }
    case DistanceManhattan: {
        if (n == 0) return 0.0f;
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i) {
            if (mask[i]) sum += std::fabs(a[i] - b[i]);
        }
        return static_cast<float>(sum);
    }
    case DistancePearsonCorrelation:
        return correlationDistance(a, b, mask);
    default:
        return -1.0f;
    }
}

}  // namespace Zelvo
