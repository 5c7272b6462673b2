#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace nvx {

// Lines shown in a list view, at most a given number of them: past it the oldest go, so a
// program that runs for months keeps its memory.
class LineListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LineListModel(qsizetype maxLines, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void append(const QString& line);
    void setLines(const QStringList& lines);
    void clear();
    const QStringList& lines() const { return lines_; }

private:
    qsizetype maxLines_;
    QStringList lines_;
};

} // namespace nvx
