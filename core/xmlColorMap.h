#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of a colour table: position and red, green, blue, opacity in [0, 1].
struct RgbColorf {
    float x;
    float r;
    float g;
    float b;
    float o;
};

// A colour table read from a colour-map XML file (<ColorMap> holding <Point x r g b o/>).
// A value t in [0, 1] picks the entry at (count - 1) * t, truncated; entries are used in
// file order and never interpolated.
class xmlColorMap {
public:
    xmlColorMap() = default;

    // Replaces the entries with the file's; on failure installs the default ramp and
    // returns false. Positions are rescaled to [0, 1].
    bool loadColorMap(const char* path);

    // The entry for t. Non-finite t reads as 0; an empty table gives opaque black.
    RgbColorf getColorf(float t) const;
    // The entry for t packed as opacity << 24 | blue << 16 | green << 8 | red; t above
    // 1.00001 and an empty table give opaque black (0xFF000000).
    uint32_t getColor(float t) const;

    const std::vector<RgbColorf>& GetPoints() const { return m_points; }
    size_t GetPointCount() const { return m_points.size(); }
    // Path of the last loaded file without its extension.
    const std::string& GetName() const { return m_name; }
    // Where the named colour-map files live; set by the owner.
    const std::string& GetDirectory() const { return m_directory; }
    void SetDirectory(const std::string& directory) { m_directory = directory; }

private:
    void m_installDefaultRamp();
    size_t m_indexFor(float t) const;

    std::vector<RgbColorf> m_points;
    std::string m_name;
    std::string m_directory;
};
