#include "Telemetry/Adapters/CodexOTelAdapter.h"

#include <gtest/gtest.h>

namespace {

struct FramingCase {
    const char *name;
    QByteArray buffer;
    bool complete;
    QString contentType;
    QByteArray body;
    qsizetype totalLength; // -1: the whole buffer
};

class Framing : public testing::TestWithParam<FramingCase> {};

TEST_P(Framing, FramesByContentLengthOnly)
{
    const FramingCase &c = GetParam();
    const std::optional<HTTPRequest> request = CodexOTelAdapter::parseHTTPRequest(c.buffer);
    ASSERT_EQ(request.has_value(), c.complete);
    if (!request)
        return;
    EXPECT_EQ(request->contentType, c.contentType);
    EXPECT_EQ(request->body, c.body);
    EXPECT_EQ(request->totalLength, c.totalLength < 0 ? c.buffer.size() : c.totalLength);
}

const QByteArray post = "POST /v1/logs HTTP/1.1\r\nHost: 127.0.0.1\r\n";

INSTANTIATE_TEST_SUITE_P(
    HTTPRequest, Framing,
    testing::Values(
        FramingCase{"Complete", post + "Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}", true,
                    "application/json", "{}", -1},
        FramingCase{"NoBlankLineYet", post + "Content-Length: 2\r\n", false, {}, {}, 0},
        FramingCase{"ShortBody", post + "Content-Length: 5\r\n\r\n{}", false, {}, {}, 0},
        FramingCase{"ExtraBytesBelongToTheNextRequest", "GET / HTTP/1.1\r\nContent-Length: 1\r\n\r\nxGET", true, {},
                    "x", 38},
        FramingCase{"GetWithoutBody", "GET / HTTP/1.1\r\n\r\n", true, {}, {}, -1},
        FramingCase{"CapitalisedNamesAndPaddedValues",
                    "POST / HTTP/1.1\r\nCONTENT-LENGTH:\t 3 \r\ncontent-TYPE:  application/json; x=1 \r\n\r\nabc", true,
                    "application/json; x=1", "abc", -1},
        FramingCase{"LastHeaderWins",
                    "POST / HTTP/1.1\r\nContent-Length: 9\r\nContent-Length: 1\r\nContent-Type: a\r\nContent-Type: b\r\n\r\nz",
                    true, "b", "z", -1},
        // A body framed any other way cannot be told from the next request: the head is refused.
        FramingCase{"UnreadableLengthIsRefused", "POST / HTTP/1.1\r\nContent-Length: 1e3\r\n\r\nabc", false, {}, {}, 0},
        FramingCase{"NegativeLengthIsRefused", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nabc", false, {}, {}, 0},
        FramingCase{"LengthBeyond64BitsIsRefused",
                    "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", false, {}, {}, 0},
        FramingCase{"ChunkedIsRefused", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n",
                    false, {}, {}, 0},
        FramingCase{"IdentityCodingIsContentLength",
                    "POST / HTTP/1.1\r\nTransfer-Encoding: Identity\r\nContent-Length: 2\r\n\r\n{}", true, {}, "{}", -1},
        FramingCase{"HugeLengthWaits", "POST / HTTP/1.1\r\nContent-Length: 9223372036854775807\r\n\r\nab", false, {},
                    {}, 0},
        // A colon that ends an empty piece does not split, so ":Content-Length:1" names "Content-Length".
        FramingCase{"LeadingColonIsDropped", "POST / HTTP/1.1\r\n:Content-Length:1\r\n\r\nq", true, {}, "q", -1},
        FramingCase{"EmptyValueIsNoHeader", "POST / HTTP/1.1\r\nContent-Type:\r\nContent-Length:\r\n\r\n", true, {}, {},
                    51},
        FramingCase{"HeaderBlockNotUtf8", "POST / HTTP/1.1\r\nX: \xff\xfe\r\nContent-Length: 0\r\n\r\n", false, {}, {},
                    0}),
    [](const testing::TestParamInfo<FramingCase> &info) { return std::string(info.param.name); });

TEST(HTTPRequest, HeadSaysWhetherToCloseAndWhetherTheClientWaitsToSendItsBody)
{
    struct Case {
        const char *head;
        bool closeAfter;
        bool expectsContinue;
    };
    const Case cases[] = {
        {"POST / HTTP/1.1\r\n\r\n", false, false},
        {"POST / HTTP/1.1\r\nConnection: Close\r\n\r\n", true, false},
        {"POST / HTTP/1.0\r\n\r\n", true, false},
        {"POST / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", false, false},
        {"POST / HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 9\r\n\r\n", false, true},
    };
    for (const Case &c : cases) {
        const std::optional<HTTPRequestHead> head = HTTPRequest::parseHead(QByteArrayView(c.head));
        ASSERT_TRUE(head) << c.head;
        EXPECT_EQ(head->closeAfter, c.closeAfter) << c.head;
        EXPECT_EQ(head->expectsContinue, c.expectsContinue) << c.head;
    }
}

} // namespace
