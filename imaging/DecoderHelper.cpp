// vantrel-decoder: decodes still pictures for the program in a confined
// process, so that a damaged file can take down only this helper. It reads
// requests from the socket at descriptor 3, each with the picture's open
// file; it opens nothing itself. Each answer carries the pixels in a sealed
// memory file the program maps.
#include "imaging/HelperLoop.h"

int main() {
    return HelperLoop::Run();
}
