#pragma once
// The about box: borderless, always on top, centred on the main window; a close image and a
// picture by which it is dragged. What it shows depends on the product variant.
#include <QDialog>

class QLabel;

namespace flintcast::dialogs {

class SkinButton;

struct AboutTexts {
    int projectType = -1;
    int versionMarker = 0;
    QString applicationTitle;  // the main window's title
    QString variantTitle;      // the Japanese title of the variant's update tool
    QString description;       // prepared by the main window
    QString settings;          // the summary of the selected items
};

class TTarnwickAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TTarnwickAboutForm(QWidget* parent = nullptr);

    // The texts for the next showing.
    void setTexts(AboutTexts texts) { texts_ = std::move(texts); }
    QLabel* label(const char* name) const;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AboutTexts texts_;
    QLabel* title_ = nullptr;
    QLabel* variantTitle_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* description_ = nullptr;
    QLabel* date_ = nullptr;
    QLabel* settings_ = nullptr;
    QLabel* picture_ = nullptr;
    QPoint dragOffset_;
};

// The part of the application title from its first "V" on ("JDEアップデートツール V1.1" gives
// "V1.1"); empty when it has none.
QString VersionFromTitle(const QString& title);

}  // namespace flintcast::dialogs
