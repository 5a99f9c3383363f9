// The platform layer where other users, odd environments and terminals meet
// the program: the single-instance lock, the settings folder, the pause key.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/instance.h"
#include "platform/memory.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

TEST(SingleInstance, WithoutRuntimeFolderTheLockIsPerUserAndForeignFilesNeverBlock) {
    const std::string name = "tarnwick lock test " + std::to_string(getpid());
    const std::string file = "tarnwick_lock_test_" + std::to_string(getpid());
    auto lockPath = [&](uid_t uid) { return "/tmp/" + file + "-" + std::to_string(uid) + ".lock"; };

    // One copy holds the lock; a second copy of the same user is refused.
    EXPECT_EQ(InChild([&] {
                  unsetenv("XDG_RUNTIME_DIR");
                  if (!platform::AcquireSingleInstance(name)) return 1;
                  if (!fs::exists(lockPath(getuid()))) return 2;
                  return InChild([&] { return platform::AcquireSingleInstance(name) ? 3 : 0; });
              }),
              0);
    fs::remove(lockPath(getuid()));

    // A link in the lock file's place is not followed, and the start goes on.
    fs::create_symlink("/tmp/" + file + "-target", lockPath(getuid()));
    EXPECT_EQ(InChild([&] {
                  unsetenv("XDG_RUNTIME_DIR");
                  return platform::AcquireSingleInstance(name) ? 0 : 1;
              }),
              0);
    EXPECT_FALSE(fs::exists("/tmp/" + file + "-target"));
    fs::remove(lockPath(getuid()));

    // A file of another user where ours would be, held locked by them: we
    // cannot use it, and start anyway.
    if (geteuid() == 0) {
        const uid_t other = 65534;
        const std::string path = lockPath(getuid());
        const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0666);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(fchown(fd, other, other), 0);
        ASSERT_EQ(fchmod(fd, 0666), 0);
        EXPECT_EQ(InChild([&] {
                      unsetenv("XDG_RUNTIME_DIR");
                      // The other user's process holds its lock on the file.
                      const int held = open(path.c_str(), O_RDWR);
                      if (held < 0 || flock(held, LOCK_EX | LOCK_NB) != 0) return 5;
                      return InChild([&] { return platform::AcquireSingleInstance(name) ? 0 : 1; });
                  }),
                  0);
        close(fd);
        fs::remove(path);
    }
}

TEST(UserFolders, NoHomeMeansNoSettingsFolderAndNothingCreatedAtTheRoot) {
    const uid_t stranger = 54321;
    if (geteuid() != 0 || getpwuid(stranger) != nullptr)
        GTEST_SKIP() << "needs root and a free user id";
    EXPECT_EQ(InChild([&] {
                  unsetenv("HOME");
                  unsetenv("XDG_CONFIG_HOME");
                  if (setgid(stranger) != 0 || setuid(stranger) != 0) return 1;
                  if (!platform::UserConfigFolder().empty()) return 2;
                  if (!SettingsFolder().empty()) return 3;
                  return 0;
              }),
              0);
    EXPECT_FALSE(fs::exists("/Pictavo"));
    // A relative HOME is no home either; the password entry is used.
    EXPECT_EQ(InChild([&] {
                  setenv("HOME", "relative/home", 1);
                  unsetenv("XDG_CONFIG_HOME");
                  const passwd* pw = getpwuid(getuid());
                  return pw && platform::UserConfigFolder() == std::string(pw->pw_dir) + "/.config/"
                             ? 0
                             : 1;
              }),
              0);
}

TEST(PauseKey, TheWholeEscapeSequenceOfAKeyIsRead) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    // The up-arrow key, as a terminal sends it.
    ASSERT_EQ(write(master, "\x1b[A", 3), 3);
    const int code = InChild([&] {
        alarm(10);
        setsid();
        const int fd = open(slave.c_str(), O_RDWR);
        if (fd < 0) return 10;
        dup2(fd, STDIN_FILENO);
        platform::WaitForKey();
        // Whatever is left would reach the shell once the program ends.
        termios t{};
        tcgetattr(STDIN_FILENO, &t);
        t.c_lflag &= static_cast<tcflag_t>(~ICANON);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
        char rest[16];
        return read(STDIN_FILENO, rest, sizeof rest) > 0 ? 1 : 0;
    });
    close(master);
    EXPECT_EQ(code, 0);
}

// Memory limits of control groups, v2 and v1, on a made-up hierarchy: the
// tightest limit of the group and the groups above it counts; v1's "no
// limit" (a number near 2^63) and v2's "max" are none.
TEST(AvailableMemory, ControlGroupLimitsOfBothVersionsAndTheirParents) {
    test::TempDir dir;
    const auto put = [&](const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(dir / path).parent_path());
        test::WriteFile(dir / path, text);
    };
    const std::string root = dir / "cg";
    // v1: the memory controller shared with another, a limit on the parent.
    put("v1", "12:cpu,memory:/box/job\n3:pids:/box\n");
    put("cg/memory/box/memory.limit_in_bytes", "314572800\n");  // 300 MiB
    put("cg/memory/box/memory.usage_in_bytes", "104857600\n");
    put("cg/memory/box/job/memory.limit_in_bytes", "9223372036854771712\n");
    put("cg/memory/box/job/memory.usage_in_bytes", "5\n");
    EXPECT_EQ(platform::CgroupAvailableBytes(dir / "v1", root), 200ull << 20);
    // v2: "max" on the group itself, a limit above it.
    put("v2", "0::/user/app\n");
    put("cg/user/app/memory.max", "max\n");
    put("cg/user/memory.max", "1073741824\n");
    put("cg/user/memory.current", "1073741900\n");
    EXPECT_EQ(platform::CgroupAvailableBytes(dir / "v2", root), 0u);
    // No limit anywhere.
    put("none", "0::/free\n");
    EXPECT_FALSE(platform::CgroupAvailableBytes(dir / "none", root).has_value());
}

}  // namespace
}  // namespace tarnwick
