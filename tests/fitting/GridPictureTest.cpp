// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/GridPicture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::fitting {
namespace {

std::vector<GridRow> bowl(const GridAxis& a1, const GridAxis& a2, bool cancelledHalf) {
    std::vector<GridRow> rows;
    for (int i = 0; i < a1.steps; ++i) {
        for (int j = 0; j < a2.steps; ++j) {
            GridRow r;
            r.p1 = a1.value(i);
            r.p2 = a2.value(j);
            if (!(cancelledHalf && i * a2.steps + j >= a1.steps * a2.steps / 2)) {
                r.error = std::pow(r.p1 - 83, 2) / 100 + std::pow((r.p2 - 0.42) / 0.1, 2);
            } else {
                r.reason = "cancelled";
            }
            rows.push_back(r);
        }
    }
    return rows;
}

TEST(GridPicture, OneCellPerPointTheBestRingedAndTheAxesNamed) {
    const GridAxis a1{"Inclination", 80, 85, 6}, a2{"Mass Ratio", 0.3, 0.5, 5};
    const auto rows = bowl(a1, a2, false);
    const platform::PlotDescription d = gridPicture(a1, a2, rows);
    ASSERT_EQ(d.panels.size(), 1u);
    const platform::PlotHeatMap& m = d.panels[0].map;
    EXPECT_EQ(m.rows, 6);
    EXPECT_EQ(m.cols, 5);
    EXPECT_EQ(d.x.label, "Mass Ratio");
    EXPECT_EQ(d.panels[0].y.label, "Inclination");
    // The best point is i = 83 (row 3), q = 0.4 (column 2).
    EXPECT_EQ(m.best, 3 * 5 + 2);
    const auto best = bestGridRow(rows);
    ASSERT_TRUE(best);
    EXPECT_DOUBLE_EQ(best->p1, 83);
    EXPECT_NEAR(best->p2, 0.4, 1e-12);
    // The axes cover every cell whole.
    EXPECT_LE(d.x.min, 0.3 - 0.025 + 1e-12);
    EXPECT_GE(d.x.max, 0.5 + 0.025 - 1e-12);
    EXPECT_LE(d.panels[0].y.min, 79.5 + 1e-12);
}

TEST(GridPicture, ACancelledSearchLeavesItsMissingCellsEmpty) {
    const GridAxis a1{"Temperature #1", 5000, 4000, 4}, a2{"Temperature #2", 4500, 5000, 2};
    const auto rows = bowl(a1, a2, true);
    const platform::PlotDescription d = gridPicture(a1, a2, rows);
    const auto& v = d.panels[0].map.values;
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(std::count_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), 4);
    EXPECT_GE(d.panels[0].map.best, 0);
    EXPECT_LT(d.panels[0].map.best, 4) << "among the points finished";
    EXPECT_FALSE(bestGridRow({}));
}

} // namespace
} // namespace corvane::fitting
