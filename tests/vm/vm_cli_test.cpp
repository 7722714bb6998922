// brellix-cli against two real kernel HID adapters at once: two uhid adapter
// programs with serials of their own, the real hidraw nodes and udev, and the
// command line run as a user would run it. It runs inside the virtual machine
// of run_vm_test.sh, prints one PASS or FAIL line per check and a closing
// RESULT line, and exits non-zero when a check failed.
//
//   vm_cli_test --cli=PATH --adapter=PATH --scratch=DIR [--fault=silent|wrong-echo] [--label=TEXT]
//
// The scratch folder must be writable (the guest sees the host read-only).

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "adapter_process.h"
#include "link/adapter_listing.h"
#include "link/hidapi_backend.h"

namespace {

using Failure = std::string;  // empty when the check passed

constexpr int kUdevLimitMs = 15000;  // safety net for the nodes to appear under emulation
// Safety net for programming and verifying both chips; under emulation the
// run takes a fraction of it.
constexpr int kCliLimitMs = 90000;
constexpr int kStartLimitMs = 10000;  // safety net: a program that cannot start says so at once
// Each reply this much later while a second program tries the adapter, so
// that the first is sure to be in the middle of its job.
constexpr int kSlowReplyMs = 50;
constexpr std::size_t kImageSize = 256 * 1024;
constexpr uid_t kUnprivileged = 65534;  // nobody: root would walk past any file mode
constexpr std::array<const char*, 2> kSerials = {"QZP-VM-0001", "QZP-VM-0002"};

struct Options {
    QString cli;
    QString adapter;
    QString scratch;
    QString fault = "none";
    std::string label = "cli";
};

struct CliRun {
    int exitCode = -1;
    QStringList out;  // standard output, line by line
    QString err;
    Failure failure;  // the program could not be run to its end
};

// Not blank, and different in every page, so that a block written to the
// wrong address or left out shows.
std::vector<std::uint8_t> TestImage() {
    std::vector<std::uint8_t> image(kImageSize);
    std::uint32_t x = 0x2545F491;
    for (std::uint8_t& b : image) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = std::uint8_t(x >> 24);
    }
    return image;
}

// Who runs a brellix-cli and how.
struct CliUser {
    bool unprivileged = false;
    QString libraryDir;  // the build's own shared libraries, when they had to be copied
};

// A program that cannot start (not found, not executable for this user)
// fails at once with the system's reason, not after the time limit.
Failure StartCli(QProcess& process, const QString& cli, const QStringList& arguments,
                 const CliUser& user = {}) {
    if (user.unprivileged) {
        process.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivileged) != 0 ||
                ::setuid(kUnprivileged) != 0)
                ::_exit(126);
        });
    }
    if (!user.libraryDir.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_LIBRARY_PATH", user.libraryDir);
        process.setProcessEnvironment(environment);
    }
    process.start(cli, arguments);
    if (process.waitForStarted(kStartLimitMs)) return {};
    return "brellix-cli could not start: " + process.errorString().toStdString();
}

CliRun FinishCli(QProcess& process, const CliUser& user = {}) {
    CliRun run;
    if (!process.waitForFinished(kCliLimitMs)) {
        run.failure = "brellix-cli did not end within " + std::to_string(kCliLimitMs / 1000) +
                      " s: " + process.errorString().toStdString();
        process.kill();
        process.waitForFinished(2000);
    } else if (process.exitStatus() != QProcess::NormalExit) {
        run.failure = "brellix-cli crashed";
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    for (const QString& line : run.out) std::printf("  cli| %s\n", qPrintable(line));
    if (user.unprivileged && run.exitCode == 126) run.failure = "could not become uid 65534";
    return run;
}

CliRun RunCli(const QString& cli, const QStringList& arguments, const CliUser& user = {}) {
    QProcess process;
    CliRun run;
    run.failure = StartCli(process, cli, arguments, user);
    return run.failure.empty() ? FinishCli(process, user) : run;
}

// What went wrong, with the command line's own complaint at the end.
Failure Explain(const CliRun& run, const std::string& what) {
    const QStringList err = run.err.split('\n', Qt::SkipEmptyParts);
    const QStringList tail = err.mid(std::max<qsizetype>(0, err.size() - 8));
    return what +
           (tail.isEmpty() ? "" : "; its last words:\n    " + tail.join("\n    ").toStdString());
}

// The last line that starts with text, or an empty string. Progress lines
// start with the adapter too, so the summary row is the last one.
QString LineStartingWith(const QStringList& lines, const QString& text) {
    for (auto line = lines.crbegin(); line != lines.crend(); ++line)
        if (line->startsWith(text)) return *line;
    return {};
}

struct Bench {
    Options options;
    std::array<AdapterProcess, 2> adapters;
    std::array<std::string, 2> paths;  // each serial's hidraw node
    std::vector<std::uint8_t> image = TestImage();
    QString imagePath;

    bool found() const { return !paths[0].empty() && !paths[1].empty(); }
};

// Both devices up and enumerated with their serials, and udevd (when it runs)
// done with their nodes, so that nothing changes their modes behind our back.
Failure CheckBothListed(Bench& b) {
    HidapiBackend hidapi;
    QElapsedTimer clock;
    clock.start();
    std::vector<AdapterListing> listing;
    while (!b.found() && clock.elapsed() < kUdevLimitMs) {
        listing = ListAdapters(hidapi);
        for (const AdapterListing& a : listing)
            for (std::size_t i = 0; i < kSerials.size(); ++i)
                if (a.device.serial == kSerials[i]) b.paths[i] = a.device.path;
        if (!b.found()) QThread::msleep(100);
    }
    if (!b.found()) {
        std::string seen;
        for (const AdapterListing& a : listing)
            seen += " " + a.device.path + " (" + a.device.serial + ")";
        return "both adapters were not listed within " + std::to_string(kUdevLimitMs / 1000) +
               " s; listed:" + (seen.empty() ? " none" : seen);
    }
    if (::access("/run/udev/control", F_OK) == 0 && QProcess::execute("udevadm", {"settle"}) != 0)
        return "udevadm settle failed";
    std::printf("  %s at %s, %s at %s\n", kSerials[0], b.paths[0].c_str(), kSerials[1],
                b.paths[1].c_str());
    return {};
}

Failure WriteImage(const QString& path, const std::vector<std::uint8_t>& image) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(image.data()), qint64(image.size())) !=
            qint64(image.size()))
        return "cannot write " + path.toStdString();
    return {};
}

Failure CheckProgramAll(Bench& b) {
    if (!b.found()) return "no adapters to program";
    b.imagePath = b.options.scratch + "/image.bin";
    if (Failure failure = WriteImage(b.imagePath, b.image); !failure.empty()) return failure;
    QElapsedTimer clock;
    clock.start();
    const CliRun run = RunCli(
        b.options.cli, {"--all", "--access", "jtag", "program", b.imagePath, "--verify"});
    std::printf("  brellix-cli ran %lld ms\n", static_cast<long long>(clock.elapsed()));
    if (!run.failure.empty()) return Explain(run, run.failure);
    if (run.exitCode != 0)
        return Explain(run, "exit code " + std::to_string(run.exitCode) + ", expected 0");
    // The summary: adapter, chip, result, time; one row per adapter.
    for (const char* serial : kSerials) {
        const QStringList row =
            LineStartingWith(run.out, QString(serial) + " ").split(' ', Qt::SkipEmptyParts);
        if (row.size() < 3 || row[2] != "ok")
            return Explain(run, std::string("no summary row with result ok for ") + serial);
    }
    return {};
}

// What the adapter's firmware holds now, against image.
Failure CompareFlash(Bench& b, std::size_t i, const std::vector<std::uint8_t>& image) {
    const QString dump = b.options.scratch + QString("/flash-%1.bin").arg(i + 1);
    std::string error;
    const std::string command =
        "dump 0 " + QString::number(image.size(), 16).toStdString() + " " + dump.toStdString();
    if (!b.adapters[i].Command(command, &error)) return error;
    QFile file(dump);
    if (!file.open(QIODevice::ReadOnly)) return "cannot read " + dump.toStdString();
    const QByteArray flash = file.readAll();
    if (std::size_t(flash.size()) != image.size()) return dump.toStdString() + " is short";
    for (std::size_t a = 0; a < image.size(); ++a) {
        if (std::uint8_t(flash[qsizetype(a)]) != image[a])
            return std::string(kSerials[i]) + ": the flash differs from the image at " +
                   QString::asprintf("%06zX", a).toStdString();
    }
    return {};
}

Failure CheckFlashHoldsImage(Bench& b) {
    if (b.imagePath.isEmpty()) return "nothing was programmed";
    for (std::size_t i = 0; i < b.adapters.size(); ++i)
        if (Failure failure = CompareFlash(b, i, b.image); !failure.empty()) return failure;
    return {};
}

// The pid the listing names as the adapter's owner once process has taken
// it (0 if it never did while it ran).
int WaitForOwner(const std::string& path, QProcess& process) {
    HidapiBackend hidapi;
    QElapsedTimer clock;
    clock.start();
    while (process.state() == QProcess::Running && clock.elapsed() < kUdevLimitMs) {
        for (const AdapterListing& a : ListAdapters(hidapi))
            if (a.device.path == path && a.ownerPid == process.processId()) return a.ownerPid;
        QThread::msleep(20);
    }
    return 0;
}

// A second brellix-cli started while the first programs the same adapter
// leaves it alone: it names the first as the owner and ends with exit 3,
// and the first finishes with the flash holding its (new) image. The adapter
// answers slowly meanwhile, so that the first is surely in mid-job.
Failure CheckSecondProgramTurnedAway(Bench& b) {
    if (!b.found()) return "no adapters to program";
    std::vector<std::uint8_t> image = b.image;
    for (std::uint8_t& byte : image) byte = std::uint8_t(~byte);
    const QString imagePath = b.options.scratch + "/image-2.bin";
    if (Failure failure = WriteImage(imagePath, image); !failure.empty()) return failure;
    std::string error;
    if (!b.adapters[0].Command("latency " + std::to_string(kSlowReplyMs), &error)) return error;
    // Auto: the flash holds the first image, and only an erase lets a
    // program over it take.
    const QStringList arguments = {"--adapter", kSerials[0], "--access", "jtag", "auto", imagePath};
    QProcess first;
    if (Failure failure = StartCli(first, b.options.cli, arguments); !failure.empty()) return failure;
    const int owner = WaitForOwner(b.paths[0], first);
    CliRun second;
    if (owner != 0) second = RunCli(b.options.cli, arguments);
    const bool overlapped = first.state() == QProcess::Running;
    b.adapters[0].Command("latency 0", &error);
    const CliRun firstRun = FinishCli(first);
    if (owner == 0) return Explain(firstRun, "the first brellix-cli was never listed as the owner");
    const std::string expected = "Adapter " + b.paths[0] +
                                 " is in use by another program (pid " + std::to_string(owner) + ")";
    if (!second.failure.empty()) return Explain(second, "the second: " + second.failure);
    if (second.exitCode != 3 || !second.err.contains(QString::fromStdString(expected)))
        return Explain(second, "the second brellix-cli: exit code " +
                                   std::to_string(second.exitCode) + ", expected 3 and \"" +
                                   expected + "\"" +
                                   (overlapped ? "" : " (the first had ended already)"));
    std::printf("  the second brellix-cli: %s\n", expected.c_str());
    if (!firstRun.failure.empty()) return Explain(firstRun, "the first: " + firstRun.failure);
    if (firstRun.exitCode != 0)
        return Explain(firstRun, "the first brellix-cli: exit code " +
                                     std::to_string(firstRun.exitCode) + ", expected 0");
    return CompareFlash(b, 0, image);
}

bool SystemWide(const QString& path) {
    for (const char* place : {"/lib/", "/lib64/", "/usr/lib/", "/usr/lib64/"})
        if (path.startsWith(place)) return true;
    return false;
}

// Another user may not be able to enter the folder the build lies in (a
// checkout in a folder of mode 700): it runs a copy in the scratch folder,
// with any shared library of the build beside it. The system's libraries
// (the sanitizer runtimes among them) every user reaches where they are.
Failure CopyForAnotherUser(const Options& options, QString* cli, QString* libraryDir) {
    const QString dir = options.scratch + "/for-another-user";
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (!QDir().mkpath(dir) || !QFile::setPermissions(options.scratch, readable) ||
        !QFile::setPermissions(dir, readable))
        return "cannot make " + dir.toStdString();
    QProcess ldd;
    ldd.start("ldd", {options.cli});
    if (!ldd.waitForFinished(kStartLimitMs) || ldd.exitCode() != 0)
        return "ldd " + options.cli.toStdString() + " failed";
    QStringList files = {options.cli};
    for (const QString& line : QString::fromUtf8(ldd.readAllStandardOutput()).split('\n')) {
        const QString library = line.section("=> ", 1).section(' ', 0, 0);
        if (library.startsWith('/') && !SystemWide(library)) files << library;
    }
    for (const QString& file : files) {
        const QString copy = dir + "/" + QFileInfo(file).fileName();
        QFile::remove(copy);
        if (!QFile::copy(file, copy) || !QFile::setPermissions(copy, readable))
            return "cannot copy " + file.toStdString() + " to " + dir.toStdString();
    }
    *cli = dir + "/" + QFileInfo(options.cli).fileName();
    if (files.size() > 1) *libraryDir = dir;
    return {};
}

// One node the user may open and one made unreadable: only the second is
// reported, with the file system's own reason.
Failure CheckListPermission(Bench& b) {
    if (!b.found()) return "no adapters to list";
    if (::chmod(b.paths[0].c_str(), 0666) != 0 || ::chmod(b.paths[1].c_str(), 0000) != 0)
        return "cannot change the modes of the hidraw nodes";
    CliUser nobody{true, {}};
    QString cli;
    if (Failure failure = CopyForAnotherUser(b.options, &cli, &nobody.libraryDir); !failure.empty())
        return failure;
    const CliRun run = RunCli(cli, {"list"}, nobody);
    ::chmod(b.paths[0].c_str(), 0600);
    ::chmod(b.paths[1].c_str(), 0600);
    if (!run.failure.empty()) return Explain(run, run.failure);
    if (run.exitCode != 4)
        return Explain(run, "exit code " + std::to_string(run.exitCode) + ", expected 4");
    const QString open = LineStartingWith(run.out, QString::fromStdString(b.paths[0]) + " ");
    const QString closed = LineStartingWith(run.out, QString::fromStdString(b.paths[1]) + " ");
    if (!open.contains(kSerials[0]) || !open.endsWith(" ok"))
        return Explain(run,
                       "the readable node is not listed as ok: \"" + open.toStdString() + "\"");
    if (!closed.contains(kSerials[1]) || !closed.contains("permission denied"))
        return Explain(run, "the unreadable node is not listed with \"permission denied\": \"" +
                                closed.toStdString() + "\"");
    return {};
}

bool ParseOptions(const QStringList& args, Options* o) {
    for (const QString& arg : args.mid(1)) {
        const QString value = arg.section('=', 1);
        if (arg.startsWith("--cli="))
            o->cli = value;
        else if (arg.startsWith("--adapter="))
            o->adapter = value;
        else if (arg.startsWith("--scratch="))
            o->scratch = value;
        else if (arg.startsWith("--fault="))
            o->fault = value;
        else if (arg.startsWith("--label="))
            o->label = value.toStdString();
        else
            return false;
    }
    return !o->cli.isEmpty() && !o->adapter.isEmpty() && !o->scratch.isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Bench b;
    if (!ParseOptions(app.arguments(), &b.options)) {
        std::fprintf(stderr,
                     "usage: vm_cli_test --cli=PATH --adapter=PATH --scratch=DIR "
                     "[--fault=silent|wrong-echo] [--label=TEXT]\n");
        return 2;
    }
    const char* label = b.options.label.c_str();
    QDir().mkpath(b.options.scratch);
    for (std::size_t i = 0; i < b.adapters.size(); ++i) {
        std::string error;
        const QStringList arguments = {"--create", "--quiet", QString("--serial=") + kSerials[i],
                                       "--fault=" + b.options.fault};
        if (!b.adapters[i].Start(b.options.adapter, arguments, &error)) {
            std::printf(
                "FAIL [%s] uhid adapter %s: %s\nRESULT [%s]: FAIL (the devices could not be "
                "started)\n",
                label, kSerials[i], error.c_str(), label);
            return 1;
        }
    }

    const std::pair<const char*, std::function<Failure(Bench&)>> checks[] = {
        {"two adapters listed with their serials", CheckBothListed},
        {"program --all --verify of 256 KiB", CheckProgramAll},
        {"each adapter's flash holds the image", CheckFlashHoldsImage},
        {"a second program on a busy adapter: in use, exit 3", CheckSecondProgramTurnedAway},
        {"list as another user: permission denied, exit 4", CheckListPermission},
    };
    int failed = 0;
    for (const auto& [name, check] : checks) {
        const Failure failure = check(b);
        if (failure.empty())
            std::printf("PASS [%s] %s\n", label, name);
        else
            std::printf("FAIL [%s] %s: %s\n", label, name, failure.c_str());
        std::fflush(stdout);
        failed += failure.empty() ? 0 : 1;
    }
    const int total = int(std::size(checks));
    if (failed == 0)
        std::printf("RESULT [%s]: PASS (%d checks)\n", label, total);
    else
        std::printf("RESULT [%s]: FAIL (%d of %d checks failed)\n", label, failed, total);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
