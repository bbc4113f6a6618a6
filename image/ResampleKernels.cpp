// Filter kernels of the interpolating samplers, evaluated in float with pi = 3.1415927f, and
// J1 by the classical rational approximations (a ratio of polynomials in u^2 below 8, the
// asymptotic form with P1 and Q1 beyond).
#include "image/ResampleKernels.h"

#include <cmath>

namespace vx::kernels {

namespace {

float Sinc(float u)
{
    if (u == 0.0f)
        return 1.0f;
    const float pu = kPi * u;
    return std::sin(pu) / pu;
}

float Cube(float u) { return u * u * u; }

// Sinc(t) times a window that is zero for |t| beyond `reach`.
template <typename Window>
float WindowedSinc(float t, float reach, Window window)
{
    if (std::fabs(t) > reach)
        return 0.0f;
    if (t == 0.0f)
        return 1.0f;
    return Sinc(t) * window(t);
}

// Cubic B-spline from truncated powers P(u) = max(u, 0). The terms reach 64 while the result
// falls to 0 near t = 2, so the sum is formed in double to keep the kernel symmetric.
float BSpline(float t)
{
    if (t > 2.0f)
        return 0.0f;
    auto truncatedCube = [](double u) { return u > 0.0 ? u * u * u : 0.0; };
    const double u = t;
    return static_cast<float>(
        (truncatedCube(u + 2.0) - 4.0 * truncatedCube(u + 1.0) + 6.0 * truncatedCube(u) - 4.0 * truncatedCube(u - 1.0)) /
        6.0);
}

// Keys' cubic convolution with parameter a (a = -1 and a = -0.5 are both offered).
float CubicConvolution(float t, float a)
{
    const float at = std::fabs(t);
    if (at < 1.0f)
        return (a + 2.0f) * Cube(at) - (a + 3.0f) * t * t + 1.0f;
    if (at < 2.0f)
        return a * Cube(at) - 5.0f * a * t * t + 8.0f * a * at - 4.0f * a;
    return 0.0f;
}

float Lanczos6(float t)
{
    return WindowedSinc(t, 6.0f, [](float u) { return Sinc(u / 6.0f); });
}

float Box(float t) { return (t >= -0.5f && t < 0.5f) ? 1.0f : 0.0f; }

// Hermite smoothstep; `scale` multiplies the cubic part (1 for the plain kernel, 0.92 for the softened one).
float Hermite(float t, float scale)
{
    if (t >= -1.0f && t < 0.0f)
        return scale * (-2.0f * t - 3.0f) * t * t + 1.0f;
    if (t >= 0.0f && t < 1.0f)
        return scale * (2.0f * t - 3.0f) * t * t + 1.0f;
    return 0.0f;
}

float Blackman(float t) { return 0.42f + 0.5f * std::cos(kPi * t) + 0.08f * std::cos(2.0f * kPi * t); }

float Bessel(float t)
{
    if (t == 0.0f)
        return 0.7853982f; // the limit pi/4
    return static_cast<float>(BesselJ1(kPi * t) / (2.0f * t));
}

float Gaussian(float t) { return std::exp(-2.0f * t * t) * 0.7978846f; }

float Quadratic(float t)
{
    const float at = std::fabs(t);
    if (at < 0.5f)
        return 0.75f - t * t;
    if (at < 1.5f)
        return 0.5f * (at - 1.5f) * (at - 1.5f);
    return 0.0f;
}

// Mitchell-Netravali with B = C = 1/3.
float Mitchell(float t)
{
    const float at = std::fabs(t);
    if (at < 1.0f)
        return (7.0f / 6.0f) * Cube(at) - 2.0f * t * t + 8.0f / 9.0f;
    if (at < 2.0f)
        return -(7.0f / 18.0f) * Cube(at) + 2.0f * t * t - (10.0f / 3.0f) * at + 16.0f / 9.0f;
    return 0.0f;
}

float CatmullRom(float t)
{
    const float at = std::fabs(t);
    if (at < 1.0f)
        return (3.0f * Cube(at) - 5.0f * t * t + 2.0f) / 2.0f;
    if (at < 2.0f)
        return (-Cube(at) + 5.0f * t * t - 8.0f * at + 4.0f) / 2.0f;
    return 0.0f;
}

float HannSinc(float t)
{
    return WindowedSinc(t, 1.0f, [](float u) { return 0.5f * (1.0f + std::cos(kPi * u)); });
}

float Power2(float t) { return std::fabs(t) <= 1.0f ? 1.0f - t * t : 0.0f; }

// Evaluates sum(c[i] * v^i) from the highest coefficient down.
template <int N>
double Polynomial(const double (&c)[N], double v)
{
    double sum = c[N - 1];
    for (int i = N - 2; i >= 0; --i)
        sum = sum * v + c[i];
    return sum;
}

// The ratio of two polynomials at v.
template <int N, int M>
double Rational(const double (&numerator)[N], const double (&denominator)[M], double v)
{
    return Polynomial(numerator, v) / Polynomial(denominator, v);
}

// J1(u) / u for 0 <= u < 8 as a ratio of two polynomials of degree 8 in u^2.
double J1OverU(double u)
{
    static const double numerator[] = {
        0.581199354001606143928050809e+21,  -0.6672106568924916298020941484e+20,
        0.2316433580634002297931815435e+19, -0.3588817569910106050743641413e+17,
        0.2908795263834775409737601689e+15, -0.1322983480332126453125473247e+13,
        0.3413234182301700539091292655e+10, -0.4695753530642995859767162166e+7,
        0.270112271089232341485679099e+4,
    };
    static const double denominator[] = {
        0.11623987080032122878585294e+22,   0.1185770712190320999837113348e+20,
        0.6092061398917521746105196863e+17, 0.2081661221307607351240184229e+15,
        0.5243710262167649715406728642e+12, 0.1013863514358673989967045588e+10,
        0.1501793594998585505921097578e+7,  0.1606931573481487801970916749e+4,
        0.1e+1,
    };
    return Rational(numerator, denominator, u * u);
}

// The amplitude terms P1 and Q1 of the asymptotic form, rational in (8/u)^2.
double P1(double u)
{
    static const double numerator[] = {
        0.352246649133679798341724373e+5, 0.62758845247161281269005675e+5,
        0.313539631109159574238669888e+5, 0.49854832060594338434500455e+4,
        0.2111529182853962382105718e+3,   0.12571716929145341558495e+1,
    };
    static const double denominator[] = {
        0.352246649133679798068390431e+5, 0.626943469593560511888833731e+5,
        0.312404063819041039923015703e+5, 0.4930396490181088979386097e+4,
        0.2030775189134759322293574e+3,   0.1e+1,
    };
    return Rational(numerator, denominator, (8.0 / u) * (8.0 / u));
}

double Q1(double u)
{
    static const double numerator[] = {
        0.3511751914303552822533318e+3, 0.7210391804904475039280863e+3,
        0.4259873011654442389886993e+3, 0.831898957673850827325226e+2,
        0.45681716295512267064405e+1,   0.3532840052740123642735e-1,
    };
    static const double denominator[] = {
        0.74917374171809127714519505e+4, 0.154141773392650970499848051e+5,
        0.91522317015169922705904727e+4, 0.18111867005523513506724158e+4,
        0.1038187585462133728776636e+3,  0.1e+1,
    };
    return Rational(numerator, denominator, (8.0 / u) * (8.0 / u));
}

} // namespace

double BesselJ1(double u)
{
    if (u == 0.0)
        return 0.0;
    const double au = std::fabs(u);
    double value;
    if (au < 8.0) {
        value = au * J1OverU(au);
    } else {
        const double invSqrt2 = 1.0 / std::sqrt(2.0);
        const double s = std::sin(au);
        const double c = std::cos(au);
        value = std::sqrt(2.0 / (kPi * au)) *
                (P1(au) * invSqrt2 * (s - c) - (8.0 / au) * Q1(au) * (-invSqrt2 * (s + c)));
    }
    return u < 0.0 ? -value : value;
}

float Weight(std::int32_t method, float t)
{
    switch (method) {
    case 3: return BSpline(t);
    case 4: return CubicConvolution(t, -1.0f);
    case 5: return CubicConvolution(t, -0.5f);
    case 6: return Lanczos6(t);
    case 7: return Box(t);
    case 8: return Hermite(t, 1.0f);
    case 9: return Hermite(t, 0.92f);
    case 10: return Sinc(t);
    case 11: return Blackman(t);
    case 12: return Bessel(t);
    case 13: return Gaussian(t);
    case 14: return Quadratic(t);
    case 15: return Mitchell(t);
    case 16: return CatmullRom(t);
    case 17: return HannSinc(t);
    case 18: return Power2(t);
    default: return 0.0f;
    }
}

std::int32_t Reach(std::int32_t method) { return method == 6 ? 6 : 2; }

} // namespace vx::kernels
