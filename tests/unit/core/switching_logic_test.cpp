// Record files planted as something else than a plain file. The decisions over devices are
// followed in the switching integration test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <mdmtest/scratch.h>

#include "switching_logic.h"

using namespace periphcore::switching;
namespace fs = std::filesystem;

TEST(RecordFiles, OnlyRegularFilesAreAppendedToAndNothingWaits) {
    mdmtest::Scratch scratch;
    fs::path dir = scratch.path();
    EXPECT_TRUE(append_record(dir / "plain", "c820", "0bda"));
    EXPECT_TRUE(append_record(dir / "plain", "c820", "0bda"));
    std::stringstream content;
    content << std::ifstream(dir / "plain").rdbuf();
    EXPECT_EQ(content.str(), "c8200bda\nc8200bda\n");

    fs::create_symlink(dir / "elsewhere", dir / "link");
    EXPECT_FALSE(append_record(dir / "link", "c820", "0bda"));
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    fs::create_directory(dir / "dir");
    EXPECT_FALSE(append_record(dir / "dir", "c820", "0bda"));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(append_record(dir / "fifo", "c820", "0bda"));
}
