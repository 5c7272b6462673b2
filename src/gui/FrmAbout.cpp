#include "gui/FrmAbout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace nvx {

namespace {

QLabel* addLabel(QVBoxLayout* layout, const QString& name, const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return label;
}

} // namespace

FrmAbout::FrmAbout(const QString& version, int year, std::function<QString()> describeSystem, QWidget* parent)
    : QDialog(parent), describeSystem_(std::move(describeSystem))
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("A propos de Velmora: Tools NVX"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    QLabel* product = addLabel(layout, QStringLiteral("productLabel"), QStringLiteral("Velmora: Tools NVX"));
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    product->setFont(bold);
    addLabel(layout, QStringLiteral("versionLabel"), QStringLiteral("Version ") + version);
    addLabel(layout, QStringLiteral("noticeLabel"),
             QStringLiteral("© Velmora ") + QString::number(year) +
                 QStringLiteral(". Tous droits réservés."));

    auto* infoButton = new QPushButton(QStringLiteral("Informations système..."));
    infoButton->setObjectName(QStringLiteral("systemInfoButton"));
    auto* okButton = new QPushButton(QStringLiteral("OK"));
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(infoButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    layout->addLayout(buttons);

    connect(infoButton, &QPushButton::clicked, this, &FrmAbout::showSystemInfo);
    connect(okButton, &QPushButton::clicked, this, &QDialog::close);
}

void FrmAbout::showSystemInfo()
{
    const QString text = describeSystem_ ? describeSystem_() : QString();
    if (!infoBox_) {
        infoBox_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Informations système"), {},
                                   QMessageBox::Ok, this);
        infoBox_->setObjectName(QStringLiteral("systemInfoBox"));
        infoBox_->setAttribute(Qt::WA_DeleteOnClose);
        infoBox_->setModal(false);
    }
    infoBox_->setText(text.isEmpty()
                          ? QStringLiteral("Les informations système ne sont pas disponibles actuellement")
                          : text);
    infoBox_->show();
    infoBox_->raise();
}

} // namespace nvx
