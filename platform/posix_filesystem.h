#pragma once

#include <functional>

#include "platform/filesystem.h"

namespace qv {

// A move as it goes across file systems, wherever the two names are: the plain file `from` is
// copied under a hidden temporary name beside `to`, flushed, given the name `to` without
// replacing anything, and only then deleted. moveNoReplace does this when a rename reports EXDEV.
Status moveByCopy(const std::string& from, const std::string& to);

// Exchanges the names of the new file `temp` and the plain file `path` once `unchanged` (when
// given) confirms that `path` holds what the caller last read; ESTALE otherwise. A file another
// writer put at `path` between that check and the exchange is put back at once (ESTALE too),
// unless a writer built a file on ours in that instant: that one stays at `path`. Returns `temp`,
// which then names the file displaced. On failure `temp` is gone.
Result<std::string> exchangeIfUnchanged(const std::string& path, const std::string& temp,
                                        const std::function<Result<bool>()>& unchanged);

class PosixFileSystem final : public FileSystem {
  public:
    PosixFileSystem() = default;
    PosixFileSystem(const PosixFileSystem&) = delete;  // it owns the held folders' descriptors
    PosixFileSystem& operator=(const PosixFileSystem&) = delete;

    bool isFile(const std::string& path) override;
    bool isFolder(const std::string& path) override;
    std::string_view otherKind(const std::string& path) override;
    bool exists(const std::string& path) override;
    Result<std::string> readAll(const std::string& path) override;
    Result<std::unique_ptr<InFile>> openForReading(const std::string& path) override;
    Result<std::string> readPlainFile(const std::string& path, std::size_t maxBytes) override;
    Status writeAtomic(const std::string& path, std::string_view data) override;
    Status writeAtomicLike(const std::string& path, std::string_view data,
                           const std::string& ownerOf) override;
    Status writeOutput(const std::string& path, std::string_view data) override;
    Result<std::unique_ptr<OutFile>> createFile(const std::string& path) override;
    Status appendToFile(const std::string& path, std::string_view data) override;
    Result<std::unique_ptr<OutFile>> createNewFile(const std::string& path) override;
    Status removeEmptyFolder(const std::string& path) override;
    Result<std::unique_ptr<OutFile>> openSharedLog(const std::string& path,
                                                   const std::string& sidePath,
                                                   bool& alone) override;
    Status moveNoReplace(const std::string& from, const std::string& to) override;
    Status renameReplace(const std::string& from, const std::string& to) override;
    Status linkReplacing(const std::string& path, const std::string& name) override;
    Result<std::string> exchangeAtomic(const std::string& path, std::string_view data,
                                       const std::string* expected = nullptr) override;
    Status removeFile(const std::string& path) override;
    Status makeFolder(const std::string& path) override;
    Result<std::vector<FileInfo>> listFiles(const std::string& folder,
                                            const std::string& pattern) override;
    std::optional<std::int64_t> modifiedTime(const std::string& path) override;
    std::vector<std::int64_t> modifiedTimesIn(const std::string& folder,
                                              const std::vector<std::string>& names,
                                              std::vector<bool>* plainFiles) override;
    Status makeWritable(const std::string& path) override;
    Status canReplace(const std::string& path) override;
    Result<std::vector<std::string>> listFolders(const std::string& folder) override;
    Result<std::string> canonicalPath(const std::string& path) override;
    Result<std::vector<std::string>> removeLeftTempFiles(const std::string& folder) override;
    Result<bool> holdsExactly(const std::string& path, std::string_view expected) override;
    Result<bool> sameBytesInOtherFile(const std::string& a, const std::string& b) override;
    Status forEachEntry(const std::string& folder,
                        const std::function<void(std::string_view, EntryKind)>& entry) override;
    Status moveListedFile(const std::string& from, const std::string& to,
                          FileIdentity* landed = nullptr) override;
    Result<FileIdentity> identityOf(const std::string& path) override;
    bool readsInParallel() const override { return true; }
    bool listsWhileReading() const override { return true; }
    Result<bool> openForWriting(const std::string& path) override;
    void holdFolders(const std::vector<std::string>& folders) override;
    void releaseFolders() override;
    ~PosixFileSystem() override { releaseFolders(); }

  private:
    // The held folder that is exactly the folder part of `path` (-1 when none), and where the
    // name part of `path` starts.
    int heldFolderOf(const std::string& path, std::size_t& nameStart) const;

    std::vector<std::pair<std::string, int>> held_;  // folder path, descriptor (O_PATH)
};

}  // namespace qv
