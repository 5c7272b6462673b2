#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace nvx::test {

// The progress lines a test sees, without their time: those a job emits (watch), or those a
// platform step hands back (call it on the step's result). Also where the job's replies go.
struct RecordingLines {
    void add(const QString& line)
    {
        lines.append(line);
        if (onLine)
            onLine();
    }
    // Keeps the step's lines and gives its result.
    template <class Step> bool operator()(const Step& step)
    {
        for (const QString& l : step.lines)
            add(l);
        return step.ok;
    }
    template <class Driver> void watch(Driver& driver)
    {
        QObject::connect(&driver, &Driver::progressLine, [this](const QString& l) { add(l.mid(9)); });
        QObject::connect(&driver, &Driver::progressCleared, [this](const QString& l) { add(l.mid(9)); });
        QObject::connect(&driver, &Driver::replyTargetChanged, [this](const QString& address, qint32 p) {
            if (address.isEmpty())
                ++resets;
            else
                ++targetsSet;
            target = address;
            port = p;
        });
    }

    QStringList lines;
    std::function<void()> onLine;
    int resets = 0;
    int targetsSet = 0;
    QString target;
    qint32 port = 0;
};

} // namespace nvx::test
