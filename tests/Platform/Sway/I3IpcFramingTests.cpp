#include "Platform/Sway/I3IpcFraming.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<I3Ipc::Message> drain(I3Ipc::Decoder &decoder)
{
    std::vector<I3Ipc::Message> messages;
    while (auto message = decoder.next())
        messages.push_back(*message);
    return messages;
}

} // namespace

TEST(I3IpcFraming, MessagesSurviveAnySplitOfTheStream)
{
    const QByteArray stream = I3Ipc::encode(I3Ipc::getTree, R"({"type":"root"})")
        + I3Ipc::encode(I3Ipc::eventFlag | I3Ipc::windowEvent, R"({"change":"focus"})")
        + I3Ipc::encode(I3Ipc::runCommand, {});
    for (const qsizetype chunk : {qsizetype(1), qsizetype(7), qsizetype(14), stream.size()}) {
        I3Ipc::Decoder decoder;
        std::vector<I3Ipc::Message> messages;
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            decoder.append(stream.mid(at, chunk));
            for (const I3Ipc::Message &message : drain(decoder))
                messages.push_back(message);
        }
        ASSERT_EQ(messages.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(messages[0].type, quint32(I3Ipc::getTree));
        EXPECT_EQ(messages[0].payload, R"({"type":"root"})");
        EXPECT_TRUE(messages[1].isEvent());
        EXPECT_EQ(messages[1].eventType(), quint32(I3Ipc::windowEvent));
        EXPECT_FALSE(messages[2].isEvent());
        EXPECT_TRUE(messages[2].payload.isEmpty());
        EXPECT_FALSE(decoder.failed());
    }
}

TEST(I3IpcFraming, AWrongMagicOrAnOversizedFrameBreaksTheStreamForGood)
{
    QByteArray oversized = I3Ipc::encode(I3Ipc::getTree, {});
    const quint32 huge = I3Ipc::maxPayload + 1;
    oversized.replace(6, 4, reinterpret_cast<const char *>(&huge), 4);
    for (const QByteArray &bad : {QByteArray("i3-ipX\0\0\0\0\0\0\0\0", 14), oversized}) {
        I3Ipc::Decoder decoder;
        decoder.append(bad);
        EXPECT_FALSE(decoder.next());
        EXPECT_TRUE(decoder.failed());
        decoder.append(I3Ipc::encode(I3Ipc::getTree, "{}"));
        EXPECT_FALSE(decoder.next()) << "nothing after a broken frame is trusted";
    }
}
