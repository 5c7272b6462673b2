#pragma once

#include <QString>
#include <QStringList>

namespace nvx {

// Everything that needs a person goes through this port. The windows implement it with
// widgets, the headless runner by logging and answering a fixed default, tests with a fake.
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
    virtual void setCaption(const QString& caption) = 0;
    // Folder picker; returns the chosen folder in suite form, or an empty string when cancelled.
    virtual QString selectFolder(const QString& title, const QString& startFolder) = 0;
    // Open-file dialog; returns the chosen file, or an empty string when cancelled.
    virtual QString selectOpenFile(const QString& folder, const QString& filter,
                                   const QString& proposedFile) = 0;
    // Lets the person choose one of items (the database choice at start-up); returns its index,
    // or -1 when the choice is abandoned. A headless host returns preselected.
    virtual int selectItem(const QString& title, const QStringList& items, int preselected) = 0;
    // Opens a document or starts a program the way the desktop shell does; returns a shell
    // result code (greater than 32 on success).
    virtual int shellExecute(const QString& verb, const QString& file, const QString& parameters,
                             const QString& directory, int showMode) = 0;
    // Lines of the main window's progress list.
    virtual void addProgressLine(const QString& line) = 0;
    virtual void clearProgressLines() = 0;
    // Incident list and its indicator.
    virtual void addIncidentLine(const QString& line) = 0;
    virtual void clearIncidentLines() = 0;
    virtual void setIncidentIndicator(bool checked) = 0;
    // Lets pending events run once.
    virtual void pump() = 0;
};

} // namespace nvx
