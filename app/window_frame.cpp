#include "app/window_frame.h"

#include <QEvent>
#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

const QMargins ClassicFrame(4, 23, 4, 4);

// Corrects the client size once, after the first show that reveals a real frame.
class OuterSizeKeeper : public QObject {
 public:
  OuterSizeKeeper(QWidget& window, QSize outer) : QObject(&window), window_(window), outer_(outer) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show) {
      // The frame is known only once the window system has decorated the window.
      QTimer::singleShot(0, this, [this] { Correct(); });
    }
    return false;
  }

 private:
  void Correct() {
    const QWindow* handle = window_.windowHandle();
    if (!handle) return;
    const QMargins frame = handle->frameMargins();
    if (frame.isNull() || frame == ClassicFrame) return;  // no frame drawn, or the classic one
    window_.resize(outer_.width() - frame.left() - frame.right(),
                   outer_.height() - frame.top() - frame.bottom());
    window_.removeEventFilter(this);
    deleteLater();
  }

  QWidget& window_;
  QSize outer_;
};

}  // namespace

QSize ClassicClientSize(QSize outer) {
  return {outer.width() - ClassicFrame.left() - ClassicFrame.right(),
          outer.height() - ClassicFrame.top() - ClassicFrame.bottom()};
}

void SetOuterSize(QWidget& window, QSize outer) {
  window.resize(ClassicClientSize(outer));
  new OuterSizeKeeper(window, outer);
}
