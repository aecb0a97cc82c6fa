// The Never Move tab: edits live in lstNM until "Save Changes" writes the file.

#include <QListWidget>
#include <QPushButton>

#include "app/byte_line_edit.h"
#include "app/frm_main.h"
#include "settings/never_move.h"
#include "widgets/display.h"

namespace qv {

void frmMain::cmdNMAdd_Click() {
    // Taken as typed: no trimming, no duplicate or extension check.
    if (txtNMAdd->text().size() < 3) return;
    nmItems_.push_back(txtNMAdd->bytes());
    lstNM->addItem(displayText(nmItems_.back()));
    txtNMAdd->setBytes({});
}

void frmMain::cmdNMRemove_Click() {
    const auto remove = [this](int row) {
        delete lstNM->takeItem(row);
        nmItems_.erase(nmItems_.begin() + row);
    };
    if (lstNM->selectedItems().size() == 1) {
        // The list's current entry, the one last clicked.
        const int current = lstNM->currentRow();
        if (current >= 0 && current < lstNM->count()) remove(current);
        return;
    }
    if (lstNM->count() < 2) return;
    for (int row = lstNM->count() - 1; row >= 0; --row)
        if (lstNM->item(row)->isSelected()) remove(row);
}

void frmMain::cmdNMSave_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    // When it fails, the box keeps the user's edits, so nothing typed is lost.
    updateNeverMoveFile(
        [&](const std::string& file) { return SaveNeverMoveList(file, nmItems_, fs_); },
        "The never move list could not be saved to ");
}

void frmMain::updateNeverMoveFile(const std::function<Status(const std::string& file)>& write,
                                  const std::string& failure) {
    std::string file;
    Status written = prepareNeverMoveFile(file);
    if (written) written = write(file);
    if (!written) {
        message(failure + file + " (" + written.text + ")");
        return;
    }
    reloadNeverMoveList();
}

}  // namespace qv
