// Reads the input as a sequence of KPL stream fields: a string field where one fits, else an
// integer field, else one byte is skipped. Every field read must write back to exactly the bytes
// it was read from, and no read may move backwards or past the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ks::TByteReader reader(input);
    while (!reader.AtEnd()) {
        const std::size_t start = reader.Position();
        ks::TByteWriter writer;
        std::string text;
        std::int32_t value = 0;
        if (ks::ReadStrField(reader, text)) {
            if (!ks::WriteStrField(writer, text))
                __builtin_trap();
        } else if (ks::ReadIntField(reader, value)) {
            ks::WriteIntField(writer, value);
        } else {
            if (reader.Position() != start)
                __builtin_trap();
            reader.Seek(start + 1);
            continue;
        }
        if (reader.Position() <= start || reader.Position() > size ||
            writer.Data() != input.substr(start, reader.Position() - start))
            __builtin_trap();
    }
    return 0;
}
