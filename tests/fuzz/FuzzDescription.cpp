// The XML data description: a file that fails to open leaves the open data set exactly as
// it was; one that opens is saved so that it opens again to the same content, and saving
// that again writes the same bytes.
#include "FuzzSupport.h"
#include "HDfileIO.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

auto Content(const Zelvo::HDfileIO& io)
{
    return std::make_tuple(io.IsOpened(), io.IsNewDataSet(), io.GetFileTypeIndex(), io.GetDimension(),
                           io.GetSpatialX(), io.GetSpatialY(), io.GetSpatialZ(), io.GetPointCount(),
                           io.GetDimensionMask(), io.GetDimensionLabels(), io.GetBinaryDataFileName(),
                           io.GetBinaryClusterFileName(), io.GetBinaryLabelFileName(),
                           io.GetBinaryVolLabelFileName(), io.GetClusteringResults());
}

const char kKnown[] =
    "<?xml version=\"1.0\"?>\n<DataDescription><MetaInfo><FileType typeIndex=\"0\"/><PointCount count=\"2\"/>"
    "<SpatialDimension x=\"2\" y=\"1\" z=\"1\"/><Dimension dimension=\"2\"/>"
    "<DimensionMask dimMask0=\"True\" dimMask1=\"False\"/><DimensionLabel dim0=\"a\" dim1=\"b\"/></MetaInfo>"
    "<DataFile><BinaryDataFile filename=\"known.bin\"/><BinaryClusterFile/><BinaryLabelFile/>"
    "<BinaryVolLabelFile/></DataFile><Operation><ClusteringOperation>"
    "<ClusterResultEntry0 ClusterResultIDString=\"k\" ClusterResultFile=\"known_k.bin\"/>"
    "</ClusteringOperation></Operation></DataDescription>\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    const std::string known = FuzzSupport::WriteFile("known.xml", kKnown, sizeof(kKnown) - 1);
    const std::string fuzzed = FuzzSupport::WriteFile("fuzzed.xml", data, size);

    Zelvo::HDfileIO io;
    FUZZ_CHECK(io.OpenHDdataSet(known.c_str()));
    const auto before = Content(io);
    const std::string beforePath = io.GetFullPath();
    if (!io.OpenHDdataSet(fuzzed.c_str())) {
        FUZZ_CHECK(Content(io) == before);
        FUZZ_CHECK(io.GetFullPath() == beforePath);
        return 0;
    }

    // What opens is saved so that it opens again the same, and saving that writes the same bytes.
    FUZZ_CHECK(io.SaveHDdataSet());
    const std::string first = FuzzSupport::ReadFile(fuzzed);
    Zelvo::HDfileIO reopened;
    FUZZ_CHECK(reopened.OpenHDdataSet(fuzzed.c_str()));
    FUZZ_CHECK(Content(reopened) == Content(io));
    FUZZ_CHECK(reopened.SaveHDdataSet());
    FUZZ_CHECK(FuzzSupport::ReadFile(fuzzed) == first);
    return 0;
}
