#include "dialogs/form_guide.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "config/project_traits.h"
#include "dialogs/skin_art.h"

namespace flintcast::dialogs {

namespace {

struct PageText {
    const char* heading;
    const char* body;
};

// The guide wording of each language. The pages' order is fixed: welcome, licence, notes,
// confirmation.
constexpr PageText kEnglishPages[] = {
    {"Welcome", "This guide prepares your device for a firmware update.\n\nPress Next to continue."},
    {"Licence agreement",
     "The firmware is licensed for use with this device only. Copying, changing or passing it on to others is not "
     "permitted.\n\nRead the terms above and confirm that you accept them."},
    {"Before you start",
     "Close all other programs that use the device.\nConnect the PC to mains power.\nDo not unplug the device, "
     "suspend or shut down the PC during the update."},
    {"Ready to update",
     "Connect the device with its USB cable.\nPress Finish to open the update window, then press Start."},
};

constexpr PageText kJapanesePages[] = {
    {"ようこそ", "このガイドでは、ファームウェアのアップデートを準備します。\n\n「次へ」を押してください。"},
    {"使用許諾契約",
     "このソフトウェアは本製品でのみ使用できます。複製、改変、第三者への譲渡はできません。\n\n"
     "内容をお読みになり、同意する場合はチェックしてください。"},
    {"ご注意",
     "他のアプリケーションをすべて終了してください。\n電源アダプタを接続してください。\n"
     "アップデート中はUSBケーブルを抜かず、PCのサスペンドやシャットダウンをしないでください。"},
    {"確認", "製品をUSBケーブルで接続してください。\n「完了」を押すとアップデート画面が開きます。"},
};

constexpr PageText kNoticePage = {
    "お知らせ",
    "アップデートを始める前に、他のアプリケーションをすべて終了し、電源アダプタを接続してください。\n"
    "アップデート中はPCのサスペンドやシャットダウンをしないでください。"};

QGroupBox* MakePage(const PageText& text, bool japanese, QWidget* parent) {
    auto* page = new QGroupBox(parent);
    auto* heading = new QLabel(QString::fromUtf8(text.heading), page);
    heading->setFont(japanese ? CjkFont(13, true) : UiFont(13, true));
    auto* body = new QLabel(QString::fromUtf8(text.body), page);
    body->setFont(japanese ? CjkFont(10) : UiFont(10));
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(body, 1);
    return page;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString::fromLatin1(name));
    return button;
}

}  // namespace

TFormGuide::TFormGuide(GuideSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), question_(DefaultYesNo(this)) {
    setObjectName(setup_.kind == GuideKind::English   ? QStringLiteral("FormGuide1")
                  : setup_.kind == GuideKind::Variant ? QStringLiteral("FormGuide2")
                                                      : QStringLiteral("FormGuide"));
    setWindowTitle(setup_.title);
    setFixedSize(520, 360);
    const bool japanese = setup_.kind != GuideKind::English;
    const bool singleNotice = setup_.kind == GuideKind::Variant && config::UsesSingleNoticeGuide(setup_.projectType);

    stack_ = new QStackedLayout;
    const auto& texts = japanese ? kJapanesePages : kEnglishPages;
    if (singleNotice) {
        pages_.push_back(MakePage(kNoticePage, true, this));
        pages_.back()->setObjectName(QStringLiteral("GroupBox5"));
    } else {
        for (int i = 0; i < 4; ++i) {
            pages_.push_back(MakePage(texts[i], japanese, this));
            pages_.back()->setObjectName(QStringLiteral("GroupBox%1").arg(i + 1));
        }
        const QString agree = japanese ? QString::fromUtf8("上記の使用許諾契約に同意します")
                                       : QStringLiteral("I accept the licence agreement");
        agree1_ = new QCheckBox(agree, pages_[1]);
        agree1_->setObjectName(QStringLiteral("CheckBox1"));
        agree1_->setAccessibleName(QStringLiteral("CheckBox1"));
        pages_[1]->layout()->addWidget(agree1_);
        if (setup_.kind == GuideKind::Variant) {
            agree2_ = new QCheckBox(QString::fromUtf8("アップデート中の注意事項に同意します"), pages_[1]);
            agree2_->setObjectName(QStringLiteral("CheckBox2"));
            agree2_->setAccessibleName(QStringLiteral("CheckBox2"));
            pages_[1]->layout()->addWidget(agree2_);
        }
        for (QCheckBox* box : {agree1_, agree2_}) {
            if (box) {
                box->setFont(japanese ? CjkFont(10) : UiFont(10));
                connect(box, &QCheckBox::toggled, this, [this] { UpdateNext(); });
            }
        }
    }
    for (auto* page : pages_) stack_->addWidget(page);

    back_ = Button(japanese ? QString::fromUtf8("< 戻る") : QStringLiteral("< &Back"), "ButtonBack", this);
    next_ = Button(japanese ? QString::fromUtf8("次へ >") : QStringLiteral("&Next >"), "ButtonNext", this);
    finish_ = Button(singleNotice ? QStringLiteral("OK") : japanese ? QString::fromUtf8("完了") : QStringLiteral("&Finish"),
                     "ButtonFinish", this);
    cancel_ = Button(japanese ? QString::fromUtf8("キャンセル") : QStringLiteral("Cancel"), "ButtonCancel", this);
    for (auto* button : {back_, next_, finish_, cancel_}) button->setFont(japanese ? CjkFont(10) : UiFont(10));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(finish_);
    buttons->addSpacing(12);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(stack_, 1);
    layout->addLayout(buttons);

    connect(next_, &QPushButton::clicked, this, &TFormGuide::ButtonNextClick);
    connect(back_, &QPushButton::clicked, this, &TFormGuide::ButtonBackClick);
    connect(finish_, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel_, &QPushButton::clicked, this, &TFormGuide::ButtonCancelClick);

    ShowPage(0);
    if (singleNotice) {
        next_->hide();
        finish_->show();
        finish_->setDefault(true);
    }
}

bool TFormGuide::Agreed() const {
    return (!agree1_ || agree1_->isChecked()) && (!agree2_ || agree2_->isChecked());
}

void TFormGuide::UpdateNext() {
    next_->setEnabled(page_ != agreementPage_ || Agreed());
}

void TFormGuide::ShowPage(int index) {
    page_ = index;
    stack_->setCurrentIndex(index);
    const bool last = index == pageCount() - 1;
    back_->setVisible(index > 0);
    next_->setVisible(!last);
    finish_->setVisible(last);
    UpdateNext();
    (last ? finish_ : next_)->setDefault(true);
}

void TFormGuide::ButtonNextClick() {
    if (page_ + 1 < pageCount() && next_->isEnabled()) ShowPage(page_ + 1);
}

void TFormGuide::ButtonBackClick() {
    if (page_ > 0) ShowPage(page_ - 1);
}

bool TFormGuide::ConfirmExit() {
    if (setup_.kind == GuideKind::Variant) {
        if (config::UsesSingleNoticeGuide(setup_.projectType)) return true;
        if (config::IsVersionMarked(setup_.projectType, setup_.versionMarker)) {
            return question_(QString::fromUtf8("終了"), QString::fromUtf8("終了してもよろしいでしょうか？"));
        }
    }
    return question_(QStringLiteral("Exit"), QStringLiteral("Are you sure you want to exit?"));
}

void TFormGuide::ButtonCancelClick() {
    if (!ConfirmExit()) return;
    exitConfirmed_ = true;
    done(2);
}

void TFormGuide::closeEvent(QCloseEvent* event) {
    if (exitConfirmed_ || result() == 1) {
        event->accept();
        return;
    }
    if (!ConfirmExit()) {
        event->ignore();
        return;
    }
    exitConfirmed_ = true;
    setResult(2);
    event->accept();
}

void TFormGuide::keyPressEvent(QKeyEvent* event) {
    // Escape asks like Cancel instead of leaving without a word.
    if (event->key() == Qt::Key_Escape) {
        ButtonCancelClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

TFormGuide1::TFormGuide1(QWidget* parent)
    : TFormGuide({GuideKind::English, 19, 0, QStringLiteral("Mobile Upgrade Guide")}, parent) {}

TFormGuide2::TFormGuide2(int projectType, int versionMarker, const QString& title, QWidget* parent)
    : TFormGuide({GuideKind::Variant, projectType, versionMarker, title}, parent) {}

}  // namespace flintcast::dialogs
