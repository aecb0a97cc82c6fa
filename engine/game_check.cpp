#include "engine/game_check.h"

#include "engine/engine_context.h"
#include "platform/dialogs.h"
#include "platform/game_process.h"
#include "settings/program_settings.h"

namespace qv {

namespace {

std::string usingText(const RunningGames& found, const std::vector<std::string>& folders) {
    return gameRunningText(found) + " uses " + (folders.empty() ? std::string() : folders.back()) +
           ": the game is running";
}

}  // namespace

bool gameAllowsChanges(const EngineContext& ctx, const std::vector<std::string>& folders,
                       StatusSink* status, std::string* unseenNote) {
    const RunningGames found = findRunningGame(folders, ctx.procRoot, -1, ctx.uid);
    if (!found.running()) {
        if (found.othersUnseen && unseenNote) *unseenNote = kOthersUnseenNote;
        return true;
    }
    const std::string running = usingText(found, folders);
    bool goOn = ctx.whenGameRuns == WhenGameRuns::GoOn;
    if (ctx.whenGameRuns == WhenGameRuns::Ask)
        goOn = ctx.dialogs.askYesNoDefaultNo(
            kProgramTitle,
            running +
                ". The game keeps CACHE.INI in memory and writes it back whole when a download "
                "ends and when it quits, undoing what is changed now. Close the game "
                "first.\n\nGo on anyway?");
    else if (!goOn)
        ctx.dialogs.message(
            kProgramTitle,
            running + ". Close the game first, then try again; nothing was changed.");
    if (goOn && status)
        status->addLine(running +
                        "; going on as asked (what the game writes back may undo what is "
                        "changed now)");
    return goOn;
}

std::string gameRunningLine(const EngineContext& ctx, const std::vector<std::string>& folders,
                            std::string* brief) {
    return gameRunningLine(ctx, findRunningGame(folders, ctx.procRoot, -1, ctx.uid), folders,
                           brief);
}

std::string gameRunningLine(const EngineContext& ctx, const RunningGames& found,
                            const std::vector<std::string>& folders, std::string* brief) {
    if (!found.running()) return {};
    if (brief) {
        *brief = "The game is running (";
        for (std::size_t i = 0; i < found.found.size(); ++i)
            brief->append(i ? "; " : "")
                .append(found.found[i].name)
                .append(", process ")
                .append(std::to_string(found.found[i].pid));
        brief->append(")");
    }
    switch (ctx.whenGameRuns) {
        case WhenGameRuns::Ask:
            return usingText(found, folders) +
                   "; run, purge and undo ask first, as the game may undo what they change";
        case WhenGameRuns::GoOn:
            return usingText(found, folders);
        case WhenGameRuns::Refuse:
            break;
    }
    return usingText(found, folders) + "; run, purge and undo refuse to start until it is closed";
}

}  // namespace qv
