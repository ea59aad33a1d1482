#pragma once

#include "DataProfile.h"
#include "HDfileIO.h"

#include <memory>
#include <string>

namespace EngineDriver {

class DriverOptions;

// One loaded data set: the file object, the profile that read it and, for an imported CSV
// file, the temporary directory that holds the new data set (removed on destruction).
class DriverData {
public:
    DriverData();
    ~DriverData();
    DriverData(const DriverData&) = delete;
    DriverData& operator=(const DriverData&) = delete;

    // Imports (--csv) or opens (--xml) the data; false, with the reason in error, when the
    // file cannot be read.
    bool Load(const DriverOptions& options, std::string& error);
    // Applies --dims and --state; false for a dimension the data set does not have.
    bool ApplySelection(const DriverOptions& options, std::string& error);

    Zelvo::DataProfile& Profile() { return *m_profile; }

private:
    std::string m_tempDir;
    std::unique_ptr<Zelvo::HDfileIO> m_file;
    std::unique_ptr<Zelvo::DataProfile> m_profile;
};

}  // namespace EngineDriver
