#include "TestSupport.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
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

namespace {

// The random stream of NumPy's legacy RandomState: the Mersenne Twister seeded with one
// integer, its 53-bit doubles, its polar-method normals (kept in pairs) and its masked
// rejection for bounded integers. With it a seed gives the values scikit-learn's generators give,
// so the generated sets below are the classic ones, value for value.
class NumpyRandom {
public:
    explicit NumpyRandom(uint32_t seed) : m_twister(seed) {}

    double Uniform()
    {
        const uint32_t a = Next() >> 5, b = Next() >> 6;
        return (a * 67108864.0 + b) / 9007199254740992.0;
    }

    double Normal()
    {
        if (m_hasSpare) {
            m_hasSpare = false;
            return m_spare;
        }
        double x1, x2, r2;
        do {
            x1 = 2.0 * Uniform() - 1.0;
            x2 = 2.0 * Uniform() - 1.0;
            r2 = x1 * x1 + x2 * x2;
        } while (r2 >= 1.0 || r2 == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r2) / r2);
        m_spare = f * x1;
        m_hasSpare = true;
        return f * x2;
    }

    // Uniform in [0, max].
    uint32_t Interval(uint32_t max)
    {
        uint32_t mask = max;
        for (int shift = 1; shift < 32; shift *= 2) mask |= mask >> shift;
        uint32_t value;
        do {
            value = Next() & mask;
        } while (value > max);
        return value;
    }

private:
    uint32_t Next() { return static_cast<uint32_t>(m_twister()); }

    std::mt19937 m_twister;
    double m_spare = 0;
    bool m_hasSpare = false;
};

// A header row, then rows of `columns` values with nine significant digits (C locale).
bool WriteTable(const std::string& path, const std::string& header, const std::vector<double>& values, int columns)
{
    std::ofstream out(path, std::ios::binary);
    out.imbue(std::locale::classic());
    out << std::setprecision(9) << header << '\n';
    for (size_t i = 0; i < values.size(); ++i) out << values[i] << ((i + 1) % columns ? ',' : '\n');
    return static_cast<bool>(out);
}

// make_swiss_roll(2000, noise=0.05, random_state=7): a rolled sheet with small noise.
bool WriteSwissRoll(const std::string& path)
{
    const int n = 2000;
    const double pi = 3.14159265358979323846;
    NumpyRandom random(7);
    std::vector<double> t(n), height(n);
    for (double& v : t) v = 1.5 * pi * (1 + 2 * random.Uniform());
    for (double& v : height) v = 21 * random.Uniform();
    std::vector<double> values(3 * n);
    for (int i = 0; i < n; ++i) {
        values[3 * i] = t[i] * std::cos(t[i]);
        values[3 * i + 1] = height[i];
        values[3 * i + 2] = t[i] * std::sin(t[i]);
    }
    // The noise comes column by column.
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < n; ++i) values[3 * i + c] += 0.05 * random.Normal();
    return WriteTable(path, "x,y,z", values, 3);
}

// make_blobs(10000, n_features=8, centers=6, random_state=11): six Gaussian blobs of unit
// deviation around centres drawn from [-10, 10]^8, the rows shuffled; labels one per line.
bool WriteBlobs(const std::string& path, const std::string& labelPath)
{
    const int n = 10000, d = 8, blobs = 6;
    NumpyRandom random(11);
    std::vector<double> centres(blobs * d);
    for (double& v : centres) v = -10 + 20 * random.Uniform();
    std::vector<double> rows;
    std::vector<int> truth;
    for (int b = 0; b < blobs; ++b) {
        const int count = n / blobs + (b < n % blobs ? 1 : 0);
        for (int i = 0; i < count; ++i) {
            truth.push_back(b);
            for (int j = 0; j < d; ++j) rows.push_back(centres[b * d + j] + random.Normal());
        }
    }
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    for (int i = n - 1; i > 0; --i) std::swap(order[i], order[random.Interval(i)]);

    std::vector<double> values;
    std::string labels;
    for (int i : order) {
        values.insert(values.end(), rows.begin() + i * d, rows.begin() + (i + 1) * d);
        labels += std::to_string(truth[i]) + '\n';
    }
    return WriteTable(path, "d0,d1,d2,d3,d4,d5,d6,d7", values, d) && WriteFile(labelPath, labels);
}

// Writes every generated set into the folder.
bool WriteGeneratedSets(const TempDir& dir)
{
    return WriteSwissRoll(dir.file("swissroll_2000.csv")) &&
           WriteBlobs(dir.file("blobs_10k_8d.csv"), dir.file("blobs_10k_8d_labels.txt"));
}

}  // namespace

std::string DataPath(const std::string& fileName)
{
    for (const char* generated : {"swissroll_2000.csv", "blobs_10k_8d.csv", "blobs_10k_8d_labels.txt"}) {
        if (fileName != generated) continue;
        static const TempDir dir;
        static const bool written = WriteGeneratedSets(dir);
        if (!written) ADD_FAILURE() << "cannot write the generated data sets into " << dir.path();
        return dir.file(fileName);
    }
    // Only files right in the stored folders: the tests read nothing outside the source tree.
    const bool plainName = !fileName.empty() && fileName.find('/') == std::string::npos && fileName[0] != '.';
    for (const char* folder : {"/tests/data/", "/samples/"}) {
        const std::string path = SourceDir() + folder + fileName;
        if (plainName && std::filesystem::is_regular_file(path)) return path;
    }
    ADD_FAILURE() << "no test data set named \"" << fileName << "\" in tests/data/ or samples/";
    return SourceDir() + "/tests/data/" + fileName;
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

std::string WideTable(int rows, int columns)
{
    std::string table;
    for (int row = -1; row < rows; ++row)
        for (int c = 0; c < columns; ++c)
            table += (row < 0 ? "a" + std::to_string(c) : std::to_string(row * columns + c)) +
                     (c + 1 < columns ? "," : "\n");
    return table;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
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
    return RunCommand("cd " + ShellQuoted(directory) + " && /usr/bin/python3 oracle.py 2>&1", exitCode);
}

InFolder::InFolder(const std::string& folder) : m_previous(std::filesystem::current_path())
{
    std::filesystem::current_path(folder);
}

InFolder::~InFolder()
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

FileSizeLimit::FileSizeLimit(unsigned long bytes)
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_saved = limit.rlim_cur;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_saved;
    setrlimit(RLIMIT_FSIZE, &limit);
}

ReadOnly::ReadOnly(std::vector<std::string> paths) : m_paths(std::move(paths))
{
    for (const std::string& path : m_paths) {
        struct stat status {};
        stat(path.c_str(), &status);
        m_modes.push_back(status.st_mode & 07777);
        chmod(path.c_str(), S_ISDIR(status.st_mode) ? 0555 : 0444);
    }
    if (geteuid() == 0) m_overrideDropped = SetModeOverride(false);
}

ReadOnly::~ReadOnly()
{
    if (m_overrideDropped) SetModeOverride(true);
    for (size_t k = 0; k < m_paths.size(); ++k) chmod(m_paths[k].c_str(), m_modes[k]);
}

bool ReadOnly::SetModeOverride(bool on)
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] {};
    const unsigned bit = 1u << CAP_DAC_OVERRIDE;
    // Only an override that is in effect is taken out, so that only it is put back.
    if (syscall(SYS_capget, &header, data) != 0 || (!on && !(data[0].effective & bit))) return false;
    data[0].effective = on ? data[0].effective | bit : data[0].effective & ~bit;
    return syscall(SYS_capset, &header, data) == 0;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace TestSupport
