#pragma once

#include "cli/commands.h"

namespace qv::cli {

class TerminalDialogs;

// find-game: lists the copies of the game found, and keeps the listing a while for
// set-game-dir --found.
int findGameCommand(const Arguments& a, Environment& env);

// set-game-dir DIR, or --found N: stores the game folder and its cache folder.
int setGameDirCommand(const Arguments& a, Environment& env, TerminalDialogs& dialogs);

}  // namespace qv::cli
