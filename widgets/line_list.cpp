#include "widgets/line_list.h"

#include <QScrollBar>
#include <algorithm>
#include <memory>

#include "widgets/display.h"
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
    for (std::string& line : queue_) lines_.push_back(std::move(line));
    queue_.clear();
    endInsertRows();
    Q_EMIT flushed();
}

void LineListModel::clear() {
    timer_.stop();
    queue_.clear();
    beginResetModel();
    lines_.clear();
    endResetModel();
}

int LineListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return displayText(lines_[static_cast<std::size_t>(index.row())]);
}

WidestRowDelegate::WidestRowDelegate(QAbstractItemView* view)
    : QStyledItemDelegate(view), view_(view), model_(view->model()) {
    QAbstractItemModel* model = model_;
    slice_.setSingleShot(true);
    connect(&slice_, &QTimer::timeout, this, &WidestRowDelegate::measureSome);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid()) return;
                if (first >= measuredEnd_) {  // added at the end: measured in slices
                    slice_.start(0);
                    return;
                }
                measure(first, last);  // above rows measured already: they move down
                measuredEnd_ += last - first + 1;
            });
    const auto remeasure = [this] {
        widestRow_ = -1;
        widestWidth_ = -1;
        measuredEnd_ = 0;
        slice_.start(0);
    };
    connect(model, &QAbstractItemModel::modelReset, this, remeasure);
    connect(model, &QAbstractItemModel::rowsRemoved, this, remeasure);
    connect(model, &QAbstractItemModel::dataChanged, this, remeasure);
    measureAll();
}

void WidestRowDelegate::measureAll() {
    slice_.stop();
    const int rows = model_->rowCount();
    if (measuredEnd_ < rows) measure(measuredEnd_, rows - 1);
    measuredEnd_ = rows;
}

void WidestRowDelegate::measureSome() {
    constexpr qint64 kSliceMs = 8;
    constexpr int kRowsBetweenLooks = 256;
    QElapsedTimer spent;
    spent.start();
    const int rows = model_->rowCount();
    while (measuredEnd_ < rows && spent.elapsed() < kSliceMs) {
        const int last = std::min(rows, measuredEnd_ + kRowsBetweenLooks) - 1;
        measure(measuredEnd_, last);
        measuredEnd_ = last + 1;
    }
    if (measuredEnd_ < rows) slice_.start(0);
}

void WidestRowDelegate::measure(int first, int last) {
    const QAbstractItemModel* model = model_;
    const QFontMetrics metrics(static_cast<const QWidget*>(view_)->font());
    const int before = widestRow_;
    if (widestRow_ >= first) widestRow_ += last - first + 1;  // rows inserted above it
    for (int row = first; row <= last; ++row) {
        const int width = metrics.horizontalAdvance(model->index(row, 0).data().toString());
        if (width > widestWidth_) {
            widestWidth_ = width;
            widestRow_ = row;
        }
    }
    // A view with uniform item sizes keeps the size it measured until it is laid out again.
    if (widestRow_ != before && widestRow_ >= 0)
        Q_EMIT sizeHintChanged(model->index(widestRow_, 0));
}

QSize WidestRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QAbstractItemModel* model = index.model();
    if (!model || widestRow_ < 0 || widestRow_ >= model->rowCount(index.parent()))
        return QStyledItemDelegate::sizeHint(option, index);
    return QStyledItemDelegate::sizeHint(option,
                                         model->index(widestRow_, index.column(), index.parent()));
}

void keepLastLineInView(QAbstractItemView* view, std::function<bool()> always) {
    QScrollBar* bar = view->verticalScrollBar();
    auto atEnd = std::make_shared<bool>(true);
    QObject::connect(bar, &QScrollBar::valueChanged, view,
                     [bar, atEnd](int value) { *atEnd = value >= bar->maximum(); });
    QObject::connect(bar, &QScrollBar::rangeChanged, view,
                     [bar, atEnd, always = std::move(always)](int, int max) {
                         if (*atEnd || (always && always())) bar->setValue(max);
                     });
}

}  // namespace qv
