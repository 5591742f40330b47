#pragma once
// The colour science shared by the error figures and Best quality: sRGB to linear light,
// linear light to CIE XYZ relative to the D65 white, and CIELAB's companding.

#include <cmath>

namespace cielab {

// sRGB (IEC 61966-2-1) to XYZ, each row divided by the D65 white's component, so white
// gives 1, 1, 1 and every colour of the gamut lies in 0..1.
inline constexpr double whiteX = 0.95047, whiteZ = 1.08883;
inline constexpr double toXyz[3][3] = {
    {0.4124564 / whiteX, 0.3575761 / whiteX, 0.1804375 / whiteX},
    {0.2126729, 0.7151522, 0.0721750},
    {0.0193339 / whiteZ, 0.1191920 / whiteZ, 0.9503041 / whiteZ},
};

// The companding: the cube root, with a straight line near black.
inline constexpr double epsilon = 216.0 / 24389.0;
inline constexpr double kappa = 24389.0 / 27.0;

inline double compand(double t) {
    return t > epsilon ? std::cbrt(t) : (kappa * t + 16.0) / 116.0;
}

// A channel value 0..255 in linear light 0..1.
inline double linearOf(double v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace cielab
