// flintcast-gui: the firmware update tool's window.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "dialogs/skin_art.h"
#include "gui/snapshot_mode.h"
#include "gui/tarnwick_ui_form.h"
#include "gui/window_presentation.h"
#include "gui/window_session.h"
#include "platform/clock.h"

namespace {

// Pictures are taken with nobody there to answer: questions are written out and answered as a
// cautious operator would (OK to the branded start confirmation, No and Cancel otherwise).
flintcast::controller::MessageAnswer AnswerUnattended(const flintcast::controller::Message& m) {
    using flintcast::controller::MessageAnswer;
    using flintcast::controller::MessageButtons;
    std::fprintf(stderr, "[%s] %s\n", m.caption.c_str(), m.text.c_str());
    if (m.buttons == MessageButtons::YesNo) return MessageAnswer::No;
    return MessageAnswer::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace flintcast;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("flintcast-gui"));
    QApplication::setApplicationVersion(QStringLiteral(FLINTCAST_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Flintcast: firmware update tool for USB data cards, routers and handsets"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("Config.ini to use instead of the embedded one"),
                                          QStringLiteral("file"));
    const QCommandLineOption imageOption(QStringLiteral("image-folder"),
                                         QStringLiteral("Image folder to use instead of the embedded package"),
                                         QStringLiteral("folder"));
    const QCommandLineOption rootOption(QStringLiteral("device-root"),
                                        QStringLiteral("Device tree to use (a simulator's root); default /"),
                                        QStringLiteral("folder"));
    const QCommandLineOption scaleOption(QStringLiteral("time-scale"),
                                         QStringLiteral("Run every wait at this fraction of real time (1 = real time)"),
                                         QStringLiteral("scale"));
    const QCommandLineOption autotestOption(QStringLiteral("autotest"),
                                            QStringLiteral("Unattended test mode: keep the run log, repeat on the next device"));
    QCommandLineOption snapshotOption(QStringLiteral("snapshot-dir"),
                                      QStringLiteral("Write pictures of the window's states into this folder"),
                                      QStringLiteral("folder"));
    QCommandLineOption prefixOption(QStringLiteral("snapshot-prefix"), QStringLiteral("Prefix of the picture names"),
                                    QStringLiteral("text"));
    QCommandLineOption pressStartOption(QStringLiteral("snapshot-start"),
                                        QStringLiteral("Press Start once the device is ready (with --snapshot-dir)"));
    QCommandLineOption dialogsOption(QStringLiteral("snapshot-dialogs"),
                                     QStringLiteral("Write pictures of every dialog (with --snapshot-dir) and end"));
    for (auto* hidden : {&snapshotOption, &prefixOption, &pressStartOption, &dialogsOption}) {
        hidden->setFlags(QCommandLineOption::HiddenFromHelp);
    }
    parser.addOptions({configOption, imageOption, rootOption, scaleOption, autotestOption, snapshotOption, prefixOption,
                       pressStartOption, dialogsOption});
    parser.process(app);

    if (parser.isSet(scaleOption)) {
        const auto scale = platform::ParseTimeScale(parser.value(scaleOption).toStdString());
        if (!scale) {
            std::fprintf(stderr, "--time-scale must be a positive number\n");
            return 64;
        }
        platform::SystemClock().setScale(*scale);
    }
    gui::WindowOptions options;
    options.configPath = parser.value(configOption).toStdString();
    options.imageFolder = parser.value(imageOption).toStdString();
    options.deviceRoot = parser.value(rootOption).toStdString();
    options.autotest = parser.isSet(autotestOption);

    gui::WindowPresentation view;
    const bool snapshotMode = parser.isSet(snapshotOption);
    if (snapshotMode) view.setAsker(AnswerUnattended);
    gui::WindowSession session(options, view, view.Reports());
    if (!session.ok()) return 2;
    gui::TTarnwickUiForm window(session, view);
    if (window.variant().japaneseTexts || window.variant().compact) QApplication::setFont(dialogs::CjkFont(9));

    gui::SnapshotOptions snapshots;
    snapshots.folder = parser.value(snapshotOption);
    snapshots.prefix = parser.value(prefixOption);
    snapshots.pressStart = parser.isSet(pressStartOption);
    if (!snapshots.folder.isEmpty()) view.setAsker(AnswerUnattended);
    if (!snapshots.folder.isEmpty() && parser.isSet(dialogsOption)) {
        gui::WriteDialogSnapshots(window, snapshots);
        return 0;
    }
    if (!snapshots.folder.isEmpty()) {
        // Pictures are taken without the start-up wizard (its pages have pictures of their own).
        gui::ArmWindowSnapshots(window, view, snapshots);
        if (!window.variant().compact) session.deviceCheck().Start();
        window.show();
        return QApplication::exec();
    }

    if (!window.Begin()) return 0;
    window.show();
    return QApplication::exec();
}
