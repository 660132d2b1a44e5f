#pragma once

#include <string>
#include <string_view>

namespace ks {

/// Decodes text in a Windows code page to UTF-8: 1250..1258, 874, 932, 936, 949, 950, and 65001
/// (UTF-8, checked). Any other code page is read as 1252. Bytes that do not decode become U+FFFD;
/// the call never fails.
std::string DecodeCodePage(std::string_view bytes, int codePage);

} // namespace ks
