// The program's icon: a framed picture of hills under a sun on a blue
// ground, drawn at any size. The window shows it; the build writes it as the
// PNG sizes the desktop installs (the SVG in app/desktop/ draws the same).
#pragma once

#include <QIcon>
#include <QImage>

namespace AppIcon {

QImage Draw(int size);
// Every installed size in one icon.
QIcon Icon();
constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

} // namespace AppIcon
