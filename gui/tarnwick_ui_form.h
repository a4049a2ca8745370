#pragma once
// The main window: a borderless, skinned window that drives the run controller. It shows the
// status, the device version, the progress of slot 0, the verified image set, the log and the
// selected items; its buttons and menu call the controller's commands. It decides nothing
// about an update itself.
#include <QWidget>
#include <memory>

#include "controller/presentation.h"
#include "gui/window_variant.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QStackedWidget;
class QTextEdit;
class QTimer;
class QTreeWidget;
class QAction;
class QGroupBox;

namespace flintcast::dialogs {
class SkinButton;
class TFormSettings;
class TTarnwickAboutForm;
}  // namespace flintcast::dialogs

namespace flintcast::gui {

class WindowPresentation;
class WindowSession;

class TTarnwickUiForm : public QWidget {
    Q_OBJECT
public:
    // `session` and `view` outlive the window. The window connects the view's reports and the
    // session's device check reports to its widgets; BindSession wires the controller.
    TTarnwickUiForm(WindowSession& session, WindowPresentation& view, QWidget* parent = nullptr);
    ~TTarnwickUiForm() override;

    // Runs the project's wizard (if any), then starts the device check. False when the wizard
    // was cancelled: the program ends.
    bool Begin();

    // The commands.
    void StartClick();
    void StopClick();
    void Reupdate1Click();
    void ConfigurationMenuItemClick();
    void ShiftDevice1Click();
    void ImageFolderBrowseClick();
    // Uses `folder` as the image folder (what the folder picker does with its choice).
    void ChooseImageFolder(const QString& folder);
    void ShowAbout();

    const WindowVariant& variant() const { return variant_; }
    QMenu* popupMenu() const { return popup_; }
    controller::RunState runState() const { return runState_; }
    // The colour the status bar text has now.
    QColor statusBarColour() const;
    void setDetailsVisible(bool visible);
    // The compact window's result layout (project 41).
    void ShowCompactResult(bool passed);

    // The image folder picker; tests replace it.
    std::function<QString()> pickFolder;

signals:
    // The run has ended and the window shows its result.
    void runFinished(bool passed);
    // The device check found the device ready.
    void deviceReady();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    WindowSession& session_;
    WindowPresentation& view_;
    WindowVariant variant_;
    controller::RunState runState_ = controller::RunState::Idle;
    bool closeApproved_ = false;
    bool deviceReady_ = false;
    QPoint dragOffset_;

    QLabel* background_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* titleJapanese_ = nullptr;
    QLabel* about1_ = nullptr;
    QLabel* about_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* warning_ = nullptr;
    QLabel* warningImage_ = nullptr;
    QLabel* busy_ = nullptr;
    QLabel* result_ = nullptr;
    QProgressBar* gauge_ = nullptr;         // slot 0: CGauge2
    QProgressBar* compactGauge_ = nullptr;  // slot 0 of project 41: CGauge1
    QProgressBar* progressBar_ = nullptr;   // the overall bar of the design, unused by slot 0
    QLabel* statusBar_ = nullptr;
    QLabel* settings_ = nullptr;
    QLabel* detailsLink_ = nullptr;
    QWidget* details_ = nullptr;
    QGroupBox* portGroup_ = nullptr;
    QComboBox* portBox_ = nullptr;
    QComboBox* serialPortBox_ = nullptr;
    QComboBox* appPortBox_ = nullptr;
    QLineEdit* imageFolderEdit_ = nullptr;
    QTreeWidget* fileList_ = nullptr;
    QTextEdit* log_ = nullptr;
    dialogs::SkinButton* start_ = nullptr;
    dialogs::SkinButton* stop_ = nullptr;
    dialogs::SkinButton* finish_ = nullptr;
    dialogs::SkinButton* close_ = nullptr;
    dialogs::SkinButton* minimize_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* reupdate_ = nullptr;
    QTimer* pump_ = nullptr;
    QTimer* reminder_ = nullptr;  // Timer1
    QStackedWidget* pages_ = nullptr;
    QWidget* mainPage_ = nullptr;
    QGroupBox* compactProgress_ = nullptr;   // GroupBox1
    QGroupBox* compactCompleted_ = nullptr;  // GroupBox2
    QGroupBox* compactFailed_ = nullptr;     // GroupBox4
    QLabel* compactStatus_ = nullptr;
    QLabel* compactVersion_ = nullptr;
    std::unique_ptr<dialogs::TFormSettings> settingsForm_;
    std::unique_ptr<dialogs::TTarnwickAboutForm> aboutForm_;

    void BuildMainPage();
    void BuildDetails();
    void BuildCompactPages();
    void BuildMenu();
    void ApplyVariantTexts();
    void ConnectReports();
    void PumpEvents();
    void FillFileList();
    void RefreshSummary();
    void OnLine(int kind, const QString& text);
    void OnStatus(const QString& text, int state);
    void OnRunState(int state);
    void OnRunEnded();
    void OnDeviceStatus(const QString& text, bool ready);
    void EndApplication();
    QString LocalText(const QString& text) const;
};

}  // namespace flintcast::gui
