// The About box's layout and text.
#include "app/Unit2.h"

#include <QLabel>
#include <QPushButton>

#include "app/artwork.h"
#include "app/controls.h"
#include "app/window_frame.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setFont(WindowFont());
  setBackgroundRole(QPalette::Button);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(120, 56, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  Image1 = new QLabel(this);
  Image1->setGeometry(4, 8, 81, 81);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setPixmap(QPixmap::fromImage(MakeAboutPicture()));

  Label1 = new QLabel(QStringLiteral("Vantrel Converter"), this);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->move(88, 12);
  Label1->adjustSize();

  Label2 = new QLabel(QStringLiteral("\u00A9 2005 Vantrel Software"), this);
  Label2->move(88, 32);
  Label2->adjustSize();

  SetOuterSize(*this, QSize(230, 122));
  PlaceOnScreen(*this, QPoint(236, 166), QSize(230, 122));
}
