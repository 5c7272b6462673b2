// The Debian package made from this build by scripts/package: what it holds, and that the
// programs it installs run from wherever it is unpacked, the record engine library found through
// their RUNPATH.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// The unpacked programs must find nothing through the caller's environment: no library path,
// no engine library named, a home of their own.
QProcessEnvironment cleanEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"LD_LIBRARY_PATH", "LD_PRELOAD", "VL3_BTRIEVE_LIBRARY", "VL3_HOME", "VL3_DRIVE_ROOT",
          "XDG_DATA_HOME", "XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY", "NOTIFY_SOCKET"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

Outcome run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
            int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    Outcome r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not end within %1 ms: ").arg(timeoutMs);
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.code = p.exitCode();
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err += QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable " + path.toUtf8() + '>');
}

// The regular files of the package's data, as "./usr/..." paths.
QStringList packagedFiles(const QString& listing)
{
    QStringList files;
    for (const QString& line : listing.split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith(u'-'))
            continue;
        files.append(line.mid(line.indexOf(QStringLiteral(" ./")) + 1));
    }
    files.sort();
    return files;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(home()));
        env = cleanEnvironment(home());
        const Outcome v =
            run(QStringLiteral(NVX_BIN_DIR "/vl3-tools-nvx"), {QStringLiteral("--version")}, env);
        ASSERT_EQ(v.code, 0) << v.err.toStdString();
        version = v.out.trimmed();
        ASSERT_TRUE(
            QRegularExpression(QStringLiteral("^\\d{4}\\.\\d{4}\\.\\d{4}$")).match(version).hasMatch())
            << version.toStdString();
    }

    QString path(const QString& name) const { return tmp.filePath(name); }
    QString home() const { return path(QStringLiteral("home")); }
    QString root() const { return path(QStringLiteral("root")); }

    // Builds the package into out/, checked by lintian or not, and unpacks it into root/; the
    // package's path.
    QString buildAndUnpack(bool lintian)
    {
        QProcessEnvironment packaging = QProcessEnvironment::systemEnvironment();
        packaging.insert(QStringLiteral("NVX_LINTIAN"), lintian ? QStringLiteral("1") : QStringLiteral("0"));
        QElapsedTimer timer;
        timer.start();
        const Outcome made = run(QStringLiteral("bash"),
                                 {QStringLiteral(NVX_SOURCE_DIR "/scripts/package"),
                                  QStringLiteral(NVX_BUILD_DIR), path(QStringLiteral("out"))},
                                 packaging, 240000);
        std::cout << "scripts/package took " << timer.elapsed() << " ms" << std::endl;
        EXPECT_EQ(made.code, 0) << made.out.toStdString() << made.err.toStdString();
        if (lintian) {
            EXPECT_TRUE(made.out.contains(QStringLiteral("lintian: no errors"))) << made.out.toStdString();
        }
        const QString deb =
            path(QStringLiteral("out/vl3-tools-nvx_") + version + QStringLiteral("_amd64.deb"));
        EXPECT_TRUE(QFile::exists(deb)) << "named after the program's version: " << deb.toStdString() << '\n'
                                        << made.out.toStdString();
        const Outcome unpacked = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root()}, env);
        EXPECT_EQ(unpacked.code, 0) << unpacked.err.toStdString();
        return deb;
    }

    QTemporaryDir tmp;
    QProcessEnvironment env;
    QString version;
};

TEST_F(PackageTest, PackageOfTheBuildPassesLintianAndHoldsTheProgramsTheServiceAndTheDocumentation)
{
    const QString deb = buildAndUnpack(true);
    ASSERT_FALSE(HasFailure());

    const Outcome fields =
        run(QStringLiteral("dpkg-deb"),
            {QStringLiteral("-f"), deb, QStringLiteral("Package"), QStringLiteral("Version"),
             QStringLiteral("Architecture"), QStringLiteral("Depends")},
            env);
    ASSERT_EQ(fields.code, 0) << fields.err.toStdString();
    EXPECT_TRUE(fields.out.contains(QStringLiteral("Package: vl3-tools-nvx\n")));
    EXPECT_TRUE(fields.out.contains(QStringLiteral("Version: ") + version + u'\n'));
    EXPECT_TRUE(fields.out.contains(QStringLiteral("Architecture: amd64\n")));
    // The platform is reached over HTTPS; the rest comes from the libraries the binaries link.
    const QString depends = fields.out.mid(fields.out.indexOf(QStringLiteral("Depends:")));
    for (const char* package : {"ca-certificates", "libc6", "libqt6core6", "libcurl4", "libsqlite3-0"})
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("[ ,]") + QString::fromLatin1(package) + QStringLiteral("\\b"))
                .match(depends)
                .hasMatch())
            << package << " in " << depends.toStdString();

    // Exactly what a station needs: nothing of the tests, benchmarks or static libraries.
    const Outcome listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb}, env);
    ASSERT_EQ(listing.code, 0) << listing.err.toStdString();
    const QStringList expected = {
        QStringLiteral("./usr/bin/vl3-btrieve"),
        QStringLiteral("./usr/bin/vl3-platform-sim"),
        QStringLiteral("./usr/bin/vl3-scheduler-sim"),
        QStringLiteral("./usr/bin/vl3-tools-nvx"),
        QStringLiteral("./usr/lib/systemd/user/vl3-tools-nvx@.service"),
        QStringLiteral("./usr/lib/vl3-tools-nvx/libvl3btrieve.so"),
        QStringLiteral("./usr/share/applications/vl3-tools-nvx.desktop"),
        QStringLiteral("./usr/share/doc/vl3-tools-nvx/changelog.gz"),
        QStringLiteral("./usr/share/doc/vl3-tools-nvx/copyright"),
        QStringLiteral("./usr/share/icons/hicolor/128x128/apps/vl3-tools-nvx.png"),
        QStringLiteral("./usr/share/icons/hicolor/256x256/apps/vl3-tools-nvx.png"),
        QStringLiteral("./usr/share/icons/hicolor/48x48/apps/vl3-tools-nvx.png"),
        QStringLiteral("./usr/share/man/man1/vl3-btrieve.1.gz"),
        QStringLiteral("./usr/share/man/man1/vl3-platform-sim.1.gz"),
        QStringLiteral("./usr/share/man/man1/vl3-scheduler-sim.1.gz"),
        QStringLiteral("./usr/share/man/man1/vl3-tools-nvx.1.gz"),
    };
    EXPECT_EQ(packagedFiles(listing.out).join(u'\n').toStdString(), expected.join(u'\n').toStdString());

    // The checked-in unit and desktop entry are what gets installed.
    for (const char* file : {"vl3-tools-nvx@.service", "vl3-tools-nvx.desktop"})
        EXPECT_EQ(fileBytes(QStringLiteral(NVX_SOURCE_DIR "/packaging/") + QString::fromLatin1(file)),
                  fileBytes(root() +
                            (QByteArrayView(file).endsWith(".service")
                                 ? QStringLiteral("/usr/lib/systemd/user/")
                                 : QStringLiteral("/usr/share/applications/")) +
                            QString::fromLatin1(file)))
            << file;

    // The manual page is the help of this very build.
    const Outcome page =
        run(QStringLiteral("gzip"),
            {QStringLiteral("-dc"), root() + QStringLiteral("/usr/share/man/man1/vl3-tools-nvx.1.gz")}, env);
    ASSERT_EQ(page.code, 0) << page.err.toStdString();
    EXPECT_TRUE(page.out.contains(QStringLiteral(".TH VL3-TOOLS-NVX \"1\"")))
        << page.out.left(300).toStdString();
    EXPECT_TRUE(page.out.contains(version));
    for (const char* option : {"\\-\\-headless", "\\-\\-btrieve\\-library", "/Instance=N", ".SH FILES"})
        EXPECT_TRUE(page.out.contains(QString::fromLatin1(option))) << option;
}

TEST_F(PackageTest, UnpackedProgramsRunAndFindTheEngineLibraryBesideThem)
{
    buildAndUnpack(false);
    ASSERT_FALSE(HasFailure());
    const QString bin = root() + QStringLiteral("/usr/bin/");

    const Outcome v = run(bin + QStringLiteral("vl3-tools-nvx"), {QStringLiteral("--version")}, env);
    EXPECT_EQ(v.code, 0) << v.err.toStdString();
    EXPECT_EQ(v.out.trimmed().toStdString(), version.toStdString());

    // Named without a folder, the library is found only through the RUNPATH of the unpacked tool:
    // no system folder holds it, and the build tree's lib/ is not beside the unpacked tool.
    const QString file = path(QStringLiteral("probe.bt6"));
    const QStringList library = {QStringLiteral("--btrieve-library"), QStringLiteral("libvl3btrieve.so")};
    const Outcome created =
        run(bin + QStringLiteral("vl3-btrieve"),
            QStringList{QStringLiteral("create"), file, QStringLiteral("--record-length"),
                        QStringLiteral("24"), QStringLiteral("--key"), QStringLiteral("1:8")} +
                library,
            env);
    EXPECT_EQ(created.code, 0) << created.out.toStdString() << created.err.toStdString();
    const Outcome stat =
        run(bin + QStringLiteral("vl3-btrieve"), QStringList{QStringLiteral("stat"), file} + library, env);
    EXPECT_EQ(stat.code, 0) << stat.err.toStdString();
    EXPECT_TRUE(stat.out.contains(QStringLiteral("24"))) << stat.out.toStdString();

    // A library name that is not there fails the same way, so the call above did load it.
    const Outcome missing = run(bin + QStringLiteral("vl3-btrieve"),
                                {QStringLiteral("stat"), file, QStringLiteral("--btrieve-library"),
                                 QStringLiteral("libvl3btrieve-absent.so")},
                                env);
    EXPECT_NE(missing.code, 0);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("libvl3btrieve-absent.so"))) << missing.err.toStdString();

    // The program too: with the library found it goes on to its start-up, which stops at the
    // missing site (1); a library it cannot load is a usage error (2).
    const QStringList start = {QStringLiteral("--headless"), QStringLiteral("--home"), home(),
                               QStringLiteral("--drive-root"), path(QStringLiteral("drives"))};
    const Outcome found = run(bin + QStringLiteral("vl3-tools-nvx"), start + library, env);
    EXPECT_EQ(found.code, 1) << found.out.toStdString() << found.err.toStdString();
    EXPECT_TRUE(found.err.contains(QStringLiteral("configuration du site absente")))
        << found.err.toStdString();
    const Outcome notFound = run(
        bin + QStringLiteral("vl3-tools-nvx"),
        start + QStringList{QStringLiteral("--btrieve-library"), QStringLiteral("libvl3btrieve-absent.so")},
        env);
    EXPECT_EQ(notFound.code, 2) << notFound.err.toStdString();
    EXPECT_TRUE(notFound.err.contains(QStringLiteral("Cannot load the record engine library")))
        << notFound.err.toStdString();

    for (const char* program : {"vl3-tools-nvx", "vl3-btrieve"}) {
        const Outcome dynamic =
            run(QStringLiteral("readelf"), {QStringLiteral("-d"), bin + QString::fromLatin1(program)}, env);
        EXPECT_TRUE(dynamic.out.contains(QStringLiteral("Library runpath: [$ORIGIN/../lib/vl3-tools-nvx]")))
            << program << '\n'
            << dynamic.out.toStdString();
    }
}

TEST_F(PackageTest, UserUnitOfThePackageVerifiesAgainstTheUnpackedProgram)
{
    buildAndUnpack(false);
    ASSERT_FALSE(HasFailure());
    // systemd checks the unit of instance 1 whole: keys, values, the program it starts (here the
    // unpacked one) and the manual page it names (in the unpacked tree).
    const QByteArray unit =
        fileBytes(root() + QStringLiteral("/usr/lib/systemd/user/vl3-tools-nvx@.service"));
    ASSERT_TRUE(unit.contains("\nExecStart=/usr/bin/vl3-tools-nvx --headless /Instance=%i\n"));
    const QString units = path(QStringLiteral("units"));
    const QString runtime = path(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(units));
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_TRUE(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QFile instance(units + QStringLiteral("/vl3-tools-nvx@1.service"));
    ASSERT_TRUE(instance.open(QIODevice::WriteOnly));
    const QByteArray unpacked = QByteArray("ExecStart=") + root().toUtf8() + QByteArray("/usr/bin/");
    instance.write(QByteArray(unit).replace(QByteArray("ExecStart=/usr/bin/"), unpacked));
    instance.close();

    QProcessEnvironment verify = env;
    verify.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    verify.insert(QStringLiteral("MANPATH"), root() + QStringLiteral("/usr/share/man"));
    const Outcome checked =
        run(QStringLiteral("systemd-analyze"),
            {QStringLiteral("verify"), QStringLiteral("--user"), instance.fileName()}, verify);
    ASSERT_NE(checked.code, -1) << "systemd-analyze is part of systemd (scripts/bootstrap): "
                                << checked.err.toStdString();
    EXPECT_EQ(checked.code, 0) << checked.err.toStdString();
    // Unknown keys and wrong values are only reported, never a failed status.
    EXPECT_EQ(checked.err.trimmed().toStdString(), "");
    for (const char* key : {"Type=notify", "NotifyAccess=main", "WatchdogSec=60", "Restart=on-failure",
                            "WantedBy=default.target"})
        EXPECT_TRUE(unit.contains(QByteArray(QByteArray("\n") + key + "\n"))) << key;
}

} // namespace
