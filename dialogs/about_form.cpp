#include "dialogs/about_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "config/project_traits.h"
#include "dialogs/skin_art.h"
#include "dialogs/skin_button.h"

namespace flintcast::dialogs {

namespace {

QLabel* Named(QLabel* label, const char* name) {
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(QString::fromLatin1(name));
    return label;
}

QPixmap AboutPicture() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(31, 94, 176));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 16), QPointF(32, 42));
    p.drawLine(QPointF(22, 32), QPointF(32, 42));
    p.drawLine(QPointF(42, 32), QPointF(32, 42));
    p.drawLine(QPointF(20, 49), QPointF(44, 49));
    return pixmap;
}

}  // namespace

QString VersionFromTitle(const QString& title) {
    const auto at = title.indexOf(QLatin1Char('V'));
    return at < 0 ? QString() : title.mid(at);
}

TTarnwickAboutForm::TTarnwickAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TarnwickAboutForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(360, 210);

    picture_ = Named(new QLabel(this), "Image1");
    picture_->setPixmap(AboutPicture());
    picture_->installEventFilter(this);
    picture_->setCursor(Qt::SizeAllCursor);
    title_ = Named(new QLabel(QStringLiteral("About"), this), "Label_title");
    title_->setFont(UiFont(14, true));
    variantTitle_ = Named(new QLabel(this), "Label_title_japannese");
    variantTitle_->setFont(CjkFont(13, true));
    version_ = Named(new QLabel(QStringLiteral("Ver 1.3.5.8"), this), "Label_version");
    version_->setFont(UiFont(10));
    description_ = Named(new QLabel(QStringLiteral("for QCOMM Platform"), this), "Label_description");
    description_->setFont(UiFont(10));
    date_ = Named(new QLabel(QStringLiteral("Jul  2 2013"), this), "Label_date");
    date_->setFont(UiFont(9));
    date_->setStyleSheet(QStringLiteral("color: #5f6670;"));
    settings_ = Named(new QLabel(this), "Label_settings");
    settings_->setFont(UiFont(9));
    settings_->setWordWrap(true);
    settings_->setStyleSheet(QStringLiteral("color: #5f6670;"));
    auto* close = new SkinButton(TitleButtonFaces(TitleGlyph::Close, 22), this);
    close->setObjectName(QStringLiteral("Image_AboutClose0"));
    close->setAccessibleName(QStringLiteral("Image_AboutClose0"));
    close->setText(QStringLiteral("Close"));
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(close);
    auto* texts = new QVBoxLayout;
    texts->addWidget(title_);
    texts->addWidget(variantTitle_);
    texts->addWidget(version_);
    texts->addWidget(description_);
    texts->addWidget(date_);
    texts->addWidget(settings_);
    texts->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(picture_, 0, Qt::AlignTop);
    body->addSpacing(12);
    body->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 4, 6, 14);
    layout->addLayout(top);
    layout->addLayout(body, 1);
}

QLabel* TTarnwickAboutForm::label(const char* name) const { return findChild<QLabel*>(QString::fromLatin1(name)); }

void TTarnwickAboutForm::showEvent(QShowEvent* event) {
    description_->setText(texts_.description.isEmpty() ? QStringLiteral("for QCOMM Platform") : texts_.description);
    settings_->setText(texts_.settings);
    const int project = texts_.projectType;
    const config::AboutLayout layout =
        config::AboutLayoutOf(project, config::IsVersionMarked(project, texts_.versionMarker));
    if (layout == config::AboutLayout::VersionOnly) {
        title_->hide();
        variantTitle_->hide();
        version_->setText(VersionFromTitle(texts_.applicationTitle));
        version_->show();
        description_->hide();
        date_->show();
        settings_->show();
    } else if (layout == config::AboutLayout::Variant) {
        title_->hide();
        variantTitle_->setText(texts_.variantTitle);
        variantTitle_->show();
        version_->setText(VersionFromTitle(texts_.applicationTitle));
        version_->show();
        description_->hide();
        date_->hide();
        settings_->hide();
    } else {
        title_->show();
        variantTitle_->hide();
        version_->hide();
        description_->show();
        date_->show();
        settings_->show();
    }
    if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TTarnwickAboutForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(31, 94, 176));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TTarnwickAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_) {
        if (event->type() == QEvent::MouseButtonPress) {
            dragOffset_ = static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            auto* move = static_cast<QMouseEvent*>(event);
            if (move->buttons() & Qt::LeftButton) this->move(move->globalPosition().toPoint() - dragOffset_);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace flintcast::dialogs
