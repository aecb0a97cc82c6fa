// The file list's column widths and the tooltip that shows a name cut short.
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

void frmMain::sizeFileListColumns() {
    QHeaderView* header = ListView1->header();
    const QFontMetrics metrics(ListView1->font());
    const int gap = metrics.averageCharWidth() * 2;  // between a column's text and the next
    ListView1->resizeColumnToContents(FileListModel::Date);
    // As wide as a date and time even while the list is empty.
    const std::int64_t now = std::time(nullptr);
    const QString sample =
        QString::fromLocal8Bit(formatLocalDate(now) + " " + formatLocalTime(now));
    const int dateWidth =
        std::max(header->sectionSize(FileListModel::Date), metrics.horizontalAdvance(sample) + gap);
    header->resizeSection(FileListModel::Date, dateWidth + gap);
    ListView1->resizeColumnToContents(FileListModel::FileName);
    const int least = metrics.averageCharWidth() * 24;
    const int most = std::max(least, ListView1->viewport()->width() * 3 / 5);
    header->resizeSection(
        FileListModel::FileName,
        std::clamp(header->sectionSize(FileListModel::FileName) + gap, least, most));
}

// A name cut by its column shows whole in a tooltip; a name shown whole needs none.
bool frmMain::showCutNameTip(const QHelpEvent* event) {
    const QModelIndex index = ListView1->indexAt(event->pos());
    if (!index.isValid()) {
        QToolTip::hideText();
        return true;
    }
    const QRect shown = ListView1->visualRect(index);
    if (ListView1->sizeHintForIndex(index).width() > shown.width())
        QToolTip::showText(event->globalPos(), index.data().toString(), ListView1->viewport(),
                           shown);
    else
        QToolTip::hideText();
    return true;
}

}  // namespace qv
