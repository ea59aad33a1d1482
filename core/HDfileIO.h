#pragma once

#include "CSVLoader.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLElement;
}  // namespace tinyxml2

namespace Zelvo {

template <typename T>
class HDpointSet;
class WideXMLDocument;
class AtomicFileWriter;
class VolumeModel;
class ClusteringResult;
class EmbeddingResult;
class DataProfile;

// The data-set file object: the description of one data set (file type, point count,
// spatial extent, dimensions with their selection and labels, the binary file names and
// the stored clustering results) and its XML data-description file.
//
// One object serves the whole run. Creating or opening a data set starts from a clean
// state; a failed open leaves the object exactly as it was.
class HDfileIO {
public:
    HDfileIO();
    ~HDfileIO();
    HDfileIO(const HDfileIO&) = delete;
    HDfileIO& operator=(const HDfileIO&) = delete;

    // Loads a description; on failure prints "Error in opening: ..." and changes nothing.
    // Every file name it records must name a file in its folder or below it (nothing
    // absolute, no "..", no symbolic link that leads out); the point and result file names
    // must not be empty either.
    bool OpenHDdataSet(const char* path);
    // Starts a new, empty data set at path (the skeleton lives in memory; nothing is written).
    bool CreateNewEmptyHDdataSet(const char* path);
    // Write the description to the stored path. A failed write prints "Error in saving: ... (reason)"
    // and returns false; the file on disk is then as it was.
    bool SaveHDdataSet();
    // Save As: a copy that is a data set of its own, and this object goes on describing the data
    // set that was opened. The copy's files all carry its own names beside its description: its
    // point file <copy base>.bin, the volume labels and the two unread binary files (this data
    // set's base name in their names replaced by the copy's), and every stored clustering under
    // <copy base>_<identifier>.bin. Nothing replaces a file this data set names, nor a file already
    // beside the copy that the description it replaces does not name (another data set's, say):
    // such a clash is refused with an "Error in saving" line before anything is written. The files
    // are all written out before any is committed, the description last; a failure leaves every
    // file as it was. A stored clustering whose file can't be read is left out with a "Warning"
    // line. Onto the description that was opened it is a Save.
    bool SaveAsHDdataSet(const char* path);
    // The same for the points as they are now, after copying the set's dimension selection and
    // labels (as WriteHDpointSetProperty). After a deletion the copy holds the kept points, with
    // their count and extent, and lists no stored result (those number this data set's points).
    bool SaveAsHDdataSet(const char* path, HDpointSet<float>& pointSet);
    // Closing keeps everything, so a closed data set can still be saved.
    int Close();

    // Copies the set's dimension selection and labels. When points were deleted from the set
    // (a point data set whose count differs), the kept points replace the point file and the
    // description is saved with their count and extent in the same step; false when a write
    // failed (both files are as they were then). A set that is not the points read from this
    // data set (a failed read, another data set) never shortens the point file, nor does a
    // volume's set (its points fill the grid of the voxel labels): false with an "Error" line,
    // nothing changed.
    bool WriteHDpointSetProperty(HDpointSet<float>& pointSet);
    // The same for the profile's point set.
    bool WriteDataProfile(DataProfile& profile);

    // Binary files beside the description (little-endian, no header). Every failure prints
    // a line and returns false.

    // Fills the set from the description and the point file. The file must hold at least
    // point count x dimension x 4 bytes (a longer file's tail is ignored); otherwise the
    // set is left with the description's dimensions and no points.
    bool ReadHDPointSet(HDpointSet<float>& pointSet);
    // Reads one 32-bit label per voxel, then the points (kind 1, volume).
    bool ReadVolumeModel(VolumeModel& volume, HDpointSet<float>& pointSet);
    // Store a result as <base>_<identifier>.bin (clustering: its hierarchy text) or
    // <base>_embed_<identifier>.bin (embedding: its original positions). '/' and '\\' in
    // the identifier become '_' in the file name only. The identifier is recorded once its
    // file was written; an existing one is replaced with a warning. An identifier whose file
    // leads to a file the description names (point file, volume labels, another result, the
    // description itself), however it is spelled or linked, is refused with an "Error ..."
    // line and nothing is written. A failed write keeps the old file and entry.
    bool WriteClusteringResult(ClusteringResult& result, std::string identifier);
    bool WriteEmbeddingResult(EmbeddingResult& embedding, std::string identifier);
    // Fills result with the stored hierarchy text of identifier; unchanged on failure.
    bool ReadClusteringResult(ClusteringResult& result, std::string identifier);
    // Fills the new data set from a CSV file with a header row, writes <base>.bin and the
    // description. Refused unless a new data set was created; a file without any column or
    // row of data is refused and nothing is written.
    bool ImportDataFromCSV(const char* path);
    // Clustering identifiers in identifier order.
    std::vector<std::string> QueryListOfClusteringResults() const;

    bool IsOpened() const { return m_opened; }
    // True once the points of the data set now open were read (false again after New or Open).
    bool ArePointsLoaded() const { return m_pointsLoaded; }
    bool IsNewDataSet() const { return m_newDataSet; }
    bool IsVolume() const { return m_isVolume; }
    int GetFileTypeIndex() const { return m_fileTypeIndex; }
    int GetDimension() const { return m_dimension; }
    int GetSpatialX() const { return m_spatialX; }
    int GetSpatialY() const { return m_spatialY; }
    int GetSpatialZ() const { return m_spatialZ; }
    int GetPointCount() const { return m_pointCount; }
    const std::vector<bool>& GetDimensionMask() const { return m_dimMask; }
    const std::vector<std::string>& GetDimensionLabels() const { return m_dimLabels; }
    const std::string& GetBinaryDataFileName() const { return m_binaryDataFileName; }
    const std::string& GetBinaryClusterFileName() const { return m_binaryClusterFileName; }
    const std::string& GetBinaryLabelFileName() const { return m_binaryLabelFileName; }
    const std::string& GetBinaryVolLabelFileName() const { return m_binaryVolLabelFileName; }
    const std::string& GetFullPath() const { return m_fullPath; }
    const std::string& GetBaseName() const { return m_baseName; }
    const std::string& GetDirectory() const { return m_directory; }
    const std::map<std::string, std::string>& GetClusteringResults() const { return m_clusteringResults; }
    const std::map<std::string, std::string>& GetEmbeddingResults() const { return m_embeddingResults; }

    // For the code that reads and writes the binary files beside the description. A file name
    // given here is checked where a file is read or written, like one read from a description.
    void SetDataShape(int fileTypeIndex, int pointCount, int spatialX, int spatialY, int spatialZ,
                      int dimension);
    void SetBinaryFileNames(const std::string& dataFile, const std::string& clusterFile,
                            const std::string& labelFile, const std::string& volLabelFile);
    void SetDimensionProperties(const std::vector<bool>& mask, const std::vector<std::string>& labels);
    // Returns true when the identifier was already there (its file is replaced).
    bool SetClusteringResultFile(const std::string& identifier, const std::string& fileName);

private:
    HDfileIO& operator=(HDfileIO&&) noexcept;

    void m_parsingFileNameInfo();
    // This object (fresh) becomes an empty data set described at path, the skeleton in memory.
    void m_startEmptyDataSet(const std::string& path);
    // directory + fileName when the name (recorded in the description, set by a caller or
    // built here) names a file in the description's folder or below it; otherwise "" after
    // an "Error: ..." line. Every file beside the description is reached through here.
    std::string m_pathInFolder(const std::string& fileName) const;
    // Reader: false when the description lacks what it needs (nothing is printed then) or
    // names a file outside its folder (one "Error: ..." line). Without report it prints nothing.
    bool m_updateAttributesFromXML(bool report = true);
    // The paths of the files that the description at path names (point file, volume labels, the
    // two unread binary files, the stored clusterings) added to files; false, and none added, when
    // it can't be read as a description. Prints nothing.
    static bool m_filesNamedBy(const std::string& path, std::vector<std::string>& files);
    void InitXML();
    void m_updateXMLFromAttributes();
    // Looks every element of the format up by name; false when a required one is missing.
    bool m_bindElements();
    bool m_saveDocument(const char* path);
    // First half of the CSV import: load, write the point file, take over the shape.
    bool ReadCSVFile(const char* path);
    // Writes the values out for <base>.bin and names it as the binary data file; the import
    // replaces the old file with them together with the description.
    bool m_writeHDpointRawBuffer(std::vector<float>* values);
    // A file written out beside its target, waiting to replace it.
    struct PreparedFile {
        std::unique_ptr<AtomicFileWriter> writer;
        std::string path;
    };
    bool m_saveCopy(const std::string& copyPath, HDpointSet<float>* pointSet);
    // Which file of this data set path leads to ("the point data", "the clustering result
    // \"km\"", ...), or "" when none; identifier's own entry in results does not count.
    std::string m_fileOwner(const std::string& path, const std::map<std::string, std::string>* results = nullptr,
                            const std::string& identifier = std::string()) const;
    // The points kept in pointSet: m_pointCount when none were deleted (or there is no point
    // file); -1 after an "Error" line when the set must not replace this data set's points.
    int m_keptPointCount(HDpointSet<float>& pointSet) const;
    // Replaces the point file at pointPath by values and the description at descriptionPath
    // by this object's, with kept points, both or neither.
    bool m_writePointsAndDescription(const std::string& descriptionPath, const std::string& pointPath,
                                     const std::vector<float>& values, int kept);
    // Writes a file out beside path with fill (which writes into the writer, or gives a reason)
    // and adds it to files; false after an "Error" line.
    bool m_prepareFile(std::vector<PreparedFile>& files, const std::string& path,
                       const std::function<bool(AtomicFileWriter&, std::string&)>& fill) const;
    bool m_preparePointFile(std::vector<PreparedFile>& files, const std::string& pointPath, const float* values,
                            size_t count) const;
    // Writes this object's description to descriptionPath and commits the prepared files with
    // it: all replace their old files, or (after an "Error" line) none does.
    bool m_commitWithDescription(std::vector<PreparedFile>& files, const std::string& descriptionPath);
    // True after an "Error in saving" line when a copy at copyPath would replace a file of
    // this data set other than its description.
    bool m_refuseCopyOver(const std::string& copyPath) const;
    // Writes a result file, then records identifier -> file name in results.
    bool m_writeResultFile(std::map<std::string, std::string>& results, const std::string& identifier,
                           const std::string& fileName, const void* data, size_t bytes);

    bool m_opened = false;
    bool m_newDataSet = false;
    int m_fileTypeIndex = 0;
    std::string m_binaryDataFileName;
    std::string m_binaryClusterFileName;
    std::string m_binaryLabelFileName;
    std::string m_binaryVolLabelFileName;
    bool m_isVolume = false;
    int m_dimension = 0;
    int m_spatialX = 0;
    int m_spatialY = 0;
    int m_spatialZ = 0;
    int m_pointCount = 0;
    // True once ReadHDPointSet delivered this data set's points (false again when a read fails).
    bool m_pointsLoaded = false;
    std::vector<bool> m_dimMask;
    std::vector<std::string> m_dimLabels;

    std::unique_ptr<WideXMLDocument> m_doc;
    tinyxml2::XMLElement* m_dataDescription = nullptr;
    tinyxml2::XMLElement* m_metaInfo = nullptr;
    tinyxml2::XMLElement* m_fileType = nullptr;
    tinyxml2::XMLElement* m_pointCountElement = nullptr;
    tinyxml2::XMLElement* m_spatialDimension = nullptr;
    tinyxml2::XMLElement* m_dimensionElement = nullptr;
    tinyxml2::XMLElement* m_dimensionMask = nullptr;
    tinyxml2::XMLElement* m_dimensionLabel = nullptr;
    tinyxml2::XMLElement* m_dataFile = nullptr;
    tinyxml2::XMLElement* m_binaryDataFile = nullptr;
    tinyxml2::XMLElement* m_binaryClusterFile = nullptr;
    tinyxml2::XMLElement* m_binaryLabelFile = nullptr;
    tinyxml2::XMLElement* m_binaryVolLabelFile = nullptr;
    tinyxml2::XMLElement* m_operation = nullptr;
    tinyxml2::XMLElement* m_clusteringOperation = nullptr;
    tinyxml2::XMLElement* m_clusterResultEntry = nullptr;

    std::string m_fullPath;
    std::string m_baseName;
    std::string m_directory;

    CSVLoader m_csvLoader;
    // The CSV import's point file, written out and waiting for its description.
    std::vector<PreparedFile> m_pendingPointFile;

    std::map<std::string, std::string> m_clusteringResults;
    std::map<std::string, std::string> m_embeddingResults;
};

}  // namespace Zelvo
