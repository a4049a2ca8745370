#pragma once
// A button drawn from a stack of images, one shown at a time: normal, pressed, hover and
// disabled (or only normal and pressed). It is itself the logical button, so the image it
// shows always follows its enabled state, and its text gives it a keyboard mnemonic.
#include <QAbstractButton>
#include <QPixmap>
#include <vector>

namespace flintcast::dialogs {

class SkinButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Image { Normal = 0, Pressed = 1, Hover = 2, Disabled = 3 };

    // `images` holds two (normal, pressed) or four (normal, pressed, hover, disabled) pictures
    // of the same size.
    SkinButton(std::vector<QPixmap> images, QWidget* parent = nullptr);

    // The image shown now.
    int currentImage() const { return current_; }
    void setImages(std::vector<QPixmap> images);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::vector<QPixmap> images_;
    int current_ = Normal;
    bool hovered_ = false;

    void Show(int image);
    // The image at rest: normal (or hover under the mouse) when enabled, disabled otherwise.
    void ShowResting();
};

}  // namespace flintcast::dialogs
