#include "Evrot.h"

#include <cmath>
#include <utility>

namespace {

const int kMaxIterations = 200;
const double kMinGain = 1e-3;

// Column of the largest absolute entry of row r; the lowest column wins ties.
int argMaxAbs(const Eigen::MatrixXd& Y, Eigen::Index r)
{
    int best = 0;
    double bestAbs = std::fabs(Y(r, 0));
    for (int col = 1; col < Y.cols(); ++col) {
        const double a = std::fabs(Y(r, col));
        if (a > bestAbs) {
            bestAbs = a;
            best = col;
        }
    }
    return best;
}

}  // namespace

Evrot::Evrot(const Eigen::MatrixXd& X, int method)
    : m_method(method),
      m_dim(static_cast<int>(X.cols())),
      m_ndata(static_cast<int>(X.rows())),
      m_angleCount(m_dim * (m_dim - 1) / 2),
      m_X(X)
{
    for (int i = 0; i < m_dim; ++i)
        for (int j = i + 1; j < m_dim; ++j) {
            m_ik.push_back(i);
            m_jk.push_back(j);
        }
    evrot();
}

double Evrot::evqual(const Eigen::MatrixXd& Y) const
{
    const Eigen::Index n = Y.rows();
    const Eigen::Index c = Y.cols();
    if (n == 0 || c == 0) return 0;
    double J = 0;
    for (Eigen::Index r = 0; r < n; ++r) {
        const double sMax = Y.row(r).array().square().maxCoeff();
        if (sMax > 0)
            J += Y.row(r).squaredNorm() / sMax;
        else
            J += 1;  // a zero row has nothing to align
    }
    return 1.0 - (J / double(n) - 1.0) / double(c);
}

Eigen::MatrixXd Evrot::build_Uab(const Eigen::VectorXd& theta, int a, int b) const
{
    Eigen::MatrixXd U = Eigen::MatrixXd::Identity(m_dim, m_dim);
    if (b < a) return U;
    for (int k = a; k <= b; ++k) {
        const double cs = std::cos(theta(k));
        const double sn = std::sin(theta(k));
        const int i = m_ik[k];
        const int j = m_jk[k];
        for (int r = 0; r < m_dim; ++r) {
            const double ui = U(r, i);
            const double uj = U(r, j);
            U(r, i) = ui * cs - uj * sn;
            U(r, j) = ui * sn + uj * cs;
        }
    }
    return U;
}

Eigen::MatrixXd Evrot::rotate_givens(const Eigen::VectorXd& theta) const
{
    return m_X * build_Uab(theta, 0, m_angleCount - 1);
}

Eigen::MatrixXd Evrot::gradU(const Eigen::VectorXd& theta, int k) const
{
    Eigen::MatrixXd V = Eigen::MatrixXd::Zero(m_dim, m_dim);
    const int i = m_ik[k];
    const int j = m_jk[k];
    const double cs = std::cos(theta(k));
    const double sn = std::sin(theta(k));
    V(i, i) = -sn;
    V(i, j) = cs;
    V(j, i) = -cs;
    V(j, j) = -sn;
    return V;
}

double Evrot::evqualitygrad(const Eigen::VectorXd& theta, int k) const
{
    return m_gradient(theta, k, rotate_givens(theta));
}

double Evrot::m_gradient(const Eigen::VectorXd& theta, int k, const Eigen::MatrixXd& Y) const
{
    // A = X U(0..k-1) V_k U(k+1..end). V_k has non-zero rows i and j only, so A is the
    // sum of two outer products; the result equals the full product.
    const int i = m_ik[k];
    const int j = m_jk[k];
    const Eigen::MatrixXd left = m_X * build_Uab(theta, 0, k - 1);
    const Eigen::MatrixXd right = gradU(theta, k) * build_Uab(theta, k + 1, m_angleCount - 1);
    const Eigen::MatrixXd A = left.col(i) * right.row(i) + left.col(j) * right.row(j);

    double dJ = 0;
    for (Eigen::Index r = 0; r < Y.rows(); ++r) {
        const int colMax = argMaxAbs(Y, r);
        const double yMax = Y(r, colMax);
        if (yMax == 0) continue;  // a zero row does not move with the angles
        const double yMax2 = yMax * yMax;
        const double yMax3 = yMax2 * yMax;
        const double aMax = A(r, colMax);
        for (Eigen::Index col = 0; col < Y.cols(); ++col) {
            const double y = Y(r, col);
            dJ += A(r, col) * y / yMax2 - y * y * aMax / yMax3;
        }
    }
    return 2.0 * dJ / double(m_ndata) / double(m_dim);
}

void Evrot::evrot()
{
    Eigen::VectorXd theta = Eigen::VectorXd::Zero(m_angleCount);
    Eigen::VectorXd trial = Eigen::VectorXd::Zero(m_angleCount);
    double Q = evqual(m_X);
    double Q1 = Q;  // quality at the start of the previous iteration
    double Q2 = Q;  // quality at the start of this iteration

    (void)m_method;  // only the gradient step exists
    Eigen::MatrixXd current = m_X;  // X rotated by theta
    int it = 0;
    for (; it < kMaxIterations; ++it) {
        Q1 = Q2;
        Q2 = Q;
        for (int k = 0; k < m_angleCount; ++k) {
            const double g = m_gradient(theta, k, current);
            trial(k) = theta(k) - g;
            Eigen::MatrixXd rotated = rotate_givens(trial);
            const double Qnew = evqual(rotated);
            if (Qnew > Q) {
                theta(k) = trial(k);
                Q = Qnew;
                current = std::move(rotated);
            } else {
                trial(k) = theta(k);
            }
        }
        if (it >= 2 && Q - Q1 < kMinGain) {
            ++it;
            break;
        }
    }
    m_iterations = it;
    m_Xrot = std::move(current);
    m_quality = Q;
    cluster_assign();
}

void Evrot::cluster_assign()
{
    m_clusters.assign(m_dim, {});
    for (int r = 0; r < m_ndata; ++r) m_clusters[argMaxAbs(m_Xrot, r)].push_back(r);
}
