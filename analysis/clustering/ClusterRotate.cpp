#include "ClusterRotate.h"

#include "Evrot.h"

#include <algorithm>
#include <memory>

namespace {

const double kQualityBand = 1e-3;

}  // namespace

ClusterRotate::ClusterRotate(int method)
    : m_method(method)
{
}

bool ClusterRotate::AcceptQuality(double q)
{
    if (q > m_bestQuality) m_bestQuality = q;
    return m_bestQuality - q <= kQualityBand;
}

std::vector<std::vector<int>> ClusterRotate::cluster(const Eigen::MatrixXd& X)
{
    m_bestQuality = 0;
    m_chosenCount = 0;
    std::vector<std::vector<int>> result;
    const Eigen::Index n = X.rows();
    const Eigen::Index m = X.cols();
    if (m < 2) return result;

    Eigen::MatrixXd reference;
    Eigen::MatrixXd input = X.leftCols(2);
    for (Eigen::Index g = 2; g <= m; ++g) {
        if (g > 2) {
            // The previous pass's rotation carries over, whether it was chosen or not.
            Eigen::MatrixXd next(n, g);
            next.leftCols(g - 1) = input;
            next.col(g - 1) = X.col(g - 1);
            input = std::move(next);
        }
        const auto e = std::make_unique<Evrot>(input, m_method);
        if (AcceptQuality(e->GetQuality())) {
            result = e->GetClusters();
            reference = e->GetRotatedX();
            m_chosenCount = static_cast<int>(g);
        }
        input = e->GetRotatedX();
    }

    // Members nearest to their cluster's mean come first; ties keep index order.
    for (auto& members : result) {
        if (members.empty()) continue;
        Eigen::RowVectorXd centre = Eigen::RowVectorXd::Zero(reference.cols());
        for (int p : members) centre += reference.row(p);
        centre /= double(members.size());
        std::vector<std::pair<double, int>> keyed;
        keyed.reserve(members.size());
        for (int p : members) keyed.emplace_back((reference.row(p) - centre).squaredNorm(), p);
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t t = 0; t < keyed.size(); ++t) members[t] = keyed[t].second;
    }
    return result;
}
