#pragma once

#include <string>

// One program at a time drives an adapter: two that open the same node
// interleave their requests and each takes the other's replies. Ownership is
// an advisory lock (flock) on a file named after the adapter. The kernel
// drops it with the owner's last descriptor, so an owner that dies leaves no
// stale lock behind.
class AdapterLock {
public:
    AdapterLock() = default;  // holds nothing
    ~AdapterLock() { Release(); }
    AdapterLock(AdapterLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    AdapterLock& operator=(AdapterLock&& other) noexcept;
    AdapterLock(const AdapterLock&) = delete;
    AdapterLock& operator=(const AdapterLock&) = delete;

    bool held() const { return fd_ >= 0; }
    void Release();

private:
    friend class AdapterLocks;
    explicit AdapterLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The folder of the adapters' lock files.
class AdapterLocks {
public:
    // The outcome of Take: the lock, or who has the adapter instead.
    struct Claim {
        AdapterLock lock;
        // The process that holds the lock: 0 when this claim got it or no lock
        // file could be made at all (the adapter is then used without one
        // rather than not at all), -1 when the holder wrote no pid.
        int ownerPid = 0;
    };

    explicit AdapterLocks(std::string directory) : directory_(std::move(directory)) {}

    // $XDG_RUNTIME_DIR for a user, /run/lock for root or when it is not set,
    // the temporary folder when neither can be written; empty when none can.
    static std::string DefaultDirectory();

    // Makes this process the adapter's owner until the claim's lock is
    // released. Another open file description of the same file holds it off
    // as another process does.
    Claim Take(const std::string& path, const std::string& serial) const;

    // The pid of another process that owns the adapter now; 0 when none does
    // or this process is the owner.
    int OwnerElsewhere(const std::string& path, const std::string& serial) const;

    // The lock file of one adapter: its path and serial made safe as a name.
    std::string FileFor(const std::string& path, const std::string& serial) const;

private:
    std::string directory_;
};
