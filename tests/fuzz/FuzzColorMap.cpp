// The colour map: a file that loads gives one entry per Point element, each channel as atof
// reads it (narrowed to float; decimal only), positions spread over [0, 1]; a file that does not load
// gives the default ramp of 256 entries.
#include "FuzzSupport.h"
#include "xmlColorMap.h"

#include <tinyxml2.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// atof narrowed to float; the map reads decimal numbers only, so a hexadecimal one stops
// after its leading 0.
float AtofAsFloat(const char* text)
{
    if (!text) return 0.0f;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return 0.0f;
    const double value = std::atof(text);
    if (std::fabs(value) > double(std::numeric_limits<float>::max())) return value > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(value);
}

bool Same(float a, float b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    std::setlocale(LC_NUMERIC, "C");
    const std::string path = FuzzSupport::WriteFile("map.xml", data, size);
    xmlColorMap map;
    if (!map.loadColorMap(path.c_str())) {
        FUZZ_CHECK(map.GetPointCount() == 256);
        return 0;
    }
    tinyxml2::XMLDocument document;
    FUZZ_CHECK(document.LoadFile(path.c_str()) == tinyxml2::XML_SUCCESS);
    size_t index = 0;
    if (const tinyxml2::XMLElement* colorMap = document.FirstChildElement("ColorMap")) {
        for (const tinyxml2::XMLElement* point = colorMap->FirstChildElement("Point"); point;
             point = point->NextSiblingElement("Point"), ++index) {
            FUZZ_CHECK(index < map.GetPointCount());
            const RgbColorf& entry = map.GetPoints()[index];
            FUZZ_CHECK(Same(entry.r, AtofAsFloat(point->Attribute("r"))));
            FUZZ_CHECK(Same(entry.g, AtofAsFloat(point->Attribute("g"))));
            FUZZ_CHECK(Same(entry.b, AtofAsFloat(point->Attribute("b"))));
            FUZZ_CHECK(Same(entry.o, AtofAsFloat(point->Attribute("o"))));
            FUZZ_CHECK(std::isnan(entry.x) || (entry.x >= 0.0f && entry.x <= 1.0f));
        }
    }
    FUZZ_CHECK(index == map.GetPointCount());
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, -1.0f}) map.getColor(t);
    return 0;
}
