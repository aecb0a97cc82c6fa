#pragma once

#include <cerrno>
#include <functional>
#include <string>
#include <type_traits>

#include "platform/forwarding_filesystem.h"

namespace qv {

// Fails chosen operations of another file system with a chosen errno: the k-th counted one
// (everything but the existence tests and modifiedTime; each write and close of an open file
// counts too), or every one from the k-th on, or every one on a path ending in a given name,
// which then also looks absent, as on a disk whose stat(2) fails.
class FaultyFileSystem final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    void failAt(long k, int err, bool onwards = false) { k_ = k, err_ = err, onwards_ = onwards; }
    void failPath(std::string name, int err) { path_ = "/" + std::move(name), err_ = err; }
    bool hit(const std::string& p) const { return p.ends_with(path_); }

    long count = 0, injected = 0;
    // How many more reserve() calls of an open file find room (-1: every one), as on a disk
    // that fills up: the rest fail with ENOSPC.
    long reserveRoom = -1;
    std::string lastFailed;  // the operation that failed last
    // Called before (done false) and after every counted operation; `to` is a move's target.
    std::function<void(const char* op, const std::string& path, const std::string& to, bool done)>
        watch;

    template <class R, class Op>
    R counted(const char* op, const std::string& path, Op&& forward, const std::string& to = {}) {
        ++count;
        if (watch) watch(op, path, to, false);
        if (!hit(path) && (k_ == 0 || count < k_ || (count > k_ && !onwards_))) {
            R result = forward();
            if (watch) watch(op, path, to, true);
            return result;
        }
        ++injected, lastFailed = op;
        if constexpr (std::is_same_v<R, Status>)
            return Status::fromErrno(err_);
        else
            return R{{}, Status::fromErrno(err_)};
    }

    bool isFile(const std::string& p) override { return !hit(p) && inner_.isFile(p); }
    bool exists(const std::string& p) override { return !hit(p) && inner_.exists(p); }
    Result<std::string> readAll(const std::string& p) override {
        return counted<Result<std::string>>("readAll", p, [&] { return inner_.readAll(p); });
    }
    Result<std::string> readPlainFile(const std::string& p, std::size_t max) override {
        return counted<Result<std::string>>("readAll", p,
                                            [&] { return inner_.readPlainFile(p, max); });
    }
    Status writeAtomic(const std::string& p, std::string_view d) override {
        return counted<Status>("writeAtomic", p, [&] { return inner_.writeAtomic(p, d); });
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override;
    Result<std::unique_ptr<OutFile>> openSharedLog(const std::string& p, const std::string& side,
                                                   bool& alone) override;
    Result<std::unique_ptr<OutFile>> createNewFile(const std::string& p) override;
    Status appendToFile(const std::string& p, std::string_view d) override {
        return counted<Status>("appendToFile", p, [&] { return inner_.appendToFile(p, d); });
    }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return counted<Status>(
            "moveNoReplace", f, [&] { return inner_.moveNoReplace(f, t); }, t);
    }
    Status renameReplace(const std::string& f, const std::string& t) override {
        return counted<Status>(
            "renameReplace", f, [&] { return inner_.renameReplace(f, t); }, t);
    }
    Status moveListedFile(const std::string& f, const std::string& t,
                          FileIdentity* landed = nullptr) override {
        return counted<Status>(
            "moveListedFile", f, [&] { return inner_.moveListedFile(f, t, landed); }, t);
    }
    Result<std::string> exchangeAtomic(const std::string& p, std::string_view d,
                                       const std::string* x = nullptr) override {
        return counted<Result<std::string>>("exchangeAtomic", p,
                                            [&] { return inner_.exchangeAtomic(p, d, x); });
    }
    Status linkReplacing(const std::string& p, const std::string& n) override {
        return counted<Status>("linkReplacing", n, [&] { return inner_.linkReplacing(p, n); });
    }
    Result<bool> holdsExactly(const std::string& p, std::string_view x) override {
        return counted<Result<bool>>("holdsExactly", p, [&] { return inner_.holdsExactly(p, x); });
    }
    Status removeFile(const std::string& p) override {
        return counted<Status>("removeFile", p, [&] { return inner_.removeFile(p); });
    }
    Status makeFolder(const std::string& p) override {
        return counted<Status>("makeFolder", p, [&] { return inner_.makeFolder(p); });
    }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& pat) override {
        using R = Result<std::vector<FileInfo>>;
        return counted<R>("listFiles", f, [&] { return inner_.listFiles(f, pat); });
    }

  private:
    long k_ = 0;
    int err_ = 0;
    bool onwards_ = false;
    std::string path_ = "\n";  // no name
};

class FaultyOutFile final : public OutFile {
  public:
    FaultyOutFile(FaultyFileSystem& fs, std::unique_ptr<OutFile> in, std::string path)
        : fs_(fs), in_(std::move(in)), path_(std::move(path)) {}
    Status write(std::string_view d) override {
        return fs_.counted<Status>("write", path_, [&] { return in_->write(d); });
    }
    Status close() override {
        return fs_.counted<Status>("close", path_, [&] { return in_->close(); });
    }
    Status sync() override {
        return fs_.counted<Status>("sync", path_, [&] { return in_->sync(); });
    }
    bool writeThroughMapping() override { return in_->writeThroughMapping(); }
    Status reserve(std::size_t n) override {
        return fs_.counted<Status>("reserve", path_, [&] {
            if (fs_.reserveRoom == 0) return Status::fromErrno(ENOSPC);
            if (fs_.reserveRoom > 0) --fs_.reserveRoom;
            return in_->reserve(n);
        });
    }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<OutFile> in_;
    std::string path_;
};

inline Result<std::unique_ptr<OutFile>> FaultyFileSystem::createFile(const std::string& p) {
    using R = Result<std::unique_ptr<OutFile>>;
    return counted<R>("createFile", p, [&]() -> R {
        R made = inner_.createFile(p);
        if (made.ok())
            made.value = std::make_unique<FaultyOutFile>(*this, std::move(made.value), p);
        return made;
    });
}

// Counted as the creation it is where no other run writes the log.
inline Result<std::unique_ptr<OutFile>> FaultyFileSystem::openSharedLog(const std::string& p,
                                                                        const std::string& side,
                                                                        bool& alone) {
    using R = Result<std::unique_ptr<OutFile>>;
    return counted<R>("createFile", p, [&]() -> R {
        R made = inner_.openSharedLog(p, side, alone);
        if (made.ok())
            made.value = std::make_unique<FaultyOutFile>(*this, std::move(made.value), p);
        return made;
    });
}

inline Result<std::unique_ptr<OutFile>> FaultyFileSystem::createNewFile(const std::string& p) {
    using R = Result<std::unique_ptr<OutFile>>;
    return counted<R>("createNewFile", p, [&]() -> R {
        R made = inner_.createNewFile(p);
        if (made.ok())
            made.value = std::make_unique<FaultyOutFile>(*this, std::move(made.value), p);
        return made;
    });
}

}  // namespace qv
