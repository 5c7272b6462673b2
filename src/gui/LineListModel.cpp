#include "gui/LineListModel.h"

namespace nvx {

LineListModel::LineListModel(qsizetype maxLines, QObject* parent)
    : QAbstractListModel(parent), maxLines_(maxLines)
{
}

int LineListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= lines_.size() || role != Qt::DisplayRole)
        return {};
    return lines_.at(index.row());
}

void LineListModel::append(const QString& line)
{
    if (lines_.size() >= maxLines_) {
        beginRemoveRows({}, 0, 0);
        lines_.removeFirst();
        endRemoveRows();
    }
    beginInsertRows({}, int(lines_.size()), int(lines_.size()));
    lines_.append(line);
    endInsertRows();
}

void LineListModel::setLines(const QStringList& lines)
{
    beginResetModel();
    lines_ = lines.mid(qMax<qsizetype>(0, lines.size() - maxLines_));
    endResetModel();
}

void LineListModel::clear()
{
    setLines({});
}

} // namespace nvx
