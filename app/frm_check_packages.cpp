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
    // The package of the selected result, as the main window's list shows it.
    preview_ = new PreviewPanel(fs_, this);
    preview_->setMinimumWidth(preview_->fontMetrics().averageCharWidth() * 30);
    auto* h = new QHBoxLayout;
    h->addWidget(lstResults, 3);
    h->addWidget(preview_, 1);
    v->addLayout(h, 1);
    connect(lstResults, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && static_cast<std::size_t>(row) < rowPackages_.size())
            preview_->showPackage(rowPackages_[static_cast<std::size_t>(row)]);
        else
            preview_->clear();
    });
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
    rowPackages_.clear();
    lstResults->clear();
    for (const MissingNeed& m : report_.missing) {
        rowPackages_.push_back({m.path, m.package, "", ""});
        lstResults->addItem(displayText(missingNeedLine(m)));
    }
    for (std::size_t i = 0; i < report_.unreadable.size(); ++i) {
        const std::string path =
            i < report_.unreadablePaths.size() ? report_.unreadablePaths[i] : std::string();
        rowPackages_.push_back({path, path.substr(path.rfind('/') + 1), "damaged", ""});
        lstResults->addItem(displayText(report_.unreadable[i]));
    }
    std::size_t saved = 0;
    for (const LinelessFile& f : report_.lineless) {
        rowPackages_.push_back(
            {places_.cacheDir + "/" + f.fileName, f.fileName, "no index line", ""});
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
