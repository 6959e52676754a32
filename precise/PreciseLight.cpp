// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "PreciseLight.h"
#include "OrbitScene.h"

#include "Quadrature.h"
#include "light/Irradiation.h"
#include "light/Passband.h"
#include "render/StarColor.h"
#include "roche/Constants.h"
#include "roche/LobeRadius.h"
#include "roche/Roche.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

namespace corvane::precise {

namespace {

constexpr double kPi = std::numbers::pi;

struct Vec {
    double x = 0, y = 0, z = 0;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(Vec a) { return std::sqrt(dot(a, a)); }

// Three colour channels, red, green, blue.
struct Rgb3 {
    double r = 0, g = 0, b = 0;
    Rgb3& operator+=(const Rgb3& o) {
        r += o.r;
        g += o.g;
        b += o.b;
        return *this;
    }
};
Rgb3 operator*(double s, const Rgb3& c) { return {s * c.r, s * c.g, s * c.b}; }
Rgb3 operator-(const Rgb3& a, const Rgb3& b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }

// One star's equipotential in its own frame (the star at the origin, its companion at x = 1):
//   Omega = 1/|p| + q (1/|p - x| - p_x) + (1 + q)/2 (p_x^2 + p_y^2)
// Star 2's own frame is the orbital one mirrored in x (p_x = 1 - P_x); the potential is even in y and z.
struct Side {
    double q = 1;
    double omega0 = 0; // the surface: Omega = omega0
    bool mirrored = false;
};

// The potential of side s at the orbital point P and its gradient in the orbital frame.
double potential(const Side& s, const Vec& P, Vec& grad) {
    const double x = s.mirrored ? 1 - P.x : P.x;
    const double y = P.y, z = P.z;
    const double d1sq = x * x + y * y + z * z;
    const double dx = x - 1;
    const double d2sq = dx * dx + y * y + z * z;
    const double i1 = 1 / std::sqrt(d1sq);
    const double i2 = 1 / std::sqrt(d2sq);
    const double i13 = i1 * i1 * i1;
    const double i23 = i2 * i2 * i2;
    const double q = s.q;
    const double gx = -x * i13 - q * dx * i23 - q + (1 + q) * x;
    grad.x = s.mirrored ? -gx : gx;
    grad.y = -y * i13 - q * y * i23 + (1 + q) * y;
    grad.z = -z * i13 - q * z * i23;
    return i1 + q * (i2 - x) + 0.5 * (1 + q) * (x * x + y * y);
}

enum class Kind { Sphere, Roche, Spin, Envelope };

struct Body {
    Kind kind = Kind::Sphere;
    Vec centre;
    int star = 1;          // 1 or 2, 0 for the contact envelope
    double sphereRadius = 0;
    Side side[2];          // Roche: side[0]; envelope: star 1's (x <= L1) and star 2's
    double L1 = 0.5;       // orbital x of the inner Lagrangian point
    double spinK = 0;      // the spinning star: 2 r - 4 K cos^2(Phi) r^3 - 1 = 0
    double rCap = 1.5;     // no radius beyond this
    double rTypical = 0.3; // a first guess
    double gPole[2] = {0, 0}; // |grad Omega| at the pole of each side (gravity darkening; 0: none)
};

struct Solved {
    double r = 0;
    Vec g; // outward normal, not normalised
};

// The surface along the ray c + r u from the body's centre: the first r where the body's surface
// function S (negative inside) changes sign, by Newton's method kept inside a bracket that shrinks
// with every evaluation; a ray that is still inside at the cap (or at the plane that ends a star at
// the inner Lagrangian point) ends there, on that surface.
Solved solveRadius(const Body& b, const Vec& u, double guess) {
    Solved out;
    if (b.kind == Kind::Sphere) {
        out.r = b.sphereRadius;
        out.g = u;
        return out;
    }
    double limit = b.rCap;
    bool plane = false;
    Vec limitNormal = u;
    if (b.kind == Kind::Roche) {
        // A star that overflows its lobe is cut, on the half facing its companion, at the distance L
        // of the inner Lagrangian point from its axis (the cylinder r cos(Phi) = L), as the shape
        // of the drawing is.
        const double facing = b.star == 1 ? u.x : -u.x;
        const double axial = std::sqrt(u.x * u.x + u.y * u.y);
        if (facing > 0 && axial > 0) {
            const double L = b.star == 1 ? b.L1 : 1 - b.L1;
            const double rc = L / axial;
            if (rc < limit) {
                limit = rc;
                plane = true;
                limitNormal = {u.x / axial, u.y / axial, 0};
            }
        }
    }
    const Side& side = b.kind == Kind::Envelope && u.x > 0 ? b.side[1] : b.side[0];
    const double c2 = u.x * u.x + u.y * u.y;
    auto eval = [&](double r, double& f, double& fp, Vec& g) {
        if (b.kind == Kind::Spin) {
            // S = 2|p| - 4 K |p| (p_x^2 + p_y^2) - 1 along the ray: 2r - 4 K c2 r^3 - 1.
            f = 2 * r - 4 * b.spinK * c2 * r * r * r - 1;
            fp = 2 - 12 * b.spinK * c2 * r * r;
            const Vec p = r * u;
            const double pxy = p.x * p.x + p.y * p.y;
            g = (2 - 4 * b.spinK * pxy) * u - (8 * b.spinK * r) * Vec{p.x, p.y, 0};
            return;
        }
        const Vec P = b.centre + r * u;
        Vec grad;
        f = side.omega0 - potential(side, P, grad);
        g = -1.0 * grad;
        fp = dot(g, u);
    };
    double lo = 0, hi = limit;
    bool hiChecked = false;
    double r = std::clamp(guess > 0 && std::isfinite(guess) ? guess : b.rTypical, 1e-6 * limit, 0.999 * limit);
    double f = 0, fp = 0;
    Vec g;
    for (int pass = 0; pass < 100; ++pass) {
        eval(r, f, fp, g);
        if (f < 0) {
            lo = r;
        } else {
            hi = r;
            hiChecked = true;
        }
        const double step = fp > 0 ? f / fp : 0;
        if (fp > 0 && std::fabs(step) <= 1e-8 * r) {
            // Newton's error squares at each pass: after this step it is of the order of 1e-16, and
            // the gradient just evaluated is within 1e-8 of the one there.
            out.r = r - step;
            out.g = g;
            return out;
        }
        double next = r - step;
        if (!(fp > 0) || !(next > lo) || !(next < hi)) {
            if (!hiChecked) {
                double fl = 0, fpl = 0;
                Vec gl;
                eval(limit, fl, fpl, gl);
                hiChecked = true;
                if (fl < 0 && !plane) {
                    // Inside again at the cap: either the surface is open there, or the cap lies
                    // beyond where the centrifugal term brings the potential back up (and the
                    // iteration may have jumped there). Step out from the centre for the first point
                    // outside.
                    lo = 0;
                    for (double rr = 0.01 * limit; rr < limit; rr = std::min(1.08 * rr + 1e-3, limit)) {
                        double fr = 0, fpr = 0;
                        Vec gr;
                        eval(rr, fr, fpr, gr);
                        if (fr >= 0) {
                            fl = fr;
                            hi = rr;
                            break;
                        }
                        lo = rr;
                    }
                }
                if (fl < 0) {
                    // Still inside: the star's face on the cut, or an open surface cut at the cap
                    // (its own gradient there).
                    out.r = limit;
                    out.g = plane ? limitNormal : gl;
                    return out;
                }
            }
            next = 0.5 * (lo + hi);
        }
        if (hi - lo <= 1e-15 * hi) {
            r = next;
            break;
        }
        r = next;
    }
    eval(r, f, fp, g);
    out.r = r;
    out.g = g;
    return out;
}

// Illinois (modified regula falsi) on a bracket [a, b] with f(a), f(b) of opposite signs.
template <class F>
double illinois(F&& f, double a, double fa, double b, double fb, double tol) {
    if (fa == 0) {
        return a;
    }
    if (fb == 0) {
        return b;
    }
    int side = 0;
    double c = a;
    for (int pass = 0; pass < 80; ++pass) {
        c = (a * fb - b * fa) / (fb - fa);
        if (!(c > std::min(a, b) && c < std::max(a, b))) {
            c = 0.5 * (a + b);
        }
        const double fc = f(c);
        if (fc == 0 || std::fabs(b - a) < tol) {
            return c;
        }
        if ((fc > 0) == (fb > 0)) {
            b = c;
            fb = fc;
            if (side == -1) {
                fa *= 0.5;
            }
            side = -1;
        } else {
            a = c;
            fa = fc;
            if (side == 1) {
                fb *= 0.5;
            }
            side = 1;
        }
        if (std::fabs(b - a) < tol) {
            return 0.5 * (a + b);
        }
    }
    return c;
}

// A point of the walk round a body in the plane of e (on the sky) and v (towards the viewer):
// u = cos(alpha) e + sin(alpha) v, the surface at r(alpha) u, its sky radius rho = r cos(alpha) and
// d rho / d alpha, from r' = -r (g . u') / (g . u).
struct WalkPoint {
    double alpha = 0, r = 0, rho = 0, drho = 0;
    Vec P, g;
};

// The rules are the same for every model: made once for each size.
const GaussRule& cachedRule(int n) {
    static const std::vector<GaussRule> rules = [] {
        std::vector<GaussRule> all;
        for (int k = 0; k <= 200; ++k) {
            all.push_back(gaussLegendre(std::max(k, 1)));
        }
        return all;
    }();
    return rules[static_cast<std::size_t>(std::clamp(n, 1, 200))];
}

} // namespace

struct PreciseLight::Impl {
    render::SceneInputs in;
    int resolution = 1;
    std::vector<Body> bodies;
    bool envelope = false;
    bool symmetric = true;     // the light at eta and pi - eta is the same
    bool spotAdded = false;    // the spot is added as its own integral, not through intensity()
    // Every point's light weighted by a coordinate of its place d from the body's centre: the
    // integrals are then the numerators of flux-weighted means. Weight::Rotation is the line-of-sight
    // velocity of the star's rotation about its own axis, (Omega z x d) . (-v) / Omega = d_y v_x - d_x v_y
    // (positive receding); Weight::SkyX and Weight::SkyY are d's sky coordinates along e1 = z x v / |z x v|
    // and e2 = v x e1, the sky projection of the orbit's axis.
    Weight weight = Weight::Light;
    double scale = 1; // square pixels per square unit of separation
    Rgb3 colour1, colour2;
    double temp1 = 0, temp2 = 0;
    // A passband instead of the screen colours: the band's table (none for "Bolometric"), and the
    // factor that makes 5772 K radiate 255 at the disc's centre.
    bool inBand = false;
    const light::BandIntensity* band = nullptr;
    double bandScale = 1;
    Channels third{}; // L3 / (1 - L3) times the light at quadrature, added to every phase
    // Reflection (two separate bodies only): for the body k, A_k T_c^4 of its companion c, the
    // companion's centre and the radius of the sphere of its volume, which stands for it as the source.
    bool reflection = false;
    double heatT4[2] = {0, 0};
    double sourceRadius[2] = {0, 0};

    // What a surface at temperature T radiates at the disc's centre, per channel.
    Rgb3 colourOf(double T) const {
        if (!inBand) {
            const render::Rgb c = render::StarColorTemp(T, in.Colour);
            return {c.R, c.G, c.B};
        }
        const double S = bandScale * (band != nullptr ? band->normal(T) : light::bolometricIntensity(T));
        return {S, S, S};
    }
    // The limb-darkening law of star 1 or 2 at mu; the linear law as the shading writes it.
    double darkening(int star, double mu) const {
        const double a = star == 2 ? in.Limb2 : in.Limb1;
        if (in.Light.law == light::LimbLaw::Linear) {
            return 1 - a * std::fabs(1 - mu);
        }
        return light::limbProfile(in.Light.law, a, star == 2 ? in.Light.limb2b : in.Light.limb1b, mu);
    }
    int nAlpha = 16, nPsi = 32, nArc = 24, nWalk = 32, alphaPanels = 1;
    GaussRule gaussAlpha, gaussArc, gaussSpot;

    WalkPoint walkPoint(const Body& b, const Vec& e, const Vec& v, double alpha, double guess) const {
        WalkPoint w;
        w.alpha = alpha;
        const double ca = std::cos(alpha), sa = std::sin(alpha);
        const Vec u = ca * e + sa * v;
        const Vec up = (-sa) * e + ca * v;
        const Solved s = solveRadius(b, u, guess);
        w.r = s.r;
        w.g = s.g;
        w.P = b.centre + s.r * u;
        const double gu = dot(s.g, u);
        const double rp = gu != 0 ? -s.r * dot(s.g, up) / gu : 0;
        w.rho = s.r * ca;
        w.drho = rp * ca - s.r * sa;
        return w;
    }

    // What one surface point radiates towards v, per channel.
    Rgb3 intensity(const Body& b, const WalkPoint& w, const Vec& v) const {
        const double gn = norm(w.g);
        const double mu = gn > 0 ? std::max(0.0, dot(w.g, v) / gn) : 0.0;
        const Vec& P = w.P;
        int star = b.star;
        Rgb3 colour = star == 2 ? colour2 : colour1;
        int lawOf = star == 2 ? 2 : 1;
        if (b.kind == Kind::Envelope) {
            const bool side1 = P.x <= b.L1;
            lawOf = side1 ? 1 : 2;
            if (P.x < 0) {
                star = 1;
                colour = colour1;
            } else if (P.x > 1) {
                star = 2;
                colour = colour2;
            } else {
                star = 0; // the neck: its temperature blend, never the spot
                const double sideTemp = side1 ? temp1 : temp2;
                const double T = render::NeckTemperature(P.x, b.L1, temp1, temp2, sideTemp);
                if (T != sideTemp || temp1 != temp2) {
                    colour = neckColour(T);
                } else {
                    colour = side1 ? colour1 : colour2;
                }
            }
        }
        if (star == 1 && in.Colour.SpotActive && !spotAdded) {
            // The drawing's angles of star 1: Theta = 0 points away from the companion.
            const Vec d = P - Vec{0, 0, 0};
            const double r = norm(d);
            if (r > 0) {
                const double Phi = std::asin(std::clamp(d.z / r, -1.0, 1.0));
                const double Theta = std::atan2(-d.y, -d.x);
                double dist = 0;
                const render::Rgb c = render::StarColor(in.Temp1, 1, Phi, Theta, in.Colour, &dist);
                colour = !inBand ? Rgb3{c.R, c.G, c.B} : dist < in.Colour.SpotRadius ? colourOf(in.Colour.SpotTemp) : colour1;
            }
        }
        // Gravity darkening: the point's temperature from its gravity, on each side its own pole's.
        if (reflection && b.kind != Kind::Envelope) {
            // A separate star (its spot, if any, is added on its own): its own temperature, darkened
            // by gravity, heated by the companion.
            colour = colourOf(heated(b, w.P, w.g, gn, (b.star == 2 ? temp2 : temp1) * gravityFactor(b, 0, gn)));
        } else if (b.kind == Kind::Spin && in.Light.gravity1 != 0) {
            colour = gravityColour(b, w.P, star, 1, std::pow(spinGravity(b, w.P), in.Light.gravity1));
        } else if (const double beta = lawOf == 2 ? in.Light.gravity2 : in.Light.gravity1; beta != 0) {
            const double gp = b.gPole[b.kind == Kind::Envelope && lawOf == 2 ? 1 : 0];
            if (gp > 0 && gn > 0) {
                colour = gravityColour(b, w.P, star, lawOf, std::pow(gn / gp, beta));
            }
        }
        const double bright = darkening(lawOf, mu);
        if (weight != Weight::Light) {
            const Vec d = P - b.centre;
            if (weight == Weight::Rotation) {
                return (bright * (d.y * v.x - d.x * v.y)) * colour;
            }
            Vec e1 = cross(Vec{0, 0, 1}, v);
            e1 = norm(e1) < 1e-12 ? Vec{1, 0, 0} : (1 / norm(e1)) * e1;
            return (bright * dot(d, weight == Weight::SkyX ? e1 : cross(v, e1))) * colour;
        }
        return bright * colour;
    }

    // The spinning star's surface is an equipotential of its own gravity and rotation,
    //   Psi = 1 / rho + K rho^2 cos^2(Phi) / 2 = 1,   rho = 2 r (its polar radius is 1/2),
    // so its effective gravity relative to the pole's (where |grad Psi| = 1) is
    //   g = sqrt((K rho cos^2(Phi) - 1 / rho^2)^2 + (K rho cos(Phi) sin(Phi))^2).
    double spinGravity(const Body& b, const Vec& P) const {
        const Vec d = P - b.centre;
        const double r = norm(d);
        if (!(r > 0)) {
            return 1;
        }
        const double rho = 2 * r;
        const double c2 = (d.x * d.x + d.y * d.y) / (r * r);
        const double gr = b.spinK * rho * c2 - 1 / (rho * rho);
        const double gt = b.spinK * rho * std::sqrt(c2 * std::max(0.0, 1 - c2));
        return std::sqrt(gr * gr + gt * gt);
    }

    // (g / g_pole)^beta of a point of a separate body (side 0) or of the envelope's side, with gn the
    // point's |grad Omega|; 1 without gravity darkening.
    double gravityFactor(const Body& b, int side, double gn) const {
        const int lawOf = b.kind == Kind::Envelope ? side + 1 : b.star;
        const double beta = lawOf == 2 ? in.Light.gravity2 : in.Light.gravity1;
        const double gp = b.gPole[side];
        return beta != 0 && gp > 0 && gn > 0 ? std::pow(gn / gp, beta) : 1.0;
    }

    // The temperature of the point P (outward normal g, |g| = gn) of a separate body whose own
    // temperature there is T, once it re-radiates its share of the companion's light:
    //   T'^4 = T^4 + A T_c^4 Phi,
    // Phi the flux from the companion's sphere in units of its surface flux (light::irradiation).
    double heated(const Body& b, const Vec& P, const Vec& g, double gn, double T) const {
        const int k = b.star == 2 ? 1 : 0;
        if (!reflection || heatT4[k] <= 0 || !(gn > 0)) {
            return T;
        }
        const int c = 1 - k;
        const Vec d = bodies[static_cast<std::size_t>(c)].centre - P;
        const double dist = norm(d);
        if (!(dist > 0)) {
            return T;
        }
        const int companion = c + 1;
        const double phi = light::irradiation(in.Light.law, companion == 2 ? in.Limb2 : in.Limb1,
                                              companion == 2 ? in.Light.limb2b : in.Light.limb1b,
                                              sourceRadius[k] / dist, dot(g, d) / (gn * dist));
        const double T2 = T * T;
        return std::pow(T2 * T2 + heatT4[k] * phi, 0.25);
    }

    // Surface integrals of a separate body over directions u from its centre (Gauss-Legendre in the
    // cosine from the axis, 24 nodes a hemisphere, the two mirror images in the orbital plane taken
    // together; the trapezoid rule in the azimuth, 48): its area, its volume and Int T^4 dA, with T
    // the point's own temperature darkened by gravity and, when heat is set, heated by the companion.
    struct Moments {
        double area = 0, volume = 0, t4 = 0;
    };
    Moments moments(const Body& b, bool heat) const {
        Moments m;
        static const GaussRule rule = gaussLegendre(24);
        constexpr int nAz = 48;
        const double T0 = b.star == 2 ? temp2 : temp1;
        double guess = b.kind == Kind::Sphere ? b.sphereRadius : b.rTypical;
        for (std::size_t i = 0; i < rule.x.size(); ++i) {
            const double nu = 0.5 * (rule.x[i] + 1);
            const double wNu = rule.w[i]; // 2 x (1/2): both hemispheres
            const double s = std::sqrt(std::max(0.0, 1 - nu * nu));
            for (int j = 0; j < nAz; ++j) {
                const double lam = 2 * kPi * (j + 0.5) / nAz;
                const Vec u{s * std::cos(lam), s * std::sin(lam), nu};
                const Solved sol = solveRadius(b, u, guess);
                guess = sol.r;
                const double gn = norm(sol.g);
                const double cosn = gn > 0 ? dot(sol.g, u) / gn : 1.0;
                const double dOmega = wNu * 2 * kPi / nAz;
                const double dA = sol.r * sol.r * dOmega / std::max(cosn, 1e-12);
                double T = T0 * gravityFactor(b, 0, gn);
                if (heat) {
                    T = heated(b, b.centre + sol.r * u, sol.g, gn, T);
                }
                const double T2 = T * T;
                m.area += dA;
                m.volume += sol.r * sol.r * sol.r * dOmega / 3;
                m.t4 += T2 * T2 * dA;
            }
        }
        return m;
    }

    // The colour of a point whose temperature is the star's (or the neck's blend, or the spot's)
    // times factor.
    Rgb3 gravityColour(const Body& b, const Vec& P, int star, int side, double factor) const {
        double T = side == 2 ? temp2 : temp1;
        if (b.kind == Kind::Envelope && star == 0) {
            T = render::NeckTemperature(P.x, b.L1, temp1, temp2, T);
        }
        if (star == 1 && in.Colour.SpotActive && !spotAdded) {
            const double r = norm(P);
            if (r > 0) {
                double dist = 0;
                render::StarColor(in.Temp1, 1, std::asin(std::clamp(P.z / r, -1.0, 1.0)), std::atan2(-P.y, -P.x), in.Colour,
                                  &dist);
                if (dist < in.Colour.SpotRadius) {
                    T = in.Colour.SpotTemp;
                }
            }
        }
        return colourOf(T * factor);
    }

    Rgb3 neckColour(double T) const {
        if (inBand) {
            return colourOf(T); // a band's light is already the temperature's
        }
        const render::Rgb c = render::StarColorTemp(T, in.Colour);
        double f = 1;
        if (in.Colour.Stefan && T != in.Temp1 && T != in.Temp2) {
            if (in.Temp1 <= in.Temp2) {
                f *= std::pow(T / in.Temp2, 4);
            }
            if (in.Temp2 <= in.Temp1) {
                f *= std::pow(T / in.Temp1, 4);
            }
        }
        return {c.R * f, c.G * f, c.B * f};
    }

    // integral over alpha in [a0, a1] of I rho |d rho / d alpha|, Gauss-Legendre.
    Rgb3 piece(const Body& b, const Vec& e, const Vec& v, double a0, double a1, double& guess) const {
        Rgb3 sum;
        // A stretch of the contact envelope's walk runs across a lobe and the neck, where the radius
        // seen from the inner Lagrangian point changes fast: panels of the rule, each over an
        // equal share of the stretch.
        const int panels = b.kind == Kind::Envelope ? alphaPanels : 1;
        const double width = (a1 - a0) / panels;
        for (int p = panels; p-- > 0;) {
            const double lo = a0 + p * width;
            const double half = 0.5 * width, mid = lo + half;
            for (std::size_t k = gaussAlpha.x.size(); k-- > 0;) {
                const double alpha = mid + half * gaussAlpha.x[k];
                const WalkPoint w = walkPoint(b, e, v, alpha, guess);
                guess = w.r;
                sum += (gaussAlpha.w[k] * half * w.rho * std::fabs(w.drho)) * intensity(b, w, v);
            }
        }
        return sum;
    }

    // The limb of a convex body on the line e: where d rho / d alpha = 0, between alpha = -pi/2
    // (d rho / d alpha = r > 0) and pi/2 (-r < 0).
    WalkPoint convexLimb(const Body& b, const Vec& e, const Vec& v, double alphaGuess, double rGuess) const {
        if (b.kind == Kind::Sphere) {
            return walkPoint(b, e, v, 0.0, rGuess);
        }
        double guess = rGuess;
        auto f = [&](double a) {
            const WalkPoint w = walkPoint(b, e, v, a, guess);
            guess = w.r;
            return w.drho;
        };
        const double lo = -0.5 * kPi + 1e-9, hi = 0.5 * kPi - 1e-9;
        double a0 = std::clamp(alphaGuess, lo, hi);
        const double f0 = f(a0);
        const double a1 = std::clamp(a0 + (f0 > 0 ? 0.005 : -0.005), lo, hi);
        const double f1 = f(a1);
        double a = 0, fa = 0, c = 0, fc = 0;
        if ((f0 > 0) != (f1 > 0)) {
            a = a0, fa = f0, c = a1, fc = f1;
        } else if (f0 > 0) {
            a = a1, fa = f1, c = hi, fc = f(hi);
        } else {
            a = lo, fa = f(lo), c = a1, fc = f1;
        }
        // rho and G depend on the limb's angle only to second order (d rho / d alpha = 0 there, and
        // the integrand vanishes): 1e-8 in alpha is 1e-16 in them.
        const double alpha = illinois(f, a, fa, c, fc, 1e-8);
        return walkPoint(b, e, v, alpha, guess);
    }

    struct Radial {
        double rhoLimb = 0, alphaLimb = 0, rLimb = 0;
        Rgb3 G; // the light of the whole radial line, to the limb
    };

    // G to the limb along e, and the limb, for a convex body.
    Radial radialConvex(const Body& b, const Vec& e, const Vec& v, double alphaGuess, double rGuess) const {
        Radial out;
        const WalkPoint limb = convexLimb(b, e, v, alphaGuess, rGuess);
        out.rhoLimb = limb.rho;
        out.alphaLimb = limb.alpha;
        out.rLimb = limb.r;
        double guess = limb.r;
        out.G = piece(b, e, v, limb.alpha, 0.5 * kPi, guess);
        return out;
    }

    // G to rho (inside the limb) along e, for a convex body whose limb on this line is known to be
    // near alphaLimb (rho and G depend on the limb's place to second order only, so an interpolated
    // limb serves as the lower end of the bracket).
    Rgb3 radialConvexTo(const Body& b, const Vec& e, const Vec& v, double rho, double alphaLimb, double rGuess,
                        const Rgb3& whole) const {
        if (rho <= 0) {
            return {};
        }
        const WalkPoint limb = walkPoint(b, e, v, alphaLimb, rGuess);
        double guess = limb.r;
        if (rho >= limb.rho) {
            return whole;
        }
        // rho falls monotonically from the limb to alpha = pi/2: Newton's method on rho(alpha) = rho
        // with the exact slope, kept inside the bracket (a bisection where a step would leave it).
        const double top = 0.5 * kPi;
        double lo = limb.alpha, hi = top;
        double alpha = limb.alpha + std::acos(std::clamp(rho / limb.rho, -1.0, 1.0)) * (top - limb.alpha) / top;
        for (int pass = 0; pass < 60; ++pass) {
            const WalkPoint w = walkPoint(b, e, v, alpha, guess);
            guess = w.r;
            const double f = w.rho - rho;
            (f > 0 ? lo : hi) = alpha;
            double next = w.drho < 0 ? alpha - f / w.drho : 0.5 * (lo + hi);
            if (!(next > lo && next < hi)) {
                next = 0.5 * (lo + hi);
            }
            const bool done = std::fabs(next - alpha) < 1e-13 || hi - lo < 1e-13;
            alpha = next;
            if (done) {
                break;
            }
        }
        guess = limb.r;
        return piece(b, e, v, alpha, top, guess);
    }

    // G along e for a body that may hide part of itself: the walk from alpha = pi/2 (towards the
    // viewer) down to -pi/2 is sampled; every stretch on which rho grows beyond all that came before
    // is the first surface met at those rho and is integrated on its own.
    Radial radialWalk(const Body& b, const Vec& e, const Vec& v, double rGuess) const {
        Radial out;
        const int n = nWalk;
        std::vector<WalkPoint> s(static_cast<std::size_t>(n + 1));
        double guess = rGuess;
        for (int k = 0; k <= n; ++k) {
            const double alpha = 0.5 * kPi - kPi * k / n;
            s[static_cast<std::size_t>(k)] = walkPoint(b, e, v, std::clamp(alpha, -0.5 * kPi + 1e-9, 0.5 * kPi - 1e-9), guess);
            guess = s[static_cast<std::size_t>(k)].r;
        }
        // Extremes of rho between samples: sign changes of d rho / d alpha.
        double g2 = rGuess;
        auto drhoAt = [&](double a) {
            const WalkPoint w = walkPoint(b, e, v, a, g2);
            g2 = w.r;
            return w.drho;
        };
        std::vector<WalkPoint> extremes;
        extremes.push_back(s[0]);
        for (int k = 1; k <= n; ++k) {
            const WalkPoint& p = s[static_cast<std::size_t>(k - 1)];
            const WalkPoint& c = s[static_cast<std::size_t>(k)];
            if ((p.drho > 0) != (c.drho > 0) && k < n) {
                g2 = p.r;
                // An extreme of rho: its place matters to second order only.
                const double a = illinois(drhoAt, p.alpha, p.drho, c.alpha, c.drho, 1e-8);
                extremes.push_back(walkPoint(b, e, v, a, p.r));
            }
        }
        extremes.push_back(s[static_cast<std::size_t>(n)]);
        // Stretches between consecutive extremes; rising ones (rho grows as alpha falls) may show.
        double highest = 0;
        for (std::size_t k = 1; k < extremes.size(); ++k) {
            const WalkPoint& top = extremes[k - 1]; // larger alpha
            const WalkPoint& bottom = extremes[k];  // smaller alpha
            if (!(bottom.rho > top.rho) || !(bottom.rho > highest)) {
                highest = std::max(highest, std::max(top.rho, bottom.rho));
                continue;
            }
            double from = top.alpha;
            if (top.rho < highest) {
                double g3 = top.r;
                auto f = [&](double a) {
                    const WalkPoint w = walkPoint(b, e, v, a, g3);
                    g3 = w.r;
                    return w.rho - highest;
                };
                from = illinois(f, top.alpha, top.rho - highest, bottom.alpha, bottom.rho - highest, 1e-13);
            }
            double g4 = bottom.r;
            out.G += piece(b, e, v, bottom.alpha, from, g4);
            highest = bottom.rho;
            out.rhoLimb = bottom.rho;
            out.alphaLimb = bottom.alpha;
            out.rLimb = bottom.r;
        }
        return out;
    }

    struct BodyView {
        std::vector<double> rho, alpha, r; // the limb at psi_j = 2 pi j / nPsi
        std::vector<Rgb3> G;
        Rgb3 light;
        double cx = 0, cy = 0; // projected centre
        double maxRho = 0;
        bool haveG = false; // G holds the light of each radial line to the limb
    };

    BodyView view(const Body& b, const Vec& v, const Vec& e1, const Vec& e2, bool withLight = true) const {
        BodyView out;
        const int n = nPsi;
        out.rho.resize(static_cast<std::size_t>(n));
        out.alpha.resize(static_cast<std::size_t>(n));
        out.r.resize(static_cast<std::size_t>(n));
        out.G.resize(static_cast<std::size_t>(n));
        out.cx = dot(b.centre, e1);
        out.cy = dot(b.centre, e2);
        out.haveG = withLight || envelope;
        double alphaGuess = 0, rGuess = b.rTypical, alphaBefore = 0;
        for (int j = 0; j < n; ++j) {
            const double psi = 2 * kPi * j / n;
            const Vec e = std::cos(psi) * e1 + std::sin(psi) * e2;
            Radial rad;
            if (envelope) {
                rad = radialWalk(b, e, v, rGuess);
            } else if (withLight) {
                rad = radialConvex(b, e, v, alphaGuess, rGuess);
            } else {
                const WalkPoint limb = convexLimb(b, e, v, alphaGuess, rGuess);
                rad.rhoLimb = limb.rho;
                rad.alphaLimb = limb.alpha;
                rad.rLimb = limb.r;
            }
            const auto jj = static_cast<std::size_t>(j);
            out.rho[jj] = rad.rhoLimb;
            out.alpha[jj] = rad.alphaLimb;
            out.r[jj] = rad.rLimb;
            out.G[jj] = rad.G;
            out.light += (2 * kPi / n) * rad.G;
            out.maxRho = std::max(out.maxRho, rad.rhoLimb);
            // The limb's angle changes smoothly round the star: go on along the line of the last two.
            alphaGuess = j > 0 ? 2 * rad.alphaLimb - alphaBefore : rad.alphaLimb;
            alphaBefore = rad.alphaLimb;
            rGuess = rad.rLimb;
        }
        return out;
    }

    // The light of E's projected disc that lies inside O's projected outline.
    Rgb3 overlapLight(const Body& bE, const BodyView& E, const BodyView& O, const Rgb3& lightE, const Vec& v,
                      const Vec& e1, const Vec& e2) const {
        const double dx0 = O.cx - E.cx, dy0 = O.cy - E.cy;
        const double d = std::hypot(dx0, dy0);
        if (d >= 1.02 * (E.maxRho + O.maxRho)) {
            return {};
        }
        TrigInterpolant rhoE, rhoO, alphaE, rE, gE[3];
        rhoE.fit(E.rho);
        rhoO.fit(O.rho);
        alphaE.fit(E.alpha);
        rE.fit(E.r);
        if (E.haveG) {
            std::vector<double> c(E.G.size());
            for (int ch = 0; ch < 3; ++ch) {
                for (std::size_t j = 0; j < c.size(); ++j) {
                    c[j] = ch == 0 ? E.G[j].r : ch == 1 ? E.G[j].g : E.G[j].b;
                }
                gE[ch].fit(c);
            }
        }
        auto angleAbout = [](double x, double y) {
            double a = std::atan2(y, x);
            return a < 0 ? a + 2 * kPi : a;
        };
        // h(psi) > 0 where E's outline lies outside O. Where the outlines coincide (equal stars
        // centre on centre) rounding would scatter false crossings: within a hair of O's outline
        // counts as inside, which changes the overlap by nothing measurable.
        const double hair = 1e-11 * (E.maxRho + O.maxRho);
        auto h = [&](double psi) {
            const double r = rhoE.value(psi);
            const double px = E.cx + r * std::cos(psi) - O.cx;
            const double py = E.cy + r * std::sin(psi) - O.cy;
            return std::hypot(px, py) - rhoO.value(angleAbout(px, py)) - hair;
        };
        const int m = 4 * nPsi;
        std::vector<double> cuts;
        std::vector<double> hs(static_cast<std::size_t>(m + 1));
        for (int k = 0; k < m; ++k) {
            hs[static_cast<std::size_t>(k)] = h(2 * kPi * k / m);
        }
        hs[static_cast<std::size_t>(m)] = hs[0];
        const double h0 = hs[0];
        for (int k = 1; k <= m; ++k) {
            const double a = hs[static_cast<std::size_t>(k - 1)], b = hs[static_cast<std::size_t>(k)];
            if ((b > 0) != (a > 0)) {
                cuts.push_back(illinois(h, 2 * kPi * (k - 1) / m, a, 2 * kPi * k / m, b, 1e-14));
            }
        }
        if (cuts.empty()) {
            // At first and last contact both crossings may fall between two samples: look at the
            // closest approach (the least |h|) and, when the outlines cross there, take both.
            std::size_t best = 0;
            for (std::size_t k = 1; k < static_cast<std::size_t>(m); ++k) {
                if (std::fabs(hs[k]) < std::fabs(hs[best])) {
                    best = k;
                }
            }
            const double sign = hs[best] > 0 ? 1.0 : -1.0;
            if (std::fabs(hs[best]) < 0.05 * (E.maxRho + O.maxRho)) {
                auto g = [&](double psi) { return sign * h(psi); }; // least where the outlines are closest
                double a = 2 * kPi * (static_cast<double>(best) - 1) / m, b = 2 * kPi * (static_cast<double>(best) + 1) / m;
                const double gr = 0.5 * (std::sqrt(5.0) - 1);
                double c = b - gr * (b - a), d = a + gr * (b - a);
                double gc = g(c), gd = g(d);
                for (int pass = 0; pass < 60 && b - a > 1e-13; ++pass) {
                    if (gc < gd) {
                        b = d;
                        d = c;
                        gd = gc;
                        c = b - gr * (b - a);
                        gc = g(c);
                    } else {
                        a = c;
                        c = d;
                        gc = gd;
                        d = a + gr * (b - a);
                        gd = g(d);
                    }
                }
                const double at = 0.5 * (a + b);
                const double hAt = h(at);
                if ((hAt > 0) != (sign > 0)) {
                    const double lo = 2 * kPi * (static_cast<double>(best) - 1) / m;
                    const double hi = 2 * kPi * (static_cast<double>(best) + 1) / m;
                    cuts.push_back(illinois(h, lo, h(lo), at, hAt, 1e-14));
                    cuts.push_back(illinois(h, at, hAt, hi, h(hi), 1e-14));
                    for (double& cut : cuts) {
                        cut = std::fmod(cut + 2 * kPi, 2 * kPi);
                    }
                    std::sort(cuts.begin(), cuts.end());
                }
            }
        }
        const auto insideE = [&](double x, double y) {
            const double px = x - E.cx, py = y - E.cy;
            return std::hypot(px, py) < rhoE.value(angleAbout(px, py));
        };
        const Vec ev = v;
        // E's light along O's outline from psi' = a to b (counter-clockwise), as part of the boundary.
        auto alongO = [&](double a, double b) {
            Rgb3 sum;
            const int nodes = std::max(nArc, static_cast<int>(std::ceil(nArc * (b - a) / kPi)));
            const GaussRule& rule = nodes == nArc ? gaussArc : cachedRule(nodes);
            const double half = 0.5 * (b - a), mid = 0.5 * (a + b);
            for (std::size_t k = 0; k < rule.x.size(); ++k) {
                const double t = mid + half * rule.x[k];
                const double weight = rule.w[k] * half;
                double ro = 0, dro = 0;
                rhoO.valueAndSlope(t, ro, dro);
                const double ct = std::cos(t), st = std::sin(t);
                const double px = O.cx + ro * ct - E.cx, py = O.cy + ro * st - E.cy;
                const double dpx = dro * ct - ro * st, dpy = dro * st + ro * ct;
                const double rr = px * px + py * py;
                const double dpsi = (px * dpy - py * dpx) / rr;
                const double psiE = angleAbout(px, py);
                const Vec e = std::cos(psiE) * e1 + std::sin(psiE) * e2;
                const Rgb3 whole = E.haveG ? Rgb3{gE[0].value(psiE), gE[1].value(psiE), gE[2].value(psiE)}
                                           : radialConvex(bE, e, ev, alphaE.value(psiE), rE.value(psiE)).G;
                const double aL = E.haveG ? alphaE.value(psiE)
                                          : convexLimb(bE, e, ev, alphaE.value(psiE), rE.value(psiE)).alpha;
                const Rgb3 G = radialConvexTo(bE, e, ev, std::sqrt(rr), aL, rE.value(psiE), whole);
                sum += (weight * dpsi) * G;
            }
            return sum;
        };
        // E's light to its limb from psi = a to b.
        auto alongE = [&](double a, double b) {
            Rgb3 sum;
            const int nodes = std::max(nArc, static_cast<int>(std::ceil(nArc * (b - a) / kPi)));
            const GaussRule& rule = nodes == nArc ? gaussArc : cachedRule(nodes);
            const double half = 0.5 * (b - a), mid = 0.5 * (a + b);
            for (std::size_t k = 0; k < rule.x.size(); ++k) {
                const double t = mid + half * rule.x[k];
                const double weight = rule.w[k] * half;
                if (E.haveG) {
                    sum += weight * Rgb3{gE[0].value(t), gE[1].value(t), gE[2].value(t)};
                } else {
                    const Vec e = std::cos(t) * e1 + std::sin(t) * e2;
                    sum += weight * radialConvex(bE, e, ev, alphaE.value(t), rE.value(t)).G;
                }
            }
            return sum;
        };
        if (cuts.empty()) {
            if (h0 < 0) {
                return lightE; // E wholly behind O
            }
            // O wholly inside E, or apart.
            if (insideE(O.cx + rhoO.value(0), O.cy)) {
                return alongO(0, 2 * kPi);
            }
            return {};
        }
        Rgb3 sum;
        const std::size_t n = cuts.size();
        std::vector<double> cutsO(n);
        for (std::size_t k = 0; k < n; ++k) {
            const double psi = cuts[k];
            const double r = rhoE.value(psi);
            cutsO[k] = angleAbout(E.cx + r * std::cos(psi) - O.cx, E.cy + r * std::sin(psi) - O.cy);
        }
        std::sort(cutsO.begin(), cutsO.end());
        for (std::size_t k = 0; k < n; ++k) {
            const double a = cuts[k];
            const double b = k + 1 < n ? cuts[k + 1] : cuts[0] + 2 * kPi;
            if (h(0.5 * (a + b)) < 0) {
                sum += alongE(a, b);
            }
            const double ao = cutsO[k];
            const double bo = k + 1 < n ? cutsO[k + 1] : cutsO[0] + 2 * kPi;
            const double mo = 0.5 * (ao + bo);
            const double ro = rhoO.value(mo);
            if (insideE(O.cx + ro * std::cos(mo), O.cy + ro * std::sin(mo))) {
                sum += alongO(ao, bo);
            }
        }
        return sum;
    }

    // Each star's own light against the rotation angle, from samples at 2 pi j / n (per star and
    // channel), and how far from its projected centre each star can reach on the sky.
    std::vector<TrigInterpolant> freeLight[2];
    double reach[2] = {0, 0};
    // Each star's limb and radial light at every psi_j, against the angle: series[k][q * nPsi + j]
    // for the quantities q = rho, alpha, r, G red, green, blue.
    std::vector<TrigInterpolant> series[2];

    BodyView viewFromSeries(int k, double eta, const Vec& e1, const Vec& e2) const {
        BodyView out;
        const Body& b = bodies[static_cast<std::size_t>(k)];
        out.cx = dot(b.centre, e1);
        out.cy = dot(b.centre, e2);
        out.haveG = true;
        const auto n = static_cast<std::size_t>(nPsi);
        thread_local std::vector<double> cosK, sinK;
        const auto& s = series[k];
        TrigInterpolant::basis(eta, s[0].terms(), cosK, sinK);
        out.rho.resize(n);
        out.alpha.resize(n);
        out.r.resize(n);
        out.G.resize(n);
        for (std::size_t j = 0; j < n; ++j) {
            out.rho[j] = s[j].value(cosK, sinK);
            out.alpha[j] = s[n + j].value(cosK, sinK);
            out.r[j] = s[2 * n + j].value(cosK, sinK);
            out.G[j] = {s[3 * n + j].value(cosK, sinK), s[4 * n + j].value(cosK, sinK), s[5 * n + j].value(cosK, sinK)};
            out.maxRho = std::max(out.maxRho, out.rho[j]);
        }
        return out;
    }

    Rgb3 freeLightAt(int k, double eta) const {
        const auto& f = freeLight[k];
        return {f[0].value(eta), f[1].value(eta), f[2].value(eta)};
    }

    void viewBasis(double eta, Vec& v, Vec& e1, Vec& e2) const {
        const double si = std::sin(in.Iota), ci = std::cos(in.Iota);
        v = Vec{std::sin(eta) * si, std::cos(eta) * si, -ci};
        e1 = cross(Vec{0, 0, 1}, v);
        if (norm(e1) < 1e-12) {
            e1 = {1, 0, 0};
        }
        e1 = (1 / norm(e1)) * e1;
        e2 = cross(v, e1);
    }

    // Samples each star's own light round the orbit (using the mirror symmetry where there is one).
    void sampleFreeLight(int n) {
        // The stars' own light (a spot comes on top, as its own integral) is the same at pi - eta; its
        // velocity moment and its sky X moment change sign there (the rotation runs the other way across
        // the mirrored disc), its sky Y moment does not.
        const bool mirrored = true;
        const double image = weight == Weight::Rotation || weight == Weight::SkyX ? -1.0 : 1.0;
        std::vector<BodyView> views[2];
        for (auto& l : views) {
            l.assign(static_cast<std::size_t>(n), BodyView{});
        }
        std::vector<bool> done(static_cast<std::size_t>(n), false);
        double widest[2] = {0, 0};
        const auto np = static_cast<std::size_t>(nPsi);
        for (int j = 0; j < n; ++j) {
            if (done[static_cast<std::size_t>(j)]) {
                continue;
            }
            const double eta = 2 * kPi * j / n;
            Vec v, e1, e2;
            viewBasis(eta, v, e1, e2);
            const auto partner = static_cast<std::size_t>(((n / 2 - j) % n + n) % n);
            for (int k = 0; k < 2; ++k) {
                BodyView bv = view(bodies[static_cast<std::size_t>(k)], v, e1, e2);
                widest[k] = std::max(widest[k], bv.maxRho);
                if (mirrored && partner != static_cast<std::size_t>(j)) {
                    // The mirror image: the line at psi shows at pi - psi.
                    BodyView m = bv;
                    m.light = image * bv.light;
                    for (std::size_t i = 0; i < np; ++i) {
                        const std::size_t to = (np / 2 + np - i) % np;
                        m.rho[to] = bv.rho[i];
                        m.alpha[to] = bv.alpha[i];
                        m.r[to] = bv.r[i];
                        m.G[to] = image * bv.G[i];
                    }
                    views[k][partner] = std::move(m);
                }
                views[k][static_cast<std::size_t>(j)] = std::move(bv);
            }
            done[static_cast<std::size_t>(j)] = true;
            if (mirrored) {
                done[partner] = true;
            }
        }
        std::vector<double> c(static_cast<std::size_t>(n));
        for (int k = 0; k < 2; ++k) {
            // The outline between samples stays within a few per cent of the widest sampled.
            reach[k] = 1.05 * widest[k];
            const auto& vk = views[k];
            freeLight[k].assign(3, TrigInterpolant{});
            for (int ch = 0; ch < 3; ++ch) {
                for (int j = 0; j < n; ++j) {
                    const Rgb3& l = vk[static_cast<std::size_t>(j)].light;
                    c[static_cast<std::size_t>(j)] = ch == 0 ? l.r : ch == 1 ? l.g : l.b;
                }
                freeLight[k][static_cast<std::size_t>(ch)].fit(c);
            }
            series[k].assign(6 * np, TrigInterpolant{});
            for (std::size_t q = 0; q < 6; ++q) {
                for (std::size_t i = 0; i < np; ++i) {
                    for (int j = 0; j < n; ++j) {
                        const BodyView& bv = vk[static_cast<std::size_t>(j)];
                        const double values[6] = {bv.rho[i], bv.alpha[i], bv.r[i], bv.G[i].r, bv.G[i].g, bv.G[i].b};
                        c[static_cast<std::size_t>(j)] = values[q];
                    }
                    series[k][q * np + i].fit(c);
                }
            }
        }
    }

    // What the spot changes in the light of star 1: the integral over the spot's patch of the surface,
    //   Phi = SpotLat + R sin t,  Theta = SpotLon + w x,  w = R cos t / cos Phi  (t, x Gauss-Legendre),
    // of (C_spot - C_star)(1 - u (1 - mu)) mu dA with dA = r^2 cos Phi dPhi dTheta / (n . u), over the
    // points that face the viewer and are not behind star 2's outline (when star 2 is in front). The
    // patch's edge is the spot's edge, so the rule follows it; what it does not follow is the limb
    // crossing the spot (a kink) and star 2's outline crossing it (a step, during those eclipses).
    Rgb3 spotLight(const Vec& v, const Vec& e1, const Vec& e2, const BodyView* front2) const {
        const render::ColourSettings& c = in.Colour;
        const Rgb3 plainDelta = colourOf(c.SpotTemp) - colour1;
        const double beta = in.Light.gravity1;
        const Body& b = bodies[0];
        TrigInterpolant rho2;
        if (front2 != nullptr) {
            rho2.fit(front2->rho);
        }
        const GaussRule& rule = gaussSpot;
        Rgb3 sum;
        double guess = b.rTypical;
        for (std::size_t i = 0; i < rule.x.size(); ++i) {
            const double t = 0.5 * kPi * rule.x[i];
            const double phi = c.SpotLat + c.SpotRadius * std::sin(t);
            if (std::fabs(phi) >= 0.5 * kPi) {
                continue;
            }
            const double dPhi = c.SpotRadius * std::cos(t) * 0.5 * kPi * rule.w[i];
            const double w = std::min(kPi, c.SpotRadius * std::cos(t) / std::cos(phi));
            for (std::size_t k = 0; k < rule.x.size(); ++k) {
                const double theta = c.SpotLon + w * rule.x[k];
                const double dTheta = w * rule.w[k];
                // The drawing's angles of star 1 (Theta = 0 points away from the companion) in the
                // orbital frame.
                const Vec u{-std::cos(theta) * std::cos(phi), -std::sin(theta) * std::cos(phi), std::sin(phi)};
                const Solved s = solveRadius(b, u, guess);
                guess = s.r;
                const double gn = norm(s.g);
                const double mu = dot(s.g, v) / gn;
                if (!(mu > 0)) {
                    continue;
                }
                const Vec P = b.centre + s.r * u;
                if (front2 != nullptr) {
                    const double px = dot(P, e1) - front2->cx, py = dot(P, e2) - front2->cy;
                    double a = std::atan2(py, px);
                    if (a < 0) {
                        a += 2 * kPi;
                    }
                    if (std::hypot(px, py) < rho2.value(a)) {
                        continue;
                    }
                }
                const double dA = s.r * s.r * std::cos(phi) * dPhi * dTheta * gn / dot(s.g, u);
                Rgb3 delta = plainDelta;
                if (reflection) {
                    const double f = gravityFactor(b, 0, gn);
                    delta = colourOf(heated(b, P, s.g, gn, c.SpotTemp * f)) - colourOf(heated(b, P, s.g, gn, in.Temp1 * f));
                } else if (beta != 0 && b.gPole[0] > 0) {
                    const double f = std::pow(gn / b.gPole[0], beta);
                    delta = colourOf(c.SpotTemp * f) - colourOf(in.Temp1 * f);
                }
                sum += (dA * mu * darkening(1, mu)) * delta;
            }
        }
        return sum;
    }

    Channels at(double eta) const {
        Vec v, e1, e2;
        viewBasis(eta, v, e1, e2);
        Rgb3 total;
        if (bodies.size() == 1) {
            total = view(bodies[0], v, e1, e2).light;
        } else {
            const bool secondInFront = dot(bodies[1].centre - bodies[0].centre, v) > 0;
            const int front = secondInFront ? 1 : 0;
            const Vec d = bodies[1].centre - bodies[0].centre;
            const double apart = std::hypot(dot(d, e1), dot(d, e2));
            const auto back = static_cast<std::size_t>(1 - front);
            if (!freeLight[0].empty()) {
                // Each star's own light is a smooth function of the angle; an eclipse takes the
                // light of the overlap off it.
                for (int k = 0; k < 2; ++k) {
                    total += freeLightAt(k, eta);
                }
                const bool overlap = apart < reach[0] + reach[1];
                if (overlap) {
                    const BodyView eclipsed = viewFromSeries(static_cast<int>(back), eta, e1, e2);
                    const BodyView near = viewFromSeries(front, eta, e1, e2);
                    total = total - overlapLight(bodies[back], eclipsed, near, freeLightAt(static_cast<int>(back), eta),
                                                 v, e1, e2);
                }
                if (spotAdded) {
                    if (overlap && secondInFront) {
                        const BodyView star2 = viewFromSeries(1, eta, e1, e2);
                        total += spotLight(v, e1, e2, &star2);
                    } else {
                        total += spotLight(v, e1, e2, nullptr);
                    }
                }
            } else {
                const BodyView eclipsed = view(bodies[back], v, e1, e2);
                const BodyView near = view(bodies[static_cast<std::size_t>(front)], v, e1, e2);
                total = eclipsed.light;
                total += near.light;
                total = total - overlapLight(bodies[back], eclipsed, near, eclipsed.light, v, e1, e2);
            }
        }
        const Rgb3 c = scale * total;
        return {c.r + c.g + c.b, c.b, c.g, c.r};
    }

    // Each of two separate stars' visible light at eta, as at() divides it (the spot left out).
    std::array<Channels, 2> perStar(double eta) const {
        Vec v, e1, e2;
        viewBasis(eta, v, e1, e2);
        std::array<Rgb3, 2> light{};
        const bool secondInFront = dot(bodies[1].centre - bodies[0].centre, v) > 0;
        const int front = secondInFront ? 1 : 0;
        const Vec d = bodies[1].centre - bodies[0].centre;
        const double apart = std::hypot(dot(d, e1), dot(d, e2));
        const auto back = static_cast<std::size_t>(1 - front);
        if (!freeLight[0].empty()) {
            for (int k = 0; k < 2; ++k) {
                light[static_cast<std::size_t>(k)] = freeLightAt(k, eta);
            }
            if (apart < reach[0] + reach[1]) {
                const BodyView eclipsed = viewFromSeries(static_cast<int>(back), eta, e1, e2);
                const BodyView near = viewFromSeries(front, eta, e1, e2);
                light[back] = light[back] - overlapLight(bodies[back], eclipsed, near, light[back], v, e1, e2);
            }
        } else {
            const BodyView eclipsed = view(bodies[back], v, e1, e2);
            const BodyView near = view(bodies[static_cast<std::size_t>(front)], v, e1, e2);
            light[back] = eclipsed.light - overlapLight(bodies[back], eclipsed, near, eclipsed.light, v, e1, e2);
            light[static_cast<std::size_t>(front)] = near.light;
        }
        std::array<Channels, 2> out{};
        for (std::size_t k = 0; k < 2; ++k) {
            const Rgb3 c = scale * light[k];
            out[k] = {c.r + c.g + c.b, c.b, c.g, c.r};
        }
        return out;
    }
};

struct PreciseLight::Weighted {
    std::once_flag once[3];
    std::shared_ptr<const Impl> impl[3];
};

PreciseLight::PreciseLight(const render::SceneInputs& in, int resolution) : PreciseLight(in, resolution, Weight::Light, false) {
    if (!orbit_ && impl_->bodies.size() == 2) {
        weighted_ = std::make_shared<Weighted>();
    }
}

PreciseLight::PreciseLight(const render::SceneInputs& in, int resolution, Weight weight, bool oneFrame) {
    if (in.Orbit.framed() && in.TwoStars && orbitProblem(in).empty()) {
        orbit_ = std::make_shared<const render::SceneInputs>(in);
        impl_ = PreciseLight(sceneAtOrbitAngle(in, kPi), resolution, weight, false).impl_;
        return;
    }
    auto impl = std::make_shared<Impl>();
    Impl& m = *impl;
    m.in = in;
    m.weight = weight;
    m.resolution = std::clamp(resolution, 1, 8);
    m.scale = 4 * in.View.ZoomScale * in.View.ZoomScale;
    m.temp1 = in.Temp1;
    m.temp2 = in.Temp2;
    if (!in.Light.screenColour()) {
        m.inBand = true;
        m.band = light::BandIntensity::of(in.Light.passband); // none: bolometric
        const double sun = m.band != nullptr ? m.band->normal(5772) : light::bolometricIntensity(5772);
        m.bandScale = 255 / sun;
    }
    m.colour1 = m.colourOf(in.Temp1);
    m.colour2 = m.colourOf(in.Temp2);
    // A spot of no size changes nothing, and a spot breaks the mirror symmetry.
    const bool spot = in.Colour.SpotActive && in.Colour.SpotRadius > 0;
    m.symmetric = !spot;

    const double q = roche::clampMassRatio(in.Shape.QText);
    const double L1 = roche::InnerLagrangianPoint(q);
    auto starSide = [&](int star) {
        Side s;
        const double p = star == 1 ? in.Radius1 : in.Radius2;
        s.q = star == 1 ? q : 1 / q;
        s.mirrored = star == 2;
        s.omega0 = 1 / p + s.q / std::sqrt(1 + p * p);
        return s;
    };
    const bool tidal = in.View.Tidal;
    if (!in.TwoStars) {
        Body b;
        b.star = 1;
        if (tidal) {
            b.kind = Kind::Spin;
            const double T = in.View.RotPeriodSec;
            constexpr double R = 6.95e8, G = 6.672e-11, M = 1.989e30;
            b.spinK = T > 0 && std::isfinite(T) ? R * R * R * 4.0 * Pi * Pi / (T * T * G * M) : 0.0;
            b.rTypical = 0.5;
            b.rCap = 10;
        } else {
            b.sphereRadius = in.Radius1;
        }
        m.bodies.push_back(b);
    } else if (tidal) {
        // Both stars beyond their lobes: a contact pair, whose model is the common envelope whether
        // or not the picture draws the neck (without it the drawing cuts each star short of the
        // inner Lagrangian point, a picture, not a surface).
        Body b;
        b.kind = Kind::Envelope;
        b.star = 0;
        b.L1 = L1;
        b.centre = {L1, 0, 0};
        b.side[0] = starSide(1);
        b.side[1] = starSide(2);
        // Every envelope within its outer critical surface lies within about 1.2 of the inner
        // Lagrangian point; the potential only comes back up to the surface's value (the
        // centrifugal term) well beyond 1.4, so the one crossing below the cap is the surface.
        b.rCap = 1.4;
        b.rTypical = 0.3;
        Vec g;
        const bool inside1 = potential(b.side[0], b.centre, g) > b.side[0].omega0;
        const bool inside2 = potential(b.side[1], b.centre, g) > b.side[1].omega0;
        if (inside1 && inside2) {
            m.envelope = true;
            m.bodies.push_back(b);
        }
    }
    if (in.TwoStars && !m.envelope) {
        for (int star : {1, 2}) {
            Body b;
            b.star = star;
            b.centre = {star == 1 ? 0.0 : 1.0, 0, 0};
            b.L1 = L1;
            if (tidal) {
                b.kind = Kind::Roche;
                b.side[0] = starSide(star);
                b.rTypical = star == 1 ? in.Radius1 : in.Radius2;
            } else {
                b.sphereRadius = star == 1 ? in.Radius1 : in.Radius2;
            }
            m.bodies.push_back(b);
        }
    }
    // Gravity darkening needs each star's polar gravity: the gradient at its pole, (0, 0, r_pole)
    // from its centre; for the envelope each side's star's pole. A sphere's gravity is the same
    // everywhere; the spinning single star's is its own (spinGravity).
    if (in.Light.gravity1 != 0 || in.Light.gravity2 != 0) {
        for (Body& b : m.bodies) {
            Vec g;
            if (b.kind == Kind::Envelope) {
                potential(b.side[0], Vec{0, 0, in.Radius1}, g);
                b.gPole[0] = norm(g);
                potential(b.side[1], Vec{1, 0, in.Radius2}, g);
                b.gPole[1] = norm(g);
            } else if (b.kind == Kind::Roche) {
                potential(b.side[0], b.centre + Vec{0, 0, b.star == 2 ? in.Radius2 : in.Radius1}, g);
                b.gPole[0] = norm(g);
            }
        }
    }
    // Reflection between two separate stars: each companion stands as the sphere of its volume at its
    // mean effective temperature (darkened by gravity, not itself heated: one pass).
    if (m.bodies.size() == 2 && (in.Light.albedo1 > 0 || in.Light.albedo2 > 0)) {
        for (int k = 0; k < 2; ++k) {
            const int c = 1 - k;
            const Impl::Moments mc = m.moments(m.bodies[static_cast<std::size_t>(c)], false);
            const double albedo = std::clamp(k == 0 ? in.Light.albedo1 : in.Light.albedo2, 0.0, 1.0);
            m.heatT4[k] = mc.area > 0 ? albedo * mc.t4 / mc.area : 0;
            m.sourceRadius[k] = std::cbrt(3 * mc.volume / (4 * kPi));
        }
        m.reflection = true;
    }
    const int res = m.resolution;
    m.nAlpha = 10 * res;
    m.nPsi = (m.envelope ? 64 : 24) * res;
    m.nArc = 16 * res;
    m.nWalk = 16 * res;
    m.alphaPanels = m.envelope ? 3 : 1;
    m.gaussAlpha = cachedRule(m.nAlpha);
    m.gaussArc = cachedRule(m.nArc);
    m.spotAdded = spot && m.bodies.size() == 2;
    m.gaussSpot = cachedRule(16 * res);
    if (m.bodies.size() == 2 && !oneFrame) {
        // Each star's light and outline round the orbit, sampled once for a whole curve; a frame of
        // an eccentric orbit is seen at one angle only, and integrates its views directly.
        m.sampleFreeLight(24 * res);
    }
    // Third light: a constant, L3 / (1 - L3) of the system's own light at quadrature, so that it is
    // the fraction L3 of the total there.
    if (const double l3 = in.Light.thirdLight; l3 > 0 && l3 < 1) {
        const Channels q = m.at(kPi);
        for (std::size_t c = 0; c < q.size(); ++c) {
            m.third[c] = l3 / (1 - l3) * q[c];
        }
    }
    impl_ = std::move(impl);
}

namespace {

Channels plus(Channels a, const Channels& b) {
    for (std::size_t c = 0; c < a.size(); ++c) {
        a[c] += b[c];
    }
    return a;
}

} // namespace

PreciseLight PreciseLight::frameAt(double eta) const {
    render::SceneInputs frame = sceneAtOrbitAngle(*orbit_, eta);
    frame.Light.thirdLight = 0;
    return PreciseLight(frame, impl_->resolution, Weight::Light, true);
}

Channels PreciseLight::at(double eta) const {
    if (orbit_) {
        const PreciseLight frame = frameAt(eta);
        return plus(frame.impl_->at(frame.impl_->in.Eta), impl_->third);
    }
    return plus(impl_->at(eta), impl_->third);
}


bool PreciseLight::contact() const { return impl_->envelope; }

std::optional<std::array<Channels, 2>> PreciseLight::starLights(double eta) const {
    if (orbit_) {
        const PreciseLight frame = frameAt(eta);
        return frame.starLights(frame.impl_->in.Eta);
    }
    const Impl& m = *impl_;
    if (m.bodies.size() != 2 || m.freeLight[0].empty()) {
        return std::nullopt;
    }
    std::array<Channels, 2> out{};
    for (int k = 0; k < 2; ++k) {
        const Rgb3 c = m.scale * m.freeLightAt(k, eta);
        out[static_cast<std::size_t>(k)] = {c.r + c.g + c.b, c.b, c.g, c.r};
    }
    return out;
}

std::optional<std::array<double, 2>> PreciseLight::weightedMeans(double eta, int channel, Weight weight) const {
    if (orbit_) {
        const PreciseLight frame = frameAt(eta);
        const double delta = frame.impl_->in.View.ZoomScale / orbit_->View.ZoomScale;
        auto v = frame.weightedMeans(frame.impl_->in.Eta, channel, weight);
        if (v) {
            (*v)[0] *= delta;
            (*v)[1] *= delta;
        }
        return v;
    }
    const Impl& m = *impl_;
    if (m.bodies.size() != 2 || channel < 0 || channel > 3) {
        return std::nullopt;
    }
    std::shared_ptr<const Impl> weighted;
    if (weighted_) {
        const auto w = static_cast<std::size_t>(weight) - 1;
        std::call_once(weighted_->once[w], [&] { weighted_->impl[w] = PreciseLight(m.in, m.resolution, weight, false).impl_; });
        weighted = weighted_->impl[w];
    } else {
        weighted = PreciseLight(m.in, m.resolution, weight, true).impl_;
    }
    const std::array<Channels, 2> light = m.perStar(eta);
    const std::array<Channels, 2> moment = weighted->perStar(eta);
    std::array<double, 2> out{};
    const auto c = static_cast<std::size_t>(channel);
    for (std::size_t k = 0; k < 2; ++k) {
        if (!(light[k][c] > 1e-12 * (light[0][c] + light[1][c]))) {
            return std::nullopt; // a star wholly hidden has no velocity to measure
        }
        out[k] = moment[k][c] / light[k][c];
    }
    return out;
}

std::optional<std::array<double, 2>> PreciseLight::rotationVelocities(double eta, int channel) const {
    return weightedMeans(eta, channel, Weight::Rotation);
}

std::optional<std::array<std::array<double, 2>, 2>> PreciseLight::skyCentroids(double eta, int channel) const {
    const auto x = weightedMeans(eta, channel, Weight::SkyX);
    const auto y = x ? weightedMeans(eta, channel, Weight::SkyY) : std::nullopt;
    if (!y) {
        return std::nullopt;
    }
    return std::array<std::array<double, 2>, 2>{std::array<double, 2>{(*x)[0], (*y)[0]}, std::array<double, 2>{(*x)[1], (*y)[1]}};
}

std::optional<std::array<double, 2>> PreciseLight::meanTemperatures() const {
    const Impl& m = *impl_;
    if (m.bodies.size() != 2) {
        return std::nullopt;
    }
    std::array<double, 2> out{};
    for (std::size_t k = 0; k < 2; ++k) {
        const Impl::Moments mk = m.moments(m.bodies[k], true);
        out[k] = mk.area > 0 ? std::pow(mk.t4 / mk.area, 0.25) : 0;
    }
    return out;
}

std::vector<Channels> PreciseLight::curve(std::span<const double> etas) const {
    std::vector<Channels> out(etas.size());
    if (orbit_) {
        for (std::size_t k = 0; k < etas.size(); ++k) {
            out[k] = at(etas[k]);
        }
        return out;
    }
    std::map<double, Channels> seen;
    for (std::size_t k = 0; k < etas.size(); ++k) {
        // Mirrored in the plane of the line of centres and the axis, the system at pi - eta is the
        // system at eta: key both by their distance from pi/2.
        double key = std::remainder(etas[k] - 0.5 * kPi, 2 * kPi);
        if (impl_->symmetric) {
            key = std::fabs(key);
        }
        if (const auto it = seen.find(key); it != seen.end()) {
            out[k] = it->second;
            continue;
        }
        out[k] = plus(impl_->at(impl_->symmetric ? 0.5 * kPi + key : etas[k]), impl_->third);
        seen.emplace(key, out[k]);
    }
    return out;
}

} // namespace corvane::precise
