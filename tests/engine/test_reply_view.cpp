#include <gtest/gtest.h>

#include <cstring>

#include "engine/protocol.h"
#include "engine/reply_view.h"

namespace {

Payload FilledReply() {
    Payload reply;
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = std::uint8_t(i);
    return reply;
}

}  // namespace

TEST(ReplyView, ReadsEveryFieldLittleEndian) {
    const Payload reply = FilledReply();
    ReplyView view(reply);
    EXPECT_EQ(view.size(), 272u);
    EXPECT_EQ(view.command(), 0);
    EXPECT_EQ(view.chipCount(), 0x0201);
    EXPECT_EQ(view.chipIndex(), 3);
    EXPECT_EQ(view.blockAddress(), 0x07060504u);
    EXPECT_EQ(view.bootVersion(), 0x0908);
    EXPECT_EQ(view.bootId(), 0x0B0A);
    EXPECT_EQ(view.status(), 12);
    EXPECT_EQ(view.picVersion(), 0x0F0E);
    ASSERT_EQ(view.data().size(), 256u);
    EXPECT_EQ(view.data().front(), 16);
    EXPECT_EQ(view.data().back(), 15);  // byte 271
}

TEST(ReplyView, ChipTypesFollowTheCountButStopAtTheReplyEnd) {
    Payload reply{};
    reply[16] = 5;
    reply[17] = 1;
    reply[1] = 2;
    EXPECT_EQ(std::vector<std::uint8_t>(ReplyView(reply).chipTypes().begin(),
                                        ReplyView(reply).chipTypes().end()),
              (std::vector<std::uint8_t>{5, 1}));

    reply[1] = 0;
    EXPECT_TRUE(ReplyView(reply).chipTypes().empty());

    reply[1] = 0xFF;
    reply[2] = 0xFF;  // 65535 chips claimed, 256 type bytes exist
    EXPECT_EQ(ReplyView(reply).chipTypes().size(), 256u);

    reply[1] = 5;
    reply[2] = 0;
    ReplyView shortView(std::span<const std::uint8_t>(reply).first(18));
    EXPECT_EQ(shortView.chipTypes().size(), 2u);
}

TEST(ReplyView, DeviceNameEndsAtItsZeroOrAtTheReplyEnd) {
    Payload reply{};
    std::memcpy(&reply[144], "uPD78F1166", 11);
    EXPECT_EQ(ReplyView(reply).deviceName(), "uPD78F1166");

    reply.fill('A');  // no terminator anywhere
    EXPECT_EQ(ReplyView(reply).deviceName(), std::string(128, 'A'));
    EXPECT_EQ(ReplyView(std::span<const std::uint8_t>(reply).first(150)).deviceName(), "AAAAAA");
    EXPECT_EQ(ReplyView(std::span<const std::uint8_t>(reply).first(144)).deviceName(), "");

    reply[144] = 0;
    EXPECT_EQ(ReplyView(reply).deviceName(), "");
}

TEST(ReplyView, FieldsPastAShortReplyReadAsZero) {
    const Payload full = FilledReply();
    ReplyView none(std::span<const std::uint8_t>(full).first(0));
    EXPECT_EQ(none.command(), 0);
    EXPECT_EQ(none.chipCount(), 0);
    EXPECT_EQ(none.status(), 0);
    EXPECT_TRUE(none.data().empty());
    EXPECT_TRUE(none.chipTypes().empty());
    EXPECT_EQ(none.deviceName(), "");

    // A field cut in half keeps only the bytes that exist.
    ReplyView six(std::span<const std::uint8_t>(full).first(6));
    EXPECT_EQ(six.chipIndex(), 3);
    EXPECT_EQ(six.blockAddress(), 0x0504u);
    EXPECT_EQ(six.bootVersion(), 0);

    ReplyView nine(std::span<const std::uint8_t>(full).first(9));
    EXPECT_EQ(nine.bootVersion(), 0x0008);
    EXPECT_EQ(nine.picVersion(), 0);

    ReplyView twenty(std::span<const std::uint8_t>(full).first(20));
    EXPECT_EQ(twenty.data().size(), 4u);
    EXPECT_EQ(twenty.at(19), 19);
    EXPECT_EQ(twenty.at(20), 0);
}

TEST(ReplyView, NeverLooksPastTwoHundredSeventyTwoBytes) {
    std::vector<std::uint8_t> oversized(400, 0x41);
    ReplyView view(oversized);
    EXPECT_EQ(view.size(), 272u);
    EXPECT_EQ(view.at(300), 0);
    EXPECT_EQ(view.deviceName().size(), 128u);
    EXPECT_EQ(view.data().size(), 256u);
}
