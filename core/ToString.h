#pragma once

#include <sstream>
#include <string>

// Decimal text of a value, used for file names and XML element names.
template <typename T>
std::string ToString(const T& value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}
