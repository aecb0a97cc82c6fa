#include "widgets/line_list.h"

namespace qv {

LineListModel::LineListModel(QObject* parent, int flushIntervalMs)
    : QAbstractListModel(parent), interval_(flushIntervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &LineListModel::flush);
}

void LineListModel::addLine(std::string line) {
    queue_.push_back(std::move(line));
    if (timer_.isActive()) return;
    // After a quiet spell the line shows at the next turn of the event loop.
    const qint64 since = sinceFlush_.isValid() ? sinceFlush_.elapsed() : interval_;
    timer_.start(since >= interval_ ? 0 : interval_ - static_cast<int>(since));
}

void LineListModel::flush() {
    timer_.stop();
    sinceFlush_.start();
    if (queue_.empty()) return;
    const int first = static_cast<int>(lines_.size());
    beginInsertRows({}, first, first + static_cast<int>(queue_.size()) - 1);
    std::size_t widest = widestRow_ >= 0 ? lines_[widestRow_].size() : 0;
    for (std::string& line : queue_) {
        if (widestRow_ < 0 || line.size() > widest) {
            widest = line.size();
            widestRow_ = static_cast<int>(lines_.size());
        }
        lines_.push_back(std::move(line));
    }
    queue_.clear();
    endInsertRows();
    Q_EMIT flushed();
}

void LineListModel::clear() {
    timer_.stop();
    queue_.clear();
    beginResetModel();
    lines_.clear();
    widestRow_ = -1;
    endResetModel();
}

int LineListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return QString::fromLocal8Bit(lines_[static_cast<std::size_t>(index.row())]);
}

WidestRowDelegate::WidestRowDelegate(std::function<int()> widestRow, QObject* parent)
    : QStyledItemDelegate(parent), widestRow_(std::move(widestRow)) {}

QSize WidestRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const int row = widestRow_ ? widestRow_() : -1;
    const QAbstractItemModel* model = index.model();
    if (!model || row < 0 || row >= model->rowCount(index.parent()))
        return QStyledItemDelegate::sizeHint(option, index);
    return QStyledItemDelegate::sizeHint(option, model->index(row, index.column(), index.parent()));
}

}  // namespace qv
