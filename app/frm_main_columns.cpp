// The file list's column widths and the tooltip that shows a text cut short.
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>
#include <cstdint>
#include <ctime>

#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "widgets/display.h"

namespace qv {

// Each column as wide as its header and its texts need in the list's font; where they do not
// all fit the list, the names give way down to a least width, then the Package column, the
// last, takes what is left. A text cut short is elided in its middle and shows whole in its
// tooltip.
void frmMain::sizeFileListColumns() {
    QHeaderView* header = ListView1->header();
    const QFontMetrics metrics(ListView1->font());
    const int gap = metrics.averageCharWidth() * 2;  // between a column's text and the next
    const auto fitted = [&](int column) {
        ListView1->resizeColumnToContents(column);
        return std::max(header->sectionSize(column), header->sectionSizeHint(column));
    };
    // As wide as a date and time even while the list is empty.
    const std::int64_t now = std::time(nullptr);
    const QString sample =
        QString::fromLocal8Bit(formatLocalDate(now) + " " + formatLocalTime(now));
    header->resizeSection(
        FileListModel::Date,
        std::max(fitted(FileListModel::Date), metrics.horizontalAdvance(sample) + gap) + gap);
    for (const int column : {FileListModel::NeverMove, FileListModel::Installed})
        header->resizeSection(column, fitted(column) + gap);
    const int least = metrics.averageCharWidth() * 24;
    int others = 0;
    for (const int column :
         {FileListModel::Date, FileListModel::NeverMove, FileListModel::Installed})
        others += header->sectionSize(column);
    // The Package column keeps room for its header at least; the names get the rest.
    const int package = fitted(FileListModel::Package) + gap;
    const int room = ListView1->viewport()->width() - others;
    const int names = fitted(FileListModel::FileName) + gap;
    header->resizeSection(
        FileListModel::FileName,
        std::clamp(std::min(names, room - package), least,
                   std::max(least, room - header->sectionSizeHint(FileListModel::Package))));
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
