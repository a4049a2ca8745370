#include "dialogs/form_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace flintcast::dialogs {

namespace {

template <typename Box>
Box* Named(Box* box, const char* name) {
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(QString::fromLatin1(name));
    return box;
}

// The thin connector of the option tree: "|" above "_ _ _ _".
QLabel* Connector(QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("|_ _ _ _"), parent);
    label->setStyleSheet(QStringLiteral("color: #8a8f98;"));
    return label;
}

}  // namespace

TFormSettings::TFormSettings(Read read, Apply apply, QWidget* parent)
    : QDialog(parent), read_(std::move(read)), apply_(std::move(apply)), notice_(DefaultNotice(this)) {
    setObjectName(QStringLiteral("FormSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(285, 370);
    setModal(false);

    auto* group = new QGroupBox(QStringLiteral("Download Option"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    efs_ = Named(new QCheckBox(QStringLiteral("EFS File"), group), "EFSChBox");
    backup_ = Named(new QCheckBox(QStringLiteral("Backup"), group), "BackupChBox");
    restore_ = Named(new QCheckBox(QStringLiteral("Restore"), group), "RestoreChBox");
    amss_ = Named(new QCheckBox(QStringLiteral("Multi---Image"), group), "AMSSChBox");
    pcSuite_ = Named(new QCheckBox(QStringLiteral("PC Suite"), group), "PCSuiteChBox");
    cdrom_ = Named(new QRadioButton(QStringLiteral("CDROM"), group), "RadioButton_CDROM");
    disk_ = Named(new QRadioButton(QStringLiteral("DISK"), group), "RadioButton_DISK");
    bootloader_ = Named(new QCheckBox(QStringLiteral("Bootloader"), group), "BootloaderChBox");
    // At most one of CDROM and DISK; both may be off.
    radios_ = new QButtonGroup(this);
    radios_->addButton(cdrom_);
    radios_->addButton(disk_);

    auto* grid = new QGridLayout(group);
    grid->setColumnMinimumWidth(0, 18);
    int row = 0;
    grid->addWidget(efs_, row++, 0, 1, 3);
    grid->addWidget(Connector(group), row, 1);
    grid->addWidget(backup_, row++, 2);
    grid->addWidget(Connector(group), row, 1);
    grid->addWidget(restore_, row++, 2);
    grid->addWidget(amss_, row++, 0, 1, 3);
    grid->addWidget(pcSuite_, row++, 0, 1, 3);
    grid->addWidget(Connector(group), row, 1);
    grid->addWidget(cdrom_, row++, 2);
    grid->addWidget(Connector(group), row, 1);
    grid->addWidget(disk_, row++, 2);
    grid->addWidget(bootloader_, row++, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    applyButton_ = Named(new QPushButton(QStringLiteral("Apply"), this), "BTApply");
    auto* cancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "BTCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{efs_, backup_, restore_, amss_, cdrom_, disk_,
                                                                         bootloader_}) {
        connect(box, &QAbstractButton::clicked, this, &TFormSettings::AnyBoxClicked);
    }
    connect(pcSuite_, &QAbstractButton::clicked, this, [this](bool checked) {
        cdrom_->setEnabled(checked);
        disk_->setEnabled(checked);
        AnyBoxClicked();
    });
    connect(applyButton_, &QPushButton::clicked, this, &TFormSettings::BTApplyClick);
    connect(cancel, &QPushButton::clicked, this, &TFormSettings::BTCancelClick);
}

void TFormSettings::showEvent(QShowEvent* event) {
    FormShow();
    if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TFormSettings::FormShow() {
    const controller::DownloadOptions o = read_();
    efs_->setChecked(o.efs);
    backup_->setChecked(o.backup);
    restore_->setChecked(o.restore);
    amss_->setChecked(o.amss);
    pcSuite_->setChecked(o.pcSuite);
    // An exclusive group cannot uncheck its last button: both may be off in the switches.
    radios_->setExclusive(false);
    cdrom_->setChecked(o.cdrom);
    disk_->setChecked(o.disk && !o.cdrom);
    radios_->setExclusive(true);
    bootloader_->setChecked(o.bootloader);
    cdrom_->setEnabled(o.pcSuite);
    disk_->setEnabled(o.pcSuite);
    applyButton_->setEnabled(false);
}

void TFormSettings::AnyBoxClicked() { applyButton_->setEnabled(true); }

void TFormSettings::BTApplyClick() {
    const bool any = efs_->isChecked() || backup_->isChecked() || restore_->isChecked() || amss_->isChecked() ||
                     pcSuite_->isChecked() || bootloader_->isChecked();
    if (!any) {
        notice_(QStringLiteral("Option"), QStringLiteral("No download option selected!"));
        return;
    }
    controller::DownloadOptions o;
    o.efs = efs_->isChecked();
    o.backup = backup_->isChecked();
    o.restore = restore_->isChecked();
    o.amss = amss_->isChecked();
    o.pcSuite = pcSuite_->isChecked();
    o.cdrom = cdrom_->isChecked();
    o.disk = disk_->isChecked();
    o.bootloader = bootloader_->isChecked();
    if (!apply_(o)) return;
    applyButton_->setEnabled(false);
    close();
}

void TFormSettings::BTCancelClick() { close(); }

}  // namespace flintcast::dialogs
