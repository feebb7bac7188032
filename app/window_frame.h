// Windows are laid out by their outer size, frame and title bar included, as the window
// system draws them around the client area.
#pragma once

#include <QSize>

class QWidget;

// Sizes `window` so that its outer size is `outer`. Until the window system reports the
// frame it draws, a classic one stands in (4 pixels on each side, a 19-pixel title bar).
// Whenever the reported frame changes, on the first show or any later one, the client area
// grows or shrinks by the difference, so the outer size in force holds: `outer` at first,
// or whatever size the user has since given the window. The window stays resizable.
void SetOuterSize(QWidget& window, QSize outer);

// The client size a window of outer size `outer` gets while its real frame is unknown.
QSize ClassicClientSize(QSize outer);

class QPoint;
class QRect;

// Where a window of outer size `outer` meant for `place` goes in the screen area `available`:
// at `place` when it fits there whole, else moved just enough to fit (to the area's top-left
// corner when it is larger than the area).
QPoint FittedPlace(const QRect& available, const QPoint& place, QSize outer);

// Moves `window` to `place` on the screen, fitted into the screen's available area.
void PlaceOnScreen(QWidget& window, const QPoint& place, QSize outer);
