// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "BatchTool.h"

#include "app/CorvaneForm.h"
#include "platform/Dialogs.h"
#include "platform/NumberFormat.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

namespace corvane::cli {

namespace {

const char* kDescription =
    "corvane-cli: the Corvane eclipsing-binary model without a window.\n"
    "It starts the model exactly as the window does (default system, 10 latitude lines), applies the\n"
    "--set values in the order given, recomputes once and runs the command.";

const char* kFooter =
    "\nControls for --set NAME=VALUE:\n"
    "  text boxes  txtIota (inclination, degrees), Qratio (mass ratio), txtN1 (latitude lines),\n"
    "              txtRadius1, txtRadius2 (pole radii, units of the separation), txtLimb1, txtLimb2\n"
    "              (limb darkening), txtTemp1, txtTemp2 (kelvin), txtAnimSpeed (degrees per step),\n"
    "              txtGamma (axis tilt), txtEta (rotation angle, degrees), txtRotPer (rotation ratio,\n"
    "              days), txtZoom (percent), txtTempSpot1, txtSpotLat1, txtSpotLon1, txtRadSpot1 (spot)\n"
    "              VALUE is taken as typed text: out-of-range values are clamped as in the window.\n"
    "  check boxes chkAuto, chkNeck, chkSpherical (tidal effects), chkStefan, chkSimAreas, chkMag,\n"
    "              chkGran, TwoStarsCheck, AnimCheck, chkPhotometry, chkSpot1: VALUE is 0 or 1\n"
    "  options     chkPaint, chkGrid, chkDots: VALUE 1 selects the drawing mode\n"
    "  combo boxes cmbStarSpot1: VALUE is one of its items (1 or 2)\n"
    "\nExamples:\n"
    "  corvane-cli --set Qratio=1 lists\n"
    "  corvane-cli --set Qratio=0.3 --set txtRadius1=0.48 --set chkAuto=1 lists\n"
    "  corvane-cli --set txtN1=5 equator\n"
    "  corvane-cli --set chkSpherical=0 --set txtIota=90 render --out a.png\n"
    "  corvane-cli render --eta 90 --size 1024x640 --out quarter.bmp\n"
    "\nExit status: 0 done, 1 failed, 2 bad command line (unknown control or value).\n";

// Applies one NAME=VALUE; returns an error text, empty when it was taken.
std::string applySetting(app::CorvaneForm& form, const std::string& setting) {
    const auto eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) {
        return "--set expects NAME=VALUE, got '" + setting + "'";
    }
    const std::string name = setting.substr(0, eq);
    const std::string value = setting.substr(eq + 1);

    for (const auto& c : app::CorvaneForm::parameterControls()) {
        if (name == c.name) {
            form.typeText(name, value);
            return {};
        }
    }
    auto isSwitch = [&](const auto& table) {
        return std::any_of(table.begin(), table.end(), [&](const auto& c) { return name == c.name; });
    };
    if (isSwitch(app::CorvaneForm::switchControls()) || isSwitch(app::CorvaneForm::optionControls())) {
        if (value != "0" && value != "1") {
            return "control '" + name + "' is a switch and takes 0 or 1, not '" + value + "'";
        }
        if (!form.setSwitch(name, value == "1" ? 1 : 0)) {
            return "control '" + name + "' is an option button: choose another of its group to unset it";
        }
        return {};
    }
    for (const auto& c : app::CorvaneForm::comboControls()) {
        if (name == c.name) {
            if (!form.chooseItem(name, value)) {
                std::string items;
                for (const std::string& item : (form.*(c.box)).Items) {
                    items += (items.empty() ? "" : ", ") + item;
                }
                return "control '" + name + "' has no item '" + value + "' (items: " + items + ")";
            }
            return {};
        }
    }
    return "unknown control '" + name + "' (see --help for the names)";
}

void printList(std::ostream& out, const char* heading, const app::ListBox& list) {
    out << heading << '\n';
    for (const std::string& item : list.Items) {
        out << item << '\n';
    }
}

} // namespace

int runBatchTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App cliApp{kDescription, "corvane-cli"};
    cliApp.footer(kFooter);
    cliApp.require_subcommand(1);

    std::vector<std::string> settings;
    cliApp.add_option("--set", settings, "Set a control as if edited in the window (repeatable)")
        ->type_name("NAME=VALUE")
        ->take_all();

    std::string size = "800x500";
    cliApp.add_option("--size", size, "Picture size in pixels, WIDTHxHEIGHT (default 800x500)")->type_name("WxH");

    CLI::App* lists = cliApp.add_subcommand("lists", "Print the \"Roche Lobe\" and \"Current Parameters\" lists");
    CLI::App* equator = cliApp.add_subcommand("equator", "Run \"Equator Data\" and print its table");
    CLI::App* render = cliApp.add_subcommand("render", "Draw the current frame and write it as PNG (or BMP for .bmp)");
    std::string outFile;
    double etaDegrees = 0;
    render->add_option("--out", outFile, "The picture file to write")->required()->type_name("FILE");
    CLI::Option* etaOption =
        render->add_option("--eta", etaDegrees, "Rotation angle in degrees, set before drawing")->type_name("DEGREES");
    for (CLI::App* sub : {lists, equator, render}) {
        sub->fallthrough();
    }

    // Name a mistyped command rather than just asking for one.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--set") {
            ++i;
        } else if (a == "--size" || a == "--out" || a == "--eta") {
            ++i;
        } else if (!a.empty() && a[0] != '-') {
            if (a != "lists" && a != "equator" && a != "render") {
                err << "corvane-cli: unknown command '" << a << "' (commands: lists, equator, render)\n";
                return 2;
            }
            break;
        }
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        cliApp.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << cliApp.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "corvane-cli: " << e.what() << "\nRun 'corvane-cli --help' for the commands and controls.\n";
        return 2;
    }

    int width = 0;
    int height = 0;
    char x = 0;
    std::istringstream sizeText(size);
    if (!(sizeText >> width >> x >> height) || (x != 'x' && x != 'X') || width < 16 || height < 16 || width > 10000 ||
        height > 10000 || sizeText.peek() != EOF) {
        err << "corvane-cli: --size expects WIDTHxHEIGHT between 16 and 10000 pixels, got '" << size << "'\n";
        return 2;
    }

    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    form.setPictureSize(width, height);
    form.Form_Load();
    for (const std::string& setting : settings) {
        if (const std::string problem = applySetting(form, setting); !problem.empty()) {
            err << "corvane-cli: " << problem << '\n';
            return 2;
        }
    }
    if (etaOption->count() > 0) {
        if (!std::isfinite(etaDegrees)) {
            err << "corvane-cli: --eta expects a number of degrees\n";
            return 2;
        }
        form.txtEta.Text = platform::GeneralNumber(etaDegrees);
        form.txtEta_KeyUp();
    }
    form.Refresh_Click();
    for (const auto& shown : dialogs.shown) {
        err << "corvane-cli: message: " << shown.text << '\n';
    }

    if (lists->parsed()) {
        printList(out, "Roche Lobe", form.RocheList);
        printList(out, "Current Parameters", form.StarSizeList);
    } else if (equator->parsed()) {
        form.mnuEquator_Click();
        std::string text = form.Text1.Text;
        std::string plain;
        for (char c : text) {
            if (c != '\r') {
                plain.push_back(c);
            }
        }
        out << plain;
    } else if (render->parsed()) {
        if (!form.Scene.Picture1.save(outFile)) {
            err << "corvane-cli: could not write the picture to '" << outFile << "'\n";
            return 1;
        }
    }
    return 0;
}

} // namespace corvane::cli
