#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
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

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
