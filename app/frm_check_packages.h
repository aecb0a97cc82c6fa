#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "app/preview_panel.h"
#include "engine/package_check.h"

class QListWidget;
class QPushButton;
class QLabel;

namespace qv {

class Dialogs;
class FileSystem;

// Tools > "Check Packages...": what the check found (needed packages found nowhere, damaged
// packages, cache files without an index line), and a button that puts the lines a run journal
// or cachebak.ini still holds back into cache.ini, after a question.
class frmCheckPackages final : public QDialog {
    Q_OBJECT
  public:
    frmCheckPackages(CheckPlaces places, CheckReport report, FileSystem& fs, Dialogs& dialogs,
                     QWidget* parent = nullptr);

    QListWidget* results() const { return lstResults; }
    PreviewPanel* preview() const { return preview_; }

  public Q_SLOTS:
    void cmdRestore_Click();

  private:
    void fill();

    CheckPlaces places_;
    CheckReport report_;
    FileSystem& fs_;
    Dialogs& dialogs_;
    QLabel* lblSummary = nullptr;
    QListWidget* lstResults = nullptr;
    QPushButton* cmdRestore = nullptr;
    QPushButton* cmdClose = nullptr;
    PreviewPanel* preview_ = nullptr;
    std::vector<PreviewRequest> rowPackages_;  // the package each result row is about
};

}  // namespace qv
