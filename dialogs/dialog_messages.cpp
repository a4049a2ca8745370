#include "dialogs/dialog_messages.h"

#include <QMessageBox>

namespace flintcast::dialogs {

Notice DefaultNotice(QWidget* parent) {
    return [parent](const QString& caption, const QString& text) { QMessageBox::warning(parent, caption, text); };
}

YesNoQuestion DefaultYesNo(QWidget* parent) {
    return [parent](const QString& caption, const QString& text) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
}

}  // namespace flintcast::dialogs
