#include "dialogs/form_messagebox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <functional>

#include "controller/run_rules.h"
#include "dialogs/skin_art.h"

namespace flintcast::dialogs {

// One image button of the box: normal (0), pressed (1) and highlighted (2) pictures with its
// caption over them. The form owns the highlight; the button reports the mouse.
class HighlightButton : public QLabel {
public:
    HighlightButton(const QString& text, Face face, QWidget* parent) : QLabel(parent) {
        images_ = ButtonFaces(text, QSize(96, 30), face, CjkFont(11));
        setPixmap(images_[0]);
        setFixedSize(96, 30);
    }
    void setLook(int image) { setPixmap(images_[static_cast<size_t>(image)]); }

    std::function<void()> entered;
    std::function<void()> left;
    std::function<void()> released;

protected:
    void enterEvent(QEnterEvent*) override {
        if (entered) entered();
    }
    void leaveEvent(QEvent*) override {
        if (left) left();
    }
    void mousePressEvent(QMouseEvent*) override { setLook(1); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (rect().contains(event->position().toPoint())) {
            if (released) released();
        } else {
            setLook(0);
        }
    }

private:
    std::vector<QPixmap> images_;
};

TFormMessagebox::TFormMessagebox(int projectType, const QString& message, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormMessagebox"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QString::fromUtf8(controller::BrandedCaption(projectType).data()));
    setFixedSize(400, 190);

    // A branded variant's own caption heads the box; the others carry the default brand.
    const std::string_view caption = config::BrandedCaption(projectType);
    title_ = new QLabel(caption.empty() ? QStringLiteral("Netmarrow Software Update Tool")
                                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                        this);
    title_->setObjectName(QStringLiteral("Label_title"));
    title_->setFont(UiFont(10, true));
    title_->setStyleSheet(QStringLiteral("color: white;"));
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image_warning"));
    icon->setPixmap(WarningSign(32));
    message_ = new QLabel(message, this);
    message_->setObjectName(QStringLiteral("Label_message"));
    message_->setFont(CjkFont(9));
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ok_ = new HighlightButton(QStringLiteral("OK"), Face::Blue, this);
    ok_->setObjectName(QStringLiteral("Label_OK"));
    ok_->setAccessibleName(QStringLiteral("Label_OK"));
    cancel_ = new HighlightButton(QString::fromUtf8("キャンセル"), Face::Grey, this);
    cancel_->setObjectName(QStringLiteral("Label_Cancel"));
    cancel_->setAccessibleName(QStringLiteral("Label_Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 6, 14, 14);
    layout->addWidget(title_);
    layout->addSpacing(12);
    auto* body = new QHBoxLayout;
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addWidget(message_, 1);
    layout->addLayout(body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    ok_->entered = [this] { SetHighlight(Highlight::Ok); };
    cancel_->entered = [this] { SetHighlight(Highlight::Cancel); };
    ok_->left = [this] {
        if (highlight_ == Highlight::Ok) SetHighlight(Highlight::None);
    };
    cancel_->left = [this] {
        if (highlight_ == Highlight::Cancel) SetHighlight(Highlight::None);
    };
    ok_->released = [this] { done(1); };
    cancel_->released = [this] { done(2); };
}

void TFormMessagebox::SetHighlight(Highlight highlight) {
    highlight_ = highlight;
    ok_->setLook(highlight == Highlight::Ok ? 2 : 0);
    cancel_->setLook(highlight == Highlight::Cancel ? 2 : 0);
}

void TFormMessagebox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    SetHighlight(Highlight::Cancel);
}

bool TFormMessagebox::event(QEvent* event) {
    // Tab moves the highlight instead of the keyboard focus.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        SetHighlight(highlight_ == Highlight::Ok ? Highlight::Cancel : Highlight::Ok);
        return true;
    }
    return QDialog::event(event);
}

void TFormMessagebox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            if (highlight_ != Highlight::Ok) SetHighlight(Highlight::Ok);
            return;
        case Qt::Key_Right:
        case Qt::Key_Down:
            if (highlight_ != Highlight::Cancel) SetHighlight(Highlight::Cancel);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (highlight_ == Highlight::Ok) done(1);
            if (highlight_ == Highlight::Cancel) done(2);
            return;
        case Qt::Key_Escape:
            done(2);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void TFormMessagebox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, Background(size(), 30, QColor(214, 108, 10)));
}

}  // namespace flintcast::dialogs
