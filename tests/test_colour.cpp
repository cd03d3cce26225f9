// Embedded colour profiles converted to sRGB.
#include <gtest/gtest.h>
