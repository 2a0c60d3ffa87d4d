#include "app/app_picture.h"

#include <QPainter>
#include <QPainterPath>

namespace verifax {

QPixmap AppPicture(int size) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 48.0, size / 48.0);  // drawn on a 48 × 48 grid

  // The tile.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(32, 96, 168));
  painter.drawRoundedRect(QRectF(1, 1, 46, 46), 8, 8);

  // The document sheet with a folded corner and a few lines of text.
  QPainterPath sheet;
  sheet.moveTo(12, 7);
  sheet.lineTo(29, 7);
  sheet.lineTo(37, 15);
  sheet.lineTo(37, 41);
  sheet.lineTo(12, 41);
  sheet.closeSubpath();
  painter.setBrush(Qt::white);
  painter.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(29, 7);
  fold.lineTo(29, 15);
  fold.lineTo(37, 15);
  fold.closeSubpath();
  painter.setBrush(QColor(190, 205, 225));
  painter.drawPath(fold);
  painter.setPen(QPen(QColor(150, 165, 190), 2, Qt::SolidLine, Qt::FlatCap));
  for (int y : {13, 18, 23}) painter.drawLine(QLineF(16, y, y == 13 ? 26 : 33, y));

  // The check mark.
  painter.setPen(QPen(QColor(40, 170, 70), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolyline(QPolygonF({QPointF(17, 31), QPointF(23, 37), QPointF(39, 21)}));
  return picture;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(AppPicture(size));
  return icon;
}

QIcon InspectIcon() {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(QPen(QColor(90, 70, 40), 2.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QLineF(10.2, 10.2, 14.2, 14.2));  // the handle
    painter.setPen(QPen(QColor(40, 60, 90), 1.6));
    painter.setBrush(QColor(200, 225, 250));
    painter.drawEllipse(QPointF(6.5, 6.5), 4.8, 4.8);  // the lens
    icon.addPixmap(picture);
  }
  return icon;
}

}  // namespace verifax
