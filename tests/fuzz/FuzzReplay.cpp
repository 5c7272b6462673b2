// Runs a fuzz target's body over files, without libFuzzer: every file named on the command line,
// and every file of every folder named there (names starting with "." are skipped). The seed
// corpus and the inputs of past findings thus run as a plain test in every build.
#include "FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool replay(const QString& path, int& count)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = f.readAll();
    // A copy of its own, so that a read past the input's end shows under the sanitizers.
    const QByteArray input(bytes.constData(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
    ++count;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        const QFileInfo info(arg);
        if (!info.isDir()) {
            ok = replay(arg, count) && ok;
            continue;
        }
        const QStringList names = QDir(arg).entryList(QDir::Files, QDir::Name);
        for (const QString& name : names)
            ok = replay(QDir(arg).filePath(name), count) && ok;
    }
    std::printf("%d input(s) replayed\n", count);
    // A run over nothing checks nothing: the seed corpus is never empty.
    return ok && count > 0 ? 0 : 1;
}
