#pragma once

// A small writer of Unreal packages: the header, a name table and an import table, no objects.
// The tests and the demo game make their packages with it; no real package is shipped.

#include <cstdint>
#include <string>
#include <vector>

namespace qv::pkg {

struct PackageSpec {
    std::string guid = "0123456789ABCDEF0123456789ABCDEF";  // as the cache file names it
    std::uint16_t version = 69;
    std::vector<std::string> needs;  // packages it imports (top-level imports of class Package)
    std::vector<std::string> classImports;  // objects imported from the first need (class Texture)
    std::size_t padding = 0;                // bytes of body after the tables
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

inline std::string writePackage(const PackageSpec& spec) {
    std::vector<std::string> names = {"None", "Core", "Package", "Engine", "Texture"};
    const auto nameIndex = [&](const std::string& n) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == n) return static_cast<std::int64_t>(i);
        names.push_back(n);
        return static_cast<std::int64_t>(names.size() - 1);
    };
    std::string imports;
    std::uint32_t importCount = 0;
    for (const std::string& need : spec.needs) {
        putCompact(imports, nameIndex("Core"));
        putCompact(imports, nameIndex("Package"));
        put32(imports, 0);
        putCompact(imports, nameIndex(need));
        ++importCount;
    }
    for (const std::string& object : spec.classImports) {
        putCompact(imports, nameIndex("Engine"));
        putCompact(imports, nameIndex("Texture"));
        put32(imports, static_cast<std::uint32_t>(-1));  // inside the first import
        putCompact(imports, nameIndex(object));
        ++importCount;
    }
    std::string table;
    for (const std::string& n : names) {
        if (spec.version >= 64) putCompact(table, static_cast<std::int64_t>(n.size() + 1));
        table += n;
        table.push_back('\0');
        put32(table, 0x00070010);
    }
    const std::uint32_t headerSize = spec.version >= 68 ? 36 + 16 + 4 + 8 : 36 + 8 + 16;
    const std::uint32_t namesAt = headerSize,
                        importsAt = namesAt + static_cast<std::uint32_t>(table.size());
    const std::uint32_t end = importsAt + static_cast<std::uint32_t>(imports.size());
    std::string out;
    put32(out, 0x9E2A83C1);
    out.push_back(static_cast<char>(spec.version & 0xFF));
    out.push_back(static_cast<char>(spec.version >> 8));
    out.append("\0\0", 2);  // licensee
    put32(out, 0x0001);     // flags
    put32(out, static_cast<std::uint32_t>(names.size()));
    put32(out, namesAt);
    put32(out, 0);  // no exports
    put32(out, end);
    put32(out, importCount);
    put32(out, importsAt);
    if (spec.version >= 68) {
        out += guidBytes(spec.guid);
        put32(out, 1);
        put32(out, 0);
        put32(out, static_cast<std::uint32_t>(names.size()));
    } else {
        put32(out, 1);   // heritage count
        put32(out, 44);  // heritage offset: right after these two
        out += guidBytes(spec.guid);
    }
    out += table;
    out += imports;
    out.append(spec.padding, 'x');
    return out;
}

}  // namespace qv::pkg
