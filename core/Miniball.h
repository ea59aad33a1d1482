#pragma once

#include <cstddef>
#include <vector>

namespace Miniball {

// Smallest enclosing ball of n points in d dimensions, in float arithmetic: pivoting over
// the whole set, move-to-front over a short list of support candidates, and the support
// ball updated incrementally (one orthogonalised direction per support point).
//
// The points are read in place from one contiguous array, point after point; the array
// must outlive the object and stay unchanged.
class Miniball {
public:
    Miniball(const float* points, int pointCount, int dimension);

    // Squared radius of the ball; -1 for an empty point set.
    float squared_radius() const { return m_currentSqrR; }
    // Centre of the ball (d floats); the origin for an empty point set.
    const float* center() const { return m_currentC; }
    // Number of points on the boundary that determine the ball.
    int support_size() const { return m_ssize; }

private:
    // Entry of the candidate list L: a reference to a point, linked both ways.
    struct Entry {
        int point;
        int prev;
        int next;
    };

    const float* row(int point) const { return m_points + size_t(point) * size_t(m_d); }
    float excess(const float* p) const;

    void pivot_mb();
    void mtf_mb(int end);
    bool push(const float* p);
    void pop() { --m_fsize; }

    void unlink(int entry);
    void link_front(int entry);
    int list_begin() const { return m_entries[kHead].next; }

    static constexpr int kHead = 0;  // sentinel entry: begin and end of L

    const float* m_points;
    int m_n;
    int m_d;

    std::vector<Entry> m_entries;  // L, entry 0 is the sentinel
    int m_supportEnd = kHead;       // entries before this one hold the support set
    int m_fsize = 0;
    int m_ssize = 0;

    const float* m_currentC = nullptr;
    float m_currentSqrR = -1.0f;

    // Rows of d floats, one per support-set size, stored contiguously.
    std::vector<float> m_c;      // (d + 1) x d centres
    std::vector<float> m_sqrR;   // d + 1
    std::vector<float> m_q0;     // d
    std::vector<float> m_z;      // d + 1
    std::vector<float> m_f;      // d + 1
    std::vector<float> m_v;      // (d + 1) x d
    std::vector<float> m_a;      // (d + 1) x d
};

}  // namespace Miniball
