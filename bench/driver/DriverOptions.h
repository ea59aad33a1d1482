#pragma once

#include <map>
#include <string>
#include <vector>

namespace EngineDriver {

// The command line of the engine driver:
//   (--csv FILE | --xml FILE) [--dims 0,2,3] [--state 0|1|2] [--distance 0|1|2] --method NAME
//   [engine options] [--out FILE] [--repeat N]
class DriverOptions {
public:
    // False, with the reason in error, for an unknown option, a missing value or a value
    // that is not of the option's kind.
    bool Parse(int argc, char** argv, std::string& error);

    std::string csvPath;
    std::string xmlPath;
    std::string method;
    std::string outPath;
    bool haveDims = false;
    std::vector<int> dims;
    int state = 0;
    int distance = 0;
    int repeat = 1;

    // Engine options exactly as given (--k, --type, --linkage, ...), keyed without dashes.
    bool Has(const std::string& name) const { return m_engineOptions.count(name) != 0; }
    // The option's value, or fallback when it was not given. The value was checked by Parse.
    int Int(const std::string& name, int fallback) const;
    float Float(const std::string& name, float fallback) const;
    std::string Text(const std::string& name, const std::string& fallback) const;

private:
    std::map<std::string, std::string> m_engineOptions;
};

// Whole-string number parsing in the C locale; false for anything else.
bool ParseInt(const std::string& text, int& value);
bool ParseFloat(const std::string& text, float& value);

}  // namespace EngineDriver
