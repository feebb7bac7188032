// The source view: the crop as an image view that the wheel scrolls and a drag moves. It only
// reports the steps; the window moves the crop.
#pragma once

#include <QPoint>

#include "app/controls.h"

class SourceView : public TImage {
  Q_OBJECT
 public:
  explicit SourceView(QWidget* parent);

 signals:
  // The wheel turned: the picture is to be drawn this many pixels further right and down
  // (so a turn down shows more of the picture below; with Shift, across it).
  void scrolled(QPoint step);
  // A drag with the left button: how far the pointer is from where it went down, at each move.
  void dragStarted();
  void dragged(QPoint moved);
  void dragEnded();

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint dragStart_;
  bool dragging_ = false;
};
