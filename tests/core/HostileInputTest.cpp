// Files a user can be handed: numbers out of float range, descriptions that must save in a
// form that opens again, labels that must survive import, save and open, crafted files that
// must not hang, and fields that are no numbers.
#include "CSVLoader.h"
#include "HDfileIO.h"
#include "TestSupport.h"
#include "xmlColorMap.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

using Zelvo::HDfileIO;

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Description(int count, int dimension, const std::string& labels)
{
    return "<?xml version=\"1.0\"?>\n<DataDescription><MetaInfo><FileType typeIndex=\"0\"/><PointCount count=\"" +
           std::to_string(count) + "\"/><SpatialDimension x=\"" + std::to_string(count) +
           "\" y=\"1\" z=\"1\"/><Dimension dimension=\"" + std::to_string(dimension) +
           "\"/><DimensionMask dimMask0=\"True\"/><DimensionLabel " + labels +
           "/></MetaInfo><DataFile><BinaryDataFile filename=\"d.bin\"/><BinaryClusterFile/><BinaryLabelFile/>"
           "<BinaryVolLabelFile/></DataFile><Operation><ClusteringOperation/></Operation></DataDescription>\n";
}

// Saves the open description and opens it again: the same labels and mask, and saving it once
// more writes the same bytes.
void ExpectSavedAndReopened(HDfileIO& io)
{
    const std::string path = io.GetFullPath();
    std::string saved;
    HDfileIO reopened;
    TestSupport::CaptureStdout([&] {
        ASSERT_TRUE(io.SaveHDdataSet());
        saved = TestSupport::ReadFile(path);
        ASSERT_TRUE(reopened.OpenHDdataSet(path.c_str()));
        ASSERT_TRUE(reopened.SaveHDdataSet());
    });
    EXPECT_EQ(reopened.GetDimensionLabels(), io.GetDimensionLabels());
    EXPECT_EQ(reopened.GetDimensionMask(), io.GetDimensionMask());
    EXPECT_EQ(TestSupport::ReadFile(path), saved);
}

}  // namespace

// Out of float range, the size of the number decides between 0 and the largest float.
TEST(HostileInput, OutOfRangeNumbersReadByTheirSize)
{
    const std::string tiny = "0." + std::string(48, '0') + "1";      // 1e-49 written out
    const std::string huge = "1" + std::string(60, '0') + "e-5";      // 1e55
    for (const std::string& text : {tiny, huge, std::string("-") + huge, std::string("1e-46"), std::string("1e39"),
                                    std::string("0.7e07370955161")}) {
        std::istringstream in(text);
        float streamed = 0;
        in >> streamed;
        EXPECT_EQ(CSVLoader::ParseFloat(text.data(), text.data() + text.size()), streamed) << text;
    }
    EXPECT_EQ(CSVLoader::ParseFloat(tiny.data(), tiny.data() + tiny.size()), 0.0f);

    TestSupport::TempDir dir;
    for (const auto& [r, expected] : {std::pair<std::string, float>{tiny, 0.0f},
                                      std::pair<std::string, float>{huge, std::numeric_limits<float>::infinity()}}) {
        WriteText(dir.file("map.xml"), "<ColorMap><Point x=\"0\" r=\"" + r + "\" g=\"0\" b=\"0\" o=\"1\"/></ColorMap>");
        xmlColorMap map;
        TestSupport::CaptureStdout([&] { ASSERT_TRUE(map.loadColorMap(dir.file("map.xml").c_str())); });
        EXPECT_EQ(map.GetPoints().at(0).r, expected) << r;
    }
}

// What opens either saves in a form that opens again, or is refused with nothing changed.
TEST(HostileInput, DescriptionsThatWouldNotReopenAreRefused)
{
    TestSupport::TempDir dir;
    const std::string good = Description(1, 1, "dim0=\"a\"");
    const std::string cases[] = {
        good.substr(0, good.size() - 1) + "x</y>",                          // text after the root
        Description(1, 1, std::string("dim0=\"a\" di\0m=\"b\"", 17)),     // NUL in a name
        Description(1, 1, std::string("dim0=\"a\0b\"", 10)),              // NUL in a value
        "</x>" + good,                                                       // stray end tag first
    };
    WriteText(dir.file("good.xml"), good);
    HDfileIO io;
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(dir.file("good.xml").c_str())); });
    for (const std::string& text : cases) {
        WriteText(dir.file("bad.xml"), text);
        const std::string printed = TestSupport::CaptureStdout([&] { EXPECT_FALSE(io.OpenHDdataSet(dir.file("bad.xml").c_str())); });
        EXPECT_NE(printed.find("Error in opening"), std::string::npos) << printed;
        EXPECT_EQ(io.GetFullPath(), dir.file("good.xml"));
        EXPECT_EQ(io.GetDimensionLabels(), std::vector<std::string>{"a"});
    }
    ExpectSavedAndReopened(io);

    // Text inside an element (the format has none) with a CR from a reference.
    std::string text = Description(1, 1, "dim0=\"a\"");
    text.replace(text.find("</MetaInfo>"), 0, "x&#13;y");
    WriteText(dir.file("text.xml"), text);
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(dir.file("text.xml").c_str())); });
    ExpectSavedAndReopened(io);
}

// Tab, CR and LF inside labels come back as they were; a NUL in a header field is dropped.
TEST(HostileInput, LabelsSurviveImportSaveAndOpen)
{
    TestSupport::TempDir dir;
    WriteText(dir.file("t.csv"), std::string("a\rb,c\td,e&<\"f,g\0h\n1,2,3,4\n", 26));
    HDfileIO io;
    TestSupport::CaptureStdout([&] {
        ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("t.xml").c_str()));
        ASSERT_TRUE(io.ImportDataFromCSV(dir.file("t.csv").c_str()));
    });
    const std::vector<std::string> expected{"a\rb", "c\td", "e&<f", "gh"};
    EXPECT_EQ(io.GetDimensionLabels(), expected);
    HDfileIO reopened;
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(dir.file("t.xml").c_str())); });
    EXPECT_EQ(reopened.GetDimensionLabels(), expected);

    // A label holding a line end, as another program may write it.
    WriteText(dir.file("lf.xml"), Description(1, 1, "dim0=\"x&#10;y&#13;z\""));
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(dir.file("lf.xml").c_str())); });
    EXPECT_EQ(reopened.GetDimensionLabels(), std::vector<std::string>{"x\ny\rz"});
    ExpectSavedAndReopened(reopened);
}

// Each of these took seconds to minutes (or gigabytes) before it was bounded.
TEST(HostileInput, CraftedDescriptionsOpenQuicklyOrAreRefused)
{
    TestSupport::TempDir dir;
    HDfileIO io;
    const auto start = std::chrono::steady_clock::now();

    // '&' without ';' in a label: each one used to search the rest of the file.
    const std::string ampersands(800000, '&');
    WriteText(dir.file("amp.xml"), Description(1, 1, "dim0=\"" + ampersands + "\""));
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(dir.file("amp.xml").c_str())); });
    EXPECT_EQ(io.GetDimensionLabels().at(0), ampersands);

    // More attributes than any element of the format uses (17; the parser checks each
    // against all before it), in a description and in a colour map.
    std::string attributes;
    for (int i = 0; i < 17; ++i) attributes += " a" + std::to_string(i) + "=\"1\"";
    std::string wide = Description(1, 1, "dim0=\"a\"");
    wide.replace(wide.find("<FileType "), 10, "<FileType" + attributes + " ");
    WriteText(dir.file("attributes.xml"), wide);
    TestSupport::CaptureStdout([&] { EXPECT_FALSE(io.OpenHDdataSet(dir.file("attributes.xml").c_str())); });
    WriteText(dir.file("map.xml"), "<ColorMap><Point" + attributes + " x=\"0\" r=\"1\" g=\"0\" b=\"0\" o=\"1\"/></ColorMap>");
    xmlColorMap map;
    TestSupport::CaptureStdout([&] { EXPECT_FALSE(map.loadColorMap(dir.file("map.xml").c_str())); });

    // Many dimensions that no point file backs are not believed.
    WriteText(dir.file("dims.xml"), Description(0, 65537, ""));
    TestSupport::CaptureStdout([&] { EXPECT_FALSE(io.OpenHDdataSet(dir.file("dims.xml").c_str())); });
    EXPECT_EQ(io.GetFullPath(), dir.file("amp.xml"));

    // At most 100 per-dimension lines, then a count.
    WriteText(dir.file("d101.xml"), Description(0, 101, ""));
    const std::string printed = TestSupport::CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(dir.file("d101.xml").c_str())); });
    size_t lines = 0;
    for (size_t at = printed.find(" dimensionMask:"); at != std::string::npos; at = printed.find(" dimensionMask:", at + 1)) ++lines;
    EXPECT_EQ(lines, 100u);
    EXPECT_NE(printed.find("1 more"), std::string::npos) << printed;

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// Fields that hold no number still read as 0, and the user hears of them once per file.
TEST(HostileInput, NonNumbersAreCountedOncePerFile)
{
    TestSupport::TempDir dir;
    WriteText(dir.file("na.csv"), "a,b,c\n1,2,3\nNA,nan,abc\n2.5kg,4,5\n");
    CSVLoader loader;
    const std::string printed = TestSupport::CaptureStdout([&] { ASSERT_TRUE(loader.LoadCSVFile(dir.file("na.csv").c_str(), ',', true)); });
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{1, 2, 3, 0, 0, 0, 2.5f, 4, 5}));
    EXPECT_NE(printed.find("Warning: 3 fields"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"NA\" in line 3, column 1"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Warning", printed.find("Warning") + 1), std::string::npos);
}
