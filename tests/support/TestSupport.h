#pragma once

#include "HDpointSet.h"
#include "MemoryBudget.h"

#include <functional>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

// Helpers shared by every test program.
namespace TestSupport {

// Root of the source tree (holds colorMaps/ and samples/).
std::string SourceDir();
// Path of a data set the tests read. The public tables are stored in the source tree
// (tests/data/, and samples/ for iris.csv and wine.csv); swissroll_2000.csv, blobs_10k_8d.csv
// and blobs_10k_8d_labels.txt are generated from a fixed seed on first use into a folder that
// lives as long as the process. Any other name fails the test.
std::string DataPath(const std::string& fileName);
// Runs fn and returns everything it wrote to standard output (printf, puts, std::cout).
std::string CaptureStdout(const std::function<void()>& fn);
// A point set of the given rows (d values each), every dimension selected, statistics computed
// and the packed buffer built once (its lines are swallowed).
std::unique_ptr<Zelvo::HDpointSet<float>> MakePackedPointSet(const std::vector<float>& values, int d);
// A point set of the given rows (d values each), every dimension selected, statistics computed,
// nothing packed yet; one spatial row of points.
std::unique_ptr<Zelvo::HDpointSet<float>> MakePointSet(const std::vector<float>& values, int d,
                                                       Zelvo::PointSetState state = Zelvo::PointSetOriginal);
// n points in d dimensions around `blobs` centres drawn from [-50, 50]^d with Gaussian noise of
// deviation `spread`, blobs chosen at random per point; truth receives each point's blob.
std::vector<float> Blobs(int n, int d, int blobs, float spread, unsigned seed, std::vector<int>* truth = nullptr);
// A numeric CSV table with one header row, row-major; dims receives its width. At most maxRows rows
// when maxRows is positive.
std::vector<float> ReadCsvValues(const std::string& path, int* dims, int maxRows = 0);
// Whitespace-separated integers of a file or a text.
std::vector<int> ReadInts(const std::string& text);
// Adjusted Rand index of two labelings of the same points: 1 for the same partition.
double AdjustedRandIndex(const std::vector<int>& a, const std::vector<int>& b);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes text (or bytes) to a file, replacing it; false when it cannot be written.
bool WriteFile(const std::string& path, const std::string& text);
// A CSV table of rows x columns: a header a0, a1, ... and the value row * columns + column.
std::string WideTable(int rows, int columns);
// The text as one word for the shell, whatever spaces or quotes it holds.
std::string ShellQuoted(const std::string& text);
// Runs a shell command, returns its standard output; exitCode receives the status.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);
// True when Debian's python with numpy, scipy and scikit-learn is there for oracle tests.
bool HavePythonOracles();
// Writes the script into `directory` as oracle.py and runs it there with Debian's python; returns
// what it printed (errors included).
std::string RunPython(const std::string& directory, const std::string& script, int* exitCode);

// The folder is the working directory while this lives; the directory before is restored on
// destruction.
class InFolder {
public:
    explicit InFolder(const std::string& folder);
    ~InFolder();
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path m_previous;
};

// The source tree is the working directory while this lives (the colour maps are read from
// "./colorMaps/").
class InSourceTree : public InFolder {
public:
    InSourceTree() : InFolder(SourceDir()) {}
};

// A fresh directory under the system temp dir (TMPDIR), removed with everything in it on
// destruction. Its own name holds no dot and no space; the folder it is made in may hold both.
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

// Sets the memory budget of one computation (0: the default) for one scope.
struct BudgetScope {
    explicit BudgetScope(size_t bytes = 0) { Zelvo::MemoryBudget::SetLimit(bytes); }
    ~BudgetScope() { Zelvo::MemoryBudget::SetLimit(0); }
};

// Makes the memory the process may use look like bytes (0: what the system says) for one scope.
struct AvailableScope {
    explicit AvailableScope(size_t bytes) { Zelvo::MemoryBudget::SetAvailable(bytes); }
    ~AvailableScope() { Zelvo::MemoryBudget::SetAvailable(0); }
};

// Files may not grow past bytes while this lives, as on a nearly full disk or under a shell's
// file-size limit. The signal such a write raises is left as the program has it: unless the
// program keeps it from doing so, it ends the test program.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long m_saved;
};

// Files or folders made read-only while this lives. Root writes into them anyway unless its
// override of file modes is out of its effective capabilities, so it is taken out meanwhile (for
// the calling thread, the one that writes).
class ReadOnly {
public:
    explicit ReadOnly(std::vector<std::string> paths);
    ~ReadOnly();
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;

private:
    // Puts the override of file modes in or out of the thread's effective capabilities.
    static bool SetModeOverride(bool on);

    std::vector<std::string> m_paths;
    std::vector<unsigned> m_modes;
    bool m_overrideDropped = false;
};

}  // namespace TestSupport
