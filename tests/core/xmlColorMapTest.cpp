#include "TestSupport.h"
#include "xmlColorMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

namespace {

std::string WriteMap(const TestSupport::TempDir& dir, const std::string& name, const std::string& body)
{
    TestSupport::WriteFile(dir.file(name), body);
    return dir.file(name);
}

// Loads quietly and returns what was printed.
std::string Load(xmlColorMap& map, const std::string& path, bool* ok = nullptr)
{
    bool loaded = false;
    const std::string out = TestSupport::CaptureStdout([&] { loaded = map.loadColorMap(path.c_str()); });
    if (ok)
        *ok = loaded;
    return out;
}

// Four entries told apart by red: 0.0, 0.25, 0.5, 1.0.
std::string FourPoints()
{
    return "<ColorMap>"
           "<Point x='0' r='0' g='0.1' b='0.2' o='1'/>"
           "<Point x='1' r='0.25' g='0.1' b='0.2' o='1'/>"
           "<Point x='2' r='0.5' g='0.1' b='0.2' o='1'/>"
           "<Point x='3' r='1' g='0.1' b='0.2' o='1'/>"
           "</ColorMap>";
}

}  // namespace

TEST(xmlColorMap, MissingFileInstallsTheDefaultRamp)
{
    TestSupport::TempDir dir;
    xmlColorMap map;
    bool ok = true;
    const std::string path = dir.file("missing.map.xml");
    Load(map, path, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(map.GetName(), dir.file("missing.map"));
    ASSERT_EQ(map.GetPointCount(), 256u);

    // A dark ramp from position 0 up, every entry opaque.
    for (size_t i = 1; i < 256; ++i) {
        const RgbColorf& p = map.GetPoints()[i];
        EXPECT_EQ(p.x, float(i) / 256.0f);
        EXPECT_GT(p.b, map.GetPoints()[i - 1].b);
        EXPECT_EQ(p.o, 1.0f);
    }

    // A file that is not XML is a failed load as well.
    const std::string broken = WriteMap(dir, "broken.xml", "<ColorMap><Point x='0'");
    Load(map, broken, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(map.GetPointCount(), 256u);
}

TEST(xmlColorMap, PositionsAreRescaledInFileOrder)
{
    TestSupport::TempDir dir;
    xmlColorMap map;
    bool ok = false;
    const std::string path = WriteMap(dir, "ordered.xml",
                                      "<?xml version='1.0'?><ColorMap>"
                                      "<Point x='10' r='0.1' g='0' b='0' o='1'/>"
                                      "<Point x='20' r='0.2' g='0' b='0' o='1'/>"
                                      "<Point x='30' r='0.3' g='0' b='0' o='1'/></ColorMap>");
    Load(map, path, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(map.GetName(), dir.file("ordered"));
    ASSERT_EQ(map.GetPointCount(), 3u);
    EXPECT_EQ(map.GetPoints()[0].x, 0.0f);
    EXPECT_EQ(map.GetPoints()[1].x, 0.5f);
    EXPECT_EQ(map.GetPoints()[2].x, 1.0f);

    const std::string shuffled = WriteMap(dir, "shuffled.xml",
                                          "<ColorMap>"
                                          "<Point x='30' r='0.3' g='0' b='0' o='1'/>"
                                          "<Point x='10' r='0.1' g='0' b='0' o='1'/>"
                                          "<Point x='20' r='0.2' g='0' b='0' o='1'/></ColorMap>");
    Load(map, shuffled, &ok);
    ASSERT_EQ(map.GetPointCount(), 3u);
    EXPECT_EQ(map.GetPoints()[0].x, 1.0f);
    EXPECT_EQ(map.GetPoints()[1].x, 0.0f);
    EXPECT_EQ(map.GetPoints()[2].x, 0.5f);
    EXPECT_EQ(map.GetPoints()[0].r, 0.3f);  // entries stay in file order

    // One shared position has no spread: positions become 0 rather than NaN. The name is the
    // path up to its last dot wherever that is, so without any dot the whole path; the
    // temporary folder's own path may hold dots, hence a relative path there.
    const std::string flat = WriteMap(dir, "flat",
                                      "<ColorMap><Point x='4' r='1' g='0' b='0' o='1'/>"
                                      "<Point x='4' r='0' g='1' b='0' o='1'/></ColorMap>");
    {
        TestSupport::InFolder inDir(dir.path());
        Load(map, "flat", &ok);
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(map.GetName(), "flat");
    ASSERT_EQ(map.GetPointCount(), 2u);
    EXPECT_EQ(map.GetPoints()[0].x, 0.0f);
    EXPECT_EQ(map.GetPoints()[1].x, 0.0f);

    // A dot in a folder's name counts as well.
    std::filesystem::create_directory(dir.file("maps.v2"));
    Load(map, WriteMap(dir, "maps.v2/flat", TestSupport::ReadFile(flat)), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(map.GetName(), dir.file("maps"));
}

TEST(xmlColorMap, AttributesAndOtherElements)
{
    TestSupport::TempDir dir;
    xmlColorMap map;
    bool ok = false;
    const std::string path = WriteMap(dir, "odd.xml",
                                      "<Other><Point x='9' r='1' g='1' b='1' o='1'/></Other>"
                                      "<ColorMap>"
                                      "<Point x='0' r='0.5'/>"
                                      "<Comment>ignored</Comment>"
                                      "<Point x='1' r=' 0.25xyz' g='+0.5' b='abc' o='1e-1'/>"
                                      "<Group><Point x='5' r='1' g='1' b='1' o='1'/></Group>"
                                      "</ColorMap>"
                                      "<ColorMap><Point x='0' r='1' g='1' b='1' o='1'/></ColorMap>");
    Load(map, path, &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(map.GetPointCount(), 2u);
    const RgbColorf& a = map.GetPoints()[0];
    EXPECT_EQ(a.r, 0.5f);
    EXPECT_EQ(a.g, 0.0f);
    EXPECT_EQ(a.b, 0.0f);
    EXPECT_EQ(a.o, 0.0f);
    const RgbColorf& b = map.GetPoints()[1];
    EXPECT_EQ(b.r, 0.25f);
    EXPECT_EQ(b.g, 0.5f);
    EXPECT_EQ(b.b, 0.0f);
    EXPECT_EQ(b.o, 0.1f);

    const std::string none = WriteMap(dir, "none.xml", "<Palette><Point x='0' r='1' g='1' b='1' o='1'/></Palette>");
    Load(map, none, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(map.GetPointCount(), 0u);
}

TEST(xmlColorMap, LookupsPickTheEntryBelowTheScaledValue)
{
    TestSupport::TempDir dir;
    xmlColorMap map;
    Load(map, WriteMap(dir, "four.xml", FourPoints()));
    ASSERT_EQ(map.GetPointCount(), 4u);
    auto red = [&](float t) { return map.getColor(t) & 0xFFu; };
    // red bytes of the four entries: 0, 63, 127, 255
    EXPECT_EQ(red(0.5f), 63u);     // 1.5 truncated
    EXPECT_EQ(red(1.0f), 255u);
    EXPECT_EQ(red(1.000005f), 255u);
    EXPECT_EQ(map.getColor(1.01f), 0xFF000000u);
    EXPECT_EQ(red(-2.0f), 0u);
    EXPECT_EQ(red(0.3333f), 0u);   // 0.9999 truncated
    EXPECT_EQ(red(0.34f), 63u);
    EXPECT_EQ(map.getColor(0.0f), 0xFF331900u);  // b 0.2 -> 51, g 0.1 -> 25

    EXPECT_EQ(map.getColorf(0.5f).r, 0.25f);
    EXPECT_EQ(map.getColorf(0.67f).r, 0.5f);  // 2.01
    EXPECT_EQ(map.getColorf(1.0f).r, 1.0f);
    // Outside [0, 1] the index is clamped to the table.
    EXPECT_EQ(map.getColorf(7.0f).r, 1.0f);
    EXPECT_EQ(map.getColorf(-7.0f).r, 0.0f);
    EXPECT_EQ(map.getColorf(3e38f).r, 1.0f);
}

TEST(xmlColorMap, PackingAndUnsafeInput)
{
    TestSupport::TempDir dir;
    xmlColorMap map;
    Load(map, WriteMap(dir, "one.xml", "<ColorMap><Point x='0' r='1' g='0.5' b='0' o='1'/></ColorMap>"));
    EXPECT_EQ(map.getColor(0.5f), 0xFF007FFFu);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Load(map, WriteMap(dir, "two.xml", "<ColorMap><Point x='0' r='0.2' g='0' b='0' o='1'/>"
                                       "<Point x='1' r='0.8' g='0' b='0' o='1'/></ColorMap>"));
    for (float t : {nan, inf, -inf}) {
        EXPECT_EQ(map.getColorf(t).r, 0.2f) << t;
        EXPECT_EQ(map.getColor(t), 0xFF000033u) << t;  // 0.2 * 255 = 51
    }

    // Channels outside [0, 1] saturate instead of wrapping into the next byte.
    Load(map, WriteMap(dir, "wild.xml", "<ColorMap><Point x='0' r='2' g='-1' b='nan' o='300'/></ColorMap>"));
    EXPECT_EQ(map.getColor(0.0f), 0xFF0000FFu);

    xmlColorMap empty;
    EXPECT_EQ(empty.GetPointCount(), 0u);
    EXPECT_EQ(empty.getColor(0.5f), 0xFF000000u);
    const RgbColorf black = empty.getColorf(0.5f);
    EXPECT_EQ(black.r, 0.0f);
    EXPECT_EQ(black.g, 0.0f);
    EXPECT_EQ(black.b, 0.0f);
    EXPECT_EQ(black.o, 1.0f);
    EXPECT_EQ(empty.getColorf(nan).o, 1.0f);
}

TEST(xmlColorMap, ShippedTablesLoad)
{
    const char* files[] = {"haze.xml", "hot.xml", "blueGreenRed.xml", "spectralColorMap.xml"};
    for (const char* file : files) {
        xmlColorMap map;
        map.SetDirectory(TestSupport::SourceDir() + "/colorMaps/");
        const std::string path = map.GetDirectory() + file;
        bool ok = false;
        Load(map, path, &ok);
        ASSERT_TRUE(ok) << file;
        ASSERT_GE(map.GetPointCount(), 5u) << file;
        EXPECT_EQ(map.GetPoints().front().x, 0.0f);
        EXPECT_EQ(map.GetPoints().back().x, 1.0f);
        for (size_t i = 0; i < map.GetPointCount(); ++i) {
            const RgbColorf& p = map.GetPoints()[i];
            if (i > 0) {
                EXPECT_GT(p.x, map.GetPoints()[i - 1].x) << file;
            }
            for (float channel : {p.r, p.g, p.b})
                EXPECT_TRUE(channel >= 0.0f && channel <= 1.0f) << file;
            EXPECT_EQ(p.o, 1.0f);
        }
    }
    xmlColorMap hot;
    Load(hot, TestSupport::SourceDir() + "/colorMaps/hot.xml");
    EXPECT_EQ(hot.getColor(0.0f), 0xFF000000u);  // black
    EXPECT_EQ(hot.getColor(1.0f), 0xFFFFFFFFu);  // white
}
