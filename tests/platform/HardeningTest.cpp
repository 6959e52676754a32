// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Faults found by fuzzing and fault injection, one regression test each.
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

struct FileFixture : ::testing::Test {
    FileFixture() { fs::create_directories(dir); }
    ~FileFixture() override { fs::remove_all(dir); }
    fs::path dir = fs::temp_directory_path() / ("corvane-hard-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int entries() {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir)) {
            (void)e;
            ++n;
        }
        return n;
    }
};

// Regression: under a decimal-comma locale "0.305" was read as 0 and numbers were written with commas.
TEST(DecimalCommaLocale, NumbersAreReadAndWrittenWithThePoint) {
    const testing::CommaLocale comma;
    if (!comma.ok()) {
        GTEST_SKIP() << "no decimal-comma locale could be made here (localedef)";
    }
    EXPECT_EQ(Val("0.305"), 0.305);
    EXPECT_EQ(Val(" -1.5e2x"), -150);
    EXPECT_EQ(Val("0,5"), 0.0) << "the comma is not a decimal point in a box";
    EXPECT_EQ(GeneralNumber(0.305), "0.305");
    EXPECT_EQ(GeneralNumber(1.5e-5), "1.5E-05");
    EXPECT_EQ(Format(0.5, "##.###"), ".5");
    EXPECT_EQ(Format(2.4, "0.####"), "2.4");
    char* end = nullptr;
    EXPECT_EQ(strtodC("12.25,3", &end), 12.25);
    EXPECT_EQ(*end, ',');
}

// Regression: saves wrote ".NAME.part<pid>" beside the destination, a name anyone could predict and
// plant a link at, and a 255-byte legal name failed because the temporary one was longer.
TEST_F(FileFixture, TemporaryNamesAreShortAndNothingIsLeftBehind) {
    const std::string longName(255, 'a');
    ASSERT_EQ(writeFileWhole(dir / longName, "x\n"), "") << "a 255-byte name is legal";
    EXPECT_EQ(read(dir / longName), "x\n");
    ASSERT_EQ(writeFileWhole(dir / "b.csv", "1\n"), "");
    ASSERT_EQ(writeFileWhole(dir / "b.csv", "2\n"), "");
    EXPECT_EQ(read(dir / "b.csv"), "2\n");
    EXPECT_EQ(entries(), 2) << "no temporary file stays";
    EXPECT_NE(writeFileWhole(dir / "missing" / "c.csv", "x"), "") << "a missing folder is a reported failure";
    EXPECT_EQ(entries(), 2);
}

TEST_F(FileFixture, ASymbolicLinkAsDestinationIsRefusedAndItsTargetUntouched) {
    std::ofstream(dir / "victim") << "precious\n";
    fs::create_symlink(dir / "victim", dir / "link.csv");
    const std::string problem = writeFileWhole(dir / "link.csv", "overwritten\n");
    EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
    EXPECT_EQ(read(dir / "victim"), "precious\n");
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
}

TEST_F(FileFixture, ADeviceIsWrittenStraightToAndAFolderRefused) {
    EXPECT_EQ(writeFileWhole("/dev/null", "anything\n"), "");
    fs::create_symlink("/dev/null", dir / "stream");
    EXPECT_EQ(writeFileWhole(dir / "stream", "anything\n"), "") << "a link to a stream, as /dev/stdout is";
    EXPECT_TRUE(fs::is_symlink(dir / "stream"));
    fs::create_directories(dir / "folder");
    EXPECT_NE(writeFileWhole(dir / "folder", "x"), "");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST_F(FileFixture, AnExistingFileKeepsItsPermissions) {
    std::ofstream(dir / "p.csv") << "old\n";
    fs::permissions(dir / "p.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(writeFileWhole(dir / "p.csv", "new\n"), "");
    EXPECT_EQ(fs::status(dir / "p.csv").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Regression: two grid runs finishing in the same second wrote the same name and one was lost.
TEST_F(FileFixture, ANewFileNeverReplacesAnother) {
    bool existed = false;
    ASSERT_EQ(writeNewFile(dir / "r.csv", "first\n", existed), "");
    EXPECT_FALSE(existed);
    EXPECT_NE(writeNewFile(dir / "r.csv", "second\n", existed), "");
    EXPECT_TRUE(existed);
    EXPECT_EQ(read(dir / "r.csv"), "first\n");
    EXPECT_EQ(entries(), 1);
}

// Regression: a named pipe as observed file blocked for ever; /dev/zero was called "empty".
TEST_F(FileFixture, OnlyPlainFilesAreReadable) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(regularFileProblem(dir / "pipe"), "it is a pipe, not a file");
    EXPECT_EQ(regularFileProblem("/dev/zero"), "it is a device, not a file");
    EXPECT_EQ(regularFileProblem(dir), "it is a folder");
    EXPECT_EQ(regularFileProblem(dir / "none"), "it does not exist");
    std::ofstream(dir / "plain") << "0,1\n";
    EXPECT_EQ(regularFileProblem(dir / "plain"), "");
    fs::create_symlink(dir / "plain", dir / "to-plain");
    EXPECT_EQ(regularFileProblem(dir / "to-plain"), "") << "a link to a plain file is read";
}

} // namespace
} // namespace corvane::platform
