#include "cli/info.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/public_variables.h"
#include "package/package_header.h"
#include "platform/ascii.h"
#include "platform/line_writer.h"

namespace qv::cli {

namespace {

using json = nlohmann::ordered_json;

std::string_view stateText(const PackageInfo& info) {
    switch (info.reading.kind()) {
        case HeaderFault::None:
            return "ok";
        case HeaderFault::Unreadable:
            return "unreadable";
        case HeaderFault::NotPackage:
            return "not a package";
        default:
            return "damaged";
    }
}

std::string seconds(double s) {
    if (s < 60) {
        const long tenths = std::lround(s * 10);
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
    }
    const long total = std::lround(s);
    const std::string sec = std::to_string(total % 60);
    return std::to_string(total / 60) + ":" + (sec.size() < 2 ? "0" : "") + sec;
}

}  // namespace

std::vector<std::size_t> findCachedPackages(const PublicVariables& pv, std::string_view name) {
    std::vector<std::size_t> exact, bare;
    for (std::size_t k = 0; k < pv.EntryCount(); ++k) {
        const std::string& file = pv.CacheFileNames[k];
        const std::string_view guid = std::string_view(file).substr(0, file.find('.'));
        const std::string& real = pv.RealNames[k];
        if (equalsNoCaseAscii(guid, name) || equalsNoCaseAscii(real, name))
            exact.push_back(k);
        else if (equalsNoCaseAscii(packageNameOf(real), name))
            bare.push_back(k);
    }
    return exact.empty() ? bare : exact;
}

void printInfoText(const PackageInfo& info, std::string_view name, std::ostream& to) {
    const PackageContents& c = info.contents;
    LineWriter out(to);
    const auto line = [&](const char* field, std::string_view value) {
        if (!value.empty()) out.line(Fixed{field}, ": ", Name{value});
    };
    line("File", info.path);
    line("Package", name);
    out.text("State: ", Fixed{stateText(info)});
    // A reason that only says the state again ("not a package") is said once.
    if (!info.reading.reason.empty() && info.reading.reason != stateText(info))
        out.text(" (", Name{info.reading.reason}, ")");
    out.line();
    if (!info.reading.ok()) return;
    out.line("Version: ", info.reading.header.version);
    out.line("Size: ", info.identity.size, " bytes");
    out.line("Holds: ", Fixed{contentKindText(c.kind)});
    if (c.kind == ContentKind::Map) {
        line("Title", c.title);
        line("Author", c.author);
        line("Players", playersText(c.players));
    }
    if (c.kind == ContentKind::Textures) out.line("Textures: ", c.textureCount);
    if (c.kind == ContentKind::Sounds)
        out.line("Sounds: ", c.soundCount, ", ", Fixed{seconds(c.soundSeconds)}, " in all");
    line("Music", c.musicFormat);
    line("Music title", c.musicTitle);
    if (c.musicEndless)
        out.line("Music length: ", Fixed{kEndlessMusic});
    else if (c.musicSeconds >= 0)
        out.line("Music length: ", Fixed{seconds(c.musicSeconds)});
    if (c.pictureWidth > 0) {
        out.line("Picture: ", Name{c.pictureName}, ", ", c.pictureWidth, " x ", c.pictureHeight);
    } else if (!c.pictureNote.empty()) {
        out.text("Picture: none, ", Name{c.pictureNote});
        if (!c.pictureName.empty()) out.text(" (", Name{c.pictureName}, ")");
        out.line();
    }
    line("Note", c.note);
}

void printInfoJson(const PackageInfo& info, std::string_view name, std::ostream& out) {
    const PackageContents& c = info.contents;
    json d = {{"file", info.path},
              {"name", name},
              {"state", stateText(info)},
              {"reason", info.reading.reason}};
    if (info.reading.ok()) {
        d["version"] = info.reading.header.version;
        d["size"] = info.identity.size;
        d["kind"] = contentKindText(c.kind);
        if (c.kind == ContentKind::Map)
            d.update({{"title", c.title}, {"author", c.author}, {"players", c.players}});
        if (c.kind == ContentKind::Textures) d["textures"] = c.textureCount;
        if (c.kind == ContentKind::Sounds)
            d.update({{"sounds", c.soundCount}, {"sound_seconds", c.soundSeconds}});
        if (c.kind == ContentKind::Music)
            d.update({{"music_format", c.musicFormat},
                      {"music_title", c.musicTitle},
                      {"music_seconds", c.musicSeconds < 0 ? json(nullptr) : json(c.musicSeconds)},
                      {"music_length_note", c.musicEndless ? kEndlessMusic : ""}});
        d["picture"] = c.pictureWidth <= 0 ? json(nullptr)
                                           : json{{"name", c.pictureName},
                                                  {"width", c.pictureWidth},
                                                  {"height", c.pictureHeight}};
        d["picture_note"] = c.pictureNote;
        d["note"] = c.note;
    }
    out << d.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

}  // namespace qv::cli
