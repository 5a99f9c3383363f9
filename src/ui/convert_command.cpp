// The Convert command: checks in a fixed order, each refusal one warning.
#include "ui/convert_command.h"

#include <algorithm>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_starter.h"
#include "engine/run_state.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/shown.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"

namespace tarnwick {

ConvertOutcome ConvertCommand(ConvertView& view, UserDialogs& dialogs) {
    Settings& s = GlobalSettings();
    RunState& run = GlobalRunState();
    FormatRegistry& reg = GlobalRegistry();

    // A refusal is a warning in the window and its line on standard error.
    const auto tell = [&](const std::string& path, const std::string& message) {
        platform::WriteErrorLine(text::FailureLine(path, message));
        dialogs.Warning(message);
    };
    const auto refuse = [&](ConvertOutcome outcome, const std::string& path,
                            const std::string& message) {
        view.SetStatusText(CatalogText("Msg", "Conversion is not complete"));
        tell(path, message);
        return outcome;
    };

    // The input file field becomes the run's only file, unless it is an empty
    // file or not of an accepted type (a missing file passes and fails in the run).
    run.inputPath = TrimBlanks(view.InputFieldText());
    ClearInputFileList();
    if (!run.inputPath.empty() && IsAcceptedInputFile(run.inputPath))
        GlobalInputList().emplace(run.inputPath, InputEntry{1, std::string()});

    run.outputFolder = TrimBlanks(view.OutputFolderText());
    const int formatIndex = view.SelectedFormatData();
    const auto& outputs = OutputExtensions();
    run.conversion = formatIndex >= 0 && formatIndex < static_cast<int>(outputs.size())
                         ? outputs[static_cast<size_t>(formatIndex)]
                         : std::string();

    view.SetStatusText(CatalogText("General", "Preparing"));

    if (GlobalInputList().empty())
        return refuse(ConvertOutcome::EmptyInput, run.inputPath,
                      CatalogText("Msg", "Empty input files"));
    if (run.outputFolder.empty())
        return refuse(ConvertOutcome::EmptyOutputFolder, run.outputFolder,
                      CatalogText("Msg", "Empty output folder"));
    if (run.outputFolder.back() != '/') run.outputFolder += '/';
    if (!platform::FolderExists(run.outputFolder))
        return refuse(ConvertOutcome::InvalidOutputFolder, run.outputFolder,
                      FormatMessage(CatalogText("Msg", "Invalid output folder"), run.outputFolder));
    if (s.doImageResize) {
        if (s.imageWidth == 0)
            return refuse(ConvertOutcome::InvalidWidth, run.inputPath,
                          CatalogText("Msg", "Invalid width"));
        if (s.imageHeight == 0)
            return refuse(ConvertOutcome::InvalidHeight, run.inputPath,
                          CatalogText("Msg", "Invalid height"));
    }
    // Without a known output format there is nothing to encode to.
    if (!FindOutputFormat(reg, run.conversion))
        return refuse(ConvertOutcome::InvalidConversion, run.inputPath,
                      CatalogText("Msg", "Invalid conversion type"));

    auto starter = RunStarter::ForProgramRecords();
    switch (starter->PrepareDrawing()) {
        case DrawingCheck::Ready: break;
        case DrawingCheck::InvalidFont:
            tell(run.inputPath,
                 FormatMessage(CatalogText("Msg", "Invalid watermark font"), s.font));
            return ConvertOutcome::InvalidWatermarkFont;
        case DrawingCheck::EmptyWatermarkImage:
            tell(run.inputPath, CatalogText("Msg", "Empty watermark image"));
            return ConvertOutcome::EmptyWatermarkImage;
        case DrawingCheck::InvalidWatermarkImage:
            tell(s.watermarkImage,
                 FormatMessage(CatalogText("Msg", "Invalid watermark image"), s.watermarkImage));
            return ConvertOutcome::InvalidWatermarkImage;
    }

    starter->PrepareEncoding();
    if (AddRecentOutFolder(s, run.outputFolder) == 1) view.RefreshOutputFolderList();

    view.SetStatusText(CatalogText("General", "Converting"));
    view.RunProgressWindow(*starter);
    return ConvertOutcome::Ran;
}

}  // namespace tarnwick
