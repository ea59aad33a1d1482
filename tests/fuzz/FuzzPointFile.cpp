// The point file behind a description: the first four bytes give the point count and the
// dimension count (two bytes each), the rest is the point file. Reading succeeds exactly
// when the file holds count x dimension floats, and then gives them bit for bit.
#include "FuzzSupport.h"
#include "HDfileIO.h"
#include "HDpointSet.h"

#include <cstdio>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    if (size < 4) return 0;
    const int count = data[0] | (data[1] << 8);
    const int dimension = (data[2] | (data[3] << 8)) % 4096;
    const uint8_t* file = data + 4;
    const size_t fileSize = size - 4;
    FuzzSupport::WriteFile("points.bin", file, fileSize);
    char description[512];
    std::snprintf(description, sizeof(description),
                  "<?xml version=\"1.0\"?><DataDescription><MetaInfo><FileType typeIndex=\"0\"/>"
                  "<PointCount count=\"%d\"/><SpatialDimension x=\"%d\" y=\"1\" z=\"1\"/>"
                  "<Dimension dimension=\"%d\"/><DimensionMask/><DimensionLabel/></MetaInfo><DataFile>"
                  "<BinaryDataFile filename=\"points.bin\"/><BinaryClusterFile/><BinaryLabelFile/>"
                  "</DataFile><Operation><ClusteringOperation/></Operation></DataDescription>",
                  count, count, dimension);
    const std::string path = FuzzSupport::WriteFile("points.xml", description, std::strlen(description));

    Zelvo::HDfileIO io;
    FUZZ_CHECK(io.OpenHDdataSet(path.c_str()));
    FUZZ_CHECK(io.GetDimensionMask().size() == static_cast<size_t>(dimension));
    Zelvo::HDpointSet<float> set;
    const size_t needed = static_cast<size_t>(count) * dimension * sizeof(float);
    const bool read = io.ReadHDPointSet(set);
    FUZZ_CHECK(read == (fileSize >= needed));
    FUZZ_CHECK(set.m_dimension == dimension);
    if (read) {
        FUZZ_CHECK(set.m_values.size() * sizeof(float) == needed);
        FUZZ_CHECK(needed == 0 || std::memcmp(set.m_values.data(), file, needed) == 0);
    } else {
        FUZZ_CHECK(set.m_values.empty());
    }
    return 0;
}
