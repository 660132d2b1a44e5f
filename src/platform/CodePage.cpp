#include "platform/CodePage.h"

#include <cerrno>

#include <iconv.h>

namespace ks {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD

// Copies valid UTF-8 and replaces each maximal invalid subsequence (a bad lead byte, or a lead
// byte with the continuation bytes that fit it before the sequence broke) by one U+FFFD. Overlong
// forms, surrogates and code points above U+10FFFF are invalid.
std::string CheckUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            out += Replacement;
            ++i;
            continue;
        }
        std::size_t good = 1;
        while (good < length && i + good < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + good]);
            if (next < low || next > high)
                break;
            low = 0x80;
            high = 0xBF;
            ++good;
        }
        if (good == length)
            out.append(bytes.substr(i, length));
        else
            out += Replacement;
        i += good;
    }
    return out;
}

const char* IconvName(int codePage) {
    switch (codePage) {
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    default:
        return "CP1252";
    }
}

} // namespace

std::string DecodeCodePage(std::string_view bytes, int codePage) {
    if (codePage == 65001)
        return CheckUtf8(bytes);
    std::string out;
    const iconv_t converter = ::iconv_open("UTF-8", IconvName(codePage));
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // No conversion modules installed: keep what is plain ASCII in every one of these pages.
        for (const char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += Replacement;
        }
        return out;
    }
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* next = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = ::iconv(converter, &in, &inLeft, &next, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(next - buffer));
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG && next != buffer)
            continue;
        out += Replacement;
        // A sequence cut off by the end of the text ends the decoding; any other undecodable
        // byte is skipped alone, so a broken lead byte does not swallow the character after it.
        if (error == EINVAL)
            break;
        ++in;
        --inLeft;
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(converter);
    return out;
}

} // namespace ks
