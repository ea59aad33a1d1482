#pragma once

#include "HDpointSet.h"

#include <functional>
#include <memory>
#include <string>

// Helpers shared by every test program.
namespace TestSupport {

// Root of the source tree (holds colorMaps/ and samples/).
std::string SourceDir();
// The public and generated data sets beside the project (../shared/data).
std::string SharedDataPath(const std::string& fileName);
// Runs fn and returns everything it wrote to standard output (printf, puts, std::cout).
std::string CaptureStdout(const std::function<void()>& fn);
// A point set of the given rows (d values each), every dimension selected, statistics computed
// and the packed buffer built once (its lines are swallowed).
std::unique_ptr<Zelvo::HDpointSet<float>> MakePackedPointSet(const std::vector<float>& values, int d);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Runs a shell command, returns its standard output; exitCode receives the status.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);
// True when Debian's python with numpy, scipy and scikit-learn is there for oracle tests.
bool HavePythonOracles();

// A fresh directory under the system temp dir, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Path of the directory, ending with "/".
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

}  // namespace TestSupport
