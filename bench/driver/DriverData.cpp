#include "DriverData.h"

#include "DriverOptions.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace EngineDriver {

DriverData::DriverData() : m_file(std::make_unique<Zelvo::HDfileIO>()), m_profile(std::make_unique<Zelvo::DataProfile>())
{
}

DriverData::~DriverData()
{
    // The profile reads from the file object; both go before their directory.
    m_profile.reset();
    m_file.reset();
    if (!m_tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_tempDir, ignored);
    }
}

bool DriverData::Load(const DriverOptions& options, std::string& error)
{
    if (!options.csvPath.empty()) {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::string pattern = (ec ? std::filesystem::path("/tmp") : base).string() + "/engine_driver_XXXXXX";
        if (!mkdtemp(pattern.data())) {
            error = "cannot create a temporary directory";
            return false;
        }
        m_tempDir = pattern;
        const std::string description = m_tempDir + "/data.xml";
        if (!m_file->CreateNewEmptyHDdataSet(description.c_str()) ||
            !m_file->ImportDataFromCSV(options.csvPath.c_str())) {
            error = "cannot import " + options.csvPath;
            return false;
        }
    } else if (!m_file->OpenHDdataSet(options.xmlPath.c_str())) {
        error = "cannot open " + options.xmlPath;
        return false;
    }
    if (!m_profile->SetHDfileIO(m_file.get())) {
        error = "cannot read the points of " + (options.csvPath.empty() ? options.xmlPath : options.csvPath);
        return false;
    }
    return true;
}

bool DriverData::ApplySelection(const DriverOptions& options, std::string& error)
{
    Zelvo::HDpointSet<float>& points = m_profile->GetPointSet();
    if (options.haveDims) {
        const int D = static_cast<int>(points.m_dimMask.size());
        for (const int d : options.dims) {
            if (d >= D) {
                error = "dimension " + std::to_string(d) + " out of range (the data has " + std::to_string(D) + ")";
                return false;
            }
        }
        for (int d = 0; d < D; ++d) m_profile->SetDimMask(d, false);
        for (const int d : options.dims) m_profile->SetDimMask(d, true);
    }
    m_profile->SetPointSetState(static_cast<Zelvo::PointSetState>(options.state));
    return true;
}

}  // namespace EngineDriver
