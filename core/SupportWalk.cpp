#include "SupportWalk.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Miniball {

namespace {

// Dot product of a float row with a double vector; four sums keep the pipeline busy.
inline double Dot(const float* p, const double* u, int d)
{
    double t0 = 0, t1 = 0, t2 = 0, t3 = 0;
    int j = 0;
    for (; j + 4 <= d; j += 4) {
        t0 += u[j] * double(p[j]);
        t1 += u[j + 1] * double(p[j + 1]);
        t2 += u[j + 2] * double(p[j + 2]);
        t3 += u[j + 3] * double(p[j + 3]);
    }
    for (; j < d; ++j)
        t0 += u[j] * double(p[j]);
    return (t0 + t1) + (t2 + t3);
}

inline double SquaredDistance(const float* p, const double* c, int d)
{
    double s = 0;
    for (int j = 0; j < d; ++j) {
        const double diff = double(p[j]) - c[j];
        s += diff * diff;
    }
    return s;
}

}  // namespace

SupportWalk::SupportWalk(const float* points, int pointCount, int dimension)
    : m_points(points), m_n(pointCount > 0 ? pointCount : 0), m_d(dimension > 0 ? dimension : 0),
      m_center(size_t(m_d), 0.0)
{
    if (m_n > 0)
        run();
}

bool SupportWalk::circumcentre(std::vector<double>& centre, std::vector<double>& weights) const
{
    const int k = int(m_support.size()) - 1;
    const float* q0 = row(m_support[0]);
    Eigen::MatrixXd v(m_d, k);
    for (int i = 0; i < k; ++i) {
        const float* q = row(m_support[size_t(i + 1)]);
        for (int j = 0; j < m_d; ++j)
            v(j, i) = double(q[j]) - double(q0[j]);
    }
    // Equidistance from q0 and qi: 2 (qi - q0) . (x - q0) = |qi - q0|^2, x in the hull's span.
    Eigen::VectorXd lambda = Eigen::VectorXd::Zero(k);
    if (k > 0) {
        const Eigen::MatrixXd m = 2.0 * v.transpose() * v;
        const Eigen::VectorXd b = v.colwise().squaredNorm().transpose();
        const Eigen::LDLT<Eigen::MatrixXd> ldlt(m);
        if (ldlt.info() != Eigen::Success || !ldlt.isPositive())
            return false;
        lambda = ldlt.solve(b);
        if (!lambda.allFinite())
            return false;
    }
    const Eigen::VectorXd offset = v * lambda;
    centre.resize(size_t(m_d));
    for (int j = 0; j < m_d; ++j)
        centre[size_t(j)] = double(q0[j]) + (k > 0 ? offset[j] : 0.0);
    weights.assign(size_t(k + 1), 0.0);
    weights[0] = 1.0 - lambda.sum();
    for (int i = 0; i < k; ++i)
        weights[size_t(i + 1)] = lambda[i];
    return true;
}

void SupportWalk::run()
{
    const int d = m_d;
    // Start at the first point with the farthest point as the only support point.
    for (int j = 0; j < d; ++j)
        m_center[size_t(j)] = double(row(0)[j]);
    int farthest = 0;
    double farthestDistance = -1;
    for (int i = 0; i < m_n; ++i) {
        const double s = SquaredDistance(row(i), m_center.data(), d);
        if (s > farthestDistance) {
            farthestDistance = s;
            farthest = i;
        }
    }
    m_support.push_back(farthest);

    std::vector<char> inSupport(size_t(m_n), 0);
    inSupport[size_t(farthest)] = 1;
    std::vector<double> target, weights;
    std::vector<double> u(static_cast<size_t>(d));
    // Squared distance of every point to the centre, kept up to date along the walk so a
    // step costs one dot product per point; refreshed now and then against drift.
    std::vector<double> distance(static_cast<size_t>(m_n));
    std::vector<double> dot(static_cast<size_t>(m_n));
    auto refreshDistances = [&] {
        for (int i = 0; i < m_n; ++i)
            distance[size_t(i)] = SquaredDistance(row(i), m_center.data(), d);
    };
    refreshDistances();
    const long long maxSteps = 20LL * (m_n + d) + 1000;  // guards against numerical cycling
    int walks = 0;

    for (long long step = 0; step < maxSteps; ++step) {
        if (!circumcentre(target, weights))
            break;  // numerically dependent support: keep the enclosing ball reached so far
        double moveLength = 0;
        for (int j = 0; j < d; ++j) {
            u[size_t(j)] = target[size_t(j)] - m_center[size_t(j)];
            moveLength += u[size_t(j)] * u[size_t(j)];
        }
        const double sqrR = SquaredDistance(row(m_support[0]), m_center.data(), d);

        if (moveLength <= 1e-24 * std::max(sqrR, 1e-300)) {
            // At the circumcentre: smallest once no support point has a negative weight.
            const auto lowest = std::min_element(weights.begin(), weights.end());
            if (*lowest >= -1e-12 || m_support.size() == 1)
                break;
            const size_t drop = size_t(lowest - weights.begin());
            inSupport[size_t(m_support[drop])] = 0;
            m_support.erase(m_support.begin() + std::ptrdiff_t(drop));
            continue;
        }

        // Walk from the centre towards the target; stop where the first point reaches the
        // boundary of the shrinking ball.
        const double supportDot = Dot(row(m_support[0]), u.data(), d);
        double centreDot = 0;
        for (int j = 0; j < d; ++j)
            centreDot += u[size_t(j)] * m_center[size_t(j)];
        double bestT = 1.0;
        int stopper = -1;
        for (int i = 0; i < m_n; ++i) {
            const double pointDot = Dot(row(i), u.data(), d);
            dot[size_t(i)] = pointDot;
            if (inSupport[size_t(i)])
                continue;
            const double denominator = 2.0 * (supportDot - pointDot);
            if (denominator <= 0)
                continue;  // the point only falls deeper inside along this walk
            const double t = std::max(0.0, (sqrR - distance[size_t(i)]) / denominator);
            if (t < bestT) {
                bestT = t;
                stopper = i;
            }
        }
        for (int j = 0; j < d; ++j)
            m_center[size_t(j)] = (stopper < 0) ? target[size_t(j)] : m_center[size_t(j)] + bestT * u[size_t(j)];
        if (stopper >= 0) {
            m_support.push_back(stopper);
            inSupport[size_t(stopper)] = 1;
        }
        // |p - (c + t u)|^2 = |p - c|^2 - 2 t (u.p - u.c) + t^2 |u|^2
        if (++walks % 32 == 0) {
            refreshDistances();
        } else {
            const double tt = bestT * bestT * moveLength;
            for (int i = 0; i < m_n; ++i)
                distance[size_t(i)] += tt - 2.0 * bestT * (dot[size_t(i)] - centreDot);
        }
    }

    // The radius that truly encloses every point from the final centre.
    double sqrRadius = 0;
    for (int i = 0; i < m_n; ++i)
        sqrRadius = std::max(sqrRadius, SquaredDistance(row(i), m_center.data(), d));
    m_sqrRadius = sqrRadius;
}

}  // namespace Miniball
