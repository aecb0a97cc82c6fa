#include "package/package_contents.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "package/byte_reader.h"
#include "package/package_text.h"
#include "package/property_tags.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

constexpr std::uint32_t kHasStack = 0x02000000;  // the object starts with a state frame

bool isProcedural(std::string_view cls) {
    for (const char* p : {"FireTexture", "WaterTexture", "WetTexture", "IceTexture", "WaveTexture",
                          "FractalTexture", "ScriptedTexture"})
        if (equalsNoCaseAscii(cls, p)) return true;
    return false;
}

bool isTexture(std::string_view cls) {
    return equalsNoCaseAscii(cls, "Texture") || isProcedural(cls);
}

// Reads pieces of objects within their extents and the budget, counting what it costs.
class Loader {
  public:
    Loader(InFile& file, const PackageReader& reader, PackageContents& out)
        : file_(file), reader_(reader), out_(out) {}
    const PackageReader& reader() const { return reader_; }
    const PackageLimits& limits() const { return reader_.limits(); }
    // Up to `most` bytes of `e` from `from` on (fewer at its end).
    bool read(const PackageExport& e, std::uint64_t from, std::uint64_t most, std::string& into) {
        const std::uint64_t size = static_cast<std::uint64_t>(e.size);
        if (from >= size) return false;
        const std::uint64_t length = std::min(most, size - from);
        const std::uint64_t at = static_cast<std::uint64_t>(e.offset) + from;
        if (const std::string_view held = reader_.heldBytes(at, length); held.size() == length)
            return into.assign(held), true;
        if (at >= heldAt_ && at - heldAt_ + length <= held_.size())
            return into.assign(held_, static_cast<std::size_t>(at - heldAt_),
                               static_cast<std::size_t>(length)),
                   true;
        if (out_.bytesRead + length > limits().contentBytes) return false;
        into.resize(static_cast<std::size_t>(length));
        ++out_.reads;
        out_.bytesRead += length;
        const Result<std::size_t> got = file_.readAt(at, into.data(), into.size());
        return got.ok() && got.value == length;
    }

    // Reads the first `most` bytes of each of `parts` in one piece when they lie close together
    // (the gaps between them small), so that reading them then costs nothing.
    void readTogether(std::initializer_list<const PackageExport*> parts, std::uint64_t most) {
        constexpr std::uint64_t kGap = 16u << 10;
        std::uint64_t from = UINT64_MAX, to = 0, sum = 0;
        std::size_t count = 0;
        for (const PackageExport* e : parts) {
            if (!e || e->size <= 0) continue;
            const std::uint64_t at = static_cast<std::uint64_t>(e->offset);
            const std::uint64_t length = std::min(most, static_cast<std::uint64_t>(e->size));
            from = std::min(from, at), to = std::max(to, at + length), sum += length, ++count;
        }
        if (count < 2 || to - from > sum + kGap || reader_.heldBytes(from, to - from).size() > 0 ||
            out_.bytesRead + (to - from) > limits().contentBytes)
            return;
        held_.resize(static_cast<std::size_t>(to - from));
        ++out_.reads;
        out_.bytesRead += to - from;
        const Result<std::size_t> got = file_.readAt(from, held_.data(), held_.size());
        held_.resize(got.ok() ? got.value : 0);
        heldAt_ = from;
    }

  private:
    InFile& file_;
    const PackageReader& reader_;
    PackageContents& out_;
    std::string held_;  // what readTogether read, from heldAt_ on
    std::uint64_t heldAt_ = 0;
};

// The first export of class `cls` from `from` on, or -1.
int findExport(const PackageReader& r, std::string_view cls, std::size_t from = 0) {
    for (std::size_t i = from; i < r.exports().size(); ++i)
        if (equalsNoCaseAscii(r.className(static_cast<std::int32_t>(i + 1)), cls))
            return static_cast<int>(i);
    return -1;
}

// Where an object's properties begin: after its state frame when it has one.
std::size_t propertiesStart(std::string_view data, const PackageExport& e) {
    if (!(e.flags & kHasStack)) return 0;
    ByteCursor c(data);
    const std::int32_t node = c.compact();
    c.compact();
    c.u64();
    c.u32();
    if (node != 0) c.compact();
    return c.failed() ? data.size() + 1 : c.position();
}

// A lazy array's start at `c`, whose bytes begin `base` bytes into the object: from version 62
// on the position after its data comes first, which must agree with the byte count. Returns the
// count, the cursor at the data.
std::int32_t lazyArray(ByteCursor& c, const PackageExport& e, int version, std::uint64_t base) {
    const std::uint32_t after = version >= 62 ? c.u32() : 0;
    const std::int32_t n = c.compact();
    const std::uint64_t end = static_cast<std::uint64_t>(e.offset) + base + c.position() +
                              static_cast<std::uint64_t>(std::max(n, 0));
    if (n < 0 || (version >= 62 && after != end)) c.fail();
    return n;
}

struct TextureProps {
    TextureFormat format = TextureFormat::P8, compFormat = TextureFormat::P8;
    bool hasComp = false;  // a compressed copy follows the mip maps
    std::uint32_t width = 0, height = 0;
    std::int32_t palette = 0;
    std::size_t mipsAt = 0;
    bool ok = false;
};

TextureProps textureProps(std::string_view head, const PackageExport& e, const PackageReader& r) {
    TextureProps t;
    PropertyTags tags(head, r, propertiesStart(head, e));
    PropertyTag tag;
    while (tags.next(tag)) {
        if (tag.arrayIndex != 0) continue;
        if (equalsNoCaseAscii(tag.name, "Format"))
            t.format = static_cast<TextureFormat>(tagInt(tag));
        else if (equalsNoCaseAscii(tag.name, "USize"))
            t.width = static_cast<std::uint32_t>(tagInt(tag));
        else if (equalsNoCaseAscii(tag.name, "VSize"))
            t.height = static_cast<std::uint32_t>(tagInt(tag));
        else if (equalsNoCaseAscii(tag.name, "Palette"))
            t.palette = tagObject(tag);
        else if (equalsNoCaseAscii(tag.name, "bHasComp"))
            t.hasComp = tag.type == PropertyType::Bool && tag.boolValue;
        else if (equalsNoCaseAscii(tag.name, "CompFormat"))
            t.compFormat = static_cast<TextureFormat>(tagInt(tag));
    }
    t.ok = tags.ended();
    t.mipsAt = tags.position();
    return t;
}

struct Mip {
    std::uint64_t at = 0;  // in the object
    std::uint32_t width = 0, height = 0;
};

// Mip maps at `at` in `head` (whose bytes begin `base` into the object): the first small
// enough to decode, mip k being the texture's size halved k times. Without one, `base` and
// `head` are left at the bytes after the last mip map (a compressed copy's mip maps).
std::optional<Mip> pickMip(Loader& load, const PackageExport& e, std::string& head,
                           std::uint64_t& base, std::size_t at, TextureFormat format,
                           const TextureProps& t) {
    const int version = load.reader().header().version;
    const PackageLimits& limits = load.limits();
    ByteCursor c(head, at);
    const std::int32_t count = c.compact();
    if (c.failed() || count < 0 || count > limits.mipMaps) return base = 0, std::nullopt;
    const std::uint64_t countEnd = base + c.position();
    for (std::int32_t k = 0; k < count; ++k) {
        const std::uint32_t w = std::max(t.width >> k, 1u), h = std::max(t.height >> k, 1u);
        const std::int32_t n = lazyArray(c, e, version, base);
        const std::uint64_t expected = mipBytes(format, w, h);
        if (c.failed() || (expected != 0 && static_cast<std::uint64_t>(n) != expected))
            return base = 0, std::nullopt;
        if (expected != 0 && static_cast<std::uint64_t>(w) * h <= limits.picturePixels)
            return Mip{base + c.position(), w, h};
        // The next mip's start: after these pixels, two sizes and two bit counts.
        base += c.position() + static_cast<std::uint64_t>(n) + 10;
        if (!load.read(e, base, 64, head)) return base = 0, std::nullopt;
        c = ByteCursor(head);
    }
    if (count == 0) {  // no plain mip maps: what follows is right after the count
        base = countEnd;
        if (!load.read(e, base, 64, head)) return base = 0, std::nullopt;
    }
    return std::nullopt;
}

// The mip map to show and its format: a plain one, else one of the compressed copy.
std::optional<std::pair<Mip, TextureFormat>> findMip(Loader& load, const PackageExport& e,
                                                     std::string& head, const TextureProps& t) {
    std::uint64_t base = 0;
    const TextureFormat plain = canShow(t.format) ? t.format : TextureFormat::NoData;
    if (auto mip = pickMip(load, e, head, base, t.mipsAt, plain, t)) return {{*mip, plain}};
    if (!t.hasComp || !canShow(t.compFormat) || base == 0) return std::nullopt;
    if (auto mip = pickMip(load, e, head, base, 0, t.compFormat, t)) return {{*mip, t.compFormat}};
    return std::nullopt;
}

// A Palette object's RGBA entries: its properties, a compact count, four bytes each.
std::optional<std::string> readPalette(Loader& load, std::int32_t ref) {
    const PackageReader& r = load.reader();
    if (ref <= 0 || !equalsNoCaseAscii(r.className(ref), "Palette")) return std::nullopt;
    const PackageExport& e = r.exports()[static_cast<std::size_t>(ref) - 1];
    std::string data;
    if (!load.read(e, 0, load.limits().objectHead, data)) return std::nullopt;
    PropertyTags tags(data, r, propertiesStart(data, e));
    PropertyTag tag;
    while (tags.next(tag)) {
    }
    if (!tags.ended()) return std::nullopt;
    ByteCursor c(data, tags.position());
    const std::int32_t count = c.compact();
    if (count <= 0 || count > 256) return std::nullopt;
    const std::string_view entries = c.bytes(static_cast<std::size_t>(count) * 4);
    if (c.failed()) return std::nullopt;
    return std::string(entries);
}

constexpr const char* kCannotShow = "a picture in a format Quorvel cannot show";

// A texture object up to this much more than an object's head is read whole for its picture: a
// screenshot's (256 x 256 P8, 64 KiB) and more, in one read.
constexpr std::uint64_t kWholeTexture = 256u << 10;

// The picture of texture export `index` into out.picture (only its size without `decode`), or
// why there is none.
void readTexture(Loader& load, std::size_t index, PackageContents& out, bool decode) {
    const PackageReader& r = load.reader();
    const PackageExport& e = r.exports()[index];
    const std::int32_t ref = static_cast<std::int32_t>(index + 1);
    out.pictureName = textFromWindows1252(r.name(e.name));
    if (isProcedural(r.className(ref))) {
        out.pictureNote = "a procedural texture (" + std::string(r.className(ref)) +
                          "): it has no picture of its own";
        return;
    }
    // A texture's properties take a few dozen bytes: for its size alone a short read is enough
    // (a longer one when they run past it). For its picture a texture of a screenshot's size is
    // read whole, properties and pixels in one read.
    const PackageLimits& limits = load.limits();
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(e.size, 0));
    const std::uint64_t first = !decode ? std::min<std::uint64_t>(limits.objectHead, 512)
                                : size <= limits.objectHead + kWholeTexture ? size
                                                                            : limits.objectHead;
    std::string head, pixels;
    if (!load.read(e, 0, first, head)) {
        out.pictureNote = "its picture could not be read";
        return;
    }
    TextureProps t = textureProps(head, e, r);
    if (!t.ok && first < limits.objectHead && head.size() == first &&
        load.read(e, 0, limits.objectHead, head))
        t = textureProps(head, e, r);
    const std::string whole = first == size ? head : std::string();
    if (t.ok && !canShow(t.format) && !(t.hasComp && canShow(t.compFormat))) {
        out.pictureNote = kCannotShow;
        return;
    }
    const auto found = t.ok ? findMip(load, e, head, t) : std::nullopt;
    if (found && !decode) {
        out.pictureWidth = static_cast<int>(found->first.width);
        out.pictureHeight = static_cast<int>(found->first.height);
        return;
    }
    const TextureFormat format = found ? found->second : t.format;
    std::optional<std::string> palette;
    if (found && format == TextureFormat::P8) palette = readPalette(load, t.palette);
    const bool havePalette = format != TextureFormat::P8 || palette.has_value();
    const std::uint64_t pixelBytes =
        found ? mipBytes(format, found->first.width, found->first.height) : 0;
    if (found && found->first.at + pixelBytes <= whole.size())
        pixels.assign(whole, static_cast<std::size_t>(found->first.at),
                      static_cast<std::size_t>(pixelBytes));
    else if (found && havePalette && !load.read(e, found->first.at, pixelBytes, pixels))
        pixels.clear();
    if (!found || !havePalette || pixels.size() != pixelBytes) {
        out.pictureNote = "its picture is damaged";
        return;
    }
    const Mip& mip = found->first;
    const std::uint64_t most = load.limits().picturePixels;
    out.picture = format == TextureFormat::P8
                      ? decodeP8(pixels, mip.width, mip.height, *palette, most)
                      : decodeDxt(format, pixels, mip.width, mip.height, most);
    if (out.picture.empty()) out.pictureNote = "its picture is damaged";
    out.pictureWidth = out.picture.width;
    out.pictureHeight = out.picture.height;
}

// Title, Author, IdealPlayerCount from an object's properties, each unless set before;
// returns the Screenshot reference. False in `ok` when the properties are damaged.
std::int32_t mapProperties(std::string_view data, const PackageExport& e, const PackageReader& r,
                           PackageContents& out, bool& ok) {
    PropertyTags tags(data, r, propertiesStart(data, e));
    PropertyTag tag;
    std::int32_t screenshot = 0;
    while (tags.next(tag)) {
        if (tag.arrayIndex != 0) continue;
        const auto set = [&](const char* name, std::string& field) {
            if (!equalsNoCaseAscii(tag.name, name) || !field.empty()) return;
            if (const auto text = tagString(tag)) field = *text;
        };
        set("Title", out.title);
        set("Author", out.author);
        set("IdealPlayerCount", out.players);
        if (equalsNoCaseAscii(tag.name, "Screenshot")) screenshot = tagObject(tag);
    }
    ok = tags.ended();
    return screenshot;
}

// A map: its LevelSummary first (a few dozen bytes), then its LevelInfo for what is still
// missing and for the screenshot.
void readMap(Loader& load, const ContentOptions& options, PackageContents& out) {
    const PackageReader& r = load.reader();
    out.kind = ContentKind::Map;
    const int summary = findExport(r, "LevelSummary"), info = findExport(r, "LevelInfo");
    std::int32_t screenshot = 0;
    bool damaged = false, infoRead = false;
    std::string data;
    const auto exportAt = [&](int i) {
        return i < 0 ? nullptr : &r.exports()[static_cast<std::size_t>(i)];
    };
    // The LevelInfo is read for the picture; else only when the summary lacks something.
    if (options.picture || options.pictureSize)
        load.readTogether({exportAt(summary), exportAt(info)}, load.limits().levelHead);
    for (const int which : {summary, info}) {
        if (which < 0) continue;
        const bool complete = !out.title.empty() && !out.author.empty() && !out.players.empty();
        if (which == info && summary >= 0 && !options.picture && !options.pictureSize && complete)
            break;
        infoRead = infoRead || which == info;
        const PackageExport& e = r.exports()[static_cast<std::size_t>(which)];
        bool ok = load.read(e, 0, load.limits().levelHead, data);
        const std::int32_t shot = ok ? mapProperties(data, e, r, out, ok) : 0;
        if (which == info) screenshot = shot;
        damaged = damaged || !ok;
    }
    if (damaged) out.note = "its map information is damaged";
    if (out.title.empty()) out.title = "Untitled";
    if (screenshot < 0) {
        out.pictureName = textFromWindows1252(r.objectName(screenshot));
        out.pictureNote = "its picture lies in another package";
    } else if (screenshot > 0 && isTexture(r.className(screenshot))) {
        if (options.picture || options.pictureSize)
            readTexture(load, static_cast<std::size_t>(screenshot) - 1, out, options.picture);
        else
            out.pictureName = textFromWindows1252(r.objectName(screenshot));
    } else if (infoRead || info < 0) {  // unread, the LevelInfo may name one
        out.pictureNote = "the map names no screenshot";
    }
}

void readTextures(Loader& load, const ContentOptions& options, PackageContents& out) {
    const PackageReader& r = load.reader();
    out.kind = ContentKind::Textures;
    for (std::size_t i = 0; i < r.exports().size(); ++i)
        out.textureCount += isTexture(r.className(static_cast<std::int32_t>(i + 1)));
    const int first = findExport(r, "Texture");
    if (first < 0)
        out.pictureNote = "its textures are all procedural, and these have no picture of their own";
    else if (options.picture || options.pictureSize)
        readTexture(load, static_cast<std::size_t>(first), out, options.picture);
    else
        out.pictureName =
            textFromWindows1252(r.name(r.exports()[static_cast<std::size_t>(first)].name));
}

// A sound's or music's data: properties, its file type's name, then a lazy array of bytes.
// Returns the file type; `dataAt` and `count` where the bytes lie in the object.
std::optional<std::string> embeddedFile(std::string_view head, const PackageExport& e,
                                        const PackageReader& r, std::uint64_t& dataAt,
                                        std::int32_t& count) {
    PropertyTags tags(head, r, propertiesStart(head, e));
    PropertyTag tag;
    while (tags.next(tag)) {
    }
    if (!tags.ended()) return std::nullopt;
    ByteCursor c(head, tags.position());
    const std::string type(r.name(c.compact()));
    count = lazyArray(c, e, r.header().version, 0);
    dataAt = c.position();
    if (c.failed() ||
        dataAt + static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(e.size))
        return std::nullopt;
    return type;
}

// The length of a WAV file from its header: the data chunk's bytes over the bytes a second.
// At most `mostChunks` chunks are looked through.
std::optional<double> wavSeconds(std::string_view wav, std::int32_t wholeSize, int mostChunks) {
    ByteCursor c(wav);
    if (c.bytes(4) != "RIFF" || (c.u32(), c.bytes(4)) != "WAVE") return std::nullopt;
    std::uint32_t perSecond = 0;
    for (int chunk = 0; chunk < mostChunks && !c.failed(); ++chunk) {
        const std::string_view id = c.bytes(4);
        const std::uint32_t size = c.u32();
        if (id == "data" && perSecond > 0 && !c.failed()) {
            const std::uint64_t left = static_cast<std::uint64_t>(wholeSize) - c.position();
            return static_cast<double>(std::min<std::uint64_t>(size, left)) / perSecond;
        }
        ByteCursor body(c.bytes(std::min<std::size_t>(size, c.left())));
        if (id == "fmt ")
            perSecond = (body.u32(), body.u32(), body.u32());
        else if (c.left() == 0)
            break;
        if (size & 1) c.u8();
    }
    return std::nullopt;
}

}  // namespace

}  // namespace qv

namespace qv {

namespace {

void readSounds(Loader& load, PackageContents& out) {
    const PackageReader& r = load.reader();
    out.kind = ContentKind::Sounds;
    std::string head;
    bool damaged = false;
    for (int i = findExport(r, "Sound"); i >= 0; i = findExport(r, "Sound", i + 1)) {
        if (++out.soundCount > load.limits().sounds) continue;
        const PackageExport& e = r.exports()[static_cast<std::size_t>(i)];
        std::uint64_t at = 0;
        std::int32_t count = 0;
        const bool ok = load.read(e, 0, load.limits().soundHead, head) &&
                        embeddedFile(head, e, r, at, count).has_value();
        const std::optional<double> seconds =
            ok ? wavSeconds(std::string_view(head).substr(at, count), count,
                            load.limits().wavChunks)
               : std::nullopt;
        if (seconds) out.soundSeconds += *seconds;
        damaged = damaged || !seconds;
    }
    if (damaged) out.note = "the length of some sounds could not be read";
}

void readMusic(Loader& load, const ContentOptions& options, PackageContents& out) {
    const PackageReader& r = load.reader();
    out.kind = ContentKind::Music;
    const PackageExport& e = r.exports()[static_cast<std::size_t>(findExport(r, "Music"))];
    std::string head;
    std::uint64_t at = 0;
    std::int32_t count = 0;
    const std::optional<std::string> type = load.read(e, 0, load.limits().objectHead, head)
                                                ? embeddedFile(head, e, r, at, count)
                                                : std::nullopt;
    if (!type) {
        out.note = "its music is damaged";
        return;
    }
    out.musicFormat = upperAscii(*type);
    if (!options.modules) return;
    std::string module;
    if (static_cast<std::uint64_t>(count) > load.limits().moduleBytes) {
        out.note = "its music is larger than any game's";
        return;
    }
    if (!load.read(e, at, count, module)) {
        out.note = "its music could not be read";
        return;
    }
    if (const std::optional<ModuleInfo> info = options.modules->read(module)) {
        if (!info->format.empty()) out.musicFormat = info->format;
        out.musicTitle = info->title;
        out.musicEndless = info->endless;
        if (!info->endless) out.musicSeconds = info->seconds;
    } else {
        out.note = "its music is not a module Quorvel can read";
    }
}

}  // namespace

std::string playersText(std::string_view players) {
    const bool numbers =
        !players.empty() && players.find_first_not_of("0123456789- ") == std::string_view::npos;
    return std::string(players) + (numbers ? " players" : "");
}

const char* contentKindText(ContentKind kind) {
    switch (kind) {
        case ContentKind::Map:
            return "map";
        case ContentKind::Textures:
            return "textures";
        case ContentKind::Sounds:
            return "sounds";
        case ContentKind::Music:
            return "music";
        case ContentKind::Code:
            return "code";
        default:
            return "other";
    }
}

PackageContents readContents(InFile& file, const PackageReader& reader,
                             const ContentOptions& options) {
    PackageContents out;
    Loader load(file, reader, out);
    bool textures = false, sounds = false, music = false, code = false;
    for (std::size_t i = 0; i < reader.exports().size(); ++i) {
        const std::string_view cls = reader.className(static_cast<std::int32_t>(i + 1));
        if (equalsNoCaseAscii(cls, "LevelInfo") || equalsNoCaseAscii(cls, "LevelSummary")) {
            readMap(load, options, out);
            return out;
        }
        textures = textures || isTexture(cls);
        sounds = sounds || equalsNoCaseAscii(cls, "Sound");
        music = music || equalsNoCaseAscii(cls, "Music");
        code = code || reader.exports()[i].classRef == 0;  // a class
    }
    if (music)
        readMusic(load, options, out);
    else if (code)
        out.kind = ContentKind::Code;
    else if (textures)
        readTextures(load, options, out);
    else if (sounds)
        readSounds(load, out);
    return out;
}

}  // namespace qv
