#include "gui/DialogMapping.h"

#include "common/NativePath.h"

#include <QDir>

namespace nvx {

QMessageBox::Icon messageBoxIcon(Host::Icon icon)
{
    switch (icon) {
    case Host::Icon::Critical:
        return QMessageBox::Critical;
    case Host::Icon::Question:
        return QMessageBox::Question;
    case Host::Icon::Exclamation:
        return QMessageBox::Warning;
    case Host::Icon::Information:
        return QMessageBox::Information;
    case Host::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons messageBoxButtons(Host::Buttons buttons)
{
    switch (buttons) {
    case Host::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Host::Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case Host::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Host::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Host::Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case Host::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

namespace {

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    Host::Answer answer;
};

constexpr ButtonAnswer kButtonAnswers[] = {
    {QMessageBox::Ok, Host::Answer::Ok},         {QMessageBox::Cancel, Host::Answer::Cancel},
    {QMessageBox::Abort, Host::Answer::Abort},   {QMessageBox::Retry, Host::Answer::Retry},
    {QMessageBox::Ignore, Host::Answer::Ignore}, {QMessageBox::Yes, Host::Answer::Yes},
    {QMessageBox::No, Host::Answer::No},
};

} // namespace

QMessageBox::StandardButton messageBoxButton(Host::Answer answer)
{
    for (const ButtonAnswer& pair : kButtonAnswers)
        if (pair.answer == answer)
            return pair.button;
    return QMessageBox::NoButton;
}

Host::Answer answerOf(QMessageBox::StandardButton button, Host::Answer fallback)
{
    for (const ButtonAnswer& pair : kButtonAnswers)
        if (pair.button == button)
            return pair.answer;
    return fallback;
}

Host::Answer answerWhenClosed(Host::Buttons buttons, Host::Answer defaultAnswer)
{
    if (messageBoxButtons(buttons) & QMessageBox::Cancel)
        return Host::Answer::Cancel;
    if (buttons == Host::Buttons::Ok)
        return Host::Answer::Ok;
    return defaultAnswer;
}

QStringList nameFilters(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2)
        return {filter.trimmed().isEmpty() ? QStringLiteral("*") : filter};
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        result.append(parts[i] + QStringLiteral(" (") + patterns + u')');
    }
    return result;
}

QString suiteFormOf(const QString& nativePath)
{
    const QString root = QDir::cleanPath(driveRoot());
    const QString path = QDir::cleanPath(nativePath);
    if (!root.isEmpty() && path.startsWith(root + u'/')) {
        const QString rest = path.mid(root.size() + 1);
        const QString drive = rest.section(u'/', 0, 0);
        if (drive.size() == 1 && drive[0].isLetter()) {
            const QString inside = rest.section(u'/', 1);
            return drive.toUpper() + QStringLiteral(":\\") + SuitePath(inside);
        }
    }
    return SuitePath(nativePath);
}

} // namespace nvx
