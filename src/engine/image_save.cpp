#include "engine/image_save.h"

#include "engine/bitmap.h"
#include "engine/encoding.h"

namespace tarnwick {

platform::SaveResult SaveOutputImage(FIBITMAP* image, const std::string& path, const RunState& run,
                                     const Settings& s) {
    EnsureFreeImage();
    const bool exactPalette = run.conversion == "bmp" && run.outputBpp == 8 &&
                              s.bmpColorTableKind() == ColorTableKind::Exact;
    const EncodedFile file = !image         ? EncodedFile()
                             : exactPalette ? EncodeBmpExactPalette(image, run)
                                            : EncodeImage(image, run.outputFif, run.saveFlags);
    if (!file) {
        platform::SaveResult failed;
        failed.error = "cannot write " + path + ": the picture cannot be encoded in this format";
        return failed;
    }
    return platform::SafeSaveBytes(path, file.data, file.size);
}

}  // namespace tarnwick
