#pragma once

#include <QHash>
#include <QImage>
#include <QRgb>

namespace Zelvo {

// Antialiased discs pre-rendered once per colour and device radius (quarter pixels), so that a
// frame of many points is a run of plain image blits instead of one ellipse fill per point.
class DiscSpriteCache {
public:
    // The sprite for a disc of the colour and radius (device pixels); its centre is at
    // (Half(), Half()) of the image.
    const QImage& Sprite(QRgb color, float radius);
    static DiscSpriteCache& Shared();

private:
    QHash<quint64, QImage> m_sprites;
    quint64 m_lastKey = ~quint64(0);
    const QImage* m_last = nullptr;
};

}  // namespace Zelvo
