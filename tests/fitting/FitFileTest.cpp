// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/FitFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace corvane::fitting {
namespace {

using ::testing::HasSubstr;

const char* const kFit = R"(# CM Dra, TESS sector 24
[settings]
txtRadius1 = 0.062           # the order of the file is the order applied
cmbPhotometry = "Precise"
chkSpherical = false
Qratio = 1.066
cmbPassband = "Johnson V"

[fit]
period = 1.26839055
epoch = 1967
clip = 4

[[light]]
file = "tess.fits"
exposure = 120

[[light]]
file = "/data/b.txt"
passband = "Johnson B"
detrend = 2
gap = 0.5

[[velocities]]
file = "rv/a \"quoted\".txt"
star = 2

[parameters.txtIota]
value = 89.5
free = true
lower = 88
upper = 90
prior = [89.55, 0.05]

[parameters."Pole Radius #1"]
free = false
prior = [0.0635, 1e-3]

[priors]
k = [1.058, 0.02]
"Light Ratio" = [0.9, 0.1]
)";

TEST(FitFile, ReadsEveryPartInTheFilesOrderAndFilesFromItsFolder) {
    std::string why;
    const auto fit = parseFitFile(kFit, "fits", why);
    ASSERT_TRUE(fit) << why;
    const std::vector<std::pair<std::string, std::string>> settings = {
        {"txtRadius1", "0.062"}, {"cmbPhotometry", "Precise"}, {"chkSpherical", "0"}, {"Qratio", "1.066"},
        {"cmbPassband", "Johnson V"}};
    EXPECT_EQ(fit->settings, settings);
    EXPECT_EQ(fit->period, 1.26839055);
    EXPECT_EQ(fit->epoch, 1967.0) << "an integer is a number too";
    EXPECT_EQ(fit->clip, 4);
    ASSERT_EQ(fit->light.size(), 2u);
    EXPECT_EQ(fit->light[0].file, "fits/tess.fits");
    EXPECT_EQ(fit->light[0].exposure, 120);
    EXPECT_EQ(fit->light[1].file, "/data/b.txt") << "an absolute name stays";
    EXPECT_EQ(fit->light[1].passband, "Johnson B");
    EXPECT_EQ(fit->light[0].detrend, -1) << "no trend unless asked";
    EXPECT_EQ(fit->light[1].detrend, 2);
    EXPECT_EQ(fit->light[1].gap, 0.5);
    ASSERT_EQ(fit->velocities.size(), 1u);
    EXPECT_EQ(fit->velocities[0].file, "fits/rv/a \"quoted\".txt");
    EXPECT_EQ(fit->velocities[0].star, 2);
    ASSERT_EQ(fit->parameters.size(), 2u);
    EXPECT_EQ(fit->parameters[0].name, "txtIota");
    EXPECT_TRUE(fit->parameters[0].free);
    EXPECT_EQ(fit->parameters[0].lower, 88);
    EXPECT_EQ(fit->parameters[0].upper, 90);
    EXPECT_EQ(fit->parameters[0].prior, (std::pair{89.55, 0.05}));
    EXPECT_EQ(fit->parameters[1].name, "Pole Radius #1");
    EXPECT_FALSE(fit->parameters[1].value);
    ASSERT_EQ(fit->priors.size(), 2u);
    EXPECT_EQ(fit->priors[0].first, "k");
    EXPECT_EQ(fit->priors[1].first, "Light Ratio");

    // Written and read again, the same fit, file names relative to the new folder where they lie in it.
    const std::string text = formatFitFile(*fit, "fits");
    EXPECT_THAT(text, HasSubstr("file = \"tess.fits\""));
    EXPECT_THAT(text, HasSubstr("file = \"/data/b.txt\""));
    const auto again = parseFitFile(text, "fits", why);
    ASSERT_TRUE(again) << why << "\n" << text;
    EXPECT_EQ(again->settings, settings);
    EXPECT_EQ(again->period, fit->period);
    EXPECT_EQ(again->light[0].file, fit->light[0].file);
    EXPECT_EQ(again->light[1].detrend, 2);
    EXPECT_EQ(again->light[1].gap, 0.5);
    EXPECT_EQ(again->light[0].detrend, -1);
    EXPECT_EQ(again->velocities[0].file, fit->velocities[0].file);
    EXPECT_EQ(again->parameters[0].prior, fit->parameters[0].prior);
    EXPECT_EQ(again->parameters[1].prior, fit->parameters[1].prior);
    EXPECT_EQ(again->priors, fit->priors);
}

// A setting is written as a number where TOML gives the same text back, else as a string: either
// way the box reads exactly what it held.
TEST(FitFile, SettingsComeBackAsTheTextTheBoxesHeld) {
    FitFile fit;
    fit.settings = {{"txtIota", "89.5"}, {"chkAuto", "1"}, {"txtRadius1", "0.30"}, {"txtTemp1", "1E+04"},
                    {"cmbPassband", "Johnson V"}, {"txtGamma", "-0"}, {"txtZoom", "007"}};
    const std::string text = formatFitFile(fit, "");
    EXPECT_THAT(text, HasSubstr("txtIota = 89.5\n"));
    EXPECT_THAT(text, HasSubstr("chkAuto = 1\n"));
    EXPECT_THAT(text, HasSubstr("txtRadius1 = \"0.30\"\n"));
    std::string why;
    const auto again = parseFitFile(text, "", why);
    ASSERT_TRUE(again) << why << "\n" << text;
    EXPECT_EQ(again->settings, fit.settings) << text;
}

// What is wrong is named with its line, and nothing is half read.
TEST(FitFile, TextBeyondAsciiIsTakenInStringsAndComments) {
    std::string why;
    const auto fit = parseFitFile("# 89.5\u00b0, the published i\n[settings]\ntxtName = \"\u00b0 and \\\" \u2013\"  # \u00b1\n", "", why);
    ASSERT_TRUE(fit) << why;
    ASSERT_EQ(fit->settings.size(), 1u);
    EXPECT_EQ(fit->settings[0].second, "\u00b0 and \" \u2013");
    EXPECT_FALSE(parseFitFile(std::string("[fit]\0", 6), "", why));
    EXPECT_THAT(why, HasSubstr("a NUL byte on line 1"));
}

TEST(FitFile, AFaultIsNamedWithItsLine) {
    struct Bad {
        const char* text;
        const char* says;
    };
    const Bad cases[] = {
        {"[fit]\nperiod = \n", "line 2"},
        {"[fit]\nperiod = \"two\"\n", "fit.period (line 2) must be a number"},
        {"[fit]\nspeed = 3\n", "not an option of the fit"},
        {"[lights]\n", "'lights' (line 1) is not part of a fit file"},
        {"[[light]]\nexposure = 3\n", "needs its file"},
        {"[[light]]\nfile = \"a\"\nexposure = -3\n", "0 or more"},
        {"[[velocities]]\nfile = \"a\"\nstar = 3\n", "its star, 1 or 2"},
        {"[[light]]\nfile = \"a\"\ndetrend = 1.5\n", "a whole degree, 0 to 10"},
        {"[[light]]\nfile = \"a\"\ndetrend = 11\n", "a whole degree, 0 to 10"},
        {"[[light]]\nfile = \"a\"\ngap = -1\n", "must be days, 0 or more"},
        {"[[light]]\nfile = \"a\"\ndetrnd = 1\n", "detrnd (line 3) is not an option of a light curve"},
        {"[parameters.txtIota]\nprior = [89, 0]\n", "sigma above 0"},
        {"[parameters.txtIota]\nlower = 90\nupper = 80\n", "lower must lie below upper"},
        {"[parameters.txtIota]\nfree = 1\n", "must be true or false"},
        {"[parameters.txtIota]\nstart = 1\n", "not one of value, free, lower, upper, prior"},
        {"[priors]\nk = 1\n", "must be [value, sigma]"},
        {"[settings]\nx = [1, 2]\n", "must be a number, a string or true/false"},
        {"[fit]\n[>light]\n", "a table name that is not a key on line 2"},
        {"[settings]\nx = 1\xe3\x80\x80\n", "beyond ASCII outside a string or a comment on line 2"},
    };
    for (const Bad& c : cases) {
        std::string why;
        EXPECT_FALSE(parseFitFile(c.text, "", why)) << c.text;
        EXPECT_THAT(why, HasSubstr(c.says)) << c.text;
    }
}

} // namespace
} // namespace corvane::fitting
