#pragma once

#include "gui/LogText.h"

#include <QDate>
#include <QWidget>

#include <functional>

class QDateEdit;
class QFileSystemWatcher;
class QLineEdit;
class QPlainTextEdit;

namespace nvx {

// "Log technique": the trace log of one day, followed as lines are written, with a search and
// a way to step from day to day. Modeless.
class LogWindow final : public QWidget {
    Q_OBJECT

public:
    // folder is the log folder as a native path; the window opens on today's file.
    explicit LogWindow(const QString& folder, QWidget* parent = nullptr);

    // Opens a file in the desktop's editor ("Ouvrir dans l'éditeur"); given the native path.
    std::function<void(const QString& path)> openExternally;

    QDate day() const { return day_; }
    // Native path of the file of the day shown.
    QString filePath() const;
    // The text shown.
    QString text() const;

public slots:
    void showDay(const QDate& day);
    void showPreviousDay() { showDay(day_.addDays(-1)); }
    void showNextDay() { showDay(day_.addDays(1)); }
    // Selects the next occurrence of the text, ignoring case and starting again from the top
    // when the end is reached; false when the text is nowhere.
    bool findNext(const QString& text);
    void openInEditor();

private:
    void buildLayout();
    QWidget* buildDayBar();
    QWidget* buildSearchBar();
    void loadDay();
    void watchDay();
    void onFileChanged();
    void onFolderChanged();

    QString folder_;
    QDate day_;
    bool fileFound_ = false;
    // The day shown was today when it was chosen: the view moves on to the next day's file.
    bool followsToday_ = false;
    LogFileTail tail_;
    QFileSystemWatcher* watcher_;
    QPlainTextEdit* view_;
    QDateEdit* dateEdit_;
    QLineEdit* searchEdit_;
};

} // namespace nvx
