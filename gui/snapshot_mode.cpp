#include "gui/snapshot_mode.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <memory>

#include "config/project_traits.h"
#include "controller/run_rules.h"
#include "dialogs/about_form.h"
#include "dialogs/form_guide.h"
#include "dialogs/form_guide3.h"
#include "dialogs/form_messagebox.h"
#include "dialogs/form_settings.h"
#include "dialogs/form_write.h"
#include "gui/tarnwick_ui_form.h"
#include "gui/window_presentation.h"

namespace flintcast::gui {

namespace {

void Save(QWidget& widget, const SnapshotOptions& options, const QString& name) {
    QDir().mkpath(options.folder);
    widget.grab().save(QDir(options.folder).filePath(options.prefix + name + QStringLiteral(".png")));
}

// The window with its context menu open over it.
void SaveWithMenu(TTarnwickUiForm& window, const SnapshotOptions& options, const QString& name) {
    QMenu* menu = window.popupMenu();
    menu->ensurePolished();
    menu->adjustSize();
    const QPixmap base = window.grab();
    const QPixmap popup = menu->grab();
    QPixmap picture(base.size());
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.drawPixmap(0, 0, base);
    const QPoint at(base.width() / 2 - 40, 60);
    p.setPen(QColor(120, 120, 120));
    p.drawRect(QRect(at, popup.size()).adjusted(-1, -1, 0, 0));
    p.drawPixmap(at, popup);
    p.end();
    QDir().mkpath(options.folder);
    picture.save(QDir(options.folder).filePath(options.prefix + name + QStringLiteral(".png")));
}

template <typename Dialog>
void Shoot(Dialog& dialog, const SnapshotOptions& options, const QString& name) {
    dialog.show();
    QApplication::processEvents();
    Save(dialog, options, name);
}

}  // namespace

void ArmWindowSnapshots(TTarnwickUiForm& window, WindowPresentation& view, const SnapshotOptions& options) {
    if (window.variant().compact) {
        // The compact window's three layouts, one after the other.
        QTimer::singleShot(0, &window, [&window, options] {
            Save(window, options, QStringLiteral("progress"));
            window.ShowCompactResult(true);
            Save(window, options, QStringLiteral("complete"));
            window.ShowCompactResult(false);
            Save(window, options, QStringLiteral("failed"));
            QApplication::exit(0);
        });
        return;
    }
    // 0 waiting for the device, 1 started, 2 upgrading shot taken.
    auto state = std::make_shared<int>(0);
    auto notReady = std::make_shared<int>(0);
    QObject::connect(
        &view, &WindowPresentation::deviceStatus, &window,
        [&window, options, state, notReady](const QString&, bool ready) {
            if (*state != 0) return;
            if (!ready && ++*notReady < 3) return;
            Save(window, options, ready ? QStringLiteral("ready") : QStringLiteral("not-ready"));
            if (ready && options.pressStart) {
                *state = 1;
                QTimer::singleShot(0, &window, [&window] { window.StartClick(); });
            } else {
                *state = 3;
                QTimer::singleShot(0, &window, [] { QApplication::exit(0); });
            }
        },
        Qt::QueuedConnection);
    QObject::connect(
        &view, &WindowPresentation::progressSet, &window,
        [&window, options, state](int, int position, int maximum) {
            if (*state != 1 || maximum <= 0 || position * 100 / maximum < 40) return;
            *state = 2;
            window.setDetailsVisible(true);
            Save(window, options, QStringLiteral("upgrading"));
        },
        Qt::QueuedConnection);
    QObject::connect(&window, &TTarnwickUiForm::runFinished, &window, [&window, options](bool passed) {
        window.setDetailsVisible(true);
        Save(window, options, passed ? QStringLiteral("complete") : QStringLiteral("failed"));
        if (!passed) {
            window.setDetailsVisible(false);
            SaveWithMenu(window, options, QStringLiteral("failed-menu"));
        }
        QTimer::singleShot(0, &window, [] { QApplication::exit(0); });
    });
}

void WriteDialogSnapshots(TTarnwickUiForm& window, const SnapshotOptions& options) {
    controller::DownloadOptions chosen;
    chosen.efs = chosen.backup = chosen.restore = chosen.bootloader = true;
    dialogs::TFormSettings settings([chosen] { return chosen; }, [](const controller::DownloadOptions&) { return true; },
                                    &window);
    Shoot(settings, options, QStringLiteral("dialog-settings"));
    settings.close();

    dialogs::TFormGuide guide({dialogs::GuideKind::Japanese, 2, 0, QString::fromUtf8("JDEアップデートツール V1.1")});
    guide.ButtonNextClick();
    Shoot(guide, options, QStringLiteral("dialog-guide-agreement"));
    guide.hide();
    dialogs::TFormGuide1 guide1;
    guide1.ButtonNextClick();
    guide1.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(true);
    Shoot(guide1, options, QStringLiteral("dialog-guide1-agreement"));
    guide1.hide();
    dialogs::TFormGuide2 guide2(42, 0, QString::fromStdString(controller::VariantToolTitle(42, 0)));
    guide2.ButtonNextClick();
    Shoot(guide2, options, QStringLiteral("dialog-guide2-agreement"));
    guide2.hide();
    dialogs::TFormGuide2 notice(28, 0, QStringLiteral("JDF Software Update Tool"));
    Shoot(notice, options, QStringLiteral("dialog-guide2-p28"));
    notice.hide();

    dialogs::TFormGuide3 guide3(QString::fromUtf8("Telvoro上网卡软件版本升级程序"), [] { return false; });
    Shoot(guide3, options, QStringLiteral("dialog-guide3-splash"));
    guide3.SpeedButtonInstallClick();
    Shoot(guide3, options, QStringLiteral("dialog-guide3-agreement"));
    guide3.findChild<QRadioButton*>(QStringLiteral("RadioButton_Agree"))->setChecked(true);
    guide3.SpeedButtonNextClick();
    Shoot(guide3, options, QStringLiteral("dialog-guide3-steps"));
    guide3.SpeedButtonStartClick();
    Shoot(guide3, options, QStringLiteral("dialog-guide3-notice"));
    guide3.hide();

    dialogs::TFormMessagebox box(28, QString::fromUtf8(controller::kBrandedStartConfirmation.data()));
    Shoot(box, options, QStringLiteral("dialog-messagebox"));
    box.hide();

    // One about box of each layout, shown for the first project that has it.
    for (const auto layout : {config::AboutLayout::Plain, config::AboutLayout::VersionOnly, config::AboutLayout::Variant}) {
        int project = 0;
        while (project < config::HighestProject() && config::AboutLayoutOf(project, false) != layout) ++project;
        dialogs::TTarnwickAboutForm about;
        dialogs::AboutTexts texts;
        texts.projectType = project;
        texts.applicationTitle = layout == config::AboutLayout::VersionOnly
                                     ? QString::fromStdString(std::string(config::WizardTitle(project)))
                                     : QString::fromStdString(controller::VariantToolTitle(project, 0));
        texts.variantTitle = QString::fromStdString(controller::VariantToolTitle(project, 0));
        texts.settings = QStringLiteral("Backup, Bootloader, Multi-Image, EFS, Restore.");
        about.setTexts(texts);
        Shoot(about, options, QStringLiteral("dialog-about-p%1").arg(project));
        about.hide();
    }

    dialogs::TFormWrite input;
    input.setCheckMode(dialogs::TFormWrite::kFifteenCharacters);
    input.setInfo(QStringLiteral("Please input the IMEI (15 digits):"));
    Shoot(input, options, QStringLiteral("dialog-input"));
    input.hide();
}

}  // namespace flintcast::gui
