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

namespace {

int usage() {
    std::cerr << "Usage: quorvel-thumbnailer [-s SIZE] INPUT OUTPUT.png\n";
    return 2;
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
    const qv::PackageInfo info = qv::readPackageInfo(fs, words[0], {true, nullptr});
    if (info.contents.picture.empty()) {
        std::cerr << "quorvel-thumbnailer: no picture: "
                  << (info.reading.ok() ? info.contents.pictureNote : info.reading.reason) << '\n';
        return 1;
    }
    const std::optional<std::string> png =
        qv::media::pngEncoder()->encode(qv::scaledToFit(info.contents.picture, size));
    const qv::Status written =
        png ? fs.writeAtomic(words[1], *png) : qv::Status::failure("the picture cannot be made");
    if (!written) {
        std::cerr << "quorvel-thumbnailer: " << words[1] << ": " << written.text << '\n';
        return 1;
    }
    return 0;
}
