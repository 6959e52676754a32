// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "catalogue/Catalogue.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

namespace corvane::catalogue {
namespace {

struct Row {
    int index;
    const char* name;
    double q, i, r1, r2, t1, t2;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.index << " " << r.name; }

class TabulatedRows : public ::testing::TestWithParam<Row> {};

TEST_P(TabulatedRows, AreExactlyAsPublished) {
    const Row& r = GetParam();
    const CatalogueEntry& e = entries()[static_cast<std::size_t>(r.index - 1)];
    EXPECT_STREQ(e.Name, r.name);
    EXPECT_EQ(e.Q, r.q);
    EXPECT_EQ(e.Iota, r.i);
    EXPECT_EQ(e.Radius1, r.r1);
    EXPECT_EQ(e.Radius2, r.r2);
    EXPECT_EQ(e.Temp1, r.t1);
    EXPECT_EQ(e.Temp2, r.t2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TabulatedRows,
    ::testing::Values(Row{1, "44i Boo (3)", 1.997, 70.9, 0.297, 0.412, 5800, 5553},
                      Row{2, "AD Cnc (4)", 0.625, 64.9, 0.404, 0.326, 4825, 5164},
                      Row{3, "V523 Cas (5)", 2, 82, 0.308, 0.422, 4400, 4215},
                      Row{4, "VW Cep (6)", 3.67, 65, 0.254, 0.463, 5200, 5000},
                      Row{8, "V1727 Cyg (10)", 2, 90, 0.3, 0.0005, 6700, 10000},
                      Row{9, "BW Dra (11)", 0.28, 74.42, 0.466, 0.262, 5980, 6164},
                      Row{309, "SMC X-1 (327)", 0.0625, 64, 0.562, 0.001, 31500, 10000},
                      Row{322, "GP Vel (343)", 13, 80, 0.001, 0.574, 1, 22000},
                      Row{323, "V884 Sco (344)", 21, 87, 0.001, 0.418, 10000, 45000},
                      Row{324, "FZ Ori (Ravik)", 0.79152, 67.085, 0.3855, 0.347, 6108, 6055}));

TEST(Catalogue, HoldsThreeHundredAndTwentyFourSystemsInRange) {
    ASSERT_EQ(entries().size(), 324u);
    ASSERT_EQ(StarCount, 324);
    std::set<std::string> names;
    for (const CatalogueEntry& e : entries()) {
        names.insert(e.Name);
        EXPECT_GE(e.Q, 0.0625) << e.Name;
        EXPECT_LE(e.Q, 21) << e.Name;
        EXPECT_GE(e.Iota, 0) << e.Name;
        EXPECT_LE(e.Iota, 90) << e.Name;
        EXPECT_GT(e.Radius1, 0) << e.Name;
        EXPECT_LE(e.Radius1, 0.567) << e.Name;
        EXPECT_LE(e.Radius2, 0.574) << e.Name;
        EXPECT_GE(e.Temp1, 1) << e.Name;
        EXPECT_LE(e.Temp2, 50000) << e.Name;
    }
    EXPECT_EQ(names.size(), 323u) << "every name distinct but the two \"None\" slots";
    EXPECT_EQ(names.count("TX UMa  (253)"), 1u) << "odd spacing kept";
    EXPECT_EQ(names.count("AW lac (224)"), 1u) << "odd case kept";
    EXPECT_STREQ(entries()[301].Name, "None");
    EXPECT_STREQ(entries()[303].Name, "None");
}

} // namespace
} // namespace corvane::catalogue

namespace corvane::catalogue {
namespace {

TEST(RandomIndex, NeverZeroNorPastTheEnd) {
    EXPECT_EQ(randomIndex(0.0, 324), 1);
    EXPECT_EQ(randomIndex(0.5, 324), 163);
    EXPECT_EQ(randomIndex(1.0 / 324 - 1e-6, 324), 1);
    EXPECT_EQ(randomIndex(1.0 / 324 + 1e-9, 324), 2);
    // Just below 1 the single-precision product rounds to 324 itself.
    EXPECT_EQ(static_cast<float>(0.99999999) * 324.0f, 324.0f);
    EXPECT_EQ(randomIndex(0.99999999, 324), 324) << "not 325";
    for (double u = 0; u < 1; u += 0.000731) {
        const int k = randomIndex(u, 324);
        ASSERT_GE(k, 1) << u;
        ASSERT_LE(k, 324) << u;
    }
}

} // namespace
} // namespace corvane::catalogue
