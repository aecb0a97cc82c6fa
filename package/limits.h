#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// What reading one package may cost, whatever the file claims: a server chooses what a player
// downloads. No real package comes near these; a file that would pass one is damaged (or its
// part left out and said so), refused before anything is allocated for it. The defaults serve
// every reader; a caller may set its own (PackageReader, HeaderCache, readPackageInfo), and the
// contents read after the tables keep to the reader's.
struct PackageLimits {
    // The tables.
    std::uint32_t tableEntries = 1u << 20;  // entries of one table (names, imports, exports)
    std::size_t tableRegion = 32u << 20;    // bytes of the tables read in one piece
    std::size_t nameLength = 1024;          // bytes of one name, its NUL left out
    std::size_t firstRead = 4096;  // the first read: the header, and a small package's tables

    // The objects (readContents).
    std::uint64_t contentBytes = 8u << 20;  // the objects' bytes read in all
    std::uint64_t objectHead = 4096;        // an object's properties and what follows them
    std::uint64_t levelHead = 64u << 10;    // a LevelInfo's, whose properties are the object
    std::uint64_t soundHead = 1024;         // a sound's properties and its WAV header
    int propertyTags = 4096;                // property tags of one object
    std::int32_t mipMaps = 16;              // mip maps of one texture
    std::size_t sounds = 4096;              // sounds whose length is read (the rest are counted)
    int wavChunks = 16;                     // chunks of a WAV file looked through for its data
    std::uint64_t moduleBytes = 6u << 20;   // music handed to the module reader
    // The largest picture decoded: 1024 x 1024 pixels (4 MiB of RGBA); larger textures are
    // shown by a smaller mip map.
    std::uint64_t picturePixels = 1u << 20;
};

}  // namespace qv
