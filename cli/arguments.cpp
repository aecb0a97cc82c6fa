#include "cli/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/exit_status.h"
#include "platform/ascii.h"

namespace qv::cli {

namespace {

constexpr const char* kTypes = "u, uax, umx, unr, utx";

// The part of --help that no option states: where things are kept and what the exit status says.
constexpr const char* kFooter =
    "Options not given come from the choices stored by Quorvel; a command never\n"
    "changes them. Options take their value as --cache DIR or --cache=DIR.\n"
    "Messages go to standard error.\n"
    "\n"
    "Environment:\n"
    "  QUORVEL_REGISTRY  the registry file to use instead of\n"
    "                    $XDG_CONFIG_HOME/Quorvel/registry.reg\n"
    "  XDG_CONFIG_HOME   the user's configuration folder (~/.config)\n"
    "  XDG_DATA_HOME     the user's data folder (~/.local/share); an installed copy\n"
    "                    keeps its run log and never-move list in its Quorvel folder\n"
    "  QT_LOGGING_RULES  switches trace categories on, as in the window:\n"
    "                    \"quorvel.lock.debug=true\" (see -v)\n"
    "\n"
    "Trace: -v or --verbose before the command writes on standard error why it\n"
    "decides, in the categories quorvel.game (each process taken or not for the\n"
    "game), quorvel.index (each read and exchange of cache.ini), quorvel.finder (each\n"
    "folder considered in the search for the game) and quorvel.lock (the lock taken\n"
    "where a file system refuses flock).\n"
    "\n"
    "Exit status:\n";

// Levenshtein distance, for the suggestion after a mistyped word.
std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean 'x'?)" for the nearest of `known`, or "" when none is near.
std::string suggestion(const std::string& word, const std::vector<std::string>& known) {
    const std::string typed = word.substr(0, word.find('='));
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, typed.size() / 3) + 1;
    for (const std::string& k : known) {
        const std::size_t d = k.rfind(typed, 0) == 0 ? 1 : distance(typed, k);
        if (d < bestDistance) bestDistance = d, best = k;
    }
    return best.empty() ? "" : "; did you mean '" + best + "'?";
}

// "u,uax,umx" -> the type flags; false with an error for an unknown or empty item.
bool parseTypeList(const std::string& list, Arguments& a, std::string& error) {
    if (list.empty()) {
        error = std::string("--only needs a list of types such as u,uax,umx,unr,utx");
        return false;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = lowerAscii(list.substr(start, comma - start));
        bool* flag = item == "u"     ? &a.onlyU
                     : item == "uax" ? &a.onlyUAX
                     : item == "umx" ? &a.onlyUMX
                     : item == "unr" ? &a.onlyUNR
                     : item == "utx" ? &a.onlyUTX
                                     : nullptr;
        if (!flag) {
            error = "unknown type '" + item + "' in --only (use " + kTypes + ")";
            return false;
        }
        *flag = true;
        start = comma + 1;
    }
    return true;
}

// Breaks `text` into lines of at most `width` characters at spaces.
std::string wrapped(const std::string& text, std::size_t width) {
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line;
}

// CLI11's layout with wrapped texts, the value names alone after an option, and our usage line.
class HelpFormatter final : public CLI::Formatter {
  public:
    HelpFormatter() { column_width(28); }
    std::string make_option_opts(const CLI::Option* o) const override {
        const std::string& value = o->get_option_text();
        return o->get_positional() || value.empty() ? "" : " " + value;
    }
    std::string make_option_desc(const CLI::Option* o) const override {
        return wrapped(o->get_description(), 78 - 30);
    }
    std::string make_description(const CLI::App* app) const override {
        const std::string& d = app->get_description();
        return d.empty() ? "" : wrapped(d, 76) + "\n\n";
    }
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string usage = "Usage: " + name;
        if (!app->get_subcommands({}).empty()) usage += " COMMAND";
        usage += " [OPTIONS]";
        for (const CLI::Option* o : app->get_options({}))
            if (o->get_positional()) usage += " " + o->get_name();
        return usage + "\n";
    }
};

// The command line's grammar, and where each word it takes lands.
struct Parser {
    CLI::App app{
        "Empties Unreal Tournament's download cache from the terminal, with the same "
        "settings and files as Quorvel.",
        "quorvel-cli"};
    Arguments a;
    std::string only, toFolder, toTree, cache, picture;
    bool all = false, toTypes = false;
    std::vector<std::string> positional;

    Parser() {
        app.set_version_flag("--version", "quorvel-cli " QV_VERSION);
        app.footer(kFooter + exitTableHelp());
        app.require_subcommand(0, 1);
        app.allow_extras();
        app.formatter(std::make_shared<HelpFormatter>());

        CLI::App* list = command(
            Command::List, "list",
            "Scans the cache and prints one row per package: [x] or [ ], a "
            "tab, the name, a tab, the date, a tab, True for a never-move "
            "package, and for a row the run keeps (or a line it drops) a tab and why; then the "
            "line \"Found N files to process\" (N: the packages a run would move or whose "
            "cache copy it would remove). A row is checked exactly when the run acts on it. "
            "In a name a backslash is written \\\\, a tab "
            "\\t, a carriage return \\r, a line feed \\n and another "
            "control byte \\xNN.");
        selection(list);
        list->add_flag("--json", a.json,
                       "Prints one JSON document instead: the cache folder, the number to "
                       "process and the rows (name, name_base64, guid, type, date, checked, "
                       "never_move, action (move, remove, drop or keep), reason, and from the "
                       "package's header: state, damage, header_guid, version, installed); "
                       "name_base64 holds the name's exact bytes.");
        list->add_flag("--facts", a.facts,
                       "Adds to each map's row its title, author and players (read from the "
                       "map), three more tab-separated columns; with --json, the fields title, "
                       "author and players.");

        CLI::App* run = command(Command::Run, "run",
                                "Moves the selected packages out of the cache under their real "
                                "names; keeps the old index as cachebak.ini and logs every step.");
        selection(run);
        auto* types =
            run->add_flag("--to-types", toTypes, "Into the game's folder for each package's type.");
        auto* folder = run->add_option("--to-folder", toFolder, "Into the one folder DIR.")
                           ->option_text("DIR");
        auto* tree = run->add_option("--to-tree", toTree,
                                     "Into DIR/Maps, DIR/Textures, DIR/Sounds, DIR/Music and "
                                     "DIR/System.")
                         ->option_text("DIR");
        types->excludes(folder)->excludes(tree);
        folder->excludes(tree);
        dryRun(run, "moved");
        gameRuns(run);

        CLI::App* purge =
            command(Command::Purge, "purge", "Deletes every cached package (asks first).");
        purge->add_flag("-y,--yes", a.yes, "Answers Yes to the question.");
        dryRun(purge, "deleted");
        gameRuns(purge);

        CLI::App* tmp = command(Command::DeleteTmp, "delete-tmp",
                                "Deletes the *.tmp files in the game folder.");
        dryRun(tmp, "deleted");

        CLI::App* days = command(Command::PurgeDays, "purge-days",
                                 "Sets the number of days after which the game purges its cache.");
        days->add_option("N", positional, "The number of days.");

        CLI::App* set = command(Command::SetGameDir, "set-game-dir",
                                "Stores DIR as the Unreal Tournament folder.");
        auto* dir = set->add_option("DIR", positional, "The game's folder.");
        set->add_option("--found", a.found,
                        "Stores instead the N-th game that find-game lists, with its cache folder.")
            ->option_text("N")
            ->check(CLI::Range(1, 999999))
            ->excludes(dir);

        CLI::App* find = command(
            Command::FindGame, "find-game",
            "Looks for the game and prints one line per game: its folder, what it is, its cache "
            "folder (- for none) and the number of cached packages (cache files with a line in "
            "cache.ini), separated by tabs, the most "
            "likely first (names escaped as list escapes them). It looks in: native installs "
            "(~/.local/share/OldUnreal/UnrealTournament, "
            "~/.local/games/ut, /usr/local/games/*, /opt/*, the folders in the home folder, "
            "where the desktop entries in ~/.local/share/applications start a program, and where "
            "the logs and settings in ~/.utpg and ~/.loki/ut point); Wine prefixes (~/.wine, "
            "$WINEPREFIX, ~/.local/share/wineprefixes/*, ~/.wine*, CrossOver's ~/.cxoffice/*) "
            "whose system.reg holds the game's key or GOG's, and, in every prefix, a copy put "
            "there without a key (drive_c/*, drive_c/Program Files*/*, drive_c/GOG Games/*, "
            "drive_c/Games/*); Lutris (~/Games/*, the games in ~/.config/lutris/games and "
            "~/.local/share/lutris/games); Bottles (~/.local/share/bottles/bottles/*, its "
            "Flatpak folder, the custom_bottles_path of its data.yml, and the programs each "
            "bottle.yml lists); Heroic (~/Games/Heroic/*, its Prefixes, and the "
            "gog_store/installed.json and GamesConfig in ~/.config/heroic and in its Flatpak "
            "folder); PlayOnLinux (~/.PlayOnLinux/wineprefix/*); Steam libraries and their Proton "
            "prefixes (~/.local/share/Steam, ~/.steam, the Flatpak and Snap Steam folders), and "
            "the games added to Steam in userdata/*/config/shortcuts.vdf. "
            "~/.local/share and ~/.config stand for $XDG_DATA_HOME and $XDG_CONFIG_HOME where "
            "those are set. ~/.utpg and ~/.loki/ut hold a native game's settings and cache, "
            "never the game itself. Notes on the error output say what was passed over and why "
            "a copy's cache is not the one its own settings name. set-game-dir --found N "
            "follows this listing for half an hour.");
        find->add_flag("--json", a.json,
                       "Prints one JSON document instead: the games with folder, folder_base64, "
                       "kind, cache_folder, cache_folder_base64 and packages; the _base64 fields "
                       "hold the names' exact bytes.");

        CLI::App* undo = command(Command::Undo, "undo",
                                 "Puts the packages of the last run not yet undone on the cache "
                                 "folder in use (the one list and run use) back into the cache, "
                                 "with their lines in cache.ini; a package changed since the run "
                                 "stays where it is and is named. Its first line names the run "
                                 "and its cache folder.");
        undo->add_option("--run", a.runId, "Undoes the run ID that history lists instead.")
            ->option_text("ID");
        undo->add_option("--cache", cache,
                         "Undoes the last run on DIR instead of the cache folder in use.")
            ->option_text("DIR");
        dryRun(undo, "moved back");
        gameRuns(undo);

        command(Command::History, "history",
                "Lists the recorded runs and purges, the newest first: when, the ID, what was "
                "moved or deleted, whether it was undone, and the cache folder. Purges cannot be "
                "undone.");

        CLI::App* check = command(Command::Check, "check",
                                  "Reads the packages of the game's folders and the cache and "
                                  "names every package they need that is neither installed nor "
                                  "in the cache, and every cache file without an index line.");
        check->add_flag("--restore", a.restore,
                        "Puts back into cache.ini the lines of cache files without one that a "
                        "run journal or cachebak.ini still holds.");
        check->add_option("--cache", cache, "Uses DIR as the cache folder.")->option_text("DIR");

        CLI::App* info =
            command(Command::Info, "info",
                    "Says what a package is: its state, version and size, and for a map its "
                    "title, author, players and picture, for textures their number and the "
                    "first, for sounds their number and length, for music its module's type, "
                    "title and length. PACKAGE is a cached package's real name (with or "
                    "without its extension) or GUID, or a package file.");
        info->add_option("PACKAGE", positional, "The package.");
        info->add_flag("--json", a.json,
                       "Prints one JSON document instead: file, name, state, reason, version, "
                       "size, kind, and what the package holds.");
        info->add_option("--picture", picture,
                         "Writes the map's picture (or the first texture) to FILE as PNG; "
                         "- writes it to standard output and the facts to standard error.")
            ->option_text("FILE");
        info->add_option("--cache", cache, "Uses DIR as the cache folder.")->option_text("DIR");

        command(Command::Help, "help", "Shows this text.");
    }

    CLI::App* command(Command c, const char* name, const char* description) {
        CLI::App* sub = app.add_subcommand(name, description);
        sub->group("Commands");
        sub->allow_extras();
        sub->callback([this, c] { a.command = c; });
        return sub;
    }

    void selection(CLI::App* sub) {
        auto* allFlag = sub->add_flag("--all", all, "Selects every package.");
        auto* onlyOption = sub->add_option("--only", only,
                                           std::string("Selects only these types, a comma list "
                                                       "of ") +
                                               kTypes + ".")
                               ->option_text("TYPES");
        allFlag->excludes(onlyOption);
        sub->add_option("--cache", cache, "Uses DIR as the cache folder.")->option_text("DIR");
    }

    void dryRun(CLI::App* sub, const char* what) {
        sub->add_flag("-n,--dry-run", a.dryRun,
                      std::string("Prints what would be ") + what +
                          ", and where, with the same rules, and changes nothing (no log, no "
                          "index, no backup).");
    }

    void gameRuns(CLI::App* sub) {
        sub->add_flag("--even-if-game-runs", a.evenIfGameRuns,
                      "Goes on while the game runs from this folder (else refused, exit 1): the "
                      "game writes its copy of cache.ini back and may undo the change.");
    }

    std::vector<std::string> commandNames() const {
        std::vector<std::string> names;
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
            names.push_back(sub->get_name());
        return names;
    }
};

std::vector<std::string> optionNames(const CLI::App& sub) {
    std::vector<std::string> names;
    for (const CLI::Option* o : sub.get_options()) {
        for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
        for (const std::string& n : o->get_snames()) names.push_back("-" + n);
    }
    return names;
}

ParseResult fail(std::string text) {
    ParseResult r;
    r.error = std::move(text);
    return r;
}

// The checks the grammar leaves: values, and what must or must not be there.
ParseResult finish(Parser& p, const std::string& name, const std::vector<std::string>& extras,
                   const std::vector<std::string>& known) {
    Arguments& a = p.a;
    for (const std::string& w : extras) {
        if (w.size() > 1 && w[0] == '-')
            return fail("unknown option '" + w + "' for " + name + suggestion(w, known));
        return fail("unexpected argument '" + w + "' for " + name);
    }
    CLI::App* sub = p.app.get_subcommand(name);
    const auto given = [&](const char* option) {
        const CLI::Option* o = sub->get_option_no_throw(option);
        return o && o->count() != 0;
    };
    if (p.all) a.selectAll = true;
    if (given("--only")) {
        std::string error;
        if (!parseTypeList(p.only, a, error)) return fail(error);
        a.selectAll = false;
    }
    for (const auto& [option, value] :
         {std::pair{"--to-folder", &p.toFolder}, std::pair{"--to-tree", &p.toTree},
          std::pair{"--cache", &p.cache}})
        if (given(option) && value->empty()) return fail(std::string(option) + " needs a folder");
    if (p.toTypes) a.target = Arguments::Target::Types;
    if (!p.toFolder.empty()) a.target = Arguments::Target::Folder, a.targetDir = p.toFolder;
    if (!p.toTree.empty()) a.target = Arguments::Target::Tree, a.targetDir = p.toTree;
    if (!p.cache.empty()) a.cacheDir = p.cache;
    if (given("--picture") && p.picture.empty()) return fail("--picture needs a file");
    a.picturePath = p.picture;

    const bool wantsValue = a.command == Command::PurgeDays || a.command == Command::Info ||
                            (a.command == Command::SetGameDir && !a.found);
    if (wantsValue && p.positional.size() != 1)
        return fail(name + (a.command == Command::PurgeDays ? " needs one number of days"
                            : a.command == Command::Info    ? " needs one package"
                                                            : " needs one folder"));
    if (!wantsValue && !p.positional.empty())
        return fail("unexpected argument '" + p.positional[0] + "' for " + name);
    if (wantsValue) a.value = p.positional[0];
    if (a.command == Command::PurgeDays &&
        (a.value.empty() || a.value.size() > 9 ||
         !std::all_of(a.value.begin(), a.value.end(), isDigitAscii)))
        return fail("purge-days needs a whole number of days, not '" + a.value + "'");
    ParseResult r;
    r.args = a;
    return r;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& words) {
    if (words.empty()) return fail("no command given");
    Parser p;
    const std::vector<std::string> commands = p.commandNames();
    if (words[0].empty() || (words[0][0] != '-' && std::find(commands.begin(), commands.end(),
                                                             words[0]) == commands.end()))
        return fail("unknown command '" + words[0] + "'" + suggestion(words[0], commands));
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        p.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        // The program's --help shows every command; a command's --help shows that command.
        ParseResult r;
        r.args.helpText =
            p.app.help("", p.app.get_subcommands().empty() ? CLI::AppFormatMode::All
                                                           : CLI::AppFormatMode::Normal);
        return r;
    } catch (const CLI::CallForVersion& e) {
        ParseResult r;
        r.args.helpText = std::string(e.what()) + "\n";
        return r;
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }
    const std::vector<CLI::App*> chosen = p.app.get_subcommands();
    if (chosen.empty()) {
        const std::vector<std::string> extras = p.app.remaining();
        if (!extras.empty())
            return fail("unknown option '" + extras[0] + "'" +
                        suggestion(extras[0], optionNames(p.app)));
        return fail("no command given");
    }
    if (p.a.command == Command::Help) return {};
    return finish(p, chosen[0]->get_name(), chosen[0]->remaining(), optionNames(*chosen[0]));
}

std::string usageText() {
    Parser p;
    return p.app.help("", CLI::AppFormatMode::All);
}

std::vector<CommandWords> commandWords() {
    Parser p;
    std::vector<CommandWords> words;
    for (const std::string& name : p.commandNames())
        words.push_back({name, optionNames(*p.app.get_subcommand_ptr(name))});
    return words;
}

}  // namespace qv::cli
