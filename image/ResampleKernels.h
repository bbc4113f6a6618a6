// Filter kernels of the interpolating samplers: k(t) for each interpolation method code
// (3 to 18), the window each one reads, and the Bessel function J1 the Bessel kernel needs.
// Method codes outside 3..18 have no kernel here (the samplers treat them as bilinear).
#pragma once

#include <cstdint>

namespace vx::kernels {

// Pi as the samplers use it: the nearest float.
constexpr float kPi = 3.1415927f;

// k(t) of the method; 0 for codes without a kernel.
float Weight(std::int32_t method, float t);

// The window of a kernel method around xi = floor(x) runs from xi - (reach - 1) to xi + reach:
// 6 for the radius-6 Lanczos window (12 taps), 2 for every other kernel (4 taps).
std::int32_t Reach(std::int32_t method);

// Bessel function of the first kind of order one (odd, 0 at 0).
double BesselJ1(double u);

} // namespace vx::kernels
