#include "panel/ItemDates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace ks {
namespace {

// Dates are local; the tests pin the zone so the texts are fixed.
class ItemDates : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

TEST_F(ItemDates, TextsFromFullTimesAndDosValues) {
    const struct {
        const char* Name;
        std::int64_t MTimeNs;
        std::uint32_t Dos;
        const char* Text;
    } cases[] = {
        {"modern file", 1'700'000'000LL * 1'000'000'000, 0, "2023-11-14 22:13"},
        {"before 1980", 86'400LL * 1'000'000'000, 0, "1970-01-02 00:00"},
        {"before 1970", -1, 0, "1969-12-31 23:59"},
        {"after 2107", 4'500'000'000LL * 1'000'000'000, 0, "2112-08-07 08:00"},
        {"archive entry", 0, (44u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 10u,
         "2024-06-15 13:45"},
        {"unknown", 0, 0, ""},
        {"impossible DOS month", 0, (44u << 25) | (13u << 21) | (1u << 16), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(ItemDateText(c.MTimeNs, c.Dos), c.Text);
    }
}

TEST_F(ItemDates, DosValuesRoundTripInTwoSecondSteps) {
    const std::int64_t time = 1'700'000'001;
    const std::uint32_t dos = DosDateTimeFromUnix(time);
    EXPECT_EQ(UnixFromDosDateTime(dos), time - 1);
    EXPECT_EQ(DosDateTimeFromUnix(100), 0u) << "1970 is before the DOS epoch";
    EXPECT_EQ(DosDateTimeFromUnix(4'500'000'000LL), 0u) << "2112 is past its end";
}

} // namespace
} // namespace ks
