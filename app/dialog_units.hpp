#pragma once
// Dialog units to pixels, as the dialog font of the original templates converts them
// (8 pt at 96 dpi: 6 pixels per 4 horizontal units, 13 pixels per 8 vertical units,
// rounded to the nearest pixel like the system's own conversion).

namespace edbx::gui {

inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;

/// a * b / c rounded half away from zero.
constexpr int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  const long long q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
  return static_cast<int>(q);
}
constexpr int DluX(int units) { return MulDiv(units, kBaseUnitX, 4); }
constexpr int DluY(int units) { return MulDiv(units, kBaseUnitY, 8); }

}  // namespace edbx::gui
