#pragma once

#include "common/Host.h"

#include <QTextStream>

namespace nvx {

// The host of a program run without windows: progress lines go to stdout, incidents and the
// texts of message boxes to stderr; every question gets its default answer at once and every
// picker is cancelled, so nothing ever waits for a person. An error box that shows the incident
// just printed is not printed again.
class HeadlessHost final : public Host {
public:
    // Where the lines go (the program's stdout and stderr unless given).
    HeadlessHost(FILE* out = stdout, FILE* err = stderr);

    Answer messageBox(Icon icon, Buttons buttons, const QString& title, const QString& text,
                      Answer defaultAnswer) override;
    void setSplashText(const QString& text) override;
    QString selectFolder(const QString& title, const QString& startFolder) override;
    QString selectOpenFile(const QString& folder, const QString& filter,
                           const QString& proposedFile) override;
    int selectItem(const QString& title, const QStringList& items, int preselected) override;
    void pump() override;

    // What a window would show, printed: the job's progress lines on stdout, the incidents on
    // stderr.
    void addProgressLine(const QString& line);
    void addIncidentLine(const QString& line);

private:
    QTextStream out_;
    QTextStream err_;
    // The last thing printed was an incident line: the error box that follows shows the same.
    bool incidentJustPrinted_ = false;
};

} // namespace nvx
