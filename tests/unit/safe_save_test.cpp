// Saving files: every writer keeps an old file whole when the save fails, and
// the replacement respects what the user's file was (link, mode).
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/encoding.h"
#include "engine/image_save.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "settings/config.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Runs `body` in a child process; gives the child's wait status.
int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Runs `body` in a child process whose files cannot grow beyond `limit` bytes,
// as on a disk that is full; the exit code is what body returned.
int OnFullDisk(rlim_t limit, const std::function<int()>& body) {
    const int status = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &r) != 0) return 99;
        return body();
    });
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Names of the files in a folder, sorted.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A 64 x 64 picture with many colours, large enough to fill a small limit.
Bitmap Ramp(unsigned bpp) {
    Bitmap dib(FreeImage_Allocate(64, 64, 24));
    for (int y = 0; y < 64; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < 64; ++x) {
            row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(x * 4);
            row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(y * 4);
            row[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>((x * y) & 0xFF);
        }
    }
    if (bpp == 8) return Bitmap(FreeImage_ColorQuantizeEx(dib.get(), FIQ_WUQUANT, 256, 0, nullptr));
    return dib;
}

RunState BmpRun(int bpp, int flags) {
    RunState run;
    run.conversion = "bmp";
    run.outputFif = FIF_BMP;
    run.outputBpp = bpp;
    run.saveFlags = flags;
    return run;
}

TEST(SafeSave, FullDiskKeepsTheOldFileOfEveryWriter) {
    LoadImageLibrary();
    TempDir dir;
    const std::string old(100, 'o');
    const std::string big(200000, 'n');
    Bitmap rgb = Ramp(24);
    Bitmap indexed = Ramp(8);
    Settings exact;
    exact.bmpColorTable = 1;
    Settings library;
    library.bmpColorTable = 0;

    struct Writer {
        const char* name;
        std::function<bool(const std::string&)> save;
    };
    const std::vector<Writer> writers = {
        {"bytes",
         [&](const std::string& p) {
             return platform::SafeSaveBytes(p, big.data(), big.size()).ok;
         }},
        {"stream",
         [&](const std::string& p) {
             return platform::SafeSave(p,
                                       [&](platform::SaveSink& sink) {
                                           // Rows written bottom-up, as a BMP writer does.
                                           for (size_t i = 0; i < 100; ++i)
                                               if (!sink.WriteAt((99 - i) * 2000, big.data(), 2000))
                                                   return false;
                                           return true;
                                       })
                 .ok;
         }},
        {"configuration",
         [&](const std::string& p) {
             Settings s;
             s.watermarkText = big;
             return SaveConfiguration(s, p);
         }},
        {"exact palette",
         [&](const std::string& p) {
             return SaveBmpExactPalette(indexed.get(), p, BmpRun(8, 0)) == 1;
         }},
        {"output 24 bit",
         [&](const std::string& p) {
             return SaveOutputImage(rgb.get(), p, BmpRun(24, 0), library).ok;
         }},
        {"output 8 bit RLE",
         [&](const std::string& p) {
             return SaveOutputImage(indexed.get(), p, BmpRun(8, BMP_SAVE_RLE), library).ok;
         }},
        {"output exact palette",
         [&](const std::string& p) {
             return SaveOutputImage(indexed.get(), p, BmpRun(8, 0), exact).ok;
         }},
    };
    for (const Writer& w : writers) {
        const std::string path = dir / "out.bmp";
        WriteFile(path, old);
        // 1: the save said it failed, as it should; 2: it claimed success.
        const int code = OnFullDisk(1000, [&] { return w.save(path) ? 2 : 1; });
        EXPECT_EQ(code, 1) << w.name;
        EXPECT_EQ(ReadFile(path), old) << w.name;
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bmp"}) << w.name;
        // With room, the same writer succeeds.
        EXPECT_TRUE(w.save(path)) << w.name;
        EXPECT_NE(ReadFile(path), old) << w.name;
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bmp"}) << w.name;
    }
}

TEST(SafeSave, FailedFillOrMissingFolderLeavesNothingAndSaysWhy) {
    TempDir dir;
    const std::string path = dir / "a.bmp";
    WriteFile(path, "old");
    platform::SaveResult r = platform::SafeSave(path, [](platform::SaveSink& sink) {
        sink.Write("partial", 7);
        return false;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("cannot write " + path, 0), 0u) << r.error;
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"a.bmp"});

    r = platform::SafeSaveBytes(dir / "none/b.bmp", "x", 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "cannot write " + (dir / "none/b.bmp") + ": " + std::strerror(ENOENT));

    // A folder, a FIFO: never replaced by a file.
    fs::create_directory(dir / "folder.bmp");
    EXPECT_FALSE(platform::SafeSaveBytes(dir / "folder.bmp", "x", 1).ok);
    EXPECT_TRUE(fs::is_directory(dir / "folder.bmp"));
    ASSERT_EQ(mkfifo((dir / "fifo.bmp").c_str(), 0600), 0);
    EXPECT_FALSE(platform::SafeSaveBytes(dir / "fifo.bmp", "x", 1).ok);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.bmp"));
}

TEST(SafeSave, LongestLegalNameAndLongFailingPaths) {
    LoadImageLibrary();
    TempDir dir;
    const std::string name = std::string(251, 'n') + ".bmp";  // 255 bytes, the longest name
    ASSERT_TRUE(platform::SafeSaveBytes(dir / name, "new", 3).ok);
    EXPECT_EQ(ReadFile(dir / name), "new");
    EXPECT_TRUE(platform::SafeSaveBytes(dir / name, "newer", 5).ok);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{name});

    // A save that fails on a path of about 500 bytes reports it and goes on.
    const std::string longPath =
        dir / (std::string(240, 'a') + "/" + std::string(250, 'b') + ".bmp");
    Bitmap rgb = Ramp(24);
    Settings s;
    const int status = InChild([&] {
        const platform::SaveResult r = SaveOutputImage(rgb.get(), longPath, BmpRun(24, 0), s);
        // The library's own path-based save reports such a failure too.
        const BOOL direct = FreeImage_Save(FIF_BMP, rgb.get(), longPath.c_str(), 0);
        return !r.ok && r.error.rfind("cannot write " + longPath + ": ", 0) == 0 && !direct ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(status))
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SafeSave, LinksAreWrittenThroughAndModesKept) {
    TempDir dir;
    fs::create_directory(dir / "real");
    WriteFile(dir / "real/target.bmp", "old");
    chmod((dir / "real/target.bmp").c_str(), 0640);
    fs::create_symlink("real/target.bmp", dir / "link.bmp");  // relative
    fs::create_symlink(dir / "link.bmp", dir / "chain.bmp");  // absolute, to a link

    ASSERT_TRUE(platform::SafeSaveBytes(dir / "chain.bmp", "new", 3).ok);
    EXPECT_TRUE(fs::is_symlink(dir / "chain.bmp"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(ReadFile(dir / "real/target.bmp"), "new");
    EXPECT_EQ(ModeOf(dir / "real/target.bmp"), 0640u);
    EXPECT_EQ(Names(dir / "real"), std::vector<std::string>{"target.bmp"});

    // A link to a file not there yet creates that file.
    fs::create_symlink("real/later.bmp", dir / "dangling.bmp");
    ASSERT_TRUE(platform::SafeSaveBytes(dir / "dangling.bmp", "x", 1).ok);
    EXPECT_EQ(ReadFile(dir / "real/later.bmp"), "x");

    // A new file gets what the umask allows.
    const mode_t before = umask(027);
    EXPECT_TRUE(platform::SafeSaveBytes(dir / "fresh.bmp", "x", 1).ok);
    umask(before);
    EXPECT_EQ(ModeOf(dir / "fresh.bmp"), 0640u);
    // An executable or private file keeps being so.
    chmod((dir / "fresh.bmp").c_str(), 0751);
    EXPECT_TRUE(platform::SafeSaveBytes(dir / "fresh.bmp", "y", 1).ok);
    EXPECT_EQ(ModeOf(dir / "fresh.bmp"), 0751u);
}

TEST(SafeSave, WritableFileInReadOnlyFolderIsOverwrittenInPlace) {
    TempDir dir;
    fs::create_directory(dir / "locked");
    const std::string path = dir / "locked/out.bmp";
    WriteFile(path, "old content");
    // Root may write anywhere: the child takes an ordinary user's rights.
    const uid_t user = geteuid() == 0 ? 65534 : geteuid();
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), user, user), 0);
        chmod(dir.path().c_str(), 0755);
    }
    chmod(path.c_str(), 0644);
    chmod((dir / "locked").c_str(), 0555);
    const int status = InChild([&] {
        if (geteuid() == 0 && (setgid(user) != 0 || setuid(user) != 0)) return 10;
        // A picture made on the fly is finished in a scratch file first, then
        // goes into the file itself.
        const platform::SaveResult streamed = platform::SafeSave(
            path, [](platform::SaveSink& sink) { return sink.Write("streamed", 8); });
        if (!streamed.ok || ReadFile(path) != "streamed") return 11;
        // One that fails half-way leaves the old file as it was.
        if (platform::SafeSave(
                path, [](platform::SaveSink& sink) { return sink.Write("half", 4) && false; })
                .ok ||
            ReadFile(path) != "streamed")
            return 12;
        // Bytes in memory go into the file itself, shorter or longer.
        if (!platform::SafeSaveBytes(path, "new", 3).ok || ReadFile(path) != "new") return 13;
        const std::string longer(5000, 'L');
        if (!platform::SafeSaveBytes(path, longer.data(), longer.size()).ok ||
            ReadFile(path) != longer)
            return 14;
        return 0;
    });
    chmod((dir / "locked").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Names(dir / "locked"), std::vector<std::string>{"out.bmp"});
    EXPECT_EQ(ModeOf(path), 0644u);

    // A sticky folder that everybody may write, and a writable file of
    // someone else in it: the temporary file can be made but not renamed.
    if (geteuid() == 0) {
        fs::create_directory(dir / "sticky");
        chmod((dir / "sticky").c_str(), 01777);
        const std::string shared = dir / "sticky/out.bmp";
        WriteFile(shared, "old content");
        chmod(shared.c_str(), 0666);
        const int code = InChild([&] {
            if (setgid(user) != 0 || setuid(user) != 0) return 10;
            if (!platform::SafeSaveBytes(shared, "new", 3).ok || ReadFile(shared) != "new")
                return 1;
            // A streamed picture too: the finished temporary file is copied.
            const bool streamed = platform::SafeSave(shared, [](platform::SaveSink& sink) {
                                      return sink.Write("streamed", 8);
                                  }).ok;
            return streamed && ReadFile(shared) == "streamed" ? 0 : 2;
        });
        ASSERT_TRUE(WIFEXITED(code));
        EXPECT_EQ(WEXITSTATUS(code), 0);
        EXPECT_EQ(Names(dir / "sticky"), std::vector<std::string>{"out.bmp"});
    }
}

TEST(SafeSave, InterruptingSignalsRemoveTheTemporaryFile) {
    TempDir dir;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string path = dir / "out.bmp";
        WriteFile(path, "old");
        const int status = InChild([&] {
            platform::InstallSaveCleanupOnSignals();
            platform::SafeSave(path, [&](platform::SaveSink& sink) {
                sink.Write("half a picture", 14);
                raise(sig);
                return true;
            });
            return 0;  // not reached: the signal ends the process
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig;
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bmp"}) << "signal " << sig;
    }
}

uint32_t Le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

TEST(ImageSave, RleBmpSizeFieldsAreHonestWithEitherColourTable) {
    LoadImageLibrary();
    TempDir dir;
    Bitmap indexed = Ramp(8);
    for (int table : {0, 1}) {
        Settings s;
        s.bmpColorTable = table;
        const std::string path = dir / ("rle" + std::to_string(table) + ".bmp");
        ASSERT_TRUE(SaveOutputImage(indexed.get(), path, BmpRun(8, BMP_SAVE_RLE), s).ok);
        const std::string bytes = ReadFile(path);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(Le32(bytes, 30), 1u) << "RLE8";
        EXPECT_EQ(Le32(bytes, 2), bytes.size()) << "file size, table " << table;
        EXPECT_EQ(Le32(bytes, 34), bytes.size() - Le32(bytes, 10)) << "image size, table " << table;
    }
    // Uncompressed files keep the library's own, already honest, sizes.
    const std::string plain = dir / "plain.bmp";
    ASSERT_TRUE(SaveOutputImage(indexed.get(), plain, BmpRun(8, 0), Settings()).ok);
    EXPECT_EQ(Le32(ReadFile(plain), 2), ReadFile(plain).size());
}

TEST(ReadRegularFile, RefusesWhatIsNotASmallRegularFileWithoutWaiting) {
    TempDir dir;
    WriteFile(dir / "small.ini", "abc");
    EXPECT_EQ(platform::ReadRegularFile(dir / "small.ini", 3), "abc");
    EXPECT_FALSE(platform::ReadRegularFile(dir / "small.ini", 2));
    EXPECT_FALSE(platform::ReadRegularFile(dir / "missing.ini", 100));
    EXPECT_FALSE(platform::ReadRegularFile(dir.path(), 100));
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    // A FIFO without a writer would block a plain open for ever; the child
    // is stopped by an alarm if that happens.
    const int status = InChild([&] {
        alarm(10);
        return !platform::ReadRegularFile(dir / "fifo.ini", 100) &&
                       !platform::ReadRegularFile("/dev/zero", 100) &&
                       !platform::ReadRegularFile("/dev/null", 100)
                   ? 0
                   : 1;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "blocked or crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SettingsFiles, FifoDeviceAndOversizeFilesAreRefused) {
    test::IsolateUserFolders();
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    {
        // 16 MiB + 1, mostly a hole: larger than any settings file may be.
        WriteFile(dir / "huge.ini", "[CLI]\r\n--WIDTH = 5\r\n");
        fs::resize_file(dir / "huge.ini", 16u * 1024 * 1024 + 1);
    }
    const int status = InChild([&] {
        alarm(10);
        Settings s;
        if (LoadProfile(s, dir / "fifo.ini") || LoadProfile(s, "/dev/zero") ||
            LoadProfile(s, dir / "huge.ini"))
            return 1;
        // A configuration that cannot be read is a missing one: the defaults.
        Settings c;
        c.bmpBpp = 99;
        LoadConfiguration(c, dir / "fifo.ini", 1920, 1080);
        Settings d;
        ApplyDefaults(d, false, 1920, 1080);
        return c.bmpBpp == d.bmpBpp ? 0 : 2;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "blocked or crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // A profile at the limit itself is still read.
    WriteFile(dir / "edge.ini", "[CLI]\r\n--WIDTH = 5\r\n");
    fs::resize_file(dir / "edge.ini", 16u * 1024 * 1024);
    Settings s;
    EXPECT_TRUE(LoadProfile(s, dir / "edge.ini"));
    EXPECT_EQ(s.imageWidth, 5);
}

}  // namespace
}  // namespace tarnwick
