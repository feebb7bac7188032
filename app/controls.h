// The window's controls with the behaviour the handlers rely on. A value set by the
// program runs the control's change handler directly (and only when the value really
// changes); a change made by the user arrives as the Qt signal, which the window routes
// through its error guard. Exceptions from nested handlers therefore never cross Qt code.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <cstdint>
#include <functional>

#include "core/types.h"

// The windows' font: "MS Sans Serif" at 11 pixels, or the closest metric match where the
// system lacks it.
QFont WindowFont();

class QPainter;

// The keyboard focus on a swatch: a dotted frame in black and white, seen on every colour.
void DrawFocusFrame(QPainter& painter, const QRect& frame);

// A coloured swatch: a small raised panel without caption that reports left-button clicks.
class TPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TPanel(QWidget* parent);
  vantrel::TColor Color() const { return color_; }
  void SetColor(vantrel::TColor color);
  // Takes the focus (Tab, a click): the space bar or Enter then clicks it, and an arrow key
  // is reported for the owner to move the focus on.
  void SetKeyboardReachable();

 signals:
  void clicked();
  void arrowPressed(int key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

  void paintEvent(QPaintEvent* event) override;

 private:
  vantrel::TColor color_ = 0;
  bool pressed_ = false;  // the left button went down on the swatch
};

class TTrackBar : public QSlider {
  Q_OBJECT
 public:
  explicit TTrackBar(QWidget* parent);
  int Position() const { return value(); }
  // Clamps to the range; runs OnChange when the position changes.
  void SetPosition(int position);
  // A new range and position, as a consequence of something else: no handler runs.
  void SetRangeQuietly(int minimum, int maximum, int position);
  std::function<void()> OnChange;
};

class TEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TEdit(QWidget* parent);
  QString Text() const { return text(); }
  // Runs OnChange when the text changes.
  void SetText(const QString& text);
  std::function<void()> OnChange;
};

class TScrollBar : public QScrollBar {
  Q_OBJECT
 public:
  TScrollBar(Qt::Orientation orientation, QWidget* parent);
  int Position() const { return value(); }
  void SetPosition(int position);
  // A minimum above the maximum is refused with "Scrollbar property out of range"
  // instead of being adjusted silently.
  void SetMin(int minimum);
  // A new minimum and position, as a consequence of something else: no handler runs.
  void SetMinQuietly(int minimum, int position);
  std::function<void()> OnChange;
};

// An image view: paints a picture unscaled from its top-left corner, clipped to itself.
// Shows nothing until it is given something to show.
class TImage : public QWidget {
  Q_OBJECT
 public:
  explicit TImage(QWidget* parent);
  // Shows `width` x `height` PackedRGB words that the caller keeps alive.
  void ShowWords(const std::uint32_t* words, int width, int height);
  void ShowImage(const QImage& image);
  // What the view shows now, as drawn on screen (for tests and screenshots).
  QImage Picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};
