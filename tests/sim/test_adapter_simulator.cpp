#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
#include "sim/flash_memory.h"
#include "support/event_loop.h"
#include "support/sim_rig.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Fill(std::uint8_t value, std::size_t n = 256) {
    return Bytes(n, value);
}

Bytes Ramp(std::uint8_t start) {
    Bytes b(256);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t(start + i * 7);
    return b;
}

Bytes DataOf(const Payload& reply) {
    return Bytes(reply.begin() + 16, reply.end());
}

SimConfig WithChips(std::vector<std::uint8_t> chips) {
    SimConfig config;
    config.chips = std::move(chips);
    return config;
}

// The request block as the engine fills it for each command, and every
// request sent, so that the simulator's transcript can be checked byte for byte.
struct Host {
    explicit Host(SimRig& rig) : rig(rig) {}
    SimRig& rig;
    RequestBlock block;
    std::vector<Payload> sent;

    MessageRecorder::Entry Send(std::uint8_t code) {
        block.SetCommand(code);
        sent.push_back(block.bytes());
        return rig.Exchange(block);
    }
    MessageRecorder::Entry Write(std::uint32_t address, const Bytes& data) {
        block.SetImageSize(0x10000);
        block.SetData(data);
        block.MarkWriteLength();
        block.SetBlockAddress(address);
        block.SetAddressHigh(std::uint8_t(address >> 8));
        return Send(CMD_WRITE_BLOCK);
    }
    MessageRecorder::Entry Read(std::uint32_t address) {
        block.SetBlockAddress(address);
        block.SetBlockLength(256);
        block.SetAddressHigh(std::uint8_t(address >> 8));
        return Send(CMD_READ_BLOCK);
    }
};

}  // namespace

// ---- detection and identification ------------------------------------------

TEST(AdapterSimulator, DetectWithNoneOneOrTwoChipsOfEachType) {
    std::vector<Bytes> sockets = {{}};
    for (std::uint8_t t = 0; t <= 8; ++t) sockets.push_back({t});
    for (std::uint8_t t = 0; t <= 8; ++t) sockets.push_back({t, std::uint8_t((t + 1) % 9)});
    for (const Bytes& chips : sockets) {
        SimRig rig(WithChips(chips));
        Host host(rig);
        const auto got = host.Send(CMD_DETECT);
        ASSERT_EQ(got.wParam, REPLY_READY);
        const ReplyView reply(got.reply);
        const auto has = [&](int t) { return std::count(chips.begin(), chips.end(), t) > 0; };
        EXPECT_EQ(reply.command(), CMD_DETECT);
        EXPECT_EQ(reply.chipCount(), chips.size());
        EXPECT_EQ(reply.chipIndex(), chips.empty() ? 8 : chips[0]);
        EXPECT_EQ(Bytes(reply.chipTypes().begin(), reply.chipTypes().end()), chips);
        EXPECT_EQ(reply.picVersion(), has(1) || has(3) ? 0x0C0A : 0);
        EXPECT_EQ(reply.deviceName(), has(6) ? "uPD78F1166" : "");
        for (std::size_t i = 16 + chips.size(); i < 144; ++i) ASSERT_EQ(got.reply[i], 0) << i;
        EXPECT_EQ(rig.sim.transcript(), host.sent);
    }
}

TEST(AdapterSimulator, DetectKeepsTheListClearOfTheName) {
    SimConfig config = WithChips(Bytes(200, 6));
    config.deviceName = std::string(300, 'N');  // longer than the reply has room for
    SimRig rig(config);
    const auto got = Host(rig).Send(CMD_DETECT);
    EXPECT_EQ(ReplyView(got.reply).chipCount(), 128);
    EXPECT_EQ(ReplyView(got.reply).deviceName(), std::string(127, 'N'));
}

TEST(AdapterSimulator, ReadIdNamesTheChipInTheSocket) {
    SimRig rig(WithChips({5}));
    Host host(rig);
    host.block.SetChipIndex(1);  // the host's selection does not change the answer
    const auto got = host.Send(CMD_READ_ID);
    EXPECT_EQ(got.reply[0], CMD_READ_ID);
    EXPECT_EQ(got.reply[3], 5);
    rig.sim.SetChips({});
    EXPECT_EQ(host.Send(CMD_READ_ID).reply[3], ChipCatalogue::kNoChip);
}

// ---- chip memory -------------------------------------------------------------

TEST(AdapterSimulator, EraseWriteReadRoundTripClearsBitsOnly) {
    SimRig rig;
    Host host(rig);
    ASSERT_TRUE(rig.sim.PresetFlash(0x100, Fill(0x00)));
    auto got = host.Send(CMD_ERASE);
    EXPECT_EQ(got.reply[0], CMD_ERASE);
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.flash(0x100, 256), Fill(0xFF));

    const Bytes a = Ramp(0x35);
    got = host.Write(0x100, a);
    EXPECT_EQ(got.reply[0], CMD_WRITE_BLOCK);
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(DataOf(got.reply), Fill(0));  // only the serial flash sends its page back
    got = host.Read(0x100);
    EXPECT_EQ(got.reply[0], CMD_READ_BLOCK);
    EXPECT_EQ(ReplyView(got.reply).blockAddress(), 0x100u);
    EXPECT_EQ(DataOf(got.reply), a);

    // Writing over data that was not erased can only clear more bits.
    const Bytes b = Ramp(0xC9);
    host.Write(0x100, b);
    Bytes both(256);
    std::transform(a.begin(), a.end(), b.begin(), both.begin(), std::bit_and<>());
    EXPECT_EQ(DataOf(host.Read(0x100).reply), both);
    EXPECT_EQ(rig.sim.flash(0x0FF, 1), Fill(0xFF, 1));
    EXPECT_EQ(rig.sim.flash(0x200, 1), Fill(0xFF, 1));

    host.Send(CMD_ERASE);
    EXPECT_EQ(DataOf(host.Read(0x100).reply), Fill(0xFF));
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

// The flash keeps its bytes in pages taken on first write: ranges that cross
// a page, a page erased in part, and a page never written read as they would
// from one whole chip.
TEST(FlashMemory, RangesAcrossPagesReadAsOneChip) {
    FlashMemory flash(0x30000);
    const Bytes data = Ramp(0x11);
    ASSERT_TRUE(flash.Program(0x10000 - 100, data));
    Bytes out(300, 0);
    ASSERT_TRUE(flash.Read(0x10000 - 122, out));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 22), Fill(0xFF, 22));
    EXPECT_EQ(Bytes(out.begin() + 22, out.begin() + 278), data);
    EXPECT_EQ(Bytes(out.begin() + 278, out.end()), Fill(0xFF, 22));

    // Erasing the first page's tail and the whole of the second leaves the rest.
    ASSERT_TRUE(flash.Program(0x100, Fill(0x00, 4)));
    ASSERT_TRUE(flash.Erase(0x10000 - 50, 0x10000 + 50));
    Bytes tail(256);
    ASSERT_TRUE(flash.Read(0x10000 - 100, tail));
    EXPECT_EQ(Bytes(tail.begin(), tail.begin() + 50), Bytes(data.begin(), data.begin() + 50));
    EXPECT_EQ(Bytes(tail.begin() + 50, tail.end()), Fill(0xFF, 206));
    Bytes head(4);
    ASSERT_TRUE(flash.Read(0x100, head));
    EXPECT_EQ(head, Fill(0x00, 4));

    // Over the end: refused, nothing changed.
    EXPECT_FALSE(flash.Program(0x30000 - 10, data));
    EXPECT_FALSE(flash.Read(0x30000 - 10, tail));
    flash.EraseAll();
    ASSERT_TRUE(flash.Read(0x100, head));
    EXPECT_EQ(head, Fill(0xFF, 4));
}

TEST(AdapterSimulator, RequestsReachTheFirmwareExactlyAsWritten) {
    SimRig rig;
    Host host(rig);
    host.block.SetChipIndex(6);
    host.block.SetAccessMode(ACCESS_JTAG);
    host.Write(0x012300, Ramp(1));
    host.Send(CMD_VERIFY);

    const std::vector<Payload> transcript = rig.sim.transcript();
    ASSERT_EQ(transcript.size(), 2u);
    const Bytes head = {15,   0x00, 0x01, 6,    0x00, 0x23, 0x01, 0x00,
                        0x00, 0x00, 0x01, 0x00, 0,    1,    0,    0x23};
    EXPECT_EQ(Bytes(transcript[0].begin(), transcript[0].begin() + 16), head);
    EXPECT_EQ(DataOf(transcript[0]), Ramp(1));
    Payload verify = transcript[0];  // the verify is the write with only its code changed
    verify[0] = CMD_VERIFY;
    EXPECT_EQ(transcript[1], verify);
    const std::vector<AdapterReport> wire = rig.bus.writtenReports();
    EXPECT_EQ(wire[1][0], 0);  // report id
    EXPECT_TRUE(std::equal(verify.begin(), verify.end(), wire[1].begin() + 1));
}

TEST(AdapterSimulator, EchoesVerifiesAndRefusesWhatItCannotDo) {
    SimRig rig;
    Host host(rig);
    for (std::uint8_t code : {CMD_VERIFY, CMD_PROGRAM_VERIFY}) {
        EXPECT_EQ(host.Send(code).reply[0], code);
        EXPECT_EQ(rig.sim.flash(0, 1), Fill(0xFF, 1));
    }
    EXPECT_EQ(host.Send(2).reply, (Payload{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, STATUS_NAK}));
    for (std::uint32_t address : {0x3FFF01u, 0x400000u, 0xFFFFFF00u}) {
        auto got = host.Write(address, Fill(0x00));
        EXPECT_EQ(got.reply[12], STATUS_NAK) << address;
        got = host.Read(address);
        EXPECT_EQ(got.reply[12], STATUS_NAK) << address;
        EXPECT_EQ(ReplyView(got.reply).blockAddress(), address);
        EXPECT_EQ(DataOf(got.reply), Fill(0));
    }
    EXPECT_EQ(rig.sim.flash(0x3FFF00, 256), Fill(0xFF));
    EXPECT_EQ(host.Write(0x3FFF00, Fill(0x5A)).reply[12], STATUS_ACK);  // the last block fits

    rig.sim.SetChips({});  // nothing in the socket to answer
    EXPECT_EQ(host.Send(CMD_ERASE).reply[12], STATUS_NAK);
    EXPECT_EQ(host.Write(0, Fill(0)).reply[12], STATUS_NAK);
    EXPECT_EQ(host.Read(0).reply[12], STATUS_NAK);
    EXPECT_EQ(rig.sim.flash(0x3FFF00, 256), Fill(0x5A));
}

TEST(AdapterSimulator, SerialFlashSendsEachWrittenPageBack) {
    SimRig rig(WithChips({5}));
    Host host(rig);
    ASSERT_TRUE(rig.sim.PresetFlash(0x200, Fill(0xF0)));
    host.block.SetChipIndex(5);
    auto got = host.Write(0x200, Fill(0x3C));
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(DataOf(got.reply), Fill(0x30));  // what the chip holds now, not what was sent
    // The page comes back for index 5 in the request, whatever the socket holds.
    host.block.SetChipIndex(1);
    EXPECT_EQ(DataOf(host.Write(0x300, Ramp(9)).reply), Fill(0));
    EXPECT_EQ(rig.sim.flash(0x300, 256), Ramp(9));
}

// ---- boot loader -------------------------------------------------------------

TEST(AdapterSimulator, BootLoaderReadyOnTheSameConnection) {
    SimConfig config;
    config.bootEntry = SimConfig::BootEntry::Ready;
    SimRig rig(config);
    Host host(rig);
    rig.sim.PresetFlash(0, Fill(0x12));
    EXPECT_EQ(host.Send(CMD_ENTER_BOOT).reply[12], BOOT_READY);
    EXPECT_TRUE(rig.sim.bootMode());
    const auto id = host.Send(CMD_READ_ID);
    EXPECT_EQ(ReplyView(id.reply).bootVersion(), 0x0103);
    EXPECT_EQ(ReplyView(id.reply).bootId(), 0x4202);

    EXPECT_EQ(host.Send(CMD_ERASE).reply[12], STATUS_ACK);
    EXPECT_EQ(host.Write(0x1400, Ramp(3)).reply[12], STATUS_ACK);  // word address
    EXPECT_EQ(host.Write(0x1480, Ramp(4)).reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.firmware(0x1400, 128), Ramp(3));
    EXPECT_EQ(rig.sim.firmware(0x1480, 128), Ramp(4));
    EXPECT_EQ(host.Write(0x0100, Ramp(5)).reply[12], STATUS_NAK);   // the boot loader's own
    EXPECT_EQ(host.Write(0x20000, Ramp(5)).reply[12], STATUS_NAK);  // past the store
    EXPECT_EQ(host.Send(CMD_PROGRAM_VERIFY).reply[0], CMD_PROGRAM_VERIFY);

    EXPECT_EQ(host.Send(CMD_FIRMWARE_DONE).reply[0], CMD_FIRMWARE_DONE);
    EXPECT_FALSE(rig.sim.bootMode());
    EXPECT_EQ(host.Send(CMD_READ_ID).reply[3], 1);
    EXPECT_EQ(rig.sim.flash(0, 256), Fill(0x12));  // the chip was never touched
    EXPECT_EQ(rig.reopens, 0);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, BootLoaderRestartsAsANewDevice) {
    SimConfig config;
    config.reconnectDelayMs = 40;
    SimRig rig(config);
    Host host(rig);
    const auto got = host.Send(CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[0], CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[12], BOOT_RESTARTING);

    ASSERT_TRUE(RunUntil([&] { return !rig.link.attached(); }));  // removal
    EXPECT_FALSE(rig.link.isOpen());
    ASSERT_TRUE(RunUntil([&] { return rig.reopens == 1 && rig.menus.entries.size() == 6; }));
    EXPECT_TRUE(rig.link.attached());
    EXPECT_TRUE(rig.link.isOpen());
    EXPECT_TRUE(rig.sim.bootMode());
    // Removal greys both menu items, arrival offers the access modes, the
    // reopen the firmware update.
    const std::vector<std::pair<int, int>> expected = {{MENUS_UPDATE_FIRMWARE, 0},
                                                       {MENUS_ACCESS_MODE, 0},
                                                       {MENUS_ACCESS_MODE, 1},
                                                       {MENUS_UPDATE_FIRMWARE, 1}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rig.menus.entries[2 + i].wParam, expected[i].first) << i;
        EXPECT_EQ(rig.menus.entries[2 + i].lParam, expected[i].second) << i;
    }
    const auto id = host.Send(CMD_READ_ID);
    ASSERT_EQ(id.wParam, REPLY_READY);
    EXPECT_EQ(ReplyView(id.reply).bootId(), 0x4202);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, PowerCycleLeavesTheBootLoader) {
    SimConfig config;
    config.bootEntry = SimConfig::BootEntry::Ready;
    SimRig rig(config);
    Host(rig).Send(CMD_ENTER_BOOT);
    ASSERT_TRUE(rig.sim.bootMode());
    rig.bus.UnplugAdapter();
    rig.bus.PlugAdapter();
    EXPECT_FALSE(rig.sim.bootMode());
}

// ---- faults --------------------------------------------------------------------

namespace {

// One step of a fault case: what the host sends and what it gets back
// (outcome, then reply byte 0 and status byte when a reply came).
struct Step {
    std::uint8_t code;
    int outcome;
    int echo = -1;
    int status = -1;
};

struct FaultCase {
    const char* name;
    std::function<void(SimConfig::Faults&)> set;
    std::vector<Step> steps;
    std::function<void(const AdapterSimulator&)> after = [](const AdapterSimulator&) {};
};

}  // namespace

TEST(AdapterSimulatorFaults, EachFaultShowsWhereItWasSet) {
    const std::vector<FaultCase> cases = {
        {"silent request is still carried out",
         [](auto& f) { f.silentRequest = 1; },
         {{CMD_DETECT, REPLY_READY}, {CMD_ERASE, REPLY_TIMEOUT}, {CMD_ERASE, REPLY_READY}},
         [](const AdapterSimulator& sim) { EXPECT_EQ(sim.flash(0x300, 256), Fill(0xFF)); }},
        {"silent command",
         [](auto& f) { f.silentCommand = CMD_VERIFY; },
         {{CMD_VERIFY, REPLY_TIMEOUT}, {CMD_DETECT, REPLY_READY}, {CMD_VERIFY, REPLY_TIMEOUT}}},
        {"refused erase",
         [](auto& f) { f.refuseErase = true; },
         {{CMD_ERASE, REPLY_READY, CMD_ERASE, STATUS_NAK}},
         [](const AdapterSimulator& sim) { EXPECT_EQ(sim.flash(0x300, 256), Fill(0x00)); }},
        {"refused write block 1",
         [](auto& f) {
             f.refuseWriteBlock = 1;
             f.writeRefusalStatus = 0x42;
         },
         {{CMD_DETECT, REPLY_READY},
          {CMD_WRITE_BLOCK, REPLY_READY, CMD_WRITE_BLOCK, STATUS_ACK},
          {CMD_WRITE_BLOCK, REPLY_READY, CMD_WRITE_BLOCK, 0x42},
          {CMD_WRITE_BLOCK, REPLY_READY, CMD_WRITE_BLOCK, STATUS_ACK}},
         [](const AdapterSimulator& sim) {
             EXPECT_EQ(sim.flash(0x100, 256), Fill(0xFF));
             EXPECT_EQ(sim.flash(0x200, 256), Fill(0x00));
         }},
        {"wrong echo",
         [](auto& f) { f.wrongEchoRequest = 0; },
         {{CMD_VERIFY, REPLY_READY, 2, STATUS_ACK}, {CMD_VERIFY, REPLY_READY, CMD_VERIFY}}},
        {"failed write",
         [](auto& f) {
             f.failWriteRequest = 1;
             f.failWriteError = 1167;
         },
         {{CMD_DETECT, REPLY_READY}, {CMD_ERASE, REPLY_WRITE_FAILED}, {CMD_DETECT, REPLY_READY}},
         [](const AdapterSimulator& sim) {
             EXPECT_EQ(sim.transcript().size(), 2u);  // the failed write never got there
             EXPECT_EQ(sim.requestCount(), 3);
         }},
    };
    for (const FaultCase& c : cases) {
        SimConfig config;
        c.set(config.faults);
        SimRig rig(config);
        rig.sim.PresetFlash(0x300, Fill(0x00));
        Host host(rig);
        std::uint32_t nextBlock = 0;
        for (const Step& step : c.steps) {
            const bool write = step.code == CMD_WRITE_BLOCK;
            const auto got = write ? host.Write(nextBlock, Fill(0x00)) : host.Send(step.code);
            if (write) nextBlock += 0x100;
            EXPECT_EQ(got.wParam, step.outcome) << c.name;
            if (step.echo >= 0) {
                EXPECT_EQ(got.reply[0], step.echo) << c.name;
            }
            if (step.status >= 0) {
                EXPECT_EQ(got.reply[12], step.status) << c.name;
            }
            if (step.outcome == REPLY_WRITE_FAILED) {
                EXPECT_EQ(got.lParam, 1167) << c.name;
            }
        }
        c.after(rig.sim);
    }
}

TEST(AdapterSimulatorFaults, CorruptedReadBackDamagesTheReplyNotTheChip) {
    SimConfig config = WithChips({5});
    config.faults.corruptReadBack = 1;
    config.faults.corruptBytes = 3;
    SimRig rig(config);
    Host host(rig);
    rig.sim.PresetFlash(0, Ramp(0));
    host.block.SetChipIndex(5);
    EXPECT_EQ(DataOf(host.Read(0).reply), Ramp(0));
    const Bytes damaged = DataOf(host.Read(0).reply);
    EXPECT_EQ(std::inner_product(damaged.begin(), damaged.end(), Ramp(0).begin(), 0, std::plus<>(),
                                 std::not_equal_to<>()),
              3);
    EXPECT_EQ(DataOf(host.Read(0).reply), Ramp(0));
    EXPECT_EQ(rig.sim.flash(0, 256), Ramp(0));

    // The serial flash's write reply is a read-back too.
    SimConfig every = WithChips({5});
    every.faults.corruptReadBack = SimConfig::kEveryRequest;
    SimRig second(every);
    Host writer(second);
    writer.block.SetChipIndex(5);
    EXPECT_NE(DataOf(writer.Write(0x100, Ramp(0x44)).reply), Ramp(0x44));
    EXPECT_EQ(second.sim.flash(0x100, 256), Ramp(0x44));
}

TEST(AdapterSimulatorFaults, UnplugAfterARequest) {
    SimConfig config;
    config.faults.unplugAfterRequest = 1;
    SimRig rig(config);
    Host host(rig);
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);  // its reply still arrives
    ASSERT_TRUE(RunUntil([&] { return !rig.link.attached(); }));
    EXPECT_FALSE(rig.link.isOpen());
    const auto after = host.Send(CMD_DETECT);
    EXPECT_EQ(after.wParam, REPLY_NO_HANDLE);
    EXPECT_EQ(after.lParam, 0);
    rig.bus.PlugAdapter();  // put back by hand
    ASSERT_TRUE(RunUntil([&] { return rig.reopens == 1; }));
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);

    config.faults.unplugAfterRequest = 0;
    config.faults.unplugReturnAfterMs = 20;
    SimRig returning(config);
    EXPECT_EQ(Host(returning).Send(CMD_ERASE).wParam, REPLY_READY);
    ASSERT_TRUE(RunUntil([&] { return !returning.link.attached(); }));
    ASSERT_TRUE(RunUntil([&] { return returning.reopens == 1; }));
    EXPECT_TRUE(returning.link.isOpen());
}

TEST(AdapterSimulatorFaults, ShortWriteNeverReachesTheFirmware) {
    SimConfig config;
    config.faults.shortWriteRequest = 0;
    SimRig rig(config);
    RequestBlock detect;
    detect.SetCommand(CMD_DETECT);
    EXPECT_EQ(rig.link.SendAdapterReport(detect.raw(), detect.size(), 1), 1);
    RunFor(ShortLinkTiming().replyTimeoutMs + 50);  // a reader would have posted by now
    ASSERT_EQ(rig.outcomes(), 1u);
    EXPECT_EQ(rig.replies.of(WM_ADAPTER_REPLY).back().wParam, REPLY_WRITE_FAILED);
    EXPECT_TRUE(rig.sim.transcript().empty());
    EXPECT_EQ(rig.Exchange(detect).wParam, REPLY_READY);
}

TEST(AdapterSimulatorFaults, SlowCommandOutlastsTheReplyTimeOut) {
    SimConfig config;
    config.commandLatencyMs[CMD_ERASE] = 1000;
    SimRig rig(config);
    Host host(rig);
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_ERASE).wParam, REPLY_TIMEOUT);
}

// ---- quirks --------------------------------------------------------------------

namespace {

LinkTiming QuirkHost() {
    LinkTiming t = ShortLinkTiming();
    t.reconnectDeadlineMs = 200;
    return t;
}

struct QuirkCase {
    const char* name;
    std::function<void(SimConfig&)> set;
    std::vector<Step> steps;
    std::function<void(SimRig&)> after = [](SimRig&) {};
};

}  // namespace

TEST(AdapterSimulatorQuirks, EachQuirkShowsWhereItWasSet) {
    const std::vector<QuirkCase> cases = {
        {"slow reply, just inside the time-out",
         [](SimConfig& c) { SeedQuirk(c, SimQuirk::SlowReply, 1, 3, QuirkHost()); },
         {{CMD_DETECT, REPLY_READY}, {CMD_ERASE, REPLY_READY, CMD_ERASE, STATUS_ACK}},
         [](SimRig& rig) { EXPECT_GE(rig.bus.virtualNowMs(), QuirkHost().replyTimeoutMs * 49 / 50 - 1); }},
        {"stale reply ahead of the answer, the answer drained before the next request",
         [](SimConfig& c) { c.quirks.staleReplyRequest = 1; },
         {{CMD_DETECT, REPLY_READY, CMD_DETECT}, {CMD_ERASE, REPLY_READY, CMD_DETECT}, {CMD_VERIFY, REPLY_READY, CMD_VERIFY}}},
        {"early stale reply, drained before the request goes out",
         [](SimConfig& c) { c.quirks.staleReplyRequest = 1, c.quirks.staleReplyEarly = true; },
         {{CMD_DETECT, REPLY_READY, CMD_DETECT}, {CMD_ERASE, REPLY_READY, CMD_ERASE}},
         [](SimRig& rig) { EXPECT_EQ(rig.sim.transcript().size(), 2u); }},
        {"stale reply before any, never of the same command",
         [](SimConfig& c) { SeedQuirk(c, SimQuirk::StaleReply, 0, 3); },
         {{CMD_VERIFY, REPLY_READY, CMD_READ_ID, STATUS_ACK}, {CMD_DETECT, REPLY_READY, CMD_DETECT}}},
        {"restart instead of answering CMD_FIRMWARE_DONE, back in application mode",
         [](SimConfig& c) {
             c.bootEntry = SimConfig::BootEntry::Ready;
             SeedQuirk(c, SimQuirk::Restart, 1, 3, QuirkHost());
         },
         {{CMD_ENTER_BOOT, REPLY_READY, CMD_ENTER_BOOT, BOOT_READY}},
         [](SimRig& rig) {
             // No answer: the time-out, or the removal first, which ends the request with none.
             EXPECT_LE(Host(rig).Send(CMD_FIRMWARE_DONE).wParam, REPLY_TIMEOUT);
             ASSERT_TRUE(RunUntil([&] { return rig.reopens == 1; }));
             EXPECT_FALSE(rig.sim.bootMode());
             EXPECT_EQ(rig.sim.transcript().size(), 2u);  // carried out
         }},
    };
    for (const QuirkCase& c : cases) {
        SimConfig config;
        c.set(config);
        SimRig rig(config);
        rig.bus.SetVirtualTime(true);
        Host host(rig);
        for (const Step& step : c.steps) {
            const auto got = host.Send(step.code);
            EXPECT_EQ(got.wParam, step.outcome) << c.name;
            if (step.echo >= 0) {
                EXPECT_EQ(got.reply[0], step.echo) << c.name;
            }
            if (step.status >= 0) {
                EXPECT_EQ(got.reply[12], step.status) << c.name;
            }
        }
        c.after(rig);
    }
}

TEST(AdapterSimulatorQuirks, SeedsStayWithinTheHostsWaitsAndNamesFindThem) {
    const LinkTiming host;  // the adapter's real waits
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        SimConfig slow, boot;
        SeedQuirk(slow, SimQuirk::SlowReply, 4, seed, host);
        SeedQuirk(boot, SimQuirk::BootRestart, 0, seed, host);
        EXPECT_LT(slow.quirks.slowReplyMs, host.replyTimeoutMs);
        EXPECT_GE(slow.quirks.slowReplyMs, host.replyTimeoutMs * 49 / 50 - 1);
        EXPECT_EQ(boot.bootEntry, SimConfig::BootEntry::Restarting);
        EXPECT_LE(boot.leaveDelayMs + boot.reconnectDelayMs + host.reopenDelayMs, host.reconnectDeadlineMs / 4);
        SimConfig again;
        SeedQuirk(again, SimQuirk::BootRestart, 0, seed, host);
        EXPECT_EQ(again.leaveDelayMs, boot.leaveDelayMs);
        EXPECT_EQ(again.reconnectDelayMs, boot.reconnectDelayMs);
    }
    SimConfig named;
    EXPECT_TRUE(ApplyNamedQuirk(named, "restart", 9));
    EXPECT_TRUE(ApplyNamedQuirk(named, "slow", 3));
    EXPECT_TRUE(ApplyNamedQuirk(named, "stale", 5));
    EXPECT_TRUE(ApplyNamedQuirk(named, "boot-restart", 0));
    EXPECT_FALSE(ApplyNamedQuirk(named, "sulk", 0));
    EXPECT_EQ(named.quirks.restartRequest, 9);
    EXPECT_EQ(named.quirks.slowRequest, 3);
    EXPECT_EQ(named.quirks.staleReplyRequest, 5);
}

// ---- seeds -----------------------------------------------------------------------

namespace {

// A fixed request script and everything the host saw of it. Its first three
// requests are write blocks that send their page back, so any fault seeded at
// request 0, 1 or 2 shows; each command a seed can silence comes once later.
struct ScriptRun {
    std::vector<int> outcomes;
    std::vector<Payload> replies;
    bool operator==(const ScriptRun&) const = default;
};

constexpr int kScriptSpan = 3;

ScriptRun RunScript(const SimConfig& config) {
    SimRig rig(config);
    Host host(rig);
    host.block.SetChipIndex(5);
    ScriptRun run;
    auto note = [&](const MessageRecorder::Entry& e) {
        run.outcomes.push_back(e.wParam);
        run.replies.push_back(e.reply);
        SimRig::Settle();  // an adapter that leaves after its reply is gone before the next request
    };
    for (std::uint32_t a : {0x000u, 0x100u, 0x200u}) note(host.Write(a, Ramp(std::uint8_t(a))));
    note(host.Read(0x100));
    for (std::uint8_t code : {CMD_ERASE, CMD_DETECT, CMD_READ_ID, CMD_VERIFY})
        note(host.Send(code));
    return run;
}

// The kind of fault chosen, by its place in the list; -1 for none, 99 for several.
int KindOf(const SimConfig::Faults& f) {
    const bool kinds[] = {
        f.silentRequest >= 0,      f.silentCommand >= 0,     f.refuseErase,
        f.refuseWriteBlock >= 0,   f.corruptReadBack >= 0,   f.wrongEchoRequest >= 0,
        f.unplugAfterRequest >= 0, f.shortWriteRequest >= 0, f.failWriteRequest >= 0};
    int kind = -1;
    for (int i = 0; i < int(std::size(kinds)); ++i)
        if (kinds[i]) kind = kind < 0 ? i : 99;
    return kind;
}

}  // namespace

TEST(AdapterSimulatorSeeds, SameSeedSameFaults) {
    // The first seed of each kind, run twice through the same script.
    std::vector<bool> tried(9, false);
    for (std::uint32_t seed = 0; seed < 100; ++seed) {
        const SimConfig::Faults faults = SeededFaults(seed, kScriptSpan);
        EXPECT_EQ(faults, SeededFaults(seed, kScriptSpan));
        const int kind = KindOf(faults);
        ASSERT_TRUE(kind >= 0 && kind < 9) << seed;
        if (tried[std::size_t(kind)]) continue;
        tried[std::size_t(kind)] = true;
        SimConfig config = WithChips({5});
        config.faults = faults;
        const ScriptRun first = RunScript(config);
        EXPECT_EQ(first, RunScript(config)) << "seed " << seed;
        EXPECT_NE(first, RunScript(WithChips({5}))) << "seed " << seed;
    }
    EXPECT_EQ(std::count(tried.begin(), tried.end(), true), 9);
}

TEST(AdapterSimulatorSeeds, SeedDecidesWhereDamageLands) {
    SimConfig config = WithChips({5});
    config.faults.corruptReadBack = SimConfig::kEveryRequest;
    config.faults.seed = 99;
    const ScriptRun first = RunScript(config);
    EXPECT_EQ(first, RunScript(config));
    config.faults.seed = 100;
    EXPECT_NE(first, RunScript(config));
}
