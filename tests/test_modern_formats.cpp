// Still pictures in the formats of today's phones and cameras: HEIF, AVIF, JPEG XL, RAW.
#include <gtest/gtest.h>
