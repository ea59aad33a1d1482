#pragma once

#include "ClusteringResult.h"
#include "DistanceType.h"
#include "EmbeddingResult.h"
#include "HDpointSet.h"
#include "PointSetState.h"
#include "VolumeModel.h"
#include "distanceFunctor.h"
#include "xmlColorMap.h"

#include <QColor>
#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace Zelvo {

class HDfileIO;

// The shared model of the loaded data set: point set, volume labels, distance functor,
// colour map and the current clustering and embedding results. The windows listen to its
// signals. It reads and stores through the data-set file object, which it does not own.
//
// A result that is replaced is released once the change was announced, so listeners must
// drop what they built from the old one when the signal reaches them.
class DataProfile : public QObject {
    Q_OBJECT

public:
    DataProfile();
    ~DataProfile() override;
    DataProfile(const DataProfile&) = delete;
    DataProfile& operator=(const DataProfile&) = delete;

    // Reads the data set of file (points, or volume labels and points), its statistics,
    // mask and the default colour map. The previous data set's results are released. False
    // (with a line) when the data could not be read; the profile then holds what was read.
    bool SetHDfileIO(HDfileIO* file);

    void SetPointSetState(PointSetState state);
    // Emits PointSetChanged when bit dimension changes; out-of-range indices do nothing.
    void SetDimMask(int dimension, bool selected);

    // Takes a new current embedding (null does nothing).
    void SetCurrentEmbeddingResult(std::unique_ptr<EmbeddingResult> result);
    // Takes a new current clustering, accepted only while an embedding is current.
    void SetCurrentClusteringResult(std::unique_ptr<ClusteringResult> result);
    // Makes the stored clustering of id current; false (nothing changes) when it cannot be read
    // or does not name each point of the set exactly once.
    bool SetCurrentClusteringResultByIDString(std::string& id);
    // The stored clustering identifiers in identifier order; refilled by every call.
    std::vector<std::string>* GetClusteringResultEntries();

    // Copies the dimension selection and labels into the file object; after a deletion the kept
    // points also replace the point file (false when that write failed).
    bool SaveHDpointSet();
    bool SaveCurrentEmbeddingResult(std::string& id);
    bool SaveCurrentClusteringResult(std::string& id);
    // Stores result under id without making it current.
    bool AddClusteringResult(std::string id, std::unique_ptr<ClusteringResult> result);
    void DeleteClusteringResultByIDString(std::string& id);
    // Deletes the points from the set and renumbers the current clustering to match.
    void DeletePointByIndex(std::vector<int>& indices);

    // The functor with the point set's current mask (and the given type).
    distanceFunctor& GetDistanceFunctor();
    distanceFunctor& GetDistanceFunctor(DistanceType type);

    // One integer label per line, one line per point; stored as "importedClusterResult". Lines
    // that hold no number read as 0, with a warning that counts them.
    bool ImportClusteringLabelTextFile(const char* path);
    // A serialised cluster tree, stored under its path without the extension; refused unless
    // it names each point of the set exactly once.
    bool ImportClusterHierarchyFile(const char* path);

    // Releases the current results.
    bool CleanUp();

    // True while the points held here are the ones the file object's data set delivered, so
    // that what is made from them may be stored into it and its stored results shown on them.
    // After New, or a data set whose points did not load, prints why, ending in consequence,
    // and returns false.
    bool HoldsPointsOfDataSet(const char* consequence) const;

    HDpointSet<float>& GetPointSet() { return m_pointSet; }
    VolumeModel& GetVolumeModel() { return m_volumeModel; }
    xmlColorMap& GetColorMap() { return m_colorMap; }
    ClusteringResult* GetCurrentClusteringResult() { return m_currentClusteringResult.get(); }
    EmbeddingResult* GetCurrentEmbeddingResult() { return m_currentEmbeddingResult.get(); }
    // Per-point colours owned by the projected view's scene; null until it sets them.
    std::vector<QColor>* GetPointColors() { return m_pointColors; }
    void SetPointColors(std::vector<QColor>* colors) { m_pointColors = colors; }
    HDfileIO* GetHDfileIO() { return m_fileIO; }
    const std::string& GetDataSetPath() const { return m_dataSetPath; }
    void SetDataSetPath(const std::string& path) { m_dataSetPath = path; }

signals:
    void PointSetChanged();
    void CurrentEmbeddingResultChanged();
    void EmbeddingResultEntryChanged();
    void CurrentClusteringResultChanged();
    void ClusteringResultEntryChanged();
    void CurrentSkeletonResultChanged();
    void SkeletonResultEntryChanged();
    void PointColorChanged();

private:
    // True when a data set is there to read from or store into; else prints why.
    bool m_haveDataSet(const char* operation) const;
    // True when clustering names each point of the set exactly once; else prints both counts,
    // naming the clustering by what and ending in consequence.
    bool m_fitsPointSet(ClusteringResult& clustering, const std::string& what, const char* consequence);

    HDpointSet<float> m_pointSet;
    VolumeModel m_volumeModel;
    distanceFunctor m_distanceFunctor;
    std::unique_ptr<ClusteringResult> m_currentClusteringResult;
    std::unique_ptr<EmbeddingResult> m_currentEmbeddingResult;
    std::vector<std::string> m_clusteringResultEntries;
    std::string m_dataSetPath;
    xmlColorMap m_colorMap;
    std::vector<QColor>* m_pointColors = nullptr;
    HDfileIO* m_fileIO = nullptr;
    // The description whose points were read last; empty when the read failed.
    std::string m_pointsSource;
};

}  // namespace Zelvo
