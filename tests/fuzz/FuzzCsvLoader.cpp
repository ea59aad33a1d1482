// The CSV loader and its number parser: every table read keeps values = rows x columns (and
// one header label per column), and each token reads as stream extraction reads it.
#include "CSVLoader.h"
#include "FuzzSupport.h"

#include <cmath>
#include <locale>
#include <sstream>
#include <string>

namespace {

void CheckParserAgreesWithStreams(const std::string& token)
{
    std::istringstream in(token);
    in.imbue(std::locale::classic());
    float streamed = 0.0f;
    in >> streamed;  // 0 when nothing can be read, the largest float on overflow
    const float parsed = CSVLoader::ParseFloat(token.data(), token.data() + token.size());
    FUZZ_CHECK(parsed == streamed || (std::isnan(parsed) && std::isnan(streamed)));
}

void CheckTable(const char* path, bool hasHeader)
{
    CSVLoader loader;
    if (!loader.LoadCSVFile(path, ',', hasHeader)) return;
    const long long rows = loader.GetRowCount();
    const long long columns = loader.GetColumnCount();
    FUZZ_CHECK(rows >= 0 && columns >= 0);
    FUZZ_CHECK(static_cast<long long>(loader.GetValues().size()) == rows * columns);
    if (hasHeader) FUZZ_CHECK(static_cast<long long>(loader.GetHeader().size()) == columns);
    for (const std::string& label : loader.GetHeader())
        FUZZ_CHECK(label.find_first_of(std::string("'\"\0", 3)) == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Every field of the first line (up to 64 fields) against stream extraction.
    size_t start = 0;
    for (int field = 0; field < 64 && start <= text.size(); ++field) {
        const size_t end = text.find_first_of(",\n", start);
        CheckParserAgreesWithStreams(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos || text[end] == '\n') break;
        start = end + 1;
    }
    const std::string path = FuzzSupport::WriteFile("table.csv", data, size);
    CheckTable(path.c_str(), true);
    CheckTable(path.c_str(), false);
    return 0;
}
