#include "Miniball.h"

namespace Miniball {

namespace {

// Below this fraction of the squared radius a new support direction counts as degenerate.
const float kEps = 1.4210855e-14f;  // (float epsilon)^2

// Squared distance of two rows. Eight running sums keep the loop in vector registers.
inline float SquaredDistance(const float* p, const float* q, int d)
{
    float s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int j = 0;
    for (; j + 8 <= d; j += 8) {
        for (int k = 0; k < 8; ++k) {
            const float diff = p[j + k] - q[j + k];
            s[k] += diff * diff;
        }
    }
    float sum = ((s[0] + s[4]) + (s[1] + s[5])) + ((s[2] + s[6]) + (s[3] + s[7]));
    for (; j < d; ++j) {
        const float diff = p[j] - q[j];
        sum += diff * diff;
    }
    return sum;
}

inline float Dot(const float* p, const float* q, int d)
{
    float sum = 0.0f;
    for (int j = 0; j < d; ++j)
        sum += p[j] * q[j];
    return sum;
}

}  // namespace

Miniball::Miniball(const float* points, int pointCount, int dimension)
    : m_points(points), m_n(pointCount > 0 ? pointCount : 0), m_d(dimension > 0 ? dimension : 0)
{
    const size_t d = size_t(m_d);
    m_c.assign((d + 1) * d, 0.0f);
    m_sqrR.assign(d + 1, 0.0f);
    m_q0.assign(d, 0.0f);
    m_z.assign(d + 1, 0.0f);
    m_f.assign(d + 1, 0.0f);
    m_v.assign((d + 1) * d, 0.0f);
    m_a.assign(d, 0.0f);  // the coefficients of one push at a time
    m_entries.push_back({-1, kHead, kHead});

    m_currentC = m_c.data();  // the origin
    m_currentSqrR = -1.0f;
    if (m_n > 0)
        pivot_mb();
}

float Miniball::excess(const float* p) const
{
    return SquaredDistance(p, m_currentC, m_d) - m_currentSqrR;
}

void Miniball::unlink(int entry)
{
    Entry& e = m_entries[size_t(entry)];
    m_entries[size_t(e.prev)].next = e.next;
    m_entries[size_t(e.next)].prev = e.prev;
}

void Miniball::link_front(int entry)
{
    Entry& head = m_entries[kHead];
    Entry& e = m_entries[size_t(entry)];
    e.prev = kHead;
    e.next = head.next;
    m_entries[size_t(head.next)].prev = entry;
    head.next = entry;
}

void Miniball::pivot_mb()
{
    float old;
    do {
        old = m_currentSqrR;

        // The point farthest outside the current ball (first one on ties).
        float maxExcess = 0.0f;
        int pivot = 0;
        for (int k = 0; k < m_n; ++k) {
            const float e = excess(row(k));
            if (e > maxExcess) {
                maxExcess = e;
                pivot = k;
            }
        }
        if (!(maxExcess > 0.0f))
            continue;

        bool inSupport = false;
        for (int e = list_begin(); e != m_supportEnd; e = m_entries[size_t(e)].next) {
            if (m_entries[size_t(e)].point == pivot) {
                inSupport = true;
                break;
            }
        }
        if (inSupport || !push(row(pivot)))
            continue;

        mtf_mb(m_supportEnd);
        pop();

        // Put a reference to the pivot at the front; keep at most d + 1 support candidates.
        m_entries.push_back({pivot, kHead, kHead});
        link_front(int(m_entries.size() - 1));
        int before = 0;
        for (int e = list_begin(); e != m_supportEnd; e = m_entries[size_t(e)].next)
            ++before;
        if (before == m_d + 2)
            m_supportEnd = m_entries[size_t(m_supportEnd)].prev;
    } while (m_currentSqrR > old);
}

void Miniball::mtf_mb(int end)
{
    m_supportEnd = list_begin();
    if (m_fsize == m_d + 1)
        return;
    for (int i = list_begin(); i != end;) {
        const int j = i;
        i = m_entries[size_t(i)].next;  // before j may move
        const float* p = row(m_entries[size_t(j)].point);
        if (excess(p) > 0.0f && push(p)) {
            mtf_mb(j);
            pop();
            if (m_supportEnd == j)
                m_supportEnd = m_entries[size_t(j)].next;
            unlink(j);
            link_front(j);
        }
    }
}

bool Miniball::push(const float* p)
{
    const int d = m_d;
    const size_t k = size_t(m_fsize);
    float* ck = m_c.data() + k * size_t(d);

    if (k == 0) {
        for (int i = 0; i < d; ++i)
            m_q0[size_t(i)] = ck[i] = p[i];
        m_sqrR[0] = 0.0f;
    } else {
        float* vk = m_v.data() + k * size_t(d);
        for (int i = 0; i < d; ++i)
            vk[i] = p[i] - m_q0[size_t(i)];

        // Remove the components along the earlier directions.
        for (size_t i = 1; i < k; ++i)
            m_a[i] = (2.0f / m_z[i]) * Dot(m_v.data() + i * size_t(d), vk, d);
        for (size_t i = 1; i < k; ++i) {
            const float* vi = m_v.data() + i * size_t(d);
            const float ai = m_a[i];
            for (int j = 0; j < d; ++j)
                vk[j] -= ai * vi[j];
        }

        m_z[k] = 2.0f * Dot(vk, vk, d);
        if (m_z[k] < kEps * m_currentSqrR)
            return false;  // p adds no new direction

        const float* cPrev = ck - d;
        const float e = SquaredDistance(p, cPrev, d) - m_sqrR[k - 1];
        m_f[k] = e / m_z[k];
        for (int i = 0; i < d; ++i)
            ck[i] = cPrev[i] + m_f[k] * vk[i];
        m_sqrR[k] = m_sqrR[k - 1] + e * m_f[k] / 2.0f;
    }
    m_currentC = ck;
    m_currentSqrR = m_sqrR[k];
    m_ssize = m_fsize = int(k) + 1;
    return true;
}

}  // namespace Miniball
