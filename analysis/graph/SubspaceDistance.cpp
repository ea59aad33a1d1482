#include "SubspaceDistance.h"

#include "Log.h"

#include <Eigen/QR>
#include <Eigen/SVD>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Eigen::Index;
using Eigen::MatrixXf;

constexpr float kNotANumber = std::numeric_limits<float>::quiet_NaN();
// Columns whose Gram matrix is this close to the identity are used as they are, so an
// orthonormal basis is measured exactly as given.
constexpr float kOrthonormalTolerance = 1e-5f;
// Pivots below this fraction of the largest one count as linearly dependent (float data
// carry about seven digits).
constexpr float kRankThreshold = 1e-5f;

bool UsablePair(const char* who, const MatrixXf& a, const MatrixXf& b)
{
    if (a.size() == 0 || b.size() == 0) {
        Zelvo::Log::Printf("Error %s: empty basis (%ldx%ld against %ldx%ld)\n", who, static_cast<long>(a.rows()),
                           static_cast<long>(a.cols()), static_cast<long>(b.rows()), static_cast<long>(b.cols()));
        return false;
    }
    if (a.rows() != b.rows()) {
        Zelvo::Log::Printf("Error %s: bases of %ld and %ld rows\n", who, static_cast<long>(a.rows()),
                           static_cast<long>(b.rows()));
        return false;
    }
    if (!a.allFinite() || !b.allFinite()) {
        Zelvo::Log::Printf("Error %s: a basis holds values that are not finite\n", who);
        return false;
    }
    return true;
}

// Orthonormal columns spanning what a's columns span, as many as a's rank.
MatrixXf OrthonormalSpan(const MatrixXf& a)
{
    const MatrixXf gram = a.transpose() * a;
    if ((gram - MatrixXf::Identity(a.cols(), a.cols())).cwiseAbs().maxCoeff() <= kOrthonormalTolerance) return a;
    Eigen::ColPivHouseholderQR<MatrixXf> qr(a);
    qr.setThreshold(kRankThreshold);
    return qr.householderQ() * MatrixXf::Identity(a.rows(), qr.rank());
}

// Both spans orthonormalised; false (with a line) when one of them spans nothing.
bool OrthonormalPair(const char* who, const MatrixXf& a, const MatrixXf& b, MatrixXf& qa, MatrixXf& qb)
{
    qa = OrthonormalSpan(a);
    qb = OrthonormalSpan(b);
    if (qa.cols() == 0 || qb.cols() == 0) {
        Zelvo::Log::Printf("Error %s: a basis spans no direction\n", who);
        return false;
    }
    return true;
}

// The singular values of qa^T qb are the cosines of the principal angles.
float GrassmanianOfOrthonormal(const MatrixXf& qa, const MatrixXf& qb)
{
    const MatrixXf cosines = qa.transpose() * qb;
    const Eigen::JacobiSVD<MatrixXf> svd(cosines);
    float sum = 0.0f;
    for (Index i = 0; i < svd.singularValues().size(); ++i) {
        // Rounding can push a cosine just past 1; that is an angle of 0.
        const double cosine = std::clamp(static_cast<double>(svd.singularValues()[i]), 0.0, 1.0);
        const float angle = static_cast<float>(std::acos(cosine));
        sum += angle * angle;
    }
    return std::sqrt(sum);
}

float ChordalOfOrthonormal(const MatrixXf& qa, const MatrixXf& qb)
{
    return (qa * qa.transpose() - qb * qb.transpose()).norm();
}

float Measure(const MatrixXf& qa, const MatrixXf& qb, Zelvo::SubspaceDistanceType type)
{
    return type == Zelvo::ChordalSubspaceDistance ? ChordalOfOrthonormal(qa, qb) : GrassmanianOfOrthonormal(qa, qb);
}

}  // namespace

namespace Zelvo {

float SubspaceDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b, SubspaceDistanceType type)
{
    MatrixXf qa, qb;
    if (!UsablePair("SubspaceDistance", a, b) || !OrthonormalPair("SubspaceDistance", a, b, qa, qb))
        return kNotANumber;
    if (qa.cols() == qb.cols()) return Measure(qa, qb, type);

    // The p directions of the larger span that line up with the smaller span: the leading
    // columns of y V, with the singular values of x^T y in decreasing order.
    const bool aIsSmaller = qa.cols() < qb.cols();
    const MatrixXf& x = aIsSmaller ? qa : qb;
    const MatrixXf& y = aIsSmaller ? qb : qa;
    const Eigen::JacobiSVD<MatrixXf> svd(x.transpose() * y, Eigen::ComputeFullV);
    const MatrixXf w = y * svd.matrixV().leftCols(x.cols());
    return Measure(x, w, type);
}

}  // namespace Zelvo

float GrassmanianDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b)
{
    MatrixXf qa, qb;
    if (!UsablePair("GrassmanianDistance", a, b) || !OrthonormalPair("GrassmanianDistance", a, b, qa, qb))
        return kNotANumber;
    return GrassmanianOfOrthonormal(qa, qb);
}

float ChordalDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b)
{
    MatrixXf qa, qb;
    if (!UsablePair("ChordalDistance", a, b) || !OrthonormalPair("ChordalDistance", a, b, qa, qb))
        return kNotANumber;
    return ChordalOfOrthonormal(qa, qb);
}
