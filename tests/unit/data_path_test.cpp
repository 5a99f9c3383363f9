// Where the program finds its manual and themes: beside itself (a build
// folder), else in the data folder of an installed layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

TEST(DataPath, BesideTheProgramFirstThenTheInstalledDataFolder) {
    test::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string() + "/";
    const std::string program = root + "usr/lib/tarnwick/";
    const std::string data = root + "usr/share/tarnwick/";
    platform::CreateFolders(program);
    platform::CreateFolders(data + "gfx/");
    test::WriteFile(data + "tarnwick.html", "installed");

    // The installed layout, named without "..".
    EXPECT_EQ(platform::DataPath(program, "tarnwick.html"), data + "tarnwick.html");
    EXPECT_EQ(platform::DataPath(program, "gfx/"), data + "gfx/");
    // Found nowhere: the place beside the program.
    EXPECT_EQ(platform::DataPath(program, "no-such-file.html"), program + "no-such-file.html");
    // A copy beside the program wins, as in the build folder.
    test::WriteFile(program + "tarnwick.html", "beside");
    EXPECT_EQ(platform::DataPath(program, "tarnwick.html"), program + "tarnwick.html");
}

}  // namespace
}  // namespace tarnwick
