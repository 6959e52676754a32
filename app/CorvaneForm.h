// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "app/Controls.h"
#include "catalogue/Catalogue.h"
#include "fitting/Ensemble.h"
#include "fitting/Fit.h"
#include "fitting/FitFile.h"
#include "fitting/GridSearch.h"
#include "fitting/Observations.h"
#include "platform/Dialogs.h"
#include "platform/UniformRandom.h"
#include "lightcurve/CurvePlot.h"
#include "lightcurve/LightCurve.h"
#include "platform/Plot.h"
#include "render/Scene.h"
#include "timing/Report.h"
#include "roche/Roche.h"
#include "roche/StarShape.h"
#include "roche/Velocity.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace corvane::precise {
class PreciseLight;
}

namespace corvane::app {

// The main form, headless: every control's state, every form-level variable and every handler,
// under the names the program's documentation uses. One instance is one independent model; two
// instances may compute side by side on two threads. The window and the batch tool drive it.
class CorvaneForm {
public:
    explicit CorvaneForm(platform::Dialogs& dialogs);

    // --- Parameter controls (text boxes are the master copy of the parameters) ---
    TextBox txtIota{"82"};
    TextBox Qratio{"2.4"};
    TextBox txtN1{"5"};
    TextBox txtRadius1{"0.305"};
    TextBox txtRadius2{"0.45"};
    TextBox txtLimb1{"0.5"};
    TextBox txtLimb2{"0.5"};
    TextBox txtTemp1{"8200"};
    TextBox txtTemp2{"8200"};
    TextBox txtAnimSpeed{"5"};
    TextBox txtGamma{"0"};
    TextBox txtEta{"0"};
    TextBox txtRotPer{"0.3"};
    TextBox txtZoom{"100"};

    // Spinners: element N is VScrollN (element 0 unused).
    std::array<ScrollBar, 15> VScroll{};

    // Star spot (frame "Star Spots").
    CheckBox chkSpot1{" Active", 0};
    ComboBox cmbStarSpot1;
    TextBox txtTempSpot1{"5000"};
    TextBox txtSpotLat1{"45"};
    TextBox txtSpotLon1{"220"};
    TextBox txtRadSpot1{"10"};

    // Switches.
    CheckBox chkAuto{"Auto", 0};
    CheckBox chkNeck{"Contact Neck", 0};
    CheckBox chkSpherical{"Tidal Effects", 1};
    CheckBox chkStefan{"Stefan-Boltzmann", 0};
    CheckBox chkSimAreas{"Similar Areas", 1};
    CheckBox chkMag{"Use Magnitude Scale", 0};
    CheckBox chkGran{"Granulation", 0};
    CheckBox TwoStarsCheck{"Star 2 Active", 1};
    CheckBox AnimCheck{"Animate", 0};
    CheckBox chkPhotometry{"Photometry", 1};
    OptionButton chkPaint{"Paint", true};
    OptionButton chkDots{"Dots", false};
    OptionButton chkGrid{"Grid", false};

    // Filter and grid-search parameter choices (filled at start-up).
    ComboBox cmbFilter;
    // How the light is measured: "Pixels" sums the drawn picture frame by frame (the default);
    // "Precise" integrates the same model over the stars' surfaces, the whole curve at once.
    ComboBox cmbPhotometry;
    bool precisePhotometry() const { return cmbPhotometry.Text == "Precise"; }
    // How the surfaces radiate in the precise photometry: "Screen colour" (the default: the
    // temperature's colour channels), "Bolometric" or a real band; the limb-darkening law with the
    // second coefficient of each star (the first is txtLimb1, txtLimb2); third light L3 (the
    // fraction of the light at quadrature from a third body, 0 to 0.99).
    ComboBox cmbPassband;
    // Whether the person chose the passband (then a mission's file does not change it).
    bool PassbandChosen = false;
    void cmbPassband_Click();
    ComboBox cmbLimbLaw;
    TextBox txtLimb1b{"0"};
    TextBox txtLimb2b{"0"};
    TextBox txtThirdLight{"0"};
    // Gravity-darkening exponents beta of star 1 and star 2 (0 to 1; the temperature boxes then hold
    // the polar temperatures).
    TextBox txtGravity1{"0"};
    TextBox txtGravity2{"0"};
    // Bolometric albedos of star 1 and star 2 (0 to 1): the share of the companion's light that
    // heats the facing side and is radiated again.
    TextBox txtAlbedo1{"0"};
    TextBox txtAlbedo2{"0"};
    double Limb1b = 0, Limb2b = 0, ThirdLight = 0, Gravity1 = 0, Gravity2 = 0, Albedo1 = 0, Albedo2 = 0;
    // The orbit: eccentricity e (0 to 0.95), star 1's argument of periastron omega (degrees; star 1 is
    // behind its companion when the true anomaly plus omega is 90) and apsidal motion (degrees of omega
    // per cycle). With e above 0 the radii are in units of the semi-major axis (a Roche star's pole
    // radius at periastron), the rotation angle is the mean anomaly's turn and phase 0 the mid-time of
    // primary eclipse (precise/OrbitScene). lblOrbit says where the orbit cannot be used, and the
    // timing of the eclipses it puts the secondary at.
    TextBox txtEccentricity{"0"};
    TextBox txtOmega{"90"};
    TextBox txtApsidal{"0"};
    double Eccentricity = 0, OmegaDeg = 90, Apsidal = 0;
    // The velocities: the systemic velocity (km/s) and the semi-major axis (solar radii), with the
    // period and q the orbit's size in kilometres (fitting/Velocity).
    TextBox txtGammaVelocity{"0"};
    TextBox txtSemiMajorAxis{"0"};
    double GammaVelocity = 0, SemiMajorAxis = 0;
    // Each star's rotation as the Precise photometry's velocities see it: the projected equatorial
    // velocity v sin i of the sphere of its volume (km/s; 0: synchronous, at the periastron rate, about
    // the orbit's axis) and the sky-projected angle lambda between its spin axis and the orbit's
    // (degrees, towards the way the star in front at primary eclipse moves). They change the
    // Rossiter-McLaughlin effect, not the shapes, which stay synchronous equipotentials.
    TextBox txtVsini1{"0"};
    TextBox txtVsini2{"0"};
    TextBox txtLambda1{"0"};
    TextBox txtLambda2{"0"};
    double Vsini1 = 0, Vsini2 = 0, Lambda1Deg = 0, Lambda2Deg = 0;
    // A star's volume-equivalent radius in units of a (its periastron volume in an eccentric orbit;
    // NaN where it fills its lobe).
    double volumeRadius(int star) const;
    // The fit's other form of the orbit's shape (fitproblem::applyEccentricityVector), shown nowhere.
    TextBox txtECosOmega{"0"};
    TextBox txtESinOmega{"0"};
    // The light-time delay across the orbit (roche::OrbitSettings::lightTime), off by default; it needs
    // the semi-major axis and the period.
    CheckBox chkLightTime{"Light Time", 0};
    void chkLightTime_Click();
    Label lblOrbit{"", true};
    // The orbit's size from the semi-major axis, the period (txtPeriod) and q: the semi-amplitudes
    // and masses (zeros without a and P), and each star's Keplerian velocity at a phase (km/s).
    // With the Precise photometry each star's velocity is the flux-weighted mean over its visible
    // surface (precise::PreciseLight::rotationVelocities), its rotation synchronous (at periastron, in
    // an eccentric orbit: sqrt((1 + e) / (1 - e)^3) times the mean motion), so the eclipses show the
    // Rossiter-McLaughlin effect; velocityModel() is that model, or nothing with the Pixels photometry.
    roche::OrbitSize orbitScale() const;
    std::optional<precise::PreciseLight> velocityModel() const;
    roche::PairVelocity velocityAt(double phase, const precise::PreciseLight* model = nullptr) const;
    // What the orbit's size gives, one line each, when a and P are known: K1 and K2, the masses, the
    // volume-equivalent radii and log g of both stars (IAU 2015 nominal solar units).
    std::vector<std::string> dimensionsReport() const;
    // Radial velocities of star 1 or star 2 read from files (fitting::readVelocities): their phases
    // (times folded with txtPeriod and txtEpoch, not reduced to one cycle, so apsidal motion counts
    // the cycles), velocities and errors.
    struct VelocitySet {
        int star = 1;
        std::string file;
        std::vector<double> phase, velocity, error;
    };
    std::vector<VelocitySet> VelocitySets;
    // Reads the file for the star and adds it; "" or why nothing was added.
    std::string loadVelocities(int star, const std::string& path);
    // Per set: its points, the RMS of observed minus model and, with errors, the chi-square.
    std::vector<std::string> velocityReport() const;
    // The points a fit weighs (the observed light and any velocities), why the velocities cannot
    // join it ("" when they can, or when there are none), and their chi-square against the model.
    int fitPointCount() const;
    std::string velocityFitProblem() const;
    double velocityChiSquare() const;
    // The fit's line of quantities derived with the velocities (K1, K2, the masses, the radii in solar
    // units) at the free parameters x, with errors through their covariance.
    std::string derivedReport(const std::vector<int>& free, const std::vector<double>& x,
                              const std::vector<std::vector<double>>& covariance) const;
    // The orbit's shape in the other of its two forms (e and omega, e cos(omega) and e sin(omega)) when
    // the fit freed either, with errors through the covariance; empty otherwise.
    std::string orbitFormsReport(const std::vector<int>& free, const std::vector<double>& x,
                                 const std::vector<std::vector<double>>& covariance) const;
    // The model's velocities from phase 0 in steps of stepDegrees of the mean anomaly's turn, below 1:
    // (phase, v1, v2) in km/s.
    std::vector<std::array<double, 3>> velocityCurve(double stepDegrees) const;
    // The velocity curves with the loaded velocities and their residuals, as a plot; written as PNG
    // or SVG ("" or why it was not written).
    platform::PlotDescription velocityPlot(int width, int height) const;
    std::string saveVelocityPlot(const std::filesystem::path& file, int width, int height) const;
    roche::OrbitSettings orbitSettings() const;
    void checkOrbit(); // fills lblOrbit
    // Why the light settings cannot be used (a law's intensity negative on a disc), or what they do
    // reach only roughly (the pixel photometry measures the shaded picture, without third light); empty when
    // neither. LightRefused: the precise photometry computes nothing until they are mended.
    Label lblLight{"", true};
    bool LightRefused = false;
    light::LightSettings lightSettings() const;
    // What papers quote of the model's light (the light ratio, the central and mean
    // surface-brightness ratios, the mean effective temperatures), one line each, from model, the
    // precise light of the current system; and those lines as the window shows them under the light
    // settings while the Precise photometry is chosen (empty otherwise).
    std::vector<std::string> lightReport(const precise::PreciseLight& model) const;
    Label lblLightReport{"", true};
    // The band the light curve is in: the passband's name with the Precise photometry, else empty
    // (the screen colours' channels, as the pixels measure them).
    std::string curvePassband() const {
        return precisePhotometry() && !lightSettings().screenColour() ? cmbPassband.Text : std::string();
    }
    ComboBox cmbParameter;
    ComboBox cmbParameter2;

    // Information.
    ListBox RocheList;    // headed "Roche Lobe"
    ListBox StarSizeList; // headed "Current Parameters"
    TextBox Text1{"", false};
    Frame FrameStar1{" Star 1 ", ColorLightGrey};
    Frame FrameStar2{" Star 2 ", ColorLightGrey};
    bool ContactPair = false; // both stars reach the common surface: the neck is drawn
    Label lblMessage{"Computing Light Curve", true};
    Label frameMessage{"Please wait...", false}; // the wait panel; Visible says whether it shows
    Label Label16{"The Corvane manual", true}; // opens the installed manual, or the one built in
    ListBox HelpList;

    // The light-curve and animation extras.
    CheckBox chkSave{"Save Light Curve", 0};
    TextBox txtFilename{"corvane1.csv"};
    CheckBox chkBMP{"Create Bitmap Animation Frames", 0};

    // The lower panel: the plot, the "Extras" page or the help page, chosen by three buttons.
    struct PanelButton {
        std::string Caption;
        bool Bold = false;
        int FontSize = 8;
        std::uint32_t BackColor = 0x808080; // grey, or ButtonFace
    };
    static constexpr std::uint32_t ButtonFace = 0xFFFFFFFF; // the system's button-face colour
    PanelButton cmdPlot{"Plot", true, 10, ButtonFace};
    PanelButton cmdExtras{"Extras"};
    PanelButton HelpButton{"Help"};
    bool PicturePlotVisible = true;
    bool TestingAreaFrameVisible = false;
    bool HelpAreaFrameVisible = false;

    // The catalogue and its slide show.
    ListBox StarNameList; // headed "Virederez Adeza Stars"
    Label lblStarSource{"", true}; // where the last system loaded from the catalogue has its values
    int StarNameListIndex = -1;
    std::vector<catalogue::CatalogueEntry> Cat; // index 1..StarCount; element 0 unused
    int StarCount = 0;
    Label SlideShow{"Start Slide Show", true}; // the button; its caption tells the state
    Label lblSlideShow{"", false};
    bool Timer2Enabled = false;

    // The observed light curve and the relative error.
    CheckBox chkError{"Compute Light Curve Relative Error", 0};
    Label lblError{"Relative Error:", true};
    Label frmLoadLight{"Load Light Curve", false}; // the load panel
    TextBox txtLCName;
    std::vector<double> ModelAtObs = std::vector<double>(lightcurve::MaxPoint + 1, 0.0);
    std::string ModelAtObsKey; // modelKey() of the model ModelAtObs was drawn from
    // The channel the model pass measures: the filter's own for "R", "G", "B" and "L", luminance
    // (R + G + B of the same frame) for "RGB" and "LRGB"; and its name for the listing.
    int comparedChannel() const;
    static std::string channelName(int channel);
    // Everything the light curve depends on (parameters, switches, filter, picture size), as text:
    // two states with the same key draw the same model.
    std::string modelKey() const;
    double ModelMax = -1e14;
    double ModelMin = 1e14;
    std::string LastLoadProblems; // what the last load skipped or cut, or why it failed
    // Observed times are folded with this period (days) and epoch of primary minimum (the file's own
    // time scale) into phases; a file of phases needs neither.
    TextBox txtPeriod{""};
    TextBox txtEpoch{"0"};
    // How long each observed point integrates, in seconds (0: an instant). With a period the model
    // at each observed phase is its light averaged over the exposure, to ExposureTolerance of the
    // light (fitting::averageOverExposure); ExposureReport says how many points that took. A
    // mission's file sets it from its cadence unless the person chose one (ExposureChosen).
    TextBox txtExposure{"0"};
    bool ExposureChosen = false;
    bool ExposureFromFile = false; // txtExposure holds the last file's cadence
    // A file's cadence is taken from this long: shorter ones smear an eclipse less than most files'
    // noise, and averaging costs the model several times its points (the file's cadence is still
    // said, for the person to type).
    static constexpr double AutoExposureSeconds = 600;
    std::string ExposureReport;
    static constexpr double ExposureTolerance = 1e-6;
    double exposureWidth() const; // in revolutions: the exposure over the period, at most 0.5
    void txtExposure_KeyUp();
    Label lblObserved{"", true};   // what the last load read: points, columns, folding, binning
    // The observed errors (magnitudes, slots 1..ObsCount) when the file gives them.
    bool ObsHasErrors = false;
    std::vector<double> ObsError = std::vector<double>(lightcurve::MaxPoint + 1, 0.0);
    // The model's light at each observed phase before any magnitude scale (for the chi-square).
    std::vector<double> ModelLightAtObs = std::vector<double>(lightcurve::MaxPoint + 1, 0.0);
    // Added to every observed phase before the model is computed there (revolutions).
    TextBox txtPhaseShift{"0"};
    double observedPhaseShift() const;
    // "Chi-Square per Point: X" (weighted, with the zero point solved) when the observations have
    // errors; empty otherwise.
    Label lblChiSquare{"", false};
    std::optional<fitting::ChiSquare> chiSquareAtObs() const;
    // The same with every point weighted alike (an error of 1 mag): chi2 is the sum of squared
    // residuals in magnitudes, the zero point solved for. For files that give no errors.
    std::optional<fitting::ChiSquare> residualsAtObs() const;

    // The save panel for pictures and parameter sets.
    Label frameSaveBMP{"", false};
    Label lblSaveAs{"Save Bitmap As . . . ", true};
    TextBox txtBMPName;
    Label cmbSaveBMP{"Save", true}; // the panel's action button

    // The grid search ("Differential Corrections").
    CheckBox chkDC{" Activate", 0};
    TextBox txtInitial{"80"}, txtFinal{"85"}, txtSteps{"10"};
    TextBox txtInitial2{"0.3"}, txtFinal2{"0.5"}, txtSteps2{"10"};
    Label lblDCProgress{"", true};
    // The fit ("Fit" in the same frame): the parameters it frees, by name (see fitParameterNames).
    Label cmdFit{"Fit", true};
    std::vector<std::string> FitFree{"Inclination", "Mass Ratio"};
    static std::span<const char* const> fitParameterNames();
    // A fit parameter's caption from its caption or its box's name ("txtIota", "Qratio", ...); "" for
    // neither.
    static std::string fitParameterName(const std::string& nameOrControl);
    // Gaussian priors the fit and the sampler weigh beside the observations: chi2 + sum ((x - value) /
    // sigma)^2. The quantity is a fit parameter (by caption or box name, whether free or not) or one
    // papers constrain: "k" (the ratio of the volume-equivalent radii r2 / r1), "r1+r2" (their sum,
    // units of a) or "Light Ratio" (L2 / L1 at phase 0.25 in the compared light, Precise photometry).
    struct FitPrior {
        std::string name;
        double value = 0, sigma = 0;
    };
    std::vector<FitPrior> FitPriors;
    // A prior's quantity as FitPriors names it, from any of its spellings ("txtIota", "Radius Ratio",
    // "L2/L1", ...); "" for none.
    static std::string priorName(const std::string& name);
    // A fit parameter's bounds (by caption) narrower than its box's own range; the fit and the
    // sampler stay inside them.
    std::map<std::string, std::pair<double, double>> FitBounds;
    // The whole fit as a fit file describes it (fitting/FitFile): settings, ephemeris, the light curve
    // and velocity files loaded, every parameter's start, free flag, bounds and prior, the derived
    // priors and the clipping. applyFitFile replaces the form's fit with the file's ("" or why not:
    // then the settings may be partly applied, but the observations are only replaced when they load);
    // currentFitFile is the form's, for saving.
    std::string applyFitFile(const fitting::FitFile& fit);
    fitting::FitFile currentFitFile() const;
    // "NAME=VALUE+-SIGMA" (also +/- or the plus-minus sign) into a prior; "" or why it is not one.
    static std::string parsePrior(const std::string& text, FitPrior& prior);
    // The prior's quantity at the form's current values; NaN where it cannot be had.
    double priorQuantity(const std::string& name) const;
    // sum ((x - value) / sigma)^2 over FitPriors at the current values (+infinity where one cannot be
    // had), and one report line per prior.
    double priorPenalty() const;
    std::string priorReport() const;
    // A light curve's points as read, before they are binned in phase: they are what clipping leaves
    // out one by one and what detrending fits in time. The binned points the fit weighs are made
    // again from them after each pass (binned: the mean phase and magnitude of the points kept, the
    // error of that mean; a bin whose points are all left out is left out).
    struct TimedLight {
        std::vector<double> time;             // days as in the file; empty when it holds phases
        std::vector<double> phase, mag, error; // error empty when the file gives none
        std::vector<std::size_t> slot;        // the binned point each lies in
        std::size_t bins = 0;
        std::vector<double> trend;            // taken off each magnitude (0 until detrended)
        std::vector<unsigned char> clipped;
        int degree = -1;                      // polynomial in time (-1: none)
        double gap = 0;                       // days: a polynomial for each stretch between longer gaps
        int stretches = 0, degreeUsed = 0;    // what the last detrending fitted
        bool binned() const { return bins < phase.size(); }
    };
    TimedLight ObsTimed; // the loaded curve's
    // Folds obs (magnitudes) with the period and epoch when it holds times, and keeps its points with
    // their times and their slots in binInPhase's result.
    static TimedLight foldKeepingPoints(fitting::Observations& obs, double period, double epoch);
    // The binned phases, magnitudes, errors and left-out flags made again from the kept points.
    struct Binned {
        std::vector<double> phase, mag, error;
        std::vector<unsigned char> clipped;
    };
    static Binned rebinned(const TimedLight& t);
    // Back to the file as read: no trend, nothing clipped (each fit prepares its data afresh).
    void resetPreparation();
    // After a fit, at the model in the form (its model at the observed phases computed): clips the
    // kept points beyond sigma (when sigma > 0; points added returned in clipped) and fits each file's
    // trend to its residuals; the binned points are made again. Returns the largest change of any
    // trend, magnitudes.
    double prepareAtModel(double sigma, int& clipped);
    bool detrending() const;
    // One line for each detrended file: its polynomials and their range.
    std::string detrendReport() const;
    // Iterative sigma clipping of the observed light (flares, bad points): after each fit, points whose
    // residual lies more than FitClipSigma robust standard deviations (1.4826 times the median absolute
    // deviation of the normalised residuals) from the median are left out, and the fit runs again,
    // until no point is added (at most FitClipPasses passes); 0 for none. ObsClipped marks them (slots
    // 1..ObsCount); a new curve clears it. clipOutliers makes one pass at the current model: the
    // points it added.
    double FitClipSigma = 0;
    int FitClipPasses = 5;
    std::vector<unsigned char> ObsClipped = std::vector<unsigned char>(lightcurve::MaxPoint + 1, 0);
    int clippedCount() const;
    int clipOutliers(double sigma);
    // Light curves beyond the loaded one, fitted with it in one chi-square (the Precise photometry):
    // each in its own passband ("" for the form's) with its own exposure (seconds), zero point and
    // clipping, folded with the form's period and epoch when it holds times.
    struct LightSet {
        std::string file, passband;
        double exposure = 0;
        std::vector<double> phase, mag, error;
        bool hasErrors = false;
        std::vector<unsigned char> clipped;
        std::string description; // what the load read
        TimedLight timed;
    };
    std::vector<LightSet> ExtraLight;
    // Reads the file and adds it ("" or why nothing was added).
    // detrend is the degree of its polynomial in time (-1: none), gapDays where a new one starts (0:
    // one for the file).
    std::string addLightCurve(const std::string& path, const std::string& passband, double exposureSeconds,
                              int detrend = -1, double gapDays = 0);
    // The model's light at each of the set's phases (averaged over its exposure); the set's
    // chi-square with its own zero point (nothing when it cannot be computed).
    std::vector<double> lightSetModel(const LightSet& set) const;
    std::optional<fitting::ChiSquare> lightSetChiSquare(const LightSet& set) const;
    // One line per extra set: its file, band, points, clipped points and chi-square per point.
    std::string lightSetsReport() const;
    // What a fit's report warns of at the current model: a reduced chi-square above 2, and a model
    // that misses the depth of an eclipse by more than three times the noise of the residuals.
    std::vector<std::string> fitWarnings(double reducedChiSquare) const;

    // Saving the light curve.
    int SavedLines = 0;
    bool SaveComplete = false;
    std::filesystem::path LastSavedFile;
    // Where "Save Light Curve" writes: empty for the described place (txtFilename in "LightCurves"),
    // or a file chosen in the file dialog or named on the batch tool's command line.
    std::filesystem::path LightCurveTarget;
    // The smallest animation step a save accepts, degrees: below it a revolution takes millions of
    // frames (and the angle's sum stops moving at all).
    static constexpr double MinSaveStep = 0.01;
    int SaveRevolutions = 0; // revolution starts seen since the save (re)started
    // Ends a running save: unchecks "Save Light Curve", stops the animation the save started and
    // takes the wait panel down; shows why when why is not empty.
    void endSave(const std::string& why);

    // The window's caption and the control that should take the keyboard focus next ("" for none).
    std::string Caption;
    std::string FocusControl;

    // --- Form-level variables ---
    int Index = 0;
    std::array<int, 26> ScrollLast{};
    // The light curve, its channels, the plot state and the observed curve.
    lightcurve::LightCurveState Curve;
    int PlotMin = -100000;
    int PlotMax = 1000000;
    int SlideIndex = 1;
    bool SlideShowOn = false;
    bool Timer1Enabled = false;
    // Settings the slide show changes, as they were when it started; restored when it stops.
    struct SlideShowSaved {
        int AnimCheck = 0, chkPhotometry = 1, chkSpherical = 1;
        std::string txtN1;
    } SlideShowBefore;

    double Temp1 = 8200, Temp2 = 8200, TempMax = 8200;
    double SpotTemp = 5000, SpotLat = 0, SpotLon = 0, SpotRadius = 0;
    double Limb1 = 0.5, Limb2 = 0.5;
    double Gamma = 0, Iota = 0, Eta = 0;
    double RotPeriodSec = 0.3 * 24 * 3600;
    double Radius1 = 0.305, Radius2 = 0.45;
    double ZoomScale = 1;
    double Q = 2.4, QRatio = 2.4;
    int LatLines = 5, LatLines2 = 5, LonLines = 20;
    double AnimStep = 5;
    double Omega1 = 0, Omega2 = 0;
    double RecommendedRadius2 = 0;
    double MaxRadius1 = 0, MaxRadius2 = 0; // largest radius of each star's surface, for the fit below
    int LonCount = 0;
    double EquatorAngle = 0;
    double RocheRadius = 0;

    roche::RocheState Roche;
    // The drawing state: the picture Picture1, the shape cache, the granulation table, the cells.
    render::Scene Scene;
    platform::UniformRandom Random;

    // Size of the drawing picture Picture1, in pixels. The plot picture PicturePlot is as wide (one
    // light-curve point per column) and PlotHeight high.
    static constexpr int PlotHeight = 264;
    int Picture1Width = 800;
    int Picture1Height = 500;
    platform::Canvas PicturePlot{800, PlotHeight};
    void setPictureSize(int width, int height);

    // The folder output files go into (the application folder; tests and the batch tool may point
    // it elsewhere).
    std::filesystem::path AppFolder;
    // The installed copy's manual (<prefix>/share/doc/corvane/manual.html), empty when the program
    // runs from its build folder; the help link opens it in the browser.
    std::filesystem::path InstalledManual;

    // Draws the frame of the current rotation angle into Picture1.
    void DrawStar();
    render::SceneInputs sceneInputs() const;

    // --- Start-up, shut-down, refresh ---
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Refresh_Click();
    bool Unloaded = false;

    // --- Handlers ---
    void txtN1_KeyUp();
    void txtIota_KeyUp();
    void txtGamma_KeyUp();
    void txtLimb1_KeyUp();
    void txtLimb2_KeyUp();
    void txtRadius1_KeyUp();
    void txtRadius2_KeyUp();
    void txtRotPer_KeyUp();
    void txtTemp1_KeyUp();
    void txtTemp2_KeyUp();
    void txtZoom_KeyUp();
    void txtAnimSpeed_KeyUp();
    void Qratio_KeyUp();
    void txtEta_KeyUp();
    void txtTempSpot1_KeyUp();
    void txtSpotLat1_KeyUp();
    void txtSpotLon1_KeyUp();
    void txtRadSpot1_KeyUp();
    void txtFilename_KeyUp();

    // Spinner N (1..14) moved to newValue.
    void VScroll_Change(int n, int newValue);

    void chkAuto_Click();
    void chkNeck_Click();
    void chkSpherical_Click();
    void chkStefan_Click();
    void chkSimAreas_Click();
    void chkMag_Click();
    void chkPaint_Click();
    void chkDots_Click();
    void chkGrid_Click();
    void chkGran_Click();
    void TwoStarsCheck_Click();
    void AnimCheck_Click();
    void chkPhotometry_Click();
    void chkSpot1_Click();
    void cmbStarSpot1_Click();

    void mnuRefresh_Click();
    void mnuExit_Click();
    void mnuEquator_Click();
    void mnuSaveLightCurve_Click();
    void mnuSaveAnimation_Click();
    void mnuLoadLightCurve_Click();
    void mnuSaveBitmap_Click();
    void mnuSaveStar_Click();
    void mnuLoadStar_Click();

    // The "Special" shortcuts: a random catalogue system, a single spinning star.
    void mnuRandomBinaryStar_Click();
    void Command2_Click();
    int RandomIndex = 0; // the catalogue index the last random pick chose

    // Catalogue and slide show.
    void AddStars();
    void loadCatalogueEntry(int index);
    void StarNameList_Click(const std::string& selected);
    void SlideShow_Click();
    void Timer2_Timer();

    // Observed curve, relative error, files.
    void cmdLoadLight_Click();
    void Command1_Click();
    void chkError_Click();
    void RelativeError();
    void cmbSaveBMP_Click();
    void cmdCancel_Click();
    // The three steps of loading: read the file into the observed tables (false when nothing could
    // be read; the tables are then unchanged), draw the model at every observed phase, and finish
    // (messages, refresh, relative error). cmdLoadLight_Click runs all three.
    bool readObservedCurve();
    void computeModelAtObs(const std::function<void(int done, int total)>& progress = {},
                           const std::atomic<bool>* cancel = nullptr);
    void finishObservedCurve();

    // Creates the named output folder beside the application when it is missing, saying so; false
    // (with a failure report) when it cannot be made.
    bool ensureOutputFolder(const std::string& name);

    // Grid search.
    void cmbParameter_Click();
    void cmbParameter2_Click();
    // Runs the grid over the two chosen parameters against the loaded curve and writes the file into
    // folder (the "RelativeErrors" folder beside the application when empty). Returns the file
    // written, or an empty path with the reason in `why`.
    std::filesystem::path runGridSearch(int threads, const std::function<void(const fitting::GridProgress&)>& progress,
                                        const std::atomic<bool>& cancel, std::string& why,
                                        const std::filesystem::path& folder = {});
    // Fits the free parameters (FitFree) to the loaded curve by FitMethod from the boxes'
    // values on `threads` threads: the best point goes into the boxes and a report into Text1.
    // False, with the reason in `why`, when nothing could be fitted (no curve, no free parameter);
    // a cancelled fit keeps its best point and returns true.
    struct FitOutcome {
        std::vector<std::string> names;
        std::vector<double> values;
        std::vector<std::optional<double>> errors; // one sigma, from the curvature
        bool weighted = false;                     // chi-square per point (else RMS residual, mag)
        double objective = 0;
        double zeroPoint = 0;
        int evaluations = 0;
        bool converged = false;
        bool cancelled = false;
        std::string report;
        // The quantities papers tabulate, derived from the fitted parameters with errors through
        // their covariance (sigma 0: no free parameter moves it).
        struct Derived {
            std::string name;
            double value = 0, sigma = 0;
            std::string unit;
        };
        std::vector<Derived> derived;
    };
    bool runFit(int threads, const std::function<void(int evaluations, double best)>& progress,
                const std::atomic<bool>& cancel, FitOutcome& outcome, std::string& why);
    // "Uncertainties...": the posterior of the free parameters (FitFree) by the ensemble sampler, its
    // log-likelihood -chi^2/2 with the data's errors (without errors, the noise taken from the best
    // fit's residuals), uniform priors inside the boxes' clamps. The fit runs first and the walkers
    // start in a small ball around its best point, which stays in the boxes; or the run resumes a
    // chain of the same parameters. A summary goes into Text1. False, with why, when nothing was
    // sampled; a cancelled run keeps the steps it made and returns true.
    struct McmcRequest {
        int walkers = 32;
        int steps = 2000;          // in all, counting the start (a resumed chain is taken on to this)
        int burn = -1;             // steps left out of the summary; -1: a quarter of them
        std::uint64_t seed = 1;
        std::optional<fitting::Chain> resume;
        // Each file's errors scaled by a factor of its own, marginalised with a Jeffreys prior (1/s),
        // so the intervals widen with the residuals: each file weighs -(N/2) ln chi2 instead of
        // -chi2/2. False: the errors as given (without errors, the best fit's residual noise).
        bool scaleErrors = true;
        // Called with the chain about once a minute, so a run that is killed loses little.
        std::function<void(const fitting::Chain&)> checkpoint;
    };
    struct McmcOutcome {
        std::vector<std::string> names;
        std::vector<fitting::Interval> intervals; // median, 16th and 84th percentiles
        std::vector<std::optional<double>> tau;   // integrated autocorrelation times, steps
        double acceptance = 0;
        int walkers = 0, steps = 0, burn = 0;
        bool cancelled = false, resumed = false;
        bool shortChain = false; // fewer than 50 autocorrelation times after the burn-in
        // chi2 / (N - n) at the best point sampled, with errors (0 without); above BadFit the
        // intervals are too narrow, for they assume the errors are right.
        double reducedChiSquare = 0;
        static constexpr double BadFit = 2;
        std::vector<double> errorScales; // each file's sqrt(chi2 / N) at the start, when scaled
        std::string report;      // the summary, CR LF lines
        fitting::Chain chain;
    };
    bool runMcmc(const McmcRequest& request, int threads, const std::function<void(const std::string&)>& progress,
                 const std::atomic<bool>& cancel, McmcOutcome& outcome, std::string& why);
    std::shared_ptr<const McmcOutcome> LastMcmc;
    // The button, and what it asks of the sampler (its walkers, steps and seed).
    Label cmdUncertainties{"Uncertainties...", true};
    McmcRequest UncertaintyRequest;
    // "NAME = MEDIAN -LOW +HIGH" with the numbers rounded to two figures of the smaller distance.
    static std::string intervalText(const std::string& name, const fitting::Interval& interval);
    // The objective at the form's current values: chi-square per point with errors, else the
    // root-mean-square residual in magnitudes with the zero point free (nothing when it cannot be
    // computed). Both compare the observed magnitudes themselves, so the eclipse depth is fitted.
    std::optional<double> fitObjective();
    // The same objective as residuals whose squares sum to it times the points (with errors) or to the
    // squared residuals (without): each light curve's (observed - model - its zero point) / error, each
    // velocity's, and each prior's (x - value) / sigma. Empty when the model cannot be computed.
    std::vector<double> fitResiduals();
    // The fit's optimiser: "lm" (Levenberg-Marquardt, the default) or "simplex" (the downhill simplex).
    std::string FitMethod = "lm";
    // The global search (differential evolution over a box around the start, then the optimiser from
    // its best point): "auto" runs it when the start is far from the data, that is when the local fit
    // ends missing an eclipse's depth by more than three times the noise of the residuals (with a
    // reduced chi-square above 2, or without errors an RMS residual above FarResidual magnitudes) or
    // at a reduced chi-square above FarChiSquare; "always"; "never".
    std::string FitGlobal = "auto";
    static constexpr double FarChiSquare = 10;
    static constexpr double FarResidual = 1e-3;
    // File > Reset to Defaults: every parameter, switch and choice as at start-up (file names, the
    // loaded observations and the output folder stay), then a refresh.
    void resetToDefaults();
    // The light-curve plot with its axes, legend, observations and residuals, laid out for a
    // width x height picture; and written to a PNG or SVG file of that size (why not, or "").
    lightcurve::CurvePlotInputs curvePlotInputs(int width, int height) const;
    // The plot's phase marker (Line1) at the frame on show while the photometry is on; a picture
    // of the whole curve for a file (the batch tool's plot) leaves it out.
    bool PhaseMarkerShown = true;
    platform::PlotDescription curvePlotDescription(int width, int height) const;
    std::string savePlot(const std::filesystem::path& file, int width, int height) const;
    // One revolution from a rotation angle of 0, a frame every stepDegrees, as an animated GIF that
    // loops (gif) or as PNG frames frame000.png ... in the folder `target`. Eta and the picture are
    // put back afterwards. Returns why it could not ("cancelled" when cancel became true), or "".
    static int animationFrames(double stepDegrees);
    std::string saveAnimation(const std::filesystem::path& target, double stepDegrees, bool gif,
                              const std::function<void(int done, int total)>& progress = {},
                              const std::atomic<bool>* cancel = nullptr);
    // The last grid search's points (those finished, when cancelled) and axes, for its picture;
    // applyBestGridPoint puts the best point's two values into their boxes and refreshes (false
    // when there is none).
    std::vector<fitting::GridRow> LastGridRows;
    fitting::GridAxis LastGridAxis1, LastGridAxis2;
    bool applyBestGridPoint();
    // Extras > "Find Period": the time series in `path` (times, not phases) searched for its period,
    // its epoch of primary minimum timed, every covered eclipse timed and the ephemeris fitted.
    // Reads nothing of the form, so it runs on any thread.
    static timing::TimingReport analyseTimeSeries(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    // A report with a period: the period and epoch into their boxes and the report kept for its
    // plots (false, nothing changed, for one without).
    bool applyTiming(const timing::TimingReport& report);
    std::shared_ptr<const timing::TimingReport> LastTiming;
    // The last report in words: period and how it was chosen, epoch, minima, ephemeris, candidates.
    std::string timingSummary() const;
    // Its periodogram or O-C diagram, laid out for width x height; written to PNG or SVG; the minima
    // as the batch tool prints them. Each returns why it could not, or "".
    platform::PlotDescription timingPlotDescription(bool oMinusC, int width, int height) const;
    std::string saveTimingPlot(bool oMinusC, const std::filesystem::path& file, int width, int height) const;
    std::string saveMinima(const std::filesystem::path& file) const;
    // A copy of this form for the model passes of the grid search and the fit: no saving, no
    // animation, no slide show, no comparison of its own.
    CorvaneForm modelPassBase() const;
    // The text box a grid-search parameter name sets.
    TextBox* parameterBox(const std::string& name);

    // A copy of this form that computes on its own (for worker threads), answering its messages
    // from a script.
    void setDialogs(platform::Dialogs& dialogs) { dialogs_ = &dialogs; }
    // The message boxes the form shows through (the window's own messages go there too).
    platform::Dialogs& dialogs() { return *dialogs_; }

    void cmbFilter_Click();
    void cmbPhotometry_Click();
    // "Precise": the curve of every channel of the filter at the animation's phases (one per plot
    // column when the step is finer than a column), stored and plotted as the photometry would.
    void fillPreciseCurve();
    void Photometry_Click();
    void Replot();
    void Timer1_Timer();
    void chkBMP_Click();
    void chkSave_Click();
    void SaveFile();
    void cmdPlot_Click();
    void cmdExtras_Click();
    void HelpButton_Click();
    void frameMessage_Click();
    void Label16_Click();
    void AddHelp();
    // The standard failure report: "<eDesc> (Error <eNumber>) occured in procedure <LastOP>. " and
    // two line breaks, in a box titled "Notice" with OK and Cancel.
    void ShowError(int eNumber, const std::string& eDesc, const std::string& LastOP);
    static std::string errorText(int eNumber, const std::string& eDesc, const std::string& LastOP);

    // The file a frame of the animation is saved to, for the current Eta.
    std::filesystem::path frameFile() const;

    // --- Named access for the window and the batch tool ---
    struct ParameterControl {
        const char* name;
        const char* caption;
        int scroll;  // spinner number, 0 for none
        double step; // spinner step (VScroll4 uses the animation step instead)
        TextBox CorvaneForm::*box;
        void (CorvaneForm::*keyUp)();
    };
    struct SwitchControl {
        const char* name;
        CheckBox CorvaneForm::*box;
        void (CorvaneForm::*click)();
    };
    struct OptionControl {
        const char* name;
        OptionButton CorvaneForm::*button;
        void (CorvaneForm::*click)();
    };
    struct ComboControl {
        const char* name;
        ComboBox CorvaneForm::*box;
        void (CorvaneForm::*click)();
    };
    static std::span<const ParameterControl> parameterControls();
    static std::span<const SwitchControl> switchControls();
    static std::span<const OptionControl> optionControls();
    static std::span<const ComboControl> comboControls();

    // As if the user typed text into the named box (then its key-release handler runs), clicked the
    // named check box to value (0 or 1) or option button (value 1 selects it), or chose item in the
    // named combo box. False when there is no such control or it cannot take the value.
    // typeText with finished = false is one keystroke of an edit still going on: the model is
    // recomputed with the clamped value but the box keeps the typed text until editFinished.
    bool typeText(const std::string& name, const std::string& text, bool finished = true);
    // The edit of the named box ended (Enter, the box lost the focus): an out-of-range value now
    // shows its clamp.
    void editFinished(const std::string& name);
    bool setSwitch(const std::string& name, int value);
    bool chooseItem(const std::string& name, const std::string& item);
    // Any of them by name, as the batch tool's --set and a fit file's settings give it: "" when it was
    // taken, else why not (no such control, a switch given other than 0 or 1, no such item).
    std::string applySetting(const std::string& name, const std::string& value);


private:
    platform::Dialogs* dialogs_;
    std::string radius2Text_ = "0.45"; // txtRadius2 as the last refresh left it
    bool inRefresh_ = false;
    bool writeBack_ = true;         // a refresh writes clamped values back into their boxes
    bool writeBackPending_ = false; // a keystroke refresh left an out-of-range text in a box
    std::string errorKey_;          // modelKey() of the shown relative error ("" for none)
    std::string errorCaption_;
    std::string chiCaption_;
    bool refreshPending_ = false;
    // The last precise curve and what it was computed for: refreshes that change nothing it
    // depends on (a filter's channels are all in it) reuse it.
    std::string preciseKey_;
    std::vector<double> preciseEtas_;
    std::vector<int> preciseSlots_;
    std::vector<std::array<double, 4>> preciseValues_;

    void refreshOnce();
    // modelKey() without the filter: what the light of all four channels depends on.
    std::string lightKey() const;
    void restartSave();
    void fitZoomToPicture();
    void drawModelFrame();
    void clampAndStore();
    void checkLight(); // fills lblLight and LightRefused from the light settings
    void fillRocheList();
    void fillSizeLists();
    void selectOption(OptionButton& chosen);
    void showPanel(int which);
    bool autoBlocksRadius2();
    roche::ShapeInputs shapeInputs() const;
};

std::string versionText();

} // namespace corvane::app
