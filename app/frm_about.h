#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "app/event_sound.h"

class QLabel;
class QPushButton;

namespace qv {

// The about window's description, line ends as written.
extern const char* const kAboutDescription;

// The about window: title, version, description, the maker's mail and web links, the
// system-information button, and a chime on a click on its background. One at a time: see
// showAbout.
class frmAbout final : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(const QString& programFolder, QWidget* owner = nullptr);
    ~frmAbout() override;

    // Shows the about window without waiting for it; when one is open already, that one is
    // shown again and brought to the front. Returns the window (deleted when closed).
    static frmAbout* showAbout(const QString& programFolder, QWidget* owner);
    // The open about window, or nullptr.
    static frmAbout* openWindow();

    // Starts the system-information program: the registry's MSINFO "PATH" value, then its
    // "Shared Tools Location" MSINFO folder + "/MSINFO32.EXE", then the first of
    // sysInfoPrograms() found on PATH; else "System Information Is Unavailable At This Time".
    // Returns the program started, or "" when none could be.
    QString StartSysInfo();
    static QStringList sysInfoPrograms();

  public Q_SLOTS:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void lblEmail_Click();
    void lblWebsite_Click();
    // A click on the window's background: the chime e.wav through the desktop's event sounds,
    // without waiting; the system beep when the file is missing or cannot be played. Returns
    // true when the file was there to play.
    bool Form_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void layOut(bool narrow);

    QString programFolder_;
    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* Label1;
    QLabel* lblEmail;
    QLabel* Label2;
    QLabel* lblWebsite;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
    std::unique_ptr<EventSound> sound_;
};

}  // namespace qv
