// The compiler's own formatter writes what snprintf writes, for every
// conversion, also when the text is cut to the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text_format.h"

namespace {

// Both writers start on a buffer of 'x's: the counts, the texts and what
// follows them must agree.
template <typename Ours, typename Theirs>
void expect_same_writes(size_t size, const char* format, Ours write_ours, Theirs write_theirs)
{
    char ours[64], theirs[64];
    std::memset(ours, 'x', sizeof ours);
    std::memset(theirs, 'x', sizeof theirs);
    int a = write_ours(ours);
    int b = write_theirs(theirs);
    EXPECT_EQ(a, b) << format << " size " << size;
    EXPECT_EQ(std::string(ours, sizeof ours), std::string(theirs, sizeof theirs)) << format << " size " << size;
}

template <typename First, typename... Rest>
void expect_same(size_t size, const char* format, First first, Rest... rest)
{
    expect_same_writes(
        size, format, [&](char* out) { return format_to_buffer(out, size, format, first, rest...); },
        [&](char* out) { return std::snprintf(out, size, format, first, rest...); });
}

}  // namespace

TEST(TextFormat, PlainConversionsMatchTheCLibrary)
{
    for (size_t size : {size_t(64), size_t(8), size_t(1), size_t(0)}) {
        expect_same(size, " MOV %s,%s", "qword [v_abc]", "rax");
        expect_same(size, "%d|%i|%u", -2147483647 - 1, 42, 4294967295u);
        expect_same(size, "%lld %llu", (long long)INT64_MIN, (unsigned long long)UINT64_MAX);
        expect_same(size, "%ld %lu %lx %lX", -5L, 7UL, 0xbeefUL, 0xbeefUL);
        expect_same(size, "%x %X %c%%", 0xabcdefu, 0xabcdefu, 'Z');
        expect_same_writes(
            size, "no conversion", [&](char* out) { return format_to_buffer(out, size, "no conversion at all"); },
            [&](char* out) { return std::snprintf(out, size, "no conversion at all"); });
        expect_same(size, "%s", "");
    }
}

TEST(TextFormat, OtherConversionsGoToTheCLibrary)
{
    for (size_t size : {size_t(64), size_t(5)}) {
        expect_same(size, "%.17g|%.100g", 0.1, 1e300);
        expect_same(size, "%03o|%5d|%-4s|", 8, 42, "ab");
        expect_same(size, "%.*s", 3, "abcdef");
        expect_same(size, "%s then %f", "text", 1.5);
        expect_same(size, "%s", static_cast<const char*>(nullptr));
    }
}

TEST(TextFormat, CopyTextCutsAndEndsAtEveryLengthAndRoom)
{
    // Texts and rooms around the copy's block size: the text is cut to the
    // room, always ended, and nothing after the room is written.
    const std::string source = "abcdefghijklmnopqrstuvwxyz";
    for (size_t length = 0; length <= 20; length++) {
        const std::string text = source.substr(0, length);
        for (size_t size = 1; size <= 20; size++) {
            char out[24];
            std::memset(out, '#', sizeof out);
            size_t copied = copy_text(out, size, text.c_str());
            size_t expected = std::min(length, size - 1);
            ASSERT_EQ(copied, expected) << length << " " << size;
            EXPECT_EQ(std::string(out), text.substr(0, expected)) << length << " " << size;
            for (size_t i = size; i < sizeof out; i++) ASSERT_EQ(out[i], '#') << length << " " << size;
        }
    }
}

TEST(TextFormat, CopyTextCutsAndEnds)
{
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(copy_text(out, sizeof out, "abcdef"), 3u);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(copy_text(out, sizeof out, ""), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(copy_text(out, 0, "abc"), 0u);
    EXPECT_EQ(out[0], 0);
}
