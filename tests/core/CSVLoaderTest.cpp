#include "CSVLoader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

std::string Write(const TestSupport::TempDir& dir, const std::string& name, const std::string& text)
{
    TestSupport::WriteFile(dir.file(name), text);
    return dir.file(name);
}

// What stream extraction (the reference behaviour) reads from a token.
float StreamFloat(const std::string& token)
{
    std::istringstream in(token);
    float value = 0;
    in >> value;
    return value;
}

}  // namespace

TEST(CSVLoader, ParseFloatMatchesStreamExtraction)
{
    const char* tokens[] = {"1", "-2.5", "+3", "2.5kg", "abc", "", "   7", "\t", ".5", "5.", "1e3", "1e", "1e+",
                            "-", ".", "1.2.3", "0x1A", "inf", "nan", "3.4028235e38", "1e-3", "  -0.25e-2x",
                            "123456789", "0.1", "1E5", "e5", "--1", "+-1"};
    for (const char* token : tokens) {
        const std::string t(token);
        EXPECT_EQ(CSVLoader::ParseFloat(t.data(), t.data() + t.size()), StreamFloat(t)) << "token '" << t << "'";
    }
    // Out of range: stream extraction stores the largest float.
    const std::string big = "1e50";
    EXPECT_EQ(CSVLoader::ParseFloat(big.data(), big.data() + big.size()), std::numeric_limits<float>::max());
}

TEST(CSVLoader, ParseIntMatchesStreamExtraction)
{
    const char* tokens[] = {"3", "-4", "  12", "7x", "x7", "", "+5", "2.9"};
    for (const char* token : tokens) {
        const std::string t(token);
        std::istringstream in(t);
        int expected = 0;
        in >> expected;
        EXPECT_EQ(CSVLoader::ParseInt(t.data(), t.data() + t.size()), expected) << "token '" << t << "'";
    }
}

TEST(CSVLoader, HeaderLosesQuotesAndRowsAreRead)
{
    TestSupport::TempDir dir;
    const std::string path = Write(dir, "t.csv", "\"a\",' b',c\"d\"\n1,2,3\n4,5,6\n");
    CSVLoader loader;
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(path.c_str(), ',', true)); });
    ASSERT_EQ(loader.GetHeader(), (std::vector<std::string>{"a", " b", "cd"}));
    EXPECT_EQ(loader.GetColumnCount(), 3);
    EXPECT_EQ(loader.GetRowCount(), 2);
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(loader.GetEntryAttribute(1, 2), 6.0f);
}

TEST(CSVLoader, MissingAndRaggedRowsAreDroppedSoLaterRowsNeverShift)
{
    TestSupport::TempDir dir;
    const std::string path = Write(dir, "t.csv", "x,y,z\n1,,3\n1,2,\n4,5,6\n  ,1,2\n7,8\n9,10,11,12\n\n\t,2.5kg,abc\n");
    CSVLoader loader;
    std::string out = TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(path.c_str(), ',', true)); });
    EXPECT_NE(out.find("missingData: 1,,3\n"), std::string::npos);
    EXPECT_NE(out.find("missingData:   ,1,2\n"), std::string::npos);
    EXPECT_NE(out.find("columnCountMismatch: 1,2,\n"), std::string::npos);
    EXPECT_NE(out.find("columnCountMismatch: 7,8\n"), std::string::npos);
    EXPECT_NE(out.find("columnCountMismatch: 9,10,11,12\n"), std::string::npos);
    EXPECT_EQ(loader.GetRowCount(), 2);
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{4, 5, 6, 0, 2.5f, 0}));
    EXPECT_EQ(loader.GetValues().size(), size_t(loader.GetRowCount() * loader.GetColumnCount()));
}

// Counted as read as 0 are exactly the fields that reach the data as 0: none of a row that is
// then skipped, all of a row that is kept. The header's echo is a line of its own.
TEST(CSVLoader, FieldsReadAsZeroAreCountedOnlyWhereTheyReachTheData)
{
    struct Case {
        std::string csv;
        long long count;  // 0: no such warning
        std::string first;
        int line, column;
    };
    const Case cases[] = {
        {"a,b\nx,\n1,2\n", 0, "", 0, 0},                      // x's row has one field
        {"a,b\nx,1\n,y\n1,z\n", 2, "x", 2, 1},                 // y's row misses a field
        {"a,b,c\n1,,z\nq,w,e\n", 3, "q", 3, 1},                // z follows an empty field
        {"a,b\n1,x,y\n2,u\n", 1, "u", 3, 2},                   // x and y: a row too wide
        {"a,b\n1,2\nnan,inf\n\t,-\n", 4, "nan", 3, 1},
    };
    TestSupport::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csv);
        const std::string path = Write(dir, "t.csv", c.csv);
        CSVLoader loader;
        const std::string out = TestSupport::CaptureStdout([&] { loader.LoadCSVFile(path.c_str(), ',', true); });
        const std::string header = c.csv.substr(0, c.csv.find('\n'));
        std::string echo = "  ";
        for (char ch : header) echo += ch == ',' ? std::string(", ") : std::string(1, ch);
        EXPECT_EQ(out.rfind("Loading file: " + path + "\n" + echo + ", \n", 0), 0u) << out;
        const size_t at = out.find(" are not numbers and read as 0");
        if (c.count == 0) {
            EXPECT_EQ(at, std::string::npos) << out;
            continue;
        }
        const std::string expected = "Warning: " + std::to_string(c.count) + " fields of " + path +
                                     " are not numbers and read as 0; the first is \"" + c.first + "\" in line " +
                                     std::to_string(c.line) + ", column " + std::to_string(c.column) + "\n";
        EXPECT_NE(out.find(expected), std::string::npos) << out;
        EXPECT_EQ(std::count(loader.GetValues().begin(), loader.GetValues().end(), 0.0f), c.count);
    }
}

TEST(CSVLoader, CarriageReturnsAreNotPartOfTheLastField)
{
    TestSupport::TempDir dir;
    const std::string path = Write(dir, "t.csv", "\"a\",\"b\"\r\n1,2\r\n3,4\r\n");
    CSVLoader loader;
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(path.c_str(), ',', true)); });
    EXPECT_EQ(loader.GetHeader(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{1, 2, 3, 4}));
}

TEST(CSVLoader, TableWithoutHeaderTakesItsWidthFromTheFirstLine)
{
    TestSupport::TempDir dir;
    CSVLoader loader;
    const std::string plain = Write(dir, "a.csv", "1,2\n3,4\n5\n");
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(plain.c_str(), ',', false)); });
    EXPECT_EQ(loader.GetColumnCount(), 2);
    EXPECT_EQ(loader.GetRowCount(), 2);
    EXPECT_TRUE(loader.GetHeader().empty());

    // A first line with a missing field still sets the width but adds no row without values.
    const std::string missing = Write(dir, "b.csv", "1,,3\n4,5,6\n");
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(missing.c_str(), ',', false)); });
    EXPECT_EQ(loader.GetColumnCount(), 3);
    EXPECT_EQ(loader.GetRowCount(), 1);
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{4, 5, 6}));
}

TEST(CSVLoader, UnreadableFileKeepsThePreviousTable)
{
    TestSupport::TempDir dir;
    CSVLoader loader;
    const std::string path = Write(dir, "a.csv", "h\n1\n");
    TestSupport::CaptureStdout([&] { loader.LoadCSVFile(path.c_str(), ',', true); });
    const std::string missing = dir.file("none.csv");
    std::string out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(loader.LoadCSVFile(missing.c_str(), ',', true)); });
    EXPECT_EQ(out.rfind("Error in reading", 0), 0u) << out;
    EXPECT_EQ(loader.GetHeader(), (std::vector<std::string>{"h"}));
    EXPECT_EQ(loader.GetRowCount(), 0);
    EXPECT_EQ(loader.GetColumnCount(), 0);
}

TEST(CSVLoader, LabelFiles)
{
    TestSupport::TempDir dir;
    CSVLoader loader;
    const std::string path = Write(dir, "l.txt", "3\n-1\n\n 7x\r\nabc\n5");
    EXPECT_TRUE(loader.LoadLabelFile(path.c_str()));
    EXPECT_EQ(loader.GetLabels(), (std::vector<int>{3, -1, 0, 7, 0, 5}));
    const std::string none = dir.file("none.txt");
    std::string out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(loader.LoadLabelFile(none.c_str())); });
    EXPECT_EQ(out.rfind("Error in reading file: ", 0), 0u) << out;
    EXPECT_TRUE(loader.GetLabels().empty());
}

TEST(CSVLoader, SharedIrisTable)
{
    CSVLoader loader;
    const std::string path = TestSupport::DataPath("iris.csv");
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(loader.LoadCSVFile(path.c_str(), ',', true)); });
    EXPECT_EQ(loader.GetColumnCount(), 4);
    EXPECT_EQ(loader.GetRowCount(), 150);
    for (const std::string& label : loader.GetHeader()) EXPECT_EQ(label.find('"'), std::string::npos);
}

// Spreadsheet programs start a UTF-8 file with a byte-order mark; it belongs to no field. Only
// the file's first three bytes are such a mark.
TEST(CSVLoader, LeadingByteOrderMarkIsSkipped)
{
    const std::string bom = "\xEF\xBB\xBF";
    TestSupport::TempDir dir;
    CSVLoader loader;
    const std::string headed = Write(dir, "h.csv", bom + "x,y\n1,2\n");
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(headed.c_str(), ',', true)); });
    EXPECT_EQ(loader.GetHeader(), (std::vector<std::string>{"x", "y"}));

    const std::string bare = Write(dir, "b.csv", bom + "1,2\n" + bom + "3,4\n");
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(loader.LoadCSVFile(bare.c_str(), ',', false)); });
    EXPECT_EQ(loader.GetValues(), (std::vector<float>{1, 2, 0, 4}));

    const std::string labels = Write(dir, "l.txt", bom + "3\n" + bom + "4\n");
    EXPECT_TRUE(loader.LoadLabelFile(labels.c_str()));
    EXPECT_EQ(loader.GetLabels(), (std::vector<int>{3, 0}));
}
