#include "cli/json_output.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/lossless_text.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/public_variables.h"
#include "engine/run/list_plan.h"
#include "engine/run/placement.h"
#include "package/package_contents.h"
#include "platform/game_process.h"
#include "platform/line_writer.h"
#include "settings/game_finder.h"

namespace qv::cli {

namespace {

using json = nlohmann::ordered_json;

const char* typeName(PackageType type) {
    switch (type) {
        case PackageType::Map:
            return "map";
        case PackageType::Texture:
            return "texture";
        case PackageType::Music:
            return "music";
        case PackageType::Sound:
            return "sound";
        case PackageType::System:
            return "system";
        case PackageType::Unknown:
            break;
    }
    return "unknown";
}

void print(const json& document, std::ostream& out) {
    // Names are the bytes found on disk; a name that is not UTF-8 cannot be JSON text as it is.
    out << document.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

}  // namespace

void printListJson(const ScanState& state, const PublicVariables& pv, const ListPlan& plan,
                   std::ostream& out, const std::vector<PackageFacts>* facts,
                   const std::vector<PackageContents>* maps, const RunningGames* running) {
    // The document as print() would lay it out, written a row at a time: a cache of 100,000
    // packages never stands in memory as one document.
    LineWriter writer(out);
    const auto dumped = [](const json& value, int indent = -1) {
        return value.dump(indent, ' ', false, json::error_handler_t::replace);
    };
    json game = nullptr;
    if (running && running->running()) {
        game = json::array();
        for (const GameProcess& p : running->found)
            game.push_back({{"program", p.name}, {"process_id", p.pid}});
    }
    // A value one level down: each line of its own layout indented by two spaces.
    const auto nested = [&](const json& value) {
        std::string laid;
        for (const char c : dumped(value, 2)) {
            laid += c;
            if (c == '\n') laid.append(2, ' ');
        }
        return laid;
    };
    writer.text(Fixed{"{\n  \"cache_folder\": "}, Fixed{dumped(json(state.cacheDir))},
                Fixed{",\n  \"to_process\": "}, Fixed{dumped(json(plan.toProcess))},
                Fixed{",\n  \"game_running\": "}, Fixed{nested(game)},
                Fixed{",\n  \"packages\": ["});
    bool first = true;
    std::string text;
    for (const FileRow& row : state.rows) {
        std::string guid, realName = row.text;
        if (row.entry < pv.EntryCount()) {
            const std::string& file = pv.CacheFileNames[row.entry];
            guid = file.substr(0, std::min<std::size_t>(32, file.find('.')));
            realName = pv.RealNames[row.entry];
        }
        // The type table reads an index line: the GUID, "=", the real name.
        const std::string line = std::string(32, '0') + "=" + realName;
        json r = {{"name", row.text},
                  {"name_base64", base64Of(row.text)},
                  {"guid", guid},
                  {"type", typeName(packageTypeOfLine(line))},
                  {"date", row.date},
                  {"checked", row.checked},
                  {"never_move", row.neverMove}};
        const RowPlan* planned =
            row.entry < plan.entries.size() ? &plan.entries[row.entry] : nullptr;
        r["action"] = actionText(planned ? planned->action : RowAction::Keep);
        r["reason"] = planned ? planned->reason : std::string();
        if (facts && row.entry < facts->size()) {
            const PackageFacts& f = (*facts)[row.entry];
            r["state"] = conditionText(f.condition);
            r["damage"] = f.reason;
            r["header_guid"] = std::string(f.guid.view());
            r["version"] = f.version < 0 ? json(nullptr) : json(f.version);
            r["installed"] = planned ? planned->installed : installedText(f.installed);
        }
        if (maps && row.entry < maps->size() && (*maps)[row.entry].kind == ContentKind::Map) {
            const PackageContents& m = (*maps)[row.entry];
            r.update({{"title", m.title}, {"author", m.author}, {"players", m.players}});
        }
        // The row two levels down: every line of its own layout indented by four spaces (a
        // string's line breaks are escaped, so each '\n' is a line of the layout).
        text.assign(first ? "\n    " : ",\n    ");
        for (const char c : dumped(r, 2)) {
            text += c;
            if (c == '\n') text.append(4, ' ');
        }
        writer.text(Fixed{text});
        first = false;
    }
    writer.line(Fixed{first ? "]\n}" : "\n  ]\n}"});
}

void printGamesJson(const std::vector<FoundGame>& games, std::ostream& out) {
    json list = json::array();
    for (const FoundGame& g : games)
        list.push_back(
            {{"folder", g.folder},
             {"folder_base64", base64Of(g.folder)},
             {"kind", g.kind},
             {"cache_folder", g.cacheDir.empty() ? json(nullptr) : json(g.cacheDir)},
             {"cache_folder_base64",
              g.cacheDir.empty() ? json(nullptr) : json(base64Of(g.cacheDir))},
             {"packages", g.cacheUnreadable || g.cacheFolderUnreadable ? json(nullptr)
                                                                       : json(g.cachedPackages)}});
    print({{"games", list}}, out);
}

}  // namespace qv::cli
