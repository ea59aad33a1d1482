#include "HDfileIO.h"

#include "AtomicFileWriter.h"
#include "ClusteringResult.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "HDpointSet.h"
#include "Log.h"
#include "VolumeModel.h"
#include "WideXMLDocument.h"

#include <tinyxml2.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <tuple>
#include <utility>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the binary files are little-endian and are read and written as they lie in memory");

namespace Zelvo {

namespace {

using tinyxml2::XMLElement;

// Far beyond any real table (a point file of one point would already be 64 MB).
constexpr int kMaxDimensionCount = 1 << 24;
// Beyond this many dimensions the description alone is not believed: the point file must
// exist and hold the points before labels and mask are sized from the count.
constexpr int kDimensionsWithoutPointFile = 1 << 16;
// The per-dimension lines printed on opening; the rest is summed up in one line.
constexpr size_t kPrintedDimensionLines = 100;

// The mask and label elements carry one attribute per dimension (prefix followed by the
// index in decimal); they are read and rewritten in a single pass over their lists.
bool ParseIndexedName(const std::string& name, const char* prefix, size_t count, size_t& index)
{
    const size_t prefixLength = std::strlen(prefix);
    if (name.compare(0, prefixLength, prefix) != 0 || name.size() == prefixLength) return false;
    if (name[prefixLength] == '0' && name.size() > prefixLength + 1) return false;  // "dim01" is not "dim1"
    size_t value = 0;
    for (size_t k = prefixLength; k < name.size(); ++k) {
        const char c = name[k];
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<size_t>(c - '0');
        if (value >= count) return false;
    }
    index = value;
    return true;
}

// Sets attribute prefix<i> = value(i) for i < count with the rule of single attributes: an
// existing one keeps its place and takes the new value, a new one goes after the others.
template <typename ValueOf>
void SetIndexedAttributes(WideXMLDocument::AttributeList& attributes, const char* prefix, size_t count,
                          ValueOf valueOf)
{
    std::vector<char> placed(count, 0);
    for (auto& attribute : attributes) {
        size_t i = 0;
        if (!ParseIndexedName(attribute.first, prefix, count, i) || placed[i]) continue;
        placed[i] = 1;
        attribute.second = valueOf(i);
    }
    for (size_t i = 0; i < count; ++i) {
        if (!placed[i]) attributes.emplace_back(prefix + std::to_string(i), valueOf(i));
    }
}

// An open FILE that is closed when it goes out of scope (failure paths); the writers close
// it themselves to see the result of the final flush.
struct FileCloser {
    void operator()(std::FILE* file) const
    {
        if (file) std::fclose(file);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Size of an open file in bytes, -1 when it cannot be taken.
int64_t FileSize(std::FILE* file)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0) return -1;
    return static_cast<int64_t>(status.st_size);
}

// Reads exactly bytes bytes; false on a short read.
bool ReadExactly(std::FILE* file, void* data, size_t bytes)
{
    return bytes == 0 || std::fread(data, 1, bytes, file) == bytes;
}

// Whether two paths lead to one file: the same device and inode when both exist (links and
// spellings such as "./x.bin" followed), the same real path when neither exists yet.
bool LeadToSameFile(const std::string& first, const std::string& second)
{
    struct stat a {}, b {};
    const bool firstExists = stat(first.c_str(), &a) == 0;
    const bool secondExists = stat(second.c_str(), &b) == 0;
    if (firstExists || secondExists) {
        return firstExists && secondExists && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    std::error_code error;
    const std::filesystem::path realFirst = std::filesystem::weakly_canonical(first, error);
    if (error) return first == second;
    const std::filesystem::path realSecond = std::filesystem::weakly_canonical(second, error);
    return !error && realFirst == realSecond;
}

// Identifiers may be paths (imported hierarchies); in a file name they must stay one name.
std::string SafeFileNamePart(std::string identifier)
{
    for (char& c : identifier)
        if (c == '/' || c == '\\') c = '_';
    return identifier;
}

// The name a file of a data set gets in a copy saved under copyBase: the data set's base name
// at its start replaced by the copy's, or the copy's put before it; one name in the copy's folder.
std::string CopyName(const std::string& name, const std::string& base, const std::string& copyBase)
{
    const bool ownName = !base.empty() && name.compare(0, base.size(), base) == 0;
    return copyBase + SafeFileNamePart(ownName ? name.substr(base.size()) : "_" + name);
}

// Copies the first bytes bytes of the file at source (all of it for -1) into writer; false with
// the reason when it can't be read or holds fewer bytes.
bool CopyFileInto(AtomicFileWriter& writer, const std::string& source, int64_t bytes, std::string& reason)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(source.c_str(), "rb"), &std::fclose);
    if (!in) {
        reason = source + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> buffer(size_t(1) << 20);
    int64_t left = bytes < 0 ? INT64_MAX : bytes;
    while (left > 0) {
        const size_t wanted = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
        const size_t read = std::fread(buffer.data(), 1, wanted, in.get());
        if (read == 0) break;
        if (!writer.Write(buffer.data(), read)) return false;
        left -= int64_t(read);
    }
    if (std::ferror(in.get())) {
        reason = source + ": can't be read";
        return false;
    }
    if (bytes >= 0 && left > 0) {
        reason = source + " holds fewer bytes than the points need";
        return false;
    }
    return true;
}

// Whether name, taken relative to directory, names a file in that folder or below it: not
// empty, not absolute, no ".." component, and not led out by a symbolic link anywhere on
// the way (the folder itself is compared by its real path too). A file that does not exist
// yet is judged by its real parent folder; a link that leads nowhere is refused, since
// writing through it would create its target.
bool NameStaysInFolder(const std::string& directory, const std::string& name)
{
    namespace fs = std::filesystem;
    if (name.empty() || name.front() == '/') return false;
    for (size_t start = 0; start <= name.size();) {
        const size_t end = std::min(name.find('/', start), name.size());
        if (end - start == 2 && name.compare(start, 2, "..") == 0) return false;
        start = end + 1;
    }
    std::string folderText = directory.empty() ? std::string(".") : directory;
    while (folderText.size() > 1 && folderText.back() == '/') folderText.pop_back();
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(folderText, error);
    if (error) return false;
    const fs::path target = fs::path(folderText) / name;
    std::error_code absent;  // a target that does not exist yet is no link
    const bool link = fs::is_symlink(fs::symlink_status(target, absent));
    const fs::path resolved = link ? fs::canonical(target, error) : fs::weakly_canonical(target, error);
    if (error) return false;
    const fs::path relative = resolved.lexically_relative(folder);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

enum class IntRead { Absent, Read, Invalid };

IntRead ReadInt(const XMLElement* element, const char* name, int& value)
{
    switch (element->QueryIntAttribute(name, &value)) {
    case tinyxml2::XML_SUCCESS: return IntRead::Read;
    case tinyxml2::XML_NO_ATTRIBUTE: return IntRead::Absent;
    default: return IntRead::Invalid;
    }
}

}  // namespace

HDfileIO::HDfileIO()
    : m_doc(std::make_unique<WideXMLDocument>(std::vector<std::string>{
          "DataDescription/MetaInfo/DimensionMask", "DataDescription/MetaInfo/DimensionLabel"}))
{
}

HDfileIO::~HDfileIO() = default;

// The element pointers point into the heap document, so they stay valid when it moves.
HDfileIO& HDfileIO::operator=(HDfileIO&&) noexcept = default;

bool HDfileIO::OpenHDdataSet(const char* path)
{
    if (!path) path = "";
    // Everything is read into a fresh object and taken over only when the whole
    // description is usable, so a failure leaves the current data set untouched.
    HDfileIO loaded;
    loaded.m_fullPath = path;
    loaded.m_parsingFileNameInfo();  // the reader looks for the point file beside it
    if (!loaded.m_doc->LoadFile(path) || !loaded.m_updateAttributesFromXML()) {
        Log::Printf("Error in opening: %s file\n", path);
        return false;
    }
    loaded.m_opened = true;
    *this = std::move(loaded);
    Log::Puts("Opened the file ... ");
    return true;
}

bool HDfileIO::CreateNewEmptyHDdataSet(const char* path)
{
    HDfileIO created;
    created.m_startEmptyDataSet(path ? path : "");
    created.m_newDataSet = true;
    *this = std::move(created);
    return true;
}

void HDfileIO::m_startEmptyDataSet(const std::string& path)
{
    m_fullPath = path;
    m_parsingFileNameInfo();
    InitXML();
    m_opened = true;
}

bool HDfileIO::SaveHDdataSet()
{
    return m_saveDocument(m_fullPath.c_str());
}

bool HDfileIO::SaveAsHDdataSet(const char* path)
{
    return m_saveCopy(path ? path : "", nullptr);
}

bool HDfileIO::SaveAsHDdataSet(const char* path, HDpointSet<float>& pointSet)
{
    return m_saveCopy(path ? path : "", &pointSet);
}

bool HDfileIO::m_saveCopy(const std::string& copyPath, HDpointSet<float>* pointSet)
{
    if (!m_opened) {
        Log::Printf("Error in saving: %s file\n", copyPath.c_str());
        return false;
    }
    int kept = m_pointCount;
    if (pointSet) {
        kept = m_keptPointCount(*pointSet);
        if (kept < 0) return false;
        SetDimensionProperties(pointSet->m_dimMask, pointSet->m_dimLabels);
    }
    // Onto the description that was opened, it is a Save.
    if (!m_fullPath.empty() && LeadToSameFile(copyPath, m_fullPath)) {
        return (!pointSet || WriteHDpointSetProperty(*pointSet)) && SaveHDdataSet();
    }
    if (m_refuseCopyOver(copyPath)) return false;

    // The copy is a data set of its own, described from scratch, whose files all carry its own
    // names: nothing done in it later can write a file that this data set names.
    HDfileIO copy;
    copy.m_startEmptyDataSet(copyPath);
    copy.m_isVolume = m_isVolume;
    copy.SetDataShape(m_fileTypeIndex, kept, kept == m_pointCount ? m_spatialX : kept, m_spatialY, m_spatialZ,
                      m_dimension);
    copy.SetDimensionProperties(m_dimMask, m_dimLabels);

    // The user agreed to replace the description at copyPath, and with it the files it names;
    // any other file already there (another data set's, say) is not the copy's to replace.
    std::vector<std::string> replaceable;
    const bool replacing = m_filesNamedBy(copyPath, replaceable);

    std::vector<PreparedFile> files;
    // Every file of the copy gets its place before any is written.
    std::vector<std::function<bool()>> writes;
    std::vector<std::pair<std::string, std::string>> taken = {{copyPath, "description"}};
    // The path of a file of the copy; "" after an "Error in saving" line when it would replace
    // a file of this data set, another file of the copy, or a file the replaced description
    // does not name.
    const auto place = [&](const std::string& name, const std::string& what) {
        const std::string target = copy.m_directory + name;
        std::string owner = m_fileOwner(target);
        for (size_t k = 0; k < taken.size() && owner.empty(); ++k) {
            if (!LeadToSameFile(target, taken[k].first)) continue;
            if (k > 0 && target == taken[k].first) {
                // Both names are the copy's base name with an ending of their own: no other name helps.
                const bool clustering = what.compare(0, 10, "clustering") == 0;
                Log::Printf("Error in saving: %s file: its %s and its %s would both be %s, whatever the copy is "
                            "called%s\n",
                            copyPath.c_str(), taken[k].second.c_str(), what.c_str(), target.c_str(),
                            clustering ? "; rename the clustering" : "");
                return std::string();
            }
            owner = "another file of the copy";
        }
        if (!owner.empty()) {
            Log::Printf("Error in saving: %s file: its %s %s is %s of %s, choose another name\n", copyPath.c_str(),
                        what.c_str(), target.c_str(), owner.c_str(), m_fullPath.c_str());
            return std::string();
        }
        // Any entry counts, a link that leads nowhere too: writing through it would create its target.
        struct stat status {};
        const bool named = std::any_of(replaceable.begin(), replaceable.end(),
                                       [&](const std::string& path) { return LeadToSameFile(target, path); });
        if (!named && lstat(target.c_str(), &status) == 0) {
            Log::Printf("Error in saving: %s file: its %s %s already exists%s, choose another name\n",
                        copyPath.c_str(), what.c_str(), target.c_str(),
                        replacing ? " and is no file of the data set it replaces" : "");
            return std::string();
        }
        if (copy.m_pathInFolder(name).empty()) return std::string();
        taken.emplace_back(target, what);
        return target;
    };
    // Copies a file of this data set whole into the copy; false after an "Error" line.
    const auto carry = [&](const std::string& name, const std::string& copyName, const std::string& what) {
        const std::string source = m_pathInFolder(name);
        const std::string target = source.empty() ? source : place(copyName, what);
        if (target.empty()) return false;
        writes.push_back([&, source, target] {
            return m_prepareFile(files, target, [&](AtomicFileWriter& writer, std::string& reason) {
                return CopyFileInto(writer, source, -1, reason);
            });
        });
        return true;
    };

    std::string pointTarget;
    if (!m_binaryDataFileName.empty()) {
        copy.m_binaryDataFileName = copy.m_baseName + ".bin";
        pointTarget = place(copy.m_binaryDataFileName, "point file");
        if (pointTarget.empty()) return false;
        const size_t values = size_t(kept) * size_t(std::max(m_dimension, 0));
        // The points as they are now when the set holds this data set's, else its point file's.
        const bool fromSet = pointSet && m_pointsLoaded && pointSet->m_dimension == m_dimension &&
                             pointSet->m_values.size() == values;
        const std::string source = fromSet ? std::string() : m_pathInFolder(m_binaryDataFileName);
        if (!fromSet && source.empty()) return false;
        writes.push_back([&, values, fromSet, source] {
            return m_prepareFile(files, pointTarget, [&](AtomicFileWriter& writer, std::string& reason) {
                if (fromSet) return writer.Write(pointSet->m_values.data(), values * sizeof(float));
                return CopyFileInto(writer, source, int64_t(values * sizeof(float)), reason);
            });
        });
    }
    // The voxel labels follow the grid: without them the copy would not open.
    if (!m_binaryVolLabelFileName.empty()) {
        copy.m_binaryVolLabelFileName = CopyName(m_binaryVolLabelFileName, m_baseName, copy.m_baseName);
        if (!carry(m_binaryVolLabelFileName, copy.m_binaryVolLabelFileName, "volume-label file")) return false;
    }
    // Nothing reads these two; they go along when they are there.
    const std::tuple<const std::string*, std::string*, const char*> unreadFiles[] = {
        {&m_binaryClusterFileName, &copy.m_binaryClusterFileName, "binary cluster file"},
        {&m_binaryLabelFileName, &copy.m_binaryLabelFileName, "binary label file"}};
    for (const auto& [name, copyName, what] : unreadFiles) {
        if (name->empty()) continue;
        struct stat status {};
        if (stat((m_directory + *name).c_str(), &status) != 0) {
            Log::Printf("%s names %s, which is not there; the copy does not name it\n", m_fullPath.c_str(),
                        name->c_str());
            continue;
        }
        *copyName = CopyName(*name, m_baseName, copy.m_baseName);
        if (!carry(*name, *copyName, what)) return false;
    }
    if (kept != m_pointCount) {
        if (!m_clusteringResults.empty()) {
            Log::Printf("The stored clustering results stay with %s (they number its %d points)\n",
                        m_fullPath.c_str(), m_pointCount);
        }
    } else {
        for (const auto& [identifier, name] : m_clusteringResults) {
            const std::string copyName = copy.m_baseName + "_" + SafeFileNamePart(identifier) + ".bin";
            const std::string source = m_directory + name;
            if (access(source.c_str(), R_OK) != 0) {
                Log::Printf("Warning: the stored clustering \"%s\" is not carried into %s: %s can't be read (%s)\n",
                            identifier.c_str(), copyPath.c_str(), source.c_str(), std::strerror(errno));
                continue;
            }
            if (!carry(name, copyName, "clustering result \"" + identifier + "\"")) return false;
            copy.m_clusteringResults[identifier] = copyName;
        }
    }
    for (const auto& write : writes)
        if (!write()) return false;
    if (!copy.m_commitWithDescription(files, copyPath)) return false;
    if (kept != m_pointCount) Log::Printf("Saved the %d kept points in %s\n", kept, pointTarget.c_str());
    return true;
}

int HDfileIO::Close()
{
    return 0;
}

bool HDfileIO::WriteHDpointSetProperty(HDpointSet<float>& pointSet)
{
    const int kept = m_keptPointCount(pointSet);
    if (kept < 0) return false;
    SetDimensionProperties(pointSet.m_dimMask, pointSet.m_dimLabels);
    if (kept == m_pointCount) return true;
    // Points were deleted: the point file the description names holds the kept points only,
    // and the description says so in the same step.
    const std::string path = m_pathInFolder(m_binaryDataFileName);
    if (path.empty()) return false;
    return m_writePointsAndDescription(m_fullPath, path, pointSet.m_values, kept);
}

int HDfileIO::m_keptPointCount(HDpointSet<float>& pointSet) const
{
    const int kept = pointSet.m_dimension > 0 ? pointSet.GetPointCount() : m_pointCount;
    if (kept == m_pointCount || m_binaryDataFileName.empty()) return m_pointCount;
    // The points of a volume fill its grid and the voxel labels follow that grid: one point
    // less and the data set no longer opens.
    if (m_spatialY > 1 || m_spatialZ > 1 || pointSet.m_kind == 1) {
        Log::Printf("Error: %s is a volume of %d x %d x %d points, which can't lose a point; its files are "
                    "left as they are\n",
                    m_fullPath.c_str(), m_spatialX, m_spatialY, m_spatialZ);
        return -1;
    }
    // Only a deletion from the points read from this data set may shorten its point file; a
    // set that did not load (or is another data set's) holds fewer points than the file.
    if (!m_pointsLoaded || kept > m_pointCount || pointSet.m_dimension != m_dimension) {
        Log::Printf("Error: the point set does not hold the points of %s; its files are left as they are\n",
                    m_fullPath.c_str());
        return -1;
    }
    return kept;
}

bool HDfileIO::m_writePointsAndDescription(const std::string& descriptionPath, const std::string& pointPath,
                                           const std::vector<float>& values, int kept)
{
    std::vector<PreparedFile> files;
    if (!m_preparePointFile(files, pointPath, values.data(), values.size())) return false;
    const int count = m_pointCount;
    const int extent = m_spatialX;
    m_pointCount = kept;
    m_spatialX = kept;
    if (m_commitWithDescription(files, descriptionPath)) return true;
    if (!files.front().writer->IsCommitted()) {
        m_pointCount = count;
        m_spatialX = extent;
    }
    return false;
}

bool HDfileIO::m_prepareFile(std::vector<PreparedFile>& files, const std::string& path,
                             const std::function<bool(AtomicFileWriter&, std::string&)>& fill) const
{
    auto writer = std::make_unique<AtomicFileWriter>(path);
    std::string reason;
    if (!fill(*writer, reason) || !writer->Prepare()) {
        if (reason.empty()) reason = writer->Reason();
        Log::Printf("Error: Can't write the binary file: %s (%s)\n", path.c_str(), reason.c_str());
        return false;
    }
    files.push_back(PreparedFile{std::move(writer), path});
    return true;
}

bool HDfileIO::m_preparePointFile(std::vector<PreparedFile>& files, const std::string& pointPath,
                                  const float* values, size_t count) const
{
    return m_prepareFile(files, pointPath, [&](AtomicFileWriter& writer, std::string&) {
        return writer.Write(values, count * sizeof(float));
    });
}

bool HDfileIO::m_commitWithDescription(std::vector<PreparedFile>& files, const std::string& descriptionPath)
{
    // Every file is written out before any replaces its old one, and the description goes
    // last: a failure before the renames leaves every file as it was.
    m_updateXMLFromAttributes();
    AtomicFileWriter description(descriptionPath);
    const bool printed = m_doc->Print(description);
    if (!description.Prepare() || !printed) {
        Log::Printf("Error in saving: %s file (%s)\n", descriptionPath.c_str(), description.Reason().c_str());
        return false;
    }
    for (PreparedFile& file : files) {
        if (!file.writer->Commit()) {
            Log::Printf("Error: Can't write the binary file: %s (%s)\n", file.path.c_str(),
                        file.writer->Reason().c_str());
            return false;
        }
    }
    if (!description.Commit()) {
        // Rare (the folder changed between the renames); saving again writes the description.
        Log::Printf("Error in saving: %s file (%s); %s is written already\n", descriptionPath.c_str(),
                    description.Reason().c_str(), files.empty() ? "nothing" : files.front().path.c_str());
        return false;
    }
    return true;
}

bool HDfileIO::m_refuseCopyOver(const std::string& copyPath) const
{
    if (!m_opened || m_fullPath.empty() || LeadToSameFile(copyPath, m_fullPath)) return false;
    const std::string owner = m_fileOwner(copyPath);
    if (owner.empty()) return false;
    Log::Printf("Error in saving: %s file: it is %s of %s\n", copyPath.c_str(), owner.c_str(), m_fullPath.c_str());
    return true;
}

bool HDfileIO::m_filesNamedBy(const std::string& path, std::vector<std::string>& files)
{
    // Read as Open reads it: what it would not open names nothing. Only a regular file is read:
    // a pipe or a device could keep the read waiting, or going, for ever.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    HDfileIO described;
    described.m_fullPath = path;
    described.m_parsingFileNameInfo();
    if (!described.m_doc->LoadFile(path.c_str()) || !described.m_updateAttributesFromXML(false)) return false;
    for (const std::string* name : {&described.m_binaryDataFileName, &described.m_binaryVolLabelFileName,
                                    &described.m_binaryClusterFileName, &described.m_binaryLabelFileName}) {
        if (!name->empty()) files.push_back(described.m_directory + *name);
    }
    for (const auto& entry : described.m_clusteringResults) files.push_back(described.m_directory + entry.second);
    return true;
}

std::vector<std::string> HDfileIO::QueryListOfClusteringResults() const
{
    std::vector<std::string> identifiers;
    identifiers.reserve(m_clusteringResults.size());
    for (const auto& entry : m_clusteringResults) identifiers.push_back(entry.first);
    return identifiers;
}

void HDfileIO::SetDataShape(int fileTypeIndex, int pointCount, int spatialX, int spatialY, int spatialZ,
                            int dimension)
{
    m_fileTypeIndex = fileTypeIndex;
    m_pointCount = pointCount;
    m_spatialX = spatialX;
    m_spatialY = spatialY;
    m_spatialZ = spatialZ;
    m_dimension = dimension;
}

void HDfileIO::SetBinaryFileNames(const std::string& dataFile, const std::string& clusterFile,
                                  const std::string& labelFile, const std::string& volLabelFile)
{
    m_binaryDataFileName = dataFile;
    m_binaryClusterFileName = clusterFile;
    m_binaryLabelFileName = labelFile;
    m_binaryVolLabelFileName = volLabelFile;
}

void HDfileIO::SetDimensionProperties(const std::vector<bool>& mask, const std::vector<std::string>& labels)
{
    m_dimMask = mask;
    m_dimLabels = labels;
}

bool HDfileIO::SetClusteringResultFile(const std::string& identifier, const std::string& fileName)
{
    const bool existed = m_clusteringResults.count(identifier) != 0;
    m_clusteringResults[identifier] = fileName;
    return existed;
}

std::string HDfileIO::m_pathInFolder(const std::string& fileName) const
{
    if (NameStaysInFolder(m_directory, fileName)) return m_directory + fileName;
    Log::Printf("Error: The file name \"%s\" does not name a file in the data set's folder\n", fileName.c_str());
    return std::string();
}

void HDfileIO::m_parsingFileNameInfo()
{
    const size_t slash = m_fullPath.rfind('/');
    const std::string fileName = slash == std::string::npos ? m_fullPath : m_fullPath.substr(slash + 1);
    m_baseName = fileName.substr(0, fileName.rfind('.'));
    m_directory = slash == std::string::npos ? std::string() : m_fullPath.substr(0, slash) + "/";
}

bool HDfileIO::m_bindElements()
{
    m_dataDescription = m_doc->Document().FirstChildElement("DataDescription");
    if (!m_dataDescription) return false;
    m_metaInfo = m_dataDescription->FirstChildElement("MetaInfo");
    if (!m_metaInfo) return false;
    m_fileType = m_metaInfo->FirstChildElement("FileType");
    m_pointCountElement = m_metaInfo->FirstChildElement("PointCount");
    m_spatialDimension = m_metaInfo->FirstChildElement("SpatialDimension");
    m_dimensionElement = m_metaInfo->FirstChildElement("Dimension");
    m_dimensionMask = m_metaInfo->FirstChildElement("DimensionMask");
    m_dimensionLabel = m_metaInfo->FirstChildElement("DimensionLabel");
    m_dataFile = m_dataDescription->FirstChildElement("DataFile");
    if (!m_fileType || !m_pointCountElement || !m_spatialDimension || !m_dimensionElement || !m_dimensionMask ||
        !m_dimensionLabel || !m_dataFile) {
        return false;
    }
    m_binaryDataFile = m_dataFile->FirstChildElement("BinaryDataFile");
    m_binaryClusterFile = m_dataFile->FirstChildElement("BinaryClusterFile");
    m_binaryLabelFile = m_dataFile->FirstChildElement("BinaryLabelFile");
    m_binaryVolLabelFile = m_dataFile->FirstChildElement("BinaryVolLabelFile");  // optional
    m_operation = m_dataDescription->FirstChildElement("Operation");
    if (!m_binaryDataFile || !m_binaryClusterFile || !m_binaryLabelFile || !m_operation) return false;
    m_clusteringOperation = m_operation->FirstChildElement("ClusteringOperation");
    return m_clusteringOperation != nullptr;
}

bool HDfileIO::m_updateAttributesFromXML(bool report)
{
    // Check everything first, so a rejected description prints nothing but the open error
    // (and the line of a file name that leaves the folder).
    if (!m_bindElements()) return false;
    const auto inFolder = [&](const std::string& name) {
        return report ? !m_pathInFolder(name).empty() : NameStaysInFolder(m_directory, name);
    };
    const std::pair<const XMLElement*, const char*> counts[] = {
        {m_pointCountElement, "count"}, {m_dimensionElement, "dimension"},
        {m_spatialDimension, "x"}, {m_spatialDimension, "y"}, {m_spatialDimension, "z"}};
    int* const countFields[] = {&m_pointCount, &m_dimension, &m_spatialX, &m_spatialY, &m_spatialZ};
    for (size_t k = 0; k < 5; ++k) {
        if (ReadInt(counts[k].first, counts[k].second, *countFields[k]) == IntRead::Invalid ||
            *countFields[k] < 0) {
            return false;
        }
    }
    // Labels and mask are sized from the dimension count: a corrupt count must not make us
    // allocate gigabytes for a data set whose point file does not back it.
    if (m_dimension > kMaxDimensionCount) return false;
    if (const char* name = m_binaryDataFile->Attribute("filename")) {
        m_binaryDataFileName = name;
        if (!inFolder(m_binaryDataFileName)) return false;
    }
    if (m_dimension > kDimensionsWithoutPointFile) {
        struct stat status {};
        const bool backed = m_pointCount > 0 && !m_binaryDataFileName.empty() &&
                            stat((m_directory + m_binaryDataFileName).c_str(), &status) == 0 &&
                            static_cast<int64_t>(status.st_size) >=
                                int64_t(m_dimension) * int64_t(m_pointCount) * int64_t(sizeof(float));
        if (!backed) return false;
    }
    if (ReadInt(m_fileType, "typeIndex", m_fileTypeIndex) == IntRead::Invalid) return false;
    std::map<std::string, std::string> clustering;
    for (const XMLElement* entry = m_clusteringOperation->FirstChildElement(); entry;
         entry = entry->NextSiblingElement()) {
        const char* identifier = entry->Attribute("ClusterResultIDString");
        const char* file = entry->Attribute("ClusterResultFile");
        if (!identifier || !file || !inFolder(file)) return false;
        clustering[identifier] = file;
    }
    // The other names need not be there (empty means no such file), but a given one must
    // stay in the folder as well.
    for (const XMLElement* element : {m_binaryClusterFile, m_binaryLabelFile, m_binaryVolLabelFile}) {
        const char* name = element ? element->Attribute("filename") : nullptr;
        if (name && *name && !inFolder(name)) return false;
    }

    const size_t dimension = static_cast<size_t>(m_dimension);
    m_dimLabels.assign(dimension, std::string());
    m_dimMask.assign(dimension, false);
    std::vector<char> seen(dimension, 0);
    for (const auto& attribute : *m_doc->Attributes(m_dimensionLabel)) {
        size_t i = 0;
        if (ParseIndexedName(attribute.first, "dim", dimension, i) && !seen[i]) {
            seen[i] = 1;
            m_dimLabels[i] = attribute.second;
        }
    }
    seen.assign(dimension, 0);
    for (const auto& attribute : *m_doc->Attributes(m_dimensionMask)) {
        size_t i = 0;
        if (ParseIndexedName(attribute.first, "dimMask", dimension, i) && !seen[i]) {
            seen[i] = 1;
            m_dimMask[i] = attribute.second == "True";
        }
    }
    const size_t printed = report ? std::min(dimension, kPrintedDimensionLines) : 0;
    for (size_t i = 0; i < printed; ++i) {
        Log::Printf(" dimensionMask:%d dim:%s\n", m_dimMask[i] ? 1 : 0, m_dimLabels[i].c_str());
    }
    if (report && dimension > printed) Log::Printf(" ... and %zu more dimensions\n", dimension - printed);

    if (const char* name = m_binaryLabelFile->Attribute("filename")) m_binaryLabelFileName = name;
    if (const char* name = m_binaryClusterFile->Attribute("filename")) m_binaryClusterFileName = name;
    if (m_binaryVolLabelFile) {
        const char* name = m_binaryVolLabelFile->Attribute("filename");
        m_binaryVolLabelFileName = name ? name : "";
    }
    m_clusteringResults = std::move(clustering);
    return true;
}

void HDfileIO::InitXML()
{
    tinyxml2::XMLDocument& doc = m_doc->Document();
    doc.InsertEndChild(doc.NewDeclaration("xml version=\"1.0\""));
    m_dataDescription = doc.NewElement("DataDescription");
    doc.InsertEndChild(m_dataDescription);

    m_metaInfo = m_dataDescription->InsertNewChildElement("MetaInfo");
    m_fileType = m_metaInfo->InsertNewChildElement("FileType");
    m_pointCountElement = m_metaInfo->InsertNewChildElement("PointCount");
    m_spatialDimension = m_metaInfo->InsertNewChildElement("SpatialDimension");
    m_dimensionElement = m_metaInfo->InsertNewChildElement("Dimension");
    m_dimensionMask = m_metaInfo->InsertNewChildElement("DimensionMask");
    m_dimensionLabel = m_metaInfo->InsertNewChildElement("DimensionLabel");

    m_dataFile = m_dataDescription->InsertNewChildElement("DataFile");
    m_binaryDataFile = m_dataFile->InsertNewChildElement("BinaryDataFile");
    m_binaryClusterFile = m_dataFile->InsertNewChildElement("BinaryClusterFile");
    m_binaryLabelFile = m_dataFile->InsertNewChildElement("BinaryLabelFile");
    m_binaryVolLabelFile = m_dataFile->InsertNewChildElement("BinaryVolLabelFile");

    m_operation = m_dataDescription->InsertNewChildElement("Operation");
    m_clusteringOperation = m_operation->InsertNewChildElement("ClusteringOperation");
    m_clusterResultEntry = nullptr;
}

void HDfileIO::m_updateXMLFromAttributes()
{
    m_fileType->SetAttribute("typeIndex", m_fileTypeIndex);
    m_pointCountElement->SetAttribute("count", m_pointCount);
    m_dimensionElement->SetAttribute("dimension", m_dimension);
    m_spatialDimension->SetAttribute("x", m_spatialX);
    m_spatialDimension->SetAttribute("y", m_spatialY);
    m_spatialDimension->SetAttribute("z", m_spatialZ);

    if (!m_binaryLabelFileName.empty()) m_binaryLabelFile->SetAttribute("filename", m_binaryLabelFileName.c_str());
    if (!m_binaryClusterFileName.empty()) {
        m_binaryClusterFile->SetAttribute("filename", m_binaryClusterFileName.c_str());
    }
    if (!m_binaryDataFileName.empty()) m_binaryDataFile->SetAttribute("filename", m_binaryDataFileName.c_str());

    const size_t labelCount = m_dimLabels.size();
    SetIndexedAttributes(*m_doc->Attributes(m_dimensionLabel), "dim", labelCount,
                         [this](size_t i) { return m_dimLabels[i]; });
    SetIndexedAttributes(*m_doc->Attributes(m_dimensionMask), "dimMask", labelCount, [this](size_t i) {
        return std::string(i < m_dimMask.size() && m_dimMask[i] ? "True" : "False");
    });

    if (!m_binaryVolLabelFileName.empty()) {
        if (!m_binaryVolLabelFile) m_binaryVolLabelFile = m_dataFile->InsertNewChildElement("BinaryVolLabelFile");
        m_binaryVolLabelFile->SetAttribute("filename", m_binaryVolLabelFileName.c_str());
    }

    m_clusteringOperation->DeleteChildren();
    m_clusterResultEntry = nullptr;
    size_t position = 0;
    for (const auto& entry : m_clusteringResults) {
        const std::string name = "ClusterResultEntry" + std::to_string(position++);
        m_clusterResultEntry = m_clusteringOperation->InsertNewChildElement(name.c_str());
        m_clusterResultEntry->SetAttribute("ClusterResultIDString", entry.first.c_str());
        m_clusterResultEntry->SetAttribute("ClusterResultFile", entry.second.c_str());
        Log::Puts(entry.first + "=>" + entry.second);
    }
}

bool HDfileIO::m_saveDocument(const char* path)
{
    if (!m_opened) {
        Log::Printf("Error in saving: %s file\n", path);
        return false;
    }
    m_updateXMLFromAttributes();
    std::string reason;
    if (!m_doc->SaveFile(path, &reason)) {
        Log::Printf("Error in saving: %s file (%s)\n", path, reason.c_str());
        return false;
    }
    return true;
}

bool HDfileIO::WriteDataProfile(DataProfile& profile)
{
    return WriteHDpointSetProperty(profile.GetPointSet());
}

bool HDfileIO::ReadHDPointSet(HDpointSet<float>& pointSet)
{
    if (!m_opened) {
        Log::Puts("ReadHDPointSet::Error No data set is open");
        return false;
    }
    if (m_dimension < 0 || m_pointCount < 0 || m_dimMask.size() != static_cast<size_t>(m_dimension) ||
        m_dimLabels.size() != static_cast<size_t>(m_dimension)) {
        Log::Printf("ReadHDPointSet::Error Invalid size: %d points of dimension %d\n", m_pointCount, m_dimension);
        return false;
    }
    if (!pointSet.m_values.empty()) Log::Puts("ReadHDPointSet::Overwrite the existing HDpoints");
    m_pointsLoaded = false;

    // A fresh set: nothing derived from the previous data set's points may survive. The
    // normalisation choice is the user's and stays.
    const PointSetState state = pointSet.m_state;
    const bool computeAverageRadius = pointSet.m_computeAverageRadius;
    pointSet = HDpointSet<float>();
    pointSet.m_state = state;
    pointSet.m_computeAverageRadius = computeAverageRadius;
    pointSet.m_dimension = m_dimension;
    pointSet.m_dimLabels = m_dimLabels;
    pointSet.m_dimMask = m_dimMask;
    pointSet.m_spatialX = m_spatialX;
    pointSet.m_spatialY = m_spatialY;
    pointSet.m_spatialZ = m_spatialZ;
    pointSet.m_kind = 0;

    const std::string path = m_binaryDataFileName.empty() ? std::string() : m_pathInFolder(m_binaryDataFileName);
    File file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!file) {
        Log::Puts("ReadHDPointSet::Error Can't Open the BinrayFile");
        return false;
    }
    // Both factors are below 2^31, so the products fit 64 bits; the file must really hold
    // the values before anything is allocated for them.
    const int64_t valueCount = int64_t(m_dimension) * int64_t(m_pointCount);
    const int64_t bytes = valueCount * int64_t(sizeof(float));
    const int64_t fileSize = FileSize(file.get());
    if (fileSize < bytes) {
        Log::Printf("ReadHDPointSet::Error %s holds %lld bytes, %lld needed\n", path.c_str(),
                    static_cast<long long>(fileSize), static_cast<long long>(bytes));
        return false;
    }
    std::vector<float> values(static_cast<size_t>(valueCount));
    if (!ReadExactly(file.get(), values.data(), static_cast<size_t>(bytes))) {
        Log::Printf("ReadHDPointSet::Error Can't read %s\n", path.c_str());
        return false;
    }
    pointSet.m_values = std::move(values);
    m_pointsLoaded = true;
    return true;
}

bool HDfileIO::ReadVolumeModel(VolumeModel& volume, HDpointSet<float>& pointSet)
{
    bool labelsRead = volume.SetSpatialExtent(m_spatialX, m_spatialY, m_spatialZ);
    volume.m_voxelLabels.clear();
    const int64_t voxelCount = labelsRead ? volume.GetVolumePointCount() : 0;
    if (labelsRead && voxelCount == 0) {
        // No voxel, so no label to look at.
        Log::Printf("@@@@@ read label Min:%d Max:%d\n", 0, 0);
    } else if (labelsRead) {
        const std::string inFolder =
            m_binaryVolLabelFileName.empty() ? std::string() : m_pathInFolder(m_binaryVolLabelFileName);
        const std::string path = m_directory + m_binaryVolLabelFileName;
        File file(inFolder.empty() ? nullptr : std::fopen(inFolder.c_str(), "rb"));
        const int64_t bytes = voxelCount * int64_t(sizeof(unsigned int));
        labelsRead = file && FileSize(file.get()) >= bytes;
        if (labelsRead) {
            volume.m_voxelLabels.resize(static_cast<size_t>(voxelCount));
            labelsRead = ReadExactly(file.get(), volume.m_voxelLabels.data(), static_cast<size_t>(bytes));
        }
        if (labelsRead) {
            unsigned int smallest = volume.m_voxelLabels.front();
            unsigned int largest = smallest;
            for (unsigned int label : volume.m_voxelLabels) {
                if (label < smallest) smallest = label;
                if (label > largest) largest = label;
            }
            Log::Printf("@@@@@ read label Min:%d Max:%d\n", static_cast<int>(smallest), static_cast<int>(largest));
        } else {
            volume.m_voxelLabels.clear();
            Log::Printf("Error: Can't read %lld voxel labels from %s\n", static_cast<long long>(voxelCount),
                        path.c_str());
        }
    }
    volume.m_isVolume = m_isVolume;
    const bool pointsRead = ReadHDPointSet(pointSet);
    pointSet.m_kind = 1;
    return labelsRead && pointsRead;
}

bool HDfileIO::m_writeResultFile(std::map<std::string, std::string>& results, const std::string& identifier,
                                 const std::string& fileName, const void* data, size_t bytes)
{
    if (!m_opened) {
        Log::Puts("Error: No data set is open");
        return false;
    }
    const std::string path = m_pathInFolder(fileName);
    if (path.empty()) return false;
    const std::string owner = m_fileOwner(path, &results, identifier);
    if (!owner.empty()) {
        // The file name mapping folds '/' and '\\' into '_', and a name in the description may
        // be spelled differently or be a link: writing would destroy the other file's data.
        Log::Printf("Error: the file %s already holds %s, store under another identifier\n", fileName.c_str(),
                    owner.c_str());
        return false;
    }
    if (results.count(identifier) != 0) Log::Puts("Warning: Entry already existed, replace the existing entry");
    // A failed write leaves the old file, so a replaced entry stays as it was.
    std::string reason;
    if (!AtomicFileWriter::WriteWholeFile(path, data, bytes, &reason)) {
        Log::Printf("Error: Fail to write: %s (%s)\n", path.c_str(), reason.c_str());
        return false;
    }
    results[identifier] = fileName;
    return true;
}

std::string HDfileIO::m_fileOwner(const std::string& path, const std::map<std::string, std::string>* results,
                                  const std::string& identifier) const
{
    if (!m_fullPath.empty() && LeadToSameFile(path, m_fullPath)) return "the data description";
    const std::pair<const std::string*, const char*> named[] = {
        {&m_binaryDataFileName, "the point data"},
        {&m_binaryVolLabelFileName, "the volume labels"},
        {&m_binaryClusterFileName, "the binary cluster file"},
        {&m_binaryLabelFileName, "the binary label file"}};
    for (const auto& [name, what] : named) {
        if (!name->empty() && LeadToSameFile(path, m_directory + *name)) return what;
    }
    for (const auto* map : {&m_clusteringResults, &m_embeddingResults}) {
        for (const auto& entry : *map) {
            if (map == results && entry.first == identifier) continue;
            if (!LeadToSameFile(path, m_directory + entry.second)) continue;
            return (map == &m_clusteringResults ? "the clustering result \"" : "the embedding result \"") +
                   entry.first + "\"";
        }
    }
    return std::string();
}

bool HDfileIO::WriteClusteringResult(ClusteringResult& result, std::string identifier)
{
    const std::string& text = result.GetSerializedHierarchyString();
    const std::string fileName = m_baseName + "_" + SafeFileNamePart(identifier) + ".bin";
    return m_writeResultFile(m_clusteringResults, identifier, fileName, text.data(), text.size());
}

bool HDfileIO::WriteEmbeddingResult(EmbeddingResult& embedding, std::string identifier)
{
    const std::vector<float>& positions = *embedding.GetOriginalEmbededPosition();
    const std::string fileName = m_baseName + "_embed_" + SafeFileNamePart(identifier) + ".bin";
    return m_writeResultFile(m_embeddingResults, identifier, fileName, positions.data(),
                             positions.size() * sizeof(float));
}

bool HDfileIO::ReadClusteringResult(ClusteringResult& result, std::string identifier)
{
    const auto entry = m_clusteringResults.find(identifier);
    if (entry == m_clusteringResults.end()) {
        Log::Puts("Error: Can't find corresponding filename");
        return false;
    }
    const std::string path = m_directory + entry->second;
    const std::string inFolder = m_pathInFolder(entry->second);
    File file(inFolder.empty() ? nullptr : std::fopen(inFolder.c_str(), "rb"));
    const int64_t size = file ? FileSize(file.get()) : -1;
    std::string text;
    bool read = size >= 0;
    if (read) {
        text.resize(static_cast<size_t>(size));
        read = ReadExactly(file.get(), text.data(), text.size());
    }
    if (!read) {
        Log::Printf("Error: Fail to open: %s\n", path.c_str());
        return false;
    }
    result.SetSerializedHierarchyString(text);
    return true;
}

bool HDfileIO::m_writeHDpointRawBuffer(std::vector<float>* values)
{
    const std::string fileName = m_baseName + ".bin";
    const std::string path = m_pathInFolder(fileName);
    if (path.empty()) return false;
    if (!m_fullPath.empty() && LeadToSameFile(path, m_fullPath)) {
        Log::Printf("Error: Can't write the binary file: %s is the data description\n", path.c_str());
        return false;
    }
    // Written out now; it replaces the old file together with the description.
    m_pendingPointFile.clear();
    if (!m_preparePointFile(m_pendingPointFile, path, values ? values->data() : nullptr, values ? values->size() : 0))
        return false;
    m_binaryDataFileName = fileName;
    return true;
}

bool HDfileIO::ReadCSVFile(const char* path)
{
    const bool read = m_csvLoader.LoadCSVFile(path, ',', true);
    const int columns = m_csvLoader.GetColumnCount();
    const int rows = m_csvLoader.GetRowCount();
    const std::vector<std::string>& header = m_csvLoader.GetHeader();
    if (columns == 1 && !header.empty() && header[0].find_first_of(";\t") != std::string::npos) {
        // Most likely meant to be split there; only ',' separates columns.
        Log::Printf("Warning: the header of %s is read as one column \"%s\": ';' and tab do not separate "
                    "columns, ',' does\n", path, header[0].substr(0, 60).c_str());
    }
    if (!read || columns <= 0 || rows <= 0) {
        const char* cause = !read            ? "the file can't be read"
                            : columns <= 0   ? "the file is empty"
                                             : "no row of data below the header was kept";
        Log::Printf("Error: No data to import from %s: %s\n", path, cause);
        m_csvLoader.TakeValues();  // nothing of this file may reach a later import
        return false;
    }
    std::vector<float> values = m_csvLoader.TakeValues();
    if (!m_writeHDpointRawBuffer(&values)) return false;

    m_fileTypeIndex = 0;
    m_dimension = columns;
    m_pointCount = rows;
    m_spatialX = rows;
    m_spatialY = 1;
    m_spatialZ = 1;
    m_dimLabels = m_csvLoader.GetHeader();
    m_dimLabels.resize(static_cast<size_t>(columns));
    m_dimMask.assign(static_cast<size_t>(columns), true);
    Log::Printf("CSV file: EntryCount: %d\n", m_pointCount);
    return true;
}

bool HDfileIO::ImportDataFromCSV(const char* path)
{
    if (!m_opened || !m_newDataSet) return false;
    // The table fills a new data set of its own, taken over only once its point file and its
    // description are written: a failed import leaves this one as it was, here and on disk.
    HDfileIO imported;
    imported.m_startEmptyDataSet(m_fullPath);
    imported.m_newDataSet = true;
    if (!imported.ReadCSVFile(path ? path : "")) return false;
    std::vector<PreparedFile> files = std::move(imported.m_pendingPointFile);
    if (files.empty() || !imported.m_commitWithDescription(files, imported.m_fullPath)) return false;
    *this = std::move(imported);
    return true;
}

}  // namespace Zelvo
