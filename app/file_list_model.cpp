#include "app/file_list_model.h"

#include <algorithm>
#include <numeric>

#include "widgets/display.h"

namespace qv {

namespace {

constexpr int kColumns = 5;

// Text order as the list compares it: byte by byte with ASCII letters folded to one case.
int compareText(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// The Package column: a damaged or unreadable package with its reason, a whole one's version.
std::string packageCellText(const PackageFacts& f) {
    switch (f.condition) {
        case PackageCondition::Damaged:
            return "damaged (" + f.reason + ")";
        case PackageCondition::Unreadable:
            return "unreadable (" + f.reason + ")";
        case PackageCondition::Whole:
            return "version " + std::to_string(f.version);
        case PackageCondition::NoFile:
            return "no file";
        default:
            return {};
    }
}

// Rows the header pass leaves unchecked: a damaged package never moves, and a line without its
// cache file has nothing to move.
bool neverChecked(const PackageFacts& f) {
    return f.condition == PackageCondition::Damaged || f.condition == PackageCondition::NoFile;
}

}  // namespace

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

std::string FileListModel::cellText(const FileRow& row, int column) const {
    switch (column) {
        case FileName:
            return row.text;
        case Date:
            return row.date;
        case NeverMove:
            return row.neverMove ? "True" : "";
        case Installed:
            if (row.entry < plan_.size()) return plan_[row.entry].installed;
            return factsOf(row) ? installedText(factsOf(row)->installed) : "";
        case Package:
            return factsOf(row) ? packageCellText(*factsOf(row)) : "";
        default:
            return {};
    }
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FileRow& row = rowAt(index.row());
    if (role == Qt::DisplayRole) return displayText(cellText(row, index.column()));
    if (role == Qt::CheckStateRole && index.column() == FileName)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && row.entry < plan_.size() &&
        plan_[row.entry].action == RowAction::Keep && !plan_[row.entry].reason.empty() &&
        !(factsOf(row) && factsOf(row)->condition == PackageCondition::Damaged))
        return displayText(row.text + " stays in the cache (" + plan_[row.entry].reason +
                           (row.checked ? "); checked, the run still keeps it" : ")"));
    if (role == Qt::ToolTipRole && factsOf(row)) {
        const PackageFacts& f = *factsOf(row);
        if (f.condition == PackageCondition::Damaged)
            return displayText(row.text + " is damaged (" + f.reason + ") and stays in the cache");
        if (f.condition == PackageCondition::NoFile)
            return displayText(row.text +
                               " has no file in the cache; checked, a run drops its line from "
                               "cache.ini");
        if (f.installed == InstalledVersion::Other)
            return displayText(f.installedPath + " is another version of it");
    }
    return {};
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (locked_ || role != Qt::CheckStateRole || index.column() != FileName ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    FileRow& row = rows_[scanRowOf(index.row())];
    const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
    if (row.checked != checked) {
        row.checked = checked;
        Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
        Q_EMIT checksChanged();
    }
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case FileName:
            return QStringLiteral("File Name");
        case Date:
            return QStringLiteral("Date");
        case NeverMove:
            return QStringLiteral("Never Move?");
        case Installed:
            return QStringLiteral("Installed");
        case Package:
            return QStringLiteral("Package");
        default:
            return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (locked_) return f;
    f |= Qt::ItemIsEnabled;
    if (index.column() == FileName) f |= Qt::ItemIsUserCheckable;
    return f;
}

void FileListModel::setLocked(bool locked) {
    if (locked_ == locked) return;
    locked_ = locked;
    if (!order_.empty()) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

void FileListModel::setRows(std::vector<FileRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    facts_.clear();
    plan_.clear();
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    if (sorted_) applySort();
    endResetModel();
}

void FileListModel::clear() {
    setRows({});
}

void FileListModel::emitColumnChanged(int column) {
    if (order_.empty()) return;
    Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column));
}

void FileListModel::setFacts(std::size_t first, const std::vector<PackageFacts>& facts) {
    if (facts_.size() < first + facts.size()) facts_.resize(first + facts.size());
    std::copy(facts.begin(), facts.end(), facts_.begin() + static_cast<std::ptrdiff_t>(first));
    bool unchecked = false;
    // The rows stand in entry order, so the batch's rows are found by their positions.
    for (std::size_t r = first; r < std::min(rows_.size(), first + facts.size()); ++r) {
        FileRow& row = rows_[r];
        if (row.checked && row.entry < facts_.size() && neverChecked(facts_[row.entry]))
            row.checked = false, unchecked = true;
    }
    if (order_.empty()) return;
    Q_EMIT dataChanged(index(0, unchecked ? FileName : Installed),
                       index(rowCount() - 1, kColumns - 1));
}

void FileListModel::setAllChecked(bool checked) {
    for (FileRow& row : rows_) row.checked = checked;
    emitColumnChanged(FileName);
    Q_EMIT checksChanged();
}

void FileListModel::markNeverMove(const std::vector<std::string>& names) {
    MarkNeverMoveItems(rows_, names);
    if (order_.empty()) return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

void FileListModel::setPlan(const std::vector<FileRow>& rows, std::vector<RowPlan> plan) {
    plan_ = std::move(plan);
    // The rows are in index order here as there: the same positions.
    for (std::size_t r = 0; r < std::min(rows.size(), rows_.size()); ++r)
        if (rows_[r].entry == rows[r].entry) rows_[r].checked = rows[r].checked;
    if (order_.empty()) return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

std::size_t FileListModel::toProcess() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [&](const FileRow& r) {
            if (!r.checked || r.entry >= plan_.size()) return false;
            return plan_[r.entry].action == RowAction::Move ||
                   plan_[r.entry].action == RowAction::Remove;
        }));
}

std::vector<std::size_t> FileListModel::checkedEntries() const {
    std::vector<std::size_t> entries;
    for (const FileRow& row : rows_)
        if (row.checked) entries.push_back(row.entry);
    return entries;
}

std::unordered_map<std::size_t, std::string> FileListModel::stayReasons() const {
    std::unordered_map<std::size_t, std::string> reasons;
    for (const FileRow& row : rows_)
        if (const PackageFacts* f = factsOf(row); !row.checked && f &&
                                                  (f->condition == PackageCondition::Damaged ||
                                                   f->condition == PackageCondition::Unreadable))
            reasons.emplace(row.entry, packageCellText(*f));
    return reasons;
}

std::size_t FileListModel::checkedCount() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const FileRow& r) { return r.checked; }));
}

void FileListModel::applySort() {
    const int column = sortColumn_;
    const bool ascending = sortOrder_ == Qt::AscendingOrder;
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const int c = compareText(cellText(rows_[a], column), cellText(rows_[b], column));
        return ascending ? c < 0 : c > 0;
    });
}

void FileListModel::sortByColumnClick(int column) {
    if (column < 0 || column >= kColumns) return;
    sortColumn_ = column;
    sortOrder_ = sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sorted_ = true;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> scanRows;
    scanRows.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before) scanRows.push_back(scanRowOf(i.row()));

    applySort();

    std::vector<int> viewRowOf(order_.size());
    for (std::size_t v = 0; v < order_.size(); ++v) viewRowOf[order_[v]] = static_cast<int>(v);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(
            index(viewRowOf[scanRows[static_cast<std::size_t>(i)]], before[i].column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace qv
