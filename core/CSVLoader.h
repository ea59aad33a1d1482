#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reads comma-separated tables of numbers (the CSV import, subspace basis files) and label
// files of one integer per line.
//
// Every kept row has exactly the table's column count of values (the header's width, or the
// width of the first line of a table without header); rows with an empty field or with a
// different number of values are dropped with a line on standard output, so later points
// never shift and values = rows x columns always holds. A carriage return at the end of a
// line (files written on Windows) is not part of the last field.
class CSVLoader {
public:
    CSVLoader();

    bool LoadCSVFile(const char* path, char separator, bool hasHeader);
    bool LoadLabelFile(const char* path);
    // values[row * columns + column]; the caller keeps row and column in range.
    float GetEntryAttribute(int row, int column) const;

    int GetColumnCount() const { return m_columnCount; }
    int GetRowCount() const { return m_rowCount; }
    const std::vector<std::string>& GetHeader() const { return m_header; }
    const std::vector<float>& GetValues() const { return m_values; }
    // Hands the values over without a copy; the loader keeps an empty table.
    std::vector<float> TakeValues();
    const std::vector<int>& GetLabels() const { return m_labels; }

    // Reads a float the way stream extraction (>>) does on the token: leading white space
    // skipped, the longest numeric prefix read, 0 when there is none; no inf, nan or hex.
    static float ParseFloat(const char* begin, const char* end);
    // The same; false when the token starts with no number (the value is then 0).
    static bool ReadFloat(const char* begin, const char* end, float* value);
    // The power of ten of the first non-zero digit of an unsigned number text (digits, an
    // optional point, an optional exponent): decides overflow from underflow when a
    // conversion is out of range. The smallest int for a zero.
    static int DecimalExponent(const char* begin, const char* end);
    // Reads an int the way stream extraction does; 0 when the text starts with no number.
    static int ParseInt(const char* begin, const char* end);
    // 3 when text starts with a UTF-8 byte-order mark (spreadsheet programs write one), else
    // 0. The mark belongs to no line: every file reader skips it.
    static size_t ByteOrderMarkLength(std::string_view text);

private:
    int m_columnCount = 0;
    int m_rowCount = 0;
    std::vector<std::string> m_header;
    std::vector<float> m_values;
    std::vector<int> m_labels;
};
