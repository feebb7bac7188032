// Windows are laid out by their outer size, frame and title bar included, as the window
// system draws them around the client area.
#pragma once

#include <QSize>

class QWidget;

// Sizes `window` so that its outer size is `outer`. Until the window system reports the
// frame it draws, a classic one stands in (4 pixels on each side, a 19-pixel title bar); the
// first time the window is shown with a frame of another size, the client area is corrected
// so the outer size holds. The window stays resizable either way.
void SetOuterSize(QWidget& window, QSize outer);

// The client size a window of outer size `outer` gets while its real frame is unknown.
QSize ClassicClientSize(QSize outer);
