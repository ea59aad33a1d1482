#pragma once

#include "HDpointSet.h"
#include "TestSupport.h"

#include <Eigen/Dense>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Shared helpers of the spectral tests: point sets, partitions and the NumPy round trip.
namespace SpectralTestHelpers {

inline void fillSet(Zelvo::HDpointSet<float>& set, const std::vector<float>& values, int d)
{
    set = std::move(*TestSupport::MakePointSet(values, d));
}

// g Gaussian blobs of `perBlob` points in d dimensions around random centres at least
// `distance` apart; truth gets the blob of each point. Points are interleaved (point i
// belongs to blob i % g) so that blobs are not index ranges.
inline std::vector<float> blobs(int g, int perBlob, int d, unsigned seed, std::vector<int>& truth, float spread = 0.3f,
                                float distance = 10.0f)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, spread);
    std::uniform_real_distribution<float> box(0.0f, distance * float(g));
    std::vector<std::vector<float>> centres;
    while (int(centres.size()) < g) {
        std::vector<float> c(d);
        for (float& v : c) v = box(rng);
        bool farEnough = true;
        for (const auto& other : centres) {
            float s = 0;
            for (int k = 0; k < d; ++k) s += (c[k] - other[k]) * (c[k] - other[k]);
            farEnough = farEnough && s >= distance * distance;
        }
        if (farEnough) centres.push_back(c);
    }
    std::vector<float> values;
    truth.clear();
    for (int p = 0; p < perBlob; ++p)
        for (int b = 0; b < g; ++b) {
            for (int c = 0; c < d; ++c) values.push_back(centres[b][c] + noise(rng));
            truth.push_back(b);
        }
    return values;
}

// A generator whose first k draws seed k-means with rows 0 .. k-1 of n (one per blob
// for interleaved blobs), then goes on with a fixed sequence.
inline std::function<int()> seedRows(int n)
{
    auto next = std::make_shared<long long>(0);
    return [n, next]() {
        const long long i = (*next)++;
        if (i < n) return int((i * 2147483648LL + n - 1) / n);  // ceil(i * 2^31 / n)
        return int((i * 1103515245LL + 12345) % 2147483647LL);
    };
}

inline std::vector<int> labelsOf(const std::vector<std::vector<int>>& lists, int n)
{
    std::vector<int> labels(n, -1);
    for (size_t c = 0; c < lists.size(); ++c)
        for (int p : lists[c]) labels[p] = int(c);
    return labels;
}

// Adjusted Rand index of two labelings of the same points.
inline double adjustedRand(const std::vector<int>& a, const std::vector<int>& b)
{
    return TestSupport::AdjustedRandIndex(a, b);
}

inline void writeMatrix(const std::string& path, const Eigen::MatrixXd& m)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    for (Eigen::Index i = 0; i < m.rows(); ++i) {
        for (Eigen::Index j = 0; j < m.cols(); ++j) std::fprintf(f, "%s%.17g", j ? " " : "", m(i, j));
        std::fprintf(f, "\n");
    }
    std::fclose(f);
}

// Runs a Python script (Debian's interpreter) in dir and parses whitespace-separated numbers it prints.
inline std::vector<double> runPython(const TestSupport::TempDir& dir, const std::string& script, int* code)
{
    const std::string out = TestSupport::RunPython(dir.path(), script, code);
    std::istringstream in(out);
    in.imbue(std::locale::classic());
    std::vector<double> numbers;
    double v;
    while (in >> v) numbers.push_back(v);
    if (*code != 0) std::fprintf(stderr, "python said: %s\n", out.c_str());
    return numbers;
}

inline Eigen::MatrixXd randomOrthogonal(int c, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    Eigen::MatrixXd m(c, c);
    for (int i = 0; i < c; ++i)
        for (int j = 0; j < c; ++j) m(i, j) = normal(rng);
    Eigen::HouseholderQR<Eigen::MatrixXd> qr(m);
    return qr.householderQ();
}

}  // namespace SpectralTestHelpers
