// brellix-cli run as a user runs it: a process, its exit code, what it
// prints, and the files it leaves, against a bench of simulated adapters.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <pty.h>
#include <signal.h>
#include <unistd.h>
#include <zlib.h>

#include "support/elf_file.h"
#include "support/scratch_postgres.h"
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

// Never a process group: a process that has ended has no id.
void Signal(QProcess& process, int signal) {
    if (process.processId() > 0) ::kill(pid_t(process.processId()), signal);
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

// A recipe for image with one counter, SN00001 up to SN0000<last>, at 0x100: in a blank block
// of the image written by ImageWithBlankBlock().
CliRun NewRecipe(TempFiles& files, const QString& image, int last) {
    const QString field = QString(R"({"name": "serial", "kind": "counter", "address": "0x100", "start": 1,)"
                                  R"( "last": %1, "encoding": {"format": "ascii-dec", "width": 5, "prefix": "SN"}})")
                              .arg(last);
    return RunCli({"recipe", "new", files.Path("line.json"), "--image", image, "--chip", "MX25L3208", "--verify",
                   "--field", field});
}

QString UnitLogHeader() {
    return "time,adapter,serial,chip,file,file_crc32,result,duration_s,first_mismatch,unit,step,detail";
}

QByteArray ImageWithBlankBlock() {
    QByteArray bytes = Image().left(4096);
    bytes.replace(0x100, 0x100, QByteArray(0x100, char(0xFF)));
    return bytes;
}

// The units' rows as the record keeps them: fields, result, read-back CRC-32.
QList<QStringList> UnitRows(const QString& file) {
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "units");
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery q("SELECT fields, result, readback_crc FROM units ORDER BY unit_number", db);
        while (q.next()) rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
    }
    QSqlDatabase::removeDatabase("units");
    return rows;
}

}  // namespace

TEST(BrellixCli, CommandsExitCodesAndOutput) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image());
    const QString badHex = files.Write("bad.hex", QByteArray(":0400000001020304F1\r\n:00000001FF\r\n"));
    const QString emptyBin = files.Write("empty.bin", QByteArray());
    const QString endOnly = files.Write("end.hex", QByteArray(":00000001FF\r\n"));
    const ElfFile maker(true, false);
    const QString elf = files.Write("fw.elf", maker.Make({{PT_LOAD, maker.DataStart(1), 0x80, 4, 0}}, "\1\2\3\4", 0x84));
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
        {"one-byte range", {"--simulate", fast, "read", "--range", "10-10", "-o", files.Path("r.bin")}, 0,
         "CRC-32 FF000000", "Read from addr:000010 to 000010 finished!"},
        {"range past the chip", {"--simulate", "read", "--range", "3FFF00-400000", "-o", files.Path("r.bin")}, 2, "",
         "runs past the chip's end at 3FFFFF"},
        {"range outside the space", {"--simulate", "read", "--range", "500000-500010", "-o", files.Path("r.bin")}, 2,
         "", "outside the address space 000000-3FFFFF"},
        {"empty image", {"--simulate", "program", emptyBin}, 2, "", emptyBin + " holds no data"},
        {"elf start", {"--simulate", fast, "--json", "program", elf}, 0, "\"start\":\"00000084\"", ""},
        {"binary placed high", {"--simulate", fast, "--json", "--bin-offset", "3F0000", "program", image}, 0,
         "\"format\":\"binary\"", ""},
        {"binary placed past the end", {"--simulate", "--bin-offset", "3F0001", "program", image}, 2, "",
         "the file does not fit in the 4 MiB image at 3F0001: 65535 bytes fit there"},
        {"offset for a hex file", {"--simulate", "--bin-offset", "100", "program", badHex}, 2, "",
         "--bin-offset places a .bin file only, and " + badHex + " is not one"},
        {"end record only", {"--simulate", "auto", endOnly}, 2, "", endOnly + " holds no data"},
        {"empty production", {"--simulate", "production", endOnly}, 2, "", "holds no data"},
        {"json list of none", {"--json", "list"}, 3, "[]", ""},
        {"serial in any case", {"--simulate=2", fast, "--adapter", "sim0002", "--json", "detect"}, 0,
         "\"serial\":\"SIM0002\"", ""},
        {"direct compare", {"--simulate", fast, "--access", "direct", "verify", image}, 1, "",
         "Nothing compared: Direct access cannot read the chip back (use --access jtag)"},
        // Quiet, but not about a failure.
        {"quiet failure", {"--simulate", fast, "--quiet", "--sim-fault", "1:nak@3", "program", image}, 1, "",
         "brellix-cli: SIM0001: failed: "},
        {"firmware unconfirmed", {"--simulate", "firmware", image}, 2, "", "--yes"},
        {"a place failing in a row is out", {"--simulate", fast, "--stop-after-failures", "2", "--sim-fault",
         "1:corrupt@every", "production", image}, 1, "2 units: 0 passed, 2 failed",
         "SIM0001: 2 failures in a row, the place is out of the run\nbrellix-cli: no place is left, the run ends"},
        {"next unit on what", {"--simulate", "--next", "foot", "production", image}, 2, "", "--next takes key or replug"},
        {"no adapter", {"list"}, 3, "", "no adapter found"},
        {"list a bench", {"--simulate=2", "list"}, 0, "serial SIM0002  ok", ""},
        {"program and verify", {"--simulate", fast, "program", image, "--verify"}, 0,
         "file " + image + ": 65536 bytes, CRC-32 " + Crc(Image()), "Verify Succeed!"},
        {"verify an erased chip", {"--simulate", fast, "verify", image}, 1, "65280 bytes differ:\n  000000  expected 07  read FF",
         "Verify Error at 000000: 65280 bytes differ\n[SIM0001] verify read-back: read-back differs at 0x000000 "
         "(65280 bytes)\n[SIM0001] Done in "},
        // Said before the read starts, not after it.
        {"output of no known kind", {"--simulate", "read", "-o", files.Path("out.elf")}, 2, "",
         "the output file must end in .hex, .ldr, .srec, .s19, .s28, .s37, .mot or .bin"},
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
    const QString help = RunCli({"--help"}).out;
    for (const char* option : {"--range START-END", "-o, --output", "--verify", "--yes", "--count N", "--log", "143", "--next replug|key",
                               "--stop-after-failures N"})
        EXPECT_TRUE(help.contains(option)) << option;
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
            EXPECT_EQ(!o["step"].toString().isEmpty(), faulty) << fault;
            EXPECT_EQ(o.contains("detail"), faulty) << fault;
            EXPECT_EQ(o["crc32"].toString(), Crc(Image()));
            EXPECT_EQ(o["chip"].toString(), "MX25L3208");
        }
    }
}

TEST(BrellixCli, ReadWritesExactlyTheRangeRead) {
    TempFiles files;
    const CliRun bin = RunCli({"--simulate", "--sim-latency=0", "read", "--range", "100-2FF", "-o", files.Path("r.bin")});
    ASSERT_EQ(bin.exitCode, 0) << bin.err.toStdString();
    // Every byte at its own offset, those before the range unread.
    const QByteArray read = TempFiles::Read(files.Path("r.bin"));
    EXPECT_EQ(read, QByteArray(0x300, char(0xFF)));
    EXPECT_TRUE(bin.out.contains("read " + files.Path("r.bin") + ", CRC-32 " + Crc(read.mid(0x100))));

    const CliRun hex = RunCli({"--simulate", "--sim-latency=0", "--quiet", "read", "--range", "18-27", "-o", files.Path("r.hex")});
    ASSERT_EQ(hex.exitCode, 0) << hex.err.toStdString();
    EXPECT_EQ(TempFiles::Read(files.Path("r.hex")),
              ":08001800FFFFFFFFFFFFFFFFE8\r\n:08002000FFFFFFFFFFFFFFFFE0\r\n:00000001FF\n");
    const CliRun srec = RunCli({"--simulate", "--sim-latency=0", "--quiet", "read", "--range", "18-27", "-o", files.Path("r.s37")});
    ASSERT_EQ(srec.exitCode, 0) << srec.err.toStdString();
    EXPECT_EQ(TempFiles::Read(files.Path("r.s37")),
              "S0080000722E7333377A\r\nS10B0018FFFFFFFFFFFFFFFFE4\r\nS10B0020FFFFFFFFFFFFFFFFDC\r\n"
              "S5030002FA\r\nS9030000FC\r\n");

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
    EXPECT_EQ(rows[0], "time,adapter,serial,chip,file,file_crc32,result,duration_s,first_mismatch,unit,step,detail");
    const QRegularExpression utcMs("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z,");
    QStringList units;
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(rows[i].contains(utcMs)) << rows[i].toStdString();
        EXPECT_TRUE(rows[i].contains(",MX25L3208," + image + "," + Crc(Image().left(4096)) + ",pass,"));
        units << rows[i].section(',', -3, -3);
    }
    units.sort();
    EXPECT_EQ(units, QStringList({"1", "2", "3"}));
    EXPECT_TRUE(run.out.contains("3 units: 3 passed, 0 failed"));
    // Off a terminal the run's counters are printed when they change.
    EXPECT_EQ(run.out.count("passed 3  failed 0  yield 100.0%  "), 1) << run.out.toStdString();

    // A place failing twice in a row is out; the other goes on to the count.
    const CliRun out = RunCli({"--simulate=2", "--sim-latency=0", "--all", "--stop-after-failures", "2",
                               "--sim-fault", "2:corrupt@every", "production", image, "--count", "6"});
    EXPECT_EQ(out.out.count("SIM0002: fail"), 2) << out.out.toStdString();
    EXPECT_TRUE(out.out.contains("6 units: 4 passed, 2 failed"));
    EXPECT_TRUE(out.err.contains("SIM0002: 2 failures in a row, the place is out of the run"));
    EXPECT_FALSE(out.err.contains("no place is left"));

    // --next key: the adapter stays plugged and Enter starts the next unit;
    // once the input ends, none starts.
    QString seen;
    const CliRun keyed = RunCli({"--simulate", "--sim-latency=0", "--next", "key", "production", image, "--count", "3"},
                                [&seen](QProcess& p) {
                                    while (!seen.contains("unit 1 ") && p.waitForReadyRead(20000))
                                        seen += p.readAllStandardOutput();
                                    p.write("\n");
                                    while (!seen.contains("unit 2 ") && p.waitForReadyRead(20000))
                                        seen += p.readAllStandardOutput();
                                    p.closeWriteChannel();
                                });
    EXPECT_EQ(keyed.exitCode, 0) << keyed.err.toStdString();
    EXPECT_EQ((seen + keyed.out).count("SIM0001: pass"), 2) << (seen + keyed.out).toStdString();
    EXPECT_TRUE(keyed.out.contains("2 units: 2 passed")) << keyed.out.toStdString();
    EXPECT_TRUE(keyed.err.contains("standard input closed, no next unit starts"));

    // Without --all the bench has one place, whatever else is attached.
    const CliRun one = RunCli({"--simulate=2", "--sim-latency=0", "production", image, "--count", "3"});
    EXPECT_EQ(one.out.count("SIM0001: pass"), 3) << one.out.toStdString();
    EXPECT_FALSE(one.out.contains("SIM0002"));

    // JSON: an object per unit as it ends, then the totals.
    const CliRun json = RunCli({"--simulate=2", "--sim-latency=0", "--all", "--json", "--sim-fault", "2:nak@3",
                                "production", image, "--count", "3"});
    EXPECT_EQ(json.exitCode, 1);
    const auto objects = json.json();
    ASSERT_EQ(objects.size(), 4u) << json.out.toStdString();
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(objects[i]["result"].toString() == "fail", !objects[i]["step"].toString().isEmpty());
    EXPECT_EQ(objects[3]["units"].toInt(), 3);
    EXPECT_EQ(objects[3]["passed"].toInt() + objects[3]["failed"].toInt(), 3);

    // One place, named by its serial, takes unit after unit.
    const CliRun named = RunCli({"--simulate=2", "--sim-latency=0", "--adapter", "SIM0002", "production",
                                 image, "--count", "2"});
    EXPECT_EQ(named.exitCode, 0) << named.err.toStdString();
    EXPECT_EQ(named.out.count("SIM0002: pass"), 2) << named.out.toStdString();
    EXPECT_FALSE(named.out.contains("SIM0001"));
}

// Ctrl+C (or a terminate) ends the jobs at their next block, sums up, and
// exits 128 + the signal.
TEST(BrellixCli, InterruptEndsTheJobsAndSumsUp) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image());
    const CliRun run = RunCli({"--simulate=2", "--sim-latency=3", "--all", "program", image}, [](QProcess& p) {
        p.setReadChannel(QProcess::StandardError);
        p.waitForReadyRead(20000);  // the jobs are under way
        p.terminate();
    });
    EXPECT_EQ(run.exitCode, 143) << run.err.toStdString();  // 128 + SIGTERM
    EXPECT_TRUE(run.err.contains("Program cancelled")) << run.err.toStdString();
    EXPECT_EQ(run.out.count("cancelled"), 4) << run.out.toStdString();  // progress and summary, each adapter

    // A second Ctrl+C while the first winds down ends it at once: the reply
    // the cancel waits for is a second away.
    const CliRun twice = RunCli({"--simulate", "--sim-latency=1000", "program", image}, [](QProcess& p) {
        p.setReadChannel(QProcess::StandardError);
        p.waitForReadyRead(20000);
        while (p.state() != QProcess::NotRunning && !p.waitForFinished(20)) Signal(p, SIGINT);
    });
    EXPECT_EQ(twice.exitCode, 130);
    EXPECT_FALSE(twice.out.contains("adapter ")) << twice.out.toStdString();  // no summary

    // Units cut short are counted and logged, with where they stopped.
    const CliRun units = RunCli({"--simulate=2", "--sim-latency=3", "--all", "production", image, "--log",
                                 files.Path("units.csv")},
                                [](QProcess& p) {
                                    p.setReadChannel(QProcess::StandardError);
                                    p.waitForReadyRead(20000);
                                    Signal(p, SIGINT);
                                });
    EXPECT_EQ(units.exitCode, 130) << units.err.toStdString();
    EXPECT_TRUE(units.out.contains("2 units: 0 passed, 0 failed, 2 cancelled")) << units.out.toStdString();
    EXPECT_TRUE(units.out.contains(QRegularExpression("SIM0001 +auto "))) << "a live line per place";
    const QStringList rows = QString::fromUtf8(TempFiles::Read(files.Path("units.csv"))).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    for (const QString& row : rows.mid(1)) {
        EXPECT_EQ(row.section(',', 6, 6), "cancelled") << row.toStdString();
        EXPECT_FALSE(row.section(',', 10, 10).isEmpty()) << row.toStdString();  // the step it stopped in
    }
}

// Off a terminal a finished adapter's line comes once, however long the
// others take; on one, four adapters' lines fit 40 columns.
TEST(BrellixCli, LiveLinesOnATerminalAndOff) {
    TempFiles files;
    const QString image = files.Write("image.bin", Image() + Image());
    const QStringList args = {"--simulate=4", "--sim-latency=3", "--all", "--sim-fault", "4:nak@2", "program", image};
    const CliRun plain = RunCli(args);
    for (const char* line : {"SIM0001       program  done", "SIM0004       program  FAILED"})
        EXPECT_EQ(plain.out.count(line), 1) << plain.out.toStdString();

    int master = -1, slave = -1;
    winsize size{24, 40, 0, 0};
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QByteArray screen;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, n);
    };
    QProcess p;
    p.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
    p.start(BRELLIX_CLI_PATH, args);
    while (p.state() != QProcess::NotRunning && !p.waitForFinished(20)) drain();
    drain();
    ::close(slave);
    ::close(master);
    int live = 0;
    for (QString line : QString::fromUtf8(screen).split('\n')) {
        line.remove(QRegularExpression("\x1b\\[[0-9]*[A-Za-z]|\r"));
        if (!line.contains(QRegularExpression("^SIM000\\d +program"))) continue;
        ++live;
        EXPECT_LE(line.size(), 39) << line.toStdString();
    }
    EXPECT_GE(live, 4);
}

// Two places run one recipe: each unit carries its own serial into the chip
// (its read-back CRC is the image's with that serial) and into the record.
TEST(BrellixCli, RecipeWritesEachUnitsSerialIntoTheChipAndTheRecord) {
    TempFiles files;
    const QByteArray bytes = ImageWithBlankBlock();
    const QString image = files.Write("fw.bin", bytes);
    ASSERT_EQ(NewRecipe(files, image, 4).exitCode, 0);
    const CliRun run = RunCli({"--simulate=2", "--sim-latency=0", "--all", "production", "--recipe",
                               files.Path("line.json"), "--count", "3", "--log", files.Path("units.csv"),
                               "--station", "bench1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("passed 3  failed 0  yield 100.0%")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("values left 1\n"));
    const QList<QStringList> rows = UnitRows(files.Path("line.sqlite"));
    ASSERT_EQ(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QString serial = QString("SN%1").arg(i + 1, 5, 10, QChar('0'));
        EXPECT_EQ(rows[i][0], R"({"serial":")" + serial + R"("})");
        EXPECT_EQ(rows[i][1], "pass");
        QByteArray unit = bytes;
        unit.replace(0x100, 7, serial.toLatin1());
        EXPECT_EQ(rows[i][2], Crc(unit)) << serial.toStdString();
    }
    const QString log = QString::fromUtf8(TempFiles::Read(files.Path("units.csv")));
    EXPECT_TRUE(log.startsWith(UnitLogHeader() + ",serial\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(",SN00003\n"));

    // One value is left: one unit takes it, the next finds none.
    const CliRun rest = RunCli({"--simulate", "--sim-latency=0", "--quiet", "production", "--recipe",
                                files.Path("line.json")});
    EXPECT_EQ(rest.exitCode, 1);
    EXPECT_TRUE(rest.err.contains("serial numbers exhausted")) << rest.err.toStdString();
    EXPECT_EQ(UnitRows(files.Path("line.sqlite")).size(), 4);

    const CliRun json = RunCli({"report", "--db", files.Path("line.sqlite"), "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject report = json.json().at(0);
    EXPECT_EQ(report["units"].toInt(), 4);
    EXPECT_EQ(report["passed"].toInt(), 4);
    EXPECT_EQ(report["valuesSpent"].toObject()["line/serial"].toInt(), 4);
    EXPECT_EQ(report["places"].toArray().size(), 2);
    EXPECT_EQ(report["stations"].toArray().size(), 2);
    const CliRun last = RunCli({"report", "--db", files.Path("line.sqlite"), "--last", "--csv"});
    EXPECT_TRUE(last.out.startsWith("group,name,units,passed,failed,cancelled,interrupted,yield_percent,count\n"
                                    "total,2,1,1,0,0,0,100.0,1\n")) << last.out.toStdString();
    EXPECT_EQ(RunCli({"report", "--db", files.Path("line.sqlite"), "--run", "9"}).exitCode, 2);
}

// A recipe that cannot be trusted programs nothing and opens no record.
TEST(BrellixCli, RecipeRefusalsNameTheirCause) {
    TempFiles files;
    const QString image = files.Write("fw.bin", ImageWithBlankBlock());
    ASSERT_EQ(NewRecipe(files, image, 4).exitCode, 0);
    const QString recipe = files.Path("line.json");
    files.Write("keys.csv", "key\n11\n12\n");
    ASSERT_EQ(RunCli({"recipe", "new", files.Path("csv.json"), "--image", image, "--chip", "MX25L3208", "--field",
                      R"({"name": "key", "kind": "csv", "file": "keys.csv", "columns": [{"column": "key",)"
                      R"( "address": "0x100", "encoding": {"format": "ascii-dec", "width": 2}}]})"})
                  .exitCode,
              0);
    // A server of the test's own refuses a role it does not know.
    ScratchPostgres server;
    QString error;
    const bool postgres = server.Start(&error) && server.CreateDatabase("floor", &error);
    const QString ghost = QString(server.Url("floor")).replace("brellix@", "ghost:secret@");
    const QString bad = files.Write(
        "bad.json", QByteArray(R"({"name": "x", "version": "1", "image": {"path": "fw.bin", "size": 4096,)"
                               R"( "crc32": "00000000"}, "chip": {"name": "MX25L3208"}, "colour": 1, "fields":)"
                               R"( [{"name": "s", "kind": "counter", "address": "0x2000", "start": 1, "last": 3,)"
                               R"( "encoding": {"format": "le", "width": 4}}]})"));
    struct Case {
        const char* name;
        QStringList args;
        QStringList err;
    };
    const Case cases[] = {
        {"bad recipe", {"--recipe", bad}, {"bad.json: colour: unknown key", "bad.json: fields[0]"}},
        {"contradicting option", {"--recipe", recipe, "--access", "direct"},
         {"--access direct contradicts the recipe's access jtag"}},
        {"unreachable record", {"--recipe", recipe, "--db", "postgresql://nobody@/none?host=" + files.Path("no")},
         {"cannot open the record"}},
        {"not JSON", {"--recipe", files.Write("half.json", "{\"name\": ")}, {"half.json: not JSON: "}},
        {"CSV rows fewer than units", {"--recipe", files.Path("csv.json"), "--count", "3"},
         {"csv.json: fields[0]: keys.csv has 2 rows, fewer than the 3 units asked for"}},
        {"role refused", {"--recipe", recipe, "--db", ghost}, {"cannot open the record", "ghost"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!postgres && QString(c.name) == "role refused") continue;
        const CliRun run = RunCli(QStringList{"--simulate", "--sim-latency=0", "production"} + c.args);
        EXPECT_EQ(run.exitCode, 2);
        for (const QString& line : c.err) EXPECT_TRUE(run.err.contains(line)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Program Finished"));
        EXPECT_FALSE(run.err.contains("secret"));  // a password is never printed
        EXPECT_EQ(run.err.count('\n'), QString(c.name) == "bad recipe" ? run.err.count("bad.json") : 1)
            << run.err.toStdString();
    }
    // The image changed after the recipe was written.
    QByteArray changed = ImageWithBlankBlock();
    changed[5] = char(changed[5] ^ 1);
    files.Write("fw.bin", changed);
    const CliRun run = RunCli({"--simulate", "production", "--recipe", recipe});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("fw.bin: CRC-32 " + Crc(changed) + ", the recipe expects " +
                                 Crc(ImageWithBlankBlock())))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(files.Path("line.sqlite")));
}

// A floor's record on PostgreSQL goes away mid-run: the units under way
// finish into the spool, no new unit starts, and once the server is back the
// station's next run sends them: every unit started has its one row.
TEST(BrellixCli, RecordLostMidRunStartsNoUnitAndLosesNone) {
    ScratchPostgres server;
    QString error;
    if (!server.Start(&error) || !server.CreateDatabase("floor", &error)) GTEST_SKIP() << error.toStdString();
    TempFiles files;
    ASSERT_EQ(NewRecipe(files, files.Write("fw.bin", ImageWithBlankBlock()), 1000).exitCode, 0);
    const QStringList args = {"--simulate=2", "--sim-latency=3", "--all", "production", "--recipe",
                              files.Path("line.json"), "--db", server.Url("floor"), "--station", "s1"};
    QProcess process;
    process.start(BRELLIX_CLI_PATH, args);
    QString out;
    while (!out.contains("passed 2") && process.waitForReadyRead(60000)) out += process.readAllStandardOutput();
    server.Stop(true);
    process.waitForFinished(120000);
    out += process.readAllStandardOutput();
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(err.contains("the record cannot be reached, no new unit starts")) << err.toStdString();
    const QRegularExpressionMatch totals = QRegularExpression("(\\d+) units: (\\d+) passed").match(out);
    ASSERT_TRUE(totals.hasMatch()) << out.toStdString();

    ASSERT_TRUE(server.Restart(&error)) << error.toStdString();
    EXPECT_EQ(RunCli(args + QStringList{"--sim-latency=0", "--count", "1"}).exitCode, 0);
    const CliRun report = RunCli({"report", "--db", server.Url("floor"), "--json"});
    ASSERT_EQ(report.exitCode, 0) << report.err.toStdString();
    const QJsonObject all = report.json().at(0);
    EXPECT_EQ(all["units"].toInt(), totals.captured(1).toInt() + 1);
    EXPECT_EQ(all["valuesSpent"].toObject()["line/serial"].toInt(), totals.captured(2).toInt() + 1);
}

namespace {

struct FloorCase {
    const char* name;
    bool postgres;
    bool restart;  // the server stops mid-run and comes back
};

void PrintTo(const FloorCase& floor, std::ostream* os) { *os << floor.name; }

class ProductionFloor : public testing::TestWithParam<FloorCase> {};

constexpr int kFloorStations = 4;
constexpr int kFloorUnitsEach = 50;

// One station as a process of its own, in its own folder: its copy of the
// recipe, and its spool beside it. latencyMs: the simulated adapters' reply
// time, which keeps units under way longer.
std::unique_ptr<QProcess> StartStation(const TempFiles& files, const QString& db, int s, int count, bool fault,
                                       int latencyMs = 0) {
    QDir(files.Path({})).mkdir(QString("s%1").arg(s));
    const QString recipe = files.Path(QString("s%1/line.json").arg(s));
    QFile::copy(files.Path("line.json"), recipe);
    QFile::copy(files.Path("fw.bin"), files.Path(QString("s%1/fw.bin").arg(s)));
    QStringList args = {"--simulate=4", QString("--sim-latency=%1").arg(latencyMs), "--all", "--quiet", "--json"};
    if (fault) args << "--sim-fault" << QString("%1:nak@5").arg(s);
    args << QStringList{"production", "--recipe", recipe, "--db", db, "--station", QString("s%1").arg(s),
                        "--count", QString::number(count)};
    auto station = std::make_unique<QProcess>();
    station->start(BRELLIX_CLI_PATH, args);
    return station;
}

// What a station's run said it did: its units started (each one ended), and those that failed.
struct StationTally {
    int units = 0;
    int failed = 0;
};

StationTally Tally(const QString& out) {
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o["command"].toString() == "production") return {o["units"].toInt(), o["failed"].toInt()};
    }
    ADD_FAILURE() << "no totals: " << out.toStdString();
    return {};
}

// The record as the floor left it: units is how many the stations started, failed how many failed.
void CheckFloorRecord(const QString& db, const ScratchPostgres& server, bool postgres, int units, int failed) {
    QStringList passed, notPassed;
    int held = -1, interrupted = 0, open = -1;
    {
        QSqlDatabase record = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", "floor");
        if (postgres) {
            record.setHostName(server.socketFolder());
            record.setPort(ScratchPostgres::port());
            record.setUserName("brellix");
        }
        record.setDatabaseName(postgres ? "floor" : db);
        ASSERT_TRUE(record.open());
        QSqlQuery rows("SELECT fields, result FROM units", record);
        while (rows.next()) {
            const QString result = rows.value(1).toString();
            // A reservation whose commit the lost server never confirmed: the
            // next run finds it held and gives its value back.
            if (result == "interrupted") ++interrupted;
            else (result == "pass" ? passed : notPassed) << rows.value(0).toString();
        }
        QSqlQuery reserved("SELECT COUNT(*) FROM reservations WHERE state = 'reserved'", record);
        if (reserved.next()) held = reserved.value(0).toInt();
        QSqlQuery runs("SELECT COUNT(*) FROM runs WHERE ended_utc IS NULL", record);
        if (runs.next()) open = runs.value(0).toInt();
    }
    QSqlDatabase::removeDatabase("floor");
    EXPECT_EQ(passed.size() + notPassed.size(), units);
    EXPECT_EQ(notPassed.size(), failed);
    EXPECT_EQ(held, 0);
    EXPECT_EQ(open, 0) << "runs never ended";
    passed.sort();
    QStringList expected;
    for (int i = 1; i <= passed.size(); ++i) expected << QString(R"({"serial":"SN%1"})").arg(i, 5, 10, QChar('0'));
    EXPECT_EQ(passed, expected);
    for (const QString& value : notPassed) EXPECT_TRUE(passed.contains(value)) << value.toStdString();
    std::cout << "floor: " << units << " units, " << passed.size() << " passed, " << notPassed.size()
              << " failed, " << interrupted << " interrupted reservation(s)\n";
}

}  // namespace

// A floor of four stations, each with four places, shares one record: the
// stations run 200 units between them and one place of each fails its first
// unit. Restarted mid-run, the server is stopped at once, as a crash would
// stop it, once some units have passed: the stations end with their units
// under way in their spools, and run again for the units left once it is
// back. Either way every value is spent exactly once, the values of the
// units that did not pass are handed out again (the passes take the first
// values without a gap), no value is left held, and every unit started has
// its one row.
TEST_P(ProductionFloor, FourStationsSpendEveryValueOnce) {
    const FloorCase floor = GetParam();
    ScratchPostgres server;
    TempFiles files;
    QString db = files.Path("floor.sqlite"), error;
    if (floor.postgres && (!server.Start(&error) || !server.CreateDatabase("floor", &error)))
        GTEST_SKIP() << error.toStdString();
    if (floor.postgres) db = server.Url("floor");
    ASSERT_EQ(NewRecipe(files, files.Write("fw.bin", ImageWithBlankBlock()), 1000).exitCode, 0);
    std::vector<std::unique_ptr<QProcess>> stations;
    // Before the server stops, the adapters answer slowly enough, and each
    // station's at its own pace, that when it stops most places hold a unit
    // under way rather than all waiting for their next.
    for (int s = 1; s <= kFloorStations; ++s)
        stations.push_back(StartStation(files, db, s, kFloorUnitsEach, true, floor.restart ? s : 0));
    std::vector<QString> out(kFloorStations);
    // A fifth of the units, then the server is gone.
    const auto ended = [&] {
        int n = 0;
        for (const QString& o : out) n += int(o.count("\"unit\":"));
        return n;
    };
    while (floor.restart && ended() < kFloorStations * kFloorUnitsEach / 5) {
        bool running = false;
        for (int s = 0; s < kFloorStations; ++s) {
            running |= stations[s]->state() != QProcess::NotRunning;
            if (stations[s]->waitForReadyRead(50)) out[s] += QString::fromUtf8(stations[s]->readAllStandardOutput());
        }
        ASSERT_TRUE(running) << "the run ended before the server stopped";
    }
    if (floor.restart) server.Stop(true);
    std::vector<StationTally> tally;
    int spooled = 0;  // units whose rows waited for the server in a spool
    for (int s = 0; s < kFloorStations; ++s) {
        ASSERT_TRUE(stations[s]->waitForFinished(120000));
        out[s] += QString::fromUtf8(stations[s]->readAllStandardOutput());
        const QString err = QString::fromUtf8(stations[s]->readAllStandardError());
        EXPECT_EQ(stations[s]->exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(!floor.restart || err.contains("no new unit starts")) << err.toStdString();
        tally.push_back(Tally(out[s]));
        const QRegularExpressionMatch spool = QRegularExpression("(\\d+) unit\\(s\\) wait in the spool").match(err);
        spooled += spool.hasMatch() ? spool.captured(1).toInt() : 0;
    }
    if (floor.restart) {
        // Back again: each station's next run sends its spool, then takes the units it has left.
        ASSERT_TRUE(server.Restart(&error)) << error.toStdString();
        for (int s = 0; s < kFloorStations; ++s)
            stations[s] = StartStation(files, db, s + 1, kFloorUnitsEach - tally[s].units, false);
        for (int s = 0; s < kFloorStations; ++s) {
            ASSERT_TRUE(stations[s]->waitForFinished(120000));
            EXPECT_EQ(stations[s]->exitCode(), 0) << stations[s]->readAllStandardError().toStdString();
            const StationTally rest = Tally(QString::fromUtf8(stations[s]->readAllStandardOutput()));
            tally[s].units += rest.units;
            tally[s].failed += rest.failed;
        }
    }
    int units = 0, failed = 0;
    for (const StationTally& t : tally) units += t.units, failed += t.failed;
    EXPECT_EQ(units, kFloorStations * kFloorUnitsEach);
    EXPECT_EQ(failed, kFloorStations);
    CheckFloorRecord(db, server, floor.postgres, units, failed);
    if (floor.restart) std::cout << "floor: " << spooled << " unit(s) sent from the stations' spools\n";
}

INSTANTIATE_TEST_SUITE_P(Databases, ProductionFloor,
                         testing::Values(FloorCase{"postgresql", true, false}, FloorCase{"sqlite", false, false},
                                         FloorCase{"postgresql_server_restarted_mid_run", true, true}),
                         [](const testing::TestParamInfo<FloorCase>& info) { return std::string(info.param.name); });
