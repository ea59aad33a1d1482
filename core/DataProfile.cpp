#include "DataProfile.h"

#include "CSVLoader.h"
#include "HDfileIO.h"
#include "Log.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <utility>

namespace Zelvo {

namespace {

const char* const kColorMapDirectory = "./colorMaps/";
const char* const kDefaultColorMap = "spectralColorMap.xml";
const char* const kNotStored = "nothing is stored into it";
const char* const kNotImported = "nothing is imported into it";

// True when a label line holds a number where atoi would read one.
bool StartsWithInteger(const char* p, const char* end)
{
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    return p < end && std::isdigit(static_cast<unsigned char>(*p));
}

}  // namespace

DataProfile::DataProfile() = default;

DataProfile::~DataProfile()
{
    m_currentClusteringResult.reset();
    m_currentEmbeddingResult.reset();
}

bool DataProfile::SetHDfileIO(HDfileIO* file)
{
    if (!file) {
        Log::Puts("[DataProfile] Error: No data-set file object");
        return false;
    }
    m_fileIO = file;
    // The previous data set's results do not fit the new points.
    CleanUp();

    bool read = false;
    if (file->GetSpatialY() == 1 || file->GetSpatialZ() == 1) {
        m_volumeModel.m_voxelLabels.clear();
        read = file->ReadHDPointSet(m_pointSet);
    } else {
        read = file->ReadVolumeModel(m_volumeModel, m_pointSet);
    }
    m_pointSet.UpdateDimensionMinMaxMeanVariance();
    m_distanceFunctor.mask = m_pointSet.m_dimMask;

    m_colorMap.SetDirectory(kColorMapDirectory);
    m_colorMap.loadColorMap((m_colorMap.GetDirectory() + kDefaultColorMap).c_str());

    m_pointsSource = read ? file->GetFullPath() : std::string();
    if (!read) Log::Printf("[DataProfile] Error: Can't read the data set %s\n", file->GetFullPath().c_str());
    return read;
}

void DataProfile::SetPointSetState(PointSetState state)
{
    m_pointSet.m_state = state;
}

void DataProfile::SetDimMask(int dimension, bool selected)
{
    if (dimension < 0 || static_cast<size_t>(dimension) >= m_pointSet.m_dimMask.size()) return;
    if (m_pointSet.m_dimMask[static_cast<size_t>(dimension)] == selected) return;
    m_pointSet.m_dimMask[static_cast<size_t>(dimension)] = selected;
    emit PointSetChanged();
}

void DataProfile::SetCurrentEmbeddingResult(std::unique_ptr<EmbeddingResult> result)
{
    if (!result) return;
    // The old result lives until every listener has moved to the new one.
    std::unique_ptr<EmbeddingResult> previous = std::move(m_currentEmbeddingResult);
    m_currentEmbeddingResult = std::move(result);
    emit EmbeddingResultEntryChanged();
    emit CurrentEmbeddingResultChanged();
}

void DataProfile::SetCurrentClusteringResult(std::unique_ptr<ClusteringResult> result)
{
    if (!result || !m_currentEmbeddingResult) {
        Log::Puts("[DataProfile] Warning: Embedding is doesn't existed");
        return;
    }
    std::unique_ptr<ClusteringResult> previous = std::move(m_currentClusteringResult);
    m_currentClusteringResult = std::move(result);
    emit CurrentClusteringResultChanged();
    emit ClusteringResultEntryChanged();
}

bool DataProfile::SetCurrentClusteringResultByIDString(std::string& id)
{
    if (!m_haveDataSet("SetCurrentClusteringResultByIDString")) return false;
    if (!HoldsPointsOfDataSet("nothing of it is loaded")) return false;
    auto result = std::make_unique<ClusteringResult>();
    if (!m_fileIO->ReadClusteringResult(*result, id)) return false;
    // Stored before a deletion, or for another point file: it would colour the wrong points.
    if (!m_fitsPointSet(*result, "the clustering \"" + id + "\"", "it is not loaded")) return false;
    std::unique_ptr<ClusteringResult> previous = std::move(m_currentClusteringResult);
    m_currentClusteringResult = std::move(result);
    emit CurrentClusteringResultChanged();
    return true;
}

std::vector<std::string>* DataProfile::GetClusteringResultEntries()
{
    if (m_haveDataSet("GetClusteringResultEntries")) {
        m_clusteringResultEntries = m_fileIO->QueryListOfClusteringResults();
    } else {
        m_clusteringResultEntries.clear();
    }
    return &m_clusteringResultEntries;
}

bool DataProfile::SaveHDpointSet()
{
    if (!m_haveDataSet("SaveHDpointSet")) return false;
    return m_fileIO->WriteHDpointSetProperty(m_pointSet);
}

bool DataProfile::SaveCurrentEmbeddingResult(std::string& id)
{
    if (!m_haveDataSet("SaveCurrentEmbeddingResult")) return false;
    if (!HoldsPointsOfDataSet(kNotStored)) return false;
    if (!m_currentEmbeddingResult) {
        Log::Puts("[DataProfile] Error: No current embedding result to save");
        return false;
    }
    if (!m_fileIO->WriteEmbeddingResult(*m_currentEmbeddingResult, id)) return false;
    return m_fileIO->SaveHDdataSet();
}

bool DataProfile::SaveCurrentClusteringResult(std::string& id)
{
    if (!m_haveDataSet("SaveCurrentClusteringResult")) return false;
    if (!HoldsPointsOfDataSet(kNotStored)) return false;
    if (!m_currentClusteringResult) {
        Log::Puts("[DataProfile] Error: No current clustering result to save");
        return false;
    }
    if (!m_fileIO->WriteClusteringResult(*m_currentClusteringResult, id)) return false;
    return m_fileIO->SaveHDdataSet();
}

bool DataProfile::AddClusteringResult(std::string id, std::unique_ptr<ClusteringResult> result)
{
    if (!m_haveDataSet("AddClusteringResult")) return false;
    if (!HoldsPointsOfDataSet(kNotStored)) return false;
    if (!result) {
        Log::Puts("[DataProfile] Error: No clustering result to add");
        return false;
    }
    if (!m_fileIO->WriteClusteringResult(*result, id)) return false;
    const bool saved = m_fileIO->SaveHDdataSet();
    emit ClusteringResultEntryChanged();
    return saved;
}

void DataProfile::DeleteClusteringResultByIDString(std::string& /*id*/)
{
}

void DataProfile::DeletePointByIndex(std::vector<int>& indices)
{
    // A volume's points fill its x * y * z grid, which the voxel labels follow: a grid can't
    // lose a point (the projected view asks the same before it hides any).
    if (m_pointSet.FillsGrid()) {
        Log::Printf("Warning: The points of a volume data set fill its %d x %d x %d grid; no point is deleted\n",
                    m_pointSet.m_spatialX, m_pointSet.m_spatialY, m_pointSet.m_spatialZ);
        return;
    }
    if (!m_pointSet.DeleteHDpoints(indices)) return;
    // The current clustering numbers the points as the set does: it follows the deletion
    // (the point set leaves the indices sorted and distinct).
    if (m_currentClusteringResult) m_currentClusteringResult->RemovePoints(indices);
    emit PointSetChanged();
}

distanceFunctor& DataProfile::GetDistanceFunctor()
{
    m_distanceFunctor.mask = m_pointSet.m_dimMask;
    return m_distanceFunctor;
}

distanceFunctor& DataProfile::GetDistanceFunctor(DistanceType type)
{
    m_distanceFunctor.type = type;
    return GetDistanceFunctor();
}

bool DataProfile::ImportClusteringLabelTextFile(const char* path)
{
    if (!m_haveDataSet("ImportClusteringLabelTextFile")) return false;
    if (!HoldsPointsOfDataSet(kNotImported)) return false;
    std::ifstream in(path ? path : "");
    if (!in) return false;
    std::vector<int> labels;
    std::string line;
    // Lines that hold no number read as 0; the user hears once per file how many there were.
    long long notNumbers = 0;
    std::string firstNotNumber;
    size_t firstNotNumberLine = 0;
    // As atoi reads each line, but a number out of int range saturates instead of being undefined.
    // A byte-order mark before the first label is no part of it.
    while (std::getline(in, line)) {
        const size_t skip = labels.empty() ? CSVLoader::ByteOrderMarkLength(line) : 0;
        const char* begin = line.data() + skip;
        const char* end = line.data() + line.size();
        if (!StartsWithInteger(begin, end) && notNumbers++ == 0) {
            firstNotNumber.assign(begin, std::min<size_t>(size_t(end - begin), 40));
            firstNotNumberLine = labels.size() + 1;
        }
        labels.push_back(CSVLoader::ParseInt(begin, end));
    }
    if (notNumbers > 0) {
        Log::Printf("Warning: %lld labels of %s are not numbers and read as 0; the first is \"%s\" in line %zu\n",
                    notNumbers, path, firstNotNumber.c_str(), firstNotNumberLine);
    }

    const int pointCount = m_pointSet.m_dimension > 0 ? m_pointSet.GetPointCount() : 0;
    if (static_cast<int64_t>(labels.size()) != pointCount) {
        Log::Printf("Label loading Error\n!!!!");
        Log::Printf("\nError: %s holds %zu labels, the data set has %d points; it is not imported\n", path,
                    labels.size(), pointCount);
        return false;
    }
    auto result = std::make_unique<ClusteringResult>();
    result->SetFlatClusteringLabel(&labels);
    return AddClusteringResult("importedClusterResult", std::move(result));
}

bool DataProfile::ImportClusterHierarchyFile(const char* path)
{
    if (!m_haveDataSet("ImportClusterHierarchyFile")) return false;
    if (!HoldsPointsOfDataSet(kNotImported)) return false;
    const std::string filePath = path ? path : "";
    const size_t dot = filePath.rfind('.');
    const std::string identifier = dot == std::string::npos ? filePath : filePath.substr(0, dot);

    struct stat status {};
    if (stat(filePath.c_str(), &status) != 0 || status.st_size <= 0) {
        Log::Puts("File not exist or empty");
        return false;
    }
    std::ifstream in(filePath, std::ios::binary);
    std::string text(static_cast<size_t>(status.st_size), '\0');
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        Log::Printf("Error: Fail to open: %s\n", filePath.c_str());
        return false;
    }
    auto result = std::make_unique<ClusteringResult>();
    result->SetSerializedHierarchyString(text);
    // A file cut short still parses, as a tree that leaves points out.
    if (!m_fitsPointSet(*result, "the cluster hierarchy " + filePath, "it is not imported")) return false;
    return AddClusteringResult(identifier, std::move(result));
}

bool DataProfile::CleanUp()
{
    m_currentClusteringResult.reset();
    m_currentEmbeddingResult.reset();
    return true;
}

bool DataProfile::m_haveDataSet(const char* operation) const
{
    if (m_fileIO && m_fileIO->IsOpened()) return true;
    Log::Printf("[DataProfile] Error: No data set is loaded (%s)\n", operation);
    return false;
}

bool DataProfile::HoldsPointsOfDataSet(const char* consequence) const
{
    if (!m_fileIO) {
        Log::Printf("Error: No data set is loaded; %s\n", consequence);
        return false;
    }
    // The file object is one for the whole run: New and Open start another data set in it
    // while the points (and the results made from them) here are still those read before.
    const std::string& path = m_fileIO->GetFullPath();
    if (!m_pointsSource.empty() && m_pointsSource != path) {
        Log::Printf("Error: the points shown are those of %s, not of %s; %s\n", m_pointsSource.c_str(), path.c_str(),
                    consequence);
        return false;
    }
    if (m_pointsSource.empty() || !m_fileIO->ArePointsLoaded()) {
        Log::Printf("Error: the points of %s are not loaded; %s\n", path.c_str(), consequence);
        return false;
    }
    return true;
}

bool DataProfile::m_fitsPointSet(ClusteringResult& clustering, const std::string& what, const char* consequence)
{
    if (!clustering.GetRoot()) {
        Log::Printf("Error: %s holds no cluster tree; %s\n", what.c_str(), consequence);
        return false;
    }
    const int pointCount = m_pointSet.m_dimension > 0 ? m_pointSet.GetPointCount() : 0;
    const ClusteringResult::PointCover cover = clustering.CountPointCover(pointCount);
    if (cover.Exact()) return true;
    std::string detail;
    const auto part = [&detail](size_t count, const char* text) {
        if (count == 0) return;
        detail += (detail.empty() ? "" : ", ") + std::to_string(count) + text;
    };
    part(cover.outside, " not in the set");
    part(cover.repeated, " named again");
    part(cover.missing, " missing");
    Log::Printf("Error: %s names %zu points, the data set has %d (%s); %s\n", what.c_str(), cover.named, pointCount,
                detail.c_str(), consequence);
    return false;
}

}  // namespace Zelvo
