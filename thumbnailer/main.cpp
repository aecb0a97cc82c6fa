// quorvel-thumbnailer: the picture of an Unreal package for file managers (the freedesktop
// thumbnailer convention: "quorvel-thumbnailer -s SIZE INPUT OUTPUT"): a map's screenshot, a
// texture package's first plain texture, scaled in proportion to fit SIZE, written as PNG.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "media/media.h"
#include "media/thumbnail_cache.h"
#include "package/package_info.h"
#include "platform/filesystem.h"
#include "platform/line_writer.h"

namespace {

int usage() {
    qv::LineWriter(std::cerr).line("Usage: quorvel-thumbnailer [-s SIZE] INPUT OUTPUT.png");
    return 2;
}

// Why a package gives no picture, in a few words: its own note, else what it holds instead.
std::string noPictureReason(const qv::PackageInfo& info) {
    if (!info.reading.ok()) return info.reading.reason;
    const qv::PackageContents& c = info.contents;
    if (!c.pictureNote.empty()) return c.pictureNote;
    if (c.kind == qv::ContentKind::Other) return "it holds no map and no texture";
    return std::string("it holds ") + qv::contentKindText(c.kind) + " and no picture";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    int size = qv::thumbnails::kLargeSide;
    if (words.size() == 4 && words[0] == "-s") {
        size = std::atoi(words[1].c_str());
        words.erase(words.begin(), words.begin() + 2);
    }
    if (words.size() != 2 || size <= 0 || size > 4096) return usage();
    qv::FileSystem& fs = qv::realFileSystem();
    // The input is the user's (a file manager's) choice: a link to a plain file is followed.
    const qv::PackageInfo info =
        qv::readPackageInfo(fs, qv::userNamedFile(fs, words[0]), {true, nullptr});
    // The note and the reason may name a texture of the package: Names, as the output path is.
    qv::LineWriter err(std::cerr);
    if (info.contents.picture.empty()) {
        err.line("quorvel-thumbnailer: no picture: ", qv::Name{noPictureReason(info)});
        return 1;
    }
    const std::optional<std::string> png =
        qv::media::pngEncoder()->encode(qv::scaledToFit(info.contents.picture, size));
    const qv::Status written =
        png ? fs.writeOutput(words[1], *png) : qv::Status::failure("the picture cannot be made");
    if (!written) {
        err.line("quorvel-thumbnailer: ", qv::Name{words[1]}, ": ", qv::Name{written.text});
        return 1;
    }
    return 0;
}
