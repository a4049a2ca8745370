#pragma once
// The skinned confirmation box of the branded variants: two image buttons, OK and Cancel, with
// a highlight that the mouse and the arrow keys move. Cancel starts highlighted, so an Enter
// pressed by habit never starts an update. Result 1 accepts, 2 cancels.
#include <QDialog>

class QLabel;

namespace flintcast::dialogs {

class HighlightButton;

class TFormMessagebox : public QDialog {
    Q_OBJECT
public:
    enum class Highlight { None, Ok, Cancel };

    TFormMessagebox(int projectType, const QString& message, QWidget* parent = nullptr);

    Highlight highlight() const { return highlight_; }
    QLabel* titleLabel() const { return title_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* title_ = nullptr;
    QLabel* message_ = nullptr;
    HighlightButton* ok_ = nullptr;
    HighlightButton* cancel_ = nullptr;
    Highlight highlight_ = Highlight::None;

    void SetHighlight(Highlight highlight);
};

}  // namespace flintcast::dialogs
