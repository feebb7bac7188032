// The zoom window's glue: touch-up paint and picks go to the session, and the zoom follows
// every change while it is open.
#include "app/Overlay.h"
#include "app/zoom_window.h"

using namespace vantrel;

// The zoom window follows every change while it is open (and catches up when it opens).
void TForm1::RefreshZoom() {
  if (ZoomForm && ZoomForm->isVisible()) ZoomForm->Refresh();
}

// Paints the pixels in the colour chosen in the zoom window; the stroke becomes one step to
// undo when the button is let go.
void TForm1::PaintPixels(const QList<QPoint>& pixels) {
  if (!session_.PictureLoaded()) return;
  for (const QPoint& pixel : pixels) {
    session_.PaintPixel(pixel.x(), pixel.y(), ZoomForm->ChosenCode());
  }
  RedrawPreview();
}

// The colour under the pointer becomes the one to paint with.
void TForm1::PickPixel(QPoint pixel) {
  if (!session_.PictureLoaded()) return;
  ZoomForm->SetChosenCode(session_.MixCodeAt(pixel.x(), pixel.y()));
}

void TForm1::ClearEdits1Click() {
  if (session_.PixelEdits().Empty()) return;
  session_.SetEdits({});
  RedrawPreview();
}

void TForm1::Zoom1Click() {
  if (ZoomForm->isVisible()) {
    ZoomForm->hide();
    return;
  }
  ZoomForm->Refresh();
  ZoomForm->show();
  ZoomForm->raise();
  ZoomForm->activateWindow();
}
