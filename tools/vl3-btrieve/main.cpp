// vl3-btrieve: creates the suite's record files, fills them from JSON lines, writes them out
// as JSON lines and shows their structure, through the same engine as the program.
#include "Commands.h"
#include "common/NativePath.h"
#include "db/Catalogue.h"
#include "db/RecordLayouts.h"
#include "db/engine/BtrieveEngine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <cstdio>
#include <optional>

using namespace nvx;
using namespace nvx::btrtool;

namespace {

const char kUsage[] = R"(usage: vl3-btrieve COMMAND [OPTIONS]

  create --data DIR --file N [--station S] [--replace]
  create PATH --file N [--replace]
  create PATH --record-length L --key SEG[+SEG...] [--key ...] [--page-size P] [--replace]
      Creates an empty record file: file N of the catalogue in DIR (its name for station S,
      default 1), or at PATH with N's structure or an explicit one. SEG is POS:LEN[:FLAGS],
      POS 1-based; FLAGS is a number or words joined by ",": dup, mod, nocase, desc.
      An existing file is kept (status 59) unless --replace.

  import (--data DIR --file N [--station S] | PATH --file N) JSONL
      Inserts one record per line of JSONL ("-" reads standard input): a JSON object whose
      keys are the field names of file N's records. Texts left out are blank, numbers 0.
      One transaction: the first wrong line stops the import and nothing of it is kept.

  export (--data DIR --file N [--station S] | PATH --file N) [--key K] [--compact]
      Writes every record in the order of key K (default 0) as JSON lines on standard output.
      Texts lose their trailing blanks; --compact also leaves out blank texts and zero numbers.
      Importing the output gives the same records back.

  stat (--data DIR --file N [--station S] | PATH)
      Record length, page size, record count, keys and their segments.

  --btrieve-library LIB uses the record manager library LIB instead of the built-in engine
  (also $VL3_BTRIEVE_LIBRARY). Exit status: 0 done, 1 data or engine error, 2 usage error.
)";

struct UsageError {
    QString message;
};

struct Arguments {
    QString command;
    QStringList positional;
    QHash<QString, QStringList> options;

    bool has(const QString& name) const { return options.contains(name); }
    QString value(const QString& name) const { return options.value(name).value(0); }
};

// Options each command takes: true when the option takes a value.
QHash<QString, bool> optionsOf(const QString& command)
{
    QHash<QString, bool> o{{QStringLiteral("btrieve-library"), true}};
    const auto target = [&o] {
        o.insert(QStringLiteral("data"), true);
        o.insert(QStringLiteral("file"), true);
        o.insert(QStringLiteral("station"), true);
    };
    if (command == u"create") {
        target();
        o.insert(QStringLiteral("replace"), false);
        o.insert(QStringLiteral("record-length"), true);
        o.insert(QStringLiteral("page-size"), true);
        o.insert(QStringLiteral("key"), true);
    } else if (command == u"import" || command == u"stat") {
        target();
    } else if (command == u"export") {
        target();
        o.insert(QStringLiteral("key"), true);
        o.insert(QStringLiteral("compact"), false);
    } else {
        throw UsageError{QStringLiteral("unknown command \"") + command + u'"'};
    }
    return o;
}

Arguments parse(const QStringList& args)
{
    Arguments a;
    if (args.isEmpty())
        throw UsageError{QStringLiteral("no command")};
    a.command = args.front();
    const QHash<QString, bool> known = optionsOf(a.command);
    bool optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString arg = args[i];
        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            a.positional << arg;
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        QString name = arg.startsWith(QStringLiteral("--")) ? arg.mid(2) : QString();
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf(u'='); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name.truncate(eq);
        }
        const auto it = known.constFind(name);
        if (name.isEmpty() || it == known.constEnd())
            throw UsageError{QStringLiteral("unknown option \"") + arg + QStringLiteral("\" for ") +
                             a.command};
        QString value;
        if (it.value()) {
            if (inlineValue)
                value = *inlineValue;
            else if (i + 1 < args.size())
                value = args[++i];
            else
                throw UsageError{QStringLiteral("--") + name + QStringLiteral(" needs a value")};
        } else if (inlineValue) {
            throw UsageError{QStringLiteral("--") + name + QStringLiteral(" takes no value")};
        }
        // Only the segments of create repeat; any other option given twice is a mistake.
        if (a.options.contains(name) && !(a.command == u"create" && name == u"key"))
            throw UsageError{QStringLiteral("--") + name + QStringLiteral(" given twice")};
        a.options[name] << value;
    }
    return a;
}

int number(const Arguments& a, const QString& name, int min, int max, int fallback)
{
    if (!a.has(name))
        return fallback;
    bool ok = false;
    const int v = a.value(name).toInt(&ok);
    if (!ok || v < min || v > max)
        throw UsageError{QStringLiteral("--%1 must be a number from %2 to %3").arg(name).arg(min).arg(max)};
    return v;
}

// The record file a command works on, and the catalogue number that gives its structure and
// record layout (-1 when none was named).
struct Target {
    QString path;
    int file = -1;
};

// With --data the file is named by the catalogue; otherwise the first positional argument is
// its path. Returns the target and leaves the other positional arguments in rest.
Target target(const Arguments& a, const Catalogue& catalogue, QStringList* rest)
{
    Target t;
    *rest = a.positional;
    if (a.has(QStringLiteral("file"))) {
        t.file = number(a, QStringLiteral("file"), 0, Catalogue::kNbFichiers - 1, -1);
        if (!catalogue.entree(t.file).existe())
            throw UsageError{QStringLiteral("file %1 has no table in the catalogue").arg(t.file)};
    }
    if (a.has(QStringLiteral("data"))) {
        if (t.file < 0)
            throw UsageError{QStringLiteral("--data needs --file")};
        const int station = number(a, QStringLiteral("station"), 1, 20, 1);
        const QString name = catalogue.NomFichierBTR(t.file, station - 1);
        t.path = NativePath(a.value(QStringLiteral("data")) + u'/' + name);
    } else {
        if (a.has(QStringLiteral("station")))
            throw UsageError{QStringLiteral("--station goes with --data")};
        if (rest->isEmpty())
            throw UsageError{QStringLiteral("no file: give --data DIR --file N, or a path")};
        t.path = NativePath(rest->takeFirst());
    }
    t.path = QFileInfo(t.path).absoluteFilePath();
    return t;
}

void noMore(const QStringList& rest)
{
    if (!rest.isEmpty())
        throw UsageError{QStringLiteral("unexpected argument \"") + rest.front() + u'"'};
}

const RecordLayout& layoutOf(const Target& t, const QString& command)
{
    if (t.file < 0)
        throw UsageError{command + QStringLiteral(" needs --file N for the field names")};
    const RecordLayout* layout = layoutFichier(t.file);
    if (!layout) {
        QStringList known;
        for (const RecordLayout* l : layouts())
            known << QString::number(l->fichier);
        throw UsageError{QStringLiteral("no record layout for file %1 (files with one: %2)")
                             .arg(t.file)
                             .arg(known.join(QStringLiteral(", ")))};
    }
    return *layout;
}

QByteArray createSpec(const Arguments& a, const Target& t, const Catalogue& catalogue)
{
    const bool explicitSpec = a.has(QStringLiteral("record-length")) || a.has(QStringLiteral("key")) ||
                              a.has(QStringLiteral("page-size"));
    if (t.file >= 0) {
        if (explicitSpec)
            throw UsageError{QStringLiteral("--file gives the structure; --record-length, --key and "
                                            "--page-size describe one instead")};
        return catalogue.specCreation(t.file);
    }
    if (!a.has(QStringLiteral("record-length")) || !a.has(QStringLiteral("key")))
        throw UsageError{QStringLiteral("create PATH needs --file N, or --record-length and --key")};
    FileSpec structureFichier;
    structureFichier.recordLength = quint16(number(a, QStringLiteral("record-length"), 1, 65535, 0));
    structureFichier.pageSize =
        quint16(number(a, QStringLiteral("page-size"), 512, 65535, structureFichier.pageSize));
    for (const QString& text : a.options.value(QStringLiteral("key"))) {
        QList<SegmentSpec> segments;
        QString error;
        if (!parseKeySpec(text, &segments, &error))
            throw UsageError{error};
        structureFichier.keys << segments;
    }
    return encodeFileSpec(structureFichier);
}

int run(const Arguments& a, QIODevice& out, QIODevice& err)
{
    Catalogue catalogue;
    catalogue.InitGeneralData();
    QStringList rest;
    const Target t = target(a, catalogue, &rest);

    // Everything about the command line is settled before the engine is touched.
    QByteArray structureFichier;
    const RecordLayout* layout = nullptr;
    QString input;
    int key = 0;
    if (a.command == u"create") {
        noMore(rest);
        structureFichier = createSpec(a, t, catalogue);
    } else if (a.command == u"import") {
        layout = &layoutOf(t, a.command);
        if (rest.isEmpty())
            throw UsageError{QStringLiteral("import needs the JSON lines file (\"-\" for standard input)")};
        input = rest.takeFirst();
        noMore(rest);
    } else if (a.command == u"export") {
        layout = &layoutOf(t, a.command);
        key = number(a, QStringLiteral("key"), 0, 118, 0);
        noMore(rest);
    } else {
        noMore(rest);
    }

    QString error;
    std::unique_ptr<BtrieveEngine> engine = createEngine(a.value(QStringLiteral("btrieve-library")), &error);
    if (!engine) {
        err.write((QStringLiteral("vl3-btrieve: ") + error + u'\n').toUtf8());
        return ExitDataError;
    }
    Commands commands(*engine, out, err);
    if (a.command == u"create")
        return commands.create(t.path, structureFichier, a.has(QStringLiteral("replace")));
    if (a.command == u"import") {
        QFile file;
        const bool opened = input == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                          : (file.setFileName(input), file.open(QIODevice::ReadOnly));
        if (!opened) {
            commands.fail(QStringLiteral("cannot read ") + input + QStringLiteral(": ") + file.errorString());
            return ExitDataError;
        }
        return commands.import(t.path, *layout, file);
    }
    if (a.command == u"export")
        return commands.exportRecords(t.path, *layout, key, a.has(QStringLiteral("compact")));
    return commands.stat(t.path);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);

    QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out.write(kUsage);
        return ExitOk;
    }
    try {
        return run(parse(args), out, err);
    } catch (const UsageError& e) {
        err.write((QStringLiteral("vl3-btrieve: ") + e.message + u'\n').toUtf8());
        err.write(kUsage);
        return ExitUsage;
    }
}
