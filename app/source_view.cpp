// The source view's wheel and drag, turned into steps of the crop.
#include "app/source_view.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace {

// Pixels the crop moves for one notch of the wheel (120 eighths of a degree).
constexpr int kPixelsPerNotch = 8;
constexpr int kEighthsPerNotch = 120;

}  // namespace

SourceView::SourceView(QWidget* parent) : TImage(parent) { setCursor(Qt::OpenHandCursor); }

void SourceView::wheelEvent(QWheelEvent* event) {
  QPoint delta = event->angleDelta();
  if (event->modifiers() & Qt::ShiftModifier) delta = {delta.y(), delta.x()};
  emit scrolled({delta.x() * kPixelsPerNotch / kEighthsPerNotch,
                 delta.y() * kPixelsPerNotch / kEighthsPerNotch});
  event->accept();
}

void SourceView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return TImage::mousePressEvent(event);
  dragging_ = true;
  dragStart_ = event->globalPosition().toPoint();
  setCursor(Qt::ClosedHandCursor);
  emit dragStarted();
}

void SourceView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return TImage::mouseMoveEvent(event);
  // The picture follows the pointer.
  emit dragged(event->globalPosition().toPoint() - dragStart_);
}

void SourceView::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton) return TImage::mouseReleaseEvent(event);
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
  emit dragEnded();
}
