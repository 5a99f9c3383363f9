// The Convert command of the main window: reads the fields into the run state,
// checks them and the settings, and starts the run behind the progress window.
#pragma once

#include <string>

namespace tarnwick {

class RunStarter;
class UserDialogs;

// The parts of the main window the Convert command reads and drives.
class ConvertView {
public:
    virtual ~ConvertView() = default;
    virtual std::string InputFieldText() const = 0;
    virtual std::string OutputFolderText() const = 0;
    // Data of the selected item of the output format list; -1 when none.
    virtual int SelectedFormatData() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void RefreshOutputFolderList() = 0;
    // Opens the progress window, runs the prepared run and returns when the
    // window closed.
    virtual void RunProgressWindow(RunStarter& starter) = 0;
};

enum class ConvertOutcome {
    Ran,
    EmptyInput,
    EmptyOutputFolder,
    InvalidOutputFolder,
    InvalidWidth,
    InvalidHeight,
    InvalidWatermarkFont,
    EmptyWatermarkImage,
    InvalidWatermarkImage,
    InvalidConversion,
};

// Carries out the command with the program-wide settings, run state, input
// file list and format registry.
ConvertOutcome ConvertCommand(ConvertView& view, UserDialogs& dialogs);

}  // namespace tarnwick
