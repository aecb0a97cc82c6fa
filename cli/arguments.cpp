#include "cli/arguments.h"

#include "platform/ascii.h"

namespace qv::cli {

namespace {

ParseResult fail(std::string text) {
    ParseResult r;
    r.error = std::move(text);
    return r;
}

bool isWholeNumber(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (!isDigitAscii(c)) return false;
    return true;
}

// "u,uax,umx" -> the type flags; false with an error for an unknown or empty item.
bool parseTypeList(const std::string& list, Arguments& a, std::string& error) {
    if (list.empty()) {
        error = "--only needs a list of types such as u,uax,umx,unr,utx";
        return false;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        item = lowerAscii(item);
        if (item == "u")
            a.onlyU = true;
        else if (item == "uax")
            a.onlyUAX = true;
        else if (item == "umx")
            a.onlyUMX = true;
        else if (item == "unr")
            a.onlyUNR = true;
        else if (item == "utx")
            a.onlyUTX = true;
        else {
            error = "unknown type '" + item + "' in --only (use u, uax, umx, unr, utx)";
            return false;
        }
        start = comma + 1;
    }
    return true;
}

bool commandFromWord(const std::string& w, Command& c) {
    if (w == "list")
        c = Command::List;
    else if (w == "run")
        c = Command::Run;
    else if (w == "purge")
        c = Command::Purge;
    else if (w == "delete-tmp")
        c = Command::DeleteTmp;
    else if (w == "purge-days")
        c = Command::PurgeDays;
    else if (w == "set-game-dir")
        c = Command::SetGameDir;
    else if (w == "find-game")
        c = Command::FindGame;
    else if (w == "help" || w == "--help" || w == "-h")
        c = Command::Help;
    else
        return false;
    return true;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& words) {
    for (const auto& w : words)
        if (w == "--help" || w == "-h") return {};  // help wins wherever it stands
    if (words.empty()) return fail("no command given");

    ParseResult r;
    Arguments& a = r.args;
    if (!commandFromWord(words[0], a.command)) return fail("unknown command '" + words[0] + "'");

    const bool selects = a.command == Command::List || a.command == Command::Run;
    const bool places = a.command == Command::Run;
    std::vector<std::string> positional;

    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        auto needValue = [&](std::string& out) {
            if (i + 1 >= words.size() || words[i + 1].empty()) return false;
            out = words[++i];
            return true;
        };
        if (selects && (w == "--all" || w == "--only")) {
            if (a.selectAll) return fail("choose one of --all and --only, once");
            if (w == "--all") {
                a.selectAll = true;
            } else {
                std::string list, error;
                if (!needValue(list)) return fail("--only needs a list such as u,uax,umx,unr,utx");
                if (!parseTypeList(list, a, error)) return fail(error);
                a.selectAll = false;
            }
        } else if (places && (w == "--to-types" || w == "--to-folder" || w == "--to-tree")) {
            if (a.target) return fail("choose one of --to-types, --to-folder and --to-tree, once");
            if (w == "--to-types") {
                a.target = Arguments::Target::Types;
            } else {
                if (!needValue(a.targetDir)) return fail(w + " needs a folder");
                a.target = w == "--to-folder" ? Arguments::Target::Folder : Arguments::Target::Tree;
            }
        } else if (selects && w == "--cache") {
            if (a.cacheDir) return fail("--cache given twice");
            std::string dir;
            if (!needValue(dir)) return fail("--cache needs a folder");
            a.cacheDir = dir;
        } else if (a.command == Command::SetGameDir && w == "--found") {
            std::string n;
            if (a.found || !needValue(n) || !isWholeNumber(n) || std::stoi(n) < 1)
                return fail("--found needs the number of a game that find-game lists, once");
            a.found = std::stoi(n);
        } else if (a.command == Command::Purge && (w == "--yes" || w == "-y")) {
            a.yes = true;
        } else if (!w.empty() && w[0] == '-' && w != "-") {
            return fail("unknown option '" + w + "' for " + words[0]);
        } else {
            positional.push_back(w);
        }
    }

    const bool wantsValue =
        a.command == Command::PurgeDays || (a.command == Command::SetGameDir && !a.found);
    if (wantsValue) {
        if (positional.size() != 1)
            return fail(words[0] + (a.command == Command::PurgeDays ? " needs one number of days"
                                                                    : " needs one folder"));
        a.value = positional[0];
        if (a.command == Command::PurgeDays && !isWholeNumber(a.value))
            return fail("purge-days needs a whole number of days, not '" + a.value + "'");
    } else if (!positional.empty()) {
        return fail("unexpected argument '" + positional[0] + "' for " + words[0]);
    }
    return r;
}

std::string usageText() {
    return "Usage: quorvel-cli COMMAND [OPTIONS]\n"
           "\n"
           "Empties Unreal Tournament's download cache from the terminal, with the same\n"
           "settings and files as Quorvel.\n"
           "\n"
           "Commands:\n"
           "  list [--all | --only TYPES] [--cache DIR]\n"
           "      Scans the cache and prints one row per package: [x] or [ ], a tab, the\n"
           "      name, a tab, the date, a tab, True for a never-move package.\n"
           "  run [--all | --only TYPES] [--to-types | --to-folder DIR | --to-tree DIR]\n"
           "      [--cache DIR]\n"
           "      Moves the selected packages out of the cache under their real names.\n"
           "      TYPES is a comma list of u, uax, umx, unr, utx. Options not given come\n"
           "      from the choices stored by Quorvel; the stored choices are not changed.\n"
           "  purge [--yes]\n"
           "      Deletes every cached package (asks first; --yes answers Yes).\n"
           "  delete-tmp\n"
           "      Deletes the *.tmp files in the game folder.\n"
           "  purge-days N\n"
           "      Sets the number of days after which the game purges its cache.\n"
           "  set-game-dir DIR | --found N\n"
           "      Stores DIR as the Unreal Tournament folder; with --found N, the N-th game\n"
           "      find-game lists, with its cache folder.\n"
           "  find-game\n"
           "      Looks for the game (native installs, Wine, Lutris and Proton prefixes,\n"
           "      Steam libraries) and prints one line per game found: its folder, what it\n"
           "      is, its cache folder (- for none) and the number of cached packages,\n"
           "      separated by tabs, the most likely first.\n"
           "  --help\n"
           "      Shows this text.\n"
           "\n"
           "Exit status: 0 all done; 1 nothing done (the command failed or changed nothing);\n"
           "2 bad arguments or no game folder set; 3 done in part (some packages or files\n"
           "could not be moved or deleted, or the index or the log could not be written).\n"
           "Messages go to standard error.\n";
}

}  // namespace qv::cli
