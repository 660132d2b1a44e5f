#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace ks {

/// One complete reply of an FTP server: the three-digit code and its text, every line of a
/// multi-line reply joined by CR LF pairs removed (so "230-Welcome\r\n230 Done\r\n" gives
/// "230-Welcome230 Done", as the status window shows replies).
struct TFtpReply {
    int Code = 0;     ///< 100..599
    std::string Text; ///< the reply's lines without their line ends, concatenated
};

/// Cuts the bytes of a control connection into replies as the protocol frames them: a reply is
/// one line "ddd text" or, when the first line is "ddd-text", every line up to and including
/// the first that starts with the same "ddd " (lines in between may start with anything). A
/// reply split across reads is joined; several replies in one read come out one by one.
/// Lines end with LF (a CR before it is dropped).
///
/// Bad input: a line longer than `MaxLineLength` bytes, or a first line that does not start
/// with a code 100..599 followed by a space, a hyphen or the line end, puts the framer into its
/// failed state (`Failed`), since the connection can no longer be read in step; a multi-line
/// reply longer than `MaxReplyLength` likewise. Replies completed before the failure can still
/// be taken with `Next`.
///
/// Thread: one thread at a time.
class TFtpReplyFramer {
public:
    static constexpr std::size_t MaxLineLength = 64 * 1024;
    static constexpr std::size_t MaxReplyLength = 1024 * 1024;

    /// Adds received bytes; complete replies queue up for `Next`.
    void Feed(std::string_view bytes);
    /// Takes the oldest complete reply; false when none is complete yet.
    bool Next(TFtpReply& reply);
    /// True when the input broke the rules above; nothing more is framed then.
    bool Failed() const { return FFailed; }
    /// What broke the rules, for the status window ("reply line longer than 65536 bytes").
    const std::string& FailureText() const { return FFailureText; }
    /// Forgets everything, for a new connection.
    void Reset();

private:
    void TakeLine(std::string_view line);
    void Fail(std::string text);

    std::string FPartial;   // bytes of the line not yet ended
    std::string FReplyText; // the reply being collected
    int FMultiCode = 0;     // code of the multi-line reply in progress, 0 when none
    std::deque<TFtpReply> FReady;
    bool FFailed = false;
    std::string FFailureText;
};

} // namespace ks
