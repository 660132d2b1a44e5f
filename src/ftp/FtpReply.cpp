#include "ftp/FtpReply.h"

#include <utility>

namespace ks {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A reply code is three digits whose first names one of the five reply classes.
bool StartsWithCode(std::string_view line) {
    return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && IsDigit(line[1]) && IsDigit(line[2]);
}

int CodeOf(std::string_view line) {
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

} // namespace

void TFtpReplyFramer::Feed(std::string_view bytes) {
    while (!FFailed && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            // A CR may still come before the LF, so the unended bytes may be one over the limit.
            if (FPartial.size() + bytes.size() > MaxLineLength + 1) {
                Fail("reply line longer than " + std::to_string(MaxLineLength) + " bytes");
                return;
            }
            FPartial.append(bytes);
            return;
        }
        std::string_view piece = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        std::string_view line;
        if (FPartial.empty()) {
            line = piece;
        } else {
            if (FPartial.size() + piece.size() > MaxLineLength + 1) {
                Fail("reply line longer than " + std::to_string(MaxLineLength) + " bytes");
                return;
            }
            FPartial.append(piece);
            line = FPartial;
        }
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > MaxLineLength) {
            Fail("reply line longer than " + std::to_string(MaxLineLength) + " bytes");
            return;
        }
        TakeLine(line);
        FPartial.clear();
    }
}

void TFtpReplyFramer::TakeLine(std::string_view line) {
    if (FMultiCode == 0) {
        if (!StartsWithCode(line)) {
            Fail("reply line without a reply code");
            return;
        }
        if (line.size() > 3 && line[3] == '-') {
            FMultiCode = CodeOf(line);
            FReplyText.assign(line);
            return;
        }
        if (line.size() > 3 && line[3] != ' ') {
            Fail("reply line without a reply code");
            return;
        }
        FReady.push_back(TFtpReply{CodeOf(line), std::string(line)});
        return;
    }
    if (FReplyText.size() + line.size() > MaxReplyLength) {
        Fail("reply longer than " + std::to_string(MaxReplyLength) + " bytes");
        return;
    }
    FReplyText.append(line);
    // Only the same code followed by a space (or nothing) ends the reply; lines in between may
    // start with other codes, or with the same code and a hyphen.
    if (StartsWithCode(line) && CodeOf(line) == FMultiCode && (line.size() == 3 || line[3] == ' ')) {
        FReady.push_back(TFtpReply{FMultiCode, std::move(FReplyText)});
        FReplyText.clear();
        FMultiCode = 0;
    }
}

void TFtpReplyFramer::Fail(std::string text) {
    FFailed = true;
    FFailureText = std::move(text);
    // Nothing is framed after a failure, so nothing half-read is kept either.
    std::string().swap(FPartial);
    std::string().swap(FReplyText);
    FMultiCode = 0;
}

bool TFtpReplyFramer::Next(TFtpReply& reply) {
    if (FReady.empty())
        return false;
    reply = std::move(FReady.front());
    FReady.pop_front();
    return true;
}

void TFtpReplyFramer::Reset() {
    std::string().swap(FPartial);
    std::string().swap(FReplyText);
    FMultiCode = 0;
    FReady.clear();
    FFailed = false;
    FFailureText.clear();
}

} // namespace ks
