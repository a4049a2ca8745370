#include "dialogs/skin_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace flintcast::dialogs {

SkinButton::SkinButton(std::vector<QPixmap> images, QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setImages(std::move(images));
}

void SkinButton::setImages(std::vector<QPixmap> images) {
    images_ = std::move(images);
    if (!images_.empty()) setFixedSize(images_.front().deviceIndependentSize().toSize());
    ShowResting();
}

QSize SkinButton::sizeHint() const {
    return images_.empty() ? QSize(80, 28) : images_.front().deviceIndependentSize().toSize();
}

void SkinButton::Show(int image) {
    // Two-image buttons have no hover or disabled picture of their own.
    if (images_.size() < 4 && image >= 2) image = Normal;
    if (image == current_) return;
    current_ = image;
    update();
}

void SkinButton::ShowResting() {
    if (!isEnabled()) {
        Show(images_.size() >= 4 ? Disabled : Normal);
        return;
    }
    Show(hovered_ ? Hover : Normal);
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (current_ < static_cast<int>(images_.size())) p.drawPixmap(rect(), images_[current_]);
    if (hasFocus() && isEnabled()) {
        // Keyboard focus is shown as a dotted frame inside the picture.
        QPen pen(QColor(255, 255, 255, 200), 1, Qt::DotLine);
        p.setPen(pen);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void SkinButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    if (isEnabled() && !isDown()) Show(Hover);
    QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    if (!isDown()) ShowResting();
    QAbstractButton::leaveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);
    if (isEnabled() && isDown()) Show(Pressed);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    // The command runs inside the base class's release (clicked); the picture afterwards
    // follows whatever enabled state the command left.
    QAbstractButton::mouseReleaseEvent(event);
    hovered_ = rect().contains(event->position().toPoint());
    Show(isEnabled() ? Normal : (images_.size() >= 4 ? Disabled : Normal));
}

void SkinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) ShowResting();
    QAbstractButton::changeEvent(event);
}

void SkinButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    update();
}

void SkinButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    update();
}

}  // namespace flintcast::dialogs
