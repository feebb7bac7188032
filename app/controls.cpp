// The main window's controls made in four parts: views, colours, offsets, scale.
#include "app/controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>

#include "core/error.h"

QFont WindowFont() {
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
}

void TPanel::SetColor(vantrel::TColor color) {
  color_ = color;
  update();
}

void TPanel::SetKeyboardReachable() { setFocusPolicy(Qt::StrongFocus); }

void TPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (focusPolicy() & Qt::TabFocus) {
        emit clicked();
        return;
      }
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (focusPolicy() & Qt::TabFocus) {
        emit arrowPressed(event->key());
        return;
      }
      break;
    default:
      break;
  }
  QFrame::keyPressEvent(event);
}

// A click is the left button pressed and released on the swatch, as for a push button:
// other buttons, and a press that leaves the swatch before the release, pick nothing.
void TPanel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QFrame::mousePressEvent(event);
}

void TPanel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QFrame::mouseReleaseEvent(event);
  if (click) emit clicked();
}

void TPanel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(
        rect(), QColor(vantrel::RedOf(color_), vantrel::GreenOf(color_), vantrel::BlueOf(color_)));
  }
  QFrame::paintEvent(event);
  if (hasFocus()) {
    QPainter painter(this);
    DrawFocusFrame(painter, rect().adjusted(2, 2, -3, -3));
  }
}

void DrawFocusFrame(QPainter& painter, const QRect& frame) {
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(frame);
  painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
  painter.drawRect(frame);
}

namespace {
// Applies a change made by the program without Qt's signal, then runs the change handler
// directly if the value moved.
template <typename Change>
void ChangeQuietly(QAbstractSlider& slider, const std::function<void()>& onChange, Change change) {
  const int before = slider.value();
  {
    const QSignalBlocker blocker(&slider);
    change();
  }
  if (slider.value() != before && onChange) onChange();
}
}  // namespace

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks);
  setSingleStep(1);
  setPageStep(1);
}

void TTrackBar::SetPosition(int position) {
  ChangeQuietly(*this, OnChange, [&] { setValue(position); });
}

void TTrackBar::SetRangeQuietly(int minimum, int maximum, int position) {
  const QSignalBlocker blocker(this);
  setRange(minimum, maximum);
  setValue(position);
}

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {}

void TEdit::SetText(const QString& newText) {
  if (newText == text()) return;
  {
    const QSignalBlocker blocker(this);
    setText(newText);
  }
  if (OnChange) OnChange();
}

TScrollBar::TScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {
  setFocusPolicy(Qt::StrongFocus);  // reachable with Tab, like the other controls
  setSingleStep(1);
  setPageStep(1);
}

void TScrollBar::SetPosition(int position) {
  ChangeQuietly(*this, OnChange, [&] { setValue(position); });
}

void TScrollBar::SetMinQuietly(int minimum, int position) {
  const QSignalBlocker blocker(this);
  setMinimum(minimum);
  setValue(position);
}

void TScrollBar::SetMin(int minimum) {
  if (minimum > maximum()) throw vantrel::VantrelError(vantrel::Message::kScrollbarOutOfRange);
  ChangeQuietly(*this, OnChange, [&] { setMinimum(minimum); });
}

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::ShowWords(const std::uint32_t* words, int width, int height) {
  // Deep copy with an opaque top byte: what the view shows stays as drawn until the
  // next draw, whatever happens to the source afterwards.
  image_ = QImage(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    for (int x = 0; x < width; ++x) line[x] = words[y * width + x] | 0xFF000000u;
  }
  update();
}

void TImage::ShowImage(const QImage& image) {
  image_ = image;
  update();
}

QImage TImage::Picture() const { return image_; }

void TImage::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}
