#pragma once

#include <Eigen/Dense>

#include <vector>

// Finds the rotation of the columns of X (n points x c columns) that best aligns every
// row with a single axis, by gradient steps over the c(c-1)/2 Givens angles, and
// assigns every point to the axis of its largest rotated coordinate. The constructor
// runs the whole optimisation; the object keeps its own copy of X.
class Evrot {
public:
    Evrot(const Eigen::MatrixXd& X, int method);
    virtual ~Evrot() = default;

    double GetQuality() const { return m_quality; }
    const Eigen::MatrixXd& GetRotatedX() const { return m_Xrot; }
    const std::vector<std::vector<int>>& GetClusters() const { return m_clusters; }
    int GetIterationCount() const { return m_iterations; }

    // Alignment quality in [0, 1] of a matrix of this object's column count; 1 when every
    // row has a single non-zero. A row of zeros counts as aligned.
    double evqual(const Eigen::MatrixXd& Y) const;
    // X times the rotation of the angle vector.
    Eigen::MatrixXd rotate_givens(const Eigen::VectorXd& theta) const;
    // Product of the Givens matrices of angles a .. b (identity when b < a).
    Eigen::MatrixXd build_Uab(const Eigen::VectorXd& theta, int a, int b) const;
    // Derivative of the Givens matrix of angle k.
    Eigen::MatrixXd gradU(const Eigen::VectorXd& theta, int k) const;
    // Derivative of the normalised alignment cost (1 - quality) with respect to angle k.
    double evqualitygrad(const Eigen::VectorXd& theta, int k) const;

private:
    void evrot();
    // Gradient of angle k given Y = X rotated by theta.
    double m_gradient(const Eigen::VectorXd& theta, int k, const Eigen::MatrixXd& Y) const;
    void cluster_assign();

    int m_method;
    int m_dim;
    int m_ndata;
    int m_angleCount;
    std::vector<int> m_ik;
    std::vector<int> m_jk;
    Eigen::MatrixXd m_X;
    Eigen::MatrixXd m_Xrot;
    double m_quality = 0;
    int m_iterations = 0;
    std::vector<std::vector<int>> m_clusters;
};
