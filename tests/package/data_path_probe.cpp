// Prints where a program installed at the given path finds its manual (the
// file F1 opens) and its theme folder, as the program itself resolves them:
//
//   tarnwick_data_path_probe /root/usr/lib/tarnwick/tarnwick
//
// The package check runs it against the unpacked package.
#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "platform/platform.h"
#include "text/product.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PROGRAM\n", argv[0]);
        return 2;
    }
    using namespace tarnwick;
    const std::string folder = platform::FolderPart(argv[1], "/");
    std::printf("manual %s\n", platform::DataPath(folder, kManualFile).c_str());
    std::printf("themes %s\n", platform::DataPath(folder, kThemeFolder).c_str());
    return 0;
}
