// Writes the k-means++ seeds the k-means engine starts from on a data set, one centre per
// line, so that a comparison can start its peer from the same centres:
//     kmeans_seeds (--csv FILE | --xml FILE) [--dims LIST] [--state N] --method kmeans --k K --out FILE
// The data go through the driver's own loading and the engine's packing, and the draws
// follow the driver's srand(0) before a run.
#include "AtomicFileWriter.h"
#include "HDpointSet.h"
#include "KmTree.h"
#include "driver/DriverData.h"
#include "driver/DriverOptions.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kmeans_seeds: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    EngineDriver::DriverOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) return Fail(error);
    if (options.outPath.empty()) return Fail("no --out given");
    const int k = options.Int("k", 3);
    if (k < 1) return Fail("--k must be at least 1");

    EngineDriver::DriverData data;
    if (!data.Load(options, error) || !data.ApplySelection(options, error)) return Fail(error);
    Zelvo::HDpointSet<float>& points = data.Profile().GetPointSet();
    points.m_dimension = static_cast<int64_t>(points.m_dimMask.size());
    const std::vector<float>* packed = points.GetPackedRawDataArray(true);
    const int n = points.GetPointCount();
    const int d = points.GetSelectedDimensionCount();
    if (!packed || packed->size() != static_cast<std::size_t>(n) * d) return Fail("no packed values");

    std::srand(0);
    KmTree tree(n, d, packed->data());
    std::vector<float> centres(static_cast<std::size_t>(k) * d);
    if (!tree.IsValid() || !tree.SeedKMeansPlusPlus(k, centres.data())) return Fail("seeding failed");

    Zelvo::AtomicFileWriter out(options.outPath);
    if (std::FILE* file = out.File()) {
        for (int c = 0; c < k; ++c) {
            for (int j = 0; j < d; ++j)
                std::fprintf(file, j ? ",%.9g" : "%.9g", centres[static_cast<std::size_t>(c) * d + j]);
            std::fputc('\n', file);
        }
    }
    return out.Commit() ? 0 : Fail("cannot write " + options.outPath + " (" + out.Reason() + ")");
}
