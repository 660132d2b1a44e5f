// A server's control connection sends anything, cut anywhere by the network: the framer must
// give the same replies however the bytes arrive, and never hold more than its limits.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpReply.h"

namespace {

std::vector<ks::TFtpReply> Drain(ks::TFtpReplyFramer& framer) {
    std::vector<ks::TFtpReply> replies;
    ks::TFtpReply reply;
    while (framer.Next(reply)) {
        if (reply.Code < 100 || reply.Code > 599 || reply.Text.size() > ks::TFtpReplyFramer::MaxReplyLength)
            __builtin_trap();
        replies.push_back(reply);
    }
    return replies;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    ks::TFtpReplyFramer whole;
    whole.Feed(input);
    const std::vector<ks::TFtpReply> expected = Drain(whole);

    // The bytes themselves choose the cuts, so every input tries another split.
    ks::TFtpReplyFramer pieces;
    std::vector<ks::TFtpReply> got;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t length = 1 + static_cast<std::uint8_t>(input[at]) % 23;
        pieces.Feed(input.substr(at, length));
        at += length;
        // Taking replies between reads must not change what comes out.
        if (length % 2 == 0) {
            for (ks::TFtpReply& reply : Drain(pieces))
                got.push_back(std::move(reply));
        }
    }
    for (ks::TFtpReply& reply : Drain(pieces))
        got.push_back(std::move(reply));

    if (whole.Failed() != pieces.Failed() || got.size() != expected.size())
        __builtin_trap();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i].Code != expected[i].Code || got[i].Text != expected[i].Text)
            __builtin_trap();
    }
    if (whole.Failed() && whole.FailureText().empty())
        __builtin_trap();

    whole.Reset();
    if (whole.Failed() || Drain(whole).size() != 0)
        __builtin_trap();
    return 0;
}
