#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

class QWidget;

namespace qv {

// The folder picker: Qt's folder dialog with the prompt as its title and a box (and Ctrl+H)
// that shows hidden folders. Returns the chosen
// path without a trailing separator (the root "/" keeps it), as 8-bit text
// (QFile::encodeName), or "" on cancel. `flags` and `rootId` are kept for the callers' sake;
// a root identifier with no file-system path browses from the start folder. The dialog opens
// at `startFolder` when that is an existing folder (the one the caller's box already names).
std::string BrowseForFolder(QWidget* owner, const std::string& prompt, int flags = 0,
                            int rootId = 10, const std::string& startFolder = {});

// The same picker opened at `start` ("" for the usual start folder) with `places` added to its
// side bar, each shown under its own name (Qt's own dialog, which has a side bar to fill).
std::string BrowseForFolder(QWidget* owner, const std::string& prompt, const std::string& start,
                            const std::vector<FolderPlace>& places);

// The file-system path of a special folder, or "" when it has none or it does not exist:
// 10 (the Recycle Bin) has none; 0 is the desktop, 5 the documents folder, 0x0d the music
// folder, 0x1a the application data folder, 0x1c the local application data folder, 0x27
// the pictures folder, 0x28 the home folder.
std::string GetSpecialFolderPath(int id);

// The folder the picker opens in when the caller names none: the home folder (never ~/.utpg,
// which holds the native game's settings and cache, not the game).
QString pickerStartFolder();

// The bytes of the folder a dialog returned as `shown`. Qt shows a name that is not valid in
// the locale's encoding (Jeux\xe9 in a UTF-8 locale) with U+FFFD, whose encoding names no
// folder; such a part is found again among its folder's entries, by the name Qt shows for it.
std::string folderBytes(const QString& shown);

// What a picked folder looks like once returned: trailing separators removed, the root "/"
// kept, "" stays "".
std::string withoutTrailingSeparator(std::string path);

// --- Test hook -------------------------------------------------------------------------
// Widget tests replace the dialog: while a picker function is set, BrowseForFolder calls it
// with the prompt and the start folder instead of opening a dialog, and returns its answer shaped
// like a real pick (trailing separators removed, "/" kept; "" means cancel). nullptr restores the
// real dialog. Process-wide; set it on the GUI thread only.
using FolderPicker =
    std::function<std::string(const std::string& prompt, const std::string& start)>;
void setFolderPickerForTests(FolderPicker picker);

}  // namespace qv
