// The peephole optimiser: each rewrite as golden text, the lines it must
// leave alone, and every rewritten fragment assembled with fasm.
#include <cstring>
#include <string>
#include <vector>

#include "backend_x64/peephole.h"
#include "backend_x64/program_output.h"
#include "core_test_support.h"
#include "emit_test_support.h"

namespace {

// Runs the pass over a text padded as the driver pads the code buffer.
std::string optimized(const std::string& code)
{
    std::string padded = code;
    if (!padded.empty() && padded.back() == '\n') padded.pop_back();
    padded += std::string(20, '\n');
    std::vector<char> destination(padded.size() * 2 + 64);
    char* end = optimize_asm_output(padded.c_str(), destination.data(), int64_t(padded.size()));
    return std::string(destination.data(), size_t(end - destination.data()) - 19);
}

class PeepholeTest : public EmitterTest {
protected:
    // The rewrite is as expected and both texts assemble.
    void expect_rewrite(const std::string& code, const std::string& expected)
    {
        EXPECT_EQ(optimized(code), expected) << code;
        EXPECT_EQ(assemble_fragment(code), "");
        EXPECT_EQ(assemble_fragment(expected), "");
    }
    void expect_unchanged(const std::string& code) { EXPECT_EQ(optimized(code), code); }
};

TEST_F(PeepholeTest, LoadChangeStoreBecomesOneMemoryInstruction)
{
    expect_rewrite(" MOV rax,qword [v_a]\n INC rax\n MOV qword [v_a],rax\n", " INC qword [v_a]\n");
    expect_rewrite(" MOV eax,dword [v_b+4]\n DEC eax\n MOV dword [v_b+4],eax\n", " DEC dword [v_b+4]\n");
    expect_rewrite(" MOV rax,qword [v_a]\n ADD rax,5\n MOV qword [v_a],rax\n", " ADD qword [v_a],5\n");
    // Text after the constant is carried over.
    expect_rewrite(" MOV rdx,qword [v_a]\n SUB rdx,12 ; step\n MOV qword [v_a],rdx\n X: NOP\n",
                   " SUB qword [v_a],12 ; step\n X: NOP\n");
}

TEST_F(PeepholeTest, LoadChangeStoreThatMustStay)
{
    expect_unchanged(" MOV rax,qword [v_a]\n ADD rax,-5\n MOV qword [v_a],rax\n");
    expect_unchanged(" MOV rbp,qword [v_a]\n ADD rbp,5\n MOV qword [v_a],rbp\n");
    expect_unchanged(" MOV rax,qword [v_a] ; c\n INC rax\n MOV qword [v_a],rax\n");
    expect_unchanged(" MOV rax,qword [v_a]\n INC rax\n MOV qword [v_b],rax\n");
    expect_unchanged(" MOV rax,qword [v_a]\n INC rdx\n MOV qword [v_a],rax\n");
    expect_unchanged(" MOV r8,qword [v_a]\n INC r8\n MOV qword [v_a],r8\n");
    // The store goes through the changed register: another address.
    expect_unchanged(" MOV rax,qword [rax+8]\n INC rax\n MOV qword [rax+8],rax\n");
    expect_unchanged(" MOV eax,dword [rax]\n ADD eax,1\n MOV dword [rax],eax\n");
}

TEST_F(PeepholeTest, MoveToItself)
{
    EXPECT_EQ(optimized(" MOV rax,rax\n MOV r10,r10\n MOV rcx,rdx\n"), " MOV rcx,rdx\n");
    // A 32-bit move clears the upper half; r8 has a two-letter name.
    expect_unchanged(" MOV eax,eax\n MOV r8d,r8d\n MOV r8,r8\n");
}

TEST_F(PeepholeTest, StringCopyThenAllocation)
{
    runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 0;
    expect_rewrite(" MOV rdx,rax\n PUSH rdx\n CALL SYS_CopyString\n LEA rcx,[v_s]\n PUSH rcx\n CALL SYS_AllocateString4\n",
                   " MOV rdx,rax\n LEA rcx,[v_s]\n CALL SYS_FastAllocateStringFree4\n");
    EXPECT_EQ(runtime_routine_used[RT_SYS_FastAllocateStringFree4], 1);
    runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 0;
}

TEST_F(PeepholeTest, PushAndPopPairs)
{
    EXPECT_EQ(optimized(" PUSH rax\n POP rax\n PUSH rbp\n POP rbp\n NOP\n"), " NOP\n");
    // The replacement is not looked at again.
    EXPECT_EQ(optimized(" PUSH rax\n PUSH rax\n POP rax\n POP rax\n"), " PUSH rax\n POP rax\n");
    expect_unchanged(" PUSH rdx\n POP rdx\n");
    expect_rewrite(" PUSH rdx\n POP rcx\n", " MOV rcx,rdx\n");
    expect_rewrite(" POP rcx\n PUSH rcx\n RET\n", " MOV rcx,[rsp]\n RET\n");
    expect_rewrite(" PUSH qword [v_a]\n POP qword [v_b]\n", " MOV rax,qword [v_a]\n MOV qword [v_b],rax\n");
    expect_rewrite(" PUSH qword [rsp+8]\n POP qword [rsp+16]\n", " MOV rax,qword [rsp+8]\n MOV qword [rsp+16],rax\n");
    // The target would be addressed through the overwritten rax.
    expect_unchanged(" PUSH qword [v_a]\n POP qword [rax+8]\n");
}

TEST_F(PeepholeTest, StringBasePosition)
{
    expect_rewrite(" PUSH qword [ZD_StringBasePosition]\n PUSH qword [ZD_StringBasePosition]\n",
                   " MOV rdx,[ZD_StringBasePosition]\n PUSH rdx\n PUSH rdx\n");
    expect_rewrite(" PUSH qword [ZD_StringBasePosition]\n SUB rsp,8\n PUSH qword [ZD_StringBasePosition]\n",
                   " MOV rax,[ZD_StringBasePosition]\n PUSH rax\n SUB rsp,8\n PUSH rax\n");
    // Another reservation is not rewritten as 8 bytes.
    expect_unchanged(" PUSH qword [ZD_StringBasePosition]\n SUB rsp,80\n PUSH qword [ZD_StringBasePosition]\n");
}

TEST_F(PeepholeTest, PushedArgumentsBecomeMoves)
{
    expect_rewrite(" PUSH qword [v_a]\n PUSH rax\n PUSH qword 5\n PUSH qword [rsp+40]\n POP rcx\n POP rdx\n POP r8\n POP r9\n",
                   " MOV r9,qword [v_a]\n MOV r8,rax\n MOV rdx,qword 5\n MOV rcx,[rsp-24+40]\n");
    expect_rewrite(" PUSH rax\n PUSH qword [v_b]\n PUSH rbx\n POP rcx\n POP rdx\n POP r8 ; third\n",
                   " MOV r8,rax\n MOV rdx,qword [v_b]\n MOV rcx,rbx\n");
    expect_rewrite(" PUSH qword [rsp+8]\n PUSH qword [rsp+16]\n POP rcx\n POP rdx\n",
                   " MOV rdx,[rsp-0+8]\n MOV rcx,[rsp-8+16]\n");
    // Three pushes and two pops: the first push stays.
    expect_rewrite(" PUSH rax\n PUSH rbx\n PUSH qword [v_c]\n POP rcx\n POP rdx\n",
                   " PUSH rax\n MOV rdx,rbx\n MOV rcx,qword [v_c]\n");
}

TEST_F(PeepholeTest, ArgumentMovesKeepTheValuesThePopsGave)
{
    // A swap through the stack: the second move would read a register the
    // first has set; the pass falls back to a single pair.
    expect_rewrite(" PUSH rcx\n PUSH rdx\n POP rcx\n POP rdx\n", " PUSH rcx\n MOV rcx,rdx\n POP rdx\n");
    expect_rewrite(" PUSH rax\n PUSH qword [rdx+8]\n POP rcx\n POP rdx\n",
                   " PUSH rax\n MOV rcx,qword [rdx+8]\n POP rdx\n");
    EXPECT_EQ(optimized(" PUSH qword [v_a]\n PUSH qword [rdx]\n PUSH r8\n POP rcx\n POP rdx\n POP r8\n"),
              " PUSH qword [v_a]\n MOV rdx,qword [rdx]\n MOV rcx,r8\n POP r8\n");
    // A push that reads a slot the sequence itself pushed.
    expect_rewrite(" PUSH rax\n PUSH qword [rsp]\n POP rcx\n POP rdx\n", " PUSH rax\n MOV rcx,[rsp-0]\n POP rdx\n");
    expect_rewrite(" PUSH rax\n PUSH qword [rsp+4]\n POP rcx\n POP rdx\n", " PUSH rax\n MOV rcx,[rsp-0+4]\n POP rdx\n");
    expect_rewrite(" PUSH rax\n PUSH rsp\n POP rcx\n POP rdx\n", " PUSH rax\n MOV rcx,rsp\n POP rdx\n");
    expect_unchanged(" PUSHFQ\n POP rcx\n");
}

TEST_F(PeepholeTest, LinesOutsideTheRulesStayAsWritten)
{
    // Tabs, user text at column 0, labels and other instructions.
    expect_unchanged("\tPUSH rax\n\tPOP rax\nMOV rax,rax\nPUSH rax\nPOP rax\n");
    expect_unchanged(" PUSH rax\nl_x:\n POP rax\n");
    expect_unchanged(" PUSH rdx\nPOP rcx\n");
    expect_unchanged(" MOV rax,qword [v_a]\n\tINC rax\n MOV qword [v_a],rax\n");
    expect_unchanged("  MOV rax,rax\n CALL _Procedure0\n ; PUSH rax\n; comment\n\n");
    // The last lines take part, with or without a final line feed.
    EXPECT_EQ(optimized(" NOP\n PUSH rax\n POP rcx"), " NOP\n MOV rcx,rax\n");
}

TEST_F(PeepholeTest, CodeBufferIsRewrittenInPlace)
{
    reset_program_output();
    runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 0;
    // Enough pairs that grow by the rewrite to outrun the buffer's margin.
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        emit_line(" PUSH qword [v_a]");
        emit_line(" POP qword [v_b]");
        expected += " MOV rax,qword [v_a]\n MOV qword [v_b],rax\n";
    }
    emit_line(" MOV rdx,rax");
    emit_line(" PUSH rdx");
    emit_line(" CALL SYS_CopyString");
    emit_line(" LEA rcx,[v_s]");
    emit_line(" PUSH rcx");
    emit_line(" CALL SYS_AllocateString4");
    expected += " MOV rdx,rax\n LEA rcx,[v_s]\n CALL SYS_FastAllocateStringFree4\n";
    expected += "extrn SYS_FastAllocateStringFree4\n";
    std::string printed = captured_stdout([] { optimize_code_buffer(); });
    EXPECT_EQ(printed, "Optimizing asm output...\n");
    EXPECT_EQ(std::string(output_buffer_start, output_write_pointer), expected);
    EXPECT_EQ(*output_write_pointer, 0);
    emit_line(" RET");
    EXPECT_EQ(std::string(output_write_pointer - 5, output_write_pointer), " RET\n");
    runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 0;
}

}  // namespace
