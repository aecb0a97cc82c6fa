#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/cache/package_facts.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "settings/program_files.h"
#include "settings/program_settings.h"
#include "widgets/qt_dialogs.h"
#include "widgets/worker_thread.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QHelpEvent;
class QLabel;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QThreadPool;
class QTreeView;

namespace qv {

class ByteLineEdit;
class FileListModel;
class PreviewPanel;
struct RunResult;
class LineListModel;
class FileSystem;

void setRunButtonColour(QPushButton* button);

// What the main window reaches outside itself; tests replace these.
struct frmMainServices {
    std::function<bool(const QUrl&)> openUrl;  // QDesktopServices::openUrl when empty
    FileSystem* fs = nullptr;                  // the real file system when null
};

// The main program's window: the Status, File List, Options and Never Move tabs, the Run and
// Exit buttons, the menus and the status bar. Every control carries its name as its object
// name. One slot per control event; each gathers its inputs from the controls, calls the
// engine and shows the result.
class frmMain final : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmMain(std::string programFolder, frmMainServices services = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up. False when a required file beside the program is missing: the two messages
    // have been shown and the program must end without showing the window.
    bool Form_Load();

    // Shutdown: saves the options once, whichever way out was taken, and closes the other
    // windows. Closing the window runs it.
    void Form_Unload();

    // The file list (ListView1), the shared state and the choices the controls hold.
    FileListModel* fileList() const { return model_; }
    LineListModel* statusList() const { return statusModel_; }  // List1's lines
    PublicVariables& publicVariables() { return pv_; }
    Options currentOptions() const;
    const std::string& cacheDir() const { return cacheDir_; }                    // lblCacheDir
    const std::vector<std::string>& neverMoveItems() const { return nmItems_; }  // lstNM
    bool isBusy() const { return busy_ > 0; }
    // The work waits at a package boundary while the stop-and-quit question is up.
    bool isHeld() const;
    const std::string& programFolder() const { return programFolder_; }

  public Q_SLOTS:
    // Window and File List tab.
    void cmdRun_Click();
    void cmdExit_Click();
    void cmdRescan_Click();
    void cmdCheck_Click();
    void cmdUncheck_Click();
    void cmdCacheDir_Click();
    void ListView1_ColumnClick(int column);
    void ListView1_MouseUp(Qt::MouseButton button);
    void Timer1_Timer();

    // Options tab.
    void optSelectAll_Click();
    void optSelectOnly_Click();
    void chkU_Click();
    void chkUAX_Click();
    void chkUMX_Click();
    void chkUNR_Click();
    void chkUTX_Click();
    void cmdCommitFileTypes_Click();
    void optMoveNorm_Click();
    void optMoveDir_Click();
    void optMoveDir2_Click();
    void cmdMoveDir_Click();
    void cmdMoveDir2_Click();
    void cmdSetPurge_Click();
    void cmdDelCacheTmp_Click();
    void cmdPurgeNow_Click();
    // Beside the progress bar while a run or purge goes on: it ends after the current package.
    void cmdStop_Click();

    // Never Move tab.
    void cmdNMAdd_Click();
    void cmdNMRemove_Click();
    void cmdNMSave_Click();

    // Menus.
    void mnuFileRun_Click();
    void mnuFileExit_Click();
    void mnuToolsCheckForUpdates_Click();
    void mnuToolsEdit_Click();
    void mnuToolsSetUT_Click();
    void mnuToolsView_Click();
    void mnuToolsUndo_Click();
    void mnuToolsCheckPackages_Click();  // frm_main_packages.cpp
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

  public:
    // Puts the commit reminder into lblRemind and switches Timer1 on or off.
    void ShowReminder(bool enable);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    class WindowSink;
    // One operation (run, purge, scan, never-move save) at a time: while a guard lives, the
    // commands that would start another are disabled; a close asked for meanwhile waits.
    class OperationGuard final {
      public:
        explicit OperationGuard(frmMain& w);
        ~OperationGuard();
        OperationGuard(const OperationGuard&) = delete;
        OperationGuard& operator=(const OperationGuard&) = delete;
        // When it ends, the focus goes to the list in view, where a key starts nothing (a
        // Space on Run would start the next run at once).
        void focusListAfter() { focusList_ = true; }

      private:
        frmMain& w_;
        bool focusList_ = false;
        // The control that had the keyboard focus when the operation disabled it.
        QPointer<QWidget> disabledFocus_;
    };

    // frm_main_ui.cpp: the controls and their connections.
    void buildControls();
    QWidget* buildStatusTab();
    QWidget* buildFileListTab();
    QWidget* buildOptionsTab();
    QLabel* buildReminderLabel();
    QGroupBox* buildFileSelectionFrame();
    QGroupBox* buildFileProcessingFrame();
    QGroupBox* buildMiscFrame();
    QWidget* buildNeverMoveTab();
    void buildMenus();
    void buildStatusBar();
    void connectControls();
    void connectKeys();
    void sizeFileListColumns();
    void givePreviewRoomToList(int missing);
    // frm_main_preview.cpp: the list beside the preview of its selected row.
    QWidget* withPreview(QTreeView* list);
    void previewRow(const QModelIndex& current);
    bool showCutNameTip(const QHelpEvent* event);

    // frm_main.cpp.
    bool checkRequiredFiles();
    void keepOnScreen();
    void applyOptions(const Options& options);
    void applySelectionRules();
    void setCacheDir(std::string dir);
    void updateCommandStates();
    void updateClock();
    void ScanCache();
    void rescan();                                // the re-scan itself, inside an operation
    void showRunResult(const RunResult& result);  // the status line (and list) after a run
    // frm_main_gamewatch.cpp: the game looked for while the window is open, and the status bar's
    // idle text: the count of files to process, and whether the game is running.
    void startGameWatch();
    void stopGameWatch();
    void lookForGame();
    void showCount(const QString& text);
    void showGameState(const std::string& line, const std::string& brief);
    void showIdleStatus();
    // frm_main_packages.cpp: the header pass after a scan, filling the list's package columns.
    void fillPackageColumns();
    void typeBoxClicked();
    void fillNeverMoveBox(const std::vector<std::string>& names);
    void reloadNeverMoveList();  // load and mark under the busy window
    std::string pickerStart(const std::string& named) const;
    bool openFile(const std::string& path);
    bool openInEditor(const std::string& path);
    void message(const std::string& text);
    // Runs an engine operation on the worker thread; the window goes on painting and taking
    // clicks (Stop, a close that waits) until it has ended, then shows its last lines.
    void onWorker(const std::function<void()>& job);
    // `work` ("run", "purge", "undo"): Stop shows once its progress comes, and a close asks to
    // stop it; null: Stop hides.
    void offerStop(const char* work);
    void showProgress(std::size_t done, std::size_t total);
    void showBusyBar(const QString& text);  // a moving bar and a busy cursor while it reads
    void endBusyBar();
    bool askToStopAndQuit();
    // The list in view: the file list, or the status list when the Status tab shows.
    QWidget* listInView() const;
    StatusSink& sink();
    ProgramFiles files() const;         // where Quorvel.ini, the never-move list and the log are
    std::string neverMoveFile() const;  // the list to read
    // The list to write (the user's copy, made from the shipped one when there is none yet);
    // a failure to make it comes back in the status.
    Status prepareNeverMoveFile(std::string& path);
    // Writes the never-move file with `write`, then reads it back into the window; a file that
    // cannot be written is named in a message that begins with `failure`.
    void updateNeverMoveFile(const std::function<Status(const std::string& file)>& write,
                             const std::string& failure);
    QString programFolderText() const;

    std::string programFolder_;
    frmMainServices services_;
    FileSystem& fs_;
    QtDialogs dialogs_;
    GuiThreadDialogs workerDialogs_;  // dialogs_ on the GUI thread, for the engine's questions
    std::atomic<bool> stop_{false};
    EngineContext ctx_;
    PublicVariables pv_;
    HeaderCache headers_;        // the header pass's results, kept across re-scans
    WholeHeaders wholeHeaders_;  // the whole packages of the last pass, for the run
    std::unique_ptr<WindowSink> sink_;
    std::string cacheDir_;
    std::vector<std::string> nmItems_;  // lstNM's items as bytes
    int busy_ = 0;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool closePending_ = false;
    bool closeAsked_ = false;     // the stop-and-quit question is up
    const char* work_ = nullptr;  // the stoppable work going on
    std::string gameLine_;        // the last "the game is running" line of the status list
    QString gameBrief_;           // the status bar's form of it; "" when the game is not running
    QString countText_;           // "Found N files to process" of the last scan
    QTimer* gameWatch_ = nullptr;
    QThreadPool* gameLook_ = nullptr;  // one look at a time, off the window's thread

    // Status tab.
    QTabWidget* SSTab1 = nullptr;
    QLabel* Label1 = nullptr;
    QListView* List1 = nullptr;
    LineListModel* statusModel_ = nullptr;
    // File List tab.
    QLabel* Label6 = nullptr;
    QLabel* lblCacheDir = nullptr;
    QPushButton* cmdCacheDir = nullptr;
    QTreeView* ListView1 = nullptr;
    FileListModel* model_ = nullptr;
    PreviewPanel* preview_ = nullptr;
    QPushButton* cmdCheck = nullptr;
    QPushButton* cmdUncheck = nullptr;
    QPushButton* cmdRescan = nullptr;
    // Options tab.
    QLabel* lblRemind = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optSelectAll = nullptr;
    QRadioButton* optSelectOnly = nullptr;
    QCheckBox* chkU = nullptr;
    QCheckBox* chkUAX = nullptr;
    QCheckBox* chkUMX = nullptr;
    QCheckBox* chkUNR = nullptr;
    QCheckBox* chkUTX = nullptr;
    QPushButton* cmdCommitFileTypes = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optMoveNorm = nullptr;
    QRadioButton* optMoveDir = nullptr;
    ByteLineEdit* txtMoveDir = nullptr;
    QPushButton* cmdMoveDir = nullptr;
    QRadioButton* optMoveDir2 = nullptr;
    ByteLineEdit* txtMoveDir2 = nullptr;
    QPushButton* cmdMoveDir2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    ByteLineEdit* txtPurgeCacheDays = nullptr;
    QPushButton* cmdSetPurge = nullptr;
    QPushButton* cmdDelCacheTmp = nullptr;
    QPushButton* cmdPurgeNow = nullptr;
    // Never Move tab.
    QGroupBox* Frame5 = nullptr;
    ByteLineEdit* txtNMAdd = nullptr;
    QPushButton* cmdNMAdd = nullptr;
    QGroupBox* Frame4 = nullptr;
    QListWidget* lstNM = nullptr;
    QPushButton* cmdNMRemove = nullptr;
    QPushButton* cmdNMSave = nullptr;
    // Outside the tabs.
    QPushButton* cmdRun = nullptr;
    QPushButton* cmdExit = nullptr;
    QLabel* lblUTName = nullptr;
    QLabel* Label5 = nullptr;
    QTimer* Timer1 = nullptr;
    // Status bar: date, time, text, and the run's progress.
    QLabel* sbrDate = nullptr;
    QLabel* sbrTime = nullptr;
    QLabel* sbrText = nullptr;
    QProgressBar* sbrProgress = nullptr;
    QPushButton* cmdStop = nullptr;
    QTimer* clock_ = nullptr;
    // Menus.
    QAction* mnuFileRun = nullptr;
    QAction* mnuFileExit = nullptr;
    QAction* mnuToolsCheckForUpdates = nullptr;
    QAction* mnuToolsEdit = nullptr;
    QAction* mnuToolsSetUT = nullptr;
    QAction* mnuToolsView = nullptr;
    QAction* mnuToolsUndo = nullptr;
    QAction* mnuToolsCheckPackages = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpAbout = nullptr;
};

}  // namespace qv
