#pragma once

// A small writer of Unreal packages as the game saves them: the header, the name table, the
// objects' data, then the import and export tables at the end. The tests and the demo game make
// their packages with it; no real package is shipped.

#include <cstdint>
#include <string>
#include <vector>

namespace qv::pkg {

// A property tag: an Int, Byte, Bool, Str or Object (the name of an export of the package).
struct Property {
    enum Kind { Byte = 1, Int = 2, Bool = 3, Object = 5, Str = 13 } kind = Int;
    std::string name;
    std::int64_t number = 0;       // Int, Byte, Bool; Str: 1 when `text` is UTF-16LE units
    std::string text = {};         // Str; Object: the export's name
    int sizeCode = -1;             // the tag's size code as written; -1: the one its value needs
    std::uint32_t arrayIndex = 0;  // written when not 0, in one, two or four bytes
};

// What follows the properties: bytes, a name (its index), a compact number, or a lazy array (from
// version 62 on the position after its data, then a compact count and the bytes).
struct Piece {
    enum Kind { Bytes, Name, Compact, Lazy } kind = Bytes;
    std::string bytes;  // Bytes, Lazy; Name: the name
    std::int64_t number = 0;
};

// An object the package holds: its class (imported from Engine, or Core for "Class"...), its name
// and its serialized bytes: `data` as given, or its properties (ending in None) and `body`.
struct ExportSpec {
    std::string className = "Texture";
    std::string name;
    std::string data;
    std::vector<Property> properties = {};
    std::vector<Piece> body = {};
};

struct PackageSpec {
    std::string guid = "0123456789ABCDEF0123456789ABCDEF";  // as the cache file names it
    std::uint16_t version = 69;
    std::vector<std::string> needs;  // packages it imports (top-level imports of class Package)
    std::vector<std::string> classImports;  // objects imported from the first need (class Texture)
    std::vector<ExportSpec> exports;        // objects, their data before the tables
    std::size_t padding = 0;                // bytes after the tables
};

// Where the writer put things, for tests that cut or change a package.
struct PackageLayout {
    std::uint32_t namesAt = 0, objectsAt = 0, importsAt = 0, exportsAt = 0, end = 0;
};

inline void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline void putCompact(std::string& out, std::int64_t value) {
    std::uint64_t v =
        value < 0 ? static_cast<std::uint64_t>(-value) : static_cast<std::uint64_t>(value);
    unsigned char first = static_cast<unsigned char>(v & 0x3F);
    if (value < 0) first |= 0x80;
    v >>= 6;
    if (v) first |= 0x40;
    out.push_back(static_cast<char>(first));
    while (v) {
        unsigned char b = static_cast<unsigned char>(v & 0x7F);
        v >>= 7;
        if (v) b |= 0x80;
        out.push_back(static_cast<char>(b));
    }
}

// The 16 GUID bytes whose "%08X" words give `text` back.
inline std::string guidBytes(const std::string& text) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        put32(out, static_cast<std::uint32_t>(std::stoul(text.substr(8 * i, 8), nullptr, 16)));
    return out;
}

// The index of the first export named `name`, plus one (an object reference); 0 when none.
inline std::int64_t exportRef(const PackageSpec& spec, const std::string& name) {
    for (std::size_t i = 0; i < spec.exports.size(); ++i)
        if (spec.exports[i].name == name) return static_cast<std::int64_t>(i + 1);
    return 0;
}

template <class NameIndex>
std::string objectData(const ExportSpec& e, const PackageSpec& spec, std::uint32_t start,
                       NameIndex& nameIndex) {
    std::string out;
    for (const Property& p : e.properties) {
        std::string value;
        if (p.kind == Property::Byte) value.push_back(static_cast<char>(p.number));
        if (p.kind == Property::Int) put32(value, static_cast<std::uint32_t>(p.number));
        if (p.kind == Property::Object) putCompact(value, exportRef(spec, p.text));
        if (p.kind == Property::Str && p.number == 1) {  // a negative count of UTF-16 units
            putCompact(value, -static_cast<std::int64_t>(p.text.size() / 2 + 1));
            value += p.text;
            value.append(2, '\0');
        } else if (p.kind == Property::Str) {
            putCompact(value, static_cast<std::int64_t>(p.text.size() + 1));
            value += p.text;
            value.push_back('\0');
        }
        putCompact(out, nameIndex(p.name));
        const int code = p.sizeCode >= 0           ? p.sizeCode
                         : p.kind == Property::Int ? 2
                         : value.size() <= 1       ? 0
                         : value.size() < 256      ? 5
                                                   : 6;
        const bool boolSet = p.kind == Property::Bool && p.number != 0;
        const bool indexed = boolSet || p.arrayIndex != 0;
        out.push_back(static_cast<char>(p.kind | code << 4 | (indexed ? 0x80 : 0)));
        if (code == 5) out.push_back(static_cast<char>(value.size()));
        if (code == 6)
            out += {static_cast<char>(value.size() & 0xFF), static_cast<char>(value.size() >> 8)};
        const std::uint32_t i = p.arrayIndex;
        if (i != 0 && i < 0x80) out.push_back(static_cast<char>(i));
        if (i >= 0x80 && i < 0x4000)
            out += {static_cast<char>(0x80 | i >> 8), static_cast<char>(i)};
        if (i >= 0x4000)
            out += {static_cast<char>(0xC0 | i >> 24), static_cast<char>(i >> 16),
                    static_cast<char>(i >> 8), static_cast<char>(i)};
        out += value;
    }
    putCompact(out, nameIndex("None"));
    for (const Piece& p : e.body) {
        if (p.kind == Piece::Bytes) out += p.bytes;
        if (p.kind == Piece::Name) putCompact(out, nameIndex(p.bytes));
        if (p.kind == Piece::Compact) putCompact(out, p.number);
        if (p.kind != Piece::Lazy) continue;
        std::string count;
        putCompact(count, static_cast<std::int64_t>(p.bytes.size()));
        const std::size_t skipAt = out.size();
        if (spec.version >= 62) put32(out, 0);
        out += count;
        out += p.bytes;
        if (spec.version >= 62) {
            std::string after;
            put32(after, start + static_cast<std::uint32_t>(out.size()));
            out.replace(skipAt, 4, after);
        }
    }
    return out;
}

inline std::string writePackage(const PackageSpec& spec, PackageLayout* layout = nullptr) {
    std::vector<std::string> names = {"None", "Core", "Package", "Engine", "Texture", "Class"};
    const auto nameIndex = [&](const std::string& n) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == n) return static_cast<std::int64_t>(i);
        names.push_back(n);
        return static_cast<std::int64_t>(names.size() - 1);
    };
    std::string imports;
    std::uint32_t importCount = 0;
    const auto addImport = [&](const char* pkg, const char* cls, std::int32_t outer,
                               const std::string& object) {
        putCompact(imports, nameIndex(pkg));
        putCompact(imports, nameIndex(cls));
        put32(imports, static_cast<std::uint32_t>(outer));
        putCompact(imports, nameIndex(object));
        return -static_cast<std::int32_t>(++importCount);
    };
    for (const std::string& need : spec.needs) addImport("Core", "Package", 0, need);
    for (const std::string& object : spec.classImports)
        addImport("Engine", "Texture", -1, object);  // inside the first import
    // The exports' classes: imported from Engine, each once.
    std::int32_t engine = 0;
    std::vector<std::pair<std::string, std::int32_t>> classes;
    for (const ExportSpec& e : spec.exports) {
        bool known = false;
        for (const auto& c : classes) known = known || c.first == e.className;
        if (known) continue;
        if (engine == 0) engine = addImport("Core", "Package", 0, "Engine");
        classes.emplace_back(e.className, addImport("Core", "Class", engine, e.className));
    }
    for (const ExportSpec& e : spec.exports) {
        nameIndex(e.name);
        for (const Property& p : e.properties) nameIndex(p.name);
        for (const Piece& p : e.body)
            if (p.kind == Piece::Name) nameIndex(p.bytes);
        if (!e.properties.empty() || !e.body.empty()) nameIndex("None");
    }
    std::string table;
    for (const std::string& n : names) {
        if (spec.version >= 64) putCompact(table, static_cast<std::int64_t>(n.size() + 1));
        table += n;
        table.push_back('\0');
        put32(table, 0x00070010);
    }
    PackageLayout at;
    at.namesAt = spec.version >= 68 ? 36 + 16 + 4 + 8 : 36 + 8 + 16;
    at.objectsAt = at.namesAt + static_cast<std::uint32_t>(table.size());
    std::string objects, exports;
    for (const ExportSpec& e : spec.exports) {
        std::int32_t cls = 0;
        for (const auto& c : classes)
            if (c.first == e.className) cls = c.second;
        putCompact(exports, cls);
        putCompact(exports, 0);  // no parent class
        put32(exports, 0);       // top level
        putCompact(exports, nameIndex(e.name));
        put32(exports, 0x00070004);
        const std::uint32_t start = at.objectsAt + static_cast<std::uint32_t>(objects.size());
        const std::string data = (e.properties.empty() && e.body.empty())
                                     ? e.data
                                     : objectData(e, spec, start, nameIndex);
        putCompact(exports, static_cast<std::int64_t>(data.size()));
        if (!data.empty()) putCompact(exports, start);
        objects += data;
    }
    at.importsAt = at.objectsAt + static_cast<std::uint32_t>(objects.size());
    at.exportsAt = at.importsAt + static_cast<std::uint32_t>(imports.size());
    at.end = at.exportsAt + static_cast<std::uint32_t>(exports.size());
    if (layout) *layout = at;
    std::string out;
    put32(out, 0x9E2A83C1);
    out.push_back(static_cast<char>(spec.version & 0xFF));
    out.push_back(static_cast<char>(spec.version >> 8));
    out.append("\0\0", 2);  // licensee
    put32(out, 0x0001);     // flags
    put32(out, static_cast<std::uint32_t>(names.size()));
    put32(out, at.namesAt);
    put32(out, static_cast<std::uint32_t>(spec.exports.size()));
    put32(out, at.exportsAt);
    put32(out, importCount);
    put32(out, at.importsAt);
    if (spec.version >= 68) {
        out += guidBytes(spec.guid);
        put32(out, 1);
        put32(out, static_cast<std::uint32_t>(spec.exports.size()));
        put32(out, static_cast<std::uint32_t>(names.size()));
    } else {
        put32(out, 1);   // heritage count
        put32(out, 44);  // heritage offset: right after these two
        out += guidBytes(spec.guid);
    }
    out += table;
    out += objects;
    out += imports;
    out += exports;
    out.append(spec.padding, 'x');
    return out;
}

}  // namespace qv::pkg
