#pragma once

#include <string>

namespace ViewBench {

// Writes a CSV file of points x dims values spread around `clusters` centres, with a header of
// dimension names, so that statistics and clusterings have something to find. False when the
// file could not be written.
bool WriteClusteredCsv(const std::string& path, int points, int dims, int clusters);

}  // namespace ViewBench
