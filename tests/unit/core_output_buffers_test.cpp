// Output text buffers, the buffer stack, the line emitters and the file writer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "backend_x64/emit_common.h"
#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "core_test_support.h"

namespace {

class OutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_core_state();
        reset_output_buffers();
        no_output_depth = 0;
        suppress_errors = 0;
        commented_output = 0;
    }
    void TearDown() override {
        commented_output = 0;
        no_output_depth = 0;
    }
    static std::string output() { return std::string(output_buffer_start, output_write_pointer); }
};

TEST_F(OutputTest, ResetWritesDebuggerHeadsAndPushesCodeBuffer) {
    EXPECT_STREQ(valid_lines_buffer->start, "zd_public ZD_DEBUGGER_ValidLines");
    EXPECT_EQ(*valid_lines_buffer->write, 0);
    EXPECT_EQ(valid_lines_buffer->write - valid_lines_buffer->start, 32);
    EXPECT_STREQ(code_context_buffer->start, "zd_public ZD_DEBUGGER_CodeContextBank");
    EXPECT_EQ(buffer_stack_depth, 0);
    EXPECT_EQ(current_output_buffer(), code_buffer);
    EXPECT_EQ(output_buffer_start, code_buffer->start);
    EXPECT_EQ(output(), "");
    EXPECT_EQ(code_buffer->size, 2000000);
    EXPECT_EQ(label_buffer->margin, 64000);
}

TEST_F(OutputTest, LineEmitters) {
    emit_line(" RET");
    emit_line2(" MOV rax,", "rbx");
    emit_line3("a", "b", "c");
    emit_numbered_label("l_", 12);
    emit_numbered_label("n", -3);
    emit_string_data("hi");
    emit_string_data(nullptr);
    EXPECT_EQ(output(), " RET\n MOV rax,rbx\nabc\nl_12:\nn-3:\n db \"hi\",0\n db 0\n");
    EXPECT_EQ(*output_write_pointer, 0);
}

TEST_F(OutputTest, EmitFormatKnowsOnlyDecimalAndText) {
    emit_format("%s_%d", "x", 5);
    emit_format("a%qb%", 1);
    emit_format("%d%%", -7);
    EXPECT_EQ(output(), "x_5\nab\n-7\n");
}

TEST_F(OutputTest, NothingIsWrittenWhileOutputIsOff) {
    emit_line("A");
    int64_t offset = output_write_pointer - output_buffer_start;
    no_output_depth = 1;
    emit_line("B");
    emit_format("%d", 1);
    emit_numbered_label("l_", 1);
    emit_string_data("x");
    EXPECT_EQ(emit_placeholder_line(10), offset);
    remove_last_line();
    no_output_depth = 0;
    EXPECT_EQ(output(), "A\n");
}

TEST_F(OutputTest, PlaceholderLineReturnsItsOffset) {
    emit_line("AB");
    int64_t offset = emit_placeholder_line(4);
    EXPECT_EQ(offset, 3);
    std::memcpy(output_buffer_start + offset, "CDEF", 4);
    EXPECT_EQ(output(), "AB\nCDEF\n");
}

TEST_F(OutputTest, RemoveLastLine) {
    emit_line("A");
    emit_line("B");
    remove_last_line();
    EXPECT_EQ(output(), "A\n");
    EXPECT_EQ(*output_write_pointer, 0);
    remove_last_line();  // only 2 bytes: kept
    EXPECT_EQ(output(), "A\n");
    emit_line("CD");
    remove_last_line();
    emit_line("EFG");
    remove_last_line();
    EXPECT_EQ(output(), "A\n");
    output_write_pointer = output_buffer_start;
    emit_line("long line");
    remove_last_line();  // no earlier line: back to the start
    EXPECT_EQ(output(), "");
}

// The x64 back end's comments; the C back end's are tested with its program file.
TEST_F(OutputTest, CommentsInCommentedModeOnly) {
    install_backend(&x64_backend_hooks);
    emit_comment("x = 1");
    EXPECT_EQ(output(), "");
    commented_output = 1;
    emit_comment("  ; note");
    emit_comment("\tx = 1");
    emit_comment("caf\xC3\xA9\x01 ok\tz");
    suppress_errors = 1;
    emit_comment("hidden");
    suppress_errors = 0;
    EXPECT_EQ(output(), "; note\n; x = 1\n; caf ok\tz\n");
}

TEST_F(OutputTest, PushAndPopRestoreTheCodeBufferPosition) {
    emit_line("main");
    char* saved = output_write_pointer;
    push_output_buffer(procedure_buffer);
    EXPECT_EQ(buffer_stack_depth, 1);
    emit_line("proc1");
    emit_line("proc2");
    pop_output_buffer();
    EXPECT_EQ(output_write_pointer, saved);
    EXPECT_EQ(output(), "main\n");
    EXPECT_EQ(std::string(procedure_buffer->start, procedure_buffer->write), "proc1\nproc2\n");
    EXPECT_EQ(buffer_stack_depth, 0);
}

TEST_F(OutputTest, LongLinesGrowTheBufferInsteadOfOverrunning) {
    push_output_buffer(label_buffer);
    std::string line(300000, 'x');  // more than the label buffer holds
    emit_line("first");
    emit_line(line.c_str());
    emit_format("%s!", line.c_str());
    EXPECT_GE(label_buffer->size, 600000);
    std::string text = output();
    EXPECT_EQ(text.size(), 6 + 300001 + 300002u);
    EXPECT_EQ(text.substr(0, 6), "first\n");
    EXPECT_EQ(output_buffer_end, label_buffer->start + label_buffer->size);
    pop_output_buffer();
    EXPECT_EQ(std::string(label_buffer->start, label_buffer->write), text);
}

// The pre-split formats write what printf writes, at the ends of every
// number range, and cut a line as the formatted emitter always did.
TEST_F(OutputTest, SplitFormatsWriteWhatPrintfWrites) {
    const char* no_text = nullptr;
    emit_linef(" %s|%d|%d|%lld|%lld|%llu|%u|%x|%X|%c|%%|%s", "MOV", -2147483647 - 1, 0, (long long)INT64_MIN,
               (long long)INT64_MAX, (unsigned long long)UINT64_MAX, 4294967295u, 3054u, 3054u, 'q', no_text);
    char expected[256];
    std::snprintf(expected, sizeof expected, " %s|%d|%d|%lld|%lld|%llu|%u|%x|%X|%c|%%|%s\n", "MOV", -2147483647 - 1, 0,
                  (long long)INT64_MIN, (long long)INT64_MAX, (unsigned long long)UINT64_MAX, 4294967295u, 3054u, 3054u,
                  'q', "(null)");
    EXPECT_EQ(output(), expected);
    // Pieces of every short length (the copies move words of 4 and 8 bytes).
    for (int n = 0; n <= 20; ++n) {
        reset_output_buffers();
        std::string operand(size_t(n), char('a' + n % 26));
        emit_linef(" L%s,%d", operand.c_str(), n);
        EXPECT_EQ(output(), " L" + operand + "," + std::to_string(n) + "\n");
    }
}

// The packed formats (up to three conversions, runs of up to 255 bytes, no
// "%%") and the ones split again when written give the same lines.
TEST_F(OutputTest, PackedAndSplitFormatsWriteTheSameLines) {
    const char* no_text = nullptr;
    char expected[1024];
    emit_linef(" %c|%lld|%X", 'z', (long long)-9, 0xbeefu);
    emit_linef("%s%u%lx", "", 4294967295u, (unsigned long)0xfedcba9876543210UL);
    emit_linef(" PUSH %s", no_text);
    emit_linef(" %d%%%s", 7, "r8");
    emit_linef(" %s,%s,%s,%s", "a", "bb", "ccc", "dddd");
    std::snprintf(expected, sizeof expected, " %c|%lld|%X\n%s%u%lx\n PUSH (null)\n %d%%%s\n a,bb,ccc,dddd\n", 'z',
                  (long long)-9, 0xbeefu, "", 4294967295u, (unsigned long)0xfedcba9876543210UL, 7, "r8");
    EXPECT_EQ(output(), expected);
    // A run longer than a packed run holds, before and after a conversion.
    reset_output_buffers();
    emit_linef(" ; 0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
               "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
               "01234567890123456789012345678901234567890123456789012345678901234567890123456789 %s done",
               "x");
    std::string digits;
    for (int i = 0; i < 28; ++i) digits += "0123456789";
    EXPECT_EQ(output(), " ; " + digits + " x done\n");
}

TEST_F(OutputTest, SplitFormatLinesAreCutAndSurviveGrowth) {
    std::string operand(3000, 'o');
    emit_linef(" PUSH %s", operand.c_str());
    EXPECT_EQ(output(), " PUSH " + operand.substr(0, formatted_line_size - 1 - 6) + "\n");
    // A line that does not fit the free room, whose operand lies in the very
    // buffer that moves when it grows.
    push_output_buffer(label_buffer);
    std::string filler(size_t(output_buffer_end - output_write_pointer - 300), 'f');
    emit_line(filler.c_str());
    int64_t operand_offset = output_write_pointer - output_buffer_start;
    std::string operand_text(250, 'p');
    emit_line(operand_text.c_str());
    output_buffer_start[operand_offset + 250] = 0;  // the operand as a text in the buffer
    int64_t old_size = label_buffer->size;
    ASSERT_LT(output_buffer_end - output_write_pointer, 250);
    emit_linef(" MOV %s,%lld", output_buffer_start + operand_offset, (long long)-9000000000LL);
    EXPECT_GT(label_buffer->size, old_size);
    EXPECT_EQ(std::string(output_buffer_start + operand_offset + 251, output_write_pointer),
              " MOV " + operand_text + ",-9000000000\n");
    EXPECT_EQ(*output_write_pointer, 0);
    pop_output_buffer();
}

TEST_F(OutputTest, SyncGrowsWhenTheMarginIsUsed) {
    push_output_buffer(label_buffer);
    // Fits in the block but eats into the margin.
    std::string line(size_t(label_buffer->size - label_buffer->margin + 10), 'y');
    emit_line(line.c_str());
    int64_t old_size = label_buffer->size;
    sync_output_buffer();
    EXPECT_EQ(label_buffer->size, old_size + label_buffer->margin);
    EXPECT_EQ(output_write_pointer - output_buffer_start, int64_t(line.size()) + 1);
    EXPECT_EQ(output_buffer_start, label_buffer->start);
    pop_output_buffer();
}

TEST_F(OutputTest, GrowTextBufferKeepsTextAndOffset) {
    TextBuffer buffer{};
    buffer.heap_kind = 1;
    buffer.margin = 16;
    grow_text_buffer(&buffer, 0);  // fresh allocation
    ASSERT_NE(buffer.start, nullptr);
    EXPECT_EQ(buffer.size, 16);
    std::memcpy(buffer.start, "abc", 4);
    buffer.write = buffer.start + 3;
    grow_text_buffer(&buffer, 3);  // still within the margin rule: 3 > 0
    EXPECT_EQ(buffer.size, 32);
    EXPECT_STREQ(buffer.start, "abc");
    EXPECT_EQ(buffer.write - buffer.start, 3);
    grow_text_buffer(&buffer, 10);  // 10 <= 32 - 16: nothing to do
    EXPECT_EQ(buffer.size, 32);
    os_heap_free(permanent_heap, buffer.start);
}

TEST_F(OutputTest, BufferStackDeeperThanSixteenIsAnInternalError) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 16; ++i) push_output_buffer(label_buffer);
        },
        ::testing::ExitedWithCode(1), "");
    for (int i = 0; i < 15; ++i) push_output_buffer(label_buffer);
    EXPECT_EQ(buffer_stack_depth, 15);
    for (int i = 0; i < 15; ++i) pop_output_buffer();
    EXPECT_EQ(current_output_buffer(), code_buffer);
}

TEST_F(OutputTest, DataTextGrowsForTextsLongerThanTheFreeRoom) {
    begin_data_section();
    EXPECT_EQ(std::string(data_buffer_start, data_write_pointer), "section '.data' data readable writeable\n");
    EXPECT_EQ(debugger_data_write, debugger_data_start);
    std::string big(500000, 'd');
    no_output_depth = 1;  // the data section ignores it
    emit_data_text("a\n");
    emit_data_text(big.c_str());
    no_output_depth = 0;
    std::string text(data_buffer_start, data_write_pointer);
    EXPECT_EQ(text.size(), 40 + 2 + 500000u);
    EXPECT_EQ(*data_write_pointer, 0);
    EXPECT_GE(data_buffer_end - data_write_pointer, 1);
    begin_data_section();
    EXPECT_EQ(data_write_pointer - data_buffer_start, 40);
}

TEST_F(OutputTest, FormattedAssemblyAlignsOperands) {
    const char text[] = " MOV rax,rbx\n CMOVNGE rax,rbx\n CALL _Procedure2\n RET\nl_1:\n    \n JMP .x\n PUSH";
    std::string path = testing::TempDir() + "formatted.asm";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    write_formatted_asm(file, text, text + sizeof text - 1);
    std::fclose(file);
    std::string written;
    ASSERT_TRUE(os_read_file(path.c_str(), written));
    EXPECT_EQ(written,
              "  MOV    rax,rbx\r\n  CMOVNGE rax,rbx\r\n  CALL  _Procedure2\r\n  RET\r\nl_1:\r\n    \r\n"
              "  JMP   .x\r\n  PUSH");
}

TEST_F(OutputTest, WriteOutputFileOrderAndDebuggerTables) {
    begin_data_section();
    push_output_buffer(head_buffer);
    emit_line("format MS64 COFF");
    pop_output_buffer();
    push_output_buffer(label_buffer);
    emit_line("l_a:");
    pop_output_buffer();
    emit_line(" RET");
    emit_data_text("v_x dq 0\n");
    std::strcpy(debugger_data_write, "bank\n");
    debugger_data_write += 5;
    std::string path = testing::TempDir() + "out.asm";
    std::string written;

    debugger_enabled = 0;
    ASSERT_TRUE(write_output_file(path.c_str(), 0));
    ASSERT_TRUE(os_read_file(path.c_str(), written));
    EXPECT_EQ(written,
              "format MS64 COFF\nl_a:\n RET\nsection '.data' data readable writeable\nv_x dq 0\n");

    debugger_enabled = 1;
    ASSERT_TRUE(write_output_file(path.c_str(), 1));
    debugger_enabled = 0;
    ASSERT_TRUE(os_read_file(path.c_str(), written));
    EXPECT_EQ(written,
              "\xEF\xBB\xBF"
              "format MS64 COFF\nl_a:\n RET\nsection '.data' data readable writeable\nv_x dq 0\nbank\n"
              "zd_public ZD_DEBUGGER_CodeContextBank\n dd -1\n"
              "zd_public ZD_DEBUGGER_ValidLines\n dd -1\n");
}

TEST_F(OutputTest, PreprocessedSourceHasNoDataSection) {
    emit_line("x = 1");
    char name[] = "pre.zd";
    preprocess_file = name;
    std::string path = testing::TempDir() + "pre.zd";
    ASSERT_TRUE(write_output_file(path.c_str(), 0));
    preprocess_file = nullptr;
    std::string written;
    ASSERT_TRUE(os_read_file(path.c_str(), written));
    EXPECT_EQ(written, "x = 1\n");
}

TEST_F(OutputTest, CompileStateInitSwitchesOutputBackOn) {
    no_output_depth = 3;
    compile_state_init();
    EXPECT_EQ(no_output_depth, 0u);
    EXPECT_EQ(error_include_line, -1);
    EXPECT_STREQ(current_source_file, "");
    ASSERT_NE(IncludeFileList, nullptr);
    EXPECT_EQ(IncludeFileList->first, nullptr);
    EXPECT_NE(IncludeFileList->heap_kind, 1);
}

}  // namespace
