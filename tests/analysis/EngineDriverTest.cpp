#include "GraphModel.h"
#include "HDfileIO.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDriver = TOLVEMARK_BINARY_DIR "/bench/engine_driver";
using TestSupport::ShellQuoted;

struct DriverRun {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// The build folder may hold spaces as the data paths may.
DriverRun Drive(const std::string& arguments)
{
    DriverRun run;
    run.output = TestSupport::RunCommand(ShellQuoted(kDriver) + " " + arguments + " 2>&1", &run.exitCode);
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The iris values read straight from the file: a header row, then four numbers a row.
std::vector<std::vector<float>> ReadIris()
{
    std::vector<std::vector<float>> rows;
    const std::vector<std::string> lines = Lines(TestSupport::ReadFile(TestSupport::DataPath("iris.csv")));
    for (size_t l = 1; l < lines.size(); ++l) {
        if (lines[l].empty()) continue;
        std::vector<float> row;
        std::istringstream fields(lines[l]);
        for (std::string field; std::getline(fields, field, ',');) row.push_back(std::strtof(field.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

// k nearest other points over the given dimensions, nearest first, earlier index first among
// equal distances; edges recorded through the graph model as a generator records them.
std::vector<std::string> BruteForceKnnEdges(const std::vector<std::vector<float>>& rows, const std::vector<int>& dims,
                                            size_t k, bool manhattan)
{
    const size_t n = rows.size();
    Zelvo::GraphModel<float> graph;
    for (size_t i = 0; i < n; ++i) {
        std::vector<float> distance(n);
        for (size_t j = 0; j < n; ++j) {
            double sum = 0;
            for (int d : dims) {
                const float diff = rows[i][d] - rows[j][d];
                sum += manhattan ? std::fabs(diff) : static_cast<double>(diff * diff);
            }
            distance[j] = static_cast<float>(manhattan ? sum : std::sqrt(sum));
        }
        std::vector<int> order;
        for (size_t j = 0; j < n; ++j)
            if (j != i) order.push_back(static_cast<int>(j));
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return distance[a] < distance[b]; });
        for (size_t s = 0; s < k; ++s) graph.AddEdge(static_cast<int>(i), order[s], distance[order[s]]);
    }
    std::vector<std::string> edges;
    for (const auto& e : graph.edges) edges.push_back(std::to_string(e.first) + "," + std::to_string(e.second));
    return edges;
}

bool EndsWithTiming(const std::string& output)
{
    const std::vector<std::string> lines = Lines(output);
    if (lines.empty() || lines.back().rfind("time_ms: ", 0) != 0) return false;
    char* end = nullptr;
    const double ms = std::strtod(lines.back().c_str() + 9, &end);
    return *end == '\0' && ms >= 0;
}

}  // namespace

TEST(EngineDriverTest, KnnGraphOverTheSelectedDimensionsMatchesBruteForce)
{
    TestSupport::TempDir dir;
    const std::string iris = TestSupport::DataPath("iris.csv");
    const std::vector<std::vector<float>> rows = ReadIris();
    ASSERT_EQ(rows.size(), 150u);

    // The selected dimensions and the distance type reach the generator.
    const DriverRun run = Drive("--csv " + ShellQuoted(iris) +
                                " --dims 2,3 --distance 1 --method graph --graph kNN-1 --repeat 2 --out " +
                                ShellQuoted(dir.file("petals.txt")));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Lines(TestSupport::ReadFile(dir.file("petals.txt"))), BruteForceKnnEdges(rows, {2, 3}, 1, true));
}

TEST(EngineDriverTest, OpensAStoredDataSetLikeAnImportedOne)
{
    TestSupport::TempDir dir;
    const std::string iris = TestSupport::DataPath("iris.csv");
    {
        Zelvo::HDfileIO file;
        TestSupport::CaptureStdout([&] {
            ASSERT_TRUE(file.CreateNewEmptyHDdataSet(dir.file("iris.xml").c_str()));
            ASSERT_TRUE(file.ImportDataFromCSV(iris.c_str()));
        });
    }
    DriverRun run = Drive("--xml " + ShellQuoted(dir.file("iris.xml")) + " --method load");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("points: 150 dims: 4\n"), std::string::npos) << run.output;
    EXPECT_TRUE(EndsWithTiming(run.output)) << run.output;

    run = Drive("--xml " + ShellQuoted(dir.file("iris.xml")) + " --method graph --graph RNG --out " +
                ShellQuoted(dir.file("a.txt")));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = Drive("--csv " + ShellQuoted(iris) + " --method graph --graph RNG --out " + ShellQuoted(dir.file("b.txt")));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string opened = TestSupport::ReadFile(dir.file("a.txt"));
    EXPECT_FALSE(opened.empty());
    EXPECT_EQ(opened, TestSupport::ReadFile(dir.file("b.txt")));
}

TEST(EngineDriverTest, BadCommandLinesAndUnreadableFilesFail)
{
    TestSupport::TempDir dir;
    const std::string iris = " --csv " + ShellQuoted(TestSupport::DataPath("iris.csv"));
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {iris + " --method nosuch", 2, "unknown method nosuch"},
        {iris + " --method load --bogus 1", 2, "unknown option --bogus"},
        {iris + " --method graph --k", 2, "needs a value"},
        {iris + " --method graph --k three", 2, "bad value"},
        {iris + " --method load --repeat 0", 2, "bad value"},
        {iris + " --method load --state 3", 2, "bad value"},
        {iris + " --method graph --measure Nothing", 2, "unknown measure"},
        {" --method load", 2, "--csv"},
        {iris + " --xml x.xml --method load", 2, "--csv"},
        {iris, 2, "--method"},
        {iris + " --dims 0,9 --method graph", 2, "dimension 9"},
        {iris + " --dims 0,,1 --method graph", 2, "bad value"},
        {iris + " --method graph --graph kNN-11", 1, "unknown graph"},
        {iris + " --method graph --x 4", 1, "do not fit"},
        {" --csv " + ShellQuoted(dir.file("missing.csv")) + " --method load", 1, "cannot import"},
        {" --xml " + ShellQuoted(dir.file("missing.xml")) + " --method graph", 1, "cannot open"},
        {iris + " --method graph --out " + ShellQuoted(dir.file("no/such/dir/out.txt")), 1, "cannot write"},
    };
    for (const Case& c : cases) {
        const DriverRun run = Drive(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find("time_ms"), std::string::npos) << c.arguments;
    }
}

// Under a file-size limit (ulimit -f 4 in sh: 2 KB) the driver fails with the reason instead of
// being ended by the signal such a write raises: the import of wine.csv (a point file of 9 KB), or
// the output of a PCA of 200 points whose point file fits. The old output stays, and no temporary
// file is left beside it.
TEST(EngineDriverTest, AFileSizeLimitFailsTheWriteWithItsReason)
{
    TestSupport::TempDir dir;
    std::string table = "a,b\n";
    for (int i = 0; i < 200; ++i) table += std::to_string(i) + "," + std::to_string(i * 7 % 13) + "\n";
    TestSupport::WriteFile(dir.file("t200.csv"), table);
    const std::string out = " --out " + ShellQuoted(dir.file("out.txt"));
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {" --csv " + ShellQuoted(TestSupport::DataPath("wine.csv")) + " --method pca" + out, "cannot import"},
        {" --csv " + ShellQuoted(dir.file("t200.csv")) + " --method pca" + out, "cannot write " + dir.file("out.txt")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TestSupport::WriteFile(dir.file("out.txt"), "old");
        // A fresh program's way with the signal, whatever this one does with it.
        void (*const handler)(int) = std::signal(SIGXFSZ, SIG_DFL);
        int exitCode = -1;
        const std::string output =
            TestSupport::RunCommand("ulimit -f 4; " + ShellQuoted(kDriver) + c.arguments + " 2>&1", &exitCode);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(exitCode, 1) << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_NE(output.find("(File too large)"), std::string::npos) << output;
        EXPECT_EQ(TestSupport::ReadFile(dir.file("out.txt")), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    }
}

// --out into the driver's own standard output, through a link to it: a pipe, a file (> file) and a
// file it appends to (>> file) get the results whole, between the lines printed before (a graph's
// edge count among them) and after them, and the file keeps what it held. The link stays a link.
TEST(EngineDriverTest, OutputIntoItsOwnStandardOutputArrivesInOrder)
{
    TestSupport::TempDir dir;
    const std::string graph = "--csv " + ShellQuoted(TestSupport::DataPath("iris.csv")) +
                              " --method graph --graph kNN-3 --out ";
    const DriverRun plain = Drive(graph + ShellQuoted(dir.file("results.txt")));
    ASSERT_EQ(plain.exitCode, 0) << plain.output;
    const std::string before = plain.output.substr(0, plain.output.rfind("time_ms: "));
    ASSERT_NE(before.find("edges: "), std::string::npos) << plain.output;
    const std::string results = TestSupport::ReadFile(dir.file("results.txt"));
    ASSERT_EQ(symlink("/proc/self/fd/1", dir.file("stdout").c_str()), 0);
    const std::string out = ShellQuoted(dir.file("out.txt"));
    const struct {
        std::string target;
        std::string earlier;  // what out.txt holds first
    } rows[] = {
        {ShellQuoted(dir.file("stdout")), ""}, {"/dev/stdout > " + out, ""}, {"/dev/stdout >> " + out, "earlier\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target);
        TestSupport::WriteFile(dir.file("out.txt"), row.earlier);
        const DriverRun run = Drive(graph + row.target);
        const std::string arrived = run.output + TestSupport::ReadFile(dir.file("out.txt"));
        EXPECT_EQ(run.exitCode, 0) << arrived;
        EXPECT_EQ(arrived.substr(0, arrived.rfind("time_ms: ")), row.earlier + before + results);
        EXPECT_TRUE(EndsWithTiming(arrived)) << arrived;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("stdout")));
}

// The real engines through the driver: an embedding writes one x,y line per point (with a third
// value for a measure); a clustering writes one level-1 cluster index per point and the tree.
TEST(EngineDriver, EmbeddingAndClusteringEnginesWriteTheirResults)
{
    TestSupport::TempDir dir;
    const std::string iris = "--csv " + ShellQuoted(TestSupport::DataPath("iris.csv"));

    const std::string pcaOut = dir.file("pca.txt");
    DriverRun pca = Drive(iris + " --method pca --measure Stress --repeat 2 --out " + ShellQuoted(pcaOut));
    ASSERT_EQ(pca.exitCode, 0) << pca.output;
    EXPECT_NE(pca.output.find("time_ms: "), std::string::npos);
    const std::vector<std::string> pcaLines = Lines(TestSupport::ReadFile(pcaOut));
    ASSERT_EQ(pcaLines.size(), 150u);
    double sumX = 0;
    for (const std::string& line : pcaLines) {
        ASSERT_EQ(std::count(line.begin(), line.end(), ','), 2) << line;
        sumX += std::strtod(line.c_str(), nullptr);
    }
    EXPECT_NEAR(sumX / 150, 0.0, 1e-4);  // PCA positions are centred

    const std::string hcOut = dir.file("hc.txt");
    DriverRun hc = Drive(iris + " --method hc --linkage 2 --out " + ShellQuoted(hcOut));
    ASSERT_EQ(hc.exitCode, 0) << hc.output;
    const std::vector<std::string> hcLines = Lines(TestSupport::ReadFile(hcOut));
    ASSERT_EQ(hcLines.size(), 151u);
    EXPECT_EQ(hcLines[150].rfind("#tree +(N)", 0), 0u) << hcLines[150];
    for (size_t i = 0; i < 150; ++i) EXPECT_TRUE(hcLines[i] == "0" || hcLines[i] == "1") << hcLines[i];

    // An engine that refuses its input makes the driver fail.
    DriverRun isomap = Drive(iris + " --method isomap --neighbors 0");
    EXPECT_NE(isomap.exitCode, 0);
    EXPECT_NE(isomap.output.find("Error"), std::string::npos) << isomap.output;
}
