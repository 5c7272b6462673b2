#include "gui/FrmMsg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

namespace nvx {

namespace {

// Room for a line of start-up text without the window changing size with each message.
constexpr QSize kSplashSize(480, 64);

} // namespace

FrmMsg::FrmMsg(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label_(new QLabel(this))
{
    setObjectName(QStringLiteral("FrmMsg"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    label_->setObjectName(QStringLiteral("splashLabel"));
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->addWidget(label_);
    setFixedSize(kSplashSize);
    placeAtTop();
}

void FrmMsg::setText(const QString& text)
{
    label_->setText(text);
}

QString FrmMsg::text() const
{
    return label_->text();
}

QRegion FrmMsg::roundedRegion(QSize size, QSize corner)
{
    const int w = size.width();
    const int h = size.height();
    const int cw = qMin(corner.width(), w);
    const int ch = qMin(corner.height(), h);
    // Two crossing bands cover everything but the corners; the ellipses round them off.
    QRegion region(QRect(cw / 2, 0, w - cw / 2 * 2, h));
    region += QRegion(QRect(0, ch / 2, w, h - ch / 2 * 2));
    region += QRegion(QRect(0, 0, cw, ch), QRegion::Ellipse);
    region += QRegion(QRect(w - cw, 0, cw, ch), QRegion::Ellipse);
    region += QRegion(QRect(0, h - ch, cw, ch), QRegion::Ellipse);
    region += QRegion(QRect(w - cw, h - ch, cw, ch), QRegion::Ellipse);
    return region;
}

void FrmMsg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setMask(roundedRegion(size(), QSize(kCornerSize, kCornerSize)));
}

void FrmMsg::showEvent(QShowEvent* event)
{
    placeAtTop();
    QWidget::showEvent(event);
}

void FrmMsg::placeAtTop()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y());
}

} // namespace nvx
