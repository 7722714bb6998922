#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "link/adapter_link.h"
#include "link/adapter_listing.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/message_recorder.h"
#include "support/short_timing.h"

namespace {

// A bench whose first adapter's node this user may not open.
class GuardedBus : public HidBackend {
public:
    explicit GuardedBus(HidBackend& inner) : inner_(inner) {}
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path) override {
        return path == guarded ? nullptr : inner_.Open(path);
    }
    std::string AccessProblem(const std::string& path) override {
        return path == guarded ? "permission denied" : std::string();
    }
    std::string guarded = SimulatedBackend::AdapterPath(0);

private:
    HidBackend& inner_;
};

// The simulated bench with its adapters locked in a folder of the test's own,
// as the real bus locks them.
class LockedBus : public HidBackend {
public:
    LockedBus(HidBackend& inner, const QString& dir) : inner_(inner), locks_(dir.toStdString()) {}
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path) override { return inner_.Open(path); }
    const AdapterLocks* locks() const override { return &locks_; }

private:
    HidBackend& inner_;
    AdapterLocks locks_;
};

// Another process that holds a lock file until told to go (or dies): it only
// opens, locks and waits, which is safe between fork and exit.
struct LockHolder {
    pid_t pid = -1;
    int go[2] = {-1, -1};
    explicit LockHolder(const std::string& file) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(go[1]);  // so that the parent's close is the end of the pipe
            const int fd = ::open(file.c_str(), O_RDONLY);
            char c = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'l' : 'x';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(go[0], &c, 1);
            ::_exit(0);
        }
        char c = 0;
        (void)!::read(ready[0], &c, 1);
        ::close(ready[0]), ::close(ready[1]), ::close(go[0]);
        if (c != 'l') pid = -1;
    }
    void Leave() {
        ::close(go[1]);
        ::waitpid(pid, nullptr, 0);
    }
};

}  // namespace

// Each link of a bench serves its own adapter; one the user may not open is
// listed with the reason and named in one line, never taken for absent.
TEST(AdapterListing, BenchOfAdaptersEachLinkItsOwnAndTheRefusedOneNamed) {
    AdapterSimulator first, second;
    SimulatedBackend bus(&first);
    ASSERT_EQ(bus.AddAdapter(&second), 1);
    bus.PlugAdapter(0);
    bus.PlugAdapter(1);
    RunFor(0);
    GuardedBus guarded(bus);

    const std::vector<AdapterListing> listed = ListAdapters(guarded);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].problem, "permission denied");
    EXPECT_EQ(listed[1].device.serial, "SIM0002");
    EXPECT_TRUE(listed[1].problem.empty());

    MessageRecorder replies;
    std::string problem;
    AdapterLink refused(guarded, &bus, &replies, ShortLinkTiming());
    refused.SetAdapterPath(SimulatedBackend::AdapterPath(0));
    refused.SetAccessProblemHook([&](const std::string& line) { problem = line; });
    refused.Initialise();
    EXPECT_FALSE(refused.isOpen());
    EXPECT_EQ(problem, AccessProblemLine(listed));
    EXPECT_NE(problem.find("cannot be opened (permission denied): install the udev rule 70-brellix.rules"),
              std::string::npos);

    AdapterLink own(bus, &bus, &replies, ShortLinkTiming());
    own.SetAdapterPath(SimulatedBackend::AdapterPath(1));
    own.Initialise();
    ASSERT_TRUE(own.isOpen());
    bus.UnplugAdapter(0);  // another adapter leaving is none of this link's business
    ASSERT_TRUE(RunUntil([&] { return !bus.adapterPresent(0); }));
    RunFor(0);
    EXPECT_TRUE(own.attached() && own.isOpen());
    bus.UnplugAdapter(1);
    ASSERT_TRUE(RunUntil([&] { return !own.attached(); }));
    EXPECT_FALSE(own.isOpen());
}

// The lock itself: a second open file description is held off even in one
// process, the owner's pid is in the file, and closing lets go.
TEST(AdapterLock, OneOwnerAtATimeAndLetGoOnClose) {
    QTemporaryDir dir;
    const AdapterLocks locks(dir.path().toStdString());
    EXPECT_EQ(locks.FileFor("/dev/hidraw3", "QZ 01/A"), dir.path().toStdString() + "/brellix-_dev_hidraw3-QZ_01_A.lock");

    AdapterLocks::Claim first = locks.Take("/dev/hidraw3", "QZ01");
    ASSERT_TRUE(first.lock.held());
    QFile file(QString::fromStdString(locks.FileFor("/dev/hidraw3", "QZ01")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray::number(::getpid()) + "\n");

    const AdapterLocks::Claim second = locks.Take("/dev/hidraw3", "QZ01");
    EXPECT_FALSE(second.lock.held());
    EXPECT_EQ(second.ownerPid, ::getpid());
    EXPECT_EQ(locks.OwnerElsewhere("/dev/hidraw3", "QZ01"), 0);  // this process is no other program
    EXPECT_TRUE(locks.Take("/dev/hidraw4", "QZ01").lock.held());  // another adapter is another lock

    first.lock.Release();
    EXPECT_TRUE(locks.Take("/dev/hidraw3", "QZ01").lock.held());
    EXPECT_FALSE(AdapterLocks("").Take("/dev/hidraw3", "QZ01").lock.held());  // no folder: no lock, no owner
}

// Another program's adapter is listed with its pid and skipped by the link,
// which looks again until the owner is gone; a dead owner leaves no lock.
TEST(AdapterLock, AnotherProgramsAdapterIsListedInUseUntilItsOwnerDies) {
    QTemporaryDir dir;
    AdapterSimulator device;
    SimulatedBackend bus(&device);
    bus.PlugAdapter();
    RunFor(0);
    LockedBus locked(bus, dir.path());
    const std::string path = SimulatedBackend::AdapterPath(0);
    const std::string file = locked.locks()->FileFor(path, SimulatedBackend::AdapterSerial(0));
    QFile pidFile(QString::fromStdString(file));
    ASSERT_TRUE(pidFile.open(QIODevice::WriteOnly));
    pidFile.write("4242\n");
    pidFile.close();
    LockHolder holder(file);
    ASSERT_GT(holder.pid, 0);

    const std::vector<AdapterListing> listed = ListAdapters(locked);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].ownerPid, 4242);
    EXPECT_EQ(listed[0].problem, "in use by another program (pid 4242)");
    EXPECT_TRUE(AccessProblemLine(listed).empty());  // no udev advice for it

    LinkTiming timing = ShortLinkTiming();
    timing.ownerRetryMs = 10;
    MessageRecorder replies;
    std::vector<std::string> said;
    AdapterLink link(locked, &bus, &replies, timing);
    link.SetAccessProblemHook([&](const std::string& line) { said.push_back(line); });
    link.Initialise();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.ownerPid(), 4242);
    EXPECT_EQ(link.accessProblem(), "Adapter /dev/hidraw-sim1 is in use by another program (pid 4242)\r\n");
    RunFor(50);  // it keeps looking, and says so once
    EXPECT_EQ(said, std::vector<std::string>{link.accessProblem()});

    holder.Leave();  // dies without a word
    ASSERT_TRUE(RunUntil([&] { return link.isOpen(); }));
    EXPECT_TRUE(link.attached());
    EXPECT_EQ(link.ownerPid(), 0);
    EXPECT_TRUE(link.accessProblem().empty());
    EXPECT_FALSE(locked.locks()->Take(path, SimulatedBackend::AdapterSerial(0)).lock.held());  // the link has it now

    // Released for a production station in this process: the station owns
    // the adapter, and the link takes it again once the station has let go.
    link.Release();
    EXPECT_FALSE(link.isOpen());
    {
        AdapterLocks::Claim station = locked.locks()->Take(path, SimulatedBackend::AdapterSerial(0));
        EXPECT_TRUE(station.lock.held());
        RunFor(50);
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.ownerPid(), 0);
    }
    link.Retake();
    EXPECT_TRUE(link.isOpen());
    EXPECT_FALSE(locked.locks()->Take(path, SimulatedBackend::AdapterSerial(0)).lock.held());
    link.CloseAdapter();
    EXPECT_TRUE(locked.locks()->Take(path, SimulatedBackend::AdapterSerial(0)).lock.held());
}
