// The preview beside the file list: what the selected row's package is.

#include <QItemSelectionModel>
#include <QSplitter>
#include <QTreeView>

#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/preview_panel.h"
#include "platform/paths.h"

namespace qv {

QWidget* frmMain::withPreview(QTreeView* list) {
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("splPreview"));
    preview_ = new PreviewPanel(fs_, splitter);
    splitter->addWidget(list);
    splitter->addWidget(preview_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    // A quarter for the picture and its facts, at least 20 characters; the list keeps the rest.
    const int room = preview_->fontMetrics().averageCharWidth() * 30;
    preview_->setMinimumWidth(preview_->fontMetrics().averageCharWidth() * 20);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({3 * room, room});
    // The current row, whether the keyboard or the mouse made it so.
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { previewRow(current); });
    connect(model_, &QAbstractItemModel::modelReset, preview_, &PreviewPanel::clear);
    return splitter;
}

void frmMain::previewRow(const QModelIndex& current) {
    if (!current.isValid() || current.row() >= model_->rowCount()) {
        preview_->clear();
        return;
    }
    const FileRow& row = model_->rowAt(current.row());
    PreviewRequest request;
    request.realName = row.text;
    if (row.entry < pv_.EntryCount()) {
        request.realName = pv_.RealNames[row.entry];
        if (!row.date.empty()) request.path = joinPath(cacheDir_, pv_.CacheFileNames[row.entry]);
    }
    if (const PackageFacts* f = model_->factsOf(row)) {
        request.state = conditionText(f->condition);
        if (f->condition == PackageCondition::Damaged) request.reason = f->reason;
        if (f->installed != InstalledVersion::None)
            request.state += std::string(", installed: ") + installedText(f->installed);
    }
    preview_->showPackage(request);
}

}  // namespace qv
