#pragma once

#include <QAbstractItemModel>
#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "app/preview_panel.h"
#include "engine/maintenance/package_check.h"

class QTreeView;
class QPushButton;
class QLabel;

namespace qv {

class Dialogs;
class FileSystem;

// What the check window shows, made on the worker thread: the report and its needs grouped by
// the package needed.
struct CheckResults {
    CheckReport report;
    std::vector<MissingPackage> missing;
    std::size_t saved = 0;  // cache files without a line whose line a journal or backup holds
};
CheckResults makeCheckResults(CheckReport report);

// The check's list: a row per missing package (the packages that need it beneath), then the
// damaged packages and the cache files without an index line.
class CheckResultsModel final : public QAbstractItemModel {
  public:
    explicit CheckResultsModel(QObject* parent) : QAbstractItemModel(parent) {}
    void setResults(const CheckResults* results);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    QString topText(int row) const;
    const CheckResults* r_ = nullptr;
};

// Tools > "Check Packages...": what the check found (needed packages found nowhere, damaged
// packages, cache files without an index line), and a button that puts the lines a run journal
// or cachebak.ini still holds back into cache.ini, after a question.
class frmCheckPackages final : public QDialog {
    Q_OBJECT
  public:
    frmCheckPackages(CheckPlaces places, CheckResults results, FileSystem& fs, Dialogs& dialogs,
                     QWidget* parent = nullptr);

    QTreeView* results() const { return trvResults; }
    QString summary() const;
    PreviewPanel* preview() const { return preview_; }

  public Q_SLOTS:
    void cmdRestore_Click();

  private:
    void fill();
    void fitScreen();
    // The package a result row is about (none for a missing package).
    std::optional<PreviewRequest> packageOf(const QModelIndex& row) const;

    CheckPlaces places_;
    CheckResults results_;
    FileSystem& fs_;
    Dialogs& dialogs_;
    CheckResultsModel* model_ = nullptr;
    QLabel* lblSummary = nullptr;
    QTreeView* trvResults = nullptr;
    QPushButton* cmdRestore = nullptr;
    QPushButton* cmdClose = nullptr;
    PreviewPanel* preview_ = nullptr;
};

}  // namespace qv
