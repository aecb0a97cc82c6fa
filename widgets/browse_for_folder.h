#pragma once

#include <QString>
#include <string>

class QWidget;

namespace qv {

// The folder picker: a native folder dialog with the prompt as its title. Returns the chosen
// path without a trailing separator (the root "/" keeps it), as 8-bit text
// (QFile::encodeName), or "" on cancel. `flags` and `rootId` are kept for the callers' sake;
// a root identifier with no file-system path browses from the start folder.
std::string BrowseForFolder(QWidget* owner, const std::string& prompt, int flags = 0,
                            int rootId = 10);

// The file-system path of a special folder, or "": 10 (the Recycle Bin) has none; 5 is the
// documents folder, 0x1a the application data folder, 0x28 the home folder.
std::string GetSpecialFolderPath(int id);

// The folder the picker opens in: ~/.utpg when it exists (the game's Linux builds keep a
// player's System and Cache folders there), else the home folder.
QString pickerStartFolder();

}  // namespace qv
