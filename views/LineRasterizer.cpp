#include "LineRasterizer.h"

#include <algorithm>
#include <cmath>

namespace Zelvo {

namespace {

// x * a / 255 on all four 8-bit channels at once, rounded as QPainter's raster engine does.
inline unsigned ByteMul(unsigned x, unsigned a)
{
    unsigned t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = x + ((x >> 8) & 0xff00ffu) + 0x800080u;
    x &= 0xff00ff00u;
    return x | t;
}

inline void Blend(unsigned& destination, unsigned colour, unsigned coverage)
{
    if (coverage == 0) return;
    const unsigned source = coverage >= 255 ? colour : ByteMul(colour, coverage);
    const unsigned alpha = source >> 24;
    destination = alpha == 255 ? source : source + ByteMul(destination, 255 - alpha);
}

// Floor for values well inside the int range (the clipped coordinates are).
inline int FastFloor(double v)
{
    const int i = static_cast<int>(v);
    return i - (v < i ? 1 : 0);
}

enum Outside { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

struct Box {
    double left, top, right, bottom;
    int Code(double x, double y) const
    {
        return (x < left ? kLeft : x > right ? kRight : 0) | (y < top ? kTop : y > bottom ? kBottom : 0);
    }
};

// Cohen-Sutherland: shortens the segment to the box; false when nothing of it is inside. A cut
// puts the point exactly on the edge, so far-away ends lose no precision.
bool ClipToBox(double& x0, double& y0, double& x1, double& y1, const Box& box)
{
    int c0 = box.Code(x0, y0), c1 = box.Code(x1, y1);
    for (int round = 0; round < 8; ++round) {
        if (!(c0 | c1)) return true;
        if (c0 & c1) return false;
        const int c = c0 ? c0 : c1;
        double x, y;
        if (c & kTop) {
            x = x0 + (x1 - x0) * (box.top - y0) / (y1 - y0);
            y = box.top;
        } else if (c & kBottom) {
            x = x0 + (x1 - x0) * (box.bottom - y0) / (y1 - y0);
            y = box.bottom;
        } else if (c & kRight) {
            y = y0 + (y1 - y0) * (box.right - x0) / (x1 - x0);
            x = box.right;
        } else {
            y = y0 + (y1 - y0) * (box.left - x0) / (x1 - x0);
            x = box.left;
        }
        if (c == c0) {
            x0 = x;
            y0 = y;
            c0 = box.Code(x0, y0);
        } else {
            x1 = x;
            y1 = y;
            c1 = box.Code(x1, y1);
        }
    }
    return false;
}

}  // namespace

LineRasterizer::LineRasterizer(QImage& target, float width)
    : m_bits(reinterpret_cast<unsigned*>(target.bits())),
      m_width(target.width()),
      m_height(target.height()),
      m_stride(static_cast<int>(target.bytesPerLine() / 4)),
      m_halfWidth(0.5f * width)
{
}

void LineRasterizer::DrawLine(float x0, float y0, float x1, float y1, unsigned premultiplied)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    if ((premultiplied >> 24) == 0 || m_width <= 0 || m_height <= 0) return;
    double ax = x0, ay = y0, bx = x1, by = y1;
    // Clip with a margin wider than the line, so clipping never shortens what shows.
    const double margin = m_halfWidth * 2.0 + 2.0;
    if (!ClipToBox(ax, ay, bx, by, {-margin, -margin, m_width + margin, m_height + margin})) return;
    if (std::fabs(bx - ax) >= std::fabs(by - ay)) {
        if (bx == ax) return;
        if (bx < ax) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        m_walk<false>(ax, ay, bx, by, premultiplied);
    } else {
        if (by < ay) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        m_walk<true>(ay, ax, by, bx, premultiplied);
    }
}

template <bool Steep>
void LineRasterizer::m_walk(double a0, double b0, double a1, double b1, unsigned colour)
{
    // a is the major axis (a0 < a1), b the minor one; one step per pixel column along a. In each
    // column the line covers [centre - half, centre + half] across: a partial pixel at each end
    // and whole pixels between them. Only the end columns are partly covered along a.
    const double slope = (b1 - b0) / (a1 - a0);
    const float half = static_cast<float>(m_halfWidth * std::sqrt(1.0 + slope * slope));
    const int majorSize = Steep ? m_height : m_width;
    const int minorSize = Steep ? m_width : m_height;
    const int first = std::max(0, FastFloor(a0));
    const int last = std::min(majorSize - 1, FastFloor(std::ceil(a1)) - 1);
    const size_t majorStep = Steep ? static_cast<size_t>(m_stride) : 1;
    const size_t minorStep = Steep ? 1 : static_cast<size_t>(m_stride);
    const float slopeF = static_cast<float>(slope);
    const float centreAtZero = static_cast<float>(b0 + slope * (0.5 - a0));  // centre of column 0
    for (int i = first; i <= last; ++i) {
        float along = 1.0f, centre = centreAtZero + slopeF * static_cast<float>(i);
        if (i < a0 + 1 || i + 1 > a1) {
            const double lo = std::max<double>(i, a0), hi = std::min<double>(i + 1, a1);
            along = static_cast<float>(hi - lo);
            if (along <= 0) continue;
            centre = static_cast<float>(b0 + slope * (0.5 * (lo + hi) - a0));
        }
        const float top = centre - half, bottom = centre + half;
        const int jTop = FastFloor(top), jBottom = FastFloor(bottom);
        const float scale = along * 255.0f;
        unsigned* column = m_bits + static_cast<size_t>(i) * majorStep;
        if (jTop == jBottom) {
            if (jTop >= 0 && jTop < minorSize)
                Blend(column[static_cast<size_t>(jTop) * minorStep], colour,
                      static_cast<unsigned>((bottom - top) * scale + 0.5f));
            continue;
        }
        if (jTop >= 0 && jTop < minorSize)
            Blend(column[static_cast<size_t>(jTop) * minorStep], colour,
                  static_cast<unsigned>((static_cast<float>(jTop + 1) - top) * scale + 0.5f));
        const unsigned full = static_cast<unsigned>(scale + 0.5f);
        const int innerFirst = std::max(jTop + 1, 0), innerLast = std::min(jBottom - 1, minorSize - 1);
        for (int j = innerFirst; j <= innerLast; ++j) Blend(column[static_cast<size_t>(j) * minorStep], colour, full);
        if (jBottom >= 0 && jBottom < minorSize)
            Blend(column[static_cast<size_t>(jBottom) * minorStep], colour,
                  static_cast<unsigned>((bottom - static_cast<float>(jBottom)) * scale + 0.5f));
    }
}

}  // namespace Zelvo
