#include "LineRasterizer.h"

#include <algorithm>
#include <cmath>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define TOLVEMARK_WIDE_LINES 1
#define TOLVEMARK_TARGET_AVX2 __attribute__((target("avx2")))
#endif

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

// Where the line crosses pixel column i of the major axis: across it from top to bottom, and
// 255 times the part of the column's length it covers. False when it misses the column.
struct Crossing {
    float top, bottom, scale;
};

struct Line {
    double a0, b0, a1, slope;
    float slopeF, centreAtZero, half;

    bool At(int i, Crossing& c) const
    {
        float along = 1.0f, centre = centreAtZero + slopeF * static_cast<float>(i);
        if (i < a0 + 1 || i + 1 > a1) {
            const double lo = std::max<double>(i, a0), hi = std::min<double>(i + 1, a1);
            along = static_cast<float>(hi - lo);
            if (along <= 0) return false;
            centre = static_cast<float>(b0 + slope * (0.5 * (lo + hi) - a0));
        }
        c.top = centre - half;
        c.bottom = centre + half;
        c.scale = along * 255.0f;
        return true;
    }
};

// The target image, the rows that may be written and the pen, as the walks read them.
struct Canvas {
    unsigned* bits;
    int width, height;
    int stride;  // in pixels
    int firstRow, lastRow;
    float halfWidth;

    // The pixel columns (major) and the pixels across them (minor) that may be written.
    template <bool Steep>
    int MajorFirst() const
    {
        return Steep ? firstRow : 0;
    }
    template <bool Steep>
    int MajorLast() const
    {
        return Steep ? lastRow : width - 1;
    }
    template <bool Steep>
    int MinorFirst() const
    {
        return Steep ? 0 : firstRow;
    }
    template <bool Steep>
    int MinorLast() const
    {
        return Steep ? width - 1 : lastRow;
    }
};

bool HaveWideInstructions()
{
#ifdef TOLVEMARK_WIDE_LINES
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
#else
    return false;
#endif
}

// Walks the line with x as the major axis; for steep lines the caller swaps x and y.
template <bool Steep>
void Walk(const Canvas& canvas, double a0, double b0, double a1, double b1, unsigned colour)
{
    // a is the major axis (a0 < a1), b the minor one; one step per pixel column along a. In each
    // column the line covers [top, bottom] across: a partial pixel at each end and whole pixels
    // between them. Only the end columns are partly covered along a.
    const double slope = (b1 - b0) / (a1 - a0);
    const Line line{a0, b0, a1, slope, static_cast<float>(slope),
                    static_cast<float>(b0 + slope * (0.5 - a0)),  // centre of column 0
                    static_cast<float>(canvas.halfWidth * std::sqrt(1.0 + slope * slope))};
    const int minorFirst = canvas.MinorFirst<Steep>(), minorLast = canvas.MinorLast<Steep>();
    const int first = std::max(canvas.MajorFirst<Steep>(), FastFloor(a0));
    const int last = std::min(canvas.MajorLast<Steep>(), FastFloor(std::ceil(a1)) - 1);
    const size_t majorStep = Steep ? static_cast<size_t>(canvas.stride) : 1;
    const size_t minorStep = Steep ? 1 : static_cast<size_t>(canvas.stride);
    for (int i = first; i <= last; ++i) {
        Crossing c;
        if (!line.At(i, c)) continue;
        const float top = c.top, bottom = c.bottom, scale = c.scale;
        const int jTop = FastFloor(top), jBottom = FastFloor(bottom);
        unsigned* column = canvas.bits + static_cast<size_t>(i) * majorStep;
        if (jTop == jBottom) {
            if (jTop >= minorFirst && jTop <= minorLast)
                Blend(column[static_cast<size_t>(jTop) * minorStep], colour,
                      static_cast<unsigned>((bottom - top) * scale + 0.5f));
            continue;
        }
        if (jTop >= minorFirst && jTop <= minorLast)
            Blend(column[static_cast<size_t>(jTop) * minorStep], colour,
                  static_cast<unsigned>((static_cast<float>(jTop + 1) - top) * scale + 0.5f));
        const unsigned full = static_cast<unsigned>(scale + 0.5f);
        const int innerFirst = std::max(jTop + 1, minorFirst), innerLast = std::min(jBottom - 1, minorLast);
        for (int j = innerFirst; j <= innerLast; ++j) Blend(column[static_cast<size_t>(j) * minorStep], colour, full);
        if (jBottom >= minorFirst && jBottom <= minorLast)
            Blend(column[static_cast<size_t>(jBottom) * minorStep], colour,
                  static_cast<unsigned>((bottom - static_cast<float>(jBottom)) * scale + 0.5f));
    }
}

#ifdef TOLVEMARK_WIDE_LINES

// ByteMul on 16-bit lanes that each hold one 8-bit channel.
TOLVEMARK_TARGET_AVX2 inline __m256i ByteMulLanes(__m256i x, __m256i a)
{
    const __m256i t = _mm256_mullo_epi16(x, a);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), _mm256_set1_epi16(0x80)), 8);
}

// Blend with one colour on four or eight pixels at once, each with its own coverage (0 .. 255,
// one per 32-bit lane).
struct Pen {
    __m256i lanes;                // the colour's channels in sixteen 16-bit lanes, four pixels' worth
    __m256i redBlue, alphaGreen;  // its channel pairs as ByteMul splits them, eight pixels' worth

    TOLVEMARK_TARGET_AVX2 explicit Pen(unsigned c)
    {
        const __m128i colour = _mm_set1_epi32(static_cast<int>(c));
        lanes = _mm256_cvtepu8_epi16(colour);
        redBlue = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(c)), _mm256_set1_epi32(0x00ff00ff));
        alphaGreen = _mm256_srli_epi16(_mm256_set1_epi32(static_cast<int>(c)), 8);
    }

    // Four pixels, one channel per 16-bit lane.
    TOLVEMARK_TARGET_AVX2 __m128i Over(__m128i destination, __m128i coverage) const
    {
        // Byte 0 of pixel k's coverage into the four lanes of pixel k; a pixel's alpha into its four.
        const __m256i spreadCoverage = _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1,  //
                                                        8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1);
        const __m256i spreadAlpha = _mm256_setr_epi8(6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1,  //
                                                     6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1);
        const __m256i cover = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(coverage), spreadCoverage);
        const __m256i source = ByteMulLanes(lanes, cover);
        const __m256i keep = _mm256_sub_epi16(_mm256_set1_epi16(0xff), _mm256_shuffle_epi8(source, spreadAlpha));
        const __m256i result = _mm256_add_epi16(source, ByteMulLanes(_mm256_cvtepu8_epi16(destination), keep));
        return _mm_packus_epi16(_mm256_castsi256_si128(result), _mm256_extracti128_si256(result, 1));
    }

    // Eight pixels, two channels per 32-bit lane as in ByteMul.
    TOLVEMARK_TARGET_AVX2 __m256i Over(__m256i destination, __m256i coverage) const
    {
        const __m256i pairs = _mm256_set1_epi32(0x00ff00ff);
        const __m256i cover = _mm256_or_si256(coverage, _mm256_slli_epi32(coverage, 16));
        const __m256i sourceRB = ByteMulLanes(redBlue, cover), sourceAG = ByteMulLanes(alphaGreen, cover);
        const __m256i alpha = _mm256_srli_epi32(sourceAG, 16);
        const __m256i keep = _mm256_sub_epi16(pairs, _mm256_or_si256(alpha, _mm256_slli_epi32(alpha, 16)));
        const __m256i keptRB = ByteMulLanes(_mm256_and_si256(destination, pairs), keep);
        const __m256i keptAG = ByteMulLanes(_mm256_srli_epi16(destination, 8), keep);
        return _mm256_add_epi32(_mm256_or_si256(sourceRB, _mm256_slli_epi16(sourceAG, 8)),
                                _mm256_or_si256(keptRB, _mm256_slli_epi16(keptAG, 8)));
    }
};

// A pixel's coverage from its overlap [max(j, top), min(j + 1, bottom)] with the line across
// the column; Walk's formulas for the end and inner pixels are the special cases of it, and a
// pixel the line misses gets 0, which leaves it as it is.
TOLVEMARK_TARGET_AVX2 inline __m128i Coverage(__m128 j, __m128 top, __m128 bottom, __m128 scale)
{
    const __m128 lo = _mm_max_ps(j, top), hi = _mm_min_ps(_mm_add_ps(j, _mm_set1_ps(1.0f)), bottom);
    const __m128 overlap = _mm_max_ps(_mm_sub_ps(hi, lo), _mm_setzero_ps());
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(overlap, scale), _mm_set1_ps(0.5f)));
}

TOLVEMARK_TARGET_AVX2 inline __m256i Coverage(__m256 j, __m256 top, __m256 bottom, __m256 scale)
{
    const __m256 lo = _mm256_max_ps(j, top), hi = _mm256_min_ps(_mm256_add_ps(j, _mm256_set1_ps(1.0f)), bottom);
    const __m256 overlap = _mm256_max_ps(_mm256_sub_ps(hi, lo), _mm256_setzero_ps());
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(overlap, scale), _mm256_set1_ps(0.5f)));
}

// The walk of Walk with the same pixels, coverages and rounding, four pixels at a time. A pixel is
// blended once per line, so the pixels of one line may be taken in any order. Steep lines take
// the pixels of each step (a run within a row); shallow lines take four columns at once, row by
// row, so that the four pixels are always next to each other in memory.
template <bool Steep>
TOLVEMARK_TARGET_AVX2 void WalkWide(const Canvas& canvas, double a0, double b0, double a1, double b1, unsigned colour)
{
    const int minorFirst = canvas.MinorFirst<Steep>(), minorLast = canvas.MinorLast<Steep>();
    if (minorLast - minorFirst < 3) {
        Walk<Steep>(canvas, a0, b0, a1, b1, colour);
        return;
    }
    const double slope = (b1 - b0) / (a1 - a0);
    const Line line{a0, b0, a1, slope, static_cast<float>(slope), static_cast<float>(b0 + slope * (0.5 - a0)),
                    static_cast<float>(canvas.halfWidth * std::sqrt(1.0 + slope * slope))};
    const int first = std::max(canvas.MajorFirst<Steep>(), FastFloor(a0));
    const int last = std::min(canvas.MajorLast<Steep>(), FastFloor(std::ceil(a1)) - 1);
    const size_t stride = static_cast<size_t>(canvas.stride);
    const Pen pen(colour);
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    const __m128 steps = _mm_setr_ps(0, 1, 2, 3);

    // The pixels of major step i that may be written, in windows of four that stay among them.
    // A window moved back masks the pixels blended already; beyond the line's far side the
    // coverage is 0 anyway.
    auto step = [&](int i, const Crossing& c) TOLVEMARK_TARGET_AVX2 {
        const int from = std::max(FastFloor(c.top), minorFirst), to = std::min(FastFloor(c.bottom), minorLast);
        const __m128 top = _mm_set1_ps(c.top), bottom = _mm_set1_ps(c.bottom), scale = _mm_set1_ps(c.scale);
        for (int k = from; k <= to; k += 4) {
            const int start = std::min(k, minorLast - 3);
            __m128i coverage = Coverage(_mm_add_ps(_mm_set1_ps(static_cast<float>(start)), steps), top, bottom, scale);
            if (start < k)
                coverage = _mm_andnot_si128(
                    _mm_cmplt_epi32(_mm_add_epi32(_mm_set1_epi32(start), lanes), _mm_set1_epi32(k)), coverage);
            if (Steep) {
                auto* pixel = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(i) * stride + start);
                _mm_storeu_si128(pixel, pen.Over(_mm_loadu_si128(pixel), coverage));
            } else {
                unsigned* pixel = canvas.bits + static_cast<size_t>(start) * stride + i;
                const __m128i before = _mm_setr_epi32(static_cast<int>(pixel[0]), static_cast<int>(pixel[stride]),
                                                      static_cast<int>(pixel[2 * stride]),
                                                      static_cast<int>(pixel[3 * stride]));
                const __m128i after = pen.Over(before, coverage);
                pixel[0] = static_cast<unsigned>(_mm_cvtsi128_si32(after));
                pixel[stride] = static_cast<unsigned>(_mm_extract_epi32(after, 1));
                pixel[2 * stride] = static_cast<unsigned>(_mm_extract_epi32(after, 2));
                pixel[3 * stride] = static_cast<unsigned>(_mm_extract_epi32(after, 3));
            }
        }
    };

    // The steps covered along their whole length (line.At's inner case) go several at a time
    // below; the others one by one.
    const int innerFirst = std::max(first, static_cast<int>(std::ceil(a0 + 1)));
    const int innerLast = std::min(last, FastFloor(a1) - 1);
    auto stepsOneByOne = [&](int from, int to) TOLVEMARK_TARGET_AVX2 {
        for (int i = from; i <= to; ++i) {
            Crossing c;
            if (line.At(i, c)) step(i, c);
        }
    };
    if (innerLast - innerFirst + 1 < 4 || (Steep && 2 * line.half > 2.9f)) {
        stepsOneByOne(first, last);
        return;
    }
    stepsOneByOne(first, innerFirst - 1);
    stepsOneByOne(innerLast + 1, last);

    if (Steep) {
        // Two rows at a time, four pixels of each: a line this narrow covers at most four pixels
        // of a row, so one window from its first pixel, moved inside the image, holds them all
        // (the window's other pixels get no coverage).
        const __m256 slope8 = _mm256_set1_ps(line.slopeF), centreAtZero8 = _mm256_set1_ps(line.centreAtZero);
        const __m256 half8 = _mm256_set1_ps(line.half), scale8 = _mm256_set1_ps(255.0f);
        const __m256 across = _mm256_setr_ps(0, 1, 2, 3, 0, 1, 2, 3);
        const __m256 lowest = _mm256_setzero_ps(), highest = _mm256_set1_ps(static_cast<float>(minorLast - 3));
        __m256 rows = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(innerFirst)), _mm256_setr_ps(0, 0, 0, 0, 1, 1, 1, 1));
        int i = innerFirst;
        for (; i + 1 <= innerLast; i += 2, rows = _mm256_add_ps(rows, _mm256_set1_ps(2.0f))) {
            const __m256 centre = _mm256_add_ps(centreAtZero8, _mm256_mul_ps(slope8, rows));
            const __m256 top = _mm256_sub_ps(centre, half8), bottom = _mm256_add_ps(centre, half8);
            const __m256 start = _mm256_min_ps(_mm256_max_ps(_mm256_floor_ps(top), lowest), highest);
            const __m256i coverage = Coverage(_mm256_add_ps(start, across), top, bottom, scale8);
            const __m256i at = _mm256_cvttps_epi32(start);
            auto* upper = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(i) * stride +
                                                     _mm256_cvtsi256_si32(at));
            auto* lower = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(i + 1) * stride +
                                                     _mm256_extract_epi32(at, 4));
            const __m256i before = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(upper)),
                                                           _mm_loadu_si128(lower), 1);
            const __m256i after = pen.Over(before, coverage);
            _mm_storeu_si128(upper, _mm256_castsi256_si128(after));
            _mm_storeu_si128(lower, _mm256_extracti128_si256(after, 1));
        }
        stepsOneByOne(i, innerLast);
        return;
    }
    const __m128 slopeF = _mm_set1_ps(line.slopeF), centreAtZero = _mm_set1_ps(line.centreAtZero);
    const __m128 halfWidth = _mm_set1_ps(line.half), scale = _mm_set1_ps(255.0f);
    const __m256 scale8 = _mm256_set1_ps(255.0f);
    for (int i = innerFirst; i <= innerLast; i += 4) {
        const int start = std::min(i, innerLast - 3);
        const __m128 centre =
            _mm_add_ps(centreAtZero, _mm_mul_ps(slopeF, _mm_add_ps(_mm_set1_ps(static_cast<float>(start)), steps)));
        const __m128 top = _mm_sub_ps(centre, halfWidth), bottom = _mm_add_ps(centre, halfWidth);
        // The centre is monotonic along the line: the outer columns bound the rows.
        const float top0 = _mm_cvtss_f32(top), top3 = _mm_cvtss_f32(_mm_shuffle_ps(top, top, 3));
        const float bottom0 = _mm_cvtss_f32(bottom), bottom3 = _mm_cvtss_f32(_mm_shuffle_ps(bottom, bottom, 3));
        const int rowFirst = std::max(FastFloor(std::min(top0, top3)), minorFirst);
        const int rowLast = std::min(FastFloor(std::max(bottom0, bottom3)), minorLast);
        const __m128i done =
            start < i ? _mm_cmplt_epi32(_mm_add_epi32(_mm_set1_epi32(start), lanes), _mm_set1_epi32(i))
                      : _mm_setzero_si128();
        // Two rows at a time, then the last one alone.
        const __m256 top8 = _mm256_set_m128(top, top), bottom8 = _mm256_set_m128(bottom, bottom);
        const __m256i done8 = _mm256_set_m128i(done, done);
        __m256 j = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(rowFirst)), _mm256_setr_ps(0, 0, 0, 0, 1, 1, 1, 1));
        int row = rowFirst;
        for (; row + 1 <= rowLast; row += 2, j = _mm256_add_ps(j, _mm256_set1_ps(2.0f))) {
            const __m256i coverage = _mm256_andnot_si256(done8, Coverage(j, top8, bottom8, scale8));
            auto* upper = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(row) * stride + start);
            auto* lower = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(row + 1) * stride + start);
            const __m256i before = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(upper)),
                                                           _mm_loadu_si128(lower), 1);
            const __m256i after = pen.Over(before, coverage);
            _mm_storeu_si128(upper, _mm256_castsi256_si128(after));
            _mm_storeu_si128(lower, _mm256_extracti128_si256(after, 1));
        }
        if (row == rowLast) {
            const __m128i coverage =
                _mm_andnot_si128(done, Coverage(_mm_set1_ps(static_cast<float>(row)), top, bottom, scale));
            auto* pixel = reinterpret_cast<__m128i*>(canvas.bits + static_cast<size_t>(row) * stride + start);
            _mm_storeu_si128(pixel, pen.Over(_mm_loadu_si128(pixel), coverage));
        }
    }
}

#else

template <bool Steep>
void WalkWide(const Canvas& canvas, double a0, double b0, double a1, double b1, unsigned colour)
{
    Walk<Steep>(canvas, a0, b0, a1, b1, colour);
}

#endif

}  // namespace

LineRasterizer::LineRasterizer(QImage& target, float width, Kernel kernel)
    : LineRasterizer(target.bits(), target.size(), target.bytesPerLine(), width, kernel)
{
}

LineRasterizer::LineRasterizer(uchar* bits, QSize size, qsizetype bytesPerLine, float width, Kernel kernel)
    : m_bits(reinterpret_cast<unsigned*>(bits)),
      m_width(size.width()),
      m_height(size.height()),
      m_stride(static_cast<int>(bytesPerLine / 4)),
      m_halfWidth(0.5f * width),
      m_wide(kernel == Kernel::Fast && HaveWideInstructions()),
      m_firstRow(0),
      m_lastRow(size.height() - 1)
{
}

void LineRasterizer::SetRows(int first, int last)
{
    m_firstRow = std::max(first, 0);
    m_lastRow = std::min(last, m_height - 1);
}

void LineRasterizer::DrawLine(float x0, float y0, float x1, float y1, unsigned premultiplied)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    if ((premultiplied >> 24) == 0 || m_width <= 0 || m_firstRow > m_lastRow) return;
    double ax = x0, ay = y0, bx = x1, by = y1;
    // Clip with a margin wider than the line, so clipping never shortens what shows.
    const double margin = m_halfWidth * 2.0 + 2.0;
    if (!ClipToBox(ax, ay, bx, by, {-margin, -margin, m_width + margin, m_height + margin})) return;
    const Canvas canvas{m_bits, m_width, m_height, m_stride, m_firstRow, m_lastRow, m_halfWidth};
    if (std::fabs(bx - ax) >= std::fabs(by - ay)) {
        if (bx == ax) return;
        if (bx < ax) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        if (m_wide)
            WalkWide<false>(canvas, ax, ay, bx, by, premultiplied);
        else
            Walk<false>(canvas, ax, ay, bx, by, premultiplied);
    } else {
        if (by < ay) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        if (m_wide)
            WalkWide<true>(canvas, ay, ax, by, bx, premultiplied);
        else
            Walk<true>(canvas, ay, ax, by, bx, premultiplied);
    }
}

}  // namespace Zelvo
