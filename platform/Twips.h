// Twips, the unit of window and control positions in the program's layout: 1/1440 of
// an inch, 15 to a (device-independent) pixel, always. Standard library only.
#pragma once

constexpr int kTwipsPerPixel = 15;
