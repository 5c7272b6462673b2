#pragma once

#include "common/Host.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace nvx::test {

// Records every call; answers from scripted queues, else with the default answer.
class FakeHost final : public Host {
public:
    struct Box {
        Icon icon;
        Buttons buttons;
        QString title;
        QString text;
    };
    struct Execution {
        QString verb, file, parameters, directory;
        int showMode;
    };

    Answer messageBox(Icon icon, Buttons buttons, const QString& title, const QString& text,
                      Answer defaultAnswer) override
    {
        boxes.append({icon, buttons, title, text});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return defaultAnswer;
    }
    void setSplashText(const QString& text) override { splashTexts.append(text); }
    QString selectFolder(const QString& title, const QString& startFolder) override
    {
        folderRequests.append(title + u'|' + startFolder);
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    QString selectOpenFile(const QString& folder, const QString& filter, const QString& proposedFile) override
    {
        fileRequests.append(folder + u'|' + filter + u'|' + proposedFile);
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    int selectItem(const QString& title, const QStringList& items, int preselected) override
    {
        itemRequests.append(title + u'|' + items.join(u';') + u'|' + QString::number(preselected));
        return itemAnswers.isEmpty() ? preselected : itemAnswers.takeFirst();
    }
    void pump() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }

    // What the windows would show and do, recorded: connected to the owners' signals and to the
    // system's shell by the fixtures.
    void setCaption(const QString& caption) { captions.append(caption); }
    int shellExecute(const QString& verb, const QString& file, const QString& parameters,
                     const QString& directory, int showMode)
    {
        executions.append({verb, file, parameters, directory, showMode});
        return shellResult;
    }
    void addProgressLine(const QString& line) { progressLines.append(line); }
    void clearProgressLines() { progressLines.clear(); }
    void addIncidentLine(const QString& line) { incidentLines.append(line); }

    QList<Box> boxes;
    QList<Answer> answers;
    QStringList splashTexts, captions, folderRequests, folderAnswers, fileRequests, fileAnswers;
    QStringList itemRequests;
    QList<int> itemAnswers;
    QList<Execution> executions;
    int shellResult = 42;
    QStringList progressLines, incidentLines;
    int pumps = 0;
    std::function<void()> onPump;
};

} // namespace nvx::test
