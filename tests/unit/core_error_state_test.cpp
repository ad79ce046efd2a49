// The error state: recording, console and standby reports, warnings and
// console progress messages.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/core_globals.h"
#include "core_test_support.h"

namespace {

class ErrorStateTest : public ::testing::Test {
protected:
    char line_text[256] = {};
    void SetUp() override {
        ensure_core_state();
        compile_state_init();
        clear_error_state();
        standby_mode = 0;
        quiet_mode = 0;
        standby_loop_started = 0;
        standby_include_line = -1;
        report_warnings = 0;
        macro_error_line = 0;
        macro_expansion_text = nullptr;
        parse_pointer = line_text;
    }
    void TearDown() override {
        standby_mode = 0;
        quiet_mode = 0;
        for (int n = 0; n < message_table_size; ++n) set_message_text(n, english_message_text(n));
        clear_error_state();
        compile_state_init();
    }
    // A logical line joined from three physical lines "aaaa", "bbbb", "cccc".
    void set_three_line_statement() {
        std::strcpy(line_text, "aaaa bbbb cccc");
        continuation_count = 2;
        continuation_starts[0] = line_text + 5;
        continuation_starts[1] = line_text + 10;
    }
};

TEST_F(ErrorStateTest, MessageTableTexts) {
    EXPECT_STREQ(message_text(1), "Syntax error.");
    EXPECT_STREQ(message_text(91), "File not found (%s).");
    EXPECT_STREQ(message_text(200), "%s");
    EXPECT_STREQ(message_text(0), "");
    EXPECT_STREQ(message_text(33), "");
    EXPECT_STREQ(message_text(360), "");
    EXPECT_STREQ(message_text(361), "");
    EXPECT_STREQ(message_text(-1), "");
}

TEST_F(ErrorStateTest, FirstErrorWins) {
    set_error(ERROR_GARBAGE_AT_END_OF_LINE);
    char* position = error_position;
    parse_pointer = line_text + 3;
    set_error(ERROR_SYNTAX);
    set_error_always(ERROR_TOO_MANY_OPEN_PARENTHESES);
    set_error_format(ERROR_FILE_NOT_FOUND, "x.zd");
    EXPECT_EQ(error_number, ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(error_position, position);
    EXPECT_STREQ(error_message, "Garbage at the end of the line.");
}

TEST_F(ErrorStateTest, SuppressedErrorsNeedTheAlwaysVariants) {
    suppress_errors = 2;
    set_error(ERROR_SYNTAX);
    set_error_format(ERROR_FILE_NOT_FOUND, "a");
    set_error_at(ERROR_SYNTAX, line_text);
    EXPECT_EQ(error_number, 0);
    set_error_format_always(ERROR_FILE_NOT_FOUND, "a.zd");
    EXPECT_EQ(error_number, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(error_message, "File not found (a.zd).");
    suppress_errors = 0;
}

TEST_F(ErrorStateTest, FormattedMessagesAreCutToTheBuffer) {
    std::string name(2000, 'n');
    set_error_format(ERROR_FILE_NOT_FOUND, name.c_str());
    EXPECT_EQ(std::strlen(error_message), size_t(error_message_capacity - 1));
}

TEST_F(ErrorStateTest, CatalogTextWithOtherConversionsIsNotUsed) {
    set_message_text(91, "Datei fehlt: %d %s");
    set_error_format(ERROR_FILE_NOT_FOUND, "a.zd");
    EXPECT_STREQ(error_message, "File not found (a.zd).");
    clear_error_state();
    set_message_text(91, "Datei nicht gefunden (%s) 100%%.");
    set_error_format(ERROR_FILE_NOT_FOUND, "a.zd");
    EXPECT_STREQ(error_message, "Datei nicht gefunden (a.zd) 100%.");
}

TEST_F(ErrorStateTest, ConsoleReportOnceWithLine) {
    current_line = 10;  // after the line: 1-based number of its last physical line
    set_error(ERROR_GARBAGE_AT_END_OF_LINE);
    std::string out = captured_stdout([] {
        report_error();
        report_error();
    });
    EXPECT_EQ(out, "Error: Line 10 - Garbage at the end of the line.\n");
    EXPECT_EQ(error_reported, 1);
    EXPECT_EQ(current_line, 10);
}

TEST_F(ErrorStateTest, ErrorInSecondPhysicalLineOfContinuedStatement) {
    set_three_line_statement();
    current_line = 12;  // lines 10, 11, 12
    parse_pointer = line_text + 7;
    set_error(ERROR_SYNTAX);
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out, "Error: Line 11 - Syntax error.\n");
    EXPECT_EQ(current_line, 11);
}

TEST_F(ErrorStateTest, ErrorPositionOutsideTheLineMapsToItsFirstLine) {
    set_three_line_statement();
    current_line = 12;
    char elsewhere[8] = "macro";
    parse_pointer = elsewhere;
    set_error(ERROR_SYNTAX);
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_TRUE(out == "Error: Line 10 - Syntax error.\n") << out;
}

TEST_F(ErrorStateTest, IncludeFileErrorConsoleForm) {
    set_three_line_statement();
    parse_pointer = line_text + 12;  // third physical line
    set_error(ERROR_SYNTAX);
    include_depth = 1;
    error_include_line = 20;  // last physical line of the failing statement
    std::strcpy(error_include_file, "inc.zdi");
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out, "Error: in included file 'inc.zdi'\nLine 20 - Syntax error.\n");
    EXPECT_EQ(include_depth, 0);
    EXPECT_EQ(current_line, -1);
}

TEST_F(ErrorStateTest, IncludeFileErrorStandbyForm) {
    standby_mode = 1;
    standby_loop_started = 1;
    set_three_line_statement();
    parse_pointer = line_text;  // first physical line
    set_error(ERROR_SYNTAX);
    include_depth = 2;
    error_include_line = 20;
    std::strcpy(error_include_file, "inc.zdi");
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out,
              "ERROR\tSYNTAX\t-1\nMESSAGE\tSyntax error.\nINCLUDEFILE\tinc.zdi\t18\nOUTPUT\tCOMPLETE\n");
}

TEST_F(ErrorStateTest, NestedIncludeWithoutItsLineReportsNothing) {
    include_depth = 1;
    set_error(ERROR_SYNTAX);
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(error_reported, 1);
}

TEST_F(ErrorStateTest, StandbyStartUpErrorHasNoLineFeed) {
    standby_mode = 1;
    set_error_format(ERROR_SUBSYSTEM_NOT_LOADED, "Gtk");
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out, "ERROR\tCan't load the 'Gtk' subsystem.");
}

TEST_F(ErrorStateTest, MacroExpansionLines) {
    char expansion[] = "a = 1\nb = \nc = 3";
    macro_error_line = 2;
    macro_expansion_text = expansion;
    current_line = 5;
    set_error(ERROR_SYNTAX);
    std::string out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out, "Error: Line 5 - Syntax error.\nat line 2 of the expanded macro (Macro.out)\n");

    clear_error_state();
    standby_mode = 1;
    standby_loop_started = 1;
    current_line = 5;
    set_error(ERROR_SYNTAX);
    out = captured_stdout([] { report_error(); });
    EXPECT_EQ(out,
              "ERROR\tSYNTAX\t5\nMESSAGE\tSyntax error.\nMACRO\t2\t3\na = 1\nb = \nc = 3\nMACRO\tCOMPLETE\n"
              "OUTPUT\tCOMPLETE\n");
}

TEST_F(ErrorStateTest, Warnings) {
    current_line = 6;
    std::string out = captured_stdout([] { report_warning(ERROR_FILE_NOT_FOUND, "w.zd"); });
    EXPECT_EQ(out, "Warning: Line 7 - File not found (w.zd).\n");
    EXPECT_EQ(error_number, 0);

    standby_mode = 1;
    out = captured_stdout([] { report_warning(ERROR_SYNTAX, nullptr); });
    EXPECT_EQ(out, "");
    report_warnings = 1;
    include_depth = 1;
    char name[] = "inc.zdi";
    current_include_name = name;
    out = captured_stdout([] { report_warning(ERROR_SYNTAX, nullptr); });
    EXPECT_EQ(out, "WARNING\t7\nMESSAGE\tSyntax error.\nINCLUDEFILE\tinc.zdi\t7\nOUTPUT\tCOMPLETE\n");
    current_include_name = nullptr;
}

TEST_F(ErrorStateTest, ConsolePrintIsSilencedByQuietAndStandby) {
    std::string out = captured_stdout([] { console_print("Compiling %s\n", "a.zd"); });
    EXPECT_EQ(out, "Compiling a.zd\n");
    quiet_mode = 1;
    current_line = 2;
    set_error(ERROR_SYNTAX);
    out = captured_stdout([] {
        console_print("Compiling %s\n", "a.zd");
        report_error();
    });
    EXPECT_EQ(out, "Error: Line 2 - Syntax error.\n");
    quiet_mode = 0;
    standby_mode = 1;
    out = captured_stdout([] { console_print("x\n"); });
    EXPECT_EQ(out, "");
}

TEST_F(ErrorStateTest, ConsolePrintDropsInvalidUtf8AndCutsLongText) {
    std::string out = captured_stdout([] { console_print("bad \x80 text\n"); });
    EXPECT_EQ(out, "");
    std::string big(5000, 'z');
    out = captured_stdout([&] { console_print("%s", big.c_str()); });
    EXPECT_EQ(out.size(), 2047u);
}

TEST_F(ErrorStateTest, LocationText) {
    EXPECT_STREQ(error_location_text("Foo", 9, "main.zd", 0), "Foo (main.zd line 10)");
    EXPECT_STREQ(error_location_text("Foo", 9, "main.zd", 1), "Foo (in a resident file)");
}

// The errors that the compilers' sources raise, by name: the first argument
// of the set_error family and of the helpers that pass a number on to it (the
// third of scan_library_folder), and error-number constants. A bare number
// there is collected as well.
struct RaisedErrors {
    std::set<std::string> names;
    std::set<std::string> bare_numbers;  // "file: number"
};

RaisedErrors errors_raised_in_sources() {
    namespace fs = std::filesystem;
    static const std::regex call(
        R"(\b(?:set_error\w*|set_reported_error|set_build_error_reported|read_container_name|read_integer_constant|)"
        R"(compile_integer_constant|read_foreach_container|format_earlier_section)\s*\(([^,;)]*))");
    static const std::regex folder_scan(R"(\bscan_library_folder\s*\([^,;]*,[^,;]*,([^,;)]*))");
    static const std::regex constant(R"(\bconst(?:expr)? int \w*error\w* = ([^;]*);)");
    static const std::regex name(R"(\b(?:ERROR|WARNING)_\w+)");
    static const std::regex number(R"(\b[1-9]\d*\b)");
    RaisedErrors raised;
    for (const char* folder : {"core", "frontend", "driver", "backend_x64", "backend_c"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ZANDREL_SOURCE_DIR) / folder)) {
            if (entry.path().extension() != ".cpp" || entry.path().filename() == "error_messages.cpp") continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            std::string source = text.str();
            for (const std::regex* pattern : {&call, &folder_scan, &constant}) {
                for (std::sregex_iterator it(source.begin(), source.end(), *pattern), end; it != end; ++it) {
                    std::string argument = (*it)[1];
                    if (argument.find('"') != std::string::npos) continue;  // a file name, not an error
                    for (std::sregex_iterator n(argument.begin(), argument.end(), name), none; n != none; ++n)
                        raised.names.insert(n->str());
                    std::string rest = std::regex_replace(argument, name, "");
                    for (std::sregex_iterator n(rest.begin(), rest.end(), number), none; n != none; ++n)
                        raised.bare_numbers.insert(entry.path().filename().string() + ": " + n->str());
                }
            }
        }
    }
    return raised;
}

TEST_F(ErrorStateTest, EveryRaisedErrorIsNamedAndHasAText) {
    RaisedErrors raised = errors_raised_in_sources();
    // The scan finds the errors passed through helpers and constants too.
    for (const char* known : {"ERROR_SYNTAX", "ERROR_RESIDENTS_NOT_LOADED", "ERROR_MAP_NAME_START",
                              "ERROR_MAP_DECLARED_WITH_OTHER_TYPE", "ERROR_MAP_ALREADY_DECLARED",
                              "ERROR_SUBSYSTEM_NOT_LOADED"})
        EXPECT_TRUE(raised.names.count(known)) << known;
    for (const std::string& bare : raised.bare_numbers) ADD_FAILURE() << "error raised by bare number in " << bare;
    struct Named {
        const char* name;
        int number;
    };
#define ZANDREL_ERROR_NUMBER_OF(name, number, text) {#name, number},
    static const Named named[] = {ZANDREL_ERROR_NAMES(ZANDREL_ERROR_NUMBER_OF)};
#undef ZANDREL_ERROR_NUMBER_OF
    for (const Named& error : named) {
        // ERROR_ASSEMBLER_FAILED marks an error whose text a tool has printed already.
        if (!raised.names.count(error.name) || error.number == ERROR_NONE || error.number == ERROR_ASSEMBLER_FAILED)
            continue;
        EXPECT_STRNE(english_message_text(error.number), "") << error.name << " is raised but has no text";
    }
    EXPECT_STREQ(english_message_text(ERROR_RESIDENTS_NOT_LOADED), "Can't load any residents.");
    EXPECT_STREQ(english_message_text(ERROR_MAP_ALREADY_DECLARED), "Map already declared: %s().");
}

}  // namespace
