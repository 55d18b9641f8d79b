#include "wizard_art.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor deep(18, 58, 96);
const QColor sea(36, 122, 160);
const QColor sand(232, 196, 120);

// Tiles of a table: the picture of what the wizard moves.
void draw_tiles(QPainter& painter, QRectF area, int columns, int rows, qreal alpha) {
  const qreal w = area.width() / columns;
  const qreal h = area.height() / rows;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      QColor fill = (r == 0) ? sand : QColor(255, 255, 255);
      fill.setAlphaF(alpha * (r == 0 ? 1.0 : 0.55 + 0.08 * ((r + c) % 3)));
      painter.fillRect(QRectF(area.left() + c * w + 1, area.top() + r * h + 1, w - 2, h - 2), fill);
    }
  }
}

QPixmap mark(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, size, size);
  gradient.setColorAt(0, sea);
  gradient.setColorAt(1, deep);
  painter.setBrush(gradient);
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
  draw_tiles(painter, QRectF(size * 0.18, size * 0.2, size * 0.64, size * 0.6), 3, 4, 1.0);
  return pixmap;
}

}  // namespace

namespace wizard_art {

QPixmap watermark() {
  QPixmap pixmap(164, 480);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, 480);
  gradient.setColorAt(0, sea);
  gradient.setColorAt(1, deep);
  painter.fillRect(pixmap.rect(), gradient);
  // A sheet tilting into a stack of database discs.
  painter.save();
  painter.translate(30, 70);
  painter.rotate(-8);
  draw_tiles(painter, QRectF(0, 0, 96, 110), 4, 6, 0.9);
  painter.restore();
  painter.setPen(QPen(sand, 3));
  painter.drawLine(QPointF(82, 210), QPointF(82, 250));
  painter.drawLine(QPointF(72, 240), QPointF(82, 252));
  painter.drawLine(QPointF(92, 240), QPointF(82, 252));
  for (int disc = 0; disc < 3; ++disc) {
    const qreal top = 266 + disc * 22;
    painter.setPen(QPen(QColor(255, 255, 255, 200), 2));
    painter.setBrush(QColor(255, 255, 255, 60 + disc * 30));
    painter.drawEllipse(QRectF(42, top, 80, 22));
  }
  painter.setPen(QColor(255, 255, 255));
  painter.setFont(QFont(QStringLiteral("Sans"), 14, QFont::Bold));
  painter.drawText(QRectF(0, 400, 164, 26), Qt::AlignCenter, QStringLiteral("Tessaly"));
  return pixmap;
}

QPixmap banner() {
  QPixmap pixmap(1200, 64);
  QPainter painter(&pixmap);
  QLinearGradient gradient(0, 0, 1200, 0);
  gradient.setColorAt(0, QColor(250, 250, 250));
  gradient.setColorAt(1, QColor(214, 232, 240));
  painter.fillRect(pixmap.rect(), gradient);
  painter.fillRect(QRect(0, 61, 1200, 3), sea);
  return pixmap;
}

QPixmap logo() { return mark(48); }

QIcon icon() {
  QIcon result;
  for (int size : {16, 32, 48, 64}) result.addPixmap(mark(size));
  return result;
}

QPixmap connecting_frame(int frame) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(16, 16);
  for (int dot = 0; dot < connecting_frames; ++dot) {
    const int age = (frame - dot + connecting_frames) % connecting_frames;
    QColor color = sea;
    color.setAlphaF(1.0 - age / static_cast<qreal>(connecting_frames));
    painter.setBrush(color);
    painter.setPen(Qt::NoPen);
    painter.save();
    painter.rotate(dot * 360.0 / connecting_frames);
    painter.drawEllipse(QRectF(-3, -14, 6, 6));
    painter.restore();
  }
  return pixmap;
}

}  // namespace wizard_art
