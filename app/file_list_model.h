#pragma once

#include <QAbstractTableModel>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/run/list_plan.h"

namespace qv {

// The file list (ListView1) over the scan's rows. The rows keep the index's bytes; the model
// decodes them for display only. Sorting changes the order in which the view shows the rows,
// never the rows themselves, so every view row refers back to its scan row by position.
class FileListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { FileName = 0, Date = 1, NeverMove = 2, Installed = 3, Package = 4 };

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Replaces every row (the scan's result, in index order); a sorted list stays sorted.
    void setRows(std::vector<FileRow> rows);
    void clear();

    // The scan rows in index order, and the one a view row shows.
    const std::vector<FileRow>& rows() const { return rows_; }
    std::size_t scanRowOf(int viewRow) const {
        return order_.at(static_cast<std::size_t>(viewRow));
    }
    const FileRow& rowAt(int viewRow) const { return rows_[scanRowOf(viewRow)]; }

    // What the header pass found for entries [first, first + facts.size()): fills the Installed
    // and Package columns; the row of a damaged package, or of a line without its cache file,
    // is unchecked, as it never moves.
    void setFacts(std::size_t first, const std::vector<PackageFacts>& facts);
    const PackageFacts* factsOf(const FileRow& row) const {
        return row.entry < facts_.size() ? &facts_[row.entry] : nullptr;
    }

    // The plan of a run of the rows the rules checked (planRows): each row checked as that run
    // acts on it (`rows`, in index order, as planRows left them), with the action and reason of
    // each entry. Checking a row the plan keeps does not make the run move it; the row says so.
    void setPlan(const std::vector<FileRow>& rows, std::vector<RowPlan> plan);
    // The checked rows the run moves or whose cache copy it removes, by the plan.
    std::size_t toProcess() const;
    bool hasPlan() const { return !plan_.empty(); }

    void setAllChecked(bool checked);
    // While a run goes on the check boxes show disabled and take no change.
    void setLocked(bool locked);
    bool isLocked() const { return locked_; }
    // Unchecks and marks every row on the never-move list; clears the mark of the others.
    void markNeverMove(const std::vector<std::string>& names);

    // The entry-table positions of the checked rows: what the run is told to place.
    std::vector<std::size_t> checkedEntries() const;
    std::size_t checkedCount() const;
    // Why each unchecked damaged or unreadable package stays ("damaged (<reason>)"), by entry.
    std::unordered_map<std::size_t, std::string> stayReasons() const;

    // A header click: sort by that column and flip the one order the whole list keeps.
    void sortByColumnClick(int column);
    bool isSorted() const { return sorted_; }
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

  Q_SIGNALS:
    // A check box was set or cleared by the user (one row, or all of them).
    void checksChanged();

  private:
    std::string cellText(const FileRow& row, int column) const;
    void applySort();
    void emitColumnChanged(int column);

    std::vector<FileRow> rows_;
    std::vector<PackageFacts> facts_;  // by entry; empty until the header pass fills it
    std::vector<RowPlan> plan_;        // by entry; empty until the plan is made
    std::vector<std::size_t> order_;   // view row -> scan row
    bool sorted_ = false;
    bool locked_ = false;
    int sortColumn_ = FileName;
    // Flipped before each sort, so the first click sorts ascending.
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};

}  // namespace qv
