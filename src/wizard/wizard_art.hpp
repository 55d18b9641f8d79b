// wizard_art: the wizard's pictures, drawn in code so that nothing but the
// program has to be installed: the watermark of the first and last pages,
// the banner and logo of the inner pages, the program icon and the eight
// frames of the "connecting" animation.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace wizard_art {

QPixmap watermark();
QPixmap banner();
QPixmap logo();
QIcon icon();
// Frame 0..7 of the connecting animation.
QPixmap connecting_frame(int frame);
inline constexpr int connecting_frames = 8;

}  // namespace wizard_art
