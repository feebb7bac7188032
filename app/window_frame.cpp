// Outer sizes from the window manager's frame margins, and places that fit the screen.
#include "app/window_frame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

const QMargins ClassicFrame(4, 23, 4, 4);

QSize FrameSize(const QMargins& frame) {
  return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

// Keeps the outer size whenever the frame changes. A reparenting manager reports its frame
// only some time after the window is mapped (on each show, or when a manager starts while
// the window is up), and reading it at Show finds none yet; the report comes with the
// window's moves, resizes and exposes, so the frame is read again after each of them. The
// client area changes only when the frame does, and then by the frame's change alone: a
// size the user chose stands, and the window never fights its manager.
class OuterSizeKeeper : public QObject {
 public:
  explicit OuterSizeKeeper(QWidget& window) : QObject(&window), window_(window) {
    check_.setSingleShot(true);
    check_.setInterval(0);
    connect(&check_, &QTimer::timeout, this, [this] { Fit(); });
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Show:
        // The native window exists from here on; its Expose comes to it, not to the widget.
        if (watched == &window_ && window_.windowHandle()) {
          window_.windowHandle()->installEventFilter(this);
        }
        CheckLater();
        break;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Expose:
      case QEvent::WindowStateChange:
        CheckLater();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  // Several events arrive together: one reading after them is enough.
  void CheckLater() { check_.start(); }

  void Fit() {
    const QWindow* handle = window_.windowHandle();
    if (!handle || !window_.isVisible()) return;
    // A maximised, full-screen or minimised window is sized by its manager.
    if (window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
      return;
    const QMargins frame = handle->frameMargins();
    // No frame reported: none drawn (or not yet), so the size in force stays.
    if (frame.isNull() || frame == fitted_) return;
    const QSize client = window_.size() + FrameSize(fitted_) - FrameSize(frame);
    fitted_ = frame;
    window_.resize(client);
  }

  QWidget& window_;
  QMargins fitted_ = ClassicFrame;  // the frame the client size was made for
  QTimer check_;
};

}  // namespace

QSize ClassicClientSize(QSize outer) { return outer - FrameSize(ClassicFrame); }

void SetOuterSize(QWidget& window, QSize outer) {
  window.resize(ClassicClientSize(outer));
  new OuterSizeKeeper(window);
}

QPoint FittedPlace(const QRect& available, const QPoint& place, QSize outer) {
  const int x = std::max(available.left(),
                         std::min(place.x(), available.left() + available.width() - outer.width()));
  const int y = std::max(
      available.top(), std::min(place.y(), available.top() + available.height() - outer.height()));
  return {x, y};
}

void PlaceOnScreen(QWidget& window, const QPoint& place, QSize outer) {
  const QScreen* screen = QGuiApplication::screenAt(place);
  if (!screen) screen = QGuiApplication::primaryScreen();
  window.move(screen ? FittedPlace(screen->availableGeometry(), place, outer) : place);
}
