#include "app/HeadlessHost.h"

#include <QCoreApplication>

#include <cstdio>

namespace nvx {

HeadlessHost::HeadlessHost(FILE* out, FILE* err) : out_(out), err_(err) {}

Host::Answer HeadlessHost::messageBox(Icon icon, Buttons, const QString& title, const QString& text,
                                      Answer defaultAnswer)
{
    const bool sameIncident = incidentJustPrinted_ && (icon == Icon::Critical || icon == Icon::Exclamation);
    incidentJustPrinted_ = false;
    if (sameIncident)
        return defaultAnswer;
    QString oneLine = text;
    oneLine.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ');
    err_ << "[" << title << "] " << oneLine << Qt::endl;
    return defaultAnswer;
}

void HeadlessHost::setSplashText(const QString& text)
{
    incidentJustPrinted_ = false;
    out_ << text << Qt::endl;
}

QString HeadlessHost::selectFolder(const QString&, const QString&)
{
    return {};
}

QString HeadlessHost::selectOpenFile(const QString&, const QString&, const QString&)
{
    return {};
}

int HeadlessHost::selectItem(const QString&, const QStringList&, int preselected)
{
    return preselected;
}

void HeadlessHost::addProgressLine(const QString& line)
{
    incidentJustPrinted_ = false;
    out_ << line << Qt::endl;
}

void HeadlessHost::addIncidentLine(const QString& line)
{
    incidentJustPrinted_ = true;
    err_ << line << Qt::endl;
}

void HeadlessHost::pump()
{
    QCoreApplication::processEvents();
}

} // namespace nvx
