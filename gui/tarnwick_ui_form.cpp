#include "gui/tarnwick_ui_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/project_traits.h"
#include "controller/run_controller.h"
#include "controller/run_rules.h"
#include "controller/settings_summary.h"
#include "dialogs/about_form.h"
#include "dialogs/form_guide.h"
#include "dialogs/form_guide3.h"
#include "dialogs/form_settings.h"
#include "dialogs/skin_art.h"
#include "dialogs/skin_button.h"
#include "gui/window_presentation.h"
#include "gui/window_session.h"
#include "platform/clock.h"

namespace flintcast::gui {

namespace {

using controller::RunState;
using dialogs::Face;
using dialogs::SkinButton;

constexpr int kBandHeight = 40;
constexpr int kStatusBarHeight = 24;
constexpr int kDetailsHeight = 330;
constexpr int kPumpIntervalMs = 50;
constexpr uint32_t kCloseWaitMs = 200;
const QColor kBand(31, 94, 176);
const QColor kFailedColour(200, 30, 30);
const QColor kPassedColour(20, 140, 50);

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(QString::fromLatin1(name));
    return widget;
}

QLabel* Label(const QString& text, const QFont& font, QWidget* parent, const char* name) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setFont(font);
    return label;
}

QProgressBar* Gauge(QWidget* parent, const char* name) {
    auto* gauge = Named(new QProgressBar(parent), name);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(true);
    gauge->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #9aa3ae; border-radius: 4px; background: #eef1f5; text-align: center; }"
        "QProgressBar::chunk { background: #3b82d6; border-radius: 3px; }"));
    return gauge;
}

QColor ColourFor(RunState state) {
    switch (state) {
        case RunState::Failed: return kFailedColour;
        case RunState::Succeeded: return kPassedColour;
        default: return Qt::black;
    }
}

// A busy sign for the device check: three dots.
QPixmap BusyPicture() {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(59, 130, 214, 110 + 60 * i));
        p.drawEllipse(QPointF(10 + 14 * i, 24), 5, 5);
    }
    return pixmap;
}

}  // namespace

TTarnwickUiForm::TTarnwickUiForm(WindowSession& session, WindowPresentation& view, QWidget* parent)
    : QWidget(parent), session_(session), view_(view), variant_(VariantFor(session.config())) {
    setObjectName(QStringLiteral("TarnwickUiForm"));
    setAccessibleName(QStringLiteral("TarnwickUiForm"));
    setWindowTitle(Q(variant_.title));
    if (variant_.compact) {
        setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint);
    } else {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    }
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    pickFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Please Select Image Folder"),
                                                 Q(session_.imageFolder().string()));
    };
    view_.setAsker([this](const controller::Message& m) { return AskWithMessageBox(this, m); });

    pages_ = new QStackedWidget(this);
    BuildMainPage();
    BuildCompactPages();
    BuildDetails();
    BuildMenu();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pages_);
    layout->addWidget(details_);
    ApplyVariantTexts();
    ConnectReports();

    setDetailsVisible(false);
    if (variant_.compact) {
        pages_->setCurrentWidget(compactProgress_);
        setFixedSize(kCompactWidth, kCompactHeight);
    } else {
        pages_->setCurrentWidget(mainPage_);
    }
    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

    FillFileList();
    RefreshSummary();

    pump_ = new QTimer(this);
    pump_->setInterval(kPumpIntervalMs);
    connect(pump_, &QTimer::timeout, this, &TTarnwickUiForm::PumpEvents);
    pump_->start();
    // The start reminder: the controller keeps its due time on the scaled clock; this timer
    // wakes the window when it may have come.
    reminder_ = new QTimer(this);
    reminder_->setObjectName(QStringLiteral("Timer1"));
    reminder_->setSingleShot(true);
    reminder_->setInterval(static_cast<int>(platform::SystemClock().realTimeoutMs(controller::kStartReminderMs)));
    connect(reminder_, &QTimer::timeout, this, &TTarnwickUiForm::PumpEvents);

    auto& run = session_.controller();
    QPointer<TTarnwickUiForm> self(this);
    run.SetEventHook([self] {
        if (self) QMetaObject::invokeMethod(self.data(), [self] { if (self) self->PumpEvents(); }, Qt::QueuedConnection);
    });
    run.Initialize();
    if (run.StartReminderArmed()) reminder_->start();
}

TTarnwickUiForm::~TTarnwickUiForm() {
    session_.Shutdown();
    session_.controller().SetEventHook({});
}

// --- building ---------------------------------------------------------------------------------

void TTarnwickUiForm::BuildMainPage() {
    mainPage_ = new QWidget(pages_);
    mainPage_->setObjectName(QStringLiteral("MainPage"));
    mainPage_->setFixedSize(kStartWidth, kStartHeight);
    mainPage_->installEventFilter(this);
    pages_->addWidget(mainPage_);

    const bool jp = variant_.japaneseTexts;
    const QFont titleFont = jp ? dialogs::CjkFont(12, true) : dialogs::UiFont(12, true);
    background_ = Named(new QLabel(mainPage_), "Image_Big");
    background_->setPixmap(dialogs::Background(QSize(kStartWidth, kStartHeight), kBandHeight, kBand));
    background_->setGeometry(0, 0, kStartWidth, kStartHeight);

    title_ = Label(Q(variant_.title), dialogs::UiFont(12, true), mainPage_, "Label_title");
    title_->setGeometry(14, 0, 400, kBandHeight);
    title_->setStyleSheet(QStringLiteral("color: white;"));
    titleJapanese_ = Label(Q(variant_.title), titleFont, mainPage_, "Label_title_japannese");
    titleJapanese_->setGeometry(14, 0, 400, kBandHeight);
    titleJapanese_->setStyleSheet(QStringLiteral("color: white;"));

    minimize_ = Named(new SkinButton(dialogs::TitleButtonFaces(dialogs::TitleGlyph::Minimize, 24), mainPage_),
                      "Image_min0");
    minimize_->setText(QStringLiteral("Minimize"));
    minimize_->move(kStartWidth - 62, 8);
    close_ = Named(new SkinButton(dialogs::TitleButtonFaces(dialogs::TitleGlyph::Close, 24), mainPage_), "Image_close0");
    close_->setText(QStringLiteral("Close"));
    close_->move(kStartWidth - 34, 8);
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(close_, &QAbstractButton::clicked, this, &QWidget::close);

    busy_ = Named(new QLabel(mainPage_), "Image_gif");
    busy_->setPixmap(BusyPicture());
    busy_->setGeometry(20, 54, 48, 48);
    result_ = Named(new QLabel(mainPage_), "Image_progress");
    result_->setGeometry(20, 54, 48, 48);
    result_->hide();

    status_ = Label(QStringLiteral("Not Ready"), jp ? dialogs::CjkFont(17, true) : dialogs::UiFont(17, true), mainPage_,
                    "Label_status");
    status_->setGeometry(80, 50, 320, 34);
    version_ = Label(QStringLiteral("Version:"), dialogs::UiFont(10), mainPage_, "Label_version");
    version_->setGeometry(82, 84, 320, 20);
    version_->setStyleSheet(QStringLiteral("color: #4a5260;"));

    const QFont linkFont = jp ? dialogs::CjkFont(9) : dialogs::UiFont(10);
    about1_ = Label(QString(), linkFont, mainPage_, "Label_about1");
    about_ = Label(QString(), linkFont, mainPage_, "Label_about");
    for (QLabel* link : {about1_, about_}) {
        link->setStyleSheet(QStringLiteral("color: #1f5eb0;"));
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }

    warningImage_ = Named(new QLabel(mainPage_), "Image_warning");
    warningImage_->setPixmap(dialogs::WarningSign(18));
    warningImage_->setGeometry(20, 118, 18, 18);
    warning_ = Label(QString(), jp ? dialogs::CjkFont(9) : dialogs::UiFont(10), mainPage_, "Label_warning");
    warning_->setGeometry(44, 112, 445, 30);
    warning_->setWordWrap(true);
    warning_->setStyleSheet(QStringLiteral("color: #8a5a00;"));

    gauge_ = Gauge(mainPage_, "CGauge2");
    gauge_->setGeometry(20, 148, kStartWidth - 40, 20);
    progressBar_ = Gauge(mainPage_, "ProgressBar");
    progressBar_->hide();

    const QSize buttonSize(132, 40);
    const QFont buttonFont = variant_.japaneseImages ? dialogs::CjkFont(11, true) : dialogs::UiFont(12, true);
    start_ = Named(new SkinButton(variant_.japaneseImages
                                      ? dialogs::ButtonFaces(QString::fromUtf8("アップデート"), buttonSize, Face::Orange,
                                                             buttonFont)
                                      : dialogs::ButtonFaces(QStringLiteral("Start"), buttonSize, Face::Blue, buttonFont),
                                  mainPage_),
                   "StartButton");
    start_->setText(QStringLiteral("&Start"));
    start_->setShortcut(QKeySequence(QStringLiteral("Alt+S")));
    start_->setToolTip(QStringLiteral("Start Upgradeing"));
    stop_ = Named(new SkinButton(dialogs::ButtonFaces(variant_.japaneseImages ? QString::fromUtf8("停止")
                                                                              : QStringLiteral("Stop"),
                                                      QSize(100, 40), Face::Red, buttonFont),
                                 mainPage_),
                  "StopButton");
    stop_->setText(QStringLiteral("S&top"));
    stop_->setShortcut(QKeySequence(QStringLiteral("Alt+T")));
    stop_->setToolTip(QStringLiteral("Stop Downloading"));
    finish_ = Named(new SkinButton(dialogs::ButtonFaces(variant_.japaneseImages ? QString::fromUtf8("終了")
                                                                                : QStringLiteral("Close"),
                                                        QSize(100, 40), Face::Green, buttonFont),
                                   mainPage_),
                    "CloseButton");
    finish_->setText(QStringLiteral("Close"));
    const int top = variant_.buttonTop > 0 ? variant_.buttonTop : 182;
    start_->move(20, top);
    stop_->move(162, top);
    finish_->move(272, top);
    finish_->setVisible(variant_.japaneseImages);
    start_->setEnabled(false);
    stop_->setEnabled(false);
    const config::ProjectConfig& c = session_.config();
    finish_->setEnabled(!controller::EnablesCloseAfterRun(c.projectType, config::IsVersionMarked(c)));
    connect(start_, &QAbstractButton::clicked, this, &TTarnwickUiForm::StartClick);
    connect(stop_, &QAbstractButton::clicked, this, &TTarnwickUiForm::StopClick);
    connect(finish_, &QAbstractButton::clicked, this, &QWidget::close);

    detailsLink_ = Label(QStringLiteral("Details \u25BE"), dialogs::UiFont(9), mainPage_, "Label_details");
    detailsLink_->setGeometry(kStartWidth - 90, top + 12, 76, 18);
    detailsLink_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    detailsLink_->setStyleSheet(QStringLiteral("color: #1f5eb0;"));
    detailsLink_->setCursor(Qt::PointingHandCursor);
    detailsLink_->installEventFilter(this);

    statusBar_ = Label(QString(), dialogs::UiFont(9, true), mainPage_, "StatusBar");
    statusBar_->setToolTip(QStringLiteral("Status Line"));
    statusBar_->setGeometry(1, kStartHeight - kStatusBarHeight, kStartWidth - 2, kStatusBarHeight - 1);
    statusBar_->setContentsMargins(8, 0, 8, 0);
    statusBar_->setStyleSheet(QStringLiteral("background: #edf0f4; border-top: 1px solid #d3d8df; color: black;"));

    // The hidden port selectors.
    portGroup_ = Named(new QGroupBox(mainPage_), "GroupBox3");
    portBox_ = Named(new QComboBox(portGroup_), "PortCBox");
    serialPortBox_ = Named(new QComboBox(portGroup_), "SerialPortCBox");
    appPortBox_ = Named(new QComboBox(portGroup_), "AppPortCBox");
    for (QComboBox* box : {portBox_, serialPortBox_, appPortBox_}) box->setToolTip(QStringLiteral("Select COMM Port"));
    portGroup_->hide();
}

void TTarnwickUiForm::BuildDetails() {
    details_ = new QWidget(this);
    details_->setObjectName(QStringLiteral("Details"));
    details_->setFixedSize(kStartWidth, kDetailsHeight);
    auto* layout = new QVBoxLayout(details_);
    layout->setContentsMargins(12, 8, 12, 10);
    layout->setSpacing(6);

    settings_ = Label(QString(), dialogs::UiFont(9), details_, "lblSettings");
    settings_->setWordWrap(true);
    settings_->setStyleSheet(QStringLiteral("color: #4a5260;"));
    layout->addWidget(settings_);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(QStringLiteral("Images:"), details_);
    imageFolderEdit_ = Named(new QLineEdit(details_), "ImageFolderEdit");
    imageFolderEdit_->setReadOnly(true);
    imageFolderEdit_->setText(Q(session_.imageFolder().string()));
    imageFolderEdit_->installEventFilter(this);
    auto* browse = Named(new QPushButton(QStringLiteral("Browse"), details_), "ImageFolderBrowseButton");
    connect(browse, &QPushButton::clicked, this, &TTarnwickUiForm::ImageFolderBrowseClick);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(imageFolderEdit_, 1);
    folderRow->addWidget(browse);
    layout->addLayout(folderRow);

    fileList_ = Named(new QTreeWidget(details_), "lvFileList");
    fileList_->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Location")});
    fileList_->setColumnWidth(0, 120);
    fileList_->setColumnWidth(1, 310);
    fileList_->setRootIsDecorated(false);
    fileList_->setFixedHeight(100);
    layout->addWidget(fileList_);

    log_ = Named(new QTextEdit(details_), "DownloadInfoMemo");
    log_->setReadOnly(true);
    log_->setFont(dialogs::UiFont(9));
    layout->addWidget(log_, 1);
}

void TTarnwickUiForm::BuildCompactPages() {
    const QFont cjk = dialogs::CjkFont(11, true);
    compactProgress_ = Named(new QGroupBox(pages_), "GroupBox1");
    compactStatus_ = Label(QStringLiteral("Not Ready"), cjk, compactProgress_, "Label_status1");
    compactVersion_ = Label(QString(), dialogs::UiFont(10), compactProgress_, "Label_version1");
    compactGauge_ = Gauge(compactProgress_, "CGauge1");
    auto* progressLayout = new QVBoxLayout(compactProgress_);
    progressLayout->addWidget(compactStatus_);
    progressLayout->addWidget(compactVersion_);
    progressLayout->addWidget(compactGauge_);
    auto* warning = Label(QString::fromUtf8("升级过程中请勿拔出上网卡！"), dialogs::CjkFont(9), compactProgress_,
                          "Label_warning1");
    warning->setStyleSheet(QStringLiteral("color: #8a5a00;"));
    progressLayout->addWidget(warning);

    compactCompleted_ = Named(new QGroupBox(pages_), "GroupBox2");
    auto* done = new QLabel(compactCompleted_);
    done->setPixmap(dialogs::ResultPicture(true, 72));
    done->setAlignment(Qt::AlignCenter);
    auto* doneText = Label(QString::fromUtf8("软件版本升级已完成，请重新插拔上网卡。"), cjk, compactCompleted_, "Label_done");
    doneText->setAlignment(Qt::AlignCenter);
    doneText->setWordWrap(true);
    auto* doneVersion = Label(Q(session_.config().version), dialogs::UiFont(10), compactCompleted_, "Label_version2");
    doneVersion->setAlignment(Qt::AlignCenter);
    auto* end1 = Named(new SkinButton(dialogs::ButtonFaces(QString::fromUtf8("完成"), QSize(100, 34), Face::Green,
                                                           dialogs::CjkFont(11, true)),
                                      compactCompleted_),
                       "SpeedButton1");
    end1->setText(QString::fromUtf8("完成"));
    connect(end1, &QAbstractButton::clicked, this, &TTarnwickUiForm::EndApplication);
    auto* doneLayout = new QVBoxLayout(compactCompleted_);
    doneLayout->addStretch();
    doneLayout->addWidget(done);
    doneLayout->addWidget(doneText);
    doneLayout->addWidget(doneVersion);
    doneLayout->addStretch();
    doneLayout->addWidget(end1, 0, Qt::AlignCenter);

    compactFailed_ = Named(new QGroupBox(pages_), "GroupBox4");
    auto* failed = Label(QString::fromUtf8("升级失败，请重新插拔上网卡后再试。"), dialogs::CjkFont(10, true),
                         compactFailed_, "Label_failed");
    failed->setWordWrap(true);
    failed->setStyleSheet(QStringLiteral("color: #c81e1e;"));
    auto* end2 = Named(new SkinButton(dialogs::ButtonFaces(QString::fromUtf8("退出"), QSize(90, 30), Face::Grey,
                                                           dialogs::CjkFont(10, true)),
                                      compactFailed_),
                       "SpeedButton2");
    end2->setText(QString::fromUtf8("退出"));
    connect(end2, &QAbstractButton::clicked, this, &TTarnwickUiForm::EndApplication);
    auto* failedLayout = new QVBoxLayout(compactFailed_);
    failedLayout->addWidget(failed, 1);
    failedLayout->addWidget(end2, 0, Qt::AlignRight);

    for (QGroupBox* page : {compactProgress_, compactCompleted_, compactFailed_}) {
        page->setFlat(true);
        page->installEventFilter(this);
        pages_->addWidget(page);
    }
}

void TTarnwickUiForm::BuildMenu() {
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu1"));
    reupdate_ = popup_->addAction(QStringLiteral("Re_update"), this, &TTarnwickUiForm::Reupdate1Click);
    reupdate_->setObjectName(QStringLiteral("Reupdate1"));
    reupdate_->setVisible(false);
    popup_->addSeparator();
    auto* options = popup_->addAction(QStringLiteral("Download &options..."), this,
                                      &TTarnwickUiForm::ConfigurationMenuItemClick);
    options->setObjectName(QStringLiteral("ConfigurationMenuItem"));
    auto* shift = popup_->addAction(QStringLiteral("Switch device to &modem mode"), this,
                                    &TTarnwickUiForm::ShiftDevice1Click);
    shift->setObjectName(QStringLiteral("ShiftDevice1"));
    auto* folder = popup_->addAction(QStringLiteral("Image &folder..."), this, &TTarnwickUiForm::ImageFolderBrowseClick);
    folder->setObjectName(QStringLiteral("ImageFolderMenuItem"));
    auto* details = popup_->addAction(QStringLiteral("&Details"), this, [this] { setDetailsVisible(!details_->isVisible()); });
    details->setObjectName(QStringLiteral("DetailsMenuItem"));
    popup_->addSeparator();
    auto* about = popup_->addAction(QStringLiteral("&About"), this, &TTarnwickUiForm::ShowAbout);
    about->setObjectName(QStringLiteral("AboutMenuItem"));
}

void TTarnwickUiForm::ApplyVariantTexts() {
    const bool jp = variant_.japaneseTexts;
    title_->setVisible(!jp && variant_.showsTitle);
    titleJapanese_->setVisible(jp && variant_.showsTitle);
    const QString link = Q(variant_.aboutLink);
    about1_->setText(link.left(1));
    about_->setText(link.mid(1));
    about1_->adjustSize();
    about_->adjustSize();
    const int linkWidth = about1_->width() + about_->width();
    const int linkX = kStartWidth - 20 - linkWidth;
    about1_->move(linkX, 56);
    about_->move(linkX + about1_->width(), 56);
    about1_->setVisible(variant_.showsTitle);
    about_->setVisible(variant_.showsTitle);
    warning_->setText(Q(variant_.warning));
    warning_->setVisible(variant_.showsTitle);
    warningImage_->setVisible(variant_.showsTitle);
    if (jp) status_->setText(LocalText(QStringLiteral("Not Ready")));
    compactStatus_->setText(status_->text());
}

void TTarnwickUiForm::ConnectReports() {
    connect(&view_, &WindowPresentation::lineShown, this,
            [this](int, int kind, const QString& text) { OnLine(kind, text); }, Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::progressSet, this,
            [this](int slot, int position, int maximum) {
                if (slot != 0) return;
                for (QProgressBar* gauge : {gauge_, compactGauge_}) {
                    gauge->setMaximum(maximum > 0 ? maximum : 100);
                    gauge->setValue(position);
                }
            },
            Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::statusSet, this, &TTarnwickUiForm::OnStatus, Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::runStateSet, this, &TTarnwickUiForm::OnRunState, Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::resumeOfferSet, this, [this](bool visible) { reupdate_->setVisible(visible); },
            Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::runEnded, this, &TTarnwickUiForm::OnRunEnded, Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::deviceStatus, this, &TTarnwickUiForm::OnDeviceStatus, Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::versionLabel, this,
            [this](const QString& text) {
                version_->setText(text);
                compactVersion_->setText(text);
            },
            Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::startReminderStopped, this,
            [this] {
                session_.controller().StopStartReminder();
                reminder_->stop();
            },
            Qt::QueuedConnection);
    connect(&view_, &WindowPresentation::portBoxes, this,
            [this](const QStringList& diag, const QStringList& terminal, const QStringList& modem) {
                for (auto [box, names] : {std::pair{portBox_, &diag}, std::pair{appPortBox_, &terminal},
                                          std::pair{serialPortBox_, &modem}}) {
                    box->clear();
                    box->addItems(*names);
                }
            },
            Qt::QueuedConnection);
    // A device that goes away while no run holds it is looked for again.
    connect(&view_, &WindowPresentation::deviceChanged, this,
            [this](bool arrival) {
                auto& run = session_.controller();
                if (arrival || run.Running() || variant_.compact || !deviceReady_) return;
                deviceReady_ = false;
                start_->setEnabled(false);
                session_.deviceCheck().Restart();
            },
            Qt::QueuedConnection);
}

// --- reports ----------------------------------------------------------------------------------

QString TTarnwickUiForm::LocalText(const QString& text) const {
    return Q(LocalStatusText(variant_, text.toStdString()));
}

void TTarnwickUiForm::OnLine(int kind, const QString& text) {
    QColor colour = Qt::black;
    if (kind == 2) colour = kFailedColour;
    if (kind == 3) colour = kPassedColour;
    if (kind == 4) colour = QColor(95, 102, 112);
    log_->setTextColor(colour);
    log_->append(text);
    // The log view's background follows the kind; a plain line leaves it as it is.
    if (kind != 4) {
        const QString background = kind == 2   ? QStringLiteral("#fdecec")
                                   : kind == 3 ? QStringLiteral("#e8f6ec")
                                               : QStringLiteral("white");
        log_->setStyleSheet(QStringLiteral("QTextEdit { background: %1; }").arg(background));
    }
    statusBar_->setText(text);
}

void TTarnwickUiForm::OnStatus(const QString& text, int state) {
    status_->setText(text);
    compactStatus_->setText(text);
    OnRunState(state);
    const auto runState = static_cast<RunState>(state);
    status_->setStyleSheet(QStringLiteral("color: %1;").arg(ColourFor(runState).name()));
    if (runState == RunState::Failed || runState == RunState::Succeeded) {
        busy_->hide();
        result_->setPixmap(dialogs::ResultPicture(runState == RunState::Succeeded, 44));
        result_->show();
    } else if (runState == RunState::InProgress) {
        busy_->show();
        result_->hide();
    }
}

void TTarnwickUiForm::OnRunState(int state) {
    runState_ = static_cast<RunState>(state);
    statusBar_->setStyleSheet(QStringLiteral("background: #edf0f4; border-top: 1px solid #d3d8df; color: %1;")
                                  .arg(ColourFor(runState_).name()));
}

QColor TTarnwickUiForm::statusBarColour() const { return ColourFor(runState_); }

void TTarnwickUiForm::OnRunEnded() {
    auto& run = session_.controller();
    stop_->setEnabled(false);
    const config::ProjectConfig& c = session_.config();
    if (controller::EnablesCloseAfterRun(c.projectType, config::IsVersionMarked(c))) {
        finish_->setEnabled(true);
    } else if (!finish_->isEnabled()) {
        finish_->setEnabled(true);
    }
    if (run.Running()) return;
    const bool passed = run.lastRunPassed();
    if (variant_.compact) ShowCompactResult(passed);
    // The next device (or this one again) is looked for, unless an unattended repeat is due.
    if (!run.RestartPending() && !variant_.compact) {
        deviceReady_ = false;
        session_.deviceCheck().Restart();
    }
    emit runFinished(passed);
}

void TTarnwickUiForm::OnDeviceStatus(const QString& text, bool ready) {
    auto& run = session_.controller();
    // A report that crossed a Start on its way is stale.
    if (run.Running()) return;
    deviceReady_ = ready;
    start_->setEnabled(ready);
    if (runState_ != RunState::Failed && runState_ != RunState::Succeeded) {
        status_->setText(LocalText(text));
        compactStatus_->setText(status_->text());
        status_->setStyleSheet(QStringLiteral("color: black;"));
        busy_->setVisible(!ready);
    }
    if (ready) {
        run.StopStartReminder();
        reminder_->stop();
        emit deviceReady();
    }
}

void TTarnwickUiForm::ShowCompactResult(bool passed) {
    const QPoint centre = geometry().center();
    if (passed) {
        setWindowTitle(QString::fromUtf8("Telvoro上网卡软件版本升级已完成"));
        pages_->setCurrentWidget(compactCompleted_);
        setFixedSize(kCompletedWidth, kCompletedHeight);
    } else {
        setWindowTitle(QString::fromUtf8("上网卡固件升级失败"));
        pages_->setCurrentWidget(compactFailed_);
        setFixedSize(kFailedWidth, kFailedHeight);
    }
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(centre);
    setGeometry(placed);
}

void TTarnwickUiForm::PumpEvents() {
    static thread_local bool pumping = false;
    // A question shown while events are carried out runs a nested event loop; the events that
    // arrive meanwhile wait for the outer pump, so they are carried out in their order.
    if (pumping) return;
    pumping = true;
    auto& run = session_.controller();
    run.PumpEvents(0);
    pumping = false;
    if (!run.StartReminderArmed()) reminder_->stop();
    if (run.endRequested()) EndApplication();
}

void TTarnwickUiForm::FillFileList() {
    fileList_->clear();
    for (const auto& image : session_.listedImages()) {
        fileList_->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(image.name), Q(image.folder)}));
    }
}

void TTarnwickUiForm::RefreshSummary() {
    settings_->setText(QStringLiteral("Selected: ") + Q(controller::SettingsSummary(session_.controller().config())));
}

void TTarnwickUiForm::setDetailsVisible(bool visible) {
    if (variant_.compact) visible = false;
    details_->setVisible(visible);
    detailsLink_->setText(visible ? QStringLiteral("Details \u25B4") : QStringLiteral("Details \u25BE"));
    if (!variant_.compact) setFixedSize(kStartWidth, kStartHeight + (visible ? kDetailsHeight : 0));
}

// --- commands ---------------------------------------------------------------------------------

bool TTarnwickUiForm::Begin() {
    const config::ProjectConfig& c = session_.config();
    switch (variant_.wizard) {
        case Wizard::None: break;
        case Wizard::Guide: {
            dialogs::TFormGuide guide({dialogs::GuideKind::Japanese, c.projectType, c.versionMarker, Q(variant_.wizardTitle)},
                                      this);
            if (guide.exec() != 1) return false;
            break;
        }
        case Wizard::Guide1: {
            dialogs::TFormGuide1 guide(this);
            if (guide.exec() != 1) return false;
            break;
        }
        case Wizard::Guide2: {
            dialogs::TFormGuide2 guide(c.projectType, c.versionMarker, Q(variant_.wizardTitle), this);
            if (guide.exec() != 1) return false;
            break;
        }
        case Wizard::Guide3: {
            dialogs::TFormGuide3 guide(Q(variant_.title), [this] {
                session_.discovery().RefreshPortBoxes();
                return !session_.discovery().boxes().diag.empty();
            });
            if (guide.exec() != 1) return false;
            // Accepting the guide starts the update at once.
            start_->setEnabled(true);
            StartClick();
            return true;
        }
    }
    session_.deviceCheck().Start();
    return true;
}

void TTarnwickUiForm::StartClick() {
    if (!start_->isEnabled()) return;
    auto& run = session_.controller();
    start_->setEnabled(false);
    reminder_->stop();
    result_->hide();
    log_->setStyleSheet(QString());
    const bool started = run.StartClick();
    if (run.endRequested()) {
        EndApplication();
        return;
    }
    if (started) {
        stop_->setEnabled(true);
        finish_->setEnabled(false);
    } else if (!run.Running()) {
        // Refused: the device is looked for again, and Start comes back once it is ready.
        session_.deviceCheck().Restart();
    }
}

void TTarnwickUiForm::StopClick() {
    if (!session_.controller().Running()) return;
    session_.controller().StopClick();
}

void TTarnwickUiForm::Reupdate1Click() {
    auto& run = session_.controller();
    if (run.Running()) return;
    start_->setEnabled(false);
    result_->hide();
    if (run.Reupdate1Click()) {
        stop_->setEnabled(true);
        finish_->setEnabled(false);
    } else if (!run.Running()) {
        session_.deviceCheck().Restart();
    }
}

void TTarnwickUiForm::ConfigurationMenuItemClick() {
    if (!settingsForm_) {
        auto& run = session_.controller();
        settingsForm_ = std::make_unique<dialogs::TFormSettings>(
            [&run] { return controller::DownloadOptionsOf(run.config()); },
            [this, &run](const controller::DownloadOptions& options) {
                const bool applied = run.ApplyDownloadOptions(options);
                RefreshSummary();
                FillFileList();
                return applied;
            },
            this);
    }
    settingsForm_->show();
    settingsForm_->raise();
}

void TTarnwickUiForm::ShiftDevice1Click() { session_.LaunchModeSwitch(); }

void TTarnwickUiForm::ImageFolderBrowseClick() {
    const QString folder = pickFolder ? pickFolder() : QString();
    if (!folder.isEmpty()) ChooseImageFolder(folder);
}

void TTarnwickUiForm::ChooseImageFolder(const QString& folder) {
    fileList_->clear();
    imageFolderEdit_->setText(folder);
    session_.ChangeImageFolder(folder.toStdString());
    FillFileList();
}

void TTarnwickUiForm::ShowAbout() {
    if (!aboutForm_) aboutForm_ = std::make_unique<dialogs::TTarnwickAboutForm>(this);
    const config::ProjectConfig& c = session_.config();
    dialogs::AboutTexts texts;
    texts.projectType = c.projectType;
    texts.versionMarker = c.versionMarker;
    texts.applicationTitle = Q(variant_.title);
    texts.variantTitle = Q(controller::VariantToolTitle(c.projectType, c.versionMarker));
    texts.description = Q(c.aboutDescription);
    texts.settings = Q(controller::SettingsSummary(session_.controller().config()));
    aboutForm_->setTexts(texts);
    aboutForm_->show();
    aboutForm_->raise();
}

void TTarnwickUiForm::EndApplication() {
    closeApproved_ = true;
    close();
}

// --- events -----------------------------------------------------------------------------------

void TTarnwickUiForm::closeEvent(QCloseEvent* event) {
    auto& run = session_.controller();
    if (!closeApproved_) {
        if (!run.CloseRequest()) {
            event->ignore();
            return;
        }
        closeApproved_ = true;
    }
    pump_->stop();
    reminder_->stop();
    session_.deviceCheck().Stop();
    platform::SystemClock().sleepMs(kCloseWaitMs);
    session_.Shutdown();
    if (settingsForm_) settingsForm_->close();
    if (aboutForm_) aboutForm_->close();
    event->accept();
}

bool TTarnwickUiForm::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((watched == about1_ || watched == about_) && type == QEvent::MouseButtonPress) {
        QFont first = about1_->font();
        first.setUnderline(true);
        about1_->setFont(first);
        QFont second = about_->font();
        second.setBold(true);
        about_->setFont(second);
        return true;
    }
    if ((watched == about1_ || watched == about_) && type == QEvent::MouseButtonRelease) {
        QFont first = about1_->font();
        first.setUnderline(false);
        about1_->setFont(first);
        QFont second = about_->font();
        second.setBold(false);
        about_->setFont(second);
        ShowAbout();
        return true;
    }
    if (watched == detailsLink_ && type == QEvent::MouseButtonRelease) {
        setDetailsVisible(!details_->isVisible());
        return true;
    }
    if (watched == imageFolderEdit_ && type == QEvent::MouseButtonPress) {
        ImageFolderBrowseClick();
        return true;
    }
    const bool dragSurface = watched == mainPage_ || watched == compactProgress_ || watched == compactCompleted_ ||
                             watched == compactFailed_;
    // Only mouse events may be treated as QMouseEvent: the same surfaces also see polish, show and
    // layout events.
    const bool mouseEvent = type == QEvent::MouseButtonPress || type == QEvent::MouseMove;
    if (dragSurface && mouseEvent && !variant_.compact) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            dragOffset_ = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
            move(mouse->globalPosition().toPoint() - dragOffset_);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TTarnwickUiForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Menu) {
        popup_->popup(mapToGlobal(rect().center()));
        return;
    }
    QWidget::keyPressEvent(event);
}

void TTarnwickUiForm::contextMenuEvent(QContextMenuEvent* event) {
    popup_->popup(event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(rect().center()) : event->globalPos());
}

}  // namespace flintcast::gui
