#pragma once

#include <QElapsedTimer>

#include <string>

class QTemporaryDir;

namespace Zelvo {
class DataProfile;
class HDfileIO;
}  // namespace Zelvo

namespace ViewBench {

struct Options;

// Writes a CSV file of points x dims values spread around `clusters` centres, with a header of
// dimension names, so that statistics and clusterings have something to find. False when the
// file could not be written.
bool WriteClusteredCsv(const std::string& path, int points, int dims, int clusters);

// A data set of options.points x options.dims generated into dir, imported into file and read
// into profile (its path set). False, with a line on standard error naming op, when that failed.
bool LoadGeneratedDataSet(const QTemporaryDir& dir, const Options& options, const char* op, Zelvo::HDfileIO& file,
                          Zelvo::DataProfile& profile);

inline double Milliseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace ViewBench
