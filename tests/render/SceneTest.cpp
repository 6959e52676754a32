// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "render/Scene.h"
#include "roche/Constants.h"
#include "roche/NeckShape.h"
#include "roche/Roche.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>
#include <map>
#include <set>

namespace corvane::render {
namespace {

using platform::Pixel;

TEST(BandSize, OneLatitudeLine) {
    EXPECT_EQ(BandSize(1, 0, false), 2);
    EXPECT_EQ(BandSize(1, 0, true), 4);
}

TEST(BandSize, TenLatitudeLinesWithSimilarAreas) {
    const int expected[] = {40, 40, 38, 36, 32, 28, 24, 18, 12, 6};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(BandSize(10, i, true), expected[i]) << "band " << i;
        EXPECT_EQ(BandSize(10, i, false), 20) << "band " << i;
    }
}

// A scene of two spheres (no tides) seen from the given inclination, on an 800 x 500 picture.
struct SceneFixture : ::testing::Test {
    SceneFixture() {
        s.Picture1.resize(800, 500);
        in.View.Tidal = false;
        in.View.ZoomScale = 100.0 * 500 / 300;
        in.View.HalfWidth = 400;
        in.View.HalfHeight = 250;
        in.LatLines = in.LatLines2 = 10;
        in.LonLines = 40;
        in.Radius1 = 0.3;
        in.Radius2 = 0.3;
        in.QRatio = 1;
        in.Limb1 = in.Limb2 = 0;
        s.ShapeCache.resize(10);
        roche::RocheState r;
        r.Q = 1;
        roche::RochePot(r);
        in.Shape = {in.Radius1, in.Radius2, 1.0, r.LagrangeX};
    }
    void draw() {
        s.ShapeCache.resize(in.LatLines);
        in.Shape.Radius1 = in.Radius1;
        in.Shape.Radius2 = in.Radius2;
        DrawStar(s, in);
    }
    int lit() const {
        int n = 0;
        for (Pixel p : s.Picture1.pixels()) {
            n += p != 0;
        }
        return n;
    }
    Pixel colourOf(double T) const {
        const Rgb rgb = StarColorTemp(T, in.Colour);
        return platform::pixelFromRgb(static_cast<int>(rgb.R), static_cast<int>(rgb.G), static_cast<int>(rgb.B));
    }
    Scene s;
    SceneInputs in;
};

TEST_F(SceneFixture, CellCountsFollowTheBands) {
    in.TwoStars = false;
    in.LatLines = 1;
    in.SimAreas = false;
    draw();
    EXPECT_EQ(s.CellsVisited, 4);
    in.SimAreas = true;
    draw();
    EXPECT_EQ(s.CellsVisited, 8);
    in.LatLines = 10;
    draw();
    EXPECT_EQ(s.CellsVisited, 2 * 274);
    in.TwoStars = true;
    in.LatLines2 = 3;
    draw();
    EXPECT_EQ(s.CellsVisited, 2 * 274 + 2 * (12 + 10 + 6)) << "star 2 uses its own latitude lines";
}

TEST_F(SceneFixture, FaceOnSphereCoversItsDisc) {
    in.TwoStars = false;
    in.Iota = 0;
    for (double r : {0.1, 0.3, 0.45}) {
        in.Radius1 = r;
        draw();
        const double radius = 2 * in.View.ZoomScale * r;
        const double disc = Pi * radius * radius;
        // The limb is a 40-gon inscribed in the circle; rasterising adds or loses at most a pixel along it.
        const double polygonArea = 0.5 * 40 * radius * radius * std::sin(TwoPi / 40);
        EXPECT_NEAR(lit(), polygonArea, 2 * Pi * radius) << "r " << r;
        EXPECT_NEAR(lit(), disc, 2 * Pi * radius) << "r " << r;
        // And it sits at the centre of the picture.
        EXPECT_NE(s.Picture1.pixel(400, 250), 0u);
        EXPECT_NE(s.Picture1.pixel(400 + static_cast<int>(radius) - 3, 250), 0u);
        EXPECT_EQ(s.Picture1.pixel(400 + static_cast<int>(radius) + 3, 250), 0u);
    }
}

TEST_F(SceneFixture, WithoutLimbDarkeningEveryLitPixelOfAStarHasOneColour) {
    for (double iota : {0.0, 1.0, HalfPi}) {
        for (double eta : {0.0, 0.7, 2.0}) {
            in.Iota = iota;
            in.Eta = eta;
            draw();
            std::set<Pixel> colours;
            for (Pixel p : s.Picture1.pixels()) {
                if (p != 0) {
                    colours.insert(p);
                }
            }
            EXPECT_EQ(colours.size(), 1u) << "Iota " << iota << " Eta " << eta;
            EXPECT_EQ(*colours.begin(), colourOf(8200));
        }
    }
}

TEST_F(SceneFixture, LimbDarkeningDarkensTowardsTheEdge) {
    in.TwoStars = false;
    in.Limb1 = 0.6;
    draw();
    const Pixel centre = s.Picture1.pixel(400, 250);
    const Pixel edge = s.Picture1.pixel(400 + 95, 250); // radius 100
    EXPECT_GT(centre & 0xFF, edge & 0xFF);
    EXPECT_GT((centre >> 16) & 0xFF, (edge >> 16) & 0xFF);
}

TEST_F(SceneFixture, NoHolesInsideTheStars) {
    // Tides on and off, several views of a detached pair at the default grid: no black pixel has
    // lit pixels on all four sides. (Very coarse grids, 3 or 4 latitude lines, show slivers where a
    // band of many cells meets one of few near the poles: the mesh itself leaves them.)
    for (bool tidal : {false, true}) {
        for (double iota : {0.0, 0.6, 82 * Pi / 180}) {
            in.View.Tidal = tidal;
            in.Iota = iota;
            in.Radius1 = 0.25;
            in.Radius2 = 0.3;
            draw();
            const auto& p = s.Picture1;
            int holes = 0;
            for (int y = 1; y < 499; ++y) {
                for (int x = 1; x < 799; ++x) {
                    holes += p.pixel(x, y) == 0 && p.pixel(x - 1, y) && p.pixel(x + 1, y) && p.pixel(x, y - 1) &&
                             p.pixel(x, y + 1);
                }
            }
            EXPECT_EQ(holes, 0) << "tidal " << tidal << " Iota " << iota;
        }
    }
}

TEST_F(SceneFixture, NearerStarIsDrawnLast) {
    in.Temp1 = 4000;
    in.Temp2 = 9000;
    in.Iota = HalfPi;
    // A quarter turn on (Eta = 90 degrees) star 2 is in front of star 1, both centred.
    in.Eta = HalfPi;
    draw();
    EXPECT_EQ(s.Picture1.pixel(400, 250), colourOf(9000));
    // Half a turn further star 1 is in front.
    in.Eta = HalfPi + Pi;
    draw();
    EXPECT_EQ(s.Picture1.pixel(400, 250), colourOf(4000));
    // At Eta = 0 cos(Eta + pi/2) is a tiny positive number: star 2 first, so where two large
    // stars side by side overlap, star 1 shows.
    in.Eta = 0;
    in.Radius1 = in.Radius2 = 0.6;
    draw();
    EXPECT_EQ(s.Picture1.pixel(400, 250), colourOf(4000));
}

TEST_F(SceneFixture, StarsSitAboutTheCentreOfMass) {
    in.Iota = HalfPi;
    in.Eta = 0;
    in.QRatio = 3; // star 2 three times as heavy: star 1 sits three times farther from the centre
    in.Radius1 = in.Radius2 = 0.1;
    in.Temp1 = 4000;
    in.Temp2 = 9000;
    draw();
    const double z = in.View.ZoomScale;
    const int x1 = static_cast<int>(std::lround(400 - z * 2 * 3 / 4.0));
    const int x2 = static_cast<int>(std::lround(400 + z * 2 / 4.0));
    EXPECT_EQ(s.Picture1.pixel(x1, 250), colourOf(4000));
    EXPECT_EQ(s.Picture1.pixel(x2, 250), colourOf(9000));
    EXPECT_EQ(s.Picture1.pixel(400, 250), 0u);
}

TEST_F(SceneFixture, SingleStarIgnoresTheNeckAndStarTwo) {
    in.TwoStars = false;
    in.Neck = true;
    in.Temp2 = 3000;
    draw();
    for (Pixel p : s.Picture1.pixels()) {
        ASSERT_TRUE(p == 0 || p == colourOf(8200));
    }
    EXPECT_EQ(s.CentreX, 0.0);
    EXPECT_EQ(s.CentreY, 0.0);
}

TEST_F(SceneFixture, HugeZoomDrawsOnlyInsideThePicture) {
    for (double zoom : {1e4, 1e7, -500.0}) {
        in.View.ZoomScale = zoom;
        draw();
        EXPECT_EQ(s.Picture1.width(), 800);
        EXPECT_EQ(s.Picture1.pixels().size(), 800u * 500u) << zoom;
    }
}

TEST_F(SceneFixture, EachFrameStartsFromBlack) {
    in.Radius1 = in.Radius2 = 0.4;
    draw();
    const int before = lit();
    in.Radius1 = in.Radius2 = 0.05;
    draw();
    EXPECT_LT(lit(), before / 10);
}

} // namespace
} // namespace corvane::render

namespace corvane::render {
namespace {

TEST(NeckTemperature, BlendsLinearlyAcrossTheLagrangePoint) {
    EXPECT_DOUBLE_EQ(NeckTemperature(0.4, 0.4, 5000, 7000, 5000), 6000) << "the mean exactly at the point";
    EXPECT_DOUBLE_EQ(NeckTemperature(0.425, 0.4, 5000, 7000, 7000), 6500);
    EXPECT_DOUBLE_EQ(NeckTemperature(0.375, 0.4, 5000, 7000, 5000), 5500);
    EXPECT_DOUBLE_EQ(NeckTemperature(0.45, 0.4, 5000, 7000, 7000), 7000) << "0.05 away: its own star's";
    EXPECT_DOUBLE_EQ(NeckTemperature(0.35, 0.4, 5000, 7000, 5000), 5000);
    EXPECT_DOUBLE_EQ(NeckTemperature(0.1, 0.4, 5000, 7000, 5000), 5000);
}

// A W UMa system (q = 0.3, both poles on one surface) seen at the given angles.
struct ContactFixture : SceneFixture {
    ContactFixture() {
        in.View.Tidal = true;
        in.Neck = true;
        in.QRatio = 0.3;
        in.Radius1 = 0.48;
        in.Radius2 = roche::RecommendedRadius2(0.3, 0.48);
        in.Limb1 = in.Limb2 = 0.5;
        roche::RocheState r;
        r.Q = 0.3;
        roche::RochePot(r);
        in.Shape = {in.Radius1, in.Radius2, 0.3, r.LagrangeX};
        s.NeckCache.resize(in.LonLines);
    }
    void drawContact() {
        s.ShapeCache.resize(in.LatLines);
        s.NeckCache.resize(in.LonLines);
        DrawStar(s, in);
    }
};

TEST_F(ContactFixture, NeckSectionsAreDrawnFarthestFirst) {
    in.Eta = 0; // cos(Eta + pi/2) is a tiny positive number: star 2 is behind
    drawContact();
    EXPECT_NEAR(s.NeckZ, -0.1 / in.LonLines, 1e-12) << "the last section drawn is star 1's end";
    in.Eta = HalfPi;
    drawContact();
    EXPECT_NEAR(s.NeckZ, (in.LonLines - 1 - 0.1) / in.LonLines, 1e-12) << "now star 2's end comes last";
}

TEST_F(ContactFixture, NoBlackHolesInsideTheSilhouette) {
    // Each column crosses the side-by-side system once: nothing black between its first and last
    // lit pixel.
    for (double iota : {60.0, 75.0, 90.0}) {
        for (double eta : {0.0, 20.0, 160.0}) {
            in.Iota = iota * Pi / 180;
            in.Eta = eta * Pi / 180;
            drawContact();
            int holes = 0;
            int litColumns = 0;
            for (int x = 0; x < 800; ++x) {
                int first = -1, last = -1;
                for (int y = 0; y < 500; ++y) {
                    if (s.Picture1.pixel(x, y) != 0) {
                        first = first < 0 ? y : first;
                        last = y;
                    }
                }
                litColumns += first >= 0;
                for (int y = first + 1; first >= 0 && y < last; ++y) {
                    holes += s.Picture1.pixel(x, y) == 0;
                }
            }
            EXPECT_GT(litColumns, 300);
            EXPECT_EQ(holes, 0) << "Iota " << iota << " Eta " << eta;
        }
    }
}

TEST_F(ContactFixture, NeckCellsAreDrawnAndStarsAreHalves) {
    in.Iota = 80 * Pi / 180;
    in.LatLines = in.LatLines2 = 5;
    in.LonLines = 20;
    in.SimAreas = false;
    drawContact();
    // 5 cells per band in each half of each star, 20 x 20 neck cells.
    EXPECT_EQ(s.CellsVisited, 2 * (2 * 5 * 5) + 20 * 20);
}

} // namespace
} // namespace corvane::render

namespace corvane::render {
namespace {

// Black pixels that the black outside cannot reach through black (4-neighbours): specks and gaps
// enclosed by the drawing.
int enclosedDarkPixels(const platform::Canvas& p) {
    const int w = p.width();
    const int h = p.height();
    std::vector<std::uint8_t> outside(static_cast<std::size_t>(w) * h, 0);
    std::vector<int> stack;
    auto push = [&](int x, int y) {
        const auto k = static_cast<std::size_t>(y) * w + x;
        if (x >= 0 && y >= 0 && x < w && y < h && !outside[k] && p.pixel(x, y) == 0) {
            outside[k] = 1;
            stack.push_back(static_cast<int>(k));
        }
    };
    for (int x = 0; x < w; ++x) {
        push(x, 0);
        push(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        push(0, y);
        push(w - 1, y);
    }
    while (!stack.empty()) {
        const int k = stack.back();
        stack.pop_back();
        const int x = k % w;
        const int y = k / w;
        push(x + 1, y);
        push(x - 1, y);
        push(x, y + 1);
        push(x, y - 1);
    }
    int enclosed = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            enclosed += p.pixel(x, y) == 0 && !outside[static_cast<std::size_t>(y) * w + x];
        }
    }
    return enclosed;
}

// Direction of the longest axis of the lit pixels, degrees anticlockwise from the picture's x axis.
double principalAxisDegrees(const platform::Canvas& p) {
    double n = 0, sx = 0, sy = 0;
    for (int y = 0; y < p.height(); ++y) {
        for (int x = 0; x < p.width(); ++x) {
            if (p.pixel(x, y) != 0) {
                n += 1;
                sx += x;
                sy += -y;
            }
        }
    }
    const double cx = sx / n;
    const double cy = sy / n;
    double mxx = 0, myy = 0, mxy = 0;
    for (int y = 0; y < p.height(); ++y) {
        for (int x = 0; x < p.width(); ++x) {
            if (p.pixel(x, y) != 0) {
                const double dx = x - cx;
                const double dy = -y - cy;
                mxx += dx * dx;
                myy += dy * dy;
                mxy += dx * dy;
            }
        }
    }
    return 0.5 * std::atan2(2 * mxy, mxx - myy) * 180 / Pi;
}

// Regression: the tilt turned each star about its own centre but not the line between them, so a
// tilted contact pair's neck stuck out of star 1 away from star 2.
TEST_F(ContactFixture, ATiltedContactPairStaysClosedAndTurnsAsOneBody) {
    in.Iota = HalfPi;
    in.View.ZoomScale = 110; // small enough that no tilt takes the pair past the picture's edge
    for (double tilt : {0.0, 30.0, -45.0, 60.0}) {
        for (double eta : {0.0, 30.0, 150.0, 180.0, 200.0}) {
            in.Gamma = tilt * Pi / 180;
            in.Eta = eta * Pi / 180;
            drawContact();
            EXPECT_EQ(enclosedDarkPixels(s.Picture1), 0) << "tilt " << tilt << " Eta " << eta;
            if (eta == 0.0) {
                // Side by side, the pair's long axis is the line of centres, turned by the tilt.
                EXPECT_NEAR(principalAxisDegrees(s.Picture1), tilt, 1.0) << "tilt " << tilt;
            }
        }
    }
}

TEST_F(SceneFixture, ATiltedDetachedPairKeepsItsTidalPointsFacing) {
    in.View.Tidal = true;
    in.Radius1 = in.Radius2 = 0.36;
    in.Iota = HalfPi;
    in.Eta = 0; // side by side
    in.View.ZoomScale = 110; // every tilt stays inside the picture
    roche::RocheState r;
    r.Q = 1;
    roche::RochePot(r);
    in.Shape = {in.Radius1, in.Radius2, 1.0, r.LagrangeX};
    for (double tilt : {0.0, 30.0, 75.0}) {
        in.Gamma = tilt * Pi / 180;
        draw();
        EXPECT_NEAR(principalAxisDegrees(s.Picture1), tilt, 1.0)
            << "the centres and the stars' long axes turn together, tilt " << tilt;
    }
}

} // namespace
} // namespace corvane::render

namespace corvane::render {
namespace {

// The light of a picture: the sum of its red channel (both stars share one colour here).
double redLight(const platform::Canvas& p) {
    double sum = 0;
    for (Pixel px : p.pixels()) {
        sum += (px >> 16) & 0xFF;
    }
    return sum;
}

// Area of the lens shared by two circles of radii a, b whose centres are d apart.
double overlapArea(double a, double b, double d) {
    if (d >= a + b) {
        return 0;
    }
    if (d <= std::fabs(a - b)) {
        const double r = std::min(a, b);
        return Pi * r * r;
    }
    const double alpha = std::acos((d * d + a * a - b * b) / (2 * d * a));
    const double beta = std::acos((d * d + b * b - a * a) / (2 * d * b));
    return a * a * (alpha - std::sin(2 * alpha) / 2) + b * b * (beta - std::sin(2 * beta) / 2);
}

struct SphereCase {
    int width, height;
    double tolerance; // relative, of the disc's area
};

class FaceOnSphereArea : public ::testing::TestWithParam<SphereCase> {};

// Each cell is filled and nothing else: the lit area is the disc's, less only what the inscribed
// 120-gon of the limb cuts off (0.05 %), at any picture size. (Smaller discs than these cannot meet
// such a tolerance by any point sampling: a disc of radius 33.3 pixels centred on a pixel holds 3505
// pixel centres against an area of 3490.7.)
TEST_P(FaceOnSphereArea, IsTheDiscsArea) {
    const SphereCase c = GetParam();
    Scene s;
    s.Picture1.resize(c.width, c.height);
    SceneInputs in;
    in.TwoStars = false;
    in.View.Tidal = false;
    in.View.ZoomScale = 100.0 * std::min(c.width, c.height) / 300;
    in.View.HalfWidth = static_cast<float>(c.width / 2.0);
    in.View.HalfHeight = static_cast<float>(c.height / 2.0);
    in.LatLines = in.LatLines2 = 30;
    in.LonLines = 120;
    in.Limb1 = in.Limb2 = 0;
    in.Iota = 0;
    for (double r : {0.2, 0.3, 0.45}) {
        in.Radius1 = r;
        in.Shape = {r, r, 1.0, 0.5};
        s.ShapeCache.resize(in.LatLines);
        DrawStar(s, in);
        int lit = 0;
        for (Pixel p : s.Picture1.pixels()) {
            lit += p != 0;
        }
        const double radius = 2 * in.View.ZoomScale * r;
        const double disc = Pi * radius * radius;
        EXPECT_NEAR(lit / disc, 1.0, c.tolerance) << c.width << "x" << c.height << ", r " << r << ": " << lit
                                                  << " pixels against " << disc;
    }
}

INSTANTIATE_TEST_SUITE_P(PictureSizes, FaceOnSphereArea,
                         ::testing::Values(SphereCase{800, 500, 0.003}, SphereCase{3200, 2000, 0.001}));

// Two uniform spheres (radii 0.2 and 0.1, i = 85, N = 30, 800 x 500) against the exact curve of two
// overlapping discs: the pixel curve follows it closely and its eclipses are not biased one way.
TEST(TwoSpheres, LightCurveFollowsTheExactOverlapCurve) {
    Scene s;
    s.Picture1.resize(800, 500);
    SceneInputs in;
    in.View.Tidal = false;
    in.View.ZoomScale = 100.0 * 500 / 300;
    in.View.HalfWidth = 400;
    in.View.HalfHeight = 250;
    in.LatLines = in.LatLines2 = 30;
    in.LonLines = 120;
    in.Limb1 = in.Limb2 = 0;
    in.Radius1 = 0.2;
    in.Radius2 = 0.1;
    in.QRatio = 0.5;
    in.Iota = 85 * Pi / 180;
    in.Shape = {0.2, 0.1, 0.5, 0.5};
    const double z = in.View.ZoomScale;
    const double R1 = 2 * z * 0.2;
    const double R2 = 2 * z * 0.1;
    std::vector<double> pixel, exact;
    for (int k = 0; k < 360; ++k) {
        in.Eta = k * Pi / 180;
        s.ShapeCache.resize(in.LatLines);
        DrawStar(s, in);
        pixel.push_back(redLight(s.Picture1));
        const double a = in.Eta + HalfPi;
        const double d = 2 * z * std::sqrt(std::sin(a) * std::sin(a) + std::pow(std::cos(a) * std::cos(in.Iota), 2));
        exact.push_back(Pi * R1 * R1 + Pi * R2 * R2 - overlapArea(R1, R2, d)); // one surface brightness
    }
    // Both normalised to their level out of eclipse (the pixel curve's mean there: its maximum
    // would pick the largest of the pixel noise and bias everything low).
    const double eMax = *std::max_element(exact.begin(), exact.end());
    double outside = 0;
    int outsideCount = 0;
    for (std::size_t k = 0; k < pixel.size(); ++k) {
        if (exact[k] >= eMax * (1 - 1e-9)) {
            outside += pixel[k];
            ++outsideCount;
        }
    }
    ASSERT_GT(outsideCount, 100);
    const double pMax = outside / outsideCount;
    double sum2 = 0;
    double eclipseSum = 0;
    int eclipsePoints = 0;
    for (std::size_t k = 0; k < pixel.size(); ++k) {
        const double diff = pixel[k] / pMax - exact[k] / eMax;
        sum2 += diff * diff;
        if (exact[k] < eMax * (1 - 1e-9)) {
            eclipseSum += diff;
            ++eclipsePoints;
        }
    }
    const double rms = std::sqrt(sum2 / static_cast<double>(pixel.size()));
    ASSERT_GT(eclipsePoints, 20);
    const double bias = eclipseSum / eclipsePoints;
    EXPECT_LT(rms, 1.2e-3) << "RMS of the normalised curves";
    EXPECT_LT(std::fabs(bias), 0.5e-3) << "mean difference in eclipse " << bias << " (RMS " << rms << ")";
}

} // namespace
} // namespace corvane::render

namespace corvane::render {
namespace {

// The mesh's directions and radii are kept from frame to frame: a frame drawn after others is the
// same picture as the frame drawn first, and a change of shape is never drawn with the old mesh.
TEST_F(SceneFixture, AFrameAfterOthersIsTheFrameDrawnFresh) {
    in.View.Tidal = true;
    in.Radius1 = 0.3;
    in.Radius2 = 0.35;
    in.QRatio = 1;
    in.Iota = 80 * Pi / 180;
    Scene fresh = s;
    in.Eta = 0.5;
    fresh.ShapeCache.resize(in.LatLines);
    in.Shape.Radius1 = in.Radius1;
    in.Shape.Radius2 = in.Radius2;
    DrawStar(fresh, in);
    s.ShapeCache.resize(in.LatLines);
    for (double eta : {0.1, 2.0, 4.0, 0.5}) {
        in.Eta = eta;
        DrawStar(s, in);
    }
    EXPECT_TRUE(std::equal(s.Picture1.pixels().begin(), s.Picture1.pixels().end(), fresh.Picture1.pixels().begin()));
    // A sphere of another radius, drawn without clearing the cache: the new size.
    in.View.Tidal = false;
    DrawStar(s, in);
    const int before = lit();
    in.Radius1 = in.Shape.Radius1 = 0.2;
    DrawStar(s, in);
    EXPECT_LT(lit(), before) << "the smaller sphere is drawn smaller";
}

} // namespace
} // namespace corvane::render

namespace corvane::render {
namespace {

// The farther star's cells that the nearer star covers are skipped: every frame of an orbit is the
// picture a scene drawing it from scratch (nothing kept, so nothing skipped) makes.
TEST_F(SceneFixture, SkippingCoveredCellsChangesNoFrame) {
    struct Pair {
        bool tidal;
        double r1, r2, q, iotaDeg, tiltDeg;
    };
    for (const Pair& p : {Pair{true, 0.3, 0.35, 1.0, 82, 0}, Pair{false, 0.2, 0.1, 0.5, 88, 0},
                          Pair{true, 0.25, 0.3, 2.0, 75, 30}, Pair{false, 0.35, 0.3, 0.8, 90, -40}}) {
        in.View.Tidal = p.tidal;
        in.Radius1 = in.Shape.Radius1 = p.r1;
        in.Radius2 = in.Shape.Radius2 = p.r2;
        in.QRatio = in.Shape.QText = p.q;
        roche::RocheState r;
        r.Q = p.q;
        roche::RochePot(r);
        in.Shape.LagrangeX = r.LagrangeX;
        in.Iota = p.iotaDeg * Pi / 180;
        in.Gamma = p.tiltDeg * Pi / 180;
        in.View.ZoomScale = 120;
        Scene kept = s;
        kept.ShapeCache.resize(in.LatLines);
        int differing = 0;
        for (int k = 0; k < 72; ++k) {
            in.Eta = k * 5 * Pi / 180;
            DrawStar(kept, in);
            Scene fresh = s;
            fresh.Rings = {};
            fresh.ShapeCache.resize(in.LatLines);
            DrawStar(fresh, in);
            differing += !std::equal(kept.Picture1.pixels().begin(), kept.Picture1.pixels().end(),
                                     fresh.Picture1.pixels().begin());
        }
        EXPECT_EQ(differing, 0) << "tidal " << p.tidal << " q " << p.q << " i " << p.iotaDeg << " tilt " << p.tiltDeg;
    }
}

} // namespace
} // namespace corvane::render
