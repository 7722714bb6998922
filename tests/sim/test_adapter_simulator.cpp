#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/chip_catalogue.h"
#include "engine/protocol.h"
#include "engine/reply_view.h"
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
// request sent, so the simulator's transcript can be checked byte for byte.
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

// Every byte of the reply past the fields a command answers is zero.
void ExpectZeroFrom(const Payload& reply, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i <= last; ++i) ASSERT_EQ(reply[i], 0) << "byte " << i;
}

}  // namespace

// ---- detection and identification ------------------------------------------

TEST(AdapterSimulator, DetectWithEmptySocket) {
    SimRig rig(WithChips({}));
    Host host{rig};
    const auto got = host.Send(CMD_DETECT);
    ASSERT_EQ(got.wParam, REPLY_READY);
    const ReplyView reply(got.reply);
    EXPECT_EQ(reply.command(), CMD_DETECT);
    EXPECT_EQ(reply.chipCount(), 0);
    EXPECT_EQ(reply.chipIndex(), ChipCatalogue::kNoChip);
    ExpectZeroFrom(got.reply, 4, 271);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, DetectOneChipOfEachType) {
    for (std::uint8_t type = 0; type <= 8; ++type) {
        SimRig rig(WithChips({type}));
        Host host{rig};
        const auto got = host.Send(CMD_DETECT);
        ASSERT_EQ(got.wParam, REPLY_READY) << int(type);
        const ReplyView reply(got.reply);
        EXPECT_EQ(reply.command(), CMD_DETECT);
        EXPECT_EQ(reply.chipCount(), 1);
        EXPECT_EQ(reply.chipIndex(), type);
        ASSERT_EQ(reply.chipTypes().size(), 1u);
        EXPECT_EQ(reply.chipTypes()[0], type);
        const bool pic = type == 1 || type == 3;
        EXPECT_EQ(reply.picVersion(), pic ? 0x0C0A : 0) << int(type);
        EXPECT_EQ(reply.deviceName(), type == 6 ? "uPD78F1166" : "") << int(type);
        ExpectZeroFrom(got.reply, 17, 143);
        EXPECT_EQ(rig.sim.transcript(), host.sent);
    }
}

TEST(AdapterSimulator, DetectTwoChipsListsBothInSocketOrder) {
    for (std::uint8_t type = 0; type <= 8; ++type) {
        const std::uint8_t other = std::uint8_t((type + 1) % 9);
        SimRig rig(WithChips({type, other}));
        const auto got = Host{rig}.Send(CMD_DETECT);
        const ReplyView reply(got.reply);
        EXPECT_EQ(reply.chipCount(), 2);
        EXPECT_EQ(reply.chipIndex(), type);
        EXPECT_EQ(Bytes(reply.chipTypes().begin(), reply.chipTypes().end()), (Bytes{type, other}));
        const bool pic = type == 1 || type == 3 || other == 1 || other == 3;
        EXPECT_EQ(reply.picVersion(), pic ? 0x0C0A : 0) << int(type);
        const bool nec = type == 6 || other == 6;
        EXPECT_EQ(reply.deviceName(), nec ? "uPD78F1166" : "") << int(type);
    }
}

TEST(AdapterSimulator, DetectReportsWhatTheHostLogs) {
    SimConfig config = WithChips({3, 6});
    config.picVersion = 0x0007;
    config.deviceName = "uPD78F1009";
    SimRig rig(config);
    const auto got = Host{rig}.Send(CMD_DETECT);
    const ReplyView reply(got.reply);
    std::string log;
    for (std::uint8_t t : reply.chipTypes()) log += ChipCatalogue::detectionLines(t, reply);
    EXPECT_EQ(log,
              "PIC24FJ64GB106 found\r\nChip Version:0007\r\n"
              "NEC 78K0R uPD78F1009 found\r\n");
}

TEST(AdapterSimulator, DetectNeverLetsTheListRunIntoTheName) {
    SimConfig config = WithChips(Bytes(200, 6));
    config.deviceName = std::string(300, 'N');  // longer than the reply has room for
    SimRig rig(config);
    const auto got = Host{rig}.Send(CMD_DETECT);
    const ReplyView reply(got.reply);
    EXPECT_EQ(reply.chipCount(), 128);
    EXPECT_EQ(reply.deviceName(), std::string(127, 'N'));
    EXPECT_EQ(got.reply[271], 0);
}

TEST(AdapterSimulator, ReadIdNamesTheChipInTheSocket) {
    SimRig rig(WithChips({5}));
    Host host{rig};
    host.block.SetChipIndex(1);  // the host's selection does not change the answer
    const auto got = host.Send(CMD_READ_ID);
    EXPECT_EQ(got.reply[0], CMD_READ_ID);
    EXPECT_EQ(got.reply[3], 5);
    EXPECT_EQ(got.reply[12], STATUS_ACK);

    rig.sim.SetChips({});
    EXPECT_EQ(host.Send(CMD_READ_ID).reply[3], ChipCatalogue::kNoChip);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

// ---- chip memory -----------------------------------------------------------

TEST(AdapterSimulator, EraseWriteReadRoundTripClearsBitsOnly) {
    SimRig rig;
    Host host{rig};
    host.block.SetChipIndex(1);
    host.block.SetAccessMode(ACCESS_JTAG);
    ASSERT_TRUE(rig.sim.PresetFlash(0x100, Fill(0x00)));

    auto got = host.Send(CMD_ERASE);
    EXPECT_EQ(got.reply[0], CMD_ERASE);
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.flash(0x100, 256), Fill(0xFF));

    host.block.ClearBlockLength();
    const Bytes a = Ramp(0x35);
    got = host.Write(0x100, a);
    EXPECT_EQ(got.reply[0], CMD_WRITE_BLOCK);
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(ReplyView(got.reply).blockAddress(), 0x100u);
    EXPECT_EQ(DataOf(got.reply), Fill(0));  // only the serial flash sends its page back

    got = host.Read(0x100);
    EXPECT_EQ(got.reply[0], CMD_READ_BLOCK);
    EXPECT_EQ(ReplyView(got.reply).blockAddress(), 0x100u);
    EXPECT_EQ(DataOf(got.reply), a);

    // Writing over data that was not erased can only clear more bits.
    const Bytes b = Ramp(0xC9);
    host.Write(0x100, b);
    Bytes both(256);
    std::transform(a.begin(), a.end(), b.begin(), both.begin(),
                   [](auto x, auto y) { return x & y; });
    EXPECT_EQ(DataOf(host.Read(0x100).reply), both);
    EXPECT_EQ(rig.sim.flash(0x0FF, 1), Fill(0xFF, 1));
    EXPECT_EQ(rig.sim.flash(0x200, 1), Fill(0xFF, 1));

    host.Send(CMD_ERASE);
    EXPECT_EQ(DataOf(host.Read(0x100).reply), Fill(0xFF));
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, RequestsReachTheFirmwareExactlyAsWritten) {
    SimRig rig;
    Host host{rig};
    host.block.SetChipIndex(6);
    host.block.SetAccessMode(ACCESS_JTAG);
    host.block.ClearBlockLength();
    host.Write(0x012300, Ramp(1));
    host.Send(CMD_VERIFY);

    const std::vector<Payload> transcript = rig.sim.transcript();
    ASSERT_EQ(transcript.size(), 2u);
    const Payload& write = transcript[0];
    const std::uint8_t head[] = {15,   0x00, 0x01, 6,    0x00, 0x23, 0x01, 0x00,
                                 0x00, 0x00, 0x01, 0x00, 0,    1,    0,    0x23};
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), write.begin()));
    EXPECT_EQ(DataOf(write), Ramp(1));
    // The verify is the write with only its code changed.
    Payload verify = write;
    verify[0] = CMD_VERIFY;
    EXPECT_EQ(transcript[1], verify);
    // On the wire each request is one 273-byte report with report id 0.
    const std::vector<AdapterReport> wire = rig.bus.writtenReports();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[1][0], 0);
    EXPECT_TRUE(std::equal(verify.begin(), verify.end(), wire[1].begin() + 1));
}

TEST(AdapterSimulator, VerifiesAreEchoedAndUnknownCodesRefused) {
    SimRig rig;
    Host host{rig};
    for (std::uint8_t code : {CMD_VERIFY, CMD_PROGRAM_VERIFY}) {
        const auto got = host.Send(code);
        EXPECT_EQ(got.reply[0], code);
        EXPECT_EQ(got.reply[12], STATUS_ACK);
    }
    const auto unknown = host.Send(2);
    EXPECT_EQ(unknown.reply[0], 2);
    EXPECT_EQ(unknown.reply[12], STATUS_NAK);
}

TEST(AdapterSimulator, AddressesOutsideTheChipAreRefused) {
    SimRig rig;
    Host host{rig};
    host.Send(CMD_ERASE);
    const std::uint32_t outside[] = {0x3FFF01, 0x400000, 0xFFFFFF00, 0xFFFFFFFF};
    for (std::uint32_t address : outside) {
        auto got = host.Write(address, Fill(0x00));
        EXPECT_EQ(got.reply[12], STATUS_NAK) << address;
        EXPECT_EQ(ReplyView(got.reply).blockAddress(), address);
        got = host.Read(address);
        EXPECT_EQ(got.reply[12], STATUS_NAK) << address;
        EXPECT_EQ(ReplyView(got.reply).blockAddress(), address);
        EXPECT_EQ(DataOf(got.reply), Fill(0));
    }
    EXPECT_EQ(rig.sim.flash(0x3FFF00, 256), Fill(0xFF));
    EXPECT_EQ(host.Write(0x3FFF00, Fill(0x5A)).reply[12], STATUS_ACK);  // the last block fits
    EXPECT_EQ(DataOf(host.Read(0x3FFF00).reply), Fill(0x5A));
}

TEST(AdapterSimulator, EmptySocketRefusesMemoryCommands) {
    SimRig rig(WithChips({}));
    Host host{rig};
    EXPECT_EQ(host.Send(CMD_ERASE).reply[12], STATUS_NAK);
    EXPECT_EQ(host.Write(0, Fill(0)).reply[12], STATUS_NAK);
    EXPECT_EQ(host.Read(0).reply[12], STATUS_NAK);
    EXPECT_EQ(rig.sim.flash(0, 256), Fill(0xFF));
}

TEST(AdapterSimulator, SerialFlashSendsEachWrittenPageBack) {
    SimRig rig(WithChips({5}));
    Host host{rig};
    ASSERT_TRUE(rig.sim.PresetFlash(0x200, Fill(0xF0)));
    host.block.SetChipIndex(5);

    auto got = host.Write(0x200, Fill(0x3C));
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(DataOf(got.reply), Fill(0x30));  // what the chip holds now, not what was sent

    host.Send(CMD_ERASE);
    got = host.Write(0x200, Ramp(9));
    EXPECT_EQ(DataOf(got.reply), Ramp(9));

    // The page comes back for index 5 in the request, whatever the socket holds.
    host.block.SetChipIndex(1);
    got = host.Write(0x300, Ramp(9));
    EXPECT_EQ(DataOf(got.reply), Fill(0));
    EXPECT_EQ(rig.sim.flash(0x300, 256), Ramp(9));
}

// ---- boot loader -----------------------------------------------------------

TEST(AdapterSimulator, BootLoaderReadyOnTheSameConnection) {
    SimConfig config;
    config.bootEntry = SimConfig::BootEntry::Ready;
    SimRig rig(config);
    Host host{rig};
    rig.sim.PresetFlash(0, Fill(0x12));

    auto got = host.Send(CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[0], CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[12], BOOT_READY);
    EXPECT_TRUE(rig.sim.bootMode());

    got = host.Send(CMD_READ_ID);
    EXPECT_EQ(ReplyView(got.reply).bootVersion(), 0x0103);
    EXPECT_EQ(ReplyView(got.reply).bootId(), 0x4202);

    EXPECT_EQ(host.Send(CMD_ERASE).reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.firmware(0x1400, 128), Fill(0xFF));
    host.block.ClearBlockLength();
    got = host.Write(0x1400, Ramp(3));  // a word address: 128 words from image byte 0x2800
    EXPECT_EQ(got.reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.firmware(0x1400, 128), Ramp(3));
    EXPECT_EQ(host.Write(0x1480, Ramp(4)).reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.firmware(0x1480, 128), Ramp(4));
    EXPECT_EQ(host.Write(0x0100, Ramp(5)).reply[12], STATUS_NAK);   // the boot loader's own words
    EXPECT_EQ(host.Write(0x20000, Ramp(5)).reply[12], STATUS_NAK);  // past the store
    EXPECT_EQ(host.Send(CMD_PROGRAM_VERIFY).reply[0], CMD_PROGRAM_VERIFY);

    got = host.Send(CMD_FIRMWARE_DONE);
    EXPECT_EQ(got.reply[0], CMD_FIRMWARE_DONE);
    EXPECT_FALSE(rig.sim.bootMode());
    EXPECT_EQ(host.Send(CMD_READ_ID).reply[3], 1);
    EXPECT_EQ(rig.sim.flash(0, 256), Fill(0x12));  // the chip was never touched
    EXPECT_TRUE(rig.link.attached());
    EXPECT_EQ(rig.reopens, 0);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, BootLoaderRestartsAsANewDevice) {
    SimConfig config;
    config.bootEntry = SimConfig::BootEntry::Restarting;
    config.reconnectDelayMs = 40;
    SimRig rig(config);
    Host host{rig};
    ASSERT_TRUE(rig.link.isOpen());

    const auto got = host.Send(CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[0], CMD_ENTER_BOOT);
    EXPECT_EQ(got.reply[12], BOOT_RESTARTING);

    // Removal: the link drops and greys the adapter's menu items.
    ASSERT_TRUE(RunUntil([&] { return !rig.link.attached(); }));
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_FALSE(rig.bus.adapterPresent());
    // Arrival: the link reopens on the new device, which is in boot mode.
    ASSERT_TRUE(RunUntil([&] { return rig.reopens == 1 && rig.menus.entries.size() == 6; }));
    EXPECT_TRUE(rig.link.attached());
    EXPECT_TRUE(rig.link.isOpen());
    EXPECT_TRUE(rig.sim.bootMode());

    const auto menus = rig.menus.of(WM_ADAPTER_MENUS);
    ASSERT_EQ(menus.size(), 6u);
    EXPECT_EQ(menus[2].wParam, MENUS_UPDATE_FIRMWARE);  // removal
    EXPECT_EQ(menus[2].lParam, 0);
    EXPECT_EQ(menus[3].wParam, MENUS_ACCESS_MODE);
    EXPECT_EQ(menus[3].lParam, 0);
    EXPECT_EQ(menus[4].wParam, MENUS_ACCESS_MODE);  // arrival
    EXPECT_EQ(menus[4].lParam, 1);
    EXPECT_EQ(menus[5].wParam, MENUS_UPDATE_FIRMWARE);  // reopened
    EXPECT_EQ(menus[5].lParam, 1);

    const auto id = host.Send(CMD_READ_ID);
    ASSERT_EQ(id.wParam, REPLY_READY);
    EXPECT_EQ(ReplyView(id.reply).bootVersion(), 0x0103);
    EXPECT_EQ(ReplyView(id.reply).bootId(), 0x4202);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulator, PowerCycleLeavesTheBootLoader) {
    SimConfig config;
    config.bootEntry = SimConfig::BootEntry::Ready;
    SimRig rig(config);
    Host{rig}.Send(CMD_ENTER_BOOT);
    ASSERT_TRUE(rig.sim.bootMode());
    rig.bus.UnplugAdapter();
    rig.bus.PlugAdapter();
    EXPECT_FALSE(rig.sim.bootMode());
}

// ---- faults ------------------------------------------------------------------

TEST(AdapterSimulatorFaults, SilentRequestTimesOutButIsCarriedOut) {
    SimConfig config;
    config.faults.silentRequest = 1;
    SimRig rig(config);
    Host host{rig};
    rig.sim.PresetFlash(0, Fill(0));
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_ERASE).wParam, REPLY_TIMEOUT);
    EXPECT_EQ(rig.sim.flash(0, 256), Fill(0xFF));
    EXPECT_EQ(host.Send(CMD_ERASE).wParam, REPLY_READY);
    EXPECT_EQ(rig.sim.transcript(), host.sent);
}

TEST(AdapterSimulatorFaults, SilentCommandNeverAnswers) {
    SimConfig config;
    config.faults.silentCommand = CMD_VERIFY;
    SimRig rig(config);
    Host host{rig};
    EXPECT_EQ(host.Send(CMD_VERIFY).wParam, REPLY_TIMEOUT);
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_VERIFY).wParam, REPLY_TIMEOUT);
}

TEST(AdapterSimulatorFaults, RefusedEraseLeavesTheChipAsItWas) {
    SimConfig config;
    config.faults.refuseErase = true;
    SimRig rig(config);
    rig.sim.PresetFlash(0x40, Fill(0x21, 16));
    const auto got = Host{rig}.Send(CMD_ERASE);
    EXPECT_EQ(got.reply[0], CMD_ERASE);
    EXPECT_EQ(got.reply[12], STATUS_NAK);
    EXPECT_EQ(rig.sim.flash(0x40, 16), Fill(0x21, 16));
}

TEST(AdapterSimulatorFaults, RefusedWriteBlockByItsNumber) {
    SimConfig config;
    config.faults.refuseWriteBlock = 1;
    config.faults.writeRefusalStatus = 0x00;
    SimRig rig(config);
    Host host{rig};
    host.Send(CMD_DETECT);  // other commands do not count as write blocks
    EXPECT_EQ(host.Write(0x000, Fill(0x01)).reply[12], STATUS_ACK);
    EXPECT_EQ(host.Write(0x100, Fill(0x02)).reply[12], 0x00);
    EXPECT_EQ(host.Write(0x200, Fill(0x03)).reply[12], STATUS_ACK);
    EXPECT_EQ(rig.sim.flash(0x100, 256), Fill(0xFF));
    EXPECT_EQ(rig.sim.flash(0x200, 256), Fill(0x03));
}

TEST(AdapterSimulatorFaults, CorruptedReadBackDamagesTheReplyNotTheChip) {
    SimConfig config = WithChips({5});
    config.faults.corruptReadBack = 2;
    config.faults.corruptBytes = 3;
    SimRig rig(config);
    Host host{rig};
    rig.sim.PresetFlash(0, Ramp(0));
    host.block.SetChipIndex(5);
    EXPECT_EQ(DataOf(host.Read(0).reply), Ramp(0));
    EXPECT_EQ(DataOf(host.Write(0x100, Ramp(1)).reply), Ramp(1));
    const Bytes damaged = DataOf(host.Read(0).reply);
    int differing = 0;
    for (std::size_t i = 0; i < 256; ++i) differing += damaged[i] != Ramp(0)[i];
    EXPECT_EQ(differing, 3);
    EXPECT_EQ(rig.sim.flash(0, 256), Ramp(0));
    EXPECT_EQ(DataOf(host.Read(0).reply), Ramp(0));
}

TEST(AdapterSimulatorFaults, CorruptedWriteReplyOfTheSerialFlash) {
    SimConfig config = WithChips({5});
    config.faults.corruptReadBack = SimConfig::kEveryRequest;
    SimRig rig(config);
    Host host{rig};
    host.block.SetChipIndex(5);
    for (std::uint32_t address : {0x000u, 0x100u}) {
        const auto got = host.Write(address, Ramp(0x44));
        EXPECT_EQ(got.reply[12], STATUS_ACK);
        EXPECT_NE(DataOf(got.reply), Ramp(0x44));
        EXPECT_EQ(rig.sim.flash(address, 256), Ramp(0x44));
    }
}

TEST(AdapterSimulatorFaults, WrongEchoCode) {
    SimConfig config;
    config.faults.wrongEchoRequest = 0;
    config.faults.wrongEchoCode = 2;
    SimRig rig(config);
    Host host{rig};
    EXPECT_EQ(host.Send(CMD_VERIFY).reply[0], 2);
    EXPECT_EQ(host.Send(CMD_VERIFY).reply[0], CMD_VERIFY);
}

TEST(AdapterSimulatorFaults, UnplugAfterARequest) {
    SimConfig config;
    config.faults.unplugAfterRequest = 1;
    SimRig rig(config);
    Host host{rig};
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);  // the reply still arrives
    ASSERT_TRUE(RunUntil([&] { return !rig.link.attached(); }));
    EXPECT_FALSE(rig.link.isOpen());
    const auto after = host.Send(CMD_DETECT);
    EXPECT_EQ(after.wParam, REPLY_NO_HANDLE);
    EXPECT_EQ(after.lParam, 0);
    EXPECT_EQ(rig.sim.requestCount(), 2);

    rig.bus.PlugAdapter();  // put back by hand
    ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
}

TEST(AdapterSimulatorFaults, UnplugAndComeBack) {
    SimConfig config;
    config.faults.unplugAfterRequest = 0;
    config.faults.unplugReturnAfterMs = 20;
    SimRig rig(config);
    EXPECT_EQ(Host{rig}.Send(CMD_ERASE).wParam, REPLY_READY);
    ASSERT_TRUE(RunUntil([&] { return !rig.link.attached(); }));
    ASSERT_TRUE(RunUntil([&] { return rig.reopens == 1; }));
    EXPECT_TRUE(rig.link.isOpen());
    EXPECT_FALSE(rig.sim.bootMode());
}

TEST(AdapterSimulatorFaults, ShortWriteEndsTheRequestSilently) {
    SimConfig config;
    config.faults.shortWriteRequest = 0;
    SimRig rig(config);
    const Payload detect = [] {
        RequestBlock b;
        b.SetCommand(CMD_DETECT);
        return b.bytes();
    }();
    EXPECT_EQ(rig.link.SendAdapterReport(detect.data(), detect.size(), 1), 1);
    RunFor(ShortLinkTiming().replyTimeoutMs + 50);  // a reader would have posted by now
    EXPECT_EQ(rig.outcomes(), 0u);
    EXPECT_TRUE(rig.sim.transcript().empty());
    EXPECT_EQ(rig.Exchange(detect).wParam, REPLY_READY);
    EXPECT_EQ(rig.sim.transcript().size(), 1u);
}

TEST(AdapterSimulatorFaults, FailedWriteReportsTheErrorCode) {
    SimConfig config;
    config.faults.failWriteRequest = 1;
    config.faults.failWriteError = 1167;
    SimRig rig(config);
    Host host{rig};
    host.Send(CMD_DETECT);
    const auto got = host.Send(CMD_ERASE);
    EXPECT_EQ(got.wParam, REPLY_WRITE_FAILED);
    EXPECT_EQ(got.lParam, 1167);
    EXPECT_EQ(rig.sim.transcript().size(), 1u);
    EXPECT_EQ(rig.sim.requestCount(), 2);
}

TEST(AdapterSimulatorFaults, SlowCommandOutlastsTheReplyTimeOut) {
    SimConfig config;
    config.commandLatencyMs[CMD_ERASE] = 1000;
    SimRig rig(config);
    Host host{rig};
    EXPECT_EQ(host.Send(CMD_DETECT).wParam, REPLY_READY);
    EXPECT_EQ(host.Send(CMD_ERASE).wParam, REPLY_TIMEOUT);
}

// ---- seeds -------------------------------------------------------------------

namespace {

// A fixed request script and everything the host saw of it. Its first
// three requests are write blocks that send their page back, so a fault
// seeded at request 0, 1 or 2 always shows; every command a seed can silence
// comes later.
struct ScriptRun {
    std::vector<int> outcomes;
    std::vector<Payload> replies;
    bool operator==(const ScriptRun&) const = default;
};

constexpr int kScriptSpan = 3;

ScriptRun RunScript(const SimConfig& config) {
    SimRig rig(config);
    Host host{rig};
    host.block.SetChipIndex(5);
    ScriptRun run;
    auto note = [&](const MessageRecorder::Entry& e) {
        run.outcomes.push_back(e.wParam);
        run.replies.push_back(e.reply);
        SimRig::Settle();  // an adapter that leaves after its reply is gone before the next request
    };
    for (std::uint32_t a : {0x000u, 0x100u, 0x200u})
        note(host.Write(a, Ramp(std::uint8_t(a >> 8))));
    note(host.Read(0x100));
    note(host.Send(CMD_ERASE));
    note(host.Send(CMD_DETECT));
    note(host.Send(CMD_READ_ID));
    note(host.Send(CMD_VERIFY));
    return run;
}

// Which fault a seed chose, by its place in the list of kinds; -1 for none,
// 99 for more than one.
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
    // One seed of each kind, each run twice through the same script.
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
        EXPECT_EQ(first, RunScript(config)) << "seed " << seed << " kind " << kind;
        EXPECT_NE(first, RunScript(WithChips({5}))) << "seed " << seed << " kind " << kind;
    }
    EXPECT_EQ(std::count(tried.begin(), tried.end(), true), 9);
}

TEST(AdapterSimulatorSeeds, SeedDecidesWhereDamageLands) {
    SimConfig config = WithChips({5});
    config.faults.corruptReadBack = SimConfig::kEveryRequest;
    config.faults.corruptBytes = 4;
    config.faults.seed = 99;
    const ScriptRun first = RunScript(config);
    EXPECT_EQ(first, RunScript(config));
    config.faults.seed = 100;
    EXPECT_NE(first, RunScript(config));
}

TEST(AdapterSimulatorSeeds, SeededRequestNumbersStayInTheSpan) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        const SimConfig::Faults f = SeededFaults(seed, 10);
        for (int n : {f.silentRequest, f.refuseWriteBlock, f.corruptReadBack, f.wrongEchoRequest,
                      f.unplugAfterRequest, f.shortWriteRequest, f.failWriteRequest})
            EXPECT_LT(n, 10) << seed;
        EXPECT_EQ(f.seed, seed);
    }
}
