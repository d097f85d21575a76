#pragma once
// The start-up picture, drawn rather than loaded so that it needs no file.
#include <QPixmap>

namespace delvora {

/// How long the splash stays up.
inline constexpr int kSplashMs = 2000;

QPixmap MakeSplashPixmap();

}  // namespace delvora
