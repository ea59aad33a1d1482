#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <locale>
#include <map>
#include <random>
#include <sstream>

namespace TestSupport {

std::string SourceDir()
{
    return TOLVEMARK_SOURCE_DIR;
}

std::string SharedDataPath(const std::string& fileName)
{
    // The data sets sit beside the checkout (../shared/data); a git worktree one level
    // deeper finds them one more level up.
    const std::string source = TOLVEMARK_SOURCE_DIR;
    for (const char* relative : {"/../shared/data/", "/../../shared/data/"}) {
        const std::string candidate = source + relative + fileName;
        if (std::filesystem::exists(candidate)) return candidate;
    }
    return source + "/../shared/data/" + fileName;
}

std::string CaptureStdout(const std::function<void()>& fn)
{
    std::fflush(stdout);
    std::cout.flush();
    testing::internal::CaptureStdout();
    fn();
    std::cout.flush();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::unique_ptr<Zelvo::HDpointSet<float>> MakePackedPointSet(const std::vector<float>& values, int d)
{
    auto set = std::make_unique<Zelvo::HDpointSet<float>>();
    set->m_dimension = d;
    set->m_dimMask.assign(d, true);
    set->m_dimLabels.assign(d, "dim");
    set->m_values = values;
    set->UpdateDimensionMinMaxMeanVariance();
    CaptureStdout([&] { set->GetPackedRawDataArray(true); });
    return set;
}

std::unique_ptr<Zelvo::HDpointSet<float>> MakePointSet(const std::vector<float>& values, int d,
                                                       Zelvo::PointSetState state)
{
    auto set = std::make_unique<Zelvo::HDpointSet<float>>();
    set->m_dimension = d;
    set->m_dimMask.assign(d, true);
    set->m_dimLabels.assign(d, "dim");
    set->m_values = values;
    set->m_state = state;
    set->m_spatialX = d > 0 ? static_cast<int>(values.size() / d) : 0;
    set->m_spatialY = set->m_spatialZ = 1;
    set->UpdateDimensionMinMaxMeanVariance();
    return set;
}

std::vector<float> Blobs(int n, int d, int blobs, float spread, unsigned seed, std::vector<int>* truth)
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::uniform_real_distribution<float> place(-50.0f, 50.0f);
    std::vector<float> centres(static_cast<size_t>(blobs) * d);
    for (float& v : centres) v = place(gen);
    std::uniform_int_distribution<int> pick(0, blobs - 1);
    std::vector<float> values;
    for (int i = 0; i < n; ++i) {
        const int b = pick(gen);
        if (truth) truth->push_back(b);
        for (int j = 0; j < d; ++j) values.push_back(centres[static_cast<size_t>(b) * d + j] + spread * noise(gen));
    }
    return values;
}

std::vector<float> ReadCsvValues(const std::string& path, int* dims, int maxRows)
{
    std::vector<float> values;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    *dims = static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1;
    for (int rows = 0; (maxRows <= 0 || rows < maxRows) && std::getline(in, line);) {
        if (line.empty()) continue;
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        for (int j = 0; j < *dims; ++j) {
            float v = 0;
            fields >> v;
            values.push_back(v);
        }
        ++rows;
    }
    return values;
}

std::vector<int> ReadInts(const std::string& text)
{
    std::istringstream in(text);
    std::vector<int> out;
    for (int v; in >> v;) out.push_back(v);
    return out;
}

double AdjustedRandIndex(const std::vector<int>& a, const std::vector<int>& b)
{
    std::map<std::pair<int, int>, double> joint;
    std::map<int, double> rows, cols;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        joint[{a[i], b[i]}] += 1;
        rows[a[i]] += 1;
        cols[b[i]] += 1;
    }
    auto pairs = [](double x) { return x * (x - 1) / 2; };
    double index = 0, sumRows = 0, sumCols = 0;
    for (const auto& e : joint) index += pairs(e.second);
    for (const auto& e : rows) sumRows += pairs(e.second);
    for (const auto& e : cols) sumCols += pairs(e.second);
    const double expected = sumRows * sumCols / pairs(static_cast<double>(a.size()));
    const double maximum = (sumRows + sumCols) / 2;
    if (maximum == expected) return 1.0;  // both partitions trivial (one cluster, or singletons)
    return (index - expected) / (maximum - expected);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::string RunCommand(const std::string& command, int* exitCode)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (exitCode) *exitCode = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

bool HavePythonOracles()
{
    int code = 0;
    RunCommand("/usr/bin/python3 -c 'import numpy, scipy, sklearn' 2>/dev/null", &code);
    return code == 0;
}

std::string RunPython(const std::string& directory, const std::string& script, int* exitCode)
{
    WriteFile(directory + "oracle.py", script);
    return RunCommand("cd '" + directory + "' && /usr/bin/python3 oracle.py 2>&1", exitCode);
}

InSourceTree::InSourceTree() : m_previous(std::filesystem::current_path())
{
    std::filesystem::current_path(SourceDir());
}

InSourceTree::~InSourceTree()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvemark-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace TestSupport
