// Previews of HEIC and JPEG XL pictures next to their libraries' own decode of the whole picture.
#include <benchmark/benchmark.h>
