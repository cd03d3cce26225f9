// The decoder pool the window tests hand their windows: one for the test
// program, its helpers kept from one test to the next as the program keeps them.
#pragma once

#include "imaging/DecoderPool.h"

inline DecoderPool& TestDecoderPool() {
    static DecoderPool pool;
    return pool;
}
