#include <gtest/gtest.h>

#include <vector>

#include "hexview/hex_document.h"
#include "support/hex_editor_rig.h"

namespace {

HexDocument Holding(int count) {
    HexDocument document;
    const std::vector<std::uint8_t> bytes = CountingBytes(count);
    document.Assign(bytes.data(), bytes.size());
    return document;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values) bytes.push_back(std::uint8_t(v));
    return bytes;
}

TEST(HexDocumentEdits, InsertionZeroFillsAndAppendsAtTheEnd) {
    HexDocument document = Holding(4);
    EXPECT_TRUE(document.InsertBytes(1, 2));
    EXPECT_EQ(document.data(), Bytes({0, 0, 0, 1, 2, 3}));
    EXPECT_TRUE(document.InsertBytes(6, 1));
    EXPECT_EQ(document.data(), Bytes({0, 0, 0, 1, 2, 3, 0}));
    EXPECT_TRUE(document.InsertBytes(99, 1)) << "beyond the end appends";
    EXPECT_EQ(document.length(), 8);
}

TEST(HexDocumentEdits, DeletionAndReplacementStayInsideTheData) {
    HexDocument document = Holding(6);
    EXPECT_TRUE(document.DeleteBytes(2, 4));
    EXPECT_EQ(document.data(), Bytes({0, 1, 4, 5}));
    EXPECT_TRUE(document.DeleteBytes(3, 10));
    EXPECT_EQ(document.data(), Bytes({0, 1, 4}));
    const std::uint8_t pasted[] = {0xAA, 0xBB};
    EXPECT_TRUE(document.Replace(1, 2, pasted, 2));
    EXPECT_EQ(document.data(), Bytes({0, 0xAA, 0xBB, 4}));
    EXPECT_FALSE(document.Write(4, 9));
    EXPECT_FALSE(document.Write(-1, 9));
}

TEST(HexDocumentEdits, AnEmptyHandOverIsStillData) {
    HexDocument document;
    EXPECT_FALSE(document.present());
    EXPECT_TRUE(document.Assign(nullptr, 0));
    EXPECT_TRUE(document.present());
    EXPECT_EQ(document.length(), 0);
}

TEST(HexDocumentMemory, RefusedAllocationsLeaveTheDataAsItWas) {
    HexDocument document = Holding(8);
    document.SetAllocationLimit(8);
    const std::vector<std::uint8_t> before = document.data();
    const std::vector<std::uint8_t> bigger = CountingBytes(9);
    EXPECT_FALSE(document.Assign(bigger.data(), bigger.size()));
    EXPECT_FALSE(document.InsertBytes(0, 1));
    EXPECT_FALSE(document.Replace(0, 1, bigger.data(), 2));
    EXPECT_EQ(document.data(), before);
    EXPECT_TRUE(document.DeleteBytes(0, 1)) << "shrinking needs no new memory";
    EXPECT_EQ(document.length(), 7);
}

}  // namespace

// The history keeps the newest steps that fit its limit; a step larger than
// the whole limit is made but cannot be taken back.
TEST(HexDocumentHistory, TheOldestStepsGoPastTheLimit) {
    HexDocument document = Holding(8);
    document.SetHistoryLimit(7);
    EXPECT_TRUE(document.DeleteBytes(0, 2));          // 2 bytes kept
    EXPECT_TRUE(document.Replace(0, 1, nullptr, 3));  // 4 bytes kept
    EXPECT_TRUE(document.InsertBytes(0, 2));          // 2 more: the first step goes
    EXPECT_EQ(document.Undo(), 0);
    EXPECT_EQ(document.Undo(), 0);
    EXPECT_EQ(document.data(), Bytes({2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(document.Undo(), -1);
    EXPECT_EQ(document.Redo(), 0);
    EXPECT_TRUE(document.InsertBytes(0, 9));
    EXPECT_FALSE(document.canUndo());
    EXPECT_EQ(document.length(), 17);
}
