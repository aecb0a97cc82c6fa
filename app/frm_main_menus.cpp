// The Tools and Help menus.

#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>

#include "app/frm_about.h"
#include "app/frm_help.h"
#include "app/frm_main.h"
#include "app/maker.h"
#include "engine/undo.h"
#include "platform/filesystem.h"
#include "settings/cls_registry.h"
#include "widgets/display.h"

namespace qv {

void frmMain::mnuToolsCheckForUpdates_Click() {
    const QUrl page(QString::fromLatin1(kUpdatePage));
    const bool opened =
        services_.openUrl ? services_.openUrl(page) : QDesktopServices::openUrl(page);
    if (!opened)
        message(std::string("No web browser could be started to open ") + kUpdatePage + ".");
}

bool frmMain::openInEditor(const std::string& path) {
    if (openFile(path)) return true;
    message("No text editor could be started to open " + path + ".");
    return false;
}

void frmMain::mnuToolsEdit_Click() {
    // An installed copy's Quorvel.ini cannot be changed in place: the user edits a copy of his
    // own, which is read from then on.
    const ProgramFiles f = files();
    if (const Status s = makeUserCopy(f.shippedSettingsFile, f.userSettingsFile, fs_); !s) {
        message("Quorvel.ini could not be copied to " + f.userSettingsFile + " (" + s.text + ")");
        return;
    }
    openInEditor(f.userSettingsFile);
}

void frmMain::mnuToolsView_Click() {
    const std::string log = files().runLog;
    if (!fs_.isFile(log)) {
        message("There is no run log yet: " + log + " is written by the first run.");
        return;
    }
    openInEditor(log);
}

void frmMain::mnuToolsUndo_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    // Reading the journals of large runs and looking at each package takes a moment: not on the
    // window's thread.
    UndoResult preview;
    onWorker([&] { preview = PreviewUndo(pv_.ProgramFolder, "", fs_); });
    if (preview.outcome != UndoOutcome::DryRun) {
        message("There is no run to undo.");
        return;
    }
    const auto packages = [](std::size_t n) {
        return std::to_string(n) + (n == 1 ? " package" : " packages");
    };
    std::string question = packages(preview.restored) + " of the last run will go back into " +
                           preview.cacheDir + ", with their lines in CACHE.INI.";
    if (preview.stayed > 0)
        question.append("\n")
            .append(packages(preview.stayed))
            .append(" changed, moved or deleted since the run will stay where they are.");
    question += "\n\nUndo the last run?";
    if (!dialogs_.askYesNoDefaultNo(kProgramTitle, question)) return;

    SSTab1->setCurrentIndex(0);  // "Status"
    sbrText->setText(QStringLiteral("Undoing the last run..."));
    // The run the question was about, even if another was recorded meanwhile.
    UndoResult r;
    onWorker([&] { r = UndoRun({pv_.ProgramFolder, preview.runId, false}, ctx_, sink()); });
    sbrProgress->hide();  // as after a run: the status line says how far it got
    if (r.outcome != UndoOutcome::Done) {
        sbrText->setText(QStringLiteral("Undo stopped: nothing was moved back"));
        return;
    }
    setCacheDir(r.cacheDir);
    rescan();
    std::string done = "Undo: " + packages(r.restored) + " moved back";
    if (r.stayed > 0) done += ", " + std::to_string(r.stayed) + " stayed";
    if (r.failed > 0) done += ", " + std::to_string(r.failed) + " could not be moved back";
    sbrText->setText(displayText(done));
}

void frmMain::mnuToolsSetUT_Click() {
    if (busy_ > 0) return;
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs_);
    dialogs_.startNextPickIn(pv_.GameDir);
    if (!SetGameFolder(false, gameKey, dialogs_)) return;  // cancelled: nothing changes
    pv_.GameDir = gameKey.ReadEntry("Folder", "");
    // The new cache folder takes effect at the next scan.
    if (!pv_.GameDir.empty() && pv_.GameDir.back() == '/')
        setCacheDir(pv_.GameDir + "Cache");
    else
        setCacheDir(pv_.GameDir + "/Cache");
}

void frmMain::mnuHelpContents_Click() {
    // The HTML pages open in any browser; the compiled help needs a CHM viewer, which few Linux
    // desktops have, so it is only the fallback.
    const std::string html = programFolder_ + "/" + kHelpIndex;
    const std::string chm = programFolder_ + "/" + kHelpChm;
    const std::string help = !fs_.isFile(html) && fs_.isFile(chm) ? chm : html;
    if (openFile(help)) return;
    // Without a browser the HTML pages show in a window of our own.
    if (help == html) {
        auto* window = new frmHelp(QString::fromLocal8Bit(html), services_.openUrl, this);
        window->show();
        return;
    }
    message("No browser or help viewer could be started to show " + help + ".");
}

void frmMain::mnuHelpAbout_Click() {
    frmAbout::showAbout(programFolderText(), this);
}

}  // namespace qv
