// The main window: its variants and controls without a device, and whole updates of the
// simulated device driven through the window, one to PASS and one failing.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <memory>

#include "controller/run_controller.h"
#include "dialogs/form_settings.h"
#include "dialogs/skin_button.h"
#include "gui/tarnwick_ui_form.h"
#include "gui/window_presentation.h"
#include "gui/window_session.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "tests/gui/gui_tests.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"

namespace flintcast::gui {

namespace {

namespace fs = std::filesystem;

constexpr const char* kScale = "0.02";
constexpr int kDeviceWaitMs = 60000;
constexpr int kRunWaitMs = 240000;

// Settings, logs, backups and staging of one test in its own folder.
class TestHome {
public:
    TestHome() {
        for (const char* name : kNames) {
            if (const char* old = std::getenv(name)) saved_.emplace_back(name, old);
            const fs::path folder = dir_.path() / name;
            fs::create_directories(folder);
            ::setenv(name, folder.c_str(), 1);
        }
    }
    ~TestHome() {
        for (const char* name : kNames) ::unsetenv(name);
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    const fs::path& path() const { return dir_.path(); }

    // The embedded package's Config.ini with "Section/Key" values changed.
    fs::path Config(const std::vector<std::pair<std::string, std::string>>& changes) const {
        auto ini = platform::IniFile::Load(fs::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini");
        if (!ini) qFatal("no default Config.ini");
        for (const auto& [key, value] : changes) {
            const auto slash = key.find('/');
            ini->writeString(key.substr(0, slash), key.substr(slash + 1), value);
        }
        const fs::path path = dir_.path() / "Config.ini";
        if (!ini->save(path)) qFatal("cannot write Config.ini");
        return path;
    }

private:
    static constexpr const char* kNames[] = {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "TMPDIR",
                                             "XDG_RUNTIME_DIR"};
    testing::TempDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

struct Window {
    WindowPresentation view;
    std::unique_ptr<WindowSession> session;
    std::unique_ptr<TTarnwickUiForm> form;
    QStringList messages;

    Window(const fs::path& config, const fs::path& deviceRoot) {
        Answer();
        WindowOptions options;
        options.configPath = config.string();
        options.deviceRoot = deviceRoot.string();
        session = std::make_unique<WindowSession>(options, view, view.Reports());
        if (!session->ok()) qFatal("the session was refused");
        form = std::make_unique<TTarnwickUiForm>(*session, view);
        Answer();
    }
    // Questions are answered without a modal box: OK to the start confirmation, No else.
    void Answer() {
        view.setAsker([this](const controller::Message& m) {
            messages << QString::fromStdString(m.caption + "|" + m.text);
            return m.buttons == controller::MessageButtons::OkCancel ? controller::MessageAnswer::Ok
                                                                     : controller::MessageAnswer::No;
        });
    }
    ~Window() {
        form.reset();
        session.reset();
    }

    template <typename T>
    T* Child(const char* name) const {
        T* child = form->findChild<T*>(QString::fromLatin1(name));
        if (!child) qFatal("no child %s", name);
        return child;
    }
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { platform::SystemClock().setScale(std::atof(kScale)); }

    void aQuestionFromAnotherThreadIsAnsweredOnTheWindowThreadAndBlocksOnlyThatThread() {
        WindowPresentation view;
        QThread* answeredOn = nullptr;
        view.setAsker([&](const controller::Message& m) {
            answeredOn = QThread::currentThread();
            return m.text == "go?" ? controller::MessageAnswer::Ok : controller::MessageAnswer::Cancel;
        });
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            answer = static_cast<int>(view.ShowMessage({"Warning", "go?", controller::MessageButtons::OkCancel}));
        });
        // The window thread keeps handling events while the worker waits for its answer.
        QTRY_VERIFY_WITH_TIMEOUT(answer.load() != -1, 10000);
        worker.join();
        QCOMPARE(answer.load(), static_cast<int>(controller::MessageAnswer::Ok));
        QCOMPARE(answeredOn, QThread::currentThread());
    }

    void startSizeNamesSummaryAndKeyboard() {
        TestHome home;
        fs::create_directories(home.path() / "root");
        Window w(home.Config({{"DownloadItems/bBackup", "0"},
                              {"DownloadItems/bRestore", "0"},
                              {"DownloadItems/bAMSSFile", "0"},
                              {"DownloadItems/bCDROM", "0"},
                              {"DownloadItems/bDISK", "0"},
                              {"DownloadItems/bResImage", "0"},
                              {"DownloadItems/bDSP", "0"},
                              {"DownloadItems/bBootLoader", "1"},
                              {"DownloadItems/bEFS", "1"}}),
                 home.path() / "root");
        w.form->show();
        QCOMPARE(w.form->size(), QSize(kStartWidth, kStartHeight));
        QVERIFY(w.form->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(w.Child<QLabel>("lblSettings")->text().endsWith(QStringLiteral("Bootloader, EFS.")));
        QCOMPARE(w.Child<QLabel>("Label_status")->text(), QStringLiteral("Not Ready"));
        for (const char* name : {"StartButton", "StopButton", "Label_status", "lvFileList", "Label_version",
                                 "Label_warning", "CGauge2", "StatusBar", "DownloadInfoMemo", "Image_Big"}) {
            QCOMPARE(w.Child<QWidget>(name)->accessibleName(), QString::fromLatin1(name));
        }
        QCOMPARE(w.Child<QTreeWidget>("lvFileList")->headerItem()->text(0), QStringLiteral("File Name"));

        // Start is disabled until the device is ready; hovering keeps the disabled picture.
        auto* start = w.Child<dialogs::SkinButton>("StartButton");
        QVERIFY(!start->isEnabled());
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(start, &enter);
        QCOMPARE(start->currentImage(), int(dialogs::SkinButton::Disabled));
        QCOMPARE(start->shortcut(), QKeySequence(QStringLiteral("Alt+S")));
        QCOMPARE(w.Child<dialogs::SkinButton>("StopButton")->shortcut(), QKeySequence(QStringLiteral("Alt+T")));

        // The menu key opens the menu with the further commands.
        QTest::keyClick(w.form.get(), Qt::Key_Menu);
        QVERIFY(w.form->popupMenu()->isVisible());
        QStringList names;
        for (QAction* action : w.form->popupMenu()->actions()) names << action->objectName();
        for (const char* name : {"Reupdate1", "ConfigurationMenuItem", "ShiftDevice1"}) {
            QVERIFY2(names.contains(QString::fromLatin1(name)), name);
        }
        QVERIFY(!w.form->popupMenu()->actions().front()->isVisible());  // no Re_update without a stored failure
        w.form->popupMenu()->hide();

        // The options dialog applies to the controller and the summary follows.
        w.form->ConfigurationMenuItemClick();
        auto* settings = w.form->findChild<dialogs::TFormSettings*>();
        QVERIFY(settings && settings->isVisible());
        settings->findChild<QAbstractButton*>(QStringLiteral("AMSSChBox"))->click();
        settings->BTApplyClick();
        QVERIFY(w.session->controller().config().bAMSSFile);
        QVERIFY(w.Child<QLabel>("lblSettings")->text().endsWith(QStringLiteral("Bootloader, Multi-Image, EFS.")));

        // Dragging the background moves the window by the cursor's displacement.
        auto* surface = w.Child<QWidget>("MainPage");
        const QPoint before = w.form->pos();
        const QPointF grab = surface->mapToGlobal(QPointF(200, 250));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(200, 250), grab, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(surface, &press);
        QMouseEvent drag(QEvent::MouseMove, QPointF(230, 270), grab + QPointF(30, 20), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(surface, &drag);
        QCOMPARE(w.form->pos(), before + QPoint(30, 20));

        // The picked image folder is shown and verified; the file list follows it.
        w.form->pickFolder = [&home] { return QString::fromStdString((home.path() / "empty").string()); };
        fs::create_directories(home.path() / "empty");
        w.form->ImageFolderBrowseClick();
        QCOMPARE(w.Child<QLineEdit>("ImageFolderEdit")->text(), QString::fromStdString((home.path() / "empty").string()));
        QCOMPARE(w.Child<QTreeWidget>("lvFileList")->topLevelItemCount(), 0);
    }

    void compactWindowOfProject41() {
        TestHome home;
        fs::create_directories(home.path() / "root");
        Window w(home.Config({{"Project/Project", "PRJ41"}}), home.path() / "root");
        w.form->show();
        QCOMPARE(w.form->size(), QSize(kCompactWidth, kCompactHeight));
        QVERIFY(w.form->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.form->windowTitle(), QString::fromUtf8("Telvoro上网卡软件版本升级程序"));
        const QPoint centre = w.form->geometry().center();
        w.form->ShowCompactResult(true);
        QCOMPARE(w.form->size(), QSize(kCompletedWidth, kCompletedHeight));
        QVERIFY((w.form->geometry().center() - centre).manhattanLength() <= 2);
        QVERIFY(w.Child<QWidget>("GroupBox2")->isVisible());
        QVERIFY(!w.Child<QWidget>("Details")->isVisible());
        w.form->ShowCompactResult(false);
        QCOMPARE(w.form->size(), QSize(kFailedWidth, kFailedHeight));
        QVERIFY(w.Child<QWidget>("GroupBox4")->isVisible());
    }

    void wholeUpdateFromStartToPass() {
        TestHome home;
        simtest::SimProcess sim({"--time-scale", kScale});
        Window w(home.Config({{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}}), sim.root());
        w.form->show();
        QSignalSpy ready(w.form.get(), &TTarnwickUiForm::deviceReady);
        QSignalSpy finished(w.form.get(), &TTarnwickUiForm::runFinished);
        QVERIFY(w.form->Begin());
        QVERIFY(ready.wait(kDeviceWaitMs));
        QVERIFY(w.Child<QTreeWidget>("lvFileList")->topLevelItemCount() > 0);
        auto* start = w.Child<dialogs::SkinButton>("StartButton");
        QVERIFY(start->isEnabled());
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(w.Child<dialogs::SkinButton>("StopButton")->isEnabled());
        QVERIFY(finished.wait(kRunWaitMs));
        QCOMPARE(finished.front().front().toBool(), true);
        QCOMPARE(w.Child<QLabel>("Label_status")->text(), QStringLiteral(" Complete"));
        QCOMPARE(w.form->statusBarColour(), QColor(20, 140, 50));
        QCOMPARE(w.Child<QProgressBar>("CGauge2")->value(), w.Child<QProgressBar>("CGauge2")->maximum());
        QVERIFY(w.Child<QTextEdit>("DownloadInfoMemo")->toPlainText().contains(QStringLiteral("PASS")));
        QVERIFY(!w.form->popupMenu()->actions().front()->isVisible());
    }

    void failedUpdateTurnsRedAndOffersReupdate() {
        TestHome home;
        simtest::SimProcess sim({"--time-scale", kScale, "--faults", "refuse:diag.download@*"});
        Window w(home.Config({}), sim.root());
        w.form->show();
        QSignalSpy ready(w.form.get(), &TTarnwickUiForm::deviceReady);
        QSignalSpy finished(w.form.get(), &TTarnwickUiForm::runFinished);
        QVERIFY(w.form->Begin());
        QVERIFY(ready.wait(kDeviceWaitMs));
        QTest::mouseClick(w.Child<dialogs::SkinButton>("StartButton"), Qt::LeftButton);
        QVERIFY(finished.wait(kRunWaitMs));
        QCOMPARE(finished.front().front().toBool(), false);
        QCOMPARE(w.Child<QLabel>("Label_status")->text(), QStringLiteral(" Upgrade failure"));
        QCOMPARE(w.form->statusBarColour(), QColor(200, 30, 30));
        // The device check's plain lines that follow leave the failure's colour.
        QApplication::processEvents();
        QCOMPARE(w.form->statusBarColour(), QColor(200, 30, 30));
        QAction* reupdate = w.form->popupMenu()->actions().front();
        QCOMPARE(reupdate->objectName(), QStringLiteral("Reupdate1"));
        QVERIFY(reupdate->isVisible());
    }
};

int RunWindowTests(int argc, char** argv) {
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace flintcast::gui

#include "window_test.moc"
