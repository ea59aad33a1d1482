#include "Kmeans.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

namespace {

const int kMaxCycles = 100;
const double kTolerance = 1e-10;

}  // namespace

std::vector<std::vector<int>> Kmeans::cluster(const Eigen::MatrixXd& X, int k, const RandomGenerator& random)
{
    const Eigen::Index n = X.rows();
    const Eigen::Index d = X.cols();
    if (k < 1 || k > n) {
        Zelvo::Log::Printf("Error: Kmeans cluster count %d outside 1 .. %ld\n", k, long(n));
        return {};
    }
    if (!X.allFinite()) {
        Zelvo::Log::Puts("Error: Kmeans input holds a non-finite value");
        return {};
    }

    // Distinct random rows as seeds.
    Eigen::MatrixXd centres(k, d);
    std::vector<int> seeds;
    seeds.reserve(k);
    for (int c = 0; c < k; ++c) {
        int idx;
        do {
            const double r = double(random());
            idx = int(r * (double(n - 1) + 1.0) * 4.656612873077393e-10);
            idx = std::min<int>(std::max(idx, 0), int(n - 1));  // a generator past 2^31 - 1 stays in range
        } while (std::find(seeds.begin(), seeds.end(), idx) != seeds.end());
        centres.row(c) = X.row(idx);
        seeds.push_back(idx);
    }

    std::vector<int> label(n, 0);
    std::vector<double> nearest(n, 0.0);
    std::vector<int> memberCount(k);
    double previousError = 0;
    for (int cycle = 0; cycle < kMaxCycles; ++cycle) {
        const Eigen::MatrixXd kept = centres;

        // Assignment: lowest centre wins ties.
        for (Eigen::Index i = 0; i < n; ++i) {
            int best = 0;
            double bestD = std::numeric_limits<double>::infinity();
            for (int c = 0; c < k; ++c) {
                const double dist = (X.row(i) - centres.row(c)).squaredNorm();
                if (dist < bestD) {
                    bestD = dist;
                    best = c;
                }
            }
            label[i] = best;
            nearest[i] = bestD;
        }

        // Update: empty centres stay where they are.
        std::fill(memberCount.begin(), memberCount.end(), 0);
        Eigen::MatrixXd sums = Eigen::MatrixXd::Zero(k, d);
        for (Eigen::Index i = 0; i < n; ++i) {
            sums.row(label[i]) += X.row(i);
            ++memberCount[label[i]];
        }
        for (int c = 0; c < k; ++c)
            if (memberCount[c] > 0) centres.row(c) = sums.row(c) / double(memberCount[c]);

        double error = 0;
        for (double v : nearest) error += v;
        const double movement = (centres - kept).cwiseAbs().maxCoeff();
        const double errorChange = std::fabs(previousError - error);

        std::ostringstream line;
        line.imbue(std::locale::classic());
        line << "Cycle " << cycle << " Error " << error << " Movement " << movement << ", " << errorChange << "\n";
        Zelvo::Log::Write(line.str());

        if (cycle >= 2 && movement < kTolerance && errorChange < kTolerance) break;
        previousError = error;
    }

    std::vector<std::vector<int>> lists(k);
    for (Eigen::Index i = 0; i < n; ++i) lists[label[i]].push_back(int(i));
    for (auto& members : lists)
        std::stable_sort(members.begin(), members.end(), [&](int a, int b) { return nearest[a] < nearest[b]; });
    return lists;
}
