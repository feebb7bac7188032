// Drawing the banner and the About picture with QPainter.
#include "app/artwork.h"

#include <QLinearGradient>
#include <QPainter>

#include "session/session.h"

namespace {
QColor ToQColor(vantrel::TColor c) {
  return QColor(vantrel::RedOf(c), vantrel::GreenOf(c), vantrel::BlueOf(c));
}
}  // namespace

QImage MakeBannerPicture() {
  QImage image(601, 43, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, 601, 0);
  sky.setColorAt(0, ToQColor(vantrel::C64Palette[6]));
  sky.setColorAt(1, ToQColor(vantrel::C64Palette[14]));
  painter.fillRect(image.rect(), sky);

  // A strip of the nine default mix colours: the whole idea of the program in one row.
  const auto table = vantrel::BuildMixTable(vantrel::RoleColours(vantrel::DefaultColourRoles));
  for (int slot = 0; slot < 9; ++slot) {
    painter.fillRect(420 + slot * 19, 8, 17, 27, ToQColor(table[slot]));
  }

  QFont title(QStringLiteral("Sans"));
  title.setPixelSize(22);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(ToQColor(vantrel::C64Palette[1]));
  painter.drawText(QRect(10, 2, 400, 26), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Vantrel Converter"));
  QFont notice(QStringLiteral("Sans"));
  notice.setPixelSize(10);
  painter.setFont(notice);
  painter.setPen(ToQColor(vantrel::C64Palette[15]));
  painter.drawText(
      QRect(10, 27, 400, 14), Qt::AlignLeft | Qt::AlignVCenter,
      QStringLiteral("Photos to C64 hires + sprite interlace  \u00A9 2005 Vantrel Software"));
  return image;
}

QImage MakeAboutPicture() {
  QImage image(80, 80, QImage::Format_RGB32);
  image.fill(ToQColor(vantrel::C64Palette[6]));
  QPainter painter(&image);
  painter.fillRect(6, 6, 68, 68, ToQColor(vantrel::C64Palette[14]));
  // The sixteen colours of the machine, four by four.
  for (int index = 0; index < 16; ++index) {
    painter.fillRect(10 + (index % 4) * 15, 10 + (index / 4) * 15, 14, 14,
                     ToQColor(vantrel::C64Palette[index]));
  }
  return image;
}
