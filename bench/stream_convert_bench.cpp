// Converts one PNG to BMP through the row-by-row path alone, with the
// command line's default settings (or the BMP depth given), so its time and
// peak memory can be measured without the rest of the program.
//   stream_convert_bench INPUT.png OUTPUT.bmp [BMP-BPP]
#include <cstdio>
#include <cstdlib>

#include "engine/bitmap.h"
#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/stream_convert.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
    using namespace tarnwick;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INPUT.png OUTPUT.bmp [BMP-BPP]\n", argv[0]);
        return 2;
    }
    LoadImageLibrary();
    FormatRegistry reg;
    BuildOutputRegistry(reg);
    Settings s;
    ApplyDefaults(s, true);
    if (argc > 3) s.bmpBpp = std::atoi(argv[3]);
    RunState run;
    run.conversion = "bmp";
    PrepareOutputEncoding(reg, s, run, "bmp");
    const StreamPlan plan = PlanStreamConversion(argv[1], s, run, reg);
    if (!plan.streamable) {
        std::fprintf(stderr, "not a row-by-row conversion: %s\n", plan.why.c_str());
        return 1;
    }
    const StreamOutcome outcome = StreamPngToBmp(argv[1], argv[2], plan);
    if (!outcome.ok) {
        std::fprintf(stderr, "%s\n", outcome.error.c_str());
        return 1;
    }
    return 0;
}
