#pragma once

#include <QString>
#include <QStringList>

namespace nvx {

// Everything that needs a person goes through this port: questions, pickers, the splash text.
// The windows implement it with widgets, the headless runner by logging and answering a fixed
// default, tests with a fake. What people only watch (progress, incidents, states) is not
// pushed here: the owners emit it as signals for whoever shows it.
class Host {
public:
    enum class Icon { None, Critical, Question, Exclamation, Information };
    enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
    // Values as the classic message box returns them.
    enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

    virtual ~Host() = default;

    // Modal message box; a headless host never blocks and returns defaultAnswer.
    virtual Answer messageBox(Icon icon, Buttons buttons, const QString& title, const QString& text,
                              Answer defaultAnswer) = 0;
    // Text of the splash window's label while the program starts.
    virtual void setSplashText(const QString& text) = 0;
    // Folder picker; returns the chosen folder in suite form, or an empty string when cancelled.
    virtual QString selectFolder(const QString& title, const QString& startFolder) = 0;
    // Open-file dialog; returns the chosen file, or an empty string when cancelled.
    virtual QString selectOpenFile(const QString& folder, const QString& filter,
                                   const QString& proposedFile) = 0;
    // Lets the person choose one of items (the database choice at start-up); returns its index,
    // or -1 when the choice is abandoned. A headless host returns preselected.
    virtual int selectItem(const QString& title, const QStringList& items, int preselected) = 0;
    // Lets pending events run once.
    virtual void pump() = 0;
};

} // namespace nvx
