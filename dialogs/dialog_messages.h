#pragma once
// How a dialog asks the operator a question or tells of a refusal. Tests replace these to
// answer without a modal box; by default they are Qt message boxes.
#include <QString>
#include <functional>

class QWidget;

namespace flintcast::dialogs {

// A warning with an OK button.
using Notice = std::function<void(const QString& caption, const QString& text)>;
// A Yes/No question; true for Yes.
using YesNoQuestion = std::function<bool(const QString& caption, const QString& text)>;

Notice DefaultNotice(QWidget* parent);
YesNoQuestion DefaultYesNo(QWidget* parent);

}  // namespace flintcast::dialogs
