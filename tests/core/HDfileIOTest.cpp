#include "HDfileIO.h"
#include "HDpointSet.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

using Zelvo::HDfileIO;
using TestSupport::CaptureStdout;
using TestSupport::TempDir;

namespace {

// A description by meaning: the declaration, then one line per element (indented by depth)
// with its attributes in document order. Byte layout (indentation, quoting) is ignored.
void DescribeElement(const tinyxml2::XMLElement* element, int depth, std::string& out)
{
    out += std::string(2 * depth, ' ') + element->Name();
    for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
        out += std::string(" ") + a->Name() + "=" + a->Value();
    }
    out += "\n";
    for (const tinyxml2::XMLElement* child = element->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        DescribeElement(child, depth + 1, out);
    }
}

std::string DescribeFile(const std::string& path)
{
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) return "<unreadable>";
    std::string out;
    const tinyxml2::XMLNode* first = doc.FirstChild();
    if (first && first->ToDeclaration()) out += std::string("<?") + first->Value() + "?>\n";
    for (const tinyxml2::XMLElement* e = doc.FirstChildElement(); e; e = e->NextSiblingElement()) {
        DescribeElement(e, 0, out);
    }
    return out;
}

const char* const kSkeleton =
    "<?xml version=\"1.0\"?>\n"
    "DataDescription\n"
    "  MetaInfo\n"
    "    FileType typeIndex=0\n"
    "    PointCount count=0\n"
    "    SpatialDimension x=0 y=0 z=0\n"
    "    Dimension dimension=0\n"
    "    DimensionMask\n"
    "    DimensionLabel\n"
    "  DataFile\n"
    "    BinaryDataFile\n"
    "    BinaryClusterFile\n"
    "    BinaryLabelFile\n"
    "    BinaryVolLabelFile\n"
    "  Operation\n"
    "    ClusteringOperation\n";

// A complete description as the system writes it, with three dimensions and two results.
const char* const kFullDescription = R"(<?xml version="1.0"?>
<DataDescription>
  <MetaInfo>
    <FileType typeIndex="0"/>
    <PointCount count="4"/>
    <SpatialDimension x="4" y="1" z="1"/>
    <Dimension dimension="3"/>
    <DimensionMask dimMask0="True" dimMask1="False" dimMask2="True"/>
    <DimensionLabel dim0="alpha" dim1="beta" dim2="gamma"/>
  </MetaInfo>
  <DataFile>
    <BinaryDataFile filename="full.bin"/>
    <BinaryClusterFile filename="full_cluster.bin"/>
    <BinaryLabelFile filename="full_label.bin"/>
    <BinaryVolLabelFile filename="full_vol.bin"/>
  </DataFile>
  <Operation>
    <ClusteringOperation>
      <ClusterResultEntry0 ClusterResultIDString="km" ClusterResultFile="full_km.bin"/>
      <ClusterResultEntry1 ClusterResultIDString="tree" ClusterResultFile="full_tree.bin"/>
    </ClusteringOperation>
  </Operation>
</DataDescription>
)";

// Everything an observer of the object can see, for "nothing changed" checks.
std::string Snapshot(const HDfileIO& io)
{
    std::string s;
    s += "opened=" + std::to_string(io.IsOpened()) + " new=" + std::to_string(io.IsNewDataSet());
    s += " type=" + std::to_string(io.GetFileTypeIndex()) + " n=" + std::to_string(io.GetPointCount());
    s += " xyz=" + std::to_string(io.GetSpatialX()) + "," + std::to_string(io.GetSpatialY()) + "," +
         std::to_string(io.GetSpatialZ());
    s += " D=" + std::to_string(io.GetDimension()) + " mask=";
    for (bool b : io.GetDimensionMask()) s += b ? '1' : '0';
    s += " labels=";
    for (const auto& l : io.GetDimensionLabels()) s += l + ";";
    s += " files=" + io.GetBinaryDataFileName() + "," + io.GetBinaryClusterFileName() + "," +
         io.GetBinaryLabelFileName() + "," + io.GetBinaryVolLabelFileName();
    s += " path=" + io.GetFullPath() + " base=" + io.GetBaseName() + " dir=" + io.GetDirectory();
    s += " clustering=";
    for (const auto& e : io.GetClusteringResults()) s += e.first + ":" + e.second + ";";
    return s;
}

}  // namespace

TEST(HDfileIO, PathGivesBaseNameCutAtLastDotAndDirectoryWithSlash)
{
    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet("/d/iris.part2.xml"));
    EXPECT_EQ(io.GetBaseName(), "iris.part2");
    EXPECT_EQ(io.GetDirectory(), "/d/");
    EXPECT_EQ(io.GetFullPath(), "/d/iris.part2.xml");

    // A dot in a directory name does not shorten the base name.
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet("/data/v1.2/run/wine"));
    EXPECT_EQ(io.GetBaseName(), "wine");
    EXPECT_EQ(io.GetDirectory(), "/data/v1.2/run/");
}

TEST(HDfileIO, NewThenSaveWritesTheSkeletonAndOpensAgain)
{
    TempDir dir;
    const std::string path = dir.file("empty.xml");
    HDfileIO io;
    EXPECT_FALSE(io.IsOpened());
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(path.c_str()));
    EXPECT_TRUE(io.IsOpened());
    EXPECT_TRUE(io.IsNewDataSet());
    EXPECT_EQ(TestSupport::ReadFile(path), "") << "creating must not write a file";

    CaptureStdout([&] { EXPECT_TRUE(io.SaveHDdataSet()); });
    EXPECT_EQ(DescribeFile(path), kSkeleton);
    // No encoding or standalone in the declaration.
    EXPECT_EQ(TestSupport::ReadFile(path).rfind("<?xml version=\"1.0\"?>", 0), 0u);

    HDfileIO reopened;
    CaptureStdout([&] { EXPECT_TRUE(reopened.OpenHDdataSet(path.c_str())); });
    EXPECT_TRUE(reopened.IsOpened());
    EXPECT_FALSE(reopened.IsNewDataSet());
    EXPECT_EQ(reopened.GetDimension(), 0);
    EXPECT_TRUE(reopened.QueryListOfClusteringResults().empty());
}

TEST(HDfileIO, RoundTripKeepsEveryElementAndAttributeInOrder)
{
    TempDir dir;
    const std::string path = dir.file("set.xml");
    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(path.c_str()));
    io.SetDataShape(0, 150, 150, 1, 1, 3);
    io.SetBinaryFileNames("set.bin", "", "set_label.bin", "set_vol.bin");
    io.SetDimensionProperties({true, false, true}, {"sepal length", "a&b \"q\" <x>", "petal"});
    // Added out of order: entries are written in identifier order.
    io.SetClusteringResultFile("b", "set_b.bin");
    EXPECT_FALSE(io.SetClusteringResultFile("a", "set_a_old.bin"));
    EXPECT_TRUE(io.SetClusteringResultFile("a", "set_a.bin"));

    CaptureStdout([&] { EXPECT_TRUE(io.SaveHDdataSet()); });
    const std::string expected =
        "<?xml version=\"1.0\"?>\n"
        "DataDescription\n"
        "  MetaInfo\n"
        "    FileType typeIndex=0\n"
        "    PointCount count=150\n"
        "    SpatialDimension x=150 y=1 z=1\n"
        "    Dimension dimension=3\n"
        "    DimensionMask dimMask0=True dimMask1=False dimMask2=True\n"
        "    DimensionLabel dim0=sepal length dim1=a&b \"q\" <x> dim2=petal\n"
        "  DataFile\n"
        "    BinaryDataFile filename=set.bin\n"
        "    BinaryClusterFile\n"  // empty name: no attribute
        "    BinaryLabelFile filename=set_label.bin\n"
        "    BinaryVolLabelFile filename=set_vol.bin\n"
        "  Operation\n"
        "    ClusteringOperation\n"
        "      ClusterResultEntry0 ClusterResultIDString=a ClusterResultFile=set_a.bin\n"
        "      ClusterResultEntry1 ClusterResultIDString=b ClusterResultFile=set_b.bin\n";
    EXPECT_EQ(DescribeFile(path), expected);

    HDfileIO reopened;
    CaptureStdout([&] { EXPECT_TRUE(reopened.OpenHDdataSet(path.c_str())); });
    EXPECT_EQ(reopened.GetPointCount(), 150);
    EXPECT_EQ(reopened.GetSpatialX(), 150);
    EXPECT_EQ(reopened.GetSpatialY(), 1);
    EXPECT_EQ(reopened.GetSpatialZ(), 1);
    EXPECT_EQ(reopened.GetDimension(), 3);
    EXPECT_EQ(reopened.GetDimensionMask(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(reopened.GetDimensionLabels(), (std::vector<std::string>{"sepal length", "a&b \"q\" <x>", "petal"}));
    EXPECT_EQ(reopened.GetBinaryDataFileName(), "set.bin");
    EXPECT_EQ(reopened.GetBinaryClusterFileName(), "");
    EXPECT_EQ(reopened.GetBinaryLabelFileName(), "set_label.bin");
    EXPECT_EQ(reopened.GetBinaryVolLabelFileName(), "set_vol.bin");
    EXPECT_EQ(reopened.QueryListOfClusteringResults(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(reopened.GetClusteringResults().at("a"), "set_a.bin");

    // Saving the opened description again rewrites the attributes in place: same meaning.
    CaptureStdout([&] { EXPECT_TRUE(reopened.SaveHDdataSet()); });
    EXPECT_EQ(DescribeFile(path), expected);
}

TEST(HDfileIO, SaveAsWritesElsewhereButKeepsTheDataSetPath)
{
    TempDir dir;
    const std::string path = dir.file("orig.xml");
    const std::string other = dir.file("other.xml");
    HDfileIO io;
    io.CreateNewEmptyHDdataSet(path.c_str());
    io.SetDataShape(0, 5, 5, 1, 1, 0);
    EXPECT_TRUE(io.SaveAsHDdataSet(other.c_str()));
    EXPECT_EQ(io.GetFullPath(), path);
    EXPECT_EQ(io.GetBaseName(), "orig");
    EXPECT_EQ(TestSupport::ReadFile(path), "");
    EXPECT_NE(DescribeFile(other).find("PointCount count=5"), std::string::npos);

    // Closing changes nothing: the data set can still be saved, to its own path.
    EXPECT_EQ(io.Close(), 0);
    EXPECT_TRUE(io.IsOpened());
    EXPECT_TRUE(io.SaveHDdataSet());
    EXPECT_NE(DescribeFile(path).find("PointCount count=5"), std::string::npos);
}

TEST(HDfileIO, ReaderAcceptsAnyOrderAbsentAttributesAndAnyEntryName)
{
    TempDir dir;
    const std::string path = dir.file("loose.xml");
    // Children shuffled, counts partly absent, mask values in other spellings, a missing
    // mask bit and label, a non-canonical index, an entry with a foreign name and no volume
    // label element.
    TestSupport::WriteFile(path, R"(<?xml version="1.0"?>
<DataDescription>
  <Operation>
    <ClusteringOperation>
      <Zeta ClusterResultIDString="z" ClusterResultFile="z.bin"/>
      <ClusterResultEntry7 ClusterResultFile="k.bin" ClusterResultIDString="k"/>
      <DimensionMask ClusterResultIDString="z" ClusterResultFile="z2.bin"/>
    </ClusteringOperation>
  </Operation>
  <DataFile>
    <BinaryLabelFile/>
    <BinaryClusterFile filename="c.bin"/>
    <BinaryDataFile filename="d.bin"/>
  </DataFile>
  <MetaInfo>
    <DimensionLabel extra="x" dim2="c" dim0="a" dim01="ignored" dim6="beyond"/>
    <DimensionMask dimMask3="True" dimMask1="False" dimMask0="true" dimMask2="1" dimMask4="True" dimMask4x="True"/>
    <Dimension dimension="6"/>
    <SpatialDimension x="9"/>
    <PointCount/>
    <FileType typeIndex="2"/>
  </MetaInfo>
</DataDescription>
)");
    HDfileIO io;
    CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(path.c_str())); });
    EXPECT_EQ(io.GetFileTypeIndex(), 2);
    EXPECT_EQ(io.GetPointCount(), 0);
    EXPECT_EQ(io.GetSpatialX(), 9);
    EXPECT_EQ(io.GetSpatialY(), 0);
    EXPECT_EQ(io.GetDimensionMask(), (std::vector<bool>{false, false, false, true, true, false}));
    EXPECT_EQ(io.GetDimensionLabels(), (std::vector<std::string>{"a", "", "c", "", "", ""}));
    EXPECT_EQ(io.GetBinaryDataFileName(), "d.bin");
    EXPECT_EQ(io.GetBinaryClusterFileName(), "c.bin");
    EXPECT_EQ(io.GetBinaryLabelFileName(), "");
    EXPECT_EQ(io.GetBinaryVolLabelFileName(), "");
    EXPECT_EQ(io.QueryListOfClusteringResults(), (std::vector<std::string>{"k", "z"}));
    EXPECT_EQ(io.GetClusteringResults().at("z"), "z2.bin");

    // The writer keeps the reader's document: existing attributes change in place, missing
    // ones follow in index order, entries are renamed by position, element order stays.
    CaptureStdout([&] { ASSERT_TRUE(io.SaveHDdataSet()); });
    EXPECT_EQ(DescribeFile(path),
              "<?xml version=\"1.0\"?>\n"
              "DataDescription\n"
              "  Operation\n"
              "    ClusteringOperation\n"
              "      ClusterResultEntry0 ClusterResultIDString=k ClusterResultFile=k.bin\n"
              "      ClusterResultEntry1 ClusterResultIDString=z ClusterResultFile=z2.bin\n"
              "  DataFile\n"
              "    BinaryLabelFile\n"
              "    BinaryClusterFile filename=c.bin\n"
              "    BinaryDataFile filename=d.bin\n"
              "  MetaInfo\n"
              "    DimensionLabel extra=x dim2=c dim0=a dim01=ignored dim6=beyond dim1= dim3= dim4= dim5=\n"
              "    DimensionMask dimMask3=True dimMask1=False dimMask0=False dimMask2=False dimMask4=True "
              "dimMask4x=True dimMask5=False\n"
              "    Dimension dimension=6\n"
              "    SpatialDimension x=9 y=0 z=0\n"
              "    PointCount count=0\n"
              "    FileType typeIndex=2\n");
}

TEST(HDfileIO, BrokenDescriptionsAreRejectedAndChangeNothing)
{
    TempDir dir;
    const std::string goodPath = dir.file("full.xml");
    TestSupport::WriteFile(goodPath, kFullDescription);

    // Each required element removed in turn, and attribute faults.
    std::vector<std::pair<std::string, std::string>> cases;
    for (const char* name : {"DataDescription", "MetaInfo", "FileType", "PointCount", "SpatialDimension",
                             "Dimension", "DimensionMask", "DimensionLabel", "DataFile", "BinaryDataFile",
                             "BinaryLabelFile", "BinaryClusterFile", "Operation", "ClusteringOperation"}) {
        tinyxml2::XMLDocument doc;
        ASSERT_EQ(doc.Parse(kFullDescription), tinyxml2::XML_SUCCESS);
        std::vector<tinyxml2::XMLElement*> pending{doc.RootElement()};
        tinyxml2::XMLElement* found = nullptr;
        while (!pending.empty() && !found) {
            tinyxml2::XMLElement* e = pending.back();
            pending.pop_back();
            if (std::string(e->Name()) == name) found = e;
            for (auto* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) pending.push_back(c);
        }
        ASSERT_NE(found, nullptr) << name;
        found->Parent()->DeleteChild(found);
        tinyxml2::XMLPrinter printer;
        doc.Print(&printer);
        cases.emplace_back(std::string("without ") + name, printer.CStr());
    }
    auto replaced = [](const std::string& from, const std::string& to) {
        std::string text = kFullDescription;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    cases.emplace_back("entry without identifier", replaced("ClusterResultIDString=\"km\"", ""));
    cases.emplace_back("entry without file", replaced("ClusterResultFile=\"full_tree.bin\"", ""));
    cases.emplace_back("negative point count", replaced("count=\"4\"", "count=\"-4\""));
    cases.emplace_back("negative dimension", replaced("dimension=\"3\"", "dimension=\"-1\""));
    cases.emplace_back("negative x", replaced("x=\"4\"", "x=\"-4\""));
    cases.emplace_back("negative z", replaced("z=\"1\"", "z=\"-1\""));
    cases.emplace_back("count not a number", replaced("count=\"4\"", "count=\"many\""));
    cases.emplace_back("absurd dimension", replaced("dimension=\"3\"", "dimension=\"2000000000\""));
    cases.emplace_back("not closed", replaced("</DataDescription>", ""));
    cases.emplace_back("empty file", "");
    cases.emplace_back("not XML", "x,y,z\n1,2,3\n");

    for (const auto& [label, text] : cases) {
        SCOPED_TRACE(label);
        HDfileIO io;
        CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(goodPath.c_str())); });
        const std::string before = Snapshot(io);
        EXPECT_NE(before.find("clustering=km:full_km.bin;tree:full_tree.bin;"), std::string::npos);

        const std::string badPath = dir.file("bad.description.xml");
        TestSupport::WriteFile(badPath, text);
        const std::string out = CaptureStdout([&] { EXPECT_FALSE(io.OpenHDdataSet(badPath.c_str())); });
        EXPECT_EQ(out.rfind("Error in opening: ", 0), 0u) << out;
        EXPECT_EQ(Snapshot(io), before);

        // The document is the old one too: saving writes the old description to the old path.
        TestSupport::WriteFile(goodPath, "");
        CaptureStdout([&] { EXPECT_TRUE(io.SaveHDdataSet()); });
        EXPECT_EQ(DescribeFile(goodPath), [] {
            TempDir scratch;
            TestSupport::WriteFile(scratch.file("x.xml"), kFullDescription);
            return DescribeFile(scratch.file("x.xml"));
        }());
    }

    HDfileIO io;
    const std::string missing = dir.file("absent.xml");
    const std::string out = CaptureStdout([&] { EXPECT_FALSE(io.OpenHDdataSet(missing.c_str())); });
    EXPECT_EQ(out.rfind("Error in opening: ", 0), 0u) << out;
    EXPECT_FALSE(io.IsOpened());
    EXPECT_EQ(io.GetFullPath(), "");
}

TEST(HDfileIO, EachDataSetStartsClean)
{
    TempDir dir;
    const std::string full = dir.file("full.xml");
    TestSupport::WriteFile(full, kFullDescription);

    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("first.xml").c_str()));
    EXPECT_TRUE(io.IsNewDataSet());
    CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(full.c_str())); });
    EXPECT_FALSE(io.IsNewDataSet()) << "an opened data set must not take a CSV import";
    EXPECT_EQ(io.QueryListOfClusteringResults().size(), 2u);

    // New after Open: nothing of the opened data set is carried into the new description.
    const std::string fresh = dir.file("fresh.xml");
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(fresh.c_str()));
    EXPECT_TRUE(io.IsNewDataSet());
    EXPECT_EQ(Snapshot(io), "opened=1 new=1 type=0 n=0 xyz=0,0,0 D=0 mask= labels= files=,,, path=" + fresh +
                                " base=fresh dir=" + dir.path() + " clustering=");
    CaptureStdout([&] { EXPECT_TRUE(io.SaveHDdataSet()); });
    EXPECT_EQ(DescribeFile(fresh), kSkeleton);

    // Open after Open: the clustering map is the second description's only.
    CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(full.c_str())); });
    CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(fresh.c_str())); });
    EXPECT_TRUE(io.QueryListOfClusteringResults().empty());
    EXPECT_TRUE(io.GetDimensionLabels().empty());
    EXPECT_EQ(io.GetBinaryVolLabelFileName(), "");
}

TEST(HDfileIO, FailedSavesReturnFalseWithAnErrorLine)
{
    HDfileIO io;
    std::string out = CaptureStdout([&] { EXPECT_FALSE(io.SaveHDdataSet()); });
    EXPECT_EQ(out.rfind("Error in saving: ", 0), 0u) << "nothing open";

    const std::string unwritable = "/nonexistent-tolvemark-dir/set.xml";
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(unwritable.c_str()));
    out = CaptureStdout([&] { EXPECT_FALSE(io.SaveHDdataSet()); });
    EXPECT_EQ(out.rfind("Error in saving: ", 0), 0u) << out;
    out = CaptureStdout([&] { EXPECT_FALSE(io.SaveAsHDdataSet("")); });
    EXPECT_EQ(out.rfind("Error in saving: ", 0), 0u) << out;
    TempDir dir;
    CaptureStdout([&] { EXPECT_TRUE(io.SaveAsHDdataSet(dir.file("ok.xml").c_str())); });
}

TEST(HDfileIO, TwentyThousandDimensionsWriteAndOpenInLinearTime)
{
    using Clock = std::chrono::steady_clock;
    const int D = 20000;
    TempDir dir;
    const std::string path = dir.file("wide.xml");
    std::vector<bool> mask(D);
    std::vector<std::string> labels(D);
    for (int i = 0; i < D; ++i) {
        mask[i] = i % 3 != 0;
        labels[i] = "d" + std::to_string(i * 7);
    }
    HDfileIO io;
    io.CreateNewEmptyHDdataSet(path.c_str());
    io.SetDataShape(0, 2, 2, 1, 1, D);
    io.SetDimensionProperties(mask, labels);

    auto start = Clock::now();
    ASSERT_TRUE(io.SaveHDdataSet());
    const double writeSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    HDfileIO reopened;
    start = Clock::now();
    std::string out = CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(path.c_str())); });
    const double openSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(reopened.GetDimensionLabels(), labels);
    EXPECT_EQ(reopened.GetDimensionMask(), mask);
    EXPECT_NE(out.find(" ... and 19900 more dimensions\n"), std::string::npos);  // 100 lines printed

    // Rewriting attributes that already exist must be linear as well.
    mask.flip();
    reopened.SetDimensionProperties(mask, labels);
    start = Clock::now();
    ASSERT_TRUE(reopened.SaveHDdataSet());
    const double rewriteSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    EXPECT_LT(writeSeconds, 2.0);
    EXPECT_LT(openSeconds, 2.0);
    EXPECT_LT(rewriteSeconds, 2.0);

    HDfileIO third;
    CaptureStdout([&] { ASSERT_TRUE(third.OpenHDdataSet(path.c_str())); });
    EXPECT_EQ(third.GetDimensionMask(), mask);
    EXPECT_EQ(third.GetDimensionLabels()[12345], "d86415");
}

// Names in a description are taken relative to its folder. One from someone else must not make
// the program read or later overwrite a file of the user's elsewhere, so it is refused at Open
// unless it names a file in the folder or below it.
TEST(HDfileIO, RecordedFileNamesMustStayInTheDescriptionsFolder)
{
    TempDir dir;
    const std::string set = dir.file("set/");
    ASSERT_EQ(mkdir(set.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((set + "sub").c_str(), 0700), 0);
    const std::string points(48, '\x01');  // the 4 points of 3 floats of kFullDescription
    for (const std::string& file : {set + "p.bin", set + "sub/p.bin", dir.file("outside.bin")}) {
        ASSERT_TRUE(TestSupport::WriteFile(file, points));
    }
    ASSERT_EQ(symlink("sub/p.bin", (set + "in.bin").c_str()), 0);
    ASSERT_EQ(symlink("../outside.bin", (set + "out.bin").c_str()), 0);
    ASSERT_EQ(symlink("..", (set + "up").c_str()), 0);
    ASSERT_EQ(symlink("../nowhere.bin", (set + "dangling.bin").c_str()), 0);  // writing would create it

    const std::pair<std::string, bool> names[] = {
        {"p.bin", true},           {"sub/p.bin", true},        {"./sub//p.bin", true},
        {"in.bin", true},          {"../outside.bin", false},  {"sub/../p.bin", false},
        {set + "p.bin", false},    {"out.bin", false},         {"up/outside.bin", false},
        {"dangling.bin", false},   {"", false}};
    // The point file, a stored result and the volume labels (whose empty name means none).
    const std::pair<std::string, bool> slots[] = {{"filename=\"full.bin\"", false},
                                                  {"ClusterResultFile=\"full_km.bin\"", false},
                                                  {"filename=\"full_vol.bin\"", true}};
    TestSupport::WriteFile(set + "good.xml", kFullDescription);
    for (const auto& [attribute, emptyMeansNone] : slots) {
        for (const auto& [name, inside] : names) {
            SCOPED_TRACE(attribute + " -> '" + name + "'");
            std::string text = kFullDescription;
            const std::string named = attribute.substr(0, attribute.find('"') + 1) + name + "\"";
            text.replace(text.find(attribute), attribute.size(), named);
            TestSupport::WriteFile(set + "shared.xml", text);

            HDfileIO io;
            CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet((set + "good.xml").c_str())); });
            const std::string before = Snapshot(io);
            bool opened = false;
            const std::string out = CaptureStdout([&] { opened = io.OpenHDdataSet((set + "shared.xml").c_str()); });
            const bool accepted = inside || (emptyMeansNone && name.empty());
            EXPECT_EQ(opened, accepted) << out;
            if (!accepted) {
                EXPECT_EQ(out.rfind("Error: The file name \"" + name + "\"", 0), 0u) << out;
                EXPECT_NE(out.find("Error in opening: "), std::string::npos) << out;
                EXPECT_EQ(Snapshot(io), before);
            } else if (attribute == slots[0].first) {
                Zelvo::HDpointSet<float> read;
                EXPECT_TRUE(io.ReadHDPointSet(read));
                EXPECT_EQ(read.m_values.size(), 12u);
            }
        }
    }
}
