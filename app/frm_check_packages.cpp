#include "app/frm_check_packages.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/program_settings.h"
#include "widgets/display.h"
#include "widgets/worker_thread.h"

namespace qv {

namespace {

std::string countOf(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

constexpr quintptr kTopRow = 0;  // a child's id is its parent's row + 1

// Rows wrapped to the list's width, each as tall as its lines: at words, and in a path after
// each separator. The model's text stays as it is (the tooltip, copies, tests).
class WrappingDelegate final : public QStyledItemDelegate {
  public:
    explicit WrappingDelegate(QTreeView* view) : QStyledItemDelegate(view), view_(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        int depth = 0;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) ++depth;
        const int margin = 2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const int width =
            std::max(40, view_->columnWidth(0) - view_->indentation() * (depth + 1) - margin - 2);
        const QRect text =
            o.fontMetrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, o.text);
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), text.height() + 2));
        return size;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));  // not a path
        option->features |= QStyleOptionViewItem::WrapText;
    }

  private:
    QTreeView* view_;
};

}  // namespace

CheckResults makeCheckResults(CheckReport report) {
    CheckResults r;
    r.missing = groupMissing(report.missing);
    for (const LinelessFile& f : report.lineless) r.saved += !f.savedLine.empty();
    r.report = std::move(report);
    return r;
}

void CheckResultsModel::setResults(const CheckResults* results) {
    beginResetModel();
    r_ = results;
    endResetModel();
}

QModelIndex CheckResultsModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, kTopRow);
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex CheckResultsModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kTopRow) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kTopRow);
}

int CheckResultsModel::rowCount(const QModelIndex& parent) const {
    if (!r_ || parent.column() > 0) return 0;
    if (!parent.isValid())
        return static_cast<int>(r_->missing.size() + r_->report.unreadable.size() +
                                r_->report.lineless.size());
    if (parent.internalId() != kTopRow) return 0;
    const auto row = static_cast<std::size_t>(parent.row());
    return row < r_->missing.size() ? static_cast<int>(r_->missing[row].neededBy.size()) : 0;
}

QString CheckResultsModel::topText(int row) const {
    auto i = static_cast<std::size_t>(row);
    if (i < r_->missing.size()) {
        const MissingPackage& m = r_->missing[i];
        return displayText(m.name + " is neither installed nor in the cache; " +
                           (m.neededBy.size() == 1
                                ? m.neededBy[0] + " needs it"
                                : std::to_string(m.neededBy.size()) + " packages need it"));
    }
    i -= r_->missing.size();
    if (i < r_->report.unreadable.size()) return displayText(r_->report.unreadable[i]);
    i -= r_->report.unreadable.size();
    return displayText(linelessLine(r_->report.lineless[i]));
}

QVariant CheckResultsModel::data(const QModelIndex& index, int role) const {
    if (!r_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    if (index.internalId() == kTopRow) return topText(index.row());
    const MissingPackage& m = r_->missing[index.internalId() - 1];
    const std::string& by = m.neededBy[static_cast<std::size_t>(index.row())];
    return displayText(role == Qt::ToolTipRole ? missingNeedLine({by, m.name}) : by);
}

frmCheckPackages::frmCheckPackages(CheckPlaces places, CheckResults results, FileSystem& fs,
                                   Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      places_(std::move(places)),
      results_(std::move(results)),
      fs_(fs),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmCheckPackages"));
    setWindowTitle(QStringLiteral("Check Packages"));
    auto* v = new QVBoxLayout(this);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    v->addWidget(lblSummary);
    trvResults = new QTreeView(this);
    trvResults->setObjectName(QStringLiteral("trvResults"));
    trvResults->setHeaderHidden(true);
    // A row wraps to the list's width; a word too long even so is shortened in its middle, and
    // the row's tooltip holds it whole.
    trvResults->setWordWrap(true);
    trvResults->setTextElideMode(Qt::ElideMiddle);
    trvResults->header()->setStretchLastSection(true);
    trvResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    trvResults->setItemDelegate(new WrappingDelegate(trvResults));
    // A new width wraps the rows anew.
    connect(trvResults->header(), &QHeaderView::sectionResized, trvResults,
            [this] { trvResults->doItemsLayout(); });
    model_ = new CheckResultsModel(trvResults);
    trvResults->setModel(model_);
    // The package of the selected result, as the main window's list shows it.
    // It hides when the row names no file, and the list takes its room.
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("splResults"));
    split->setChildrenCollapsible(false);
    split->addWidget(trvResults);
    preview_ = new PreviewPanel(fs_, split);
    split->addWidget(preview_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);
    connect(trvResults->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& row) {
                if (const std::optional<PreviewRequest> p = packageOf(row))
                    preview_->showPackage(*p);
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
    fitScreen();
    fill();
    trvResults->setFocus();  // the keys open and walk the list
    trvResults->setCurrentIndex(model_->index(0, 0));
}

// 720 by 420 where the screen has room, else the screen's available area less a margin.
void frmCheckPackages::fitScreen() {
    QSize size(720, 420);
    if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen()) {
        const QSize room = screen->availableGeometry().size() - QSize(40, 80);
        size = size.boundedTo(room);
    }
    resize(size);
}

QString frmCheckPackages::summary() const {
    return QString(lblSummary->text()).remove(QChar(0x200b));
}

void frmCheckPackages::fill() {
    model_->setResults(&results_);
    const CheckReport& report = results_.report;
    std::string summary = "Checked " + std::to_string(report.packages) +
                          " packages in the game's folders and " + places_.cacheDir + ": ";
    summary += results_.missing.empty()
                   ? std::string("every package they need is there.")
                   : missingCountText(results_.missing.size(), report.missing.size()) +
                         " (neither installed nor in the cache; open a row to see which packages "
                         "need it).";
    if (!report.unreadable.empty())
        summary += " " + countOf(report.unreadable.size(), "package is", "packages are") +
                   " damaged or unreadable.";
    if (!report.lineless.empty())
        summary += " " + countOf(report.lineless.size(), "cache file has", "cache files have") +
                   " no index line (" + std::to_string(results_.saved) + " can get theirs back).";
    if (!report.indexRead) summary += " cache.ini could not be read (" + report.indexFailure + ").";
    // A long path may break after any separator, so the dialog need not be wider than it.
    QString shown = displayText(summary);
    lblSummary->setText(shown.replace(QLatin1Char('/'), QStringLiteral("/\u200b")));  // not a path
    cmdRestore->setEnabled(results_.saved > 0);
}

std::optional<PreviewRequest> frmCheckPackages::packageOf(const QModelIndex& row) const {
    if (!row.isValid()) return std::nullopt;
    const CheckReport& report = results_.report;
    if (row.parent().isValid()) {  // a package that needs a missing one
        const MissingPackage& m = results_.missing[static_cast<std::size_t>(row.parent().row())];
        const auto k = static_cast<std::size_t>(row.row());
        if (k >= m.paths.size()) return std::nullopt;
        return PreviewRequest{m.paths[k], m.neededBy[k], "", ""};
    }
    auto i = static_cast<std::size_t>(row.row());
    if (i < results_.missing.size()) return std::nullopt;  // no file: it is missing
    i -= results_.missing.size();
    if (i < report.unreadable.size()) {
        const std::string path =
            i < report.unreadablePaths.size() ? report.unreadablePaths[i] : std::string();
        return PreviewRequest{path, fileNameOf(path), "damaged", ""};
    }
    i -= report.unreadable.size();
    if (i >= report.lineless.size()) return std::nullopt;
    const LinelessFile& f = report.lineless[i];
    return PreviewRequest{joinPath(places_.cacheDir, f.fileName), f.fileName, "no index line", ""};
}

void frmCheckPackages::cmdRestore_Click() {
    const std::size_t saved = results_.saved;
    if (saved == 0) return;
    if (!dialogs_.askYesNoDefaultNo(kProgramTitle, "Put the lines of " + std::to_string(saved) +
                                                       " cache files back into cache.ini?"))
        return;
    const RestoreResult r =
        restoreIndexLines(places_.cacheDir, results_.report.lineless, fs_, dialogs_);
    if (!r.status.ok()) {
        dialogs_.message(kProgramTitle, "No line was put back (" + r.status.text + ")");
        return;
    }
    dialogs_.message(kProgramTitle,
                     std::to_string(r.restored.size()) + " lines were put back into cache.ini.");
    // The check again, off the window's thread; the buttons wait for it.
    cmdRestore->setEnabled(false);
    cmdClose->setEnabled(false);
    model_->setResults(nullptr);
    runOffGuiThread([&] { results_ = makeCheckResults(checkPackages(places_, fs_)); });
    cmdClose->setEnabled(true);
    fill();
}

}  // namespace qv
