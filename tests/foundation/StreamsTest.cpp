#include "foundation/Streams.h"

#include <gtest/gtest.h>

#include <climits>

namespace ks {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string result;
    for (const int v : values)
        result += static_cast<char>(v);
    return result;
}

TEST(StreamsFields, WrittenBytesAreLittleEndianAndClosedByCarriageReturn) {
    TByteWriter writer;
    WriteIntField(writer, 0x01020304);
    WriteIntField(writer, -2);
    ASSERT_TRUE(WriteStrField(writer, "ab"));
    ASSERT_TRUE(WriteStrField(writer, ""));
    EXPECT_EQ(writer.Data(), Bytes({4, 3, 2,  1,   13,  0xFE, 0xFF, 0xFF, 0xFF, 13, 2,  0,
                                    0, 0, 13, 'a', 'b', 13,   0,    0,    0,    0,  13, 13}));
}

TEST(StreamsFields, RoundTrip) {
    const std::string binary("a\0\r\n\xFF|b", 7);
    TByteWriter writer;
    for (const std::int32_t value : {0, 1, -1, INT_MAX, INT_MIN})
        WriteIntField(writer, value);
    for (const std::string& text : {std::string(), std::string("Verdana"), binary, std::string(70000, 'x')})
        ASSERT_TRUE(WriteStrField(writer, text));
    const std::string data = writer.Take();

    TByteReader reader(data);
    for (const std::int32_t expected : {0, 1, -1, INT_MAX, INT_MIN}) {
        std::int32_t value = 7;
        ASSERT_TRUE(ReadIntField(reader, value));
        EXPECT_EQ(value, expected);
    }
    for (const std::string& expected :
         {std::string(), std::string("Verdana"), binary, std::string(70000, 'x')}) {
        std::string text = "old";
        ASSERT_TRUE(ReadStrField(reader, text));
        EXPECT_EQ(text, expected);
    }
    EXPECT_TRUE(reader.AtEnd());
    std::int32_t value = 0;
    EXPECT_FALSE(ReadIntField(reader, value));
}

TEST(StreamsFields, DamagedFieldsFailWithoutMovingOrReadingPastTheEnd) {
    struct TCase {
        const char* What;
        std::string Data;
        bool IsString;
    };
    const TCase cases[] = {
        {"int: too short", Bytes({1, 2, 3}), false},
        {"int: no marker byte", Bytes({1, 2, 3, 4}), false},
        {"int: wrong marker", Bytes({1, 2, 3, 4, 10}), false},
        {"str: length beyond the end", Bytes({5, 0, 0, 0, 13, 'a', 'b', 13}), true},
        {"str: huge length", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 13, 'a', 13}), true},
        {"str: negative length", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 13, 13}), true},
        {"str: most negative length", Bytes({0, 0, 0, 0x80, 13, 13}), true},
        {"str: text without marker", Bytes({2, 0, 0, 0, 13, 'a', 'b'}), true},
        {"str: wrong marker after text", Bytes({2, 0, 0, 0, 13, 'a', 'b', 'c'}), true},
        {"str: length field damaged", Bytes({2, 0, 0, 0, 0, 'a', 'b', 13}), true},
        {"empty input", std::string(), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TByteReader reader(c.Data);
        reader.Seek(0);
        if (c.IsString) {
            std::string text = "untouched";
            EXPECT_FALSE(ReadStrField(reader, text));
            EXPECT_EQ(text, "untouched");
        } else {
            std::int32_t value = 42;
            EXPECT_FALSE(ReadIntField(reader, value));
            EXPECT_EQ(value, 42);
        }
        EXPECT_EQ(reader.Position(), 0u);
    }
}

TEST(StreamsFields, ReaderStopsAtTheEnd) {
    const std::string data = "abc";
    TByteReader reader(data);
    std::string_view bytes;
    EXPECT_FALSE(reader.ReadBytes(4, bytes));
    EXPECT_TRUE(reader.ReadBytes(3, bytes));
    EXPECT_EQ(bytes, "abc");
    char byte = 0;
    EXPECT_FALSE(reader.ReadByte(byte));
    reader.Seek(99);
    EXPECT_EQ(reader.Position(), 3u);
    EXPECT_EQ(reader.Remaining(), 0u);
}

} // namespace
} // namespace ks
