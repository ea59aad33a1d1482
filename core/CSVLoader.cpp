#include "CSVLoader.h"

#include "Log.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string_view>

namespace {

bool ReadWholeFile(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    text.resize(static_cast<size_t>(size));
    in.read(text.data(), size);
    return static_cast<std::streamoff>(in.gcount()) == size;
}

// Calls fn(line) for each line of the text; a final line end adds no empty line. The
// carriage return of a CRLF line end is cut off, a leading byte-order mark too.
template <typename Fn>
void ForEachLine(const std::string& text, Fn fn)
{
    size_t start = CSVLoader::ByteOrderMarkLength(text);
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        fn(line);
        start = next;
    }
}

// Splits at the separator: a separator at the very end yields no further token, two in a
// row yield an empty one.
template <typename Fn>
void ForEachToken(std::string_view line, char separator, Fn fn)
{
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(separator, start);
        if (end == std::string_view::npos) end = line.size();
        if (!fn(line.substr(start, end - start))) return;
        start = end + 1;
    }
}

bool IsMissing(std::string_view token)
{
    for (char c : token)
        if (c != ' ') return false;
    return true;  // empty or spaces only
}

const char* SkipSpace(const char* p, const char* end)
{
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

}  // namespace

CSVLoader::CSVLoader() = default;

float CSVLoader::ParseFloat(const char* begin, const char* end)
{
    float value = 0.0f;
    ReadFloat(begin, end, &value);
    return value;
}

int CSVLoader::DecimalExponent(const char* begin, const char* end)
{
    long long integerDigits = 0;
    long long firstNonZero = -1;  // among all digits of the mantissa
    long long digitIndex = 0;
    bool point = false;
    const char* p = begin;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
            continue;
        }
        if (firstNonZero < 0 && *p != '0') firstNonZero = digitIndex;
        ++digitIndex;
        if (!point) ++integerDigits;
    }
    if (firstNonZero < 0) return std::numeric_limits<int>::min();  // the number is zero
    long long exponent = 0;
    if (p < end) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        // Saturates: anything beyond a billion is out of every range anyway.
        for (; p < end && exponent < 1000000000LL; ++p) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    const long long power = integerDigits - 1 - firstNonZero + exponent;
    return static_cast<int>(std::clamp<long long>(power, -2000000000LL, 2000000000LL));
}

bool CSVLoader::ReadFloat(const char* begin, const char* end, float* out)
{
    *out = 0.0f;
    // Collect the characters stream extraction would take: [sign] digits [. digits]
    // [e|E [sign] digits]. The collected text must then be a whole number, else 0.
    const char* p = SkipSpace(begin, end);
    const char* start = p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* mantissa = p;
    bool digits = false;
    while (p < end && std::isdigit(static_cast<unsigned char>(*p))) { ++p; digits = true; }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && std::isdigit(static_cast<unsigned char>(*p))) { ++p; digits = true; }
    }
    bool exponentComplete = true;
    if (digits && p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        exponentComplete = false;
        while (p < end && std::isdigit(static_cast<unsigned char>(*p))) { ++p; exponentComplete = true; }
    }
    if (!digits || !exponentComplete || p == start) return false;
    float value = 0.0f;
    const auto result = std::from_chars(mantissa, p, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Stream extraction stores the largest float on overflow and 0 on underflow; which
        // one is decided by the size of the number, not by the sign of its exponent.
        value = CSVLoader::DecimalExponent(mantissa, p) > 0 ? std::numeric_limits<float>::max() : 0.0f;
    } else if (result.ec != std::errc() || result.ptr != p) {
        return false;
    }
    *out = negative ? -value : value;
    return true;
}

int CSVLoader::ParseInt(const char* begin, const char* end)
{
    const char* p = SkipSpace(begin, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* digitsStart = p;
    while (p < end && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (p == digitsStart) return 0;
    uint64_t magnitude = 0;
    const auto result = std::from_chars(digitsStart, p, magnitude);
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int>::max()) + 1 : uint64_t(std::numeric_limits<int>::max());
    if (result.ec != std::errc() || magnitude > limit)
        return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    return negative ? static_cast<int>(-static_cast<int64_t>(magnitude)) : static_cast<int>(magnitude);
}

size_t CSVLoader::ByteOrderMarkLength(std::string_view text)
{
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

bool CSVLoader::LoadCSVFile(const char* path, char separator, bool hasHeader)
{
    m_columnCount = 0;
    m_rowCount = 0;
    std::string text;
    if (!ReadWholeFile(path, text)) {
        Zelvo::Log::Printf("Error in reading: %s\n", path);
        return false;
    }
    Zelvo::Log::Printf("Loading file: %s\n", path);
    m_values.clear();
    m_header.clear();
    // A rough guess of the value count saves most reallocations on big files.
    m_values.reserve(text.size() / 8);

    bool firstLine = true;
    int lineNumber = 0;
    // Fields of kept rows that hold no number reach the data as 0; the user hears once per file
    // how many there were.
    long long notNumbers = 0;
    std::string firstNotNumber;
    int firstNotNumberLine = 0;
    int firstNotNumberColumn = 0;
    // Rows dropped for a missing field or another number of fields, told once per file too.
    struct Skipped {
        long long count = 0;
        int firstLine = 0;
        std::string firstText;
        void Add(int lineNumber, std::string_view line)
        {
            if (count++ == 0) {
                firstLine = lineNumber;
                firstText.assign(line.data(), std::min<size_t>(line.size(), 60));
            }
        }
    } missingRows, widthRows;
    std::vector<float> row;
    ForEachLine(text, [&](std::string_view line) {
        ++lineNumber;
        if (firstLine && hasHeader) {
            firstLine = false;
            // Indented: a label is data, and a line that starts with one could read as a report
            // of this program ("Error rate, ...").
            std::string headerOutput = "  ";
            ForEachToken(line, separator, [&](std::string_view token) {
                std::string label;
                // A NUL would cut the label short once it is written into the description.
                for (char c : token)
                    if (c != '\'' && c != '"' && c != '\0') label.push_back(c);
                headerOutput += label + ", ";
                m_header.push_back(std::move(label));
                ++m_columnCount;
                return true;
            });
            Zelvo::Log::Write(headerOutput + "\n");
            return;
        }
        const bool widthFromThisLine = firstLine;
        firstLine = false;
        row.clear();
        bool missing = false;
        int tokens = 0;
        // Counted only once the row is kept: a skipped row brings no 0 into the data.
        int rowNotNumbers = 0;
        std::string_view rowFirstNotNumber;
        int rowFirstNotNumberColumn = 0;
        ForEachToken(line, separator, [&](std::string_view token) {
            ++tokens;
            if (IsMissing(token)) {
                missing = true;
                return widthFromThisLine;  // keep counting the table's width on its first line
            }
            if (missing) return true;
            float value = 0.0f;
            if (!ReadFloat(token.data(), token.data() + token.size(), &value) && rowNotNumbers++ == 0) {
                rowFirstNotNumber = token;
                rowFirstNotNumberColumn = tokens;
            }
            row.push_back(value);
            return true;
        });
        if (widthFromThisLine) m_columnCount = tokens;
        if (missing) {
            Zelvo::Log::Printf("missingData: %.*s\n", static_cast<int>(line.size()), line.data());
            missingRows.Add(lineNumber, line);
            return;
        }
        if (row.empty()) return;
        if (static_cast<int>(row.size()) != m_columnCount) {
            Zelvo::Log::Printf("columnCountMismatch: %.*s\n", static_cast<int>(line.size()), line.data());
            widthRows.Add(lineNumber, line);
            return;
        }
        m_values.insert(m_values.end(), row.begin(), row.end());
        ++m_rowCount;
        if (rowNotNumbers > 0 && notNumbers == 0) {
            firstNotNumber.assign(rowFirstNotNumber.data(), std::min<size_t>(rowFirstNotNumber.size(), 40));
            firstNotNumberLine = lineNumber;
            firstNotNumberColumn = rowFirstNotNumberColumn;
        }
        notNumbers += rowNotNumbers;
    });
    Zelvo::Log::Write("\n");
    if (notNumbers > 0) {
        Zelvo::Log::Printf("Warning: %lld fields of %s are not numbers and read as 0; the first is \"%s\" in line %d, column %d\n",
                           notNumbers, path, firstNotNumber.c_str(), firstNotNumberLine, firstNotNumberColumn);
    }
    if (missingRows.count > 0) {
        Zelvo::Log::Printf("Warning: %lld rows of %s have missing data and were skipped; "
                           "the first is line %d: \"%s\"\n",
                           missingRows.count, path, missingRows.firstLine, missingRows.firstText.c_str());
    }
    if (widthRows.count > 0) {
        Zelvo::Log::Printf("Warning: %lld rows of %s do not have %d fields and were skipped; "
                           "the first is line %d: \"%s\"\n",
                           widthRows.count, path, m_columnCount, widthRows.firstLine, widthRows.firstText.c_str());
    }
    return true;
}

bool CSVLoader::LoadLabelFile(const char* path)
{
    m_columnCount = 0;
    m_rowCount = 0;
    m_labels.clear();
    std::string text;
    if (!ReadWholeFile(path, text)) {
        Zelvo::Log::Printf("Error in reading file: %s\n", path);
        return false;
    }
    ForEachLine(text, [&](std::string_view line) {
        m_labels.push_back(ParseInt(line.data(), line.data() + line.size()));
    });
    return true;
}

float CSVLoader::GetEntryAttribute(int row, int column) const
{
    return m_values[static_cast<size_t>(row) * m_columnCount + column];
}

std::vector<float> CSVLoader::TakeValues()
{
    std::vector<float> taken = std::move(m_values);
    m_values.clear();
    m_rowCount = 0;
    return taken;
}
