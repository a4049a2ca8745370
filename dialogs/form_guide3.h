#pragma once
// The compact data card's guide: a borderless splash with Install and Exit, then (in a larger
// framed form) the agreement, the operating steps with Start, and a notice when Start finds no
// card. Start looks for the device's ports; found, the guide ends with result 1 and the update
// begins at once. Every way out ends with result 2 without a question.
#include <QDialog>
#include <functional>

class QLabel;
class QRadioButton;
class QStackedLayout;

namespace flintcast::dialogs {

class SkinButton;

class TFormGuide3 : public QDialog {
    Q_OBJECT
public:
    enum Page { Splash = 0, Agreement = 1, Steps = 2, NotInserted = 3 };

    // `findDevice` runs the port discovery and says whether the card is there.
    TFormGuide3(const QString& programTitle, std::function<bool()> findDevice, QWidget* parent = nullptr);

    int page() const { return page_; }

    void SpeedButtonInstallClick();
    void SpeedButtonNextClick();
    void SpeedButtonStartClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString programTitle_;
    std::function<bool()> findDevice_;
    QStackedLayout* stack_ = nullptr;
    QLabel* caption_ = nullptr;
    QRadioButton* agree_ = nullptr;
    QRadioButton* disagree_ = nullptr;
    SkinButton* next_ = nullptr;
    int page_ = Splash;
    QPoint dragOffset_;

    void ShowPage(int page, QSize size);
};

}  // namespace flintcast::dialogs
