#pragma once
// The quantization methods in the order of the quantize window's STYLE list.

inline constexpr int styleUniform = 0;
inline constexpr int stylePopularity = 1;
inline constexpr int styleAdaptive = 2;
inline constexpr int styleCga = 3;
inline constexpr int styleEga = 4;
inline constexpr int styleTruColor = 5;
inline constexpr int styleHuman = 6;
inline constexpr int styleNeuquant = 7;
inline constexpr int styleFlat8 = 8;
inline constexpr int styleFlat64 = 9;
inline constexpr int styleFlat512 = 10;
inline constexpr int styleFlat4096 = 11;
inline constexpr int styleLemon = 12;
inline constexpr int styleBerry = 13;
inline constexpr int styleOcean = 14;
inline constexpr int styleBest = 15;
inline constexpr int styleCount = 16;
