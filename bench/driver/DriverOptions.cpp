#include "DriverOptions.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace EngineDriver {

namespace {

enum class Kind { Int, Float, Text };

// Engine options and the kind of value each takes.
const std::map<std::string, Kind>& EngineOptionKinds()
{
    static const std::map<std::string, Kind> kinds{
        {"k", Kind::Int},         {"type", Kind::Int},        {"linkage", Kind::Int},
        {"neighbors", Kind::Int}, {"tau", Kind::Float},       {"kernel", Kind::Float},
        {"x", Kind::Int},         {"y", Kind::Int},           {"graph", Kind::Text},
        {"measure", Kind::Text},  {"bandwidth", Kind::Float}, {"corank-k", Kind::Int},
    };
    return kinds;
}

bool ParseDims(const std::string& text, std::vector<int>& dims)
{
    dims.clear();
    size_t begin = 0;
    while (begin <= text.size()) {
        const size_t comma = text.find(',', begin);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        int d = 0;
        if (!ParseInt(text.substr(begin, end - begin), d) || d < 0) return false;
        dims.push_back(d);
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    return !dims.empty();
}

}  // namespace

bool ParseInt(const std::string& text, int& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    return !text.empty() && ec == std::errc() && end == last;
}

bool ParseFloat(const std::string& text, float& value)
{
    if (text.empty()) return false;
    // strtof follows LC_NUMERIC; the driver never leaves the C locale.
    errno = 0;
    char* end = nullptr;
    const float parsed = std::strtof(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

bool DriverOptions::Parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument " + arg;
            return false;
        }
        const std::string name = arg.substr(2);
        if (i + 1 >= argc) {
            error = "option " + arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (name == "csv") {
            csvPath = value;
        } else if (name == "xml") {
            xmlPath = value;
        } else if (name == "method") {
            method = value;
        } else if (name == "out") {
            outPath = value;
        } else if (name == "dims") {
            ok = ParseDims(value, dims);
            haveDims = true;
        } else if (name == "state") {
            ok = ParseInt(value, state) && state >= 0 && state <= 2;
        } else if (name == "distance") {
            ok = ParseInt(value, distance) && distance >= 0 && distance <= 2;
        } else if (name == "repeat") {
            ok = ParseInt(value, repeat) && repeat >= 1;
        } else {
            const auto kind = EngineOptionKinds().find(name);
            if (kind == EngineOptionKinds().end()) {
                error = "unknown option " + arg;
                return false;
            }
            int n = 0;
            float f = 0;
            ok = kind->second == Kind::Int ? ParseInt(value, n)
                 : kind->second == Kind::Float ? ParseFloat(value, f)
                                               : !value.empty();
            m_engineOptions[name] = value;
        }
        if (!ok) {
            error = "bad value '" + value + "' for " + arg;
            return false;
        }
    }
    if (csvPath.empty() == xmlPath.empty()) {
        error = "give exactly one of --csv FILE and --xml FILE";
        return false;
    }
    if (method.empty()) {
        error = "no --method given";
        return false;
    }
    return true;
}

int DriverOptions::Int(const std::string& name, int fallback) const
{
    const auto it = m_engineOptions.find(name);
    int value = fallback;
    if (it != m_engineOptions.end()) ParseInt(it->second, value);
    return value;
}

float DriverOptions::Float(const std::string& name, float fallback) const
{
    const auto it = m_engineOptions.find(name);
    float value = fallback;
    if (it != m_engineOptions.end()) ParseFloat(it->second, value);
    return value;
}

std::string DriverOptions::Text(const std::string& name, const std::string& fallback) const
{
    const auto it = m_engineOptions.find(name);
    return it == m_engineOptions.end() ? fallback : it->second;
}

}  // namespace EngineDriver
