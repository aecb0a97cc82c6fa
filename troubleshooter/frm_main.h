#pragma once

#include <QRect>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "troubleshooter/environment.h"
#include "widgets/qt_dialogs.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qv::troubleshooter {

// What the troubleshooter gathers at start and keeps for the whole run.
struct Module1 {
    std::string strCacheFolder;
    std::string strWinVersion;
    std::string strInstallPath;
    std::vector<std::string> LogLines;  // the run log's lines in file order
    std::string logNote;                // why there are none, when InstallPath names a folder
    std::size_t lngLogCount() const { return LogLines.size(); }
};

// What the troubleshooter's window reaches outside itself; tests replace these.
struct Services {
    std::function<bool(const QUrl&)> openUrl;  // QDesktopServices::openUrl when empty
    CEnvironment::VersionQuery versionQuery;   // the kernel's answer when empty
    FileSystem* fs = nullptr;                  // the real file system when null
    // Asks where to save the report when its own place cannot be written; a save dialog
    // starting at the suggested path when empty. The empty text is a cancel.
    std::function<std::string(const std::string& suggested)> pickReportFile;
};

// The troubleshooter's one window: what the registry says, the cache index and folder, and
// the report with its mail link.
class frmMain final : public QWidget {
    Q_OBJECT

  public:
    explicit frmMain(Services services = {}, QWidget* parent = nullptr);

    // The start-up sequence; the window is shown after it.
    void Form_Load();

    const Module1& module1() const { return m_; }
    const std::vector<std::string>& cacheIniEntries() const { return cacheIniEntries_; }
    const std::vector<std::string>& cacheDirEntries() const { return cacheDirEntries_; }
    // The 8-bit texts the two read-only boxes show.
    const std::string& utRegDirText() const { return utRegDirText_; }
    const std::string& cacheRegDirText() const { return cacheRegDirText_; }
    // $HOME/CacheInfo.txt, and the same as the user knows it ("~/CacheInfo.txt").
    const std::string& reportPath() const { return reportPath_; }
    std::string reportPathShown() const;
    // The mail link that cmdMail opens.
    std::string mailLink() const;

  public Q_SLOTS:
    void cmdViewLog_Click();
    void cmdSetUT_Click();
    void cmdReset_Click();
    void cmdSave_Click();
    void cmdMail_Click();
    void cmdExit_Click();

  protected:
    // The boxes, rules and lists follow the window's width, the lists share its height.
    void resizeEvent(QResizeEvent* event) override;

  private:
    // How a control follows the window as it grows or shrinks from its designed size.
    enum Follow : int {
        Wider = 1,
        ToRight = 2,
        Taller = 4,
        HalfLower = 8,
        HalfTaller = 16,
        Lower = 32
    };
    struct Placed {
        QWidget* widget;
        QRect designed;
        int follow;
    };
    void buildControls();
    void fitScreen();         // the designed size, within the screen
    void showReportTarget();  // cmdSave's caption and tooltip name where the report goes
    std::string pickReportFile();
    void setUtRegDir(std::string text);
    void setCacheRegDir(std::string text);
    void message(const std::string& text);
    void fillList(QListWidget* list, const std::vector<std::string>& entries);

    void ReadUTRegistry();
    void SetUTFolder(bool mustChoose);
    void ReadQuorvelRegistry();
    void ChooseCacheFolder();
    bool LoadCacheIni();
    bool ListCacheDir();
    void ReadOsName();
    void LoadLog();
    void ResetQuorvelRegistry();
    void MailInfo();

    Services services_;
    FileSystem& fs_;
    QtDialogs dialogs_;
    Module1 m_;
    std::string reportFolder_;
    std::string reportPath_;
    std::string utRegDirText_;
    std::string cacheRegDirText_;
    std::vector<std::string> cacheIniEntries_;
    std::vector<std::string> cacheDirEntries_;

    QLabel* Label1 = nullptr;
    QLineEdit* txtUTRegDir = nullptr;
    QPushButton* cmdSetUT = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtCacheRegDir = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdViewLog = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* lstCacheINI = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* lstCacheDir = nullptr;
    QLabel* lblSaved = nullptr;  // confirms a save
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdMail = nullptr;
    QPushButton* cmdExit = nullptr;
    std::vector<Placed> placed_;
    QSize designed_;
};

}  // namespace qv::troubleshooter
