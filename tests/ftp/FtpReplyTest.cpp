#include "ftp/FtpReply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ks {
namespace {

struct TExpected {
    int Code;
    std::string Text;
};

std::vector<TExpected> Drain(TFtpReplyFramer& framer) {
    std::vector<TExpected> replies;
    TFtpReply reply;
    while (framer.Next(reply))
        replies.push_back({reply.Code, reply.Text});
    return replies;
}

void ExpectReplies(const std::vector<TExpected>& got, const std::vector<TExpected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Code, want[i].Code) << "reply " << i;
        EXPECT_EQ(got[i].Text, want[i].Text) << "reply " << i;
    }
}

const struct {
    const char* Name;
    std::string Bytes;
    std::vector<TExpected> Replies;
} ReplyCases[] = {
    {"one line", "220 Ready\r\n", {{220, "220 Ready"}}},
    {"bare line feeds", "331 Password\n230 In\n", {{331, "331 Password"}, {230, "230 In"}}},
    {"a code alone", "200\r\n", {{200, "200"}}},
    {"multi-line joined", "230-Welcome\r\n230 Done\r\n", {{230, "230-Welcome230 Done"}}},
    {"middle lines start with anything",
     "211-Features:\r\n MLSD\r\n SIZE\r\n211-still more\r\n200 not the end\r\n211\r\n",
     {{211, "211-Features: MLSD SIZE211-still more200 not the end211"}}},
    {"empty middle line", "220-a\r\n\r\n220 b\r\n", {{220, "220-a220 b"}}},
    {"two replies after a multi-line one",
     "250-x\r\n250 y\r\n226 ok\r\n",
     {{250, "250-x250 y"}, {226, "226 ok"}}},
    {"an unended last line waits", "200 ok\r\n150 Open", {{200, "200 ok"}}},
    {"a multi-line reply waits for its last line", "220-a\r\n220-b\r\n", {}},
};

TEST(FtpReplyFramer, FramesRepliesHoweverTheBytesArrive) {
    for (const auto& c : ReplyCases) {
        SCOPED_TRACE(c.Name);
        {
            SCOPED_TRACE("all at once");
            TFtpReplyFramer framer;
            framer.Feed(c.Bytes);
            EXPECT_FALSE(framer.Failed());
            ExpectReplies(Drain(framer), c.Replies);
        }
        {
            SCOPED_TRACE("byte by byte");
            TFtpReplyFramer framer;
            for (const char b : c.Bytes)
                framer.Feed(std::string_view(&b, 1));
            EXPECT_FALSE(framer.Failed());
            ExpectReplies(Drain(framer), c.Replies);
        }
        for (std::size_t split = 1; split < c.Bytes.size(); ++split) {
            SCOPED_TRACE("split at " + std::to_string(split));
            TFtpReplyFramer framer;
            framer.Feed(std::string_view(c.Bytes).substr(0, split));
            framer.Feed(std::string_view(c.Bytes).substr(split));
            ExpectReplies(Drain(framer), c.Replies);
        }
    }
}

TEST(FtpReplyFramer, CoalescedRepliesComeOutInOrder) {
    std::string all;
    std::vector<TExpected> want;
    for (const auto& c : ReplyCases) {
        // The cases whose last reply is incomplete would swallow the next one.
        if (c.Bytes.back() != '\n' || std::string_view(c.Name).find("waits") != std::string_view::npos)
            continue;
        all += c.Bytes;
        want.insert(want.end(), c.Replies.begin(), c.Replies.end());
    }
    TFtpReplyFramer framer;
    for (std::size_t i = 0; i < all.size(); i += 7)
        framer.Feed(std::string_view(all).substr(i, 7));
    EXPECT_FALSE(framer.Failed());
    ExpectReplies(Drain(framer), want);
}

TEST(FtpReplyFramer, BadInputFailsWithoutGrowing) {
    const std::string longLine = "200 " + std::string(TFtpReplyFramer::MaxLineLength, 'x');
    std::string longReply = "211-start\r\n";
    // Over the limit even without the line ends, which the reply text does not keep.
    while (longReply.size() <= TFtpReplyFramer::MaxReplyLength + 4096)
        longReply += " " + std::string(1000, 'y') + "\r\n";
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Failure;
    } cases[] = {
        {"no code", "hello\r\n", "reply line without a reply code"},
        {"code out of range", "999 nope\r\n", "reply line without a reply code"},
        {"code glued to text", "200OK\r\n", "reply line without a reply code"},
        {"line too long, ended", longLine + "\r\n", "reply line longer than 65536 bytes"},
        {"line too long, never ended", longLine, "reply line longer than 65536 bytes"},
        {"multi-line reply too long", longReply, "reply longer than 1048576 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const std::size_t chunk : {c.Bytes.size(), std::size_t{4096}}) {
            TFtpReplyFramer framer;
            framer.Feed("220 Ready\r\n");
            for (std::size_t i = 0; i < c.Bytes.size(); i += chunk)
                framer.Feed(std::string_view(c.Bytes).substr(i, chunk));
            ASSERT_TRUE(framer.Failed());
            EXPECT_EQ(framer.FailureText(), c.Failure);
            // Replies complete before the failure are still there; nothing after it is framed.
            framer.Feed("200 after\r\n");
            ExpectReplies(Drain(framer), {{220, "220 Ready"}});

            framer.Reset();
            EXPECT_FALSE(framer.Failed());
            framer.Feed("200 again\r\n");
            ExpectReplies(Drain(framer), {{200, "200 again"}});
        }
    }
}

TEST(FtpReplyFramer, ResetForgetsAHalfReadReply) {
    TFtpReplyFramer framer;
    framer.Feed("220-first\r\n220-second\r\n150 par");
    framer.Reset();
    framer.Feed("tial\r\n331 Password\r\n");
    // "tial" has no code: the old connection's bytes are not carried over.
    EXPECT_TRUE(framer.Failed());
    framer.Reset();
    framer.Feed("331 Password\r\n");
    ExpectReplies(Drain(framer), {{331, "331 Password"}});
}

} // namespace
} // namespace ks
