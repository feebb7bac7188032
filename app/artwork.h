// The title banner and the About picture, drawn at start-up.
#pragma once

#include <QImage>

QImage MakeBannerPicture();  // 601 x 43
QImage MakeAboutPicture();   // 80 x 80
