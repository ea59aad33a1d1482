#include "viewbench/ViewBenchData.h"

#include <cmath>
#include <fstream>

namespace ViewBench {

bool WriteClusteredCsv(const std::string& path, int points, int dims, int clusters)
{
    std::ofstream out(path);
    for (int d = 0; d < dims; ++d) out << (d ? "," : "") << "dim" << d;
    out << '\n';
    unsigned state = 12345u;
    for (int i = 0; i < points; ++i) {
        const int c = i % clusters;
        for (int d = 0; d < dims; ++d) {
            state = state * 1664525u + 1013904223u;
            const double noise = double(state >> 8) / double(1u << 24) - 0.5;
            out << (d ? "," : "") << std::sin(double(c * 7 + d)) * 10.0 + noise;
        }
        out << '\n';
    }
    return bool(out);
}

}  // namespace ViewBench
