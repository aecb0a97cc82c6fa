// The file list's column widths and the tooltip that shows a text cut short.
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>
#include <cstdint>
#include <ctime>

#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/preview_panel.h"
#include "widgets/display.h"

namespace qv {

// Each column as wide as its header (the sorted one's with its arrow) and its texts need in the
// list's font. Where they do not
// all fit the list, the Package column, the last, gives way first (down to its header), then
// the names (down to a least width). A text cut short is elided in its middle and shows whole in
// its tooltip.
void frmMain::sizeFileListColumns() {
    QHeaderView* header = ListView1->header();
    // Measured without the sort arrow; the sorted column gets room for it beside its caption.
    const bool arrow = header->isSortIndicatorShown();
    const int sorted = arrow ? header->sortIndicatorSection() : -1;
    const int arrowRoom = [&] {
        if (sorted < 0) return 0;
        const int with = header->sectionSizeHint(sorted);
        header->setSortIndicatorShown(false);
        return std::max(0, with - header->sectionSizeHint(sorted));
    }();
    const QFontMetrics metrics(ListView1->font());
    const int gap = metrics.averageCharWidth() * 2;  // between a column's text and the next
    const auto fitted = [&](int column) {
        ListView1->resizeColumnToContents(column);
        const int caption = header->sectionSizeHint(column) + (column == sorted ? arrowRoom : 0);
        return std::max(header->sectionSize(column), caption);
    };
    // As wide as a date and time even while the list is empty.
    const std::int64_t now = std::time(nullptr);
    const QString sample =
        QString::fromLocal8Bit(formatLocalDate(now) + " " + formatLocalTime(now));
    header->resizeSection(FileListModel::Date, std::max(fitted(FileListModel::Date),
                                                        metrics.horizontalAdvance(sample) + gap));
    int others = header->sectionSize(FileListModel::Date);
    for (const int column : {FileListModel::NeverMove, FileListModel::Installed}) {
        header->resizeSection(column, fitted(column));
        others += header->sectionSize(column);
    }
    // Names give way down to a dozen characters: the columns after them stay in view beside the
    // preview on a small screen (their whole text is in the tooltip).
    const int checkBox =
        ListView1->style()->pixelMetric(QStyle::PM_IndicatorWidth) + metrics.averageCharWidth() * 2;
    const int least = std::max(checkBox + metrics.averageCharWidth() * 12,
                               header->sectionSizeHint(FileListModel::FileName) +
                                   (sorted == FileListModel::FileName ? arrowRoom : 0));
    const int packageLeast = header->sectionSizeHint(FileListModel::Package) +
                             (sorted == FileListModel::Package ? arrowRoom : 0);
    givePreviewRoomToList(others + least + packageLeast - ListView1->viewport()->width());
    const int room = ListView1->viewport()->width() - others;
    const int names = std::clamp(fitted(FileListModel::FileName) + gap, least,
                                 std::max(least, room - packageLeast));
    header->resizeSection(FileListModel::FileName, names);
    header->resizeSection(FileListModel::Package, std::max(packageLeast, room - names));
    header->setSortIndicatorShown(arrow);
}

// The list short of `missing` pixels for its columns takes them from the preview beside it, down
// to the preview's least width; the list's new width sizes the columns again.
void frmMain::givePreviewRoomToList(int missing) {
    if (missing <= 0 || !preview_ || !preview_->isVisible()) return;
    auto* splitter = qobject_cast<QSplitter*>(preview_->parentWidget());
    if (!splitter || splitter->count() != 2) return;
    QList<int> sizes = splitter->sizes();
    const int give = std::min(missing, sizes[1] - preview_->minimumWidth());
    if (give <= 0) return;
    sizes[0] += give;
    sizes[1] -= give;
    splitter->setSizes(sizes);
}

// A name cut by its column shows whole in a tooltip; a name shown whole needs none.
bool frmMain::showCutNameTip(const QHelpEvent* event) {
    const QModelIndex index = ListView1->indexAt(event->pos());
    if (!index.isValid()) {
        QToolTip::hideText();
        return true;
    }
    // A cut text shows whole; a text shown whole shows what the row's tooltip says about it.
    const QRect shown = ListView1->visualRect(index);
    const QString tip = ListView1->sizeHintForIndex(index).width() > shown.width()
                            ? index.data().toString()
                            : index.data(Qt::ToolTipRole).toString();
    if (!tip.isEmpty())
        QToolTip::showText(event->globalPos(), tip, ListView1->viewport(), shown);
    else
        QToolTip::hideText();
    return true;
}

}  // namespace qv
