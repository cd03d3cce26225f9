// ICC profiles made with LittleCMS, and pictures that carry them written by
// FreeImage, for the colour tests.
#pragma once

#include <FreeImage.h>
#include <cstdint>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <vector>

using Icc = std::vector<uint8_t>;

// The bytes of `profile`, which is closed.
inline Icc Saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    EXPECT_TRUE(cmsSaveProfileToMem(profile, nullptr, &size));
    Icc bytes(size);
    EXPECT_TRUE(cmsSaveProfileToMem(profile, bytes.data(), &size));
    cmsCloseProfile(profile);
    return bytes;
}

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

// A matrix-shaper profile: these primaries and white point, with one tone
// curve for all three channels (freed here).
inline Icc RgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve,
                      const cmsCIExyY& white = kD65) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return Saved(profile);
}

// sRGB's tone curve: a power (of 2.4 in sRGB itself) with a straight segment
// near black.
inline cmsToneCurve* SrgbCurve(double exponent = 2.4) {
    const cmsFloat64Number parameters[] = {exponent, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

inline Icc AdobeRgb() {
    constexpr double kAdobeGamma = 563.0 / 256.0;
    return RgbProfile({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                      cmsBuildGamma(nullptr, kAdobeGamma));
}

// `b` written by FreeImage in `format`, carrying `icc` unless it is empty.
inline std::vector<uint8_t> Encoded(FIBITMAP* b, FREE_IMAGE_FORMAT format, int flags,
                                    const Icc& icc) {
    FIBITMAP* copy = FreeImage_Clone(b);
    if (!icc.empty())
        FreeImage_CreateICCProfile(copy, const_cast<uint8_t*>(icc.data()), long(icc.size()));
    FIMEMORY* memory = FreeImage_OpenMemory();
    EXPECT_TRUE(FreeImage_SaveToMemory(format, copy, memory, flags));
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    std::vector<uint8_t> bytes(data, data + size);
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(copy);
    return bytes;
}
