#include "xmlColorMap.h"

#include "CSVLoader.h"
#include "Log.h"
#include "WideXMLDocument.h"

#include <tinyxml2.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// atof semantics (leading blanks, longest numeric prefix, 0 when none) in the C locale
// whatever locale the application has set.
float ParseFloat(const char* text)
{
    if (!text)
        return 0.0f;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f')
        ++text;
    if (*text == '+')
        ++text;
    const bool negative = *text == '-';
    const char* digits = negative ? text + 1 : text;
    double value = 0.0;
    const auto result = std::from_chars(text, text + std::strlen(text), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value untouched here; atof gives infinity or zero, chosen by
        // the size of the number (the position of its first digit), not its exponent's sign.
        const float magnitude = CSVLoader::DecimalExponent(digits, result.ptr) > 0 ? HUGE_VALF : 0.0f;
        return negative ? -magnitude : magnitude;
    }
    if (result.ec != std::errc())
        return 0.0f;
    // atof's double narrowed to float: beyond the largest float it is infinite.
    if (std::fabs(value) > double(std::numeric_limits<float>::max()))
        return negative ? -HUGE_VALF : HUGE_VALF;
    return float(value);
}

float FloatAttribute(const tinyxml2::XMLElement* element, const char* name)
{
    return ParseFloat(element->Attribute(name));  // a missing attribute reads as 0
}

uint32_t ToByte(float channel)
{
    const double scaled = double(channel) * 255.0;
    if (!(scaled > 0.0))
        return 0;  // also NaN
    if (scaled >= 255.0)
        return 255;
    return uint32_t(scaled);
}

}  // namespace

bool xmlColorMap::loadColorMap(const char* path)
{
    const std::string file = path ? path : "";
    const size_t dot = file.rfind('.');
    m_name = (dot == std::string::npos) ? file : file.substr(0, dot);
    m_points.clear();

    // Refuses, among others, elements with thousands of attributes, which the parser's
    // duplicate check would take minutes over.
    Zelvo::WideXMLDocument wide({});
    const tinyxml2::XMLDocument& document = wide.Document();
    if (!path || !wide.LoadFile(path)) {
        Zelvo::Log::Printf("Could not load XML File %s!\n", file.c_str());
        m_installDefaultRamp();
        return false;
    }

    if (const tinyxml2::XMLElement* colorMap = document.FirstChildElement("ColorMap")) {
        for (const tinyxml2::XMLElement* point = colorMap->FirstChildElement("Point"); point;
             point = point->NextSiblingElement("Point")) {
            m_points.push_back({FloatAttribute(point, "x"), FloatAttribute(point, "r"),
                                FloatAttribute(point, "g"), FloatAttribute(point, "b"),
                                FloatAttribute(point, "o")});
        }
    }
    Zelvo::Log::Printf("==%s XML ColorMapSize: %ld\n", file.c_str(), long(m_points.size()));

    if (!m_points.empty()) {
        float smallest = m_points.front().x;
        float largest = m_points.front().x;
        for (const RgbColorf& p : m_points) {
            smallest = std::fmin(smallest, p.x);
            largest = std::fmax(largest, p.x);
        }
        const float range = largest - smallest;
        // A single position (or an unusable range) has nothing to spread; no lookup reads x.
        const bool usable = range > 0.0f && std::isfinite(range);
        for (RgbColorf& p : m_points)
            p.x = usable ? (p.x - smallest) / range : 0.0f;
    }
    return true;
}

void xmlColorMap::m_installDefaultRamp()
{
    const float s = 0.00390625f;
    m_points.clear();
    m_points.reserve(256);
    for (int i = 0; i < 256; ++i) {
        const float fi = float(i);
        m_points.push_back({fi * s, fi * 0.36470503f * s + 0.003922f, fi * 0.305882f * s + 0.003922f,
                            fi * 0.37647003f * s + 0.258824f, 1.0f});
    }
}

size_t xmlColorMap::m_indexFor(float t) const
{
    const float last = float(m_points.size() - 1);
    const float position = last * t;
    if (!(position > 0.0f))
        return 0;
    if (position >= last)
        return m_points.size() - 1;
    return size_t(position);
}

RgbColorf xmlColorMap::getColorf(float t) const
{
    if (m_points.empty())
        return {0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    if (!std::isfinite(t))
        t = 0.0f;
    return m_points[m_indexFor(t)];
}

uint32_t xmlColorMap::getColor(float t) const
{
    if (m_points.empty())
        return 0xFF000000u;
    if (!std::isfinite(t))
        t = 0.0f;
    t = std::fmax(t, 0.0f);
    if (double(t) > 1.00001)
        return 0xFF000000u;
    const RgbColorf& c = m_points[m_indexFor(std::fmin(t, 1.0f))];
    return ToByte(c.o) << 24 | ToByte(c.b) << 16 | ToByte(c.g) << 8 | ToByte(c.r);
}
