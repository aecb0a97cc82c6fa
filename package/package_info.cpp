#include "package/package_info.h"

namespace qv {

PackageInfo readPackageInfo(FileSystem& fs, const std::string& path, const ContentOptions& options,
                            const PackageLimits& limits) {
    PackageInfo info;
    info.path = path;
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file.ok()) {
        info.reading = faultReading(PackageFault::Unreadable, {.systemText = file.status.text});
        return info;
    }
    info.identity = file.value->identity();
    PackageReader reader(limits);
    info.reading = reader.read(*file.value, packageDataNoun(path));
    info.reads = reader.reads();
    if (!info.reading.ok()) return info;
    info.contents = readContents(*file.value, reader, options);
    info.reads += info.contents.reads;
    return info;
}

}  // namespace qv
