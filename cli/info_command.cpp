#include "cli/info_command.h"

#include <sstream>

#include "cli/exit_status.h"
#include "cli/info.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "package/package_info.h"
#include "platform/line_writer.h"
#include "platform/paths.h"

namespace qv::cli {

namespace {

constexpr char kProg[] = "quorvel-cli: ";

void printFacts(const std::vector<PackageInfo>& infos, const std::vector<NamedPackage>& packages,
                bool json, std::ostream& to) {
    if (!json) {
        for (std::size_t i = 0; i < infos.size(); ++i) {
            if (i > 0) to << '\n';
            printInfoText(infos[i], packages[i].name, to);
        }
        return;
    }
    if (infos.size() == 1) return printInfoJson(infos[0], packages[0].name, to);
    // Several packages of one name: an array of the objects one package gives.
    to << "[\n";
    for (std::size_t i = 0; i < infos.size(); ++i) {
        std::ostringstream one;
        printInfoJson(infos[i], packages[i].name, one);
        std::string text = one.str();
        while (!text.empty() && text.back() == '\n') text.pop_back();
        to << text << (i + 1 < infos.size() ? ",\n" : "\n");
    }
    to << "]\n";
}

}  // namespace

int showPackages(const std::vector<NamedPackage>& packages, const Arguments& a, Environment& env) {
    const bool pngOut = a.picturePath == "-";
    std::ostream& factsTo = pngOut ? env.err : env.out;
    // The pixels only when a picture is written; the facts name its size without them.
    const ContentOptions options{!a.picturePath.empty(), env.modules, true};
    std::vector<PackageInfo> infos;
    bool allRead = true;
    for (const NamedPackage& p : packages) {
        infos.push_back(readPackageInfo(env.fs, p.path, options));
        if (!p.shownPath.empty()) infos.back().path = p.shownPath;
        allRead = allRead && infos.back().reading.ok();
    }
    printFacts(infos, packages, a.json, factsTo);
    const int done = allRead ? kExitOk : kExitFailed;
    if (a.picturePath.empty()) return done;

    LineWriter err(env.err);
    std::size_t shown = 0;
    while (shown < infos.size() && infos[shown].contents.picture.empty()) ++shown;
    if (shown == infos.size()) {
        err.line(kProg, "no picture is written: ",
                 Fixed{packages.size() > 1 ? "none of the packages of this name holds a"
                                           : "the package holds no"},
                 " picture Quorvel can show");
        return kExitFailed;
    }
    if (packages.size() > 1) err.line(kProg, "the picture is that of ", Name{packages[shown].path});
    const std::optional<std::string> png =
        env.png ? env.png->encode(infos[shown].contents.picture) : std::nullopt;
    Status written = Status::failure("the picture cannot be made");
    if (png && pngOut) {
        env.out.write(png->data(), static_cast<std::streamsize>(png->size()));
        env.out.flush();
        written = env.out ? Status::success() : Status::failure("standard output is closed");
    } else if (png) {
        written = env.fs.writeOutput(a.picturePath, *png);
    }
    if (!written) {
        err.line(kProg, "cannot write ", Name{a.picturePath}, ": ", Name{written.text});
        return kExitFailed;
    }
    return done;
}

HeaderCache::WholeRead MapFacts::keeper() {
    return [this](const std::string& path, std::string_view noun, InFile& file,
                  const PackageReader& reader) {
        if (noun != "map") return;
        PackageContents contents = readContents(file, reader, {false, nullptr});
        const std::lock_guard<std::mutex> lock(mutex_);
        read_[path] = std::move(contents);
    };
}

std::vector<PackageContents> MapFacts::byEntry(const PublicVariables& pv,
                                               const PlacementContext& place,
                                               const std::vector<PackageFacts>& facts,
                                               FileSystem& fs) {
    std::vector<PackageContents> maps(pv.EntryCount());
    for (std::size_t k = 0; k < pv.EntryCount() && k < facts.size(); ++k) {
        if (facts[k].condition != PackageCondition::Whole ||
            packageDataNoun(pv.RealNames[k]) != "map")
            continue;
        const std::string& file = pv.CacheFileNames[k];
        const std::string path =
            joinPath(place.cacheDir, file.substr(0, file.find('.'))) + "." + place.cacheExt;
        if (const auto it = read_.find(path); it != read_.end())
            maps[k] = std::move(it->second);
        else
            maps[k] = readPackageInfo(fs, path, {false, nullptr}).contents;
    }
    return maps;
}

}  // namespace qv::cli
