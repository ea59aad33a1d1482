#include "DiscSpriteCache.h"

#include <QPainter>

#include <cmath>

namespace Zelvo {

namespace {

const int kMaxSprites = 4096;   // colour maps have at most a few hundred entries
const float kMaxRadius = 512.0f;

}  // namespace

DiscSpriteCache& DiscSpriteCache::Shared()
{
    static DiscSpriteCache cache;
    return cache;
}

const QImage& DiscSpriteCache::Sprite(QRgb color, float radius)
{
    if (!(radius > 0)) radius = 0;
    if (radius > kMaxRadius) radius = kMaxRadius;
    const quint64 quarters = static_cast<quint64>(std::lround(radius * 4.0f));
    const quint64 key = (quarters << 32) | color;
    if (key == m_lastKey && m_last) return *m_last;

    auto found = m_sprites.find(key);
    if (found == m_sprites.end()) {
        if (m_sprites.size() >= kMaxSprites) {
            m_sprites.clear();
            m_last = nullptr;
        }
        const float r = quarters / 4.0f;
        // Odd side, so the disc centre is a pixel centre and whole-pixel placement keeps it exact.
        const int side = 2 * static_cast<int>(std::ceil(r)) + 1;
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (r > 0) {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor::fromRgba(color));
            painter.drawEllipse(QPointF(side / 2.0, side / 2.0), r, r);
        }
        found = m_sprites.insert(key, image);
    }
    m_lastKey = key;
    m_last = &found.value();
    return *m_last;
}

}  // namespace Zelvo
