#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"
#include "HDpointSet.h"
#include "TestSupport.h"
#include "VolumeModel.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

using Zelvo::ClusteringResult;
using Zelvo::EmbeddingResult;
using Zelvo::HDfileIO;
using Zelvo::HDpointSet;
using Zelvo::VolumeModel;
using TestSupport::CaptureStdout;
using TestSupport::ReadFile;
using TestSupport::TempDir;

namespace {

bool Exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

long long SizeOf(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

std::string Attribute(const tinyxml2::XMLDocument& doc, const char* element, const char* name)
{
    const tinyxml2::XMLElement* e = doc.FirstChildElement("DataDescription");
    for (const char* parent : {"MetaInfo", "DataFile"}) {
        const tinyxml2::XMLElement* p = e->FirstChildElement(parent);
        if (p && p->FirstChildElement(element)) {
            const char* value = p->FirstChildElement(element)->Attribute(name);
            return value ? value : "<absent>";
        }
    }
    return "<no element>";
}

// Little-endian bytes of a float, written out by hand from its bit pattern.
std::string Bytes(uint32_t bits)
{
    std::string out(4, '\0');
    for (int k = 0; k < 4; ++k) out[k] = static_cast<char>((bits >> (8 * k)) & 0xFF);
    return out;
}

// An imported data set in dir: <dir>/<name>.xml and <dir>/<name>.bin.
void ImportInto(HDfileIO& io, const std::string& xmlPath, const std::string& csvPath)
{
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(xmlPath.c_str()));
    bool imported = false;
    CaptureStdout([&] { imported = io.ImportDataFromCSV(csvPath.c_str()); });
    ASSERT_TRUE(imported);
}

// A table of rows x cols with value(r, c) = r * 10 + c / 4 (exact in float).
std::string TableCsv(int rows, int cols)
{
    std::ostringstream out;
    for (int c = 0; c < cols; ++c) out << (c ? "," : "") << "d" << c;
    out << "\n";
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) out << (c ? "," : "") << r * 10 + c / 4.0;
        out << "\n";
    }
    return out.str();
}

}  // namespace

TEST(BinaryFiles, GoldenImportWritesDescriptionAndLittleEndianPointFile)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), "x,\"y\",'z'\n1,-2.5,0.5\n2,0,8\n-1,3,0.25\n4,5,6\n100,-0.125,7\n");
    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("a.b.xml").c_str()));
    bool imported = false;
    const std::string out = CaptureStdout([&] { imported = io.ImportDataFromCSV(dir.file("in.csv").c_str()); });
    ASSERT_TRUE(imported);
    EXPECT_NE(out.find("CSV file: EntryCount: 5\n"), std::string::npos) << out;
    EXPECT_TRUE(io.IsNewDataSet());  // a second import is still accepted

    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.LoadFile(dir.file("a.b.xml").c_str()), tinyxml2::XML_SUCCESS);
    EXPECT_EQ(Attribute(doc, "FileType", "typeIndex"), "0");
    EXPECT_EQ(Attribute(doc, "PointCount", "count"), "5");
    EXPECT_EQ(Attribute(doc, "SpatialDimension", "x"), "5");
    EXPECT_EQ(Attribute(doc, "SpatialDimension", "y"), "1");
    EXPECT_EQ(Attribute(doc, "SpatialDimension", "z"), "1");
    EXPECT_EQ(Attribute(doc, "Dimension", "dimension"), "3");
    for (const char* mask : {"dimMask0", "dimMask1", "dimMask2"}) EXPECT_EQ(Attribute(doc, "DimensionMask", mask), "True");
    EXPECT_EQ(Attribute(doc, "DimensionMask", "dimMask3"), "<absent>");
    EXPECT_EQ(Attribute(doc, "DimensionLabel", "dim0"), "x");
    EXPECT_EQ(Attribute(doc, "DimensionLabel", "dim1"), "y");
    EXPECT_EQ(Attribute(doc, "DimensionLabel", "dim2"), "z");
    // Only the last extension is cut: "a.b.xml" must not share the point file of "a.xml".
    EXPECT_EQ(Attribute(doc, "BinaryDataFile", "filename"), "a.b.bin");

    const std::string bin = ReadFile(dir.file("a.b.bin"));
    ASSERT_EQ(bin.size(), 60u);
    // Hand-encoded IEEE-754 patterns of the first row, a middle value and the last value.
    EXPECT_EQ(bin.substr(0, 4), Bytes(0x3F800000u));   // 1
    EXPECT_EQ(bin.substr(4, 4), Bytes(0xC0200000u));   // -2.5
    EXPECT_EQ(bin.substr(8, 4), Bytes(0x3F000000u));   // 0.5
    EXPECT_EQ(bin.substr(32, 4), Bytes(0x3E800000u));  // 0.25 (row 2, column 2)
    EXPECT_EQ(bin.substr(48, 4), Bytes(0x42C80000u));  // 100
    EXPECT_EQ(bin.substr(52, 4), Bytes(0xBE000000u));  // -0.125
    EXPECT_EQ(bin.substr(56, 4), Bytes(0x40E00000u));  // 7

    // The written pair opens again and reads the same numbers.
    HDfileIO reopened;
    CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(dir.file("a.b.xml").c_str())); });
    HDpointSet<float> set;
    ASSERT_TRUE(reopened.ReadHDPointSet(set));
    const std::vector<float> expected = {1, -2.5f, 0.5f, 2, 0, 8, -1, 3, 0.25f, 4, 5, 6, 100, -0.125f, 7};
    EXPECT_EQ(set.m_values, expected);
    EXPECT_EQ(set.GetPointCount(), 5);
    EXPECT_EQ(set.m_dimension, 3);
    EXPECT_EQ(set.m_kind, 0);
    EXPECT_EQ(set.m_spatialX, 5);
    EXPECT_EQ(set.m_dimLabels, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(set.m_dimMask, std::vector<bool>(3, true));
}

TEST(BinaryFiles, ImportIsRefusedWithoutANewDataSet)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), "p,q\n1,2\n");
    HDfileIO fresh;
    EXPECT_FALSE(fresh.ImportDataFromCSV(dir.file("in.csv").c_str()));

    HDfileIO io;
    ImportInto(io, dir.file("a.xml"), dir.file("in.csv"));
    HDfileIO opened;
    CaptureStdout([&] { ASSERT_TRUE(opened.OpenHDdataSet(dir.file("a.xml").c_str())); });
    const std::string before = ReadFile(dir.file("a.xml"));
    TestSupport::WriteFile(dir.file("other.csv"), "p,q,r\n1,2,3\n4,5,6\n");
    EXPECT_FALSE(opened.ImportDataFromCSV(dir.file("other.csv").c_str()));
    EXPECT_EQ(ReadFile(dir.file("a.xml")), before);
    EXPECT_EQ(SizeOf(dir.file("a.bin")), 8);
}

TEST(BinaryFiles, EmptyOrUnreadableCsvFailsAndWritesNothing)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("header.csv"), "a,b,c\n");
    TestSupport::WriteFile(dir.file("empty.csv"), "");
    TestSupport::WriteFile(dir.file("gaps.csv"), "a,b\n1,\n,2\n");  // every row has a missing field
    for (const std::string& csv : {dir.file("header.csv"), dir.file("empty.csv"), dir.file("gaps.csv"),
                                   dir.file("missing.csv")}) {
        SCOPED_TRACE(csv);
        HDfileIO io;
        ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("e.xml").c_str()));
        bool imported = true;
        const std::string out = CaptureStdout([&] { imported = io.ImportDataFromCSV(csv.c_str()); });
        EXPECT_FALSE(imported);
        EXPECT_NE(out.find("Error"), std::string::npos) << out;
        EXPECT_EQ(out.find("CSV file: EntryCount"), std::string::npos) << out;
        EXPECT_FALSE(Exists(dir.file("e.xml")));
        EXPECT_FALSE(Exists(dir.file("e.bin")));
        EXPECT_EQ(io.GetPointCount(), 0);
        EXPECT_EQ(io.GetBinaryDataFileName(), "");
    }

    // A failed import after a good one leaves the good data set as it was, and the
    // values of the first file never leak into a later import.
    TestSupport::WriteFile(dir.file("good.csv"), "u,v\n1,2\n3,4\n");
    HDfileIO io;
    ImportInto(io, dir.file("g.xml"), dir.file("good.csv"));
    const std::string xml = ReadFile(dir.file("g.xml"));
    const std::string bin = ReadFile(dir.file("g.bin"));
    CaptureStdout([&] { EXPECT_FALSE(io.ImportDataFromCSV(dir.file("header.csv").c_str())); });
    EXPECT_EQ(ReadFile(dir.file("g.xml")), xml);
    EXPECT_EQ(ReadFile(dir.file("g.bin")), bin);
    EXPECT_EQ(io.GetPointCount(), 2);
    EXPECT_EQ(io.GetDimension(), 2);
}

TEST(BinaryFiles, PointFileOfWrongSizeOrMissingIsRefused)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), TableCsv(150, 4));
    HDfileIO io;
    ImportInto(io, dir.file("t.xml"), dir.file("in.csv"));
    const std::string good = ReadFile(dir.file("t.bin"));
    ASSERT_EQ(good.size(), 2400u);

    // A longer file: exactly 2400 bytes are read, the tail is ignored.
    TestSupport::WriteFile(dir.file("t.bin"), good + std::string(40, '\x7f'));
    HDpointSet<float> set;
    ASSERT_TRUE(io.ReadHDPointSet(set));
    ASSERT_EQ(set.m_values.size(), 600u);
    EXPECT_EQ(set.m_values[599], 1490.75f);
    EXPECT_EQ(set.m_values[4 * 37 + 2], 370.5f);

    // One byte short: refused, and the previous data set's values do not survive.
    TestSupport::WriteFile(dir.file("t.bin"), good.substr(0, 2399));
    bool read = true;
    std::string out = CaptureStdout([&] { read = io.ReadHDPointSet(set); });
    EXPECT_FALSE(read);
    EXPECT_NE(out.find("ReadHDPointSet::Error"), std::string::npos) << out;
    EXPECT_TRUE(set.m_values.empty());
    EXPECT_EQ(set.GetPointCount(), 0);
    EXPECT_EQ(set.m_dimension, 4);
    EXPECT_EQ(set.m_dimMask.size(), 4u);

    // Missing file.
    std::remove(dir.file("t.bin").c_str());
    out = CaptureStdout([&] { read = io.ReadHDPointSet(set); });
    EXPECT_FALSE(read);
    EXPECT_EQ(out.rfind("ReadHDPointSet::Error Can't ", 0), 0u) << out;
    EXPECT_TRUE(set.m_values.empty());

    // Sizes whose product overflows 32 bits, and sizes far beyond any file: refused
    // before anything is allocated.
    TestSupport::WriteFile(dir.file("t.bin"), good);
    for (const std::pair<int, int>& shape : {std::pair<int, int>{65536, 65536}, {2000000000, 4}}) {
        HDfileIO huge;
        ASSERT_TRUE(huge.CreateNewEmptyHDdataSet(dir.file("t.xml").c_str()));
        huge.SetDataShape(0, shape.first, shape.first, 1, 1, shape.second);
        huge.SetBinaryFileNames("t.bin", "", "", "");
        huge.SetDimensionProperties(std::vector<bool>(static_cast<size_t>(shape.second), true),
                                    std::vector<std::string>(static_cast<size_t>(shape.second)));
        out = CaptureStdout([&] { read = huge.ReadHDPointSet(set); });
        EXPECT_FALSE(read);
        EXPECT_NE(out.find("ReadHDPointSet::Error"), std::string::npos) << out;
        EXPECT_TRUE(set.m_values.empty());
    }

    // A description whose labels do not match its dimension count.
    HDfileIO mismatched;
    ASSERT_TRUE(mismatched.CreateNewEmptyHDdataSet(dir.file("t.xml").c_str()));
    mismatched.SetDataShape(0, 150, 150, 1, 1, 4);
    mismatched.SetBinaryFileNames("t.bin", "", "", "");
    mismatched.SetDimensionProperties(std::vector<bool>(3, true), std::vector<std::string>(3));
    out = CaptureStdout([&] { read = mismatched.ReadHDPointSet(set); });
    EXPECT_FALSE(read);
    EXPECT_NE(out.find("ReadHDPointSet::Error"), std::string::npos) << out;

    // Nothing open: nothing to read.
    HDfileIO closed;
    out = CaptureStdout([&] { read = closed.ReadHDPointSet(set); });
    EXPECT_FALSE(read);
    EXPECT_NE(out.find("Error"), std::string::npos);
}

TEST(BinaryFiles, ClusteringResultFilesRoundTripAndReplace)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), TableCsv(3, 2));
    HDfileIO io;
    ImportInto(io, dir.file("iris.xml"), dir.file("in.csv"));

    ClusteringResult first;
    first.SetClusteringIndexArray({{0, 2}, {1}});
    std::string out = CaptureStdout([&] { EXPECT_TRUE(io.WriteClusteringResult(first, "km5")); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadFile(dir.file("iris_km5.bin")), first.GetSerializedHierarchyString());
    EXPECT_EQ(io.GetClusteringResults().at("km5"), "iris_km5.bin");

    ClusteringResult read;
    ASSERT_TRUE(io.ReadClusteringResult(read, "km5"));
    EXPECT_EQ(read.GetSerializedHierarchyString(), first.GetSerializedHierarchyString());
    ASSERT_NE(read.GetRoot(), nullptr);
    EXPECT_EQ(read.GetRoot()->children.size(), 2u);

    // The same identifier again: warning, one entry, the file holds the new text.
    ClusteringResult second;
    second.SetClusteringIndexArray({{2}, {1}, {0}});
    out = CaptureStdout([&] { EXPECT_TRUE(io.WriteClusteringResult(second, "km5")); });
    EXPECT_EQ(out.rfind("Warning: Entry already exist", 0), 0u) << out;
    EXPECT_EQ(io.GetClusteringResults().size(), 1u);
    EXPECT_EQ(ReadFile(dir.file("iris_km5.bin")), second.GetSerializedHierarchyString());

    // Saved into the description and found again from it.
    CaptureStdout([&] { ASSERT_TRUE(io.SaveHDdataSet()); });
    HDfileIO reopened;
    CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(dir.file("iris.xml").c_str())); });
    ClusteringResult again;
    ASSERT_TRUE(reopened.ReadClusteringResult(again, "km5"));
    EXPECT_EQ(again.GetSerializedHierarchyString(), second.GetSerializedHierarchyString());

    // Unknown identifier, and a recorded file that is gone: result untouched.
    ClusteringResult untouched;
    out = CaptureStdout([&] { EXPECT_FALSE(io.ReadClusteringResult(untouched, "nothing")); });
    EXPECT_EQ(out.rfind("Error: Can't find correspond", 0), 0u) << out;
    std::remove(dir.file("iris_km5.bin").c_str());
    out = CaptureStdout([&] { EXPECT_FALSE(io.ReadClusteringResult(untouched, "km5")); });
    EXPECT_EQ(out.rfind("Error: Fail to open: ", 0), 0u) << out;
    EXPECT_EQ(untouched.GetSerializedHierarchyString(), "");

    // An identifier that is a path names one file in the data set's directory.
    const std::string pathId = dir.path() + "sub/h";
    ASSERT_TRUE(io.WriteClusteringResult(first, pathId));
    std::string safe = pathId;
    for (char& c : safe)
        if (c == '/') c = '_';
    EXPECT_EQ(io.GetClusteringResults().at(pathId), "iris_" + safe + ".bin");
    EXPECT_EQ(ReadFile(dir.file("iris_" + safe + ".bin")), first.GetSerializedHierarchyString());
    ASSERT_TRUE(io.WriteClusteringResult(first, "a\\b"));
    EXPECT_TRUE(Exists(dir.file("iris_a_b.bin")));
    EXPECT_EQ(io.GetClusteringResults().count("a\\b"), 1u);
}

TEST(BinaryFiles, ResultWriteFailuresRecordNothing)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), TableCsv(3, 2));
    HDfileIO io;
    ImportInto(io, dir.file("d.xml"), dir.file("in.csv"));
    ClusteringResult result;
    result.SetClusteringIndexArray({{0, 1, 2}});

    // The target name is taken by a directory, so the file cannot be created.
    ASSERT_EQ(mkdir(dir.file("d_blocked.bin").c_str(), 0700), 0);
    bool written = true;
    std::string out = CaptureStdout([&] { written = io.WriteClusteringResult(result, "blocked"); });
    EXPECT_FALSE(written);
    EXPECT_NE(out.find("Error"), std::string::npos);
    EXPECT_EQ(io.GetClusteringResults().count("blocked"), 0u);

    std::vector<float> positions = {1, 2, 3, 4, 5, 6};
    EmbeddingResult embedding(positions.data(), 2, 3, nullptr);
    ASSERT_EQ(mkdir(dir.file("d_embed_blocked.bin").c_str(), 0700), 0);
    CaptureStdout([&] { written = io.WriteEmbeddingResult(embedding, "blocked"); });
    EXPECT_FALSE(written);
    EXPECT_EQ(io.GetEmbeddingResults().count("blocked"), 0u);

    // Nothing open: nothing is written anywhere (not even beside the working directory).
    HDfileIO closed;
    out = CaptureStdout([&] { written = closed.WriteClusteringResult(result, "x"); });
    EXPECT_FALSE(written);
    EXPECT_NE(out.find("Error"), std::string::npos);
    EXPECT_FALSE(Exists("_x.bin"));
    EXPECT_TRUE(closed.GetClusteringResults().empty());
}

TEST(BinaryFiles, EmbeddingFileHoldsEveryOriginalPosition)
{
    TempDir dir;
    TestSupport::WriteFile(dir.file("in.csv"), TableCsv(150, 4));
    HDfileIO io;
    ImportInto(io, dir.file("iris.xml"), dir.file("in.csv"));
    std::vector<float> positions(300);
    for (size_t k = 0; k < positions.size(); ++k) positions[k] = static_cast<float>(k) * 0.5f - 3.0f;
    EmbeddingResult embedding(positions.data(), 2, 150, nullptr);
    embedding.modifiedPositions[0] = 999.0f;  // dragging does not change what is stored

    ASSERT_TRUE(io.WriteEmbeddingResult(embedding, "pca"));
    const std::string bin = ReadFile(dir.file("iris_embed_pca.bin"));
    ASSERT_EQ(bin.size(), 1200u);
    std::vector<float> stored(300);
    std::memcpy(stored.data(), bin.data(), bin.size());
    EXPECT_EQ(stored, embedding.originalPositions);  // the computed (centred) positions
    EXPECT_EQ(stored[2], positions[2] - (positions[0] + positions[298]) / 2);
    EXPECT_EQ(io.GetEmbeddingResults().at("pca"), "iris_embed_pca.bin");

    const std::string out = CaptureStdout([&] { EXPECT_TRUE(io.WriteEmbeddingResult(embedding, "pca")); });
    EXPECT_EQ(out.rfind("Warning: Entry already exist", 0), 0u) << out;
    // Embeddings are never listed in the description.
    CaptureStdout([&] { ASSERT_TRUE(io.SaveHDdataSet()); });
    EXPECT_EQ(ReadFile(dir.file("iris.xml")).find("pca"), std::string::npos);
}

TEST(BinaryFiles, VolumeLabelsAreReadWithTheirRange)
{
    TempDir dir;
    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("v.xml").c_str()));
    io.SetDataShape(0, 12, 2, 2, 3, 1);
    io.SetBinaryFileNames("v.bin", "", "", "vlabel.bin");
    io.SetDimensionProperties({true}, {"density"});
    std::vector<float> values(12);
    for (int k = 0; k < 12; ++k) values[k] = static_cast<float>(k);
    TestSupport::WriteFile(dir.file("v.bin"), std::string(reinterpret_cast<const char*>(values.data()), 48));
    const std::vector<unsigned int> labels = {5, 3, 9, 3, 4, 7, 2, 8, 6, 5, 4, 3};
    TestSupport::WriteFile(dir.file("vlabel.bin"), std::string(reinterpret_cast<const char*>(labels.data()), 48));

    VolumeModel volume;
    HDpointSet<float> set;
    bool read = false;
    std::string out = CaptureStdout([&] { read = io.ReadVolumeModel(volume, set); });
    EXPECT_TRUE(read);
    EXPECT_EQ(out.rfind("@@@@@ read label Min:2 Max:9", 0), 0u) << out;
    EXPECT_EQ(volume.m_voxelLabels, labels);
    EXPECT_EQ(volume.GetSpatialZ(), 3);
    EXPECT_FALSE(volume.m_isVolume);  // the file object's flag, never set
    EXPECT_EQ(set.m_kind, 1);
    EXPECT_EQ(set.m_values, values);

    // A short label file is refused; no partial labels are kept.
    TestSupport::WriteFile(dir.file("vlabel.bin"), std::string(reinterpret_cast<const char*>(labels.data()), 47));
    out = CaptureStdout([&] { read = io.ReadVolumeModel(volume, set); });
    EXPECT_FALSE(read);
    EXPECT_EQ(out.find("@@@@@"), std::string::npos);
    EXPECT_TRUE(volume.m_voxelLabels.empty());
    EXPECT_EQ(set.m_values, values);  // the points are still read

    // No voxel: 0 and 0 without touching any file.
    io.SetDataShape(0, 0, 0, 2, 3, 1);
    io.SetBinaryFileNames("v.bin", "", "", "absent.bin");
    out = CaptureStdout([&] { read = io.ReadVolumeModel(volume, set); });
    EXPECT_TRUE(read);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "@@@@@ read label Min:0 Max:0\n");
    EXPECT_TRUE(volume.m_voxelLabels.empty());

    // A grid beyond what fits is refused before anything is allocated.
    io.SetDataShape(0, 1, 100000, 100000, 100000, 1);
    out = CaptureStdout([&] { read = io.ReadVolumeModel(volume, set); });
    EXPECT_FALSE(read);
    EXPECT_TRUE(volume.m_voxelLabels.empty());
}

// Names set after opening and the names built here are checked where they are used as well:
// no file outside the data set's folder is read or written, whatever the name says.
TEST(BinaryFiles, NoFileOutsideTheFolderIsReadOrWritten)
{
    TempDir dir;
    const std::string set = dir.file("set/");
    ASSERT_EQ(mkdir(set.c_str(), 0700), 0);
    TestSupport::WriteFile(dir.file("in.csv"), TableCsv(4, 2));
    const std::string outside(32, 'o');
    TestSupport::WriteFile(dir.file("outside.bin"), outside);
    HDfileIO io;
    ImportInto(io, set + "d.xml", dir.file("in.csv"));
    HDpointSet<float> points;
    ASSERT_TRUE(io.ReadHDPointSet(points));
    std::vector<int> deleted = {1};
    ASSERT_TRUE(points.DeleteHDpoints(deleted));

    // Points deleted from a set whose point file is named outside: nothing is written there.
    io.SetBinaryFileNames("../outside.bin", "", "", "../outside.bin");
    bool done = true;
    std::string out = CaptureStdout([&] { done = io.WriteHDpointSetProperty(points); });
    EXPECT_FALSE(done);
    EXPECT_EQ(out.rfind("Error: The file name \"../outside.bin\"", 0), 0u) << out;
    EXPECT_EQ(io.GetPointCount(), 4);
    CaptureStdout([&] { done = io.ReadHDPointSet(points); });
    EXPECT_FALSE(done);
    EXPECT_TRUE(points.m_values.empty());
    VolumeModel volume;
    io.SetDataShape(0, 4, 4, 1, 1, 2);
    CaptureStdout([&] { done = io.ReadVolumeModel(volume, points); });
    EXPECT_FALSE(done);
    EXPECT_TRUE(volume.m_voxelLabels.empty());
    io.SetClusteringResultFile("x", "../outside.bin");
    ClusteringResult result;
    CaptureStdout([&] { done = io.ReadClusteringResult(result, "x"); });
    EXPECT_FALSE(done);
    EXPECT_EQ(result.GetSerializedHierarchyString(), "");

    // Names built from the base name, led out by a symbolic link planted under them.
    ASSERT_EQ(symlink("../outside.bin", (set + "d_km.bin").c_str()), 0);
    result.SetClusteringIndexArray({{0, 1}});
    CaptureStdout([&] { done = io.WriteClusteringResult(result, "km"); });
    EXPECT_FALSE(done);
    EXPECT_EQ(io.GetClusteringResults().count("km"), 0u);
    ASSERT_EQ(symlink("../outside.bin", (set + "e.bin").c_str()), 0);
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet((set + "e.xml").c_str()));
    CaptureStdout([&] { done = io.ImportDataFromCSV(dir.file("in.csv").c_str()); });
    EXPECT_FALSE(done);
    EXPECT_EQ(ReadFile(dir.file("outside.bin")), outside);
}
