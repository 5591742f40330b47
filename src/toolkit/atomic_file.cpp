#include "toolkit/atomic_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

namespace {

std::string errnoText(int error) {
    return std::generic_category().message(error);
}

FileWriteResult failure(int error, std::string message = {}) {
    return {error, message.empty() ? errnoText(error) : std::move(message)};
}

bool writeAll(int fd, const uint8_t* data, size_t size, int& error) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A write past the process's file-size limit raises SIGXFSZ, whose default action ends the
// program (and would leave the temporary file behind). Ignored, the write fails with
// EFBIG like any other write error.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, nullptr);
    });
}

// ---- Temporary files a signal handler may remove ----

// Names live in fixed buffers, so that the handler reads nothing that is being freed.
constexpr size_t trackedFiles = 64;
constexpr size_t trackedNameBytes = 4096;
struct TrackedFile {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a name
    char name[trackedNameBytes];
};
std::array<TrackedFile, trackedFiles> tracked;
// Set first thing by the handler: a write that starts or creates its file after that
// removes it itself and waits for the end, which is a moment away.
std::atomic<bool> dying{false};

[[noreturn]] void waitForTheEnd() {
    for (;;) ::pause();
}

// The slot now naming `path`, or -1 when none is free or the name is too long (the file is
// then written untracked: a signal may leave it behind, nothing worse).
int track(const std::string& path) {
    if (path.size() >= trackedNameBytes) return -1;
    for (size_t i = 0; i < tracked.size(); ++i) {
        int expected = 0;
        if (tracked[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(tracked[i].name, path.c_str(), path.size() + 1);
            tracked[i].state.store(2);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void untrack(int slot) {
    if (slot < 0) return;
    tracked[static_cast<size_t>(slot)].state.store(1);
    tracked[static_cast<size_t>(slot)].state.store(0);
}

void removeTrackedAndRaise(int signal) {
    dying.store(true);
    for (TrackedFile& file : tracked) {
        if (file.state.load() == 2) ::unlink(file.name);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Overwrites the existing file at `path` in place: used when its folder does not let a
// temporary file be made beside it. Space is reserved first, so a full disk or the size
// limit is met before any old byte is lost where the file system allows. Returns 0 or the
// errno of the failure; `damaged` tells whether old bytes had been overwritten by then.
int writeInPlace(const std::string& path, const uint8_t* data, size_t size, bool& damaged) {
    damaged = false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        int error = S_ISREG(info.st_mode) ? errno : EACCES;
        ::close(fd);
        return error;
    }
    int error = 0;
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size > limit.rlim_cur) {
        error = EFBIG;
    }
    if (error == 0 && size > 0) {
        int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
        if (reserved == ENOSPC || reserved == EFBIG || reserved == EDQUOT) {
            error = reserved;
            // Whatever was reserved past the old end goes again.
            if (::ftruncate(fd, info.st_size) != 0) damaged = true;
        }
    }
    if (error == 0) {
        damaged = true;
        if (!writeAll(fd, data, size, error)) {
            // error set by writeAll
        } else if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::fsync(fd) != 0) {
            error = errno;
        }
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

FileWriteResult inPlaceFallback(const std::string& path, const uint8_t* data, size_t size) {
    bool damaged = false;
    int error = writeInPlace(path, data, size, damaged);
    if (error == 0) return {};
    return failure(error,
                   errnoText(error) + (damaged ? " (the folder is read-only, so the file was being "
                                                 "overwritten in place and is now damaged)"
                                               : " (the folder is read-only, so the file was to be "
                                                 "overwritten in place; it is unchanged)"));
}

// Gives the finished temporary file the target's name without replacing anything there.
int linkWithoutReplacing(const std::string& temp, const std::string& path) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without that rename: a hard link fails just as surely on a taken name.
    if (::link(temp.c_str(), path.c_str()) == 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) return errno;
    // Nor hard links (FAT): look, then rename; only a race with another writer can lose.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) return EEXIST;
    return ::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
}

}  // namespace

FileWriteResult writeFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                    ReplaceMode mode) {
    ignoreFileSizeSignal();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.empty()) return failure(EISDIR);
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (mode == ReplaceMode::Never && exists) return failure(EEXIST);

    // A hidden name beside the target, unique within this process and across processes.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    int slot = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + file + ".saving-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++);
        // Named for the signal handler before it exists, so that no moment is left in which
        // the file is there and a signal would not remove it.
        slot = track(temp);
        // 0666 lets the umask decide, as for any newly created file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int error = errno;
            untrack(slot);
            slot = -1;
            errno = error;
            if (error != EEXIST) break;
        } else if (dying.load()) {
            ::unlink(temp.c_str());
            waitForTheEnd();
        }
    }
    if (fd < 0) {
        int error = errno;
        // A folder we may not write to can still hold a file we may: write that one in
        // place. Quietly when it works; the message says how when it does not.
        struct stat target {};
        if (mode == ReplaceMode::AlwaysOrInPlace && (error == EACCES || error == EPERM) &&
            ::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode) &&
            ::access(path.c_str(), W_OK) == 0) {
            return inPlaceFallback(path, data, size);
        }
        return failure(error);
    }
    int error = 0;
    bool written = writeAll(fd, data, size, error);
    if (written) {
        // Keep the permissions of a file we replace.
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::fchmod(fd, old.st_mode & 07777);
        }
        if (::fsync(fd) != 0) {
            error = errno;
            written = false;
        }
    }
    if (::close(fd) != 0 && written) {
        error = errno;
        written = false;
    }
    if (written) {
        error = mode == ReplaceMode::Never
                    ? linkWithoutReplacing(temp, path)
                    : (::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno);
        written = error == 0;
    }
    if (!written) ::unlink(temp.c_str());
    untrack(slot);
    if (!written) return failure(error);
    return {};
}

void removeTemporaryFilesOnSignal() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = removeTrackedAndRaise;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}
