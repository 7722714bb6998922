// Seeded fault campaign: every job against the adapter simulator with one
// injected fault at a random request, then the invariants a person trusting
// the program with a chip relies on. Some of the "faults" are an adapter's
// lawful ways (a reply just inside the time-out, a stale reply ahead of the
// right one, a restart after the firmware is done); with them the job must
// end as it does with a plain adapter: no false failure, as no false
// success. The simulator runs on a virtual clock, so a silent adapter costs
// no real time.
//
// A production unit is an auto program carrying a serial field, which lies
// in the image's blank block, reserved in a record of its own (SQLite) and
// closed there: failed, pulled out or cancelled (the run's cancel, at a
// drawn request), it gives its value back to the next unit.
//
//   BRELLIX_CAMPAIGN_SCENARIOS=20000   how many seeds (default 2000)
//   BRELLIX_CAMPAIGN_FIRST=1000        the first seed (default 0)
//   BRELLIX_CAMPAIGN_SEED=1234         replay one seed
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "cli/recipe_station.h"
#include "engine/protocol.h"
#include "image/image_patch.h"
#include "support/engine_rig.h"
#include "support/temp_files.h"

namespace {

enum class Job { Detect, Erase, Program, Verify, Read, Auto, AutoReload, FirmwareReady, FirmwareRestart, Load, Save, Unit };
enum class Fault { Silence, Nak, WrongEcho, ShortWrite, FailedWrite, Unplug, UnplugReplug, Late, Corrupt, Restart, Slow, Stale };

constexpr Job kJobs[] = {Job::Detect, Job::Erase,         Job::Program,         Job::Verify,
                         Job::Read,   Job::Auto,          Job::AutoReload,      Job::FirmwareReady,
                         Job::FirmwareRestart, Job::Load, Job::Save, Job::Unit};
constexpr const char* kJobNames[] = {"detect", "erase", "program", "verify", "read", "auto",
                                     "auto+reload", "firmware/ready", "firmware/restart", "load", "save",
                                     "production unit"};
constexpr const char* kFaultNames[] = {"silence", "nak", "wrong echo", "short write", "failed write",
                                       "unplug", "unplug+replug", "late reply", "corrupt read-back",
                                       "restart", "slow reply", "stale reply"};

constexpr int kBlocks = 6;
constexpr std::uint32_t kImageSize = kBlocks * 256;
constexpr int kFirmwareBlocks = 3;
// Every job here works below this address; a change anywhere in it shows.
constexpr std::size_t kWatchedFlash = 0x10000;

bool IsFirmware(Job job) { return job == Job::FirmwareReady || job == Job::FirmwareRestart; }
bool IsFile(Job job) { return job == Job::Load || job == Job::Save; }

struct Scenario {
    std::uint32_t seed;
    Job job;
    Fault fault;
    int request;
    std::uint8_t chip;
    std::uint8_t access;
    int fileFault;  // load and save: which damage
    bool lawful;    // the adapter stays within the protocol
    int cancelAt;   // a production unit: cancelled at this request, with no fault; -1 not
};

std::string Describe(const Scenario& s) {
    return "seed " + std::to_string(s.seed) + ": " + kJobNames[int(s.job)] + ", " +
           (IsFile(s.job)        ? "file fault " + std::to_string(s.fileFault)
            : s.cancelAt >= 0   ? std::string("cancel")
                                : std::string(kFaultNames[int(s.fault)])) +
           " at request " + std::to_string(s.request) + ", chip " + std::to_string(s.chip) +
           (s.access == ACCESS_JTAG ? ", JTAG" : ", Direct") + (s.lawful ? ", lawful" : "");
}

std::vector<std::uint8_t> ChipImage(std::uint32_t seed) {
    std::vector<std::uint8_t> image(kImageSize);
    std::mt19937 fill(seed);
    for (auto& b : image) b = std::uint8_t(fill());
    std::fill_n(image.begin() + 2 * 256, 256, 0xFF);  // one blank block to skip
    return image;
}

std::vector<std::uint8_t> FirmwareImage() {
    std::vector<std::uint8_t> image(0x2800 + kFirmwareBlocks * 256, 0xFF);
    for (std::size_t i = 0x2800; i < image.size(); ++i) image[i] = std::uint8_t(i * 7 + 3);
    return image;
}

LinkTiming CampaignTiming() {
    LinkTiming t = EngineRig::ShortTiming();  // the reply time-out runs on the virtual clock
    t.reopenDelayMs = 1;
    // The adapter's own deadline, far beyond any restart drawn for the
    // adapter (RestartTiming): a reconnect runs on real timers, which a
    // machine busy with sanitizers and parallel shards fires late.
    t.reconnectDeadlineMs = 3000;
    return t;
}

// The host the adapter's quirks are drawn for: a restart is back within a
// quarter of this deadline, itself a quarter of the engine's.
LinkTiming RestartTiming() {
    LinkTiming t = CampaignTiming();
    t.reconnectDeadlineMs = 250;
    return t;
}

SimConfig ConfigFor(const Scenario& s, int requests) {
    SimConfig c;
    c.chips = {s.chip};
    c.bootEntry = s.job == Job::FirmwareReady ? SimConfig::BootEntry::Ready : SimConfig::BootEntry::Restarting;
    c.leaveDelayMs = 1;
    c.reconnectDelayMs = 5;
    if (requests == 0 || IsFile(s.job) || s.cancelAt >= 0) return c;
    // Every restart into the boot loader takes its own time, within the deadline.
    if (s.job == Job::FirmwareRestart) SeedQuirk(c, SimQuirk::BootRestart, 0, s.seed, RestartTiming());
    SimConfig::Faults& f = c.faults;
    f.seed = s.seed;
    switch (s.fault) {
        case Fault::Silence: f.silentRequest = s.request; break;
        case Fault::Nak: f.nakRequest = s.request; break;
        case Fault::WrongEcho: {
            static constexpr std::uint8_t kCodes[] = {CMD_READ_BLOCK, 2, CMD_ERASE, CMD_WRITE_BLOCK, CMD_DETECT};
            f.wrongEchoRequest = s.request;
            f.wrongEchoCode = kCodes[s.seed % std::size(kCodes)];
            break;
        }
        case Fault::ShortWrite: f.shortWriteRequest = s.request; break;
        case Fault::FailedWrite: f.failWriteRequest = s.request; break;
        case Fault::Unplug: f.unplugAfterRequest = s.request; break;
        case Fault::UnplugReplug: f.unplugAfterRequest = s.request, f.unplugReturnAfterMs = 5; break;
        case Fault::Late: f.lateRequest = s.request, f.lateReplyMs = CampaignTiming().replyTimeoutMs + 50; break;
        case Fault::Corrupt: f.corruptReadBack = s.request, f.corruptBytes = 1 + int(s.seed % 4); break;
        case Fault::Restart: SeedQuirk(c, SimQuirk::Restart, s.request, s.seed, RestartTiming()); break;
        case Fault::Slow: SeedQuirk(c, SimQuirk::SlowReply, s.request, s.seed, RestartTiming()); break;
        case Fault::Stale: SeedQuirk(c, SimQuirk::StaleReply, s.request, s.seed, RestartTiming()); break;
    }
    return c;
}

class ScenarioRun {
public:
    ScenarioRun(const Scenario& s, int requests) : s_(s), rig_(ConfigFor(s, requests), true, CampaignTiming()) {
        rig_.bus->SetVirtualTime(true);
        rig_.engine->SetAccessMode(s.access);
        image_ = IsFirmware(s.job) ? FirmwareImage() : ChipImage(s.seed);
        imagePath_ = files_.Write(IsFirmware(s.job) ? "fw.bin" : "chip.bin", image_);
        if (!IsFirmware(s.job)) Load(imagePath_);
        if (s.job == Job::Unit) BeginUnit();
        // A chip that already holds the file, so that a verify or read can succeed.
        if (s.job == Job::Verify || s.job == Job::Read || s.job == Job::Erase) rig_.adapter->PresetFlash(0, image_);
        rig_.state().reloadLastFile = s.job == Job::AutoReload;
        rig_.state().reloadNow = false;
        flashBefore_ = rig_.adapter->flash(0, kWatchedFlash);
    }

    void Load(const QString& path) {
        rig_.prompts.openAnswers.push_back(UserPrompts::FileAnswer{path, 2});
        rig_.engine->OpenFile();
        RunUntil([&] { return !rig_.engine->loadRunning() && rig_.host.buttonsEnabled; });
        RunFor(0);
    }

    // Starts the job and waits for it to end; false when it never does.
    bool Perform() {
        jobsBefore_ = rig_.engine->jobsBegun();
        switch (s_.job) {
            case Job::Detect: rig_.engine->Detect(); break;
            case Job::Erase: rig_.engine->Erase(); break;
            case Job::Program: rig_.engine->Program(); break;
            case Job::Verify: rig_.engine->Verify(); break;
            case Job::Read:
                rig_.prompts.readOptionAnswers.push_back(ReadOptions{ReadRangeMode::FromBeginTo, {}, {}, "5FF", {}});
                rig_.engine->Read();
                break;
            case Job::Auto:
            case Job::AutoReload: rig_.engine->AutoProgram(); break;
            case Job::FirmwareReady:
            case Job::FirmwareRestart:
                rig_.prompts.openAnswers.push_back(UserPrompts::FileAnswer{imagePath_, 2});
                rig_.engine->StartFirmwareUpdate();
                break;
            case Job::Load: return PerformLoad();
            case Job::Save: return PerformSave();
            case Job::Unit: StartUnit(); break;
        }
        const bool ended = RunUntil([&] { return !rig_.state().busy && !rig_.engine->loadRunning(); }, 10000);
        rig_.host.onProgress = nullptr;
        if (ended && s_.job == Job::Unit) CloseUnit();
        // What the adapter still does after the job: leaving, coming back.
        RunFor(s_.fault == Fault::Unplug || s_.fault == Fault::UnplugReplug || IsFirmware(s_.job) ? 10 : 0);
        return ended;
    }

    int requests() const { return rig_.adapter->requestCount(); }
    // How a production unit closed, as UnitResult counts: 0 pass, 1 fail, 2 cancelled.
    int unitOutcome() const { return int(unitResult_); }
    bool succeeded() const { return rig_.engine->lastJobSucceeded(); }

    // cleanSucceeds: how the same job ends with an adapter that shows nothing unusual.
    void CheckInvariants(bool cleanSucceeds) {
        EXPECT_FALSE(rig_.state().busy);
        EXPECT_TRUE(rig_.host.buttonsEnabled);
        CheckCommandsAsked();
        CheckSuccessIsTrue();
        if (!IsFile(s_.job) && rig_.engine->jobsBegun() > jobsBefore_) CheckOutcome(cleanSucceeds);
        // Every job that began ended once, with its duration on a line of its own.
        EXPECT_EQ(std::uint64_t(rig_.host.durations.size()), rig_.engine->jobsBegun());
        EXPECT_FALSE(rig_.host.full.contains(QRegularExpression("[^\n]Done in ")))
            << rig_.host.full.toStdString();
        if (s_.job == Job::Unit) CheckRecord();
        if (!IsFile(s_.job)) CheckButtonsWorkAgain();
    }

private:
    bool PerformLoad() {
        const std::vector<std::uint8_t> before(rig_.engine->image().program(),
                                               rig_.engine->image().program() + kImageSize);
        const std::uint32_t sizeBefore = rig_.engine->image().imageSize();
        QByteArray text = IntelHex();
        QString path = files_.Path("damaged.hex");
        const int at = int(s_.seed % std::uint32_t(text.size()));
        switch (s_.fileFault) {
            case 0: text[at] = text[at] == 'G' ? 'H' : 'G'; break;                   // not a hex digit
            case 1: text.truncate(at); break;                                         // cut short
            case 2: text[at] = text[at] == '0' ? '1' : text[at] == '\n' ? 'x' : '0'; break;  // checksum or format
            case 3: path = files_.Path("missing.hex"); break;                         // removed
            case 4: path = files_.Path("chip.txt"); break;                            // unknown kind
        }
        if (s_.fileFault < 3 || s_.fileFault == 4) files_.Write(QFileInfo(path).fileName(), text);
        Load(path);
        const bool loaded = rig_.engine->image().imageSize() != sizeBefore ||
                            !std::equal(before.begin(), before.end(), rig_.engine->image().program());
        // A damaged file either fails and changes nothing, or (a change that
        // still reads as a valid file) loads whole.
        EXPECT_TRUE(!loaded || rig_.host.committed.contains("has been loaded sucessful!")) << "image changed";
        // Every load ends in one line saying how, and an empty bar.
        EXPECT_TRUE(rig_.host.committed.count("has been loaded sucessful!") == 2 ||
                    rig_.host.committed.contains("Cannot load the file " + path + ": "))
            << rig_.host.committed.toStdString();
        EXPECT_EQ(rig_.host.progress.back(), std::make_pair(100, 0));
        EXPECT_TRUE(rig_.state().fileLoaded);
        return true;
    }

    // Nothing has been read in this scenario: nothing is asked or written.
    bool PerformSave() {
        std::memset(rig_.engine->image().readBack(), 0xFF, ImageBuffer::kSize);
        const QString kept = files_.Write("kept.hex", QByteArray("old content\n"));
        // A folder that is not there, or a folder where the file should go.
        const QString target = s_.fileFault % 2 == 0 ? files_.Path("no/such/dir/dump.hex") : files_.Path("dir.hex");
        QDir().mkpath(files_.Path("dir.hex"));
        rig_.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{target, 0});
        rig_.engine->Save();
        EXPECT_TRUE(rig_.prompts.saveQuestions.empty());
        EXPECT_TRUE(rig_.host.committed.endsWith("Nothing has been read from the chip yet\r\n"));
        EXPECT_EQ(TempFiles::Read(kept), "old content\n");
        EXPECT_FALSE(QFileInfo::exists(files_.Path("no")));
        return true;
    }

    QByteArray IntelHex() const {
        QByteArray text;
        for (std::uint32_t a = 0; a < kImageSize; a += 16) {
            unsigned sum = 16 + (a >> 8) + (a & 0xFF);
            QByteArray line = QByteArray(":10") + QByteArray::number(a, 16).rightJustified(4, '0').toUpper() + "00";
            for (int i = 0; i < 16; ++i) {
                line += QByteArray::number(image_[a + std::uint32_t(i)], 16).rightJustified(2, '0').toUpper();
                sum += image_[a + std::uint32_t(i)];
            }
            text += line + QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0').toUpper() + "\r\n";
        }
        return text + ":00000001FF\r\n";
    }

    // No command went out that the user's job did not ask for.
    void CheckCommandsAsked() {
        std::vector<std::uint8_t> allowed;
        switch (s_.job) {
            case Job::Detect: allowed = {CMD_DETECT}; break;
            case Job::Erase: allowed = {CMD_ERASE}; break;
            case Job::Program: allowed = {CMD_WRITE_BLOCK}; break;
            case Job::Verify: allowed = {CMD_DETECT, CMD_VERIFY, CMD_READ_BLOCK}; break;
            case Job::Read: allowed = {CMD_READ_BLOCK}; break;
            case Job::Auto:
            case Job::AutoReload:
            case Job::Unit:
                allowed = {CMD_DETECT, CMD_ERASE, CMD_WRITE_BLOCK, CMD_PROGRAM_VERIFY, CMD_READ_BLOCK};
                break;
            case Job::FirmwareReady:
            case Job::FirmwareRestart:
                allowed = {CMD_ENTER_BOOT, CMD_READ_ID, CMD_ERASE, CMD_WRITE_BLOCK, CMD_PROGRAM_VERIFY,
                           CMD_FIRMWARE_DONE};
                break;
            case Job::Load:
            case Job::Save: break;
        }
        for (std::uint8_t code : rig_.commands())
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), code), allowed.end()) << "sent " << int(code);
        const bool writesChip = s_.job == Job::Erase || s_.job == Job::Program || s_.job == Job::Auto ||
                                s_.job == Job::AutoReload || s_.job == Job::Unit;
        EXPECT_TRUE(writesChip || rig_.adapter->flash(0, kWatchedFlash) == flashBefore_) << "chip changed";
    }

    // A line that claims success is true of the adapter as it is now.
    void CheckSuccessIsTrue() {
        const QString& log = rig_.host.committed;
        const std::vector<std::uint8_t> chip = rig_.adapter->flash(0, kImageSize);
        const bool chipJob = !IsFirmware(s_.job);
        const std::vector<std::uint8_t> erased(kImageSize, 0xFF);
        const std::vector<std::uint8_t> firmware(image_.begin() + (chipJob ? 0 : 0x2800), image_.end());
        EXPECT_TRUE(!(chipJob && log.contains("Program Finished")) || chip == image_) << "Program Finished";
        EXPECT_TRUE(!(chipJob && log.contains("Verify OK")) || chip == image_) << "Verify OK";
        EXPECT_TRUE(!log.contains("Verify Succeed!") || chip == image_) << "Verify Succeed!";
        EXPECT_TRUE(!(s_.job == Job::Erase && log.contains("Erase Finished")) || chip == erased) << "Erase Finished";
        EXPECT_TRUE(!log.contains("Firmware Updated succeed!") ||
                    rig_.adapter->firmware(0x1400, kFirmwareBlocks * 128) == firmware)
            << "Firmware Updated succeed!";
        if (log.contains("finished!")) CheckReadIsFaithful(chip);
        EXPECT_TRUE(!rig_.engine->lastJobSucceeded() || rig_.engine->lastJob() == JobKindOf(s_.job));
    }

    // A failure says where and why; an adapter within the protocol changes
    // nothing about how the job ends; a success is true of the adapter.
    void CheckOutcome(bool cleanSucceeds) {
        const JobEngine& engine = *rig_.engine;
        const std::string log = rig_.host.committed.toStdString();
        EXPECT_EQ(engine.lastJob(), JobKindOf(s_.job));
        if (!engine.lastJobSucceeded()) {
            EXPECT_FALSE(engine.lastJobStep().isEmpty()) << "failed without a step\n" << log;
            EXPECT_FALSE(engine.lastJobDetail().isEmpty()) << "failed without a detail\n" << log;
            // In the log too.
            EXPECT_TRUE(rig_.host.committed.contains(engine.lastJobStep() + ": " + engine.lastJobDetail() + "\r\n"))
                << log;
        }
        if (s_.lawful) {
            EXPECT_EQ(engine.lastJobSucceeded(), cleanSucceeds)
                << (cleanSucceeds ? "false failure: " : "false success: ") << engine.lastJobStep().toStdString()
                << ": " << engine.lastJobDetail().toStdString() << "\n" << log;
        }
        if (!engine.lastJobSucceeded()) return;
        const std::vector<std::uint8_t> chip = rig_.adapter->flash(0, kImageSize);
        switch (s_.job) {
            case Job::Erase: EXPECT_EQ(chip, std::vector<std::uint8_t>(kImageSize, 0xFF)) << "erase succeeded"; break;
            case Job::Program:
            case Job::Verify:
            case Job::Auto:
            case Job::AutoReload:
            case Job::Unit: EXPECT_EQ(chip, image_) << "job succeeded"; break;
            case Job::Read:  // damage on the way cannot show in a read; the compare shows it
                EXPECT_TRUE(s_.fault == Fault::Corrupt ||
                            std::equal(chip.begin(), chip.end(), rig_.engine->image().readBack()))
                    << "read succeeded";
                break;
            case Job::FirmwareReady:
            case Job::FirmwareRestart:
                EXPECT_EQ(rig_.adapter->firmware(0x1400, kFirmwareBlocks * 128),
                          std::vector<std::uint8_t>(image_.begin() + 0x2800, image_.end()))
                    << "firmware update succeeded";
                break;
            default: break;
        }
    }

    // Whatever the read stored differs from the chip only where the compare
    // with the loaded file says so: damage on the way is never hidden.
    void CheckReadIsFaithful(const std::vector<std::uint8_t>& chip) {
        const std::uint8_t* read = rig_.engine->image().readBack();
        std::vector<std::uint32_t> damaged;
        for (std::uint32_t a = 0; a < 0x600; ++a)
            if (read[a] != chip[a]) damaged.push_back(a);
        EXPECT_EQ(damaged, rig_.engine->differences()) << "read finished";
    }

    static JobKind JobKindOf(Job job) {
        switch (job) {
            case Job::Detect: return JobKind::Detect;
            case Job::Erase: return JobKind::Erase;
            case Job::Program: return JobKind::Program;
            case Job::Verify: return JobKind::Verify;
            case Job::Read: return JobKind::Read;
            case Job::Auto:
            case Job::AutoReload:
            case Job::Unit: return JobKind::AutoProgram;
            case Job::FirmwareReady:
            case Job::FirmwareRestart: return JobKind::FirmwareUpdate;
            default: return JobKind::None;
        }
    }

    // The unit's value, reserved in a fresh record, lies in the image's blank
    // block: what the chip must hold is the image with the value over it.
    void BeginUnit() {
        SerialField serial;
        serial.name = "serial";
        serial.address = 2 * 256 + s_.seed % 249;
        serial.encoding = {EncodingFormat::AsciiDecimal, 5, "SN", {}};
        serial.start = 1;
        serial.last = 1000;
        Recipe recipe;
        recipe.name = "line";
        recipe.version = "1";
        recipe.fields = {serial};
        CliOptions options;
        options.recipe = files_.Path("line.json");
        options.db = files_.Path("line.sqlite");
        options.station = "campaign";
        QString why;
        station_ = RecipeStation::Open(options, recipe, 0, &why);
        ASSERT_TRUE(station_) << why.toStdString();
        ASSERT_EQ(station_->BeginUnit(&unit_, &why), RecipeStation::Begin::Started) << why.toStdString();
        ASSERT_EQ(unit_.values, QStringList{"SN00001"});
        ApplyPatches(unit_.patches, 0, kImageSize, image_.data());
    }

    void StartUnit() {
        ASSERT_TRUE(rig_.engine->SetPatches(unit_.patches));
        // The cancel comes as Ctrl+C does, while the engine handles a reply.
        if (s_.cancelAt >= 0) {
            rig_.host.onProgress = [this] {
                if (cancelled_ || requests() <= s_.cancelAt) return;
                cancelled_ = true;
                rig_.engine->Cancel();
            };
        }
        rig_.engine->AutoProgram();
    }

    // As the station closes a unit: where a failed or cancelled one stopped.
    void CloseUnit() {
        UnitRecord record;
        const bool passed = rig_.engine->lastJobSucceeded();
        record.result = unitResult_ = passed ? UnitResult::Pass : cancelled_ ? UnitResult::Cancelled : UnitResult::Fail;
        if (!passed) record.step = rig_.engine->lastJobStep(), record.detail = rig_.engine->lastJobDetail();
        EXPECT_TRUE(station_->CloseUnit(unit_, record));
    }

    // The unit has its one row, with the value it carried and where it
    // stopped; its value is spent on a pass, and otherwise the next unit's.
    void CheckRecord() {
        ASSERT_TRUE(station_);
        const bool passed = unitResult_ == UnitResult::Pass;
        const QString result = UnitResultName(unitResult_);
        QStringList rows, states;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "campaign-record");
            db.setDatabaseName(files_.Path("line.sqlite"));
            ASSERT_TRUE(db.open());
            QSqlQuery units("SELECT fields, result, step FROM units", db);
            while (units.next())
                rows << QStringList{units.value(0).toString(), units.value(1).toString(), units.value(2).toString()}
                            .join(' ');
            QSqlQuery held("SELECT state FROM reservations", db);
            while (held.next()) states << held.value(0).toString();
        }
        QSqlDatabase::removeDatabase("campaign-record");
        const QString step = passed ? QString() : rig_.engine->lastJobStep();
        EXPECT_EQ(rows, QStringList{R"({"serial":"SN00001"} )" + result + " " + step});
        EXPECT_EQ(states, QStringList{passed ? "spent" : "returned"});
        if (passed) {
            const std::vector<std::uint8_t> field = rig_.adapter->flash(unit_.patches[0].address, 7);
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(field.data()), 7), "SN00001") << "field on the chip";
        }
        RecipeUnit next;
        QString why;
        ASSERT_EQ(station_->BeginUnit(&next, &why), RecipeStation::Begin::Started) << why.toStdString();
        EXPECT_EQ(next.values, QStringList{passed ? "SN00002" : "SN00001"});
    }

    // The adapter behaves again and is on the bus: the next job runs.
    void CheckButtonsWorkAgain() {
        rig_.adapter->ClearFaults();
        if (!rig_.bus->adapterPresent()) rig_.bus->PlugAdapter();
        ASSERT_TRUE(RunUntil([&] {
            return rig_.engine->link().attached() && rig_.engine->link().isOpen() &&
                   !rig_.engine->link().reopenPending();
        })) << "adapter never came back";
        rig_.bus->AdvanceVirtualTime(60000);  // the user's pause: every late answer is in by now
        const QString before = rig_.host.committed;
        rig_.engine->Detect();
        ASSERT_TRUE(rig_.Settle()) << "Detect never ended";
        const QString after = rig_.host.committed.mid(before.size());
        EXPECT_FALSE(after.contains("timeout") || after.contains("Terminated") || after.contains("busy") ||
                     after.contains("undefined"))
            << after.toStdString();
    }

    Scenario s_;
    TempFiles files_;
    EngineRig rig_;
    std::vector<std::uint8_t> image_;
    QString imagePath_;
    std::vector<std::uint8_t> flashBefore_;
    std::uint64_t jobsBefore_ = 0;
    std::unique_ptr<RecipeStation> station_;  // a production unit's record
    RecipeUnit unit_;
    bool cancelled_ = false;
    UnitResult unitResult_ = UnitResult::Interrupted;  // until the unit closes
};

Scenario Draw(std::uint32_t seed, const std::vector<int>& spans) {
    std::mt19937 draw(seed);
    Scenario s{};
    s.seed = seed;
    s.job = kJobs[draw() % std::size(kJobs)];
    s.fault = Fault(draw() % std::size(kFaultNames));
    s.request = spans[std::size_t(s.job)] > 0 ? int(draw() % unsigned(spans[std::size_t(s.job)])) : 0;
    static constexpr std::uint8_t kChips[] = {1, 5, 6};
    s.chip = kChips[draw() % 3];
    s.access = draw() % 5 == 0 ? ACCESS_DIRECT : ACCESS_JTAG;
    s.fileFault = int(draw() % 5);
    if (s.job == Job::Read || s.job == Job::Verify) s.access = draw() % 8 == 0 ? ACCESS_DIRECT : ACCESS_JTAG;
    // The last request of a firmware update is CMD_FIRMWARE_DONE, after
    // which the adapter may restart, answering or not: half the restarts go there.
    const int done = spans[std::size_t(s.job)] - 1;
    if (s.fault == Fault::Restart && IsFirmware(s.job) && draw() % 2 == 0) s.request = done;
    const bool afterDone = IsFirmware(s.job) && s.request == done &&
                           (s.fault == Fault::Silence || s.fault == Fault::Late || s.fault == Fault::Unplug ||
                            s.fault == Fault::UnplugReplug || s.fault == Fault::Restart);
    s.lawful = !IsFile(s.job) && (s.fault == Fault::Slow || s.fault == Fault::Stale || afterDone);
    // A production unit is cancelled, in place of its fault, one time in four.
    s.cancelAt = s.job == Job::Unit && draw() % 4 == 0 ? s.request : -1;
    if (s.cancelAt >= 0) s.lawful = false;
    return s;
}

// How each job ends with an adapter that shows nothing unusual, by chip and
// access: well, but where Direct access cannot read the chip back.
bool CleanSucceeds(const Scenario& s) {
    static std::map<std::tuple<Job, std::uint8_t, std::uint8_t>, bool> known;
    const auto key = std::make_tuple(s.job, s.chip, s.access);
    if (const auto it = known.find(key); it != known.end()) return it->second;
    ScenarioRun run(Scenario{s.seed, s.job, Fault::Silence, 0, s.chip, s.access, 0, false, -1}, 0);
    run.Perform();
    EXPECT_TRUE(run.succeeded() || s.access == ACCESS_DIRECT) << "a plain adapter fails " << kJobNames[int(s.job)];
    return known[key] = run.succeeded();
}

// How many requests each job sends when nothing goes wrong, so that the
// fault lands inside the job.
std::vector<int> Spans() {
    std::vector<int> spans;
    for (Job job : kJobs) {
        Scenario clean{0, job, Fault::Silence, 0, 5, ACCESS_JTAG, 0, false, -1};
        ScenarioRun run(clean, 0);
        run.Perform();
        spans.push_back(run.requests());
    }
    return spans;
}

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text ? std::atoi(text) : fallback;
}

}  // namespace

TEST(FaultCampaign, EveryJobSurvivesOneFaultAtAnyRequest) {
    const std::vector<int> spans = Spans();
    for (std::size_t i = 0; i < spans.size(); ++i)
        EXPECT_TRUE(IsFile(kJobs[i]) || spans[i] > 0) << kJobNames[i];
    const int replay = EnvInt("BRELLIX_CAMPAIGN_SEED", -1);
    const int count = replay >= 0 ? 1 : EnvInt("BRELLIX_CAMPAIGN_SCENARIOS", 2000);
    const int first = replay >= 0 ? replay : EnvInt("BRELLIX_CAMPAIGN_FIRST", 0);
    int failed = 0, lawful = 0;
    int units[4] = {};  // production units passed, failed, cancelled, never closed
    for (int n = 0; n < count && failed < 5; ++n) {
        const std::uint32_t seed = std::uint32_t(first + n);
        const Scenario s = Draw(seed, spans);
        SCOPED_TRACE(Describe(s) + " (replay: BRELLIX_CAMPAIGN_SEED=" + std::to_string(seed) + ")");
        const int before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        const bool cleanSucceeds = !IsFile(s.job) && CleanSucceeds(s);
        lawful += s.lawful ? 1 : 0;
        ScenarioRun run(s, spans[std::size_t(s.job)]);
        EXPECT_TRUE(run.Perform()) << "the job never ended";
        run.CheckInvariants(cleanSucceeds);
        if (s.job == Job::Unit) ++units[run.unitOutcome()];
        if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != before) {
            ++failed;
            std::fprintf(stderr, "FAILED %s\n", Describe(s).c_str());
        }
    }
    std::printf("fault campaign: seeds %d to %d (%d with a lawful adapter; production units %d passed, %d failed,"
                " %d cancelled), %d failed\n",
                first, first + count - 1, lawful, units[0], units[1], units[2], failed);
}
