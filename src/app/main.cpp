#include "app/Usage.h"
#include "common/Systeme.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vl3-tools-nvx"));
    QCoreApplication::setApplicationVersion(nvx::Systeme::VersionApplication());
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--version"))) {
        out << nvx::Systeme::VersionApplication() << Qt::endl;
        return 0;
    }
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << nvx::usageText();
        return 0;
    }
    err << "vl3-tools-nvx: only --version and --help are available in this build" << Qt::endl;
    out << nvx::usageText();
    return 2;
}
