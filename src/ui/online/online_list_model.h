#pragma once

#include "service/relay_controller.h" // PairSnapshot

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>

#include <limits>
#include <vector>

namespace qm {

// Rows of a view's to repaint, first and last; rows it does not show are
// asked for their texts when they come into view.
struct RowRange {
    int first = 0;
    int last = std::numeric_limits<int>::max();
};

// The rows of the online list: one per live pair, in the order given. A new
// set of pairs updates the rows in place, so the view keeps its scroll
// position and its selection stays on the same position.
class OnlineListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { AddressColumn, TimeColumn, OutgoingColumn, IncomingColumn, ColumnCount };

    explicit OnlineListModel(QObject* parent = nullptr);

    // now is the moment the connected times are counted to.
    void setPairs(std::vector<PairSnapshot> pairs, const QDateTime& now, RowRange shown = {});
    QString addressAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<PairSnapshot> m_pairs;
    QDateTime m_now;
    QIcon m_rowIcon;
};

} // namespace qm
