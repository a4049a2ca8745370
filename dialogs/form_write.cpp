#include "dialogs/form_write.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace flintcast::dialogs {

TFormWrite::TFormWrite(QWidget* parent) : QDialog(parent), notice_(DefaultNotice(this)) {
    setObjectName(QStringLiteral("FormWrite"));
    setWindowFlags(Qt::Tool);
    setWindowTitle(QStringLiteral("FormInput"));
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("Label_info"));
    input_ = new QLineEdit(this);
    input_->setObjectName(QStringLiteral("Edit_Input"));
    input_->setAccessibleName(QStringLiteral("Edit_Input"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("Button2"));
    cancel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(info_);
    layout->addWidget(input_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    resize(300, 110);

    connect(ok, &QPushButton::clicked, this, &TFormWrite::Button1Click);
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TFormWrite::setInfo(const QString& text) { info_->setText(text); }

QString TFormWrite::value() const { return input_->text(); }

void TFormWrite::Button1Click() {
    const QString text = input_->text();
    if (text.isEmpty()) {
        notice_(QStringLiteral("Info"), QStringLiteral("Value is empty,please input anain."));
        return;
    }
    if (checkMode_ == kFifteenCharacters && text.size() != 15) {
        notice_(QStringLiteral("Info"), QStringLiteral("Length is wrong,please input anain."));
        return;
    }
    done(1);
}

}  // namespace flintcast::dialogs
