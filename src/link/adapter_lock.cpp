#include "link/adapter_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace {

// A listing looks at a lock by taking it for a moment. A few short tries keep
// such a look from passing for an owner; a real owner holds on for a job.
constexpr int kLockTries = 5;
constexpr useconds_t kLockTryGapUs = 2000;
constexpr std::size_t kLongestName = 200;

// Open, O_NOFOLLOW: the lock folder may be shared and writable by everyone,
// and a planted link must not make us create or lock some other file.
int OpenLockFile(const std::string& file, bool create) {
    const int flags = O_NOFOLLOW | O_CLOEXEC;
    int fd = create ? ::open(file.c_str(), flags | O_RDWR | O_CREAT, 0644) : -1;
    // Another user's lock file can still be locked, only not written.
    if (fd < 0) fd = ::open(file.c_str(), flags | O_RDONLY);
    return fd;
}

// false when another open file description holds the lock (or locking fails).
bool TryLock(int fd) {
    for (int attempt = 1;; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (attempt == kLockTries) return false;
        ::usleep(kLockTryGapUs);
    }
}

// The owner writes its pid just after it took the lock, so a file read in
// between is still empty: look again a few times. -1 when it stays unknown.
int ReadOwner(int fd) {
    for (int attempt = 1; attempt <= kLockTries; ++attempt) {
        char text[24] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        long pid = 0;
        for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9' && pid < 1'000'000'000; ++i)
            pid = pid * 10 + (text[i] - '0');
        if (pid > 0) return int(pid);
        ::usleep(kLockTryGapUs);
    }
    return -1;
}

// Written over the old pid and then cut to length, so that a reader never
// sees an empty file once a pid was there.
void WriteOwner(int fd) {
    const std::string text = std::to_string(::getpid()) + "\n";
    if (::pwrite(fd, text.data(), text.size(), 0) == ssize_t(text.size()))
        (void)!::ftruncate(fd, off_t(text.size()));
}

bool Writable(const char* dir) { return dir && *dir && ::access(dir, W_OK | X_OK) == 0; }

std::string SafeName(std::string_view text) {
    std::string name(text.substr(0, kLongestName));
    for (char& c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-';
        if (!plain) c = '_';
    }
    return name;
}

}  // namespace

AdapterLock& AdapterLock::operator=(AdapterLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

// Closing the only descriptor of the file description drops the lock.
void AdapterLock::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string AdapterLocks::DefaultDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (::geteuid() != 0 && Writable(runtime)) return runtime;
    if (Writable("/run/lock")) return "/run/lock";
    const char* temp = std::getenv("TMPDIR");
    if (Writable(temp)) return temp;
    if (Writable("/tmp")) return "/tmp";
    return {};
}

std::string AdapterLocks::FileFor(const std::string& path, const std::string& serial) const {
    return directory_ + "/brellix-" + SafeName(path) + "-" + SafeName(serial) + ".lock";
}

AdapterLocks::Claim AdapterLocks::Take(const std::string& path, const std::string& serial) const {
    if (directory_.empty()) return {};
    const int fd = OpenLockFile(FileFor(path, serial), true);
    if (fd < 0) return {};
    if (TryLock(fd)) {
        WriteOwner(fd);
        return {AdapterLock(fd), 0};
    }
    const bool held = errno == EWOULDBLOCK || errno == EINTR;
    const int owner = held ? ReadOwner(fd) : 0;
    ::close(fd);
    return {AdapterLock(), owner};
}

int AdapterLocks::OwnerElsewhere(const std::string& path, const std::string& serial) const {
    if (directory_.empty()) return 0;
    const int fd = OpenLockFile(FileFor(path, serial), false);
    if (fd < 0) return 0;  // never locked
    int owner = 0;
    if (!TryLock(fd) && (errno == EWOULDBLOCK || errno == EINTR)) owner = ReadOwner(fd);
    ::close(fd);
    return owner == int(::getpid()) ? 0 : owner;
}
