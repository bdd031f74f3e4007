#include "ui/online/online_list_model.h"

#include "ui/online/online_format.h"
#include "ui/online/online_row_icon.h"

namespace qm {

OnlineListModel::OnlineListModel(QObject* parent)
    : QAbstractTableModel(parent), m_rowIcon(onlineRowIcon()) {}

void OnlineListModel::setPairs(std::vector<PairSnapshot> pairs, const QDateTime& now,
                               RowRange shown) {
    const int oldCount = rowCount();
    const int newCount = static_cast<int>(pairs.size());
    if (newCount < oldCount) {
        beginRemoveRows({}, newCount, oldCount - 1);
        m_pairs.resize(pairs.size());
        endRemoveRows();
    }
    const int kept = std::min(oldCount, newCount);
    if (newCount > oldCount)
        beginInsertRows({}, oldCount, newCount - 1);
    m_pairs = std::move(pairs);
    m_now = now;
    if (newCount > oldCount)
        endInsertRows();
    // A view works out what to repaint row by row: thousands of rows it
    // does not show would cost more than the rows it does.
    const int first = std::max(shown.first, 0);
    const int last = std::min(shown.last, kept - 1);
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1), {Qt::DisplayRole});
}

QString OnlineListModel::addressAt(int row) const {
    if (row < 0 || row >= rowCount())
        return {};
    return m_pairs[static_cast<size_t>(row)].clientAddress;
}

int OnlineListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_pairs.size());
}

int OnlineListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OnlineListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const PairSnapshot& pair = m_pairs[static_cast<size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == AddressColumn)
        return m_rowIcon;
    if (role != Qt::DisplayRole)
        return {};
    // Texts are made only for the rows the view paints, so thousands of
    // pairs cost little per refresh.
    switch (index.column()) {
    case AddressColumn:
        return pair.clientAddress;
    case TimeColumn:
        return connectedTime(pair.acceptedAt, m_now);
    case OutgoingColumn:
        return scaledTraffic(pair.bytesFromClient);
    case IncomingColumn:
        return scaledTraffic(pair.bytesFromServer);
    default:
        return {};
    }
}

QVariant OnlineListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case AddressColumn:
        return QStringLiteral("IP Address");
    case TimeColumn:
        return QStringLiteral("Online ");
    case OutgoingColumn:
        return QStringLiteral("Исходящий");
    case IncomingColumn:
        return QStringLiteral("Входящий");
    default:
        return {};
    }
}

} // namespace qm
