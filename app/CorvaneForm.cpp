// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "light/Passband.h"

#include "app/Version.h"
#include "fitting/LightCurveFile.h"
#include "platform/AppFolder.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "precise/OrbitScene.h"
#include "roche/Constants.h"
#include "roche/LobeRadius.h"
#include "roche/NeckShape.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace corvane::app {

using platform::Format;
using platform::GeneralNumber;
using platform::Val;

namespace {

const std::string kAutoMessage = "The size of Star 2 is determined from the size of Star 1 for contact systems.  "
                                 "Uncheck 'Auto' below to change the size of star #2.";

// Clamps value into [low, high]; out of range, box shows the given text and value becomes that text's.
void clampBox(TextBox& box, double& value, double low, const char* lowText, double high, const char* highText) {
    if (value > high) {
        box.Text = highText;
        value = Val(highText);
    } else if (value < low) {
        box.Text = lowText;
        value = Val(lowText);
    }
}

// The pole-radius rule: above 1 becomes 0.99 (a value in (0.99, 1] passes), below 0.01 becomes 0.01.
void clampRadius(TextBox& box, double& value) { clampBox(box, value, 0.01, "0.01", 1.0, "0.99"); }

// Temperatures: 100000 or more becomes 100000; 0 or less becomes 1 and is not stored this time.
void readTemperature(TextBox& box, double& stored) {
    double v = Val(box.Text);
    if (v >= 100000) {
        box.Text = "100000";
        v = 100000;
    } else if (v <= 0) {
        box.Text = "1";
    }
    if (v > 0) {
        stored = v;
    }
}

// Assigns only a finite result, as a statement that fails leaves its target alone.
void storeFinite(double& target, double value) {
    if (std::isfinite(value)) {
        target = value;
    }
}

} // namespace

bool ComboBox::select(const std::string& item) {
    const auto it = std::find(Items.begin(), Items.end(), item);
    if (it == Items.end()) {
        return false;
    }
    ListIndex = static_cast<int>(it - Items.begin());
    Text = item;
    return true;
}

std::string versionText() { return CORVANE_VERSION; }

CorvaneForm::CorvaneForm(platform::Dialogs& dialogs)
    : AppFolder(platform::applicationFolder()), dialogs_(&dialogs) {
    if (const std::filesystem::path doc = platform::installedDocumentation(); !doc.empty()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(doc / "manual.html", ec)) {
            InstalledManual = doc / "manual.html";
        }
    }
    Scene.ShapeCache.resize(LatLines);
    Scene.Picture1.resize(Picture1Width, Picture1Height);
}

void CorvaneForm::setPictureSize(int width, int height) {
    Picture1Width = std::max(1, width);
    Picture1Height = std::max(1, height);
    Scene.Picture1.resize(Picture1Width, Picture1Height);
    PicturePlot.resize(std::min(Picture1Width, lightcurve::MaxPoint + 1), PlotHeight);
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void CorvaneForm::Form_Load() {
    AddStars();
    Index = 5;
    Caption = "Corvane Pro " + versionText() + " - Eclipsing Binary Stars ";
    loadCatalogueEntry(Index);
    txtN1.Text = "10";
    txtEta.Text = "0 ";
    SlideIndex = 1;
    SlideShowOn = false;
    Curve.Channel = 3;
    Form_Resize();
    AddHelp();
    std::fill(ScrollLast.begin() + 1, ScrollLast.end(), 15000);
    PlotMin = -100000;
    PlotMax = 1000000;
    cmbFilter.Clear();
    for (const char* item : {"RGB", "LRGB", "L", "R", "G", "B"}) {
        cmbFilter.AddItem(item);
    }
    Curve.ChannelFirst = 1;
    Curve.ChannelLast = 3;
    cmbFilter.select("RGB");
    cmbPhotometry.Clear();
    cmbPhotometry.AddItem("Pixels");
    cmbPhotometry.AddItem("Precise");
    cmbPhotometry.select("Pixels");
    cmbPassband.Clear();
    cmbPassband.AddItem(light::kScreenColour);
    cmbPassband.AddItem(light::kBolometric);
    for (const light::PassbandTable& band : light::passbands()) {
        cmbPassband.AddItem(band.name);
    }
    cmbPassband.select(light::kScreenColour);
    cmbLimbLaw.Clear();
    for (const char* name : light::kLimbLawNames) {
        cmbLimbLaw.AddItem(name);
    }
    cmbLimbLaw.select("Linear");
    Curve.ObsCount = 0;
    cmbStarSpot1.Clear();
    cmbStarSpot1.AddItem("1");
    cmbStarSpot1.AddItem("2");
    cmbStarSpot1.select("1");
    for (ComboBox* box : {&cmbParameter, &cmbParameter2}) {
        box->Clear();
        for (const char* item : {"Inclination", "Mass Ratio", "Pole Radius #1", "Temperature #1", "Temperature #2"}) {
            box->AddItem(item);
        }
    }
    cmbParameter.select("Inclination");
    cmbParameter_Click();
    cmbParameter2.select("Mass Ratio");
    cmbParameter2_Click();
    txtLCName.Text = (AppFolder / "NGC188_V3_L2.csv").string();
    cmbFilter_Click();
    Curve.Channel = 2;
    Timer1Enabled = true;
}

void CorvaneForm::Form_Resize() { Refresh_Click(); }

void CorvaneForm::Form_Unload() { Unloaded = true; }

void CorvaneForm::mnuRefresh_Click() { Refresh_Click(); }

void CorvaneForm::mnuExit_Click() { Form_Unload(); }

// ---------------------------------------------------------------------------------------------
// The refresh cycle

void CorvaneForm::Refresh_Click() {
    // A refresh asked for while one runs (from a message box, say) runs once after it, never inside it.
    if (inRefresh_) {
        refreshPending_ = true;
        return;
    }
    inRefresh_ = true;
    do {
        refreshPending_ = false;
        refreshOnce();
    } while (refreshPending_);
    inRefresh_ = false;
}

void CorvaneForm::refreshOnce() {
    // While a person is still typing, the model uses the clamped values but every box keeps exactly
    // what was typed; the clamped text goes back into the box when the edit ends.
    std::vector<std::string> typed;
    if (!writeBack_) {
        for (const ParameterControl& c : parameterControls()) {
            typed.push_back((this->*(c.box)).Text);
        }
    }
    clampAndStore();
    if (!writeBack_) {
        std::size_t k = 0;
        for (const ParameterControl& c : parameterControls()) {
            std::string& text = (this->*(c.box)).Text;
            if (text != typed[k]) {
                writeBackPending_ = true;
                text = typed[k];
            }
            ++k;
        }
    } else {
        writeBackPending_ = false;
    }

    // Every channel is cleared, not only the filter's: a curve (and a file made from it) never
    // mixes points of two models.
    Curve.clearForRefresh(PicturePlot.width());
    if (chkSave.checked()) {
        restartSave();
    }

    fillRocheList();
    fillSizeLists();
    fitZoomToPicture();

    lblMessage.Caption = "Rendering Stars";
    Scene.ShapeCache.resize(LatLines);
    Scene.NeckCache.resize(LonLines);
    radius2Text_ = txtRadius2.Text;

    DrawStar();
    if (precisePhotometry() && chkPhotometry.checked()) {
        fillPreciseCurve();
        if (Curve.ObsCount > 0) {
            // The model at the observed phases costs about as much as the curve itself: the plot
            // shows the observations against it at once.
            computeModelAtObs();
        }
    }

    // A relative error on show belongs to the model it was computed for.
    if (!errorKey_.empty()) {
        const bool current = modelKey() == errorKey_;
        lblError.Caption = current ? errorCaption_ : errorCaption_ + " (before the last change)";
        if (!chiCaption_.empty()) {
            lblChiSquare.Caption = current ? chiCaption_ : chiCaption_ + " (before the last change)";
        }
    }
    if (chkError.checked()) {
        if (Curve.ObsCount > 0) {
            RelativeError();
        }
        chkError.Value = 0;
    }
}

void CorvaneForm::restartSave() {
    // A save measures whole revolutions of one model: after any change it starts again from the
    // beginning of a revolution, so every point of the file gets every channel of the filter.
    Eta = 0;
    txtEta.Text = "0";
    SaveRevolutions = 0;
    if (!(AnimStep >= MinSaveStep)) {
        endSave("The light curve cannot be saved: the animation step is " + txtAnimSpeed.Text +
                " degrees, so a revolution never ends. Set \"Animation Step\" to 0.01 or more and save again.");
    }
}

void CorvaneForm::fitZoomToPicture() {
    // The described scale follows the picture's smaller side only; a wide system in a narrow picture
    // would run off it. Shrink the scale (never enlarge it) until every phase of the orbit, at this
    // inclination and tilt, fits inside both sides. The zoom still scales the result.
    if (!TwoStarsCheck.checked()) {
        return;
    }
    if (chkSpherical.checked()) {
        // An overflowing star's surface falls back to other radii in other directions: sample it all
        // round (the drawing reads none of these cache entries, and the cache is cleared next).
        const roche::ShapeInputs in = shapeInputs();
        for (int star : {1, 2}) {
            double& largest = star == 1 ? MaxRadius1 : MaxRadius2;
            for (int i = -5; i <= 5; ++i) {
                for (int j = 0; j < 24; ++j) {
                    const double r = roche::StarShape(Scene.Shape, in, Scene.ShapeCache, star, i * Pi / 12,
                                                      j * TwoPi / 24, 0, 0, 0, true);
                    if (std::isfinite(r)) {
                        largest = std::max(largest, std::fabs(r));
                    }
                }
            }
        }
    }
    const double q = QRatio;
    const double cosI = std::cos(Iota);
    const double c = std::cos(Gamma);
    const double sn = std::sin(Gamma);
    double extX = 0;
    double extY = 0;
    for (const auto& [a, r] : {std::pair{q / (1 + q), MaxRadius1}, std::pair{1 / (1 + q), MaxRadius2}}) {
        // The star's centre runs round an ellipse of half-axes a and a cos(i), turned by the tilt.
        const double b = a * cosI;
        extX = std::max(extX, std::sqrt(a * a * c * c + b * b * sn * sn) + r);
        extY = std::max(extY, std::sqrt(a * a * sn * sn + b * b * c * c) + r);
    }
    // One unit of separation is 2 ZoomScale pixels; keep a few pixels of black round the edge (cell
    // outlines reach a little past the surface).
    const double fitX = (Picture1Width / 2.0 - 3) / (2 * extX);
    const double fitY = (Picture1Height / 2.0 - 3) / (2 * extY);
    const double fit = std::min(fitX, fitY);
    const double described = std::min(Picture1Width, Picture1Height) / 300.0 * 100;
    if (std::isfinite(fit) && fit > 0 && fit < described) {
        storeFinite(ZoomScale, Val(txtZoom.Text) / 100 * fit);
    }
}

void CorvaneForm::endSave(const std::string& why) {
    chkSave.Value = 0;
    AnimCheck.Value = 0;
    frameMessage.Visible = false;
    SaveRevolutions = 0;
    if (!why.empty()) {
        dialogs_->message(why, "Corvane", platform::MessageButtons::Ok);
    }
}

int CorvaneForm::comparedChannel() const {
    if (const auto f = lightcurve::filterChannels(cmbFilter.Text); f && f->first == f->last) {
        return f->first;
    }
    return 0;
}

std::string CorvaneForm::channelName(int channel) {
    switch (channel) {
    case 1:
        return "Blue";
    case 2:
        return "Green";
    case 3:
        return "Red";
    default:
        return "Luminance (R + G + B)";
    }
}

std::string CorvaneForm::modelKey() const {
    return lightKey() + "," + cmbFilter.Text + "," + std::to_string(chkMag.Value) + "," +
           GeneralNumber(observedPhaseShift()) + "," + GeneralNumber(exposureWidth());
}

std::string CorvaneForm::lightKey() const {
    std::string key;
    for (double v : {Iota, Q, Radius1, Radius2, Limb1, Limb2, Temp1, Temp2, TempMax, Gamma, RotPeriodSec, ZoomScale,
                     SpotTemp, SpotLat, SpotLon, SpotRadius}) {
        key += GeneralNumber(v) + ",";
    }
    key += std::to_string(LatLines) + "," + std::to_string(Picture1Width) + "x" + std::to_string(Picture1Height) + ",";
    for (const SwitchControl& c : switchControls()) {
        const std::string name = c.name;
        if (name != "AnimCheck" && name != "chkSave" && name != "chkBMP" && name != "chkError" &&
            name != "chkPhotometry") {
            key += std::to_string((this->*(c.box)).Value);
        }
    }
    for (const OptionControl& o : optionControls()) {
        key += (this->*(o.button)).Value ? "1" : "0";
    }
    key += "," + cmbStarSpot1.Text + "," + cmbPhotometry.Text;
    key += "," + cmbPassband.Text + "," + cmbLimbLaw.Text + "," + GeneralNumber(Limb1b) + "," + GeneralNumber(Limb2b) +
           "," + GeneralNumber(ThirdLight) + "," + GeneralNumber(Gravity1) + "," + GeneralNumber(Gravity2) + "," +
           GeneralNumber(Albedo1) + "," + GeneralNumber(Albedo2);
    if (Eccentricity > 0 || chkLightTime.checked()) {
        key += ",e" + GeneralNumber(Eccentricity) + "," + GeneralNumber(OmegaDeg) + "," + GeneralNumber(Apsidal) + "," +
               GeneralNumber(orbitSettings().lightTime);
    }
    return key;
}

light::LightSettings CorvaneForm::lightSettings() const {
    light::LightSettings l;
    l.passband = cmbPassband.Text == light::kScreenColour || cmbPassband.Text.empty() ? "" : cmbPassband.Text;
    l.law = light::limbLawNamed(cmbLimbLaw.Text).value_or(light::LimbLaw::Linear);
    l.limb1b = Limb1b;
    l.limb2b = Limb2b;
    l.thirdLight = ThirdLight;
    l.gravity1 = Gravity1;
    l.gravity2 = Gravity2;
    l.albedo1 = Albedo1;
    l.albedo2 = Albedo2;
    return l;
}

void CorvaneForm::checkLight() {
    const light::LightSettings l = lightSettings();
    std::string problem;
    for (const auto& [star, a, b] : {std::tuple{1, Limb1, Limb1b}, std::tuple{2, Limb2, Limb2b}}) {
        if (const std::string why = light::limbProblem(l.law, a, b); !why.empty() && problem.empty()) {
            problem = "Star " + std::to_string(star) + ": " + why + ".";
        }
    }
    LightRefused = !problem.empty();
    const bool beyond = !l.screenColour() || l.law != light::LimbLaw::Linear || l.thirdLight > 0 ||
                        l.gravity1 != 0 || l.gravity2 != 0 || l.albedo1 != 0 || l.albedo2 != 0;
    if (!LightRefused && beyond && !precisePhotometry()) {
        problem = "The Pixels photometry measures the picture shaded with these settings, to whole pixel values "
                  "and without third light; the Precise photometry integrates them exactly.";
    }
    lblLight.Caption = problem;
    if (!precisePhotometry()) {
        lblLightReport.Caption.clear(); // the Pixels photometry has no model to report on
    }
}

render::SceneInputs CorvaneForm::sceneInputs() const {
    render::SceneInputs in;
    in.Radius1 = Radius1;
    in.Radius2 = Radius2;
    in.Limb1 = Limb1;
    in.Limb2 = Limb2;
    in.Temp1 = Temp1;
    in.Temp2 = Temp2;
    in.LatLines = LatLines;
    in.LatLines2 = LatLines2;
    in.LonLines = LonLines;
    in.Eta = Eta;
    in.Iota = Iota;
    in.Gamma = Gamma;
    in.QRatio = QRatio;
    in.TwoStars = TwoStarsCheck.checked();
    in.Neck = chkNeck.checked() && ContactPair;
    in.SimAreas = chkSimAreas.checked();
    in.Granulation = chkGran.checked();
    in.Mode = chkGrid.Value ? render::DrawMode::Grid : chkDots.Value ? render::DrawMode::Dots : render::DrawMode::Paint;
    in.Colour.Stefan = chkStefan.checked();
    in.Colour.TempMax = TempMax;
    in.Colour.SpotActive = chkSpot1.checked();
    in.Colour.SpotTemp = SpotTemp;
    in.Colour.SpotLat = SpotLat;
    in.Colour.SpotLon = SpotLon;
    in.Colour.SpotRadius = SpotRadius;
    in.Light = lightSettings();
    in.Orbit = orbitSettings();
    in.Shape = shapeInputs();
    in.View.Tidal = chkSpherical.checked();
    in.View.TwoStars = TwoStarsCheck.checked();
    in.View.RotPeriodSec = RotPeriodSec;
    in.View.ZoomScale = ZoomScale;
    in.View.HalfWidth = static_cast<float>(Scene.Picture1.width() / 2.0);
    in.View.HalfHeight = static_cast<float>(Scene.Picture1.height() / 2.0);
    return in;
}

roche::OrbitSettings CorvaneForm::orbitSettings() const {
    roche::OrbitSettings o;
    o.eccentricity = Eccentricity;
    o.omega = OmegaDeg * Pi / 180;
    o.apsidal = Apsidal * Pi / 180;
    if (const double period = Val(txtPeriod.Text); chkLightTime.checked() && SemiMajorAxis > 0 && period > 0) {
        constexpr double LightKmPerSecond = 299792.458;
        o.lightTime = SemiMajorAxis * roche::NominalSolarRadiusKm / (LightKmPerSecond * period * 86400);
    }
    return o;
}

void CorvaneForm::checkOrbit() {
    std::string text;
    const render::SceneInputs in = sceneInputs();
    if (Eccentricity > 0 && !in.TwoStars) {
        text = "A single star has no orbit.";
    } else if (Eccentricity > 0) {
        if (const std::string why = precise::orbitProblem(in); !why.empty()) {
            text = why + " The orbit is taken as circular.";
        } else {
            const roche::Orbit orbit(in.Orbit.eccentricity, in.Orbit.omega, in.Iota);
            text = "Secondary eclipse at phase " + platform::Format(orbit.secondaryPhase(), "0.0000") +
                   ", periastron at phase " + platform::Format(orbit.periastronPhase(), "0.0000") +
                   "; e cos(omega) = " + platform::Format(Eccentricity * std::cos(in.Orbit.omega), "0.00000") +
                   ", e sin(omega) = " + platform::Format(Eccentricity * std::sin(in.Orbit.omega), "0.00000") + ".";
        }
    }
    if (chkLightTime.checked() && in.TwoStars) {
        text += (text.empty() ? "" : "\n") +
                std::string(in.Orbit.lightTime > 0
                                ? "With the light time the secondary eclipse is seen " +
                                      platform::Format(2 * in.Orbit.lightTime * std::sin(in.Iota) * (1 - Q) / (1 + Q) *
                                                           Val(txtPeriod.Text) * 86400,
                                                       "0.0") +
                                      " s late (to first order, circular)."
                                : "The light time needs the semi-major axis and the period.");
    }
    if (in.TwoStars) {
        for (const std::string& line : dimensionsReport()) {
            text += (text.empty() ? "" : "\n") + line;
        }
    }
    lblOrbit.Caption = text;
}

void CorvaneForm::drawModelFrame() {
    Scene.Shape.SpinUnstable = false;
    render::DrawStar(Scene, precise::sceneAtOrbitAngle(sceneInputs(), Eta));
    LonCount = Scene.LonCount;
    if (Scene.Shape.SpinUnstable) {
        FrameStar1 = Frame{" Star 1 - Unstable ", ColorRed};
    }
}

void CorvaneForm::DrawStar() {
    drawModelFrame();
    if (chkPhotometry.checked()) {
        Photometry_Click();
    }
}

void CorvaneForm::clampAndStore() {
    storeFinite(ZoomScale, Val(txtZoom.Text) * std::min(Picture1Width, Picture1Height) / 300.0);
    if (const double days = Val(txtRotPer.Text); days > 0) {
        storeFinite(RotPeriodSec, days * 24 * 3600);
    }
    storeFinite(Eta, Val(txtEta.Text) * Pi / 180);

    double iota = Val(txtIota.Text);
    clampBox(txtIota, iota, 0, "0", 90, "90");
    Iota = iota * Pi / 180;

    double q = Val(Qratio.Text);
    clampBox(Qratio, q, roche::MinMassRatio, "0.001", roche::MaxMassRatio, "1000");
    Q = q;
    QRatio = q;

    clampRadius(txtRadius1, Radius1 = Val(txtRadius1.Text));
    clampRadius(txtRadius2, Radius2 = Val(txtRadius2.Text));

    Limb1 = Val(txtLimb1.Text);
    clampBox(txtLimb1, Limb1, 0, "0", 1, "1");
    Limb2 = Val(txtLimb2.Text);
    clampBox(txtLimb2, Limb2, 0, "0", 1, "1");
    Limb1b = Val(txtLimb1b.Text);
    clampBox(txtLimb1b, Limb1b, -1, "-1", 3, "3");
    Limb2b = Val(txtLimb2b.Text);
    clampBox(txtLimb2b, Limb2b, -1, "-1", 3, "3");
    ThirdLight = Val(txtThirdLight.Text);
    clampBox(txtThirdLight, ThirdLight, 0, "0", 0.99, "0.99");
    Gravity1 = Val(txtGravity1.Text);
    clampBox(txtGravity1, Gravity1, 0, "0", 1, "1");
    Gravity2 = Val(txtGravity2.Text);
    clampBox(txtGravity2, Gravity2, 0, "0", 1, "1");
    Albedo1 = Val(txtAlbedo1.Text);
    clampBox(txtAlbedo1, Albedo1, 0, "0", 1, "1");
    Albedo2 = Val(txtAlbedo2.Text);
    clampBox(txtAlbedo2, Albedo2, 0, "0", 1, "1");
    checkLight();
    Eccentricity = Val(txtEccentricity.Text);
    clampBox(txtEccentricity, Eccentricity, 0, "0", roche::MaxEccentricity, "0.95");
    storeFinite(OmegaDeg, Val(txtOmega.Text));
    storeFinite(Apsidal, Val(txtApsidal.Text));
    storeFinite(GammaVelocity, Val(txtGammaVelocity.Text));
    SemiMajorAxis = Val(txtSemiMajorAxis.Text);
    clampBox(txtSemiMajorAxis, SemiMajorAxis, 0, "0", 1e5, "100000");
    Vsini1 = Val(txtVsini1.Text);
    clampBox(txtVsini1, Vsini1, 0, "0", 1e4, "10000");
    Vsini2 = Val(txtVsini2.Text);
    clampBox(txtVsini2, Vsini2, 0, "0", 1e4, "10000");
    storeFinite(Lambda1Deg, Val(txtLambda1.Text));
    storeFinite(Lambda2Deg, Val(txtLambda2.Text));
    checkOrbit();

    double lines = Val(txtN1.Text);
    clampBox(txtN1, lines, 1, "1", 100, "100");
    LatLines = static_cast<int>(std::lround(lines));
    LatLines2 = LatLines;
    LonLines = 4 * LatLines;

    readTemperature(txtTemp1, Temp1);
    readTemperature(txtTemp2, Temp2);

    if (chkSpot1.checked()) {
        if (const double t = Val(txtTempSpot1.Text); t > 0) {
            SpotTemp = t;
        }
        SpotLat = -Val(txtSpotLat1.Text) * Pi / 180;
        SpotLon = Val(txtSpotLon1.Text) * Pi / 180 + Pi;
        SpotRadius = Val(txtRadSpot1.Text) * Pi / 180;
    }
    TempMax = std::max(Temp1, Temp2);
    if (chkSpot1.checked()) {
        TempMax = std::max(TempMax, SpotTemp);
    }

    AnimStep = Val(txtAnimSpeed.Text);
    clampBox(txtAnimSpeed, AnimStep, 0, "0", 20, "20");

    storeFinite(Gamma, Val(txtGamma.Text) * Pi / 180);
}

void CorvaneForm::fillRocheList() {
    RocheList.Clear();
    const double q = Val(Qratio.Text);

    Roche.Q = Q;
    roche::RochePot(Roche);
    RocheRadius = roche::StarRadius(Roche, Roche.OmegaCrit, Roche.Q, 0, HalfPi, 0);
    RocheList.AddItem("r1(pole) = " + Format(RocheRadius, "0.####"));

    Roche.Q = roche::clampMassRatio(1.0 / roche::clampMassRatio(q));
    roche::RochePot(Roche);
    RocheRadius = roche::StarRadius(Roche, Roche.OmegaCrit, Roche.Q, 0, HalfPi, 0);
    RocheList.AddItem("r2(pole) = " + Format(RocheRadius, "0.####"));

    Roche.Q = Q;
    roche::RochePot(Roche);
    RocheList.AddItem("Omega = " + Format(Roche.OmegaCrit, "##.###"));
}

roche::ShapeInputs CorvaneForm::shapeInputs() const {
    return {Radius1, Radius2, Val(Qratio.Text), Roche.LagrangeX};
}

void CorvaneForm::fillSizeLists() {
    StarSizeList.Clear();
    const double omegaCrit = Roche.OmegaCrit;

    // Star 1 towards the companion, sideways and away (star 1's shape offset is -pi/2). These
    // calls bypass the cache and store under corner 0, which the drawing never reads.
    auto sizes = [&](int star, const std::array<double, 3>& thetas) {
        const roche::ShapeInputs in = shapeInputs();
        const char* names[3] = {"(point) = ", "(side) = ", "(back) = "};
        const std::string prefix = star == 1 ? "r1" : "r2";
        double largest = star == 1 ? Radius1 : Radius2;
        for (int n = 0; n < 3; ++n) {
            const double r = roche::StarShape(Scene.Shape, in, Scene.ShapeCache, star, 0.0,
                                              thetas[static_cast<std::size_t>(n)], 0, n, 0, true);
            StarSizeList.AddItem(prefix + names[n] + Format(r, "0.####"));
            if (chkSpherical.checked() && std::isfinite(r)) {
                largest = std::max(largest, std::fabs(r));
            }
        }
        (star == 1 ? MaxRadius1 : MaxRadius2) = largest;
    };

    // The radii the model uses (clamped while a box still holds what is being typed), beside the
    // potentials computed from them.
    StarSizeList.AddItem("r1(pole) = " + Format(Radius1, "0.####"));
    sizes(1, {Pi, HalfPi, 0.0});

    Omega1 = 1 / Radius1 + Q / std::sqrt(1 + Radius1 * Radius1);
    StarSizeList.AddItem("Omega1 = " + Format(Omega1, "##.###"));
    StarSizeList.AddItem(" ");

    RecommendedRadius2 = roche::NeckShape2({Q, Radius1, Radius2, Roche.LagrangeX}, 0.0, 1.0);
    StarSizeList.AddItem("r2(pole) = " + Format(RecommendedRadius2, "0.####") + " Recommended");
    StarSizeList.AddItem(" ");

    if (chkAuto.checked() && Omega1 < omegaCrit) {
        txtRadius2.Text = Format(RecommendedRadius2, "0.####");
        double r2 = Val(txtRadius2.Text);
        clampRadius(txtRadius2, r2);
        Radius2 = r2;
    }

    StarSizeList.AddItem("r2(pole) = " + Format(Radius2, "0.####"));
    sizes(2, {0.0, HalfPi, Pi});

    // The potential at star 2's pole (1, 0, Radius2) in star 1's frame: w is its distance from star 1.
    const double w = std::sqrt(1 + Radius2 * Radius2);
    Omega2 = 1 / w + Q * (1 / Radius2 - 1) + (1 + Q) / 2;
    StarSizeList.AddItem("Omega2 = " + Format(Omega2, "##.###"));

    if (chkAuto.checked()) {
        chkNeck.Value = (Omega1 < omegaCrit && Omega2 < omegaCrit) ? 1 : 0;
    }

    const bool contact1 = Omega1 < omegaCrit;
    const bool contact2 = Omega2 < omegaCrit;
    FrameStar1 = contact1 ? Frame{" Star 1 - Contact ", ColorRed} : Frame{" Star 1 ", ColorLightGrey};
    FrameStar2 = contact2 ? Frame{" Star 2 - Contact ", ColorRed} : Frame{" Star 2 ", ColorLightGrey};
    // A neck exists only where the two stars share an envelope.
    ContactPair = contact1 && contact2;
    if (chkNeck.checked() && !ContactPair) {
        const std::string why = "\"Contact Neck\" has no effect: the stars do not share an envelope. Both must fill "
                                "their Roche lobes (\"Auto\" sizes star 2 for that once star 1 does).";
        FrameStar1.ToolTip = why;
        FrameStar2.ToolTip = why;
    }
}

// ---------------------------------------------------------------------------------------------
// "Equator Data"

void CorvaneForm::mnuEquator_Click() {
    Text1.Visible = true;
    Q = roche::clampMassRatio(Val(Qratio.Text));
    Roche.Q = Q;
    roche::RochePot(Roche);

    // Before anything is drawn there is no band count yet: use the equator band of the grid.
    const int count = LonCount > 0 ? LonCount : std::max(1, LonLines);
    std::string text = std::to_string(count) + "\r\n";
    text += GeneralNumber(Roche.LagrangeX) + "\r\n";
    text += GeneralNumber(Roche.OmegaCrit) + "\r\n";
    // The rows need the lobe itself, towards the companion too, where the fixed-point iteration of
    // the lists diverges: the critical potential at the exact inner Lagrangian point, and a solver
    // that brackets and bisects (the header lines keep the lists' values).
    const double lobePotential = roche::RochePotentialAt(Q, roche::InnerLagrangianPoint(Q), 1.0, 0.0);
    for (int i = 0; i <= 2 * count; ++i) {
        EquatorAngle = HalfPi - (TwoPi * i) / (count * 2.0);
        const roche::LobeRadiusResult lobe = roche::EquipotentialRadius(Q, lobePotential, std::sin(EquatorAngle), 0.0);
        RocheRadius = lobe.radius;
        text += std::to_string(lobe.passes) + "," + Format(180 * EquatorAngle / Pi, "#0.#") + "," +
                Format(RocheRadius, "0.####") + "\r\n";
    }
    Text1.Text = text;
}

// ---------------------------------------------------------------------------------------------
// Text boxes

void CorvaneForm::txtN1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtIota_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtGamma_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtLimb1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtLimb2_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtRadius1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtRotPer_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtTemp1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtTemp2_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtZoom_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtAnimSpeed_KeyUp() { Refresh_Click(); }
void CorvaneForm::Qratio_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtTempSpot1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtSpotLat1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtSpotLon1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtRadSpot1_KeyUp() { Refresh_Click(); }
void CorvaneForm::txtFilename_KeyUp() {}

void CorvaneForm::txtEta_KeyUp() {
    storeFinite(Eta, Val(txtEta.Text) * Pi / 180);
    Refresh_Click();
}

bool CorvaneForm::autoBlocksRadius2() {
    if (!chkAuto.checked()) {
        return false;
    }
    dialogs_->message(kAutoMessage, "Corvane", platform::MessageButtons::Ok);
    FocusControl = "txtRadius1";
    return true;
}

void CorvaneForm::txtRadius2_KeyUp() {
    if (autoBlocksRadius2()) {
        // The edit is refused: the box goes back to the radius in use.
        txtRadius2.Text = radius2Text_;
        return;
    }
    Refresh_Click();
}

// ---------------------------------------------------------------------------------------------
// Spinners

void CorvaneForm::VScroll_Change(int n, int newValue) {
    if (n < 1 || n > 14) {
        return;
    }
    const ParameterControl* control = nullptr;
    for (const ParameterControl& c : parameterControls()) {
        if (c.scroll == n) {
            control = &c;
        }
    }
    if (control == nullptr) {
        return;
    }
    if (n == 6 && autoBlocksRadius2()) {
        VScroll[6].Value = ScrollLast[6];
        return;
    }
    VScroll[static_cast<std::size_t>(n)].Value = std::clamp(newValue, ScrollBar::Min, ScrollBar::Max);
    const bool up = newValue > ScrollLast[static_cast<std::size_t>(n)];
    TextBox& box = this->*(control->box);
    if (n == 4) {
        // The rotation angle steps by the animation step, in whole degrees.
        const double step = Val(txtAnimSpeed.Text);
        const double degrees = Eta * 180 / Pi + (up ? step : -step);
        // Eta went through degrees -> radians -> degrees; don't let that round-trip lose a degree.
        box.Text = GeneralNumber(std::floor(degrees + 1e-9)) + " ";
    } else {
        const double v = Val(box.Text) + (up ? control->step : -control->step);
        box.Text = GeneralNumber(v);
    }
    ScrollLast[static_cast<std::size_t>(n)] = newValue;
    Refresh_Click();
}

// ---------------------------------------------------------------------------------------------
// Switches

void CorvaneForm::chkAuto_Click() { Refresh_Click(); }
void CorvaneForm::chkNeck_Click() { Refresh_Click(); }
void CorvaneForm::chkSpherical_Click() { Refresh_Click(); }
void CorvaneForm::chkStefan_Click() { Refresh_Click(); }
void CorvaneForm::chkSimAreas_Click() { Refresh_Click(); }
void CorvaneForm::chkMag_Click() { Refresh_Click(); }
void CorvaneForm::chkPaint_Click() { Refresh_Click(); }
void CorvaneForm::chkGran_Click() {
    // Refilled on every click, on or off, from the running generator.
    Scene.Gran.fill(Random);
    Refresh_Click();
}
void CorvaneForm::chkSpot1_Click() { Refresh_Click(); }
void CorvaneForm::chkLightTime_Click() { Refresh_Click(); }
void CorvaneForm::cmbStarSpot1_Click() { Refresh_Click(); }
void CorvaneForm::chkPhotometry_Click() {}

void CorvaneForm::chkDots_Click() {
    chkPhotometry.Value = 0;
    Refresh_Click();
}

void CorvaneForm::chkGrid_Click() {
    chkPhotometry.Value = 0;
    Refresh_Click();
}

void CorvaneForm::TwoStarsCheck_Click() {
    Eta = 0;
    txtEta.Text = "0 ";
    Refresh_Click();
}

void CorvaneForm::AnimCheck_Click() { Timer1Enabled = true; }

void CorvaneForm::selectOption(OptionButton& chosen) {
    for (const OptionControl& o : optionControls()) {
        (this->*(o.button)).Value = false;
    }
    chosen.Value = true;
}

// ---------------------------------------------------------------------------------------------
// Named access

std::span<const CorvaneForm::ParameterControl> CorvaneForm::parameterControls() {
    static const ParameterControl table[] = {
        {"txtIota", "Inclination (\u00b0)", 2, 1, &CorvaneForm::txtIota, &CorvaneForm::txtIota_KeyUp},
        {"Qratio", "Mass Ratio", 14, 0.1, &CorvaneForm::Qratio, &CorvaneForm::Qratio_KeyUp},
        {"txtN1", "Latitude Lines", 1, 1, &CorvaneForm::txtN1, &CorvaneForm::txtN1_KeyUp},
        {"txtRadius1", "Pole Radius", 5, 0.001, &CorvaneForm::txtRadius1, &CorvaneForm::txtRadius1_KeyUp},
        {"txtRadius2", "Pole Radius", 6, 0.001, &CorvaneForm::txtRadius2, &CorvaneForm::txtRadius2_KeyUp},
        {"txtLimb1", "Limb Darkening ", 9, 0.05, &CorvaneForm::txtLimb1, &CorvaneForm::txtLimb1_KeyUp},
        {"txtLimb2", "Limb Darkening ", 10, 0.05, &CorvaneForm::txtLimb2, &CorvaneForm::txtLimb2_KeyUp},
        {"txtTemp1", "Temperature (K)", 11, 100, &CorvaneForm::txtTemp1, &CorvaneForm::txtTemp1_KeyUp},
        {"txtTemp2", "Temperature (K)", 12, 100, &CorvaneForm::txtTemp2, &CorvaneForm::txtTemp2_KeyUp},
        {"txtAnimSpeed", "Animation Step (\u00b0)", 7, 1, &CorvaneForm::txtAnimSpeed, &CorvaneForm::txtAnimSpeed_KeyUp},
        {"txtGamma", "Axis Tilt", 3, 5, &CorvaneForm::txtGamma, &CorvaneForm::txtGamma_KeyUp},
        {"txtEta", "Rotation Angle", 4, 0, &CorvaneForm::txtEta, &CorvaneForm::txtEta_KeyUp},
        {"txtRotPer", "Rotation Ratio", 13, 0.01, &CorvaneForm::txtRotPer, &CorvaneForm::txtRotPer_KeyUp},
        {"txtZoom", "Zoom (%)", 8, 10, &CorvaneForm::txtZoom, &CorvaneForm::txtZoom_KeyUp},
        {"txtTempSpot1", "Temperature (K)", 0, 0, &CorvaneForm::txtTempSpot1, &CorvaneForm::txtTempSpot1_KeyUp},
        {"txtSpotLat1", "Latitude (\u00b0)", 0, 0, &CorvaneForm::txtSpotLat1, &CorvaneForm::txtSpotLat1_KeyUp},
        {"txtSpotLon1", "Longitude (\u00b0)", 0, 0, &CorvaneForm::txtSpotLon1, &CorvaneForm::txtSpotLon1_KeyUp},
        {"txtRadSpot1", "Radius (\u00b0)", 0, 0, &CorvaneForm::txtRadSpot1, &CorvaneForm::txtRadSpot1_KeyUp},
        {"txtFilename", "File Name", 0, 0, &CorvaneForm::txtFilename, &CorvaneForm::txtFilename_KeyUp},
        {"txtLCName", "File", 0, 0, &CorvaneForm::txtLCName, &CorvaneForm::txtFilename_KeyUp},
        {"txtBMPName", "File", 0, 0, &CorvaneForm::txtBMPName, &CorvaneForm::txtFilename_KeyUp},
        {"txtInitial", "Initial", 0, 0, &CorvaneForm::txtInitial, &CorvaneForm::txtFilename_KeyUp},
        {"txtFinal", "Final", 0, 0, &CorvaneForm::txtFinal, &CorvaneForm::txtFilename_KeyUp},
        {"txtSteps", "Steps", 0, 0, &CorvaneForm::txtSteps, &CorvaneForm::txtFilename_KeyUp},
        {"txtInitial2", "Initial", 0, 0, &CorvaneForm::txtInitial2, &CorvaneForm::txtFilename_KeyUp},
        {"txtFinal2", "Final", 0, 0, &CorvaneForm::txtFinal2, &CorvaneForm::txtFilename_KeyUp},
        {"txtSteps2", "Steps", 0, 0, &CorvaneForm::txtSteps2, &CorvaneForm::txtFilename_KeyUp},
        {"txtPeriod", "Period (d)", 0, 0, &CorvaneForm::txtPeriod, &CorvaneForm::txtFilename_KeyUp},
        {"txtExposure", "Exposure (s)", 0, 0, &CorvaneForm::txtExposure, &CorvaneForm::txtExposure_KeyUp},
        {"txtEpoch", "Epoch", 0, 0, &CorvaneForm::txtEpoch, &CorvaneForm::txtFilename_KeyUp},
        {"txtPhaseShift", "Phase Shift", 0, 0, &CorvaneForm::txtPhaseShift, &CorvaneForm::txtFilename_KeyUp},
        {"txtLimb1b", "Limb Darkening b", 0, 0.05, &CorvaneForm::txtLimb1b, &CorvaneForm::txtLimb1_KeyUp},
        {"txtLimb2b", "Limb Darkening b", 0, 0.05, &CorvaneForm::txtLimb2b, &CorvaneForm::txtLimb2_KeyUp},
        {"txtThirdLight", "Third Light", 0, 0.01, &CorvaneForm::txtThirdLight, &CorvaneForm::txtLimb1_KeyUp},
        {"txtGravity1", "Gravity Darkening", 0, 0.01, &CorvaneForm::txtGravity1, &CorvaneForm::txtLimb1_KeyUp},
        {"txtGravity2", "Gravity Darkening", 0, 0.01, &CorvaneForm::txtGravity2, &CorvaneForm::txtLimb1_KeyUp},
        {"txtAlbedo1", "Albedo", 0, 0.05, &CorvaneForm::txtAlbedo1, &CorvaneForm::txtLimb1_KeyUp},
        {"txtAlbedo2", "Albedo", 0, 0.05, &CorvaneForm::txtAlbedo2, &CorvaneForm::txtLimb1_KeyUp},
        {"txtEccentricity", "Eccentricity", 0, 0.01, &CorvaneForm::txtEccentricity, &CorvaneForm::txtLimb1_KeyUp},
        {"txtOmega", "Periastron (\u00b0)", 0, 5, &CorvaneForm::txtOmega, &CorvaneForm::txtLimb1_KeyUp},
        {"txtApsidal", "Apsidal Motion (\u00b0/cycle)", 0, 0.001, &CorvaneForm::txtApsidal, &CorvaneForm::txtLimb1_KeyUp},
        {"txtGammaVelocity", "Systemic Velocity (km/s)", 0, 1, &CorvaneForm::txtGammaVelocity, &CorvaneForm::txtLimb1_KeyUp},
        {"txtSemiMajorAxis", "Semi-major Axis (R\u2609)", 0, 0.1, &CorvaneForm::txtSemiMajorAxis, &CorvaneForm::txtLimb1_KeyUp},
        {"txtVsini1", "v sin i #1 (km/s)", 0, 1, &CorvaneForm::txtVsini1, &CorvaneForm::txtLimb1_KeyUp},
        {"txtVsini2", "v sin i #2 (km/s)", 0, 1, &CorvaneForm::txtVsini2, &CorvaneForm::txtLimb1_KeyUp},
        {"txtLambda1", "Spin-Orbit Angle #1 (\u00b0)", 0, 1, &CorvaneForm::txtLambda1, &CorvaneForm::txtLimb1_KeyUp},
        {"txtLambda2", "Spin-Orbit Angle #2 (\u00b0)", 0, 1, &CorvaneForm::txtLambda2, &CorvaneForm::txtLimb1_KeyUp},
    };
    return table;
}

std::span<const CorvaneForm::SwitchControl> CorvaneForm::switchControls() {
    static const SwitchControl table[] = {
        {"chkAuto", &CorvaneForm::chkAuto, &CorvaneForm::chkAuto_Click},
        {"chkNeck", &CorvaneForm::chkNeck, &CorvaneForm::chkNeck_Click},
        {"chkSpherical", &CorvaneForm::chkSpherical, &CorvaneForm::chkSpherical_Click},
        {"chkStefan", &CorvaneForm::chkStefan, &CorvaneForm::chkStefan_Click},
        {"chkSimAreas", &CorvaneForm::chkSimAreas, &CorvaneForm::chkSimAreas_Click},
        {"chkMag", &CorvaneForm::chkMag, &CorvaneForm::chkMag_Click},
        {"chkGran", &CorvaneForm::chkGran, &CorvaneForm::chkGran_Click},
        {"TwoStarsCheck", &CorvaneForm::TwoStarsCheck, &CorvaneForm::TwoStarsCheck_Click},
        {"AnimCheck", &CorvaneForm::AnimCheck, &CorvaneForm::AnimCheck_Click},
        {"chkPhotometry", &CorvaneForm::chkPhotometry, &CorvaneForm::chkPhotometry_Click},
        {"chkSpot1", &CorvaneForm::chkSpot1, &CorvaneForm::chkSpot1_Click},
        {"chkSave", &CorvaneForm::chkSave, &CorvaneForm::chkSave_Click},
        {"chkBMP", &CorvaneForm::chkBMP, &CorvaneForm::chkBMP_Click},
        {"chkError", &CorvaneForm::chkError, &CorvaneForm::chkError_Click},
        {"chkLightTime", &CorvaneForm::chkLightTime, &CorvaneForm::chkLightTime_Click},
    };
    return table;
}

std::span<const CorvaneForm::OptionControl> CorvaneForm::optionControls() {
    static const OptionControl table[] = {
        {"chkPaint", &CorvaneForm::chkPaint, &CorvaneForm::chkPaint_Click},
        {"chkGrid", &CorvaneForm::chkGrid, &CorvaneForm::chkGrid_Click},
        {"chkDots", &CorvaneForm::chkDots, &CorvaneForm::chkDots_Click},
    };
    return table;
}

std::span<const CorvaneForm::ComboControl> CorvaneForm::comboControls() {
    static const ComboControl table[] = {
        {"cmbStarSpot1", &CorvaneForm::cmbStarSpot1, &CorvaneForm::cmbStarSpot1_Click},
        {"cmbFilter", &CorvaneForm::cmbFilter, &CorvaneForm::cmbFilter_Click},
        {"cmbPhotometry", &CorvaneForm::cmbPhotometry, &CorvaneForm::cmbPhotometry_Click},
        {"cmbPassband", &CorvaneForm::cmbPassband, &CorvaneForm::cmbPassband_Click},
        {"cmbLimbLaw", &CorvaneForm::cmbLimbLaw, &CorvaneForm::cmbPhotometry_Click},
        {"cmbParameter", &CorvaneForm::cmbParameter, &CorvaneForm::cmbParameter_Click},
        {"cmbParameter2", &CorvaneForm::cmbParameter2, &CorvaneForm::cmbParameter2_Click},
    };
    return table;
}

bool CorvaneForm::typeText(const std::string& name, const std::string& text, bool finished) {
    for (const ParameterControl& c : parameterControls()) {
        if (name == c.name) {
            (this->*(c.box)).Text = text;
            const bool before = writeBack_;
            writeBack_ = finished;
            (this->*(c.keyUp))();
            writeBack_ = before;
            return true;
        }
    }
    return false;
}

void CorvaneForm::editFinished(const std::string&) {
    // Only a keystroke refresh that held a clamp back needs another: otherwise every box already
    // shows the value in use, and leaving a box must not disturb a light curve being built.
    if (writeBackPending_) {
        Refresh_Click();
    }
}

bool CorvaneForm::setSwitch(const std::string& name, int value) {
    if (value != 0 && value != 1) {
        return false;
    }
    for (const SwitchControl& c : switchControls()) {
        if (name == c.name) {
            (this->*(c.box)).Value = value;
            (this->*(c.click))();
            return true;
        }
    }
    for (const OptionControl& o : optionControls()) {
        if (name == o.name) {
            if (value != 1) {
                return false; // an option button is unset only by choosing another of its group
            }
            selectOption(this->*(o.button));
            (this->*(o.click))();
            return true;
        }
    }
    return false;
}

bool CorvaneForm::chooseItem(const std::string& name, const std::string& item) {
    for (const ComboControl& c : comboControls()) {
        if (name == c.name) {
            if (!(this->*(c.box)).select(item)) {
                return false;
            }
            (this->*(c.click))();
            return true;
        }
    }
    return false;
}

void CorvaneForm::resetToDefaults() {
    platform::ScriptedDialogs quiet;
    CorvaneForm fresh(quiet);
    fresh.AppFolder = AppFolder;
    fresh.setPictureSize(Picture1Width, Picture1Height);
    fresh.Form_Load();
    // Parameters, switches and choices go back; file names, the loaded curve and running jobs stay.
    for (const ParameterControl& c : parameterControls()) {
        const std::string name = c.name;
        if (name != "txtLCName" && name != "txtBMPName" && name != "txtFilename") {
            (this->*(c.box)).Text = (fresh.*(c.box)).Text;
        }
    }
    for (const SwitchControl& c : switchControls()) {
        const std::string name = c.name;
        if (name != "chkSave" && name != "chkBMP" && name != "chkError" && name != "chkDC") {
            (this->*(c.box)).Value = (fresh.*(c.box)).Value;
        }
    }
    for (const OptionControl& o : optionControls()) {
        (this->*(o.button)).Value = (fresh.*(o.button)).Value;
    }
    for (const ComboControl& c : comboControls()) {
        (this->*(c.box)).Text = (fresh.*(c.box)).Text;
        (this->*(c.box)).ListIndex = (fresh.*(c.box)).ListIndex;
    }
    FitFree = fresh.FitFree;
    PassbandChosen = false;
    SlideShowOn = false;
    Timer2Enabled = false;
    SlideShow.Caption = fresh.SlideShow.Caption;
    AnimCheck_Click();
    cmbFilter_Click();
    Refresh_Click();
}

} // namespace corvane::app

namespace corvane::app {

std::string CorvaneForm::applySetting(const std::string& name, const std::string& value) {
    for (const auto& c : parameterControls()) {
        if (name == c.name) {
            typeText(name, value);
            return {};
        }
    }
    auto isSwitch = [&](const auto& table) {
        return std::any_of(table.begin(), table.end(), [&](const auto& c) { return name == c.name; });
    };
    if (isSwitch(switchControls()) || isSwitch(optionControls())) {
        if (value != "0" && value != "1") {
            return "control '" + name + "' is a switch and takes 0 or 1, not '" + value + "'";
        }
        if (!setSwitch(name, value == "1" ? 1 : 0)) {
            return "control '" + name + "' is an option button: choose another of its group to unset it";
        }
        return {};
    }
    for (const auto& c : comboControls()) {
        if (name == c.name) {
            if (!chooseItem(name, value)) {
                std::string items;
                for (const std::string& item : (this->*(c.box)).Items) {
                    items += (items.empty() ? "" : ", ") + item;
                }
                return "control '" + name + "' has no item '" + value + "' (items: " + items + ")";
            }
            return {};
        }
    }
    return "unknown control '" + name + "' (see --help for the names)";
}

} // namespace corvane::app
