#pragma once
// The one-line input box. Check mode 100 takes any text that is not empty; check mode 1 also
// wants exactly 15 characters (the length of an IMEI). Result 1 on OK.
#include <QDialog>

#include "dialogs/dialog_messages.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace flintcast::dialogs {

class TFormWrite : public QDialog {
    Q_OBJECT
public:
    static constexpr int kAnyText = 100;
    static constexpr int kFifteenCharacters = 1;

    explicit TFormWrite(QWidget* parent = nullptr);

    void setCheckMode(int mode) { checkMode_ = mode; }
    int checkMode() const { return checkMode_; }
    void setInfo(const QString& text);
    QString value() const;
    void setNotice(Notice notice) { notice_ = std::move(notice); }

    // Button1: checks the text and ends with result 1 when it passes.
    void Button1Click();

private:
    QLabel* info_ = nullptr;
    QLineEdit* input_ = nullptr;
    int checkMode_ = kAnyText;
    Notice notice_;
};

}  // namespace flintcast::dialogs
