#include "system/ShellExecute.h"

#include "common/NativePath.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace nvx {

int shellExecuteNative(const QString& verb, const QString& file, const QString& parameters,
                       const QString& directory)
{
    if (file.trimmed().isEmpty())
        return 2;
    const QString workDir = directory.trimmed().isEmpty() ? QString() : NativePath(directory);
    QString program = NativePath(file.trimmed());
    QFileInfo info(program);
    if (!info.exists()) {
        // A bare program name is looked up on the search path, as the shell does.
        const QString found = QStandardPaths::findExecutable(file.trimmed());
        if (found.isEmpty())
            return 2;
        program = found;
        info = QFileInfo(found);
    }
    const QString action = verb.trimmed().toLower();
    if (info.isFile() && info.isExecutable() && (action.isEmpty() || action == u"open" || action == u"runas"))
        return QProcess::startDetached(program, QProcess::splitCommand(parameters), workDir) ? 42 : 5;
    if (!action.isEmpty() && action != u"open" && action != u"edit" && action != u"explore")
        return 31;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return 31;
    return QProcess::startDetached(opener, {program}, workDir) ? 42 : 31;
}

} // namespace nvx
