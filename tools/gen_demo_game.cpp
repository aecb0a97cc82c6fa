// gen_demo_game DIR: writes a small Unreal Tournament folder with a download cache of about 40
// packages, for trying Quorvel out. The same DIR contents come out on every run.

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/package_objects.h"
#include "tools/tool_arguments.h"

namespace fs = std::filesystem;

namespace {

// A fixed pseudo-random sequence, so GUIDs and file bytes are the same every time.
class Sequence final {
  public:
    explicit Sequence(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

  private:
    std::uint64_t state_;
};

std::string makeGuid(Sequence& seq) {
    static const char* hex = "0123456789ABCDEF";
    std::string g;
    for (int i = 0; i < 32; ++i) g += hex[seq.next() % 16];
    return g;
}

// What a package of this real name holds: a map its facts and a screenshot, textures a picture,
// sounds WAV files, music a module; all made up here.
std::vector<qv::pkg::ExportSpec> objectsOf(const std::string& name, unsigned seed) {
    namespace pkg = qv::pkg;
    const std::size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string base = name.substr(0, dot);
    if (ext.empty() && name.find('-') != std::string::npos)
        ext = "unr";  // a map the index
                      // names without one
    if (ext == "unr") {
        const pkg::DemoPicture p = pkg::demoPicture(seed);
        const std::string title = base.substr(base.find('-') + 1);
        const pkg::MapFactsSpec facts{seed % 5 == 4 ? "" : title, "Velmora Mapping Co.",
                                      seed % 2 ? "8-16" : "4-10",
                                      seed % 7 == 6 ? "" : "Screenshot"};
        return {pkg::levelSummary(facts),
                pkg::texture("Screenshot", 0, 256, 256, {p.pixels}, "Pal"),
                pkg::palette("Pal", p.palette), pkg::levelInfo(facts)};
    }
    if (ext == "utx") {
        const pkg::DemoPicture p = pkg::demoPicture(seed + 11);
        return {pkg::palette("Pal", p.palette),
                pkg::texture(base + "Wall", 0, 256, 256, {p.pixels}, "Pal")};
    }
    if (ext == "uax") return {pkg::sound("Hum", pkg::wavFile(11025 * (1 + seed % 4), 11025))};
    if (ext == "umx") return {pkg::music(base, "mod", pkg::modModule(base))};
    return {};
}

// An Unreal package of about `size` bytes: a header naming `guid`, the packages it needs, its
// objects and one more holding the rest, laid out as the game saves it (the tables after the
// objects), so that a cut anywhere but the end is damage as in a real package.
std::string packageBytes(Sequence& seq, std::size_t size, const std::string& guid,
                         std::vector<std::string> needs = {},
                         std::vector<qv::pkg::ExportSpec> objects = {}) {
    qv::pkg::PackageSpec spec;
    spec.guid = guid;
    spec.needs = std::move(needs);
    spec.exports = std::move(objects);
    const std::size_t tables = qv::pkg::writePackage(spec).size() + 64;
    std::string data;
    while (data.size() + tables < size) data += static_cast<char>(seq.next() & 0xFF);
    if (!data.empty()) spec.exports.push_back({"Model", "Filler", std::move(data)});
    return qv::pkg::writePackage(spec);
}

// What a package of the demo imports: maps the game's code and their own textures.
std::vector<std::string> needsOf(const std::string& name) {
    if (name == "CTF-Dreary2k.unr") return {"Engine", "Botpack", "Dreary2kTex", "Dreary2kSky"};
    if (name == "CTF-Bollwerk.unr") return {"Engine", "Botpack", "BollwerkTex", "BollwerkSounds"};
    if (name.size() > 4 && name.substr(name.size() - 4) == ".unr") return {"Engine", "Botpack"};
    return {"Core"};
}

bool writeBytes(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    out.close();
    if (!out) std::cerr << "gen_demo_game: cannot write " << path << '\n';
    return static_cast<bool>(out);
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

// Local time of a day in 2024 (month 1-12), so each download gets a believable date.
std::time_t localTime(int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void setModified(const fs::path& path, std::time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct Package {
    const char* realName;
    std::size_t size;
    bool fileMissing = false;  // listed in cache.ini, but its file is gone
};

// What a player picks up in a few weeks of online games.
const std::vector<Package> kPackages = {
    {"CTF-Bollwerk.unr", 6144},   {"BollwerkTex.utx", 4096},    {"BollwerkSounds.uax", 3072},
    {"CTF-Hydro16.unr", 5120},    {"HydroTex.utx", 4096},       {"Hydro.umx", 2560},
    {"CTF-Lucius.unr", 5632},     {"LuciusTex.utx", 3584},      {"Lucius_snd.uax", 2048},
    {"CTF-Orbital][.unr", 6656},  {"Orbital.umx", 3072},        {"CTF-Kosov.unr", 4608, true},
    {"DM-Agony.unr", 3584},       {"DM-Ranchito][.unr", 4096},  {"DM-Hall_of_Giants.Unr", 4608},
    {"DM-Codex", 3072},           {"DM-Pyramid.UNR", 3584},     {"AS-Bridge.unr", 7168},
    {"AS-DesertStorm.unr", 6656}, {"DesertStormTex.utx", 5120}, {"AmbOutside2.uax", 2048},
    {"DOM-Cinder.unr", 4096},     {"DOM-Gearbolt.unr", 4608},   {"GearboltFX.utx", 2560},
    {"SkyBoxes.utx", 3072},       {"Kosov.umx", 2560},          {"ZeroPingPlus103.u", 1536},
    {"UTPureRC7G.u", 2048},       {"UTPureRC7G.int", 512},      {"BDBMapVote304.u", 1792},
    {"BDBMapVote304.int", 640},   {"SmartCTF_4D.u", 1536},      {"SmartCTF_4D.int", 512},
    {"EnhancedItems.u", 1280},    {"Relics.u", 1024},           {"Stealth_Bundle.umod", 2048},
    {"SmartCTF_4D.u", 1536},      {"CTF-Dreary2k.unr", 5120},   {"Dreary2kTex.utx", 3584},
    {"CTF-Face-SE.unr", 5632},
};

}  // namespace

int main(int argc, char** argv) {
    const char* usage =
        "Usage: gen_demo_game DIR\n"
        "Writes a demo Unreal Tournament folder with a download cache into DIR\n"
        "(a new or empty folder).\n";
    int first = 1;
    if (int code = toolWords(argc, argv, usage, {1}, first); code >= 0) return code;
    const fs::path root = argv[first];
    std::error_code ec;
    // Never write into a folder that already holds something, least of all a real game.
    if (fs::exists(root, ec) && !fs::is_empty(root, ec)) {
        std::cerr << "gen_demo_game: " << root.string() << " is not empty; give a new folder\n";
        return 1;
    }
    for (const char* sub : {"System", "Maps", "Textures", "Sounds", "Music", "Cache"}) {
        fs::create_directories(root / sub, ec);
        if (ec) {
            std::cerr << "gen_demo_game: cannot create " << (root / sub).string() << ": "
                      << ec.message() << '\n';
            return 1;
        }
    }

    bool ok = true;
    ok &= writeBytes(root / "System" / "UnrealTournament.ini",
                     crlf({"[URL]",
                           "Protocol=unreal",
                           "ProtocolDescription=Unreal Protocol",
                           "Name=Player",
                           "Map=Index.unr",
                           "LocalMap=CityIntro.unr",
                           "Host=",
                           "Portal=",
                           "MapExt=unr",
                           "SaveExt=usa",
                           "Port=7777",
                           "Class=Botpack.TMale1",
                           "",
                           "[FirstRun]",
                           "FirstRun=436",
                           "",
                           "[Engine.Engine]",
                           "GameRenderDevice=OpenGLDrv.OpenGLRenderDevice",
                           "AudioDevice=ALAudio.ALAudioSubsystem",
                           "NetworkDevice=IpDrv.TcpNetDriver",
                           "DemoRecordingDevice=Engine.DemoRecDriver",
                           "Console=UTMenu.UTConsole",
                           "DefaultGame=Botpack.DeathMatchPlus",
                           "DefaultServerGame=Botpack.DeathMatchPlus",
                           "",
                           "[Core.System]",
                           "PurgeCacheDays=30",
                           "SavePath=../Save",
                           "CachePath=../Cache",
                           "CacheExt=.uxx",
                           "Paths=../System/*.u",
                           "Paths=../Maps/*.unr",
                           "Paths=../Textures/*.utx",
                           "Paths=../Sounds/*.uax",
                           "Paths=../Music/*.umx",
                           "Suppress=DevLoad",
                           "Suppress=DevSave",
                           "Suppress=DevNetTraffic",
                           "Suppress=DevGarbage",
                           "Suppress=DevKill",
                           "Suppress=DevReplace",
                           "Suppress=DevSound",
                           "Suppress=DevCompile",
                           "Suppress=DevBind",
                           "Suppress=DevBsp",
                           "",
                           "[IpDrv.TcpNetDriver]",
                           "AllowDownloads=True",
                           "ConnectionTimeout=15.0",
                           "MaxClientRate=20000",
                           ""}));
    ok &= writeBytes(
        root / "System" / "User.ini",
        crlf({"[Engine.Input]", "Aliases[0]=(Command=\"Button bFire | Fire\",Alias=Fire)", "",
              "[DefaultPlayer]", "Name=Vexhammer", "Class=Botpack.TMale2", "team=1",
              "skin=SoldierSkins.blkt", "Face=SoldierSkins.Othello", ""}));

    // The game's own packages, which the cache must never overwrite.
    Sequence seq(0x51C0FFEE2024ULL);
    for (const char* stock :
         {"Maps/CTF-Face.unr", "Maps/DM-Deck16][.unr", "Maps/CTF-Hydro16.unr", "Textures/GenFX.utx",
          "Sounds/Announcer.uax", "Music/Foregone.umx", "System/Botpack.u", "System/Engine.u"})
        ok &= writeBytes(root / stock, packageBytes(seq, 1024, makeGuid(seq), needsOf(stock)));
    ok &= writeBytes(root / "System" / "Core.u", packageBytes(seq, 1024, makeGuid(seq)));

    std::vector<std::string> index = {"[Cache]"};
    int n = 0;
    for (const Package& p : kPackages) {
        const std::string guid = makeGuid(seq);
        index.push_back(guid + "=" + p.realName);
        std::string bytes = packageBytes(seq, p.size, guid, needsOf(p.realName),
                                         objectsOf(p.realName, static_cast<unsigned>(n + 1)));
        if (std::string(p.realName) == "DM-Agony.unr") bytes.resize(70);  // a download cut short
        if (p.fileMissing) continue;
        const fs::path file = root / "Cache" / (guid + ".uxx");
        ok &= writeBytes(file, bytes);
        // Spread over six weeks; the last one came in at midnight exactly.
        const bool midnight = ++n == static_cast<int>(kPackages.size()) - 1;
        setModified(file, midnight ? localTime(4, 14, 0, 0)
                                   : localTime(3, 1 + n, 13 + n % 10, (n * 7) % 60));
    }
    ok &= writeBytes(root / "Cache" / "cache.ini", crlf(index));
    // A download whose line the index lost; the backup of an older index still holds it.
    const std::string lost = makeGuid(seq);
    ok &= writeBytes(root / "Cache" / (lost + ".uxx"),
                     packageBytes(seq, 2048, lost, needsOf("CTF-Lost.unr")));
    ok &= writeBytes(root / "Cache" / "cachebak.ini", crlf({"[Cache]", lost + "=CTF-Lost.unr"}));

    // Leftovers of interrupted downloads, in the game folder itself.
    ok &= writeBytes(root / "UT_4F2A.tmp", packageBytes(seq, 2600, makeGuid(seq)));
    ok &= writeBytes(root / "UT_9C01.tmp", packageBytes(seq, 1500, makeGuid(seq)));
    if (!ok) return 1;

    std::cout << "Demo game folder: " << root.string() << " (" << kPackages.size()
              << " packages in " << (root / "Cache").string() << "/cache.ini)\n";
    return 0;
}
