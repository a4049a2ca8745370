#pragma once
// The run controller's presentation in the window. The controller, the device check thread and
// the workers may call it from any thread: every report becomes a signal that the window
// connects queued, so widgets change on the window's thread only. A question asked from another
// thread blocks that thread alone until the operator has answered on the window's thread.
#include <QObject>
#include <QString>
#include <functional>

#include "controller/presentation.h"
#include "gui/window_session.h"

namespace flintcast::gui {

class WindowPresentation : public QObject, public controller::Presentation {
    Q_OBJECT
public:
    using Asker = std::function<controller::MessageAnswer(const controller::Message&)>;

    explicit WindowPresentation(QObject* parent = nullptr);

    // Who answers questions (on the window's thread). Default: a Qt message box.
    void setAsker(Asker asker) { asker_ = std::move(asker); }

    void ShowLine(int slot, int kind, const std::string& text) override;
    void SetProgress(int slot, int position, int maximum) override;
    void SetStatus(const std::string& text, controller::RunState state) override;
    void SetRunState(controller::RunState state) override;
    controller::MessageAnswer ShowMessage(const controller::Message& message) override;
    void SetResumeOffer(bool visible) override;
    void RunEnded(int slot) override;

    // The device check's reports as this object's signals (lines go to ShowLine as plain lines).
    DeviceCheckReports Reports();

signals:
    void lineShown(int slot, int kind, const QString& text);
    void progressSet(int slot, int position, int maximum);
    void statusSet(const QString& text, int state);
    void runStateSet(int state);
    void resumeOfferSet(bool visible);
    void runEnded(int slot);
    // The device check's reports.
    void deviceStatus(const QString& text, bool ready);
    void versionLabel(const QString& text);
    void portBoxes(const QStringList& diag, const QStringList& terminal, const QStringList& modem);
    void deviceChanged(bool arrival);
    void startReminderStopped();

private:
    Asker asker_;
    controller::MessageAnswer Ask(const controller::Message& message);
};

// A Qt message box for `message`, with the buttons it names.
controller::MessageAnswer AskWithMessageBox(QWidget* parent, const controller::Message& message);

}  // namespace flintcast::gui
