#pragma once
// The download options dialog: check boxes for the download switches of the next runs. It edits
// the controller's switches only on Apply; Cancel drops what was changed. Nothing is written to
// Config.ini.
#include <QDialog>
#include <functional>

#include "controller/run_controller.h"
#include "dialogs/dialog_messages.h"

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;

namespace flintcast::dialogs {

class TFormSettings : public QDialog {
    Q_OBJECT
public:
    using Read = std::function<controller::DownloadOptions()>;
    // Takes the options; false when they could not be applied (the reason has been shown).
    using Apply = std::function<bool(const controller::DownloadOptions&)>;

    TFormSettings(Read read, Apply apply, QWidget* parent = nullptr);
    void setNotice(Notice notice) { notice_ = std::move(notice); }

    void FormShow();
    void BTApplyClick();
    void BTCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Read read_;
    Apply apply_;
    Notice notice_;
    QCheckBox* efs_ = nullptr;
    QCheckBox* backup_ = nullptr;
    QCheckBox* restore_ = nullptr;
    QCheckBox* amss_ = nullptr;
    QCheckBox* pcSuite_ = nullptr;
    QRadioButton* cdrom_ = nullptr;
    QRadioButton* disk_ = nullptr;
    QCheckBox* bootloader_ = nullptr;
    QButtonGroup* radios_ = nullptr;
    QPushButton* applyButton_ = nullptr;

    void AnyBoxClicked();
};

}  // namespace flintcast::dialogs
