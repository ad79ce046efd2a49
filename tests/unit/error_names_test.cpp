// The error names against the message table: each name stands for the text it
// was given for, no two names share a number, and every text has a name.
#include <gtest/gtest.h>

#include <set>

#include "core/error_state.h"

// The built-in table itself: english_message_text would give a back end's own
// text where it has one.
extern const char* const english_messages[message_table_size];

namespace {

struct NamedError {
    const char* name;
    int number;
    const char* text;
};

#define ZANDREL_NAMED_ERROR(name, number, text) {#name, number, text},
constexpr NamedError named_errors[] = {ZANDREL_ERROR_NAMES(ZANDREL_NAMED_ERROR)};
#undef ZANDREL_NAMED_ERROR

TEST(ErrorNames, AgreeWithTheMessageTable) {
    std::set<int> numbers;
    for (const NamedError& error : named_errors) {
        ASSERT_GE(error.number, 0) << error.name;
        ASSERT_LT(error.number, message_table_size) << error.name;
        EXPECT_TRUE(numbers.insert(error.number).second) << error.name << " shares number " << error.number;
        EXPECT_STREQ(english_messages[error.number], error.text) << error.name << " (" << error.number << ")";
    }
    for (int number = 0; number < message_table_size; number++) {
        if (english_messages[number][0]) {
            EXPECT_TRUE(numbers.count(number)) << "message " << number << " has no name: " << english_messages[number];
        }
    }
}

}  // namespace
