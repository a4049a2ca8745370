#pragma once
// Pictures of the window for the documentation and for review: the window's states as a run
// goes by (ready, upgrading, complete or failed) and each dialog, written as PNG files.
#include <QString>

namespace flintcast::gui {

class TTarnwickUiForm;
class WindowPresentation;

struct SnapshotOptions {
    QString folder;
    QString prefix;           // put before each file name ("ja-", "p41-")
    bool pressStart = false;  // press Start once the device is ready
};

// Writes the window's pictures as the run goes by and ends the program after the last one.
void ArmWindowSnapshots(TTarnwickUiForm& window, WindowPresentation& view, const SnapshotOptions& options);

// Writes a picture of each dialog (for the window's project) and returns.
void WriteDialogSnapshots(TTarnwickUiForm& window, const SnapshotOptions& options);

}  // namespace flintcast::gui
