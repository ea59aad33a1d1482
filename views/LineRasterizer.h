#pragma once

#include <QImage>

namespace Zelvo {

// Draws many straight, antialiased lines of one width into a premultiplied ARGB image, each
// line in its own colour, blended source-over in call order. It does per line what QPainter
// does with a solid pen, without the pen set-up and path stroking that dominate QPainter's time
// when every line has its own colour (parallel coordinates draw one line per point per axis pair).
// Coverage is the overlap of each pixel with the line's cross-section along the minor axis, times
// the overlap along the major axis at the ends (flat ends).
class LineRasterizer {
public:
    // How the pixels of a line are blended: Fast takes the vector instructions of the processor
    // when it has them, Plain never does. Both give the same pixels.
    enum class Kernel { Fast, Plain };

    // target must be Format_ARGB32_Premultiplied and outlive the rasterizer.
    LineRasterizer(QImage& target, float width, Kernel kernel = Kernel::Fast);
    // The same on premultiplied ARGB pixels of the given size, bytesPerLine apart; touches no
    // QImage, so rasterizers on bands of one image may work on several threads.
    LineRasterizer(uchar* bits, QSize size, qsizetype bytesPerLine, float width, Kernel kernel = Kernel::Fast);

    // Writes only the rows first .. last from now on (all rows at first). Lines are placed and
    // clipped against the whole image all the same, so the rows of an image drawn band by band,
    // with the same lines in each band, come out as if drawn at once.
    void SetRows(int first, int last);

    // From (x0, y0) to (x1, y1) in pixel coordinates (pixel (i, j) covers [i, i+1) x [j, j+1));
    // premultiplied is a QRgb with premultiplied components. Lines with non-finite ends or no
    // length are skipped; parts outside the image are clipped.
    void DrawLine(float x0, float y0, float x1, float y1, unsigned premultiplied);

private:
    unsigned* m_bits;
    int m_width;
    int m_height;
    int m_stride;  // in pixels
    float m_halfWidth;
    bool m_wide;
    int m_firstRow, m_lastRow;
};

}  // namespace Zelvo
