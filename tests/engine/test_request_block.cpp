#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <set>
#include <vector>

#include "engine/protocol.h"
#include "engine/request_block.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t start) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

// A block with every field set to something other than zero.
RequestBlock Busy() {
    RequestBlock block;
    block.SetCommand(CMD_DETECT);
    block.SetBlockLength(0xA4C3);
    block.SetChipIndex(6);
    block.SetBlockAddress(0xCAFEF00D);
    block.SetImageSize(0x01020304);
    block.SetAccessMode(ACCESS_JTAG);
    block.SetAddressHigh(0x77);
    block.SetData(Pattern(256, 0x40));
    return block;
}

std::set<std::size_t> ChangedBytes(const RequestBlock& before, const RequestBlock& after) {
    std::set<std::size_t> changed;
    for (std::size_t i = 0; i < RequestBlock::size(); ++i)
        if (before.at(i) != after.at(i)) changed.insert(i);
    return changed;
}

std::set<std::size_t> Range(std::size_t first, std::size_t last) {
    std::set<std::size_t> s;
    for (std::size_t i = first; i <= last; ++i) s.insert(i);
    return s;
}

}  // namespace

TEST(RequestBlock, StartsAsZeros) {
    RequestBlock block;
    EXPECT_EQ(RequestBlock::size(), 272u);
    for (std::size_t i = 0; i < RequestBlock::size(); ++i) ASSERT_EQ(block.at(i), 0) << i;
}

TEST(RequestBlock, EachWriterTouchesOnlyItsOwnBytes) {
    struct Case {
        const char* name;
        std::function<void(RequestBlock&)> write;
        std::set<std::size_t> bytes;
    };
    const std::vector<Case> cases = {
        {"command", [](RequestBlock& b) { b.SetCommand(CMD_VERIFY); }, {0}},
        {"length", [](RequestBlock& b) { b.SetBlockLength(0x0100); }, {1, 2}},
        {"clear length", [](RequestBlock& b) { b.ClearBlockLength(); }, {1, 2}},
        {"write bit", [](RequestBlock& b) { b.MarkWriteLength(); }, {2}},
        {"last flag", [](RequestBlock& b) { b.SetLastBlockFlag(false); }, {2}},
        {"chip", [](RequestBlock& b) { b.SetChipIndex(5); }, {3}},
        {"address", [](RequestBlock& b) { b.SetBlockAddress(0x00123400); }, Range(4, 7)},
        {"size", [](RequestBlock& b) { b.SetImageSize(0xFFFFFFFF); }, Range(8, 11)},
        {"access", [](RequestBlock& b) { b.SetAccessMode(ACCESS_DIRECT); }, {13}},
        {"high", [](RequestBlock& b) { b.SetAddressHigh(0x34); }, {15}},
        {"data", [](RequestBlock& b) { b.SetData(Pattern(256, 0x90)); }, Range(16, 271)},
    };
    for (const Case& c : cases) {
        const RequestBlock before = Busy();
        RequestBlock after = before;
        c.write(after);
        const std::set<std::size_t> changed = ChangedBytes(before, after);
        EXPECT_TRUE(std::includes(c.bytes.begin(), c.bytes.end(), changed.begin(), changed.end()))
            << c.name;
        EXPECT_FALSE(changed.empty()) << c.name;
    }
}

TEST(RequestBlock, MultiByteFieldsAreLittleEndian) {
    RequestBlock block;
    block.SetBlockAddress(0x12345678);
    block.SetImageSize(0x00010203);
    block.SetBlockLength(256);
    const std::uint8_t expected[] = {0,    0x00, 0x01, 0,    0x78, 0x56,
                                     0x34, 0x12, 0x03, 0x02, 0x01, 0x00};
    for (std::size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(block.at(i), expected[i]) << i;
    EXPECT_EQ(block.blockAddress(), 0x12345678u);
    EXPECT_EQ(block.imageSize(), 0x00010203u);
    EXPECT_EQ(block.blockLength(), 256);
}

TEST(RequestBlock, BlockLengthBitsOfAWriteJob) {
    RequestBlock block;
    block.SetBlockLength(256);  // left by a read job
    block.ClearBlockLength();   // a write job starts here
    EXPECT_EQ(block.blockLength(), 0);
    block.MarkWriteLength();
    EXPECT_EQ(block.blockLength(), 256);
    block.SetLastBlockFlag(true);
    EXPECT_EQ(block.at(2), 0x81);
    EXPECT_TRUE(block.lastBlockFlag());
    block.MarkWriteLength();  // a later block keeps the flag the job set
    EXPECT_EQ(block.at(2), 0x81);
    block.SetLastBlockFlag(false);
    EXPECT_EQ(block.at(2), 0x01);
    EXPECT_EQ(block.at(1), 0x00);
}

TEST(RequestBlock, DataIsOneBlockWhateverTheSourceLength) {
    RequestBlock block;
    block.SetData(Pattern(300, 0));
    EXPECT_EQ(block.data().size(), 256u);
    EXPECT_EQ(block.at(271), 255);

    block.SetData(Pattern(3, 7));  // the tail of a source that ends early reads as erased
    EXPECT_EQ(block.at(16), 7);
    EXPECT_EQ(block.at(18), 9);
    EXPECT_EQ(block.at(19), 0xFF);
    EXPECT_EQ(block.at(271), 0xFF);
    EXPECT_EQ(block.at(272), 0);  // past the block
}

// What a program job leaves behind is what the following verify sends.
TEST(RequestBlock, VerifyAfterProgramCarriesTheLastBlockUnchanged) {
    RequestBlock block;
    block.SetAccessMode(ACCESS_JTAG);  // from the settings at start-up
    block.SetChipIndex(5);             // from detection
    const std::uint32_t imageSize = 700;
    const std::vector<std::uint8_t> image = Pattern(768, 0x11);

    block.ClearBlockLength();
    for (std::uint32_t address = 0; address < imageSize; address += 256) {
        if (address > 0) block.SetLastBlockFlag(address + 256 >= imageSize);
        block.SetImageSize(imageSize);
        block.SetCommand(CMD_WRITE_BLOCK);
        block.SetData(std::span(image).subspan(address, 256));
        block.MarkWriteLength();
        block.SetBlockAddress(address);
        block.SetAddressHigh(std::uint8_t(address >> 8));
    }
    const RequestBlock lastWrite = block;

    block.SetCommand(CMD_VERIFY);
    EXPECT_EQ(block.command(), CMD_VERIFY);
    EXPECT_EQ(ChangedBytes(lastWrite, block), std::set<std::size_t>{0});
    EXPECT_EQ(block.chipIndex(), 5);
    EXPECT_EQ(block.at(3), 5);
    EXPECT_EQ(block.accessMode(), ACCESS_JTAG);
    EXPECT_EQ(block.at(13), 1);
    EXPECT_EQ(block.blockAddress(), 0x200u);
    EXPECT_EQ(block.addressHigh(), 0x02);
    EXPECT_EQ(block.imageSize(), 700u);
    EXPECT_TRUE(block.lastBlockFlag());
    EXPECT_TRUE(std::equal(block.data().begin(), block.data().end(), image.begin() + 0x200));
}
