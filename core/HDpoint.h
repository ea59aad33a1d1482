#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace Zelvo {

// One point's coordinates, handed to the distance functor and the embedding library.
template <typename T>
class HDpoint {
public:
    HDpoint() = default;
    explicit HDpoint(std::vector<T> values) : m_values(std::move(values)) {}
    HDpoint(const T* values, size_t count) : m_values(values, values + count) {}

    size_t size() const { return m_values.size(); }
    bool empty() const { return m_values.empty(); }
    T& operator[](size_t i) { return m_values[i]; }
    const T& operator[](size_t i) const { return m_values[i]; }
    const T* data() const { return m_values.data(); }
    std::vector<T>& values() { return m_values; }
    const std::vector<T>& values() const { return m_values; }

private:
    std::vector<T> m_values;
};

}  // namespace Zelvo
