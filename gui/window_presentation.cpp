#include "gui/window_presentation.h"

#include <QMessageBox>
#include <QThread>

namespace flintcast::gui {

using controller::MessageAnswer;
using controller::MessageButtons;

namespace {

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

controller::MessageAnswer AskWithMessageBox(QWidget* parent, const controller::Message& message) {
    QMessageBox box(parent);
    box.setWindowTitle(Text(message.caption));
    box.setText(Text(message.text));
    switch (message.buttons) {
        case MessageButtons::Ok:
            box.setIcon(QMessageBox::Information);
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return MessageAnswer::Ok;
        case MessageButtons::OkCancel:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Cancel);
            return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

WindowPresentation::WindowPresentation(QObject* parent)
    : QObject(parent), asker_([](const controller::Message& m) { return AskWithMessageBox(nullptr, m); }) {}

void WindowPresentation::ShowLine(int slot, int kind, const std::string& text) { emit lineShown(slot, kind, Text(text)); }

void WindowPresentation::SetProgress(int slot, int position, int maximum) { emit progressSet(slot, position, maximum); }

void WindowPresentation::SetStatus(const std::string& text, controller::RunState state) {
    emit statusSet(Text(text), static_cast<int>(state));
}

void WindowPresentation::SetRunState(controller::RunState state) { emit runStateSet(static_cast<int>(state)); }

void WindowPresentation::SetResumeOffer(bool visible) { emit resumeOfferSet(visible); }

void WindowPresentation::RunEnded(int slot) { emit runEnded(slot); }

DeviceCheckReports WindowPresentation::Reports() {
    DeviceCheckReports reports;
    reports.status = [this](const std::string& text, bool ready) { emit deviceStatus(Text(text), ready); };
    reports.versionLabel = [this](const std::string& text) { emit versionLabel(Text(text)); };
    reports.line = [this](const std::string& text) { ShowLine(0, 4, text); };
    reports.stopStartReminder = [this] { emit startReminderStopped(); };
    reports.portBoxes = [this](const controller::PortBoxes& boxes) {
        auto list = [](const std::vector<std::string>& ports) {
            QStringList names;
            for (const auto& port : ports) names << Text(port);
            return names;
        };
        emit portBoxes(list(boxes.diag), list(boxes.terminal), list(boxes.modem));
    };
    reports.deviceChange = [this](bool arrival) { emit deviceChanged(arrival); };
    return reports;
}

controller::MessageAnswer WindowPresentation::Ask(const controller::Message& message) { return asker_(message); }

controller::MessageAnswer WindowPresentation::ShowMessage(const controller::Message& message) {
    if (QThread::currentThread() == thread()) return Ask(message);
    // Another thread asks: it waits here, the window's thread shows the question.
    MessageAnswer answer = MessageAnswer::Cancel;
    QMetaObject::invokeMethod(
        this, [this, &message] { return Ask(message); }, Qt::BlockingQueuedConnection, &answer);
    return answer;
}

}  // namespace flintcast::gui
