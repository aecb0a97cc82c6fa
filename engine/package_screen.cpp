#include "engine/package_screen.h"

#include <unordered_set>

#include "engine/cache_entry.h"
#include "engine/engine_context.h"
#include "platform/ascii.h"

namespace qv {

void reportLine(const std::string& text, StatusSink& status, OutFile* log) {
    if (log) (void)log->write(text + "\r\n");  // a failed log write is skipped
    status.addLine(text);
}

PackageScreen::PackageScreen(const PlacementContext& place, FileSystem& fs)
    : place_(place), fs_(fs), headers_(false), folders_(fs) {}

std::optional<PlaceOutcome> PackageScreen::screen(std::string_view line,
                                                  std::string_view cacheFileOnDisk,
                                                  StatusSink& status, OutFile* log,
                                                  std::vector<std::string>& kept) {
    const PackageFacts facts = examineLine(line, place_, cacheFileOnDisk, fs_, headers_, folders_);
    if (facts.condition != PackageCondition::Whole && facts.condition != PackageCondition::Damaged)
        return std::nullopt;  // not a package type, or no file: the move says what it finds
    const std::string name(line.substr(kRealNameStart));
    const auto stay = [&](const std::string& text) {
        reportLine(text, status, log);
        kept.emplace_back(line);
        return PlaceOutcome::Kept;
    };
    if (facts.condition == PackageCondition::Damaged)
        return stay(name + " is damaged (" + facts.reason + ") and stays in the cache");
    if (facts.installed == InstalledVersion::Other)
        return stay(name + " stays in the cache: " + facts.installedPath +
                    " is another version of it; the game needs this one for the server that "
                    "sent it");
    if (facts.installed != InstalledVersion::Same) return std::nullopt;
    const std::string source =
        place_.cacheDir + "/" +
        (cacheFileOnDisk.empty() ? std::string(line.substr(0, kGuidLength)) + "." + place_.cacheExt
                                 : std::string(cacheFileOnDisk));
    const Result<bool> same = fs_.sameBytesInOtherFile(source, facts.installedPath);
    if (same.ok() && same.value && fs_.removeFile(source).ok()) {
        reportLine(source.substr(place_.cacheDir.size() + 1) + " was already at " +
                       facts.installedPath + " with the same contents; the cache copy was removed",
                   status, log);
        return PlaceOutcome::Moved;
    }
    return stay(name + " stays in the cache: " + facts.installedPath +
                " is the same version of it with other contents; both are kept");
}

void PackageScreen::moved(std::string_view line) {
    if (line.size() <= kRealNameStart || !isPackageFileName(line.substr(kRealNameStart))) return;
    moved_.push_back(line);
}

void PackageScreen::reportNeeds(const std::vector<std::string>& kept, StatusSink& status,
                                OutFile* log) {
    std::unordered_set<std::string> left;  // package names that stay in the cache only
    for (const std::string& line : kept)
        if (line.size() > kRealNameStart && isPackageFileName(line.substr(kRealNameStart)))
            left.insert(upperAscii(packageNameOf(line.substr(kRealNameStart))));
    if (left.empty() || moved_.empty()) return;
    for (const std::string& folder :
         {place_.mapsDir, place_.texturesDir, place_.soundsDir, place_.musicDir, place_.systemDir})
        for (const auto& [upper, name] : folders_.of(folder))
            if (isPackageFileName(name)) left.erase(std::string(packageNameOf(upper)));
    for (const std::string_view line : moved_) {
        const std::string path = destinationOfLine(line, place_);
        Result<std::unique_ptr<InFile>> file = fs_.openForReading(path);
        if (!file) continue;
        const HeaderReading header = readPackageHeader(*file.value, false);
        if (!header.ok()) continue;
        const ImportsReading needs = readPackageImports(*file.value, header.header);
        for (const std::string& need : needs.packages)
            if (left.count(upperAscii(need)))
                reportLine(path.substr(path.rfind('/') + 1) + " needs " + need +
                               ", which stays in the cache",
                           status, log);
    }
}

}  // namespace qv
