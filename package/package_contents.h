#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/package_reader.h"
#include "package/picture.h"

namespace qv {

class InFile;

// What a tracker module says of itself. The engine reads no module; a front end hands it a
// reader (media/ has one over libopenmpt).
struct ModuleInfo {
    std::string format;  // "IT", "S3M", "XM", "MOD"
    std::string title;
    double seconds = 0;
    bool endless = false;  // its patterns loop back forever: no length
};
class ModuleInfoReader {
  public:
    virtual ~ModuleInfoReader() = default;
    // Nothing when `module` is not a module the reader knows. A reader keeps to a bound of memory
    // and time whatever the module claims (media/'s: samples are never decoded).
    virtual std::optional<ModuleInfo> read(std::string_view module) = 0;
};

enum class ContentKind : std::uint8_t { Map, Textures, Sounds, Music, Code, Other };
const char* contentKindText(ContentKind kind);  // "map", "textures", ...

// What an endless module's length says: it has none.
inline constexpr const char* kEndlessMusic = "endless (its patterns loop back forever)";

// What a package holds, for a player: a map's title, author, players and screenshot; a texture
// package's count and first plain texture; sounds' count and length; music's module.
struct PackageContents {
    ContentKind kind = ContentKind::Other;
    std::string title, author, players;  // a map; an untitled map is "Untitled"
    std::string pictureName;             // the texture shown or meant to be shown
    std::string pictureNote;             // why no picture is shown, when none is
    Picture picture;
    int pictureWidth = 0, pictureHeight = 0;  // the size shown, known with or without the pixels
    std::size_t textureCount = 0, soundCount = 0;
    double soundSeconds = 0;  // the sounds' total length
    std::string musicFormat, musicTitle;
    double musicSeconds = -1;   // -1: not known
    bool musicEndless = false;  // the module loops forever: it has no length
    std::string note;           // what could not be read, when something could not
    std::size_t reads = 0;      // reads of the objects' bytes (the tables' are the reader's)
    std::uint64_t bytesRead = 0;
};

struct ContentOptions {
    bool picture = true;                  // decode the picture (a map's, a first texture's)
    ModuleInfoReader* modules = nullptr;  // music's title and length, when given
    // Without the picture: still find its name and size, from its texture's properties and
    // mip maps, reading none of its pixels.
    bool pictureSize = false;
};

// "8-16 players" as a player reads it: the count as the map gives it, "players" added when it is
// only numbers.
std::string playersText(std::string_view players);

// The contents of the package `reader` has just read whole from `file`, within the reader's
// limits. Every offset and size comes from the checked export table and is checked again against
// what was read; damage in an object leaves its facts out and says so in `note`.
PackageContents readContents(InFile& file, const PackageReader& reader,
                             const ContentOptions& options = {});

}  // namespace qv
