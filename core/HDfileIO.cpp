#include "HDfileIO.h"

#include "HDpointSet.h"
#include "Log.h"
#include "WideXMLDocument.h"

#include <tinyxml2.h>

#include <cstring>
#include <utility>

namespace Zelvo {

namespace {

using tinyxml2::XMLElement;

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
    if (!loaded.m_doc->LoadFile(path) || !loaded.m_updateAttributesFromXML()) {
        Log::Printf("Error in opening: %s file\n", path);
        return false;
    }
    loaded.m_fullPath = path;
    loaded.m_parsingFileNameInfo();
    loaded.m_opened = true;
    *this = std::move(loaded);
    Log::Puts("Opened the file ... ");
    return true;
}

bool HDfileIO::CreateNewEmptyHDdataSet(const char* path)
{
    HDfileIO created;
    created.m_fullPath = path ? path : "";
    created.m_parsingFileNameInfo();
    created.InitXML();
    created.m_opened = true;
    created.m_newDataSet = true;
    *this = std::move(created);
    return true;
}

bool HDfileIO::SaveHDdataSet()
{
    return m_saveDocument(m_fullPath.c_str());
}

bool HDfileIO::SaveAsHDdataSet(const char* path)
{
    return m_saveDocument(path ? path : "");
}

int HDfileIO::Close()
{
    return 0;
}

void HDfileIO::WriteHDpointSetProperty(HDpointSet<float>& pointSet)
{
    SetDimensionProperties(pointSet.m_dimMask, pointSet.m_dimLabels);
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

void HDfileIO::m_parsingFileNameInfo()
{
    const size_t slash = m_fullPath.rfind('/');
    const std::string fileName = slash == std::string::npos ? m_fullPath : m_fullPath.substr(slash + 1);
    m_baseName = fileName.substr(0, fileName.find('.'));
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

bool HDfileIO::m_updateAttributesFromXML()
{
    // Check everything first, so a rejected description prints nothing but the open error.
    if (!m_bindElements()) return false;
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
    if (ReadInt(m_fileType, "typeIndex", m_fileTypeIndex) == IntRead::Invalid) return false;
    std::map<std::string, std::string> clustering;
    for (const XMLElement* entry = m_clusteringOperation->FirstChildElement(); entry;
         entry = entry->NextSiblingElement()) {
        const char* identifier = entry->Attribute("ClusterResultIDString");
        const char* file = entry->Attribute("ClusterResultFile");
        if (!identifier || !file) return false;
        clustering[identifier] = file;
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
    for (size_t i = 0; i < dimension; ++i) {
        Log::Printf(" dimensionMask:%d dim:%s\n", m_dimMask[i] ? 1 : 0, m_dimLabels[i].c_str());
    }

    if (const char* name = m_binaryDataFile->Attribute("filename")) m_binaryDataFileName = name;
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
    if (!m_doc->SaveFile(path)) {
        Log::Printf("Error in saving: %s file\n", path);
        return false;
    }
    return true;
}

}  // namespace Zelvo
