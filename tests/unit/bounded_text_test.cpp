#include "support/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr char kUntouched = '#';

struct Buffer {
    char data[32];
    Buffer() { std::memset(data, kUntouched, sizeof data); }
    bool UntouchedFrom(size_t from) const {
        for (size_t i = from; i < sizeof data; ++i)
            if (data[i] != kUntouched) return false;
        return true;
    }
};

struct CopyCase {
    const char* name;
    size_t size;
    const char* source;
    int32_t result;
    const char* expected;  // null: buffer must stay untouched
};

class BoundedCopyTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(BoundedCopyTest, CopiesWithinTheSize) {
    const CopyCase& c = GetParam();
    Buffer buffer;
    EXPECT_EQ(BoundedCopy(buffer.data, c.size, c.source), c.result);
    if (c.expected == nullptr) {
        EXPECT_TRUE(buffer.UntouchedFrom(0));
    } else {
        EXPECT_STREQ(buffer.data, c.expected);
        EXPECT_TRUE(buffer.UntouchedFrom(c.size)) << "wrote past the size";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoundedCopyTest,
    ::testing::Values(CopyCase{"FitsWhole", 5, "abcd", kBoundedOk, "abcd"},
                      CopyCase{"CutByOne", 5, "abcde", kBoundedInsufficientBuffer, "abcd"},
                      CopyCase{"SizeOneKeepsEmpty", 1, "abc", kBoundedInsufficientBuffer, ""},
                      CopyCase{"EmptySource", 1, "", kBoundedOk, ""},
                      CopyCase{"SizeZero", 0, "abc", kBoundedInvalidArg, nullptr},
                      CopyCase{"SizeTooLarge", kBoundedMaxSize + 1, "abc", kBoundedInvalidArg,
                               nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoundedAppendTest, AppendsAfterExistingText) {
    Buffer buffer;
    std::strcpy(buffer.data, "ab");
    EXPECT_EQ(BoundedAppend(buffer.data, 6, "cde"), kBoundedOk);
    EXPECT_STREQ(buffer.data, "abcde");
    EXPECT_EQ(BoundedAppend(buffer.data, 6, "f"), kBoundedInsufficientBuffer);
    EXPECT_STREQ(buffer.data, "abcde");
}

TEST(BoundedAppendTest, CutsAtTheSizeMinusTheExistingText) {
    Buffer buffer;
    std::strcpy(buffer.data, "abc");
    EXPECT_EQ(BoundedAppend(buffer.data, 6, "defgh"), kBoundedInsufficientBuffer);
    EXPECT_STREQ(buffer.data, "abcde");
    EXPECT_TRUE(buffer.UntouchedFrom(6));
}

TEST(BoundedAppendTest, RefusesABufferWithoutTerminatorInsideTheSize) {
    Buffer buffer;  // no terminator anywhere in the first 8 characters
    EXPECT_EQ(BoundedAppend(buffer.data, 8, "x"), kBoundedInvalidArg);
    EXPECT_TRUE(buffer.UntouchedFrom(0));
    EXPECT_EQ(BoundedAppend(buffer.data, 0, "x"), kBoundedInvalidArg);
}

TEST(BoundedFormatTest, ExactFitAndOneCharacterMore) {
    Buffer buffer;
    EXPECT_EQ(BoundedFormat(buffer.data, 6, "%s-%d", "ab", 12), kBoundedOk);
    EXPECT_STREQ(buffer.data, "ab-12");
    EXPECT_EQ(BoundedFormat(buffer.data, 6, "%s-%d", "ab", 123), kBoundedInsufficientBuffer);
    EXPECT_STREQ(buffer.data, "ab-12");
    EXPECT_TRUE(buffer.UntouchedFrom(6));
}

TEST(BoundedFormatTest, NumbersAsTheTraceWritesThem) {
    char text[32];
    EXPECT_EQ(BoundedFormat(text, sizeof text, "%d", -5), kBoundedOk);
    EXPECT_STREQ(text, "-5");
    EXPECT_EQ(BoundedFormat(text, sizeof text, "0x%X", static_cast<int32_t>(0x800B0100u)),
              kBoundedOk);
    EXPECT_STREQ(text, "0x800B0100");
    EXPECT_EQ(BoundedFormat(text, sizeof text, "0x%X", 0), kBoundedOk);
    EXPECT_STREQ(text, "0x0");
}

TEST(BoundedFormatTest, RefusesInvalidSizesWithoutTouchingTheBuffer) {
    Buffer buffer;
    EXPECT_EQ(BoundedFormat(buffer.data, 0, "abc"), kBoundedInvalidArg);
    EXPECT_EQ(BoundedFormat(buffer.data, kBoundedMaxSize + 1, "abc"), kBoundedInvalidArg);
    EXPECT_TRUE(buffer.UntouchedFrom(0));
}

TEST(BoundedFormatTest, LongResultKeepsItsFirstCharacters) {
    const std::string long_text(5000, 'x');
    char text[1024];
    EXPECT_EQ(BoundedFormat(text, sizeof text, "[%s]", long_text.c_str()),
              kBoundedInsufficientBuffer);
    EXPECT_EQ(std::strlen(text), 1023u);
    EXPECT_EQ(text[0], '[');
}

}  // namespace
