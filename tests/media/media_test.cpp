// The media readers and writers over their libraries, on data made here.
#include "media/media.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"
#include "tools/package_objects.h"

namespace qv::test {
namespace {

TEST(Media, ModulesGiveTypeTitleAndLengthAndOtherBytesNothing) {
    const auto reader = media::moduleInfoReader();
    const std::optional<ModuleInfo> info = reader->read(pkg::modModule("Seed Song"));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->format, "MOD");
    EXPECT_EQ(info->title, "Seed Song");
    EXPECT_NEAR(info->seconds, 7.68, 0.01);
    EXPECT_FALSE(reader->read("not a module at all").has_value());
}

PackageContents musicContents(const std::string& module, ModuleInfoReader& modules) {
    pkg::PackageSpec spec;
    spec.exports = {pkg::music("Theme", "it", module)};
    const std::unique_ptr<InFile> file = memoryInFile(pkg::writePackage(spec));
    PackageReader reader;
    EXPECT_TRUE(reader.read(*file).ok());
    return readContents(*file, reader, {false, &modules});
}

// A module of 20 samples that each claim 2^28 frames decoded from the same 800 KB: its facts
// come out of the package, and reading them adds under 64 MiB to the process at its peak (in a
// child, so the figure is this reading's alone). Decoding the samples costs 650 MiB.
TEST(Media, AModuleBombGivesItsFactsWithoutDecodingItsSamples) {
    const std::string bomb = pkg::itModule({"Bomb", 20, 1u << 28, 200});
    const auto modules = media::moduleInfoReader();
    const PackageContents c = musicContents(bomb, *modules);
    EXPECT_EQ(c.musicFormat, "IT");
    EXPECT_EQ(c.musicTitle, "Bomb");
    EXPECT_NEAR(c.musicSeconds, 7.68, 0.01);
    EXPECT_EQ(c.note, "");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow memory would be counted too
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const PackageContents again = musicContents(bomb, *modules);
        getrusage(RUSAGE_SELF, &after);
        const long grownKiB = after.ru_maxrss - before.ru_maxrss;
        _exit(again.musicTitle == "Bomb" ? (grownKiB < 64 * 1024 ? 0 : 2) : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no facts; 2: 64 MiB or more";
#endif
}

// Nested pattern loops that never end, and a package whose music is cut: each says what it is.
TEST(Media, AnEndlessModuleHasNoLengthAndACutOneSaysSo) {
    pkg::ItSpec endless;
    for (int k = 0; k < 4; ++k)
        endless.effects.insert(endless.effects.end(),
                               {{k, k, 'S', 0xB0}, {7 - k, k, 'S', 0xBF}});  // SB0 .. SBF
    const auto modules = media::moduleInfoReader();
    const std::optional<ModuleInfo> info = modules->read(pkg::itModule(endless));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->endless);
    const PackageContents c = musicContents(pkg::itModule(endless), *modules);
    EXPECT_TRUE(c.musicEndless);
    EXPECT_LT(c.musicSeconds, 0);

    // The tables read from the whole file, the objects from one cut in the module's bytes.
    pkg::PackageSpec spec;
    spec.exports = {pkg::music("Theme", "it", pkg::itModule({"Cut", 0, 0, 4}))};
    pkg::PackageLayout layout;
    const std::string whole = pkg::writePackage(spec, &layout);
    PackageReader reader;
    ASSERT_TRUE(reader.read(*memoryInFile(whole)).ok());
    const std::unique_ptr<InFile> cut = memoryInFile(whole.substr(0, layout.objectsAt + 8192));
    const PackageContents damaged = readContents(*cut, reader, {false, modules.get()});
    EXPECT_EQ(damaged.note, "its music could not be read");
}

// The width and height of a PNG file's picture; 0 x 0 when it is none.
std::pair<unsigned, unsigned> pngSize(const std::string& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {0, 0};
    png_image_free(&image);
    return {image.width, image.height};
}

TEST(Media, PngKeepsEveryPixel) {
    Picture p;
    p.width = 3, p.height = 2;
    for (int i = 0; i < 6; ++i)
        p.rgba.insert(p.rgba.end(), {std::uint8_t(40 * i), 7, std::uint8_t(255 - i), 255});
    const std::optional<std::string> png = media::pngEncoder()->encode(p);
    ASSERT_TRUE(png.has_value());
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png->data(), png->size()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(back, p.rgba);
    EXPECT_FALSE(media::pngEncoder()->encode(Picture{}).has_value());

    // A row of 1,048,576 pixels, past what libpng reads by default: made as wide as it reads.
    Picture wide;
    wide.width = 1 << 20, wide.height = 1;
    wide.rgba.assign(std::size_t{4} << 20, 200);
    const std::optional<std::string> long_ = media::pngEncoder()->encode(wide);
    ASSERT_TRUE(long_.has_value());
    EXPECT_EQ(pngSize(*long_), std::make_pair(1000000u, 1u));
}

// Everything a descriptor reads from its file's start.
std::string readThrough(int fd) {
    std::string text;
    char buf[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n <= 0) return text;
        text.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
}

// What a file manager does: "quorvel-thumbnailer -s SIZE INPUT OUTPUT", its output made
// beforehand, or not, or something else of that name. Tumbler (Thunar) creates the output, holds
// it open and reads the PNG through its descriptor: a rename over it would leave it the old,
// empty file. A link is replaced, its target untouched (mode and setuid bit too), and no output
// keeps a set-ID bit; a FIFO, folder or device stays what it was. No file is left behind; a package
// without a picture says why.
TEST(Thumbnailer, WritesThePictureWhereTheFileManagerReadsItAndNothingElse) {
    char folder[] = "/tmp/qv_thumb_XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string dir = folder, map = dir + "/map.unr", sound = dir + "/s.uax",
                      target = dir + "/target", out = dir + "/out.png";
    pkg::PackageSpec spec;
    const pkg::DemoPicture p = pkg::demoPicture(1);
    spec.exports = {pkg::levelInfo({"T", "A", "2", "Shot"}), pkg::palette("Pal", p.palette),
                    pkg::texture("Shot", 0, 256, 256, {p.pixels}, "Pal")};
    std::ofstream(map, std::ios::binary) << pkg::writePackage(spec);
    spec.exports = {pkg::sound("S", pkg::wavFile(10, 10))};
    std::ofstream(sound, std::ios::binary) << pkg::writePackage(spec);
    const std::string program = QV_BUILD_DIR "/quorvel-thumbnailer -s 128 ";
    const std::string said = dir + "/said";

    enum Kind { Absent, Regular, HeldOpen, Link, Fifo, Folder, Device };
    struct Case {
        Kind kind;
        bool written;
    };
    for (const Case c :
         {Case{Absent, true}, Case{Regular, true}, Case{HeldOpen, true}, Case{Link, true},
          Case{Fifo, false}, Case{Folder, false}, Case{Device, false}}) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        if (c.kind == Device && ::geteuid() != 0) continue;  // only root makes a device node
        int held = -1;
        if (c.kind == Regular || c.kind == HeldOpen) std::ofstream(out) << "old";
        if (c.kind == Regular) ::chmod(out.c_str(), 04755);
        if (c.kind == HeldOpen) held = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
        if (c.kind == Link) {
            std::ofstream(target) << "target";
            ::chmod(target.c_str(), 04755);
            ASSERT_EQ(::symlink("target", out.c_str()), 0);
        }
        if (c.kind == Fifo) {
            ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
        } else if (c.kind == Folder) {
            ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
        } else if (c.kind == Device) {
            ASSERT_EQ(::mknod(out.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
        }
        struct stat before {};
        ASSERT_TRUE(c.kind == Absent || ::lstat(out.c_str(), &before) == 0);

        const int code = std::system((program + map + " " + out + " 2>" + said).c_str());
        struct stat after {};
        ASSERT_EQ(::lstat(out.c_str(), &after), 0);
        if (c.written) {
            EXPECT_EQ(code, 0) << readFile(said);
            EXPECT_TRUE(S_ISREG(after.st_mode));
            EXPECT_EQ(after.st_mode & 07000, 0u) << "no set-ID bit taken from a link's target";
            EXPECT_EQ(pngSize(readFile(out)), std::make_pair(128u, 128u));
        } else {
            EXPECT_NE(code, 0);
            EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_TRUE(has(readFile(said), "it is left as it is"));
        }
        if (c.kind == HeldOpen) {
            EXPECT_EQ(after.st_ino, before.st_ino) << "written in place, not renamed over";
            EXPECT_EQ(pngSize(readThrough(held)), std::make_pair(128u, 128u));
            ::close(held);
        }
        if (c.kind == Link) {
            struct stat t {};
            ASSERT_EQ(::stat(target.c_str(), &t), 0);
            EXPECT_EQ(t.st_mode & 07777, 04755u);
            EXPECT_EQ(readFile(target), "target");
            std::remove(target.c_str());
        }
        if (c.kind == Folder)
            ::rmdir(out.c_str());
        else
            std::remove(out.c_str());
    }

    // A link to the map, as a file manager hands one over: followed, since the user chose it.
    const std::string link = dir + "/qv_thumb_link.unr";
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(map.c_str(), link.c_str()), 0);
    EXPECT_EQ(std::system((program + link + " " + out).c_str()), 0);
    EXPECT_EQ(pngSize(readFile(out)), std::make_pair(128u, 128u));
    std::remove(out.c_str());
    std::remove(link.c_str());
    EXPECT_NE(std::system((program + sound + " " + out + " 2>" + said).c_str()), 0);
    EXPECT_TRUE(has(readFile(said), "no picture: it holds sounds and no picture"));
    EXPECT_TRUE(readFile(out).empty());
    for (const std::string& made : {map, sound, said}) std::remove(made.c_str());
    EXPECT_EQ(::rmdir(folder), 0) << "a file was left behind";

    const std::string source = QV_TEST_DATA_DIR "/../../data/desktop/";
    const std::string entry = readFile(source + "quorvel.thumbnailer"),
                      types = readFile(source + "quorvel-unreal-packages.xml");
    const std::size_t at = entry.find("MimeType=");
    ASSERT_NE(at, std::string::npos);
    std::istringstream list(entry.substr(at + 9, entry.find('\n', at) - at - 9));
    for (std::string type; std::getline(list, type, ';');) {
        if (!type.empty()) {
            EXPECT_TRUE(has(types, "type=\"" + type + "\"")) << type;
        }
    }
}

}  // namespace
}  // namespace qv::test
