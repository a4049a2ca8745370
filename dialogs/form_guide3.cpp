#include "dialogs/form_guide3.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "dialogs/skin_art.h"
#include "dialogs/skin_button.h"

namespace flintcast::dialogs {

namespace {

constexpr QSize kSplashSize(480, 250);
constexpr QSize kFramedSize(510, 395);
constexpr QSize kNoticeSize(300, 165);
constexpr int kCaptionHeight = 28;

SkinButton* Button(const QString& text, const char* name, Face face, QWidget* parent) {
    auto* button = new SkinButton(ButtonFaces(text, QSize(92, 30), face, CjkFont(10, true)), parent);
    button->setText(text);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString::fromLatin1(name));
    return button;
}

QLabel* Text(const char* utf8, int points, QWidget* parent, bool bold = false) {
    auto* label = new QLabel(QString::fromUtf8(utf8), parent);
    label->setFont(CjkFont(points, bold));
    label->setWordWrap(true);
    return label;
}

}  // namespace

TFormGuide3::TFormGuide3(const QString& programTitle, std::function<bool()> findDevice, QWidget* parent)
    : QDialog(parent), programTitle_(programTitle), findDevice_(std::move(findDevice)) {
    setObjectName(QStringLiteral("FormGuide3"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(programTitle);

    caption_ = new QLabel(this);
    caption_->setFont(CjkFont(10, true));
    caption_->setStyleSheet(QStringLiteral("color: white;"));
    caption_->setFixedHeight(kCaptionHeight);
    caption_->setContentsMargins(10, 0, 0, 0);

    // Splash.
    auto* splash = new QGroupBox(this);
    splash->setFlat(true);
    auto* splashTitle = Text("Telvoro上网卡", 20, splash, true);
    splashTitle->setAlignment(Qt::AlignCenter);
    auto* splashText = Text("软件版本升级程序", 14, splash);
    splashText->setAlignment(Qt::AlignCenter);
    for (QLabel* label : {splashTitle, splashText}) label->setStyleSheet(QStringLiteral("color: white;"));
    auto* install = Button(QString::fromUtf8("安装"), "SpeedButton_Install", Face::Blue, splash);
    auto* exit = Button(QString::fromUtf8("退出"), "SpeedButton_Exit", Face::Grey, splash);
    auto* splashButtons = new QHBoxLayout;
    splashButtons->addStretch();
    splashButtons->addWidget(install);
    splashButtons->addWidget(exit);
    splashButtons->addStretch();
    auto* splashLayout = new QVBoxLayout(splash);
    splashLayout->addStretch();
    splashLayout->addWidget(splashTitle);
    splashLayout->addWidget(splashText);
    splashLayout->addStretch();
    splashLayout->addLayout(splashButtons);

    // Agreement.
    auto* agreement = new QGroupBox(this);
    agreement->setFlat(true);
    auto* licence = Text("请仔细阅读以下许诺协议。本软件仅用于本公司上网卡的软件升级。升级过程中请勿拔出上网卡，"
                         "请勿关闭或休眠电脑。因违反上述要求造成的损坏，本公司不承担责任。",
                         10, agreement);
    agree_ = new QRadioButton(QString::fromUtf8("我同意"), agreement);
    agree_->setObjectName(QStringLiteral("RadioButton_Agree"));
    disagree_ = new QRadioButton(QString::fromUtf8("我不同意"), agreement);
    disagree_->setObjectName(QStringLiteral("RadioButton_Disagree"));
    for (auto* radio : {agree_, disagree_}) radio->setFont(CjkFont(10));
    next_ = Button(QString::fromUtf8("下一步"), "SpeedButton_Next", Face::Blue, agreement);
    auto* cancel = Button(QString::fromUtf8("取消"), "SpeedButton_Cancel", Face::Grey, agreement);
    auto* agreementButtons = new QHBoxLayout;
    agreementButtons->addStretch();
    agreementButtons->addWidget(next_);
    agreementButtons->addWidget(cancel);
    auto* agreementLayout = new QVBoxLayout(agreement);
    agreementLayout->addWidget(licence);
    agreementLayout->addWidget(agree_);
    agreementLayout->addWidget(disagree_);
    agreementLayout->addStretch();
    agreementLayout->addLayout(agreementButtons);

    // Operating steps.
    auto* steps = new QGroupBox(this);
    steps->setFlat(true);
    auto* stepText = Text("操作步骤：\n1. 关闭其他所有正在运行的程序。\n2. 将上网卡插入电脑的USB接口。\n"
                          "3. 点击“开始”进行升级，升级过程中请勿拔出上网卡。",
                          10, steps);
    auto* start = Button(QString::fromUtf8("开始"), "SpeedButton_Start", Face::Green, steps);
    auto* cancel1 = Button(QString::fromUtf8("取消"), "SpeedButton_Cancel1", Face::Grey, steps);
    auto* stepButtons = new QHBoxLayout;
    stepButtons->addStretch();
    stepButtons->addWidget(start);
    stepButtons->addWidget(cancel1);
    auto* stepLayout = new QVBoxLayout(steps);
    stepLayout->addWidget(stepText);
    stepLayout->addStretch();
    stepLayout->addLayout(stepButtons);

    // Card not inserted.
    auto* notice = new QGroupBox(this);
    notice->setFlat(true);
    auto* noticeText = Text("未检测到上网卡，请确认上网卡已正确插入。", 10, notice);
    auto* ok = Button(QString::fromUtf8("确定"), "SpeedButton1", Face::Blue, notice);
    auto* noticeLayout = new QVBoxLayout(notice);
    noticeLayout->addWidget(noticeText);
    noticeLayout->addStretch();
    noticeLayout->addWidget(ok, 0, Qt::AlignRight);

    stack_ = new QStackedLayout;
    for (auto* page : {splash, agreement, steps, notice}) stack_->addWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->setSpacing(4);
    layout->addWidget(caption_);
    layout->addLayout(stack_, 1);

    connect(install, &QAbstractButton::clicked, this, &TFormGuide3::SpeedButtonInstallClick);
    connect(next_, &QAbstractButton::clicked, this, &TFormGuide3::SpeedButtonNextClick);
    connect(start, &QAbstractButton::clicked, this, &TFormGuide3::SpeedButtonStartClick);
    for (auto* out : {exit, cancel, cancel1, ok}) connect(out, &QAbstractButton::clicked, this, [this] { done(2); });
    // The Next image is greyed while Disagree is selected.
    connect(agree_, &QRadioButton::toggled, next_, &QWidget::setEnabled);

    ShowPage(Splash, kSplashSize);
}

void TFormGuide3::ShowPage(int page, QSize size) {
    page_ = page;
    const QPoint centre = geometry().center();
    stack_->setCurrentIndex(page);
    setFixedSize(size);
    if (isVisible()) move(centre - rect().center());
    caption_->setVisible(page != Splash);
    caption_->setText(programTitle_);
    update();
}

void TFormGuide3::SpeedButtonInstallClick() {
    disagree_->setChecked(true);
    next_->setEnabled(false);
    ShowPage(Agreement, kFramedSize);
}

void TFormGuide3::SpeedButtonNextClick() {
    if (agree_->isChecked()) ShowPage(Steps, kFramedSize);
}

void TFormGuide3::SpeedButtonStartClick() {
    if (findDevice_ && findDevice_()) {
        done(1);
        return;
    }
    ShowPage(NotInserted, kNoticeSize);
}

void TFormGuide3::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The splash's band holds its title; the other pages have a caption strip.
    p.drawPixmap(0, 0, Background(size(), page_ == Splash ? height() * 3 / 5 : kCaptionHeight, QColor(196, 30, 58)));
}

void TFormGuide3::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TFormGuide3::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace flintcast::dialogs
