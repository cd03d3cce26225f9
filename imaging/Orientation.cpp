#include "imaging/Orientation.h"

// Placeholder until orientations are built.

namespace Orientation {
int After(int orientation, Turn) {
    return orientation;
}
Turn Inverse(Turn turn) {
    return turn;
}
std::optional<int> ReadJpeg(const std::vector<uint8_t>&) {
    return std::nullopt;
}
bool WriteJpeg(std::vector<uint8_t>&, int) {
    return false;
}
} // namespace Orientation
