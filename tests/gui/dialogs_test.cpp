// The dialogs' rules: skinned button images, the message box keys, the input box modes, the
// download options, the guides' paging and agreement rules and the about box variants.
#include <QCheckBox>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "dialogs/about_form.h"
#include "dialogs/form_guide.h"
#include "dialogs/form_guide3.h"
#include "dialogs/form_messagebox.h"
#include "dialogs/form_settings.h"
#include "dialogs/form_write.h"
#include "dialogs/skin_art.h"
#include "dialogs/skin_button.h"
#include "tests/gui/gui_tests.h"

namespace flintcast::dialogs {

namespace {

template <typename T>
T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no child %s", name);
    return child;
}

void Hover(QWidget* widget) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(widget, &enter);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void skinButtonFollowsTheLogicalButtonsEnabledState() {
        SkinButton button(ButtonFaces(QStringLiteral("Start"), QSize(80, 30), Face::Blue, UiFont(10)));
        button.show();
        button.setEnabled(false);
        QCOMPARE(button.currentImage(), int(SkinButton::Disabled));
        Hover(&button);
        QCOMPARE(button.currentImage(), int(SkinButton::Disabled));  // hovering leaves the disabled image

        button.setEnabled(true);
        QCOMPARE(button.currentImage(), int(SkinButton::Hover));
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(button.currentImage(), int(SkinButton::Pressed));
        // The command runs on release; like Start it disables its button.
        connect(&button, &QAbstractButton::clicked, &button, [&button] { button.setEnabled(false); });
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(button.currentImage(), int(SkinButton::Disabled));

        SkinButton close(TitleButtonFaces(TitleGlyph::Close, 20));
        close.show();
        Hover(&close);
        QCOMPARE(close.currentImage(), int(SkinButton::Normal));  // two images: no hover picture
        QTest::mousePress(&close, Qt::LeftButton);
        QCOMPARE(close.currentImage(), int(SkinButton::Pressed));
    }

    void messageBoxCancelsOnEnterAndAcceptsAfterLeft() {
        TFormMessagebox first(27, QStringLiteral("start?"));
        first.show();
        QCOMPARE(first.highlight(), TFormMessagebox::Highlight::Cancel);
        QCOMPARE(first.titleLabel()->text(), QStringLiteral("Netmarrow Software Update Tool"));
        QTest::keyClick(&first, Qt::Key_Return);
        QCOMPARE(first.result(), 2);

        TFormMessagebox second(28, QStringLiteral("start?"));
        second.show();
        QCOMPARE(second.titleLabel()->text(), QStringLiteral("JDF Software Update Tool"));
        QTest::keyClick(&second, Qt::Key_Left);
        QCOMPARE(second.highlight(), TFormMessagebox::Highlight::Ok);
        QTest::keyClick(&second, Qt::Key_Tab);
        QCOMPARE(second.highlight(), TFormMessagebox::Highlight::Cancel);
        QTest::keyClick(&second, Qt::Key_Up);
        QTest::keyClick(&second, Qt::Key_Enter);
        QCOMPARE(second.result(), 1);

        TFormMessagebox third(28, QStringLiteral("start?"));
        third.show();
        QTest::keyClick(&third, Qt::Key_Escape);
        QCOMPARE(third.result(), 2);
    }

    void inputBoxChecksEmptyTextAndInModeOneTheLength() {
        QStringList notices;
        TFormWrite input;
        input.setNotice([&](const QString& caption, const QString& text) { notices << caption + "|" + text; });
        input.show();
        QCOMPARE(input.checkMode(), TFormWrite::kAnyText);
        input.Button1Click();
        QCOMPARE(notices.value(0), QStringLiteral("Info|Value is empty,please input anain."));
        QVERIFY(input.isVisible());
        QTest::keyClicks(Child<QLineEdit>(input, "Edit_Input"), QStringLiteral("12345"));
        input.Button1Click();
        QCOMPARE(input.result(), 1);

        TFormWrite imei;
        imei.setNotice([&](const QString& caption, const QString& text) { notices << caption + "|" + text; });
        imei.setCheckMode(TFormWrite::kFifteenCharacters);
        imei.show();
        QTest::keyClicks(Child<QLineEdit>(imei, "Edit_Input"), QStringLiteral("12345678901234"));
        imei.Button1Click();
        QCOMPARE(notices.value(1), QStringLiteral("Info|Length is wrong,please input anain."));
        QVERIFY(imei.isVisible());
        QTest::keyClicks(Child<QLineEdit>(imei, "Edit_Input"), QStringLiteral("5"));
        imei.Button1Click();
        QCOMPARE(imei.result(), 1);
    }

    void downloadOptionsApplyCancelAndRefusal() {
        controller::DownloadOptions stored;
        stored.backup = stored.restore = stored.efs = true;
        stored.pcSuite = true;
        stored.cdrom = true;
        std::vector<controller::DownloadOptions> applied;
        QStringList notices;
        TFormSettings form([&] { return stored; },
                           [&](const controller::DownloadOptions& o) {
                               applied.push_back(o);
                               return true;
                           });
        form.setNotice([&](const QString& caption, const QString& text) { notices << caption + "|" + text; });
        form.show();
        auto* apply = Child<QPushButton>(form, "BTApply");
        QVERIFY(!apply->isEnabled());

        // Cancel drops the changes: the next showing starts from the switches again.
        Child<QCheckBox>(form, "EFSChBox")->click();
        QVERIFY(apply->isEnabled());
        form.BTCancelClick();
        QVERIFY(applied.empty());
        form.show();
        QVERIFY(Child<QCheckBox>(form, "EFSChBox")->isChecked());
        QVERIFY(!apply->isEnabled());

        // Unchecking PC Suite greys out its radio buttons; their checked state is still copied.
        Child<QCheckBox>(form, "PCSuiteChBox")->click();
        QVERIFY(!Child<QRadioButton>(form, "RadioButton_CDROM")->isEnabled());
        for (const char* name : {"EFSChBox", "BackupChBox"}) Child<QCheckBox>(form, name)->click();
        form.BTApplyClick();
        QCOMPARE(applied.size(), size_t(1));
        QVERIFY(applied[0].restore && !applied[0].backup && !applied[0].efs && !applied[0].pcSuite);
        QVERIFY(applied[0].cdrom && !applied[0].disk);
        QVERIFY(!form.isVisible());

        // Nothing checked: refused, the dialog stays and nothing is applied.
        stored = {};
        form.show();
        QVERIFY(!Child<QRadioButton>(form, "RadioButton_CDROM")->isChecked());
        form.BTApplyClick();
        QCOMPARE(notices, QStringList{QStringLiteral("Option|No download option selected!")});
        QCOMPARE(applied.size(), size_t(1));
        QVERIFY(form.isVisible());
    }

    void guideAgreementHoldsNextAcrossBackAndFinishEnds() {
        TFormGuide guide({GuideKind::Japanese, 2, 0, QStringLiteral("JDE")});
        guide.show();
        auto* back = Child<QPushButton>(guide, "ButtonBack");
        auto* next = Child<QPushButton>(guide, "ButtonNext");
        auto* finish = Child<QPushButton>(guide, "ButtonFinish");
        auto* agree = Child<QCheckBox>(guide, "CheckBox1");
        QVERIFY(!back->isVisible() && !finish->isVisible());
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(guide.pageIndex(), 1);
        QVERIFY(back->isVisible() && !next->isEnabled());
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(guide.pageIndex(), 0);
        QVERIFY(!back->isVisible() && next->isEnabled());
        QTest::mouseClick(next, Qt::LeftButton);
        QVERIFY(!next->isEnabled());
        agree->setChecked(true);
        QVERIFY(next->isEnabled());
        agree->setChecked(false);
        QVERIFY(!next->isEnabled());
        agree->setChecked(true);
        QTest::mouseClick(next, Qt::LeftButton);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(guide.pageIndex(), guide.pageCount() - 1);
        QVERIFY(finish->isVisible() && !next->isVisible());
        QTest::mouseClick(back, Qt::LeftButton);
        QVERIFY(!finish->isVisible() && next->isVisible());
        QTest::mouseClick(next, Qt::LeftButton);
        QTest::mouseClick(finish, Qt::LeftButton);
        QCOMPARE(guide.result(), 1);
    }

    void guideExitQuestionsPerVariant() {
        QStringList asked;
        bool answer = false;
        auto question = [&](const QString& caption, const QString& text) {
            asked << caption + "|" + text;
            return answer;
        };
        TFormGuide1 english;
        english.setQuestion(question);
        english.show();
        english.ButtonCancelClick();
        QVERIFY(english.isVisible());  // No: stays
        answer = true;
        english.ButtonCancelClick();
        QCOMPARE(english.result(), 2);
        QCOMPARE(asked.value(0), QStringLiteral("Exit|Are you sure you want to exit?"));

        TFormGuide2 marked(3, 2, QStringLiteral("JDB"));
        marked.setQuestion(question);
        marked.show();
        QVERIFY(Child<QCheckBox>(marked, "CheckBox2"));
        marked.ButtonCancelClick();
        QCOMPARE(asked.value(2), QString::fromUtf8("終了|終了してもよろしいでしょうか？"));

        asked.clear();
        TFormGuide2 notice(28, 0, QStringLiteral("JDF Software Update Tool"));
        notice.setQuestion(question);
        notice.show();
        QCOMPARE(notice.pageCount(), 1);
        QVERIFY(!Child<QPushButton>(notice, "ButtonNext")->isVisible());
        QCOMPARE(Child<QPushButton>(notice, "ButtonFinish")->text(), QStringLiteral("OK"));
        notice.ButtonCancelClick();
        QCOMPARE(notice.result(), 2);
        QVERIFY(asked.isEmpty());
    }

    void guide3PagesSizesAndDeviceSearch() {
        bool found = false;
        TFormGuide3 guide(QStringLiteral("Title"), [&] { return found; });
        guide.show();
        QCOMPARE(guide.size(), QSize(480, 250));
        guide.SpeedButtonInstallClick();
        QCOMPARE(guide.size(), QSize(510, 395));
        QVERIFY(Child<QRadioButton>(guide, "RadioButton_Disagree")->isChecked());
        QVERIFY(!Child<SkinButton>(guide, "SpeedButton_Next")->isEnabled());
        Child<QRadioButton>(guide, "RadioButton_Agree")->setChecked(true);
        QVERIFY(Child<SkinButton>(guide, "SpeedButton_Next")->isEnabled());
        guide.SpeedButtonNextClick();
        QCOMPARE(guide.page(), int(TFormGuide3::Steps));
        guide.SpeedButtonStartClick();
        QCOMPARE(guide.page(), int(TFormGuide3::NotInserted));
        QCOMPARE(guide.size(), QSize(300, 165));
        QTest::mouseClick(Child<SkinButton>(guide, "SpeedButton1"), Qt::LeftButton);
        QCOMPARE(guide.result(), 2);

        TFormGuide3 withCard(QStringLiteral("Title"), [] { return true; });
        withCard.show();
        withCard.SpeedButtonInstallClick();
        Child<QRadioButton>(withCard, "RadioButton_Agree")->setChecked(true);
        withCard.SpeedButtonNextClick();
        withCard.SpeedButtonStartClick();
        QCOMPARE(withCard.result(), 1);
    }

    void aboutBoxShowsWhatEachVariantShows() {
        struct Case {
            int project;
            bool title, version, description, date;
        };
        for (const Case& c : {Case{46, true, false, true, true}, Case{2, false, true, false, true},
                              Case{42, false, true, false, false}}) {
            TTarnwickAboutForm about;
            about.setTexts({c.project, 0, QString::fromUtf8("JDDアップデートツール V1.0"), QStringLiteral("JDD"),
                            QString(), QStringLiteral("EFS.")});
            about.show();
            QCOMPARE(about.label("Label_title")->isVisible(), c.title);
            QCOMPARE(about.label("Label_version")->isVisible(), c.version);
            QCOMPARE(about.label("Label_description")->isVisible(), c.description);
            QCOMPARE(about.label("Label_date")->isVisible(), c.date);
            if (c.version) QCOMPARE(about.label("Label_version")->text(), QStringLiteral("V1.0"));
            QCOMPARE(about.label("Label_date")->text(), QStringLiteral("Jul  2 2013"));
            QCOMPARE(about.label("Label_title_japannese")->isVisible(), c.project == 42);
        }
    }
};

int RunDialogsTests(int argc, char** argv) {
    DialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace flintcast::dialogs

#include "dialogs_test.moc"
