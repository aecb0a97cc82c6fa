#include "app/frm_check_packages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/dialogs.h"
#include "settings/program_settings.h"
#include "widgets/display.h"

namespace qv {

frmCheckPackages::frmCheckPackages(CheckPlaces places, CheckReport report, FileSystem& fs,
                                   Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      places_(std::move(places)),
      report_(std::move(report)),
      fs_(fs),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmCheckPackages"));
    setWindowTitle(QStringLiteral("Check Packages"));
    auto* v = new QVBoxLayout(this);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    v->addWidget(lblSummary);
    lstResults = new QListWidget(this);
    lstResults->setObjectName(QStringLiteral("lstResults"));
    v->addWidget(lstResults, 1);
    auto* buttons = new QHBoxLayout;
    cmdRestore = new QPushButton(QStringLiteral("&Put Lines Back..."), this);
    cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    buttons->addWidget(cmdRestore);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    v->addLayout(buttons);
    connect(cmdRestore, &QPushButton::clicked, this, &frmCheckPackages::cmdRestore_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    resize(720, 420);
    fill();
}

void frmCheckPackages::fill() {
    lstResults->clear();
    for (const MissingNeed& m : report_.missing)
        lstResults->addItem(displayText(missingNeedLine(m)));
    for (const std::string& u : report_.unreadable) lstResults->addItem(displayText(u));
    std::size_t saved = 0;
    for (const LinelessFile& f : report_.lineless) {
        lstResults->addItem(displayText(linelessLine(f)));
        saved += !f.savedLine.empty();
    }
    std::string summary = "Checked " + std::to_string(report_.packages) +
                          " packages in the game's folders and " + places_.cacheDir + ": ";
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    summary += report_.missing.empty()
                   ? std::string("every package they need is there.")
                   : count(report_.missing.size(), "needed package is", "needed packages are") +
                         " neither installed nor in the cache.";
    if (!report_.lineless.empty())
        summary += " " + count(report_.lineless.size(), "cache file has", "cache files have") +
                   " no index line (" + std::to_string(saved) + " can get theirs back).";
    if (!report_.indexRead)
        summary += " cache.ini could not be read (" + report_.indexFailure + ").";
    lblSummary->setText(displayText(summary));
    cmdRestore->setEnabled(saved > 0);
}

void frmCheckPackages::cmdRestore_Click() {
    std::size_t saved = 0;
    for (const LinelessFile& f : report_.lineless) saved += !f.savedLine.empty();
    if (saved == 0) return;
    if (!dialogs_.askYesNoDefaultNo(kProgramTitle, "Put the lines of " + std::to_string(saved) +
                                                       " cache files back into cache.ini?"))
        return;
    const RestoreResult r = restoreIndexLines(places_.cacheDir, report_.lineless, fs_, dialogs_);
    if (!r.status.ok()) {
        dialogs_.message(kProgramTitle, "No line was put back (" + r.status.text + ")");
        return;
    }
    dialogs_.message(kProgramTitle,
                     std::to_string(r.restored.size()) + " lines were put back into cache.ini.");
    report_ = checkPackages(places_, fs_);
    fill();
}

}  // namespace qv
