#pragma once
// The start-up guides: pages shown one at a time (welcome, licence agreement, notes,
// confirmation) with Back, Next, Finish and Cancel. Next leaves the agreement page only once
// every agreement box is checked. Finish ends with result 1; a confirmed exit with result 2.
#include <QDialog>
#include <vector>

#include "dialogs/dialog_messages.h"

class QCheckBox;
class QGroupBox;
class QPushButton;
class QStackedLayout;

namespace flintcast::dialogs {

enum class GuideKind {
    Japanese,  // TFormGuide: projects 2 and 6
    English,   // TFormGuide1: project 19
    Variant,   // TFormGuide2: project 42, marked project 3, and the single notice of 28
};

struct GuideSetup {
    GuideKind kind = GuideKind::English;
    int projectType = -1;
    int versionMarker = 0;
    QString title;  // the caption
};

class TFormGuide : public QDialog {
    Q_OBJECT
public:
    explicit TFormGuide(GuideSetup setup, QWidget* parent = nullptr);
    void setQuestion(YesNoQuestion question) { question_ = std::move(question); }

    int pageIndex() const { return page_; }
    int pageCount() const { return static_cast<int>(pages_.size()); }

    void ButtonNextClick();
    void ButtonBackClick();
    void ButtonCancelClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    GuideSetup setup_;
    YesNoQuestion question_;
    std::vector<QGroupBox*> pages_;
    QStackedLayout* stack_ = nullptr;
    QCheckBox* agree1_ = nullptr;
    QCheckBox* agree2_ = nullptr;  // the second agreement of the variant guide
    int agreementPage_ = 1;
    int page_ = 0;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool exitConfirmed_ = false;

    void ShowPage(int index);
    void UpdateNext();
    bool Agreed() const;
    // The exit question of this guide; true when the guide may end with result 2.
    bool ConfirmExit();
};

class TFormGuide1 : public TFormGuide {
    Q_OBJECT
public:
    explicit TFormGuide1(QWidget* parent = nullptr);
};

class TFormGuide2 : public TFormGuide {
    Q_OBJECT
public:
    TFormGuide2(int projectType, int versionMarker, const QString& title, QWidget* parent = nullptr);
};

}  // namespace flintcast::dialogs
