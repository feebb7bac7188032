// View > Zoom: the preview enlarged with crisp pixels, each frame alone or the two flickering as
// the C64 shows them, and the touch-up tools (paint a mix colour, pick one).
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>

#include "session/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QScrollArea;

// What the zoom view shows.
enum class ZoomMode { Mix, Frame1, Frame2, Flicker };

// The picture at a whole zoom factor, nearest neighbour, with an optional pixel grid. The
// left button paints (a press, then every pixel the pointer crosses while held), the right
// button picks; the view only reports them.
class ZoomView : public QWidget {
  Q_OBJECT
 public:
  explicit ZoomView(QWidget* parent);
  void SetPicture(const QImage& picture);
  QImage Picture() const { return picture_; }
  void SetZoom(int factor);
  int Zoom() const { return zoom_; }
  void SetGrid(bool on);
  // The picture pixel under a point of the view; nothing outside the picture.
  std::optional<QPoint> PixelAt(QPointF point) const;

 signals:
  void strokeStarted();
  void painted(const QList<QPoint>& pixels);
  void strokeEnded();
  void picked(QPoint pixel);
  void hovered(QPoint pixel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
  int zoom_ = 3;
  bool grid_ = false;
  bool stroking_ = false;
  QPoint last_;  // the last pixel painted in this stroke
};

// One of the nine mix colours to paint with: a swatch that takes the focus, checked by a
// click, the space bar, or the arrow keys from its neighbour.
class MixSwatch : public QAbstractButton {
  Q_OBJECT
 public:
  MixSwatch(int code, QWidget* parent);
  int Code() const { return code_; }
  void SetColor(vantrel::TColor color);
  vantrel::TColor Color() const { return color_; }
  QSize sizeHint() const override { return {24, 20}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int code_;
  vantrel::TColor color_ = 0;
};

class ZoomWindow : public QWidget {
  Q_OBJECT
 public:
  // Reads what it shows from `session`, which outlives it.
  ZoomWindow(const vantrel::Session& session, QWidget* parent);

  // Shows the session's conversion as it is now.
  void Refresh();
  // The target's refresh rate sets the flicker's pace.
  void SetMachine(vantrel::Machine machine);

  void SetZoom(int factor);
  int Zoom() const { return view_->Zoom(); }
  void SetMode(ZoomMode mode);
  ZoomMode Mode() const { return mode_; }
  void SetGrid(bool on);
  bool Grid() const;
  // The mix colour the left button paints, 1..9.
  void SetChosenCode(int code);
  int ChosenCode() const { return chosen_; }
  // The frame the flicker shows now (1 or 2), and the milliseconds between its changes.
  int FlickerFrame() const { return flickerFrame_; }
  int FlickerInterval() const { return flicker_.interval(); }

  ZoomView* View() const { return view_; }
  const std::array<MixSwatch*, 9>& Swatches() const { return swatches_; }
  QComboBox* ZoomBox() const { return zoomBox_; }
  QComboBox* ModeBox() const { return modeBox_; }

 signals:
  void strokeStarted();
  void painted(const QList<QPoint>& pixels);
  void strokeEnded();
  void picked(QPoint pixel);
  void visibilityChanged(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowMode();
  void ShowPixelInfo(QPoint pixel);
  void ShowSwatches();

  const vantrel::Session& session_;
  ZoomView* view_;
  QScrollArea* scroll_;
  QComboBox* zoomBox_;
  QComboBox* modeBox_;
  QCheckBox* gridBox_;
  QLabel* info_;
  std::array<MixSwatch*, 9> swatches_{};
  ZoomMode mode_ = ZoomMode::Mix;
  int chosen_ = 1;
  QPoint swatchCell_;  // a pixel of the cell whose mixes the swatches show
  QImage mix_, frame1_, frame2_;
  QTimer flicker_;
  int flickerFrame_ = 1;
};
