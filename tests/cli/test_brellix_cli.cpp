// brellix-cli run as a user runs it: a process, its exit code, what it
// prints, and the files it leaves, against a bench of simulated adapters.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <functional>
#include <zlib.h>

#include "support/temp_files.h"

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
    std::vector<QJsonObject> json() const {
        std::vector<QJsonObject> objects;
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
            objects.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return objects;
    }
};

CliRun RunCli(const QStringList& arguments, const std::function<void(QProcess&)>& during = {}) {
    QProcess process;
    process.start(BRELLIX_CLI_PATH, arguments);
    process.waitForStarted();
    if (during) during(process);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// 64 KiB that differ from an erased chip everywhere.
QByteArray Image() {
    QByteArray bytes(64 * 1024, 0);
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 13 + 7);
    return bytes;
}

QString Crc(const QByteArray& bytes) {
    return QString::asprintf("%08lX", crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

}  // namespace

TEST(BrellixCli, CommandsExitCodesAndOutput) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image());
    const QString badHex = files.Write("bad.hex", QByteArray(":0400000001020304F1\r\n:00000001FF\r\n"));
    const QString fast = "--sim-latency=0";
    struct Case {
        const char* name;
        QStringList args;
        int exit;
        QString out;  // standard output contains this
        QString err;  // standard error contains this
    };
    const Case cases[] = {
        {"help", {"--help"}, 0, "Exit codes", ""},
        {"unknown option", {"--frobnicate", "detect"}, 2, "", "unknown option --frobnicate"},
        {"missing file", {"--simulate", "program", files.Path("none.hex")}, 2, "", "Cannot load the file"},
        {"damaged file", {"--simulate", "program", badHex}, 2, "", "Checksum Error: line 1"},
        {"failed detection names no chip", {"--simulate", fast, "--json", "--sim-fault", "1:silent@0", "detect"}, 1,
         "\"chip\":\"\"", ""},
        {"reversed range", {"--simulate", "read", "--range", "10-5", "-o", files.Path("r.bin")}, 2, "", "bad --range 10-5"},
        {"firmware unconfirmed", {"--simulate", "firmware", image}, 2, "", "--yes"},
        {"no adapter", {"list"}, 3, "", "no adapter found"},
        {"list a bench", {"--simulate=2", "list"}, 0, "serial SIM0002  ok", ""},
        {"program and verify", {"--simulate", fast, "program", image, "--verify"}, 0,
         "file " + image + ": 65536 bytes, CRC-32 " + Crc(Image()), "Verify Succeed!"},
        {"verify an erased chip", {"--simulate", fast, "verify", image}, 1, "65280 bytes differ:\n  000000  expected 07  read FF",
         "Verify Error at 000000: 65280 bytes differ\n[SIM0001] verify read-back: read-back differs at 0x000000 "
         "(65280 bytes)\n[SIM0001] Done in "},
        // Said before the read starts, not after it.
        {"unwritable output", {"--simulate", "read", "-o", files.Path("no/dir/out.bin")}, 2, "",
         "cannot write " + files.Path("no/dir/out.bin")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, c.exit) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(c.out)) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
    }
}

// A fault on one adapter of a bench fails that adapter alone.
TEST(BrellixCli, OneFaultyAdapterLeavesTheOthersAlone) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image());
    for (const char* fault : {"2:silent@3", "2:unplug@2", "2:corrupt@4", "2:nak@1"}) {
        SCOPED_TRACE(fault);
        const CliRun run = RunCli({"--simulate=3", "--sim-latency=0", "--all", "--json", "--sim-fault", fault,
                                   "program", image, "--verify"});
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        const auto objects = run.json();
        ASSERT_EQ(objects.size(), 3u) << run.out.toStdString();
        for (const QJsonObject& o : objects) {
            const bool faulty = o["serial"].toString() == "SIM0002";
            EXPECT_EQ(o["result"].toString(), faulty ? "failed" : "ok");
            // The job's own last line says why, not the duration after it.
            EXPECT_FALSE(faulty && o["reason"].toString().startsWith("Done in")) << fault;
            EXPECT_EQ(o["crc32"].toString(), Crc(Image()));
            EXPECT_EQ(o["chip"].toString(), "MX25L3208");
        }
    }
}

TEST(BrellixCli, ReadWritesExactlyTheRangeRead) {
    TempFiles files;
    const CliRun bin = RunCli({"--simulate", "--sim-latency=0", "read", "--range", "100-2FF", "-o", files.Path("r.bin")});
    ASSERT_EQ(bin.exitCode, 0) << bin.err.toStdString();
    const QByteArray read = TempFiles::Read(files.Path("r.bin"));
    EXPECT_EQ(read, QByteArray(0x200, char(0xFF)));
    EXPECT_TRUE(bin.out.contains("read " + files.Path("r.bin") + ", CRC-32 " + Crc(read)));

    const CliRun hex = RunCli({"--simulate", "--sim-latency=0", "--quiet", "read", "--range", "18-27", "-o", files.Path("r.hex")});
    ASSERT_EQ(hex.exitCode, 0) << hex.err.toStdString();
    EXPECT_EQ(TempFiles::Read(files.Path("r.hex")),
              ":08001800FFFFFFFFFFFFFFFFE8\r\n:08002000FFFFFFFFFFFFFFFFE0\r\n:00000001FF\n");

    // Several adapters: a file each, named after the adapter.
    const CliRun all =
        RunCli({"--simulate=2", "--sim-latency=0", "--all", "--json", "read", "--range", "0-F", "-o", files.Path("a.bin")});
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    for (const QJsonObject& o : all.json()) {
        const QString path = files.Path("a-" + o["serial"].toString() + ".bin");
        EXPECT_EQ(o["output"].toString(), path);
        EXPECT_EQ(TempFiles::Read(path), QByteArray(16, char(0xFF))) << path.toStdString();
    }
    EXPECT_EQ(all.json().size(), 2u);
}

TEST(BrellixCli, ProductionLogsEveryUnitAndStopsAtTheCount) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image().left(4096));
    const CliRun run = RunCli({"--simulate=2", "--sim-latency=0", "--all", "production", image, "--count", "3",
                               "--log", files.Path("units.csv")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList rows = QString::fromUtf8(TempFiles::Read(files.Path("units.csv"))).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], "time,adapter,serial,chip,file,file_crc32,result,duration_s,first_mismatch");
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(rows[i].contains(",MX25L3208," + image + "," + Crc(Image().left(4096)) + ",pass,"));
    EXPECT_TRUE(run.out.contains("3 units: 3 passed, 0 failed"));

    // One place, named by its serial, takes unit after unit.
    const CliRun named = RunCli({"--simulate=2", "--sim-latency=0", "--adapter", "SIM0002", "production",
                                 image, "--count", "2"});
    EXPECT_EQ(named.exitCode, 0) << named.err.toStdString();
    EXPECT_EQ(named.out.count("SIM0002: pass"), 2) << named.out.toStdString();
    EXPECT_FALSE(named.out.contains("SIM0001"));
}

// Ctrl+C (or a terminate) ends the jobs at their next block, sums up, and
// exits 130.
TEST(BrellixCli, InterruptEndsTheJobsAndSumsUp) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image());
    const CliRun run = RunCli({"--simulate=2", "--sim-latency=3", "--all", "program", image}, [](QProcess& p) {
        p.setReadChannel(QProcess::StandardError);
        p.waitForReadyRead(20000);  // the jobs are under way
        p.terminate();
    });
    EXPECT_EQ(run.exitCode, 130) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Program cancelled")) << run.err.toStdString();
    EXPECT_EQ(run.out.count("cancelled"), 4) << run.out.toStdString();  // progress and summary, each adapter
}
