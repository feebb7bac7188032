// The zoom window: the enlarged views, the flicker timer, painting and picking.
#include "app/zoom_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/controls.h"

using namespace vantrel;

namespace {

constexpr int kMinZoom = 1;
constexpr int kMaxZoom = 8;

QImage ImageOfWords(const std::uint32_t* words, int stride) {
  QImage image(WindowWidth, WindowHeight, QImage::Format_RGB32);
  for (int y = 0; y < WindowHeight; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    for (int x = 0; x < WindowWidth; ++x) line[x] = words[y * stride + x] | 0xFF000000u;
  }
  return image;
}

// The pixels of the line from `from` to `to`, `from` itself left out: what a drag crossed
// since the last mouse event.
QList<QPoint> PixelsOfLine(QPoint from, QPoint to) {
  QList<QPoint> pixels;
  int x = from.x(), y = from.y();
  const int dx = std::abs(to.x() - x), dy = -std::abs(to.y() - y);
  const int sx = x < to.x() ? 1 : -1, sy = y < to.y() ? 1 : -1;
  int error = dx + dy;
  while (x != to.x() || y != to.y()) {
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
    pixels.append(QPoint(x, y));
  }
  return pixels;
}

// The C64's refresh rate: 50 Hz for the PAL machines (and any C64), 60 Hz for NTSC.
int FramesPerSecond(Machine machine) {
  return machine == Machine::Ntsc || machine == Machine::OldNtsc ? 60 : 50;
}

}  // namespace

// --- ZoomView ----------------------------------------------------------------------------

ZoomView::ZoomView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setCursor(Qt::CrossCursor);
  SetZoom(zoom_);
}

void ZoomView::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void ZoomView::SetZoom(int factor) {
  zoom_ = std::clamp(factor, kMinZoom, kMaxZoom);
  setFixedSize(WindowWidth * zoom_, WindowHeight * zoom_);
  update();
}

void ZoomView::SetGrid(bool on) {
  grid_ = on;
  update();
}

std::optional<QPoint> ZoomView::PixelAt(QPointF point) const {
  const int x = static_cast<int>(std::floor(point.x() / zoom_));
  const int y = static_cast<int>(std::floor(point.y() / zoom_));
  if (x < 0 || x >= WindowWidth || y < 0 || y >= WindowHeight) return std::nullopt;
  return QPoint(x, y);
}

void ZoomView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    return;
  }
  // No smoothing: each C64 pixel is a square of zoom x zoom screen pixels.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRect(0, 0, WindowWidth * zoom_, WindowHeight * zoom_), picture_);
  // A grid only where a pixel is large enough to leave room inside the lines.
  if (grid_ && zoom_ >= 3) {
    painter.setPen(QColor(0, 0, 0, 90));
    for (int x = 1; x < WindowWidth; ++x) painter.drawLine(x * zoom_, 0, x * zoom_, height());
    for (int y = 1; y < WindowHeight; ++y) painter.drawLine(0, y * zoom_, width(), y * zoom_);
  }
}

void ZoomView::mousePressEvent(QMouseEvent* event) {
  const std::optional<QPoint> pixel = PixelAt(event->position());
  if (!pixel) return;
  if (event->button() == Qt::RightButton && !stroking_) {
    emit picked(*pixel);
  } else if (event->button() == Qt::LeftButton) {
    stroking_ = true;
    last_ = *pixel;
    emit strokeStarted();
    emit painted({*pixel});
  }
}

void ZoomView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (const std::optional<QPoint> pixel = PixelAt(at)) emit hovered(*pixel);
  if (!stroking_) return;
  // Outside the picture the stroke goes on from its edge.
  const QPoint pixel(std::clamp(static_cast<int>(std::floor(at.x() / zoom_)), 0, WindowWidth - 1),
                     std::clamp(static_cast<int>(std::floor(at.y() / zoom_)), 0, WindowHeight - 1));
  if (pixel == last_) return;
  const QList<QPoint> crossed = PixelsOfLine(last_, pixel);
  last_ = pixel;
  emit painted(crossed);
}

void ZoomView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !stroking_) return;
  stroking_ = false;
  emit strokeEnded();
}

// --- MixSwatch ---------------------------------------------------------------------------

MixSwatch::MixSwatch(int code, QWidget* parent) : QAbstractButton(parent), code_(code) {
  setCheckable(true);
  setAutoExclusive(true);
  setFocusPolicy(Qt::StrongFocus);
  setToolTip(QStringLiteral("Mix color %1").arg(code));
  setAccessibleName(QStringLiteral("Mix color %1").arg(code));
}

void MixSwatch::SetColor(TColor color) {
  color_ = color;
  update();
}

void MixSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect box = rect().adjusted(2, 2, -2, -2);
  painter.fillRect(box, QColor(RedOf(color_), GreenOf(color_), BlueOf(color_)));
  // The chosen colour wears a frame of the highlight colour, the focus a dotted one inside it.
  if (isChecked()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
  } else {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
  }
  if (hasFocus()) DrawFocusFrame(painter, rect().adjusted(4, 4, -5, -5));
}

// The arrow keys move to the neighbouring swatch and choose it.
void MixSwatch::keyPressEvent(QKeyEvent* event) {
  const int step = event->key() == Qt::Key_Left || event->key() == Qt::Key_Up      ? -1
                   : event->key() == Qt::Key_Right || event->key() == Qt::Key_Down ? 1
                                                                                   : 0;
  if (step == 0) {
    QAbstractButton::keyPressEvent(event);
    return;
  }
  const int next = code_ + step;
  for (MixSwatch* sibling : parentWidget()->findChildren<MixSwatch*>()) {
    if (sibling->Code() != next) continue;
    sibling->setFocus(Qt::OtherFocusReason);
    sibling->click();
  }
}

// --- ZoomWindow --------------------------------------------------------------------------

ZoomWindow::ZoomWindow(const Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session) {
  setWindowTitle(QStringLiteral("Zoom - Vantrel Converter"));
  setFont(WindowFont());

  auto* zoomLabel = new QLabel(QStringLiteral("&Zoom:"), this);
  zoomBox_ = new QComboBox(this);
  for (int factor = kMinZoom; factor <= kMaxZoom; ++factor) {
    zoomBox_->addItem(QStringLiteral("%1x").arg(factor), factor);
  }
  zoomLabel->setBuddy(zoomBox_);
  auto* modeLabel = new QLabel(QStringLiteral("&Show:"), this);
  modeBox_ = new QComboBox(this);
  for (const char* mode : {"Mix", "Frame 1", "Frame 2", "Flicker"}) {
    modeBox_->addItem(QString::fromLatin1(mode));
  }
  modeLabel->setBuddy(modeBox_);
  gridBox_ = new QCheckBox(QStringLiteral("Pixel &grid"), this);

  auto* tools = new QHBoxLayout;
  tools->addWidget(zoomLabel);
  tools->addWidget(zoomBox_);
  tools->addSpacing(8);
  tools->addWidget(modeLabel);
  tools->addWidget(modeBox_);
  tools->addSpacing(8);
  tools->addWidget(gridBox_);
  tools->addStretch();

  auto* paint = new QHBoxLayout;
  paint->setSpacing(0);
  paint->addWidget(new QLabel(QStringLiteral("Paint: "), this));
  for (int code = 1; code <= 9; ++code) {
    swatches_[code - 1] = new MixSwatch(code, this);
    paint->addWidget(swatches_[code - 1]);
    connect(swatches_[code - 1], &QAbstractButton::clicked, this,
            [this, code] { SetChosenCode(code); });
  }
  paint->addSpacing(8);
  info_ = new QLabel(this);
  paint->addWidget(info_, 1);

  view_ = new ZoomView(this);
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(view_);
  scroll_->setAlignment(Qt::AlignCenter);
  scroll_->setBackgroundRole(QPalette::Dark);

  auto* help = new QLabel(
      QStringLiteral("Left button: paint    Right button: pick the color under the pointer"), this);
  help->setForegroundRole(QPalette::PlaceholderText);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(tools);
  layout->addLayout(paint);
  layout->addWidget(scroll_, 1);
  layout->addWidget(help);

  connect(zoomBox_, &QComboBox::currentIndexChanged, this,
          [this](int index) { view_->SetZoom(zoomBox_->itemData(index).toInt()); });
  connect(modeBox_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetMode(static_cast<ZoomMode>(index)); });
  connect(gridBox_, &QCheckBox::toggled, this, [this](bool on) { view_->SetGrid(on); });
  connect(view_, &ZoomView::strokeStarted, this, &ZoomWindow::strokeStarted);
  connect(view_, &ZoomView::painted, this, &ZoomWindow::painted);
  connect(view_, &ZoomView::strokeEnded, this, &ZoomWindow::strokeEnded);
  connect(view_, &ZoomView::picked, this, &ZoomWindow::picked);
  connect(view_, &ZoomView::hovered, this, &ZoomWindow::ShowPixelInfo);

  connect(&flicker_, &QTimer::timeout, this, [this] {
    flickerFrame_ = 3 - flickerFrame_;
    view_->SetPicture(flickerFrame_ == 1 ? frame1_ : frame2_);
  });
  flicker_.setTimerType(Qt::PreciseTimer);
  SetMachine(Machine::Pal);

  SetZoom(3);
  SetChosenCode(1);
  // The picture at 3x with room for the tools, as far as the screen takes it.
  const QRect available = screen()->availableGeometry();
  resize(std::min(WindowWidth * 3 + 40, available.width() * 9 / 10),
         std::min(WindowHeight * 3 + 130, available.height() * 9 / 10));
  Refresh();
}

void ZoomWindow::Refresh() {
  const Bitmap32& preview = session_.Preview();
  mix_ = ImageOfWords(preview.Words(), preview.Width());
  frame1_ = ImageOfWords(session_.FramePicture(1).data(), WindowWidth);
  frame2_ = ImageOfWords(session_.FramePicture(2).data(), WindowWidth);
  ShowSwatches();
  ShowMode();
}

// The nine mixes of the cell last pointed at: with colours per cell each cell has its own.
void ZoomWindow::ShowSwatches() {
  const MixSlots& mixes = session_.CellMixColours(swatchCell_.x(), swatchCell_.y());
  for (int code = 1; code <= 9; ++code) swatches_[code - 1]->SetColor(mixes[code - 1]);
}

void ZoomWindow::SetMachine(Machine machine) {
  flicker_.setInterval((1000 + FramesPerSecond(machine) / 2) / FramesPerSecond(machine));
}

void ZoomWindow::SetZoom(int factor) {
  const int index = zoomBox_->findData(std::clamp(factor, kMinZoom, kMaxZoom));
  zoomBox_->setCurrentIndex(index);
  view_->SetZoom(zoomBox_->itemData(index).toInt());
}

void ZoomWindow::SetMode(ZoomMode mode) {
  mode_ = mode;
  if (modeBox_->currentIndex() != static_cast<int>(mode)) {
    modeBox_->setCurrentIndex(static_cast<int>(mode));
  }
  ShowMode();
}

void ZoomWindow::SetGrid(bool on) { gridBox_->setChecked(on); }
bool ZoomWindow::Grid() const { return gridBox_->isChecked(); }

void ZoomWindow::SetChosenCode(int code) {
  chosen_ = std::clamp(code, 1, 9);
  swatches_[chosen_ - 1]->setChecked(true);
}

// The flicker runs only while it can be seen.
void ZoomWindow::ShowMode() {
  switch (mode_) {
    case ZoomMode::Mix:
      view_->SetPicture(mix_);
      break;
    case ZoomMode::Frame1:
      view_->SetPicture(frame1_);
      break;
    case ZoomMode::Frame2:
      view_->SetPicture(frame2_);
      break;
    case ZoomMode::Flicker:
      view_->SetPicture(flickerFrame_ == 1 ? frame1_ : frame2_);
      break;
  }
  const bool flickering = mode_ == ZoomMode::Flicker && isVisible();
  if (flickering && !flicker_.isActive()) flicker_.start();
  if (!flickering) flicker_.stop();
}

void ZoomWindow::ShowPixelInfo(QPoint pixel) {
  info_->setText(QStringLiteral("x %1, y %2: mix color %3")
                     .arg(pixel.x())
                     .arg(pixel.y())
                     .arg(session_.MixCodeAt(pixel.x(), pixel.y())));
  if (pixel != swatchCell_) {
    swatchCell_ = pixel;
    ShowSwatches();
  }
}

void ZoomWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowMode();
  emit visibilityChanged(true);
}

void ZoomWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  ShowMode();
  emit visibilityChanged(false);
}
