#include "gui/Frm_SysTray.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace nvx {

namespace {

// The incident form of the icon: the program's icon with a red mark.
QIcon incidentIcon(const QIcon& base)
{
    QPixmap image = base.pixmap(32, 32);
    if (image.isNull()) {
        image = QPixmap(32, 32);
        image.fill(Qt::transparent);
    }
    QPainter peintre(&image);
    peintre.setRenderHint(QPainter::Antialiasing);
    peintre.setBrush(Qt::red);
    peintre.setPen(Qt::NoPen);
    peintre.drawEllipse(QRect(16, 16, 15, 15));
    return QIcon(image);
}

} // namespace

Frm_SysTray::Frm_SysTray(QWidget* mainWindow, QObject* parent)
    : QObject(parent), menu_(QStringLiteral("Flottant")), standby_(*this)
{
    windows_.append(mainWindow);
    normal_ = mainWindow->windowIcon().isNull() ? QApplication::style()->standardIcon(QStyle::SP_ComputerIcon)
                                                : mainWindow->windowIcon();
    incident_ = incidentIcon(normal_);
    QAction* afficher = menu_.addAction(QStringLiteral("Afficher"));
    menu_.addSeparator();
    QAction* about = menu_.addAction(QStringLiteral("A propos..."));
    connect(afficher, &QAction::triggered, this, [this] { standby_.AfficherFeuille(); });
    connect(about, &QAction::triggered, this, &Frm_SysTray::aboutRequested);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason raison) {
        if (raison == QSystemTrayIcon::Trigger || raison == QSystemTrayIcon::DoubleClick)
            standby_.AfficherFeuille();
    });
}

void Frm_SysTray::addWindow(QWidget* window)
{
    windows_.append(window);
}

QWidget* Frm_SysTray::window(int number) const
{
    return number >= 0 && number < windows_.size() ? windows_.at(number).data() : nullptr;
}

QList<int> Frm_SysTray::visibleWindows() const
{
    QList<int> visibles;
    for (int i = 0; i < windows_.size(); ++i)
        if (windows_.at(i) && windows_.at(i)->isVisible())
            visibles.append(i);
    return visibles;
}

void Frm_SysTray::hideWindow(int number)
{
    if (QWidget* w = window(number))
        w->hide();
}

void Frm_SysTray::minimiseWindow(int number)
{
    if (QWidget* w = window(number))
        w->showMinimized();
}

void Frm_SysTray::showWindow(int number)
{
    QWidget* w = window(number);
    if (!w)
        return;
    w->showNormal();
    w->raise();
    w->activateWindow();
}

void Frm_SysTray::showIcon(const QString& tip)
{
    icon_.setIcon(normal_);
    icon_.setToolTip(tip);
    icon_.show();
}

void Frm_SysTray::showIncidentIcon(const QString& line)
{
    icon_.setIcon(incident_);
    icon_.showMessage(QStringLiteral("Velmora: NVX"), line, QSystemTrayIcon::Warning);
}

void Frm_SysTray::removeIcon()
{
    icon_.hide();
}

} // namespace nvx
