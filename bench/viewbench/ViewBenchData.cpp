#include "viewbench/ViewBenchData.h"

#include "viewbench/ViewBenchOps.h"

#include "DataProfile.h"
#include "HDfileIO.h"

#include <QTemporaryDir>

#include <cstdio>

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

bool LoadGeneratedDataSet(const QTemporaryDir& dir, const Options& options, const char* op, Zelvo::HDfileIO& file,
                          Zelvo::DataProfile& profile)
{
    const std::string xml = dir.filePath(QString(op) + ".xml").toStdString();
    const std::string csv = dir.filePath(QString(op) + ".csv").toStdString();
    if (!dir.isValid() || !WriteClusteredCsv(csv, options.points, options.dims, options.clusters) ||
        !file.CreateNewEmptyHDdataSet(xml.c_str()) || !file.ImportDataFromCSV(csv.c_str()) ||
        !profile.SetHDfileIO(&file)) {
        std::fprintf(stderr, "%s: could not build the data set\n", op);
        return false;
    }
    profile.SetDataSetPath(xml);
    return true;
}

}  // namespace ViewBench
