// CSV import through the data-set file object: an import that succeeds writes a description
// and a point file that open again to exactly the table that was read (labels, shape and
// every value bit for bit); one that fails writes nothing.
#include "CSVLoader.h"
#include "FuzzSupport.h"
#include "HDfileIO.h"
#include "HDpointSet.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    const std::string csv = FuzzSupport::WriteFile("import.csv", data, size);
    const std::string description = FuzzSupport::WorkDir() + "imported.xml";
    const std::string points = FuzzSupport::WorkDir() + "imported.bin";
    std::remove(description.c_str());
    std::remove(points.c_str());

    CSVLoader expected;
    expected.LoadCSVFile(csv.c_str(), ',', true);

    Zelvo::HDfileIO io;
    FUZZ_CHECK(io.CreateNewEmptyHDdataSet(description.c_str()));
    const bool imported = io.ImportDataFromCSV(csv.c_str());
    struct stat status {};
    if (!imported) {
        FUZZ_CHECK(stat(description.c_str(), &status) != 0);
        return 0;
    }
    FUZZ_CHECK(expected.GetRowCount() > 0 && expected.GetColumnCount() > 0);

    Zelvo::HDfileIO reopened;
    FUZZ_CHECK(reopened.OpenHDdataSet(description.c_str()));
    FUZZ_CHECK(reopened.GetDimension() == expected.GetColumnCount());
    FUZZ_CHECK(reopened.GetPointCount() == expected.GetRowCount());
    FUZZ_CHECK(reopened.GetDimensionLabels() == expected.GetHeader());
    FUZZ_CHECK(reopened.GetDimensionLabels() == io.GetDimensionLabels());
    Zelvo::HDpointSet<float> set;
    FUZZ_CHECK(reopened.ReadHDPointSet(set));
    const std::vector<float>& values = expected.GetValues();
    FUZZ_CHECK(set.m_values.size() == values.size());
    FUZZ_CHECK(std::memcmp(set.m_values.data(), values.data(), values.size() * sizeof(float)) == 0);
    return 0;
}
