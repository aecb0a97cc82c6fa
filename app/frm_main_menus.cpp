// The Tools and Help menus.

#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>

#include "app/frm_about.h"
#include "app/frm_help.h"
#include "app/frm_main.h"
#include "app/maker.h"
#include "engine/game_check.h"
#include "engine/run/run_journal.h"
#include "engine/run/undo.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "widgets/desktop_open.h"
#include "widgets/display.h"

namespace qv {

void frmMain::mnuToolsCheckForUpdates_Click() {
    const QUrl page(QString::fromLatin1(kUpdatePage));
    const bool opened = services_.openUrl ? services_.openUrl(page) : openOnDesktop(page);
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

namespace {

std::string packagesText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " package" : " packages");
}

// The undo question: which run, what goes back, what stays.
std::string undoQuestion(const UndoResult& preview, const std::string& cacheDir) {
    const QString when = QDateTime::fromSecsSinceEpoch(preview.started)
                             .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    std::string question = "The last run on " + cacheDir + " is run " + preview.runId + " of " +
                           when.toStdString() + ".\n" + packagesText(preview.restored) +
                           " of it will go back into the cache, with " +
                           (preview.restored == 1 ? "its line" : "their lines") + " in CACHE.INI.";
    if (preview.stayed > 0)
        question.append("\n")
            .append(packagesText(preview.stayed))
            .append(" changed, moved or deleted since the run will stay where they are.");
    return question + "\n\nUndo this run?";
}

}  // namespace

void frmMain::mnuToolsUndo_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    guard.focusListAfter();
    // Reading the journals of large runs and looking at each package takes a moment: not on the
    // window's thread, and the window says it is at work meanwhile.
    const QString before = sbrText->text();  // back once the questions are answered No
    showBusyBar(QStringLiteral("Looking for the last run on this cache folder..."));
    UndoResult preview;
    onWorker([&] { preview = PreviewUndo({pv_.ProgramFolder, {}, true, cacheDir_}, fs_); });
    endBusyBar();
    sbrText->setText(before);
    if (preview.outcome != UndoOutcome::DryRun) {
        std::string text = "There is no run to undo on " + cacheDir_ + ".";
        if (!preview.elsewhereCacheDir.empty())
            text += "\n\nThe last run not undone was on " + preview.elsewhereCacheDir +
                    "; choose that cache folder in the File List to undo it.";
        message(text);
        return;
    }
    // The game question comes first: a Yes to the undo would otherwise be asked about again.
    // Once it is answered Yes the undo goes on without asking twice.
    EngineContext undoCtx = ctx_;
    if (!gameRunningLine(ctx_, {pv_.GameDir, cacheDir_}).empty()) {
        if (!gameAllowsChanges(ctx_, {pv_.GameDir, cacheDir_}, nullptr)) {
            sbrText->setText(QStringLiteral("Undo stopped: nothing was moved back"));
            return;
        }
        undoCtx.whenGameRuns = WhenGameRuns::GoOn;
    }
    if (!dialogs_.askYesNoDefaultNo(kProgramTitle, undoQuestion(preview, cacheDir_))) return;

    SSTab1->setCurrentIndex(0);  // "Status"
    sbrText->setText(QStringLiteral("Undoing the last run..."));
    // The run the question was about, even if another was recorded meanwhile.
    UndoResult r;
    offerStop("undo");
    onWorker([&] { r = UndoRun({pv_.ProgramFolder, preview.runId, false, {}}, undoCtx, sink()); });
    offerStop(nullptr);  // as after a run: the status line says how far it got
    if (r.outcome != UndoOutcome::Done) {
        sbrText->setText(QStringLiteral("Undo stopped: nothing was moved back"));
        return;
    }
    setCacheDir(r.cacheDir);
    rescan();
    std::string done = (r.stopped ? "Undo stopped: " : "Undo: ") +
                       packagesText(r.restored - r.copiedBack) + " moved back";
    if (r.copiedBack > 0)
        done += ", " + counted(r.copiedBack, "cache copy", "cache copies") + " copied back";
    if (r.stayed > 0) done += ", " + std::to_string(r.stayed) + " stayed";
    if (r.failed > 0) done += ", " + std::to_string(r.failed) + " could not be moved back";
    if (r.stopped) done += "; undo again to finish";
    sbrText->setText(displayText(done));
}

void frmMain::mnuToolsSetUT_Click() {
    if (busy_ > 0) return;
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs_);
    dialogs_.startNextPickIn(pv_.GameDir);
    if (!SetGameFolder(false, gameKey, dialogs_, &fs_)) return;  // cancelled: nothing changes
    pv_.GameDir = gameKey.ReadEntry("Folder", "");
    // The new cache folder takes effect at the next scan.
    setCacheDir(withTrailingSeparator(pv_.GameDir) + "Cache");
}

void frmMain::mnuHelpContents_Click() {
    // The HTML pages open in any browser; the compiled help needs a CHM viewer, which few Linux
    // desktops have, so it is only the fallback.
    const std::string html = joinGenericPath(programFolder_, kHelpIndex);
    const std::string chm = joinGenericPath(programFolder_, kHelpChm);
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
