#include "gui/LogWindow.h"

#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QVBoxLayout>

namespace nvx {

namespace {

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

LogWindow::LogWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(folder), watcher_(new QFileSystemWatcher(this)),
      view_(new QPlainTextEdit(this)), dateEdit_(new QDateEdit(this)), searchEdit_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("LogWindow"));
    setWindowTitle(QStringLiteral("Log technique"));
    resize(900, 600);
    view_->setObjectName(QStringLiteral("logView"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    buildLayout();
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &LogWindow::onFileChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &LogWindow::onFolderChanged);
    showDay(QDate::currentDate());
}

void LogWindow::buildLayout()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildDayBar());
    layout->addWidget(view_, 1);
    layout->addWidget(buildSearchBar());
}

QWidget* LogWindow::buildDayBar()
{
    auto* bar = new QWidget(this);
    auto* previous = makeButton(QStringLiteral("previousDayButton"), QStringLiteral("<"), bar);
    auto* next = makeButton(QStringLiteral("nextDayButton"), QStringLiteral(">"), bar);
    auto* open =
        makeButton(QStringLiteral("openInEditorButton"), QStringLiteral("Ouvrir dans l'éditeur"), bar);
    dateEdit_->setObjectName(QStringLiteral("dayEdit"));
    dateEdit_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    dateEdit_->setCalendarPopup(true);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(previous);
    layout->addWidget(dateEdit_);
    layout->addWidget(next);
    layout->addStretch();
    layout->addWidget(open);
    connect(previous, &QPushButton::clicked, this, &LogWindow::showPreviousDay);
    connect(next, &QPushButton::clicked, this, &LogWindow::showNextDay);
    connect(dateEdit_, &QDateEdit::dateChanged, this, &LogWindow::showDay);
    connect(open, &QPushButton::clicked, this, &LogWindow::openInEditor);
    return bar;
}

QWidget* LogWindow::buildSearchBar()
{
    auto* bar = new QWidget(this);
    auto* find = makeButton(QStringLiteral("findNextButton"), QStringLiteral("Suivant"), bar);
    searchEdit_->setObjectName(QStringLiteral("searchEdit"));
    searchEdit_->setPlaceholderText(QStringLiteral("Rechercher"));
    searchEdit_->setClearButtonEnabled(true);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(searchEdit_, 1);
    layout->addWidget(find);
    auto search = [this] { findNext(searchEdit_->text()); };
    connect(find, &QPushButton::clicked, this, search);
    connect(searchEdit_, &QLineEdit::returnPressed, this, search);
    return bar;
}

QString LogWindow::filePath() const
{
    return QDir(folder_).filePath(logFileName(day_));
}

QString LogWindow::text() const
{
    return view_->toPlainText();
}

void LogWindow::showDay(const QDate& day)
{
    if (!day.isValid() || (day == day_ && fileFound_))
        return;
    day_ = day;
    followsToday_ = day == QDate::currentDate();
    {
        const QSignalBlocker quiet(dateEdit_);
        dateEdit_->setDate(day);
    }
    loadDay();
}

void LogWindow::loadDay()
{
    tail_ = LogFileTail(filePath());
    fileFound_ = QFileInfo::exists(filePath());
    view_->clear();
    if (!fileFound_)
        view_->setPlainText(QStringLiteral("Aucun journal pour le ") +
                            day_.toString(QStringLiteral("dd/MM/yyyy")));
    else
        onFileChanged();
    watchDay();
}

void LogWindow::watchDay()
{
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    if (watcher_->directories().isEmpty() && QFileInfo(folder_).isDir())
        watcher_->addPath(folder_);
    if (fileFound_)
        watcher_->addPath(filePath());
}

void LogWindow::onFileChanged()
{
    bool restarted = false;
    QString added = tail_.readAppended(&restarted);
    if (restarted)
        view_->clear();
    if (added.isEmpty())
        return;
    added.chop(1); // the last line feed: each append starts its own line
    view_->appendPlainText(added);
    // A file replaced rather than written to is no longer watched.
    if (!watcher_->files().contains(filePath()))
        watcher_->addPath(filePath());
}

void LogWindow::onFolderChanged()
{
    // Past midnight the trace starts the new day's file in the same folder.
    const QDate today = QDate::currentDate();
    if (followsToday_ && day_ != today) {
        showDay(today);
        return;
    }
    const bool exists = QFileInfo::exists(filePath());
    if (exists == fileFound_) {
        onFileChanged();
        return;
    }
    loadDay();
}

bool LogWindow::findNext(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (view_->find(text))
        return true;
    // Nothing further down: start again from the top, and leave the selection as it was when
    // the text is nowhere.
    const QTextCursor before = view_->textCursor();
    QTextCursor top = before;
    top.movePosition(QTextCursor::Start);
    view_->setTextCursor(top);
    if (view_->find(text))
        return true;
    view_->setTextCursor(before);
    return false;
}

void LogWindow::openInEditor()
{
    if (openExternally && QFileInfo::exists(filePath()))
        openExternally(filePath());
}

} // namespace nvx
