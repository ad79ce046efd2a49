// The statement dispatcher: one statement per call, dispatched on its first
// word. Words are kept as written and compared without regard to case.
#include "frontend/statement_dispatcher.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/blocks.h"
#include "frontend/call_arguments.h"
#include "frontend/constants.h"
#include "frontend/directives.h"
#include "frontend/enumerations.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/interfaces.h"
#include "frontend/labels.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/other_statements.h"
#include "frontend/procedures.h"
#include "frontend/source_reader.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

// ---------------------------------------------------------------------------
// Statement state (declared in frontend/frontend_globals.h).
char* statement_start = nullptr;
int32_t expansion_pending = 0;
int32_t macro_capture_mode = 0;
int32_t in_structure = 0;
int32_t in_interface = 0;
int32_t in_datasection = 0;
int32_t in_enumeration = 0;
int32_t in_import = 0;
int32_t in_with = 0;
int32_t in_procedure = 0;
int32_t inline_asm_enabled = 0;
int32_t explicit_enabled = 0;
int32_t line_markers_suppressed = 0;
uint32_t procedure_kind_flags = 0;

const char* const KeywordTable[keyword_count + 1] = {
    "AND", "AS", "BREAK", "CALLDEBUGGER", "CASE", "COMPILERCASE", "COMPILERDEFAULT", "COMPILERELSE",
    "COMPILERELSEIF", "COMPILERENDIF", "COMPILERENDSELECT", "COMPILERIF", "COMPILERSELECT", "CONTINUE", "DATA",
    "DATASECTION", "DEBUG", "DEBUGLEVEL", "DECLARE", "DECLAREC", "DECLARECDLL", "DECLAREDLL", "DECLAREMODULE",
    "DEFAULT", "DEFINE", "DIM", "DISABLEDEBUGGER", "DISABLEEXPLICIT", "ELSE", "ELSEIF", "ENABLEDEBUGGER",
    "ENABLEEXPLICIT", "END", "ENDDATASECTION", "ENDDECLAREMODULE", "ENDENUMERATION", "ENDIF", "ENDIMPORT",
    "ENDMACRO", "ENDMODULE", "ENDPROCEDURE", "ENDSELECT", "ENDSTRUCTURE", "ENDSTRUCTUREUNION", "ENDWITH",
    "ENUMERATION", "ENUMERATIONBINARY", "FAKERETURN", "FOR", "FOREVER", "GLOBAL", "GOSUB", "GOTO", "IF", "IMPORT",
    "IMPORTC", "INCLUDEBINARY", "INCLUDEFILE", "INCLUDEPATH", "MACRO", "MACROEXPANDEDCOUNT", "MODULE", "NEWLIST",
    "NEXT", "NOT", "OR", "PROCEDURE", "PROCEDUREC", "PROCEDURECDLL", "PROCEDUREDLL", "PROCEDURERETURN",
    "PROTECTED", "PROTOTYPE", "READ", "REDIM", "REPEAT", "RESTORE", "RETURN", "RUNTIME", "SELECT", "SHARED",
    "STATIC", "STEP", "STRUCTURE", "STRUCTUREUNION", "THREADED", "TO", "UNTIL", "UNUSEMODULE", "USEMODULE",
    "WEND", "WHILE", "WITH", "XINCLUDEFILE", "XOR", nullptr,
};
int32_t keyword_first_index[256];

namespace {

// x86 mnemonics recognised under EnableASM, upper case and sorted.
const char* const MnemonicTable[] = {
    "AAA", "AAD", "AAM", "AAS", "ADC", "ADD", "ADDPD", "ADDPS", "ADDSD", "ADDSS", "AND", "ANDNPD", "ANDNPS",
    "ANDPD", "ANDPS", "BSF", "BSR", "BSWAP", "BT", "BTC", "BTR", "BTS", "CALL", "CBW", "CDQ", "CDQE", "CLC",
    "CLD", "CLI", "CMC", "CMOVA", "CMOVAE", "CMOVB", "CMOVBE", "CMOVC", "CMOVE", "CMOVG", "CMOVGE", "CMOVL",
    "CMOVLE", "CMOVNA", "CMOVNAE", "CMOVNB", "CMOVNBE", "CMOVNC", "CMOVNE", "CMOVNG", "CMOVNGE", "CMOVNL",
    "CMOVNLE", "CMOVNO", "CMOVNP", "CMOVNS", "CMOVNZ", "CMOVO", "CMOVP", "CMOVPE", "CMOVPO", "CMOVS", "CMOVZ",
    "CMP", "CMPPD", "CMPPS", "CMPS", "CMPSB", "CMPSD", "CMPSQ", "CMPSS", "CMPSW", "CMPXCHG", "CMPXCHG8B",
    "COMISD", "COMISS", "CPUID", "CQO", "CVTDQ2PD", "CVTDQ2PS", "CVTPD2DQ", "CVTPD2PS", "CVTPS2DQ", "CVTPS2PD",
    "CVTSD2SI", "CVTSD2SS", "CVTSI2SD", "CVTSI2SS", "CVTSS2SD", "CVTSS2SI", "CVTTSD2SI", "CVTTSS2SI", "CWD",
    "CWDE", "DAA", "DAS", "DEC", "DIV", "DIVPD", "DIVPS", "DIVSD", "DIVSS", "EMMS", "ENTER", "F2XM1", "FABS",
    "FADD", "FADDP", "FBLD", "FBSTP", "FCHS", "FCLEX", "FCOM", "FCOMI", "FCOMIP", "FCOMP", "FCOMPP", "FCOS",
    "FDECSTP", "FDIV", "FDIVP", "FDIVR", "FDIVRP", "FFREE", "FIADD", "FICOM", "FICOMP", "FIDIV", "FIDIVR", "FILD",
    "FIMUL", "FINCSTP", "FINIT", "FIST", "FISTP", "FISTTP", "FISUB", "FISUBR", "FLD", "FLD1", "FLDCW", "FLDENV",
    "FLDL2E", "FLDL2T", "FLDLG2", "FLDLN2", "FLDPI", "FLDZ", "FMUL", "FMULP", "FNCLEX", "FNINIT", "FNOP",
    "FNSAVE", "FNSTCW", "FNSTENV", "FNSTSW", "FPATAN", "FPREM", "FPREM1", "FPTAN", "FRNDINT", "FRSTOR", "FSAVE",
    "FSCALE", "FSIN", "FSINCOS", "FSQRT", "FST", "FSTCW", "FSTENV", "FSTP", "FSTSW", "FSUB", "FSUBP", "FSUBR",
    "FSUBRP", "FTST", "FUCOM", "FUCOMI", "FUCOMIP", "FUCOMP", "FUCOMPP", "FWAIT", "FXAM", "FXCH", "FXRSTOR",
    "FXSAVE", "FXTRACT", "FYL2X", "FYL2XP1", "HLT", "IDIV", "IMUL", "IN", "INC", "INS", "INSB", "INSD", "INSW",
    "INT", "INT3", "INTO", "INVD", "IRET", "IRETD", "IRETQ", "JA", "JAE", "JB", "JBE", "JC", "JCXZ", "JE",
    "JECXZ", "JG", "JGE", "JL", "JLE", "JMP", "JNA", "JNAE", "JNB", "JNBE", "JNC", "JNE", "JNG", "JNGE", "JNL",
    "JNLE", "JNO", "JNP", "JNS", "JNZ", "JO", "JP", "JPE", "JPO", "JRCXZ", "JS", "JZ", "LAHF", "LDDQU",
    "LDMXCSR", "LEA", "LEAVE", "LFENCE", "LODS", "LODSB", "LODSD", "LODSQ", "LODSW", "LOOP", "LOOPE", "LOOPNE",
    "LOOPNZ", "LOOPZ", "MASKMOVQ", "MAXPD", "MAXPS", "MAXSD", "MAXSS", "MFENCE", "MINPD", "MINPS", "MINSD",
    "MINSS", "MOV", "MOVAPD", "MOVAPS", "MOVD", "MOVDQA", "MOVDQU", "MOVHLPS", "MOVHPD", "MOVHPS", "MOVLHPS",
    "MOVLPD", "MOVLPS", "MOVMSKPD", "MOVMSKPS", "MOVNTDQ", "MOVNTI", "MOVNTPD", "MOVNTPS", "MOVNTQ", "MOVQ",
    "MOVS", "MOVSB", "MOVSD", "MOVSQ", "MOVSS", "MOVSW", "MOVSX", "MOVSXD", "MOVUPD", "MOVUPS", "MOVZX", "MUL",
    "MULPD", "MULPS", "MULSD", "MULSS", "NEG", "NOP", "NOT", "OR", "ORPD", "ORPS", "OUT", "OUTS", "OUTSB",
    "OUTSD", "OUTSW", "PACKSSDW", "PACKSSWB", "PACKUSWB", "PADDB", "PADDD", "PADDQ", "PADDSB", "PADDSW",
    "PADDUSB", "PADDUSW", "PADDW", "PAND", "PANDN", "PAUSE", "PAVGB", "PAVGW", "PCMPEQB", "PCMPEQD", "PCMPEQW",
    "PCMPGTB", "PCMPGTD", "PCMPGTW", "PEXTRW", "PINSRW", "PMADDWD", "PMAXSW", "PMAXUB", "PMINSW", "PMINUB",
    "PMOVMSKB", "PMULHUW", "PMULHW", "PMULLW", "PMULUDQ", "POP", "POPF", "POPFQ", "POR", "PREFETCHNTA",
    "PREFETCHT0", "PREFETCHT1", "PREFETCHT2", "PSADBW", "PSHUFD", "PSHUFHW", "PSHUFLW", "PSHUFW", "PSLLD",
    "PSLLDQ", "PSLLQ", "PSLLW", "PSRAD", "PSRAW", "PSRLD", "PSRLDQ", "PSRLQ", "PSRLW", "PSUBB", "PSUBD",
    "PSUBQ", "PSUBSB", "PSUBSW", "PSUBUSB", "PSUBUSW", "PSUBW", "PUNPCKHBW", "PUNPCKHDQ", "PUNPCKHQDQ",
    "PUNPCKHWD", "PUNPCKLBW", "PUNPCKLDQ", "PUNPCKLQDQ", "PUNPCKLWD", "PUSH", "PUSHF", "PUSHFQ", "PXOR", "RCL",
    "RCPPS", "RCPSS", "RCR", "RDMSR", "RDPMC", "RDTSC", "REP", "REPE", "REPNE", "REPNZ", "REPZ", "RET", "ROL",
    "ROR", "RSQRTPS", "RSQRTSS", "SAHF", "SAL", "SAR", "SBB", "SCAS", "SCASB", "SCASD", "SCASQ", "SCASW",
    "SETA", "SETAE", "SETB", "SETBE", "SETC", "SETE", "SETG", "SETGE", "SETL", "SETLE", "SETNA", "SETNAE",
    "SETNB", "SETNBE", "SETNC", "SETNE", "SETNG", "SETNGE", "SETNL", "SETNLE", "SETNO", "SETNP", "SETNS",
    "SETNZ", "SETO", "SETP", "SETPE", "SETPO", "SETS", "SETZ", "SFENCE", "SHL", "SHLD", "SHR", "SHRD", "SHUFPD",
    "SHUFPS", "SQRTPD", "SQRTPS", "SQRTSD", "SQRTSS", "STC", "STD", "STI", "STMXCSR", "STOS", "STOSB", "STOSD",
    "STOSQ", "STOSW", "SUB", "SUBPD", "SUBPS", "SUBSD", "SUBSS", "TEST", "UCOMISD", "UCOMISS", "UNPCKHPD",
    "UNPCKHPS", "UNPCKLPD", "UNPCKLPS", "WAIT", "WBINVD", "WRMSR", "XADD", "XCHG", "XLAT", "XLATB", "XOR",
    "XORPD", "XORPS", nullptr,
};
int32_t mnemonic_first_index[256];

const char* const NativeTypeLetters[] = {"a", "b", "c", "d", "f", "i", "l", "q", "s", "u", "w"};

inline unsigned char upper(unsigned char c)
{
    return uppercase_table[c];
}

inline bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

void skip_blanks()
{
    while (is_blank(*parse_pointer)) {
        parse_pointer++;
    }
}

// Compares a word (any case) with an upper-case text: <0, 0 or >0 as strcmp
// of the upper-cased word.
int compare_upper(const char* word, const char* upper_text)
{
    for (;; word++, upper_text++) {
        unsigned char a = upper(static_cast<unsigned char>(*word));
        unsigned char b = static_cast<unsigned char>(*upper_text);
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

// True when the text begins with the upper-case word (any case in the text).
bool starts_with_upper(const char* text, const char* upper_text)
{
    for (; *upper_text; text++, upper_text++) {
        if (upper(static_cast<unsigned char>(*text)) != static_cast<unsigned char>(*upper_text)) {
            return false;
        }
    }
    return true;
}

bool word_is(const char* upper_text)
{
    return compare_upper(statement_word, upper_text) == 0;
}

void build_first_index(const char* const* table, int32_t* index)
{
    for (int i = 0; i < 256; i++) {
        index[i] = -1;
    }
    unsigned char last = 'A';
    index[last] = 0;
    for (int i = 1; table[i]; i++) {
        unsigned char first = static_cast<unsigned char>(table[i][0]);
        if (first > last) {
            index[first] = i;
            last = first;
        }
    }
}

int find_in_sorted_table(const char* const* table, const int32_t* index, const char* word)
{
    int32_t start = index[upper(static_cast<unsigned char>(word[0]))];
    if (start < 0) {
        return 0;
    }
    for (int i = start; table[i]; i++) {
        int order = compare_upper(word, table[i]);
        if (order == 0) {
            return 1;
        }
        if (order < 0) {
            return 0;
        }
    }
    return 0;
}

void set_constant_value(ConstantRecord* record, int64_t value)
{
    if (record) {
        record->value.integer_value = value;
    }
}

void emit_marker(const char* routine)
{
    if (!line_markers_suppressed) {
        backend->emit_line_marker(routine);
    }
}

// Reads the name after a keyword (the next word).
const char* read_name_after_keyword()
{
    // A byte the keyword's reader took as its operator (the digit of "1M",
    // a "$") cannot begin a name: the name is then empty, which every caller
    // refuses.
    bool stray = token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END;
    read_token();
    refuse_word_operator();
    if (stray) statement_word[0] = 0;
    return statement_word;
}

// Cuts the current expansion text at the next 0x01 and positions the parse
// pointer after it (used by the inline-assembly and skipped paths).
void move_to_next_separator(bool cut)
{
    while (*parse_pointer && *parse_pointer != STATEMENT_SEPARATOR) {
        parse_pointer++;
    }
    if (*parse_pointer == STATEMENT_SEPARATOR) {
        if (cut) {
            *parse_pointer = 0;
        }
        parse_pointer++;
        more_statements = 1;
    } else {
        more_statements = 0;
    }
}

// Inline assembly in a procedure names its locals through "equ" lines.
void emit_local_equates()
{
    if (in_procedure) backend->name_locals_for_inline_assembly();
}

// Inline assembly after '!': copied unchanged as one line.
void compile_inline_asm_line()
{
    if (suppress_errors) {
        move_to_next_separator(false);
        return;
    }
    find_statement_end();
    if (in_procedure && !in_datasection) emit_local_equates();
    char* text = parse_pointer;
    if (expansion_pending) {
        move_to_next_separator(true);
    } else {
        more_statements = 0;
        parse_pointer += std::strlen(parse_pointer);
    }
    if (in_datasection) {
        std::string line = text;
        line += '\n';
        emit_data_text(line.c_str());
    } else {
        emit_line(text);
    }
    token_code = TOKEN_END;
}

void compile_include_statement(int once)
{
    if (!read_literal_string_arg(once ? "XIncludeFile" : "IncludeFile")) {
        return;
    }
    std::string written = literal_text;
    std::string full = resolve_source_path(written.c_str());
    bool first_time = record_include_once(full);
    if (!once || first_time) {
        include_file(full.c_str(), written.c_str());
    }
}

void compile_includepath_statement()
{
    if (!read_literal_string_arg("IncludePath")) {
        return;
    }
    include_directory = literal_text;
}

bool is_procedure_word(uint32_t* flags, bool* definition)
{
    struct ProcedureWord {
        const char* word;
        uint32_t flags;
        bool definition;
    };
    static const ProcedureWord words[] = {
        {"PROCEDURE", 0, true},           {"PROCEDURE$", 0, true},
        {"PROCEDUREC", 0x200000, true},   {"PROCEDUREC$", 0x200000, true},
        {"PROCEDUREDLL", 0x1000, true},   {"PROCEDUREDLL$", 0x1000, true},
        {"PROCEDURECDLL", 0x201000, true}, {"PROCEDURECDLL$", 0x201000, true},
        {"DECLARE", 0x4000, false},       {"DECLARE$", 0x4000, false},
        {"DECLAREC", 0x204000, false},    {"DECLAREC$", 0x204000, false},
        {"DECLAREDLL", 0x5000, false},    {"DECLAREDLL$", 0x5000, false},
        {"DECLARECDLL", 0x205000, false}, {"DECLARECDLL$", 0x205000, false},
        {"PROTOTYPE", 0x10004000, false}, {"PROTOTYPE$", 0x10004000, false},
        {"PROTOTYPEC", 0x10204000, false}, {"PROTOTYPEC$", 0x10204000, false},
    };
    for (const ProcedureWord& entry : words) {
        if (word_is(entry.word)) {
            *flags = entry.flags;
            *definition = entry.definition;
            return true;
        }
    }
    return false;
}

void compile_procedure_word(uint32_t flags, bool definition)
{
    if (definition) {
        if (block_stack_depth() > 0) {
            set_error(ERROR_PROCEDURE_INSIDE_BLOCK);
            return;
        }
        if (module_section_state() == 1) {
            set_error(ERROR_PROCEDURE_IN_DECLAREMODULE);
            return;
        }
        if ((flags & 0x1000) && module_section_state() != 0) {
            set_error(ERROR_DLL_PROCEDURE_IN_MODULE);
            return;
        }
    }
    if (in_procedure) {
        set_error(ERROR_PROCEDURE_INSIDE_PROCEDURE);
        return;
    }
    procedure_kind_flags = flags;
    if (definition) {
        in_procedure = 1;
    }
    compile_procedure_statement(flags);
}

// First-letter dispatch. Returns false when the word is no statement keyword
// (the statement then takes the plain path).
bool dispatch_keyword()
{
    unsigned char first = upper(static_cast<unsigned char>(statement_word[0]));
    uint32_t flags = 0;
    bool definition = false;
    switch (first) {
    case 'B':
        if (word_is("BREAK")) { compile_break_statement(); return true; }
        return false;
    case 'C':
        if (word_is("CASE")) { compile_case_statement(); return true; }
        if (word_is("CALLDEBUGGER")) { compile_calldebugger_statement(); return true; }
        if (word_is("CONTINUE")) { compile_continue_statement(); return true; }
        if (word_is("COMPILERERROR")) { compile_compilererror_statement(); return true; }
        if (word_is("COMPILERWARNING")) { compile_compilerwarning_statement(); return true; }
        return false;
    case 'D':
        if (word_is("DATA")) { compile_data_statement(0); return true; }
        if (word_is("DATA$")) { compile_data_statement(1); return true; }
        if (word_is("DATASECTION")) { in_datasection = 1; return true; }
        if (word_is("DECLAREMODULE")) {
            if (module_section_state() != 0) {
                set_error(ERROR_MODULES_NESTED);
                return true;
            }
            const char* name = read_name_after_keyword();
            if (!identifier_chars[static_cast<unsigned char>(name[0])]) {
                set_error(ERROR_SYNTAX);
                return true;
            }
            declare_module(name);
            return true;
        }
        if (word_is("DEFAULT")) { compile_default_statement(); return true; }
        if (word_is("DEFINE") || word_is("DEFINE$")) { compile_define_statement(); return true; }
        if (word_is("DIM")) { compile_dim_statement(0); return true; }
        if (word_is("DISABLEDEBUGGER")) {
            if (debugger_enabled) {
                // The debugger learns the line once more before its calls stop.
                if (debugger_code) backend->emit_debugger_set_line();
                debugger_code = 0;
            }
            return true;
        }
        if (word_is("DISABLEASM")) {
            if (backend->inline_lines_are_c) {
                set_error(ERROR_ENABLEASM_IN_C_BACKEND);
                return true;
            }
            inline_asm_enabled = 0;
            set_constant_value(constant_compiler_inline_assembly, 0);
            return true;
        }
        if (word_is("DISABLEEXPLICIT")) {
            explicit_enabled = 0;
            set_constant_value(constant_compiler_enable_explicit, 0);
            return true;
        }
        if (word_is("DEBUG")) { compile_debug_statement(); return true; }
        if (word_is("DEBUGLEVEL")) { compile_debuglevel_statement(); return true; }
        if (is_procedure_word(&flags, &definition)) { compile_procedure_word(flags, definition); return true; }
        return false;
    case 'E':
        if (word_is("ELSE")) { compile_else_statement(); return true; }
        if (word_is("ELSEIF")) { compile_elseif_statement(); return true; }
        if (word_is("ENDIF")) { compile_endif_statement(); return true; }
        if (word_is("ENDSELECT")) { compile_endselect_statement(); return true; }
        if (word_is("ENDPROCEDURE")) {
            if (!in_procedure) {
                set_error(ERROR_ENDPROCEDURE_WITHOUT_PROCEDURE);
                return true;
            }
            report_open_block();
            if (error_number == 0) {
                compile_endprocedure_statement();
            }
            if (error_number == 0) {
                in_procedure = 0;
            }
            return true;
        }
        if (word_is("ENUMERATION") || word_is("ENUMERATIONBINARY")) {
            if (in_enumeration) {
                set_error(ERROR_ENUMERATION_INSIDE_ENUMERATION);
                return true;
            }
            in_enumeration = word_is("ENUMERATION") ? 1 : 2;
            line_markers_suppressed++;
            parse_enumeration_header();
            return true;
        }
        if (word_is("ENDENUMERATION")) {
            if (!in_enumeration) {
                set_error(ERROR_ENDENUMERATION_WITHOUT_ENUMERATION);
                return true;
            }
            in_enumeration = 0;
            end_named_enumeration();
            if (line_markers_suppressed > 0) {
                line_markers_suppressed--;
            }
            return true;
        }
        if (word_is("ENDINTERFACE")) {
            if (!in_interface) {
                set_error(ERROR_ENDINTERFACE_WITHOUT_INTERFACE);
                return true;
            }
            end_structure();
            return true;
        }
        if (word_is("ENDSTRUCTURE")) {
            if (!in_structure) {
                set_error(ERROR_ENDSTRUCTURE_WITHOUT_STRUCTURE);
                return true;
            }
            if (structure_union_open()) {
                set_error(ERROR_STRUCTUREUNION_NOT_CLOSED);
                return true;
            }
            end_structure();
            return true;
        }
        if (word_is("ENDSTRUCTUREUNION")) {
            if (!structure_union_open()) {
                set_error(ERROR_ENDSTRUCTUREUNION_WITHOUT_STRUCTUREUNION);
                return true;
            }
            end_structure_union();
            return true;
        }
        if (word_is("ENDIMPORT")) {
            if (!in_import) {
                set_error(ERROR_ENDIMPORT_WITHOUT_IMPORT);
                return true;
            }
            in_import = 0;
            end_import_block();
            if (line_markers_suppressed > 0) {
                line_markers_suppressed--;
            }
            return true;
        }
        if (word_is("ENDMODULE")) {
            if (module_section_state() != 2) {
                set_error(ERROR_ENDMODULE_WITHOUT_MODULE);
                return true;
            }
            end_module();
            return true;
        }
        if (word_is("ENDDECLAREMODULE")) {
            if (module_section_state() != 1) {
                set_error(ERROR_ENDDECLAREMODULE_WITHOUT_DECLAREMODULE);
                return true;
            }
            end_declare_module();
            return true;
        }
        if (word_is("END")) { compile_end_statement(); return true; }
        if (word_is("ENABLEDEBUGGER")) {
            if (debugger_enabled) {
                debugger_code = 1;
            }
            return true;
        }
        if (word_is("ENABLEASM")) {
            if (backend->inline_lines_are_c) {
                set_error(ERROR_ENABLEASM_IN_C_BACKEND);
                return true;
            }
            inline_asm_enabled = 1;
            set_constant_value(constant_compiler_inline_assembly, 1);
            return true;
        }
        if (word_is("ENABLEEXPLICIT")) {
            explicit_enabled = 1;
            set_constant_value(constant_compiler_enable_explicit, 1);
            return true;
        }
        if (word_is("ENDDATASECTION")) {
            if (!in_datasection) {
                set_error(ERROR_ENDDATASECTION_WITHOUT_DATASECTION);
            }
            in_datasection = 0;
            return true;
        }
        if (word_is("ENDWITH")) {
            if (!in_with) {
                set_error(ERROR_ENDWITH_WITHOUT_WITH);
                return true;
            }
            compile_endwith_statement();
            return true;
        }
        return false;
    case 'F':
        if (word_is("FOR")) { compile_for_statement(); return true; }
        if (word_is("FOREACH")) { compile_foreach_statement(); return true; }
        if (word_is("FOREVER")) { compile_forever_statement(); return true; }
        if (word_is("FAKERETURN")) { compile_fakereturn_statement(); return true; }
        return false;
    case 'G':
        if (word_is("GLOBAL") || word_is("GLOBAL$")) { compile_global_statement(); return true; }
        if (word_is("GOSUB")) { compile_gosub_statement(); return true; }
        if (word_is("GOTO")) { compile_goto_statement(); return true; }
        return false;
    case 'I':
        if (word_is("IF")) { compile_if_statement(); return true; }
        if (word_is("INTERFACE")) {
            if (in_interface) {
                set_error_format(ERROR_CANNOT_BE_NESTED, "Interface");
                return true;
            }
            begin_structure(1);
            return true;
        }
        if (word_is("IMPORT") || word_is("IMPORTC")) {
            int c_convention = word_is("IMPORTC") ? 1 : 0;
            if (read_literal_string_arg("Import or ImportC")) {
                add_import_library();
                if (!error_number) begin_import_block(c_convention);
            }
            return true;
        }
        return false;
    case 'M':
        if (word_is("MACRO")) {
            suppress_errors++;
            macro_capture_mode = 1;
            define_macro(read_name_after_keyword());
            return true;
        }
        if (word_is("MODULE")) {
            if (module_section_state() != 0) {
                set_error(ERROR_MODULES_NESTED);
                return true;
            }
            const char* name = read_name_after_keyword();
            if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
                set_error(ERROR_SYNTAX);
                return true;
            }
            begin_module(name);
            return true;
        }
        return false;
    case 'N':
        if (word_is("NEXT")) { compile_next_statement(); return true; }
        if (word_is("NEWLIST")) { compile_newlist_statement(); return true; }
        if (word_is("NEWMAP")) { compile_newmap_statement(); return true; }
        return false;
    case 'P':
        if (is_procedure_word(&flags, &definition)) { compile_procedure_word(flags, definition); return true; }
        if (word_is("PROCEDURERETURN")) { compile_procedurereturn_statement(); return true; }
        if (word_is("PROTECTED") || word_is("PROTECTED$")) { compile_protected_statement(); return true; }
        return false;
    case 'R':
        if (word_is("READ")) { compile_read_statement(0); return true; }
        if (word_is("READ$")) { compile_read_statement(1); return true; }
        if (word_is("REPEAT")) { compile_repeat_statement(); return true; }
        if (word_is("REDIM")) { compile_dim_statement(1); return true; }
        if (word_is("RETURN")) { compile_return_statement(); return true; }
        if (word_is("RESTORE")) { compile_restore_statement(); return true; }
        if (word_is("RUNTIME")) { compile_runtime_statement(); return true; }
        return false;
    case 'S':
        if (word_is("SELECT")) { compile_select_statement(); return true; }
        if (word_is("SHARED")) { compile_shared_statement(); return true; }
        if (word_is("STATIC")) {
            if (!in_procedure) {
                set_error_format(ERROR_ONLY_INSIDE_PROCEDURE, "Static");
                return true;
            }
            compile_variable_declaration(0);
            return true;
        }
        if (word_is("STRUCTURE")) {
            if (in_structure) {
                set_error(ERROR_STRUCTURE_IN_STRUCTURE);
                return true;
            }
            begin_structure(0);
            return true;
        }
        if (word_is("STRUCTUREUNION")) {
            if (!in_structure) {
                set_error(ERROR_STRUCTUREUNION_OUTSIDE_STRUCTURE);
                return true;
            }
            if (structure_union_open()) {
                set_error_format(ERROR_CANNOT_BE_NESTED, "StructureUnion");
                return true;
            }
            begin_structure_union();
            return true;
        }
        if (word_is("SWAP")) { swap_statement(); return true; }
        return false;
    case 'T':
        if (word_is("THREADED")) {
            if (in_procedure) {
                set_error_format(ERROR_ONLY_OUTSIDE_PROCEDURE, "Threaded");
                return true;
            }
            compile_variable_declaration(1);
            return true;
        }
        return false;
    case 'U':
        if (word_is("UNTIL")) { compile_until_statement(); return true; }
        if (word_is("UNUSEMODULE") || word_is("USEMODULE")) {
            bool use = word_is("USEMODULE");
            const char* name = read_name_after_keyword();
            if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
                set_error(ERROR_SYNTAX);
                return true;
            }
            if (use) use_module(name);
            else unuse_module(name);
            return true;
        }
        return false;
    case 'W':
        if (word_is("WHILE")) { compile_while_statement(); return true; }
        if (word_is("WEND")) { compile_wend_statement(); return true; }
        if (word_is("WITH")) { compile_with_statement(); return true; }
        return false;
    default:
        return false;
    }
}

// The eight structural compiler directives; true when the word is one.
bool dispatch_directive()
{
    if (statement_word[0] == 0 || upper(static_cast<unsigned char>(statement_word[0])) != 'C') {
        return false;
    }
    if (word_is("COMPILERCASE")) { compile_compilercase_statement(); return true; }
    if (word_is("COMPILERDEFAULT")) { compile_compilerdefault_statement(); return true; }
    if (word_is("COMPILERELSE")) { compile_compilerelse_statement(); return true; }
    if (word_is("COMPILERELSEIF")) { compile_compilerelseif_statement(); return true; }
    if (word_is("COMPILERENDIF")) { compile_compilerendif_statement(); return true; }
    if (word_is("COMPILERENDSELECT")) { compile_compilerendselect_statement(); return true; }
    if (word_is("COMPILERIF")) { compile_compilerif_statement(); return true; }
    if (word_is("COMPILERSELECT")) { compile_compilerselect_statement(); return true; }
    return false;
}

// The plain path of a statement (a label, a constant definition, or an
// expression statement).
void compile_plain_path(int asm_flag)
{
    bool word_read = statement_word[0] != 0;
    if (word_read && more_statements == 1 && token_code == TOKEN_END && !in_structure && !in_interface &&
        !in_enumeration) {
        compile_label_name(statement_word);
        return;
    }
    char* text = statement_start;
    while (is_blank(*text)) {
        text++;
    }
    if ((in_structure || in_interface || in_enumeration) && *text == ':') {
        text++;
        while (is_blank(*text)) {
            text++;
        }
    }
    if (*text == '#' && !in_enumeration) {
        no_output_depth++;
        uint8_t saved_debugger_code = debugger_code;
        debugger_code = 0;
        line_markers_suppressed++;
        compile_plain_statement(text, asm_flag);
        line_markers_suppressed--;
        debugger_code = saved_debugger_code;
        no_output_depth--;
    } else {
        int64_t start = output_write_pointer && output_buffer_start ? output_write_pointer - output_buffer_start : 0;
        compile_plain_statement(text, asm_flag);
        int64_t end = output_write_pointer && output_buffer_start ? output_write_pointer - output_buffer_start : 0;
        // The purifier looks at the guards after a statement that did
        // something, in procedures whose entry set the guards up. After an
        // assembly line the check keeps every register and the flags, which
        // the next line may read.
        ProcedureRecord* procedure = open_procedure();
        bool entered = !procedure || (procedure->second_flags & PROC_SECOND_DEBUGGER_ENTRY);
        if (end != start && !error_number && debugger_code && purifier_enabled && entered)
            backend->emit_purifier_check(asm_flag);
    }
    if (error_number == 0 && (current_operand.flags & OP_COMPARISON)) {
        set_error(ERROR_SYNTAX);
    }
}

// Translates one inline-assembly operand: '#name' becomes the constant's
// value; everything else is copied up to the next ',' outside parentheses.
bool translate_asm_operand(std::string& out)
{
    while (is_blank(*parse_pointer)) {
        parse_pointer++;
    }
    if (*parse_pointer == '#' && identifier_start_chars[static_cast<unsigned char>(parse_pointer[1])]) {
        parse_pointer++;
        std::string name;
        while (identifier_chars[static_cast<unsigned char>(*parse_pointer)] || *parse_pointer == '$') {
            name += *parse_pointer++;
        }
        ConstantRecord* record = find_constant(name.c_str());
        if (!record || (record->flags & (constant_flag_string | constant_flag_float))) {
            set_error_format(ERROR_CONSTANT_NOT_FOUND, name.c_str());
            return false;
        }
        out += int_to_text(record->value.integer_value);
        while (is_blank(*parse_pointer)) {
            parse_pointer++;
        }
        return true;
    }
    // A variable in scope named alone is its memory operand.
    if (identifier_start_chars[static_cast<unsigned char>(*parse_pointer)]) {
        const char* p = parse_pointer;
        std::string name;
        while (identifier_chars[static_cast<unsigned char>(*p)] || *p == '$') {
            name += *p++;
        }
        while (is_blank(*p)) {
            p++;
        }
        VariableRecord* variable = nullptr;
        if (*p == 0 || *p == ',' || *p == STATEMENT_SEPARATOR) {
            variable = find_variable_scoped(name.c_str(), false);
        }
        if (variable) {
            out += backend->format_variable_operand(variable);
            parse_pointer = const_cast<char*>(p);
            return true;
        }
    }
    int depth = 0;
    while (*parse_pointer && *parse_pointer != STATEMENT_SEPARATOR && (depth > 0 || *parse_pointer != ',')) {
        if (*parse_pointer == '(') {
            depth++;
        } else if (*parse_pointer == ')') {
            depth--;
        }
        out += *parse_pointer++;
    }
    if (depth > 0) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    while (!out.empty() && is_blank(out.back())) {
        out.pop_back();
    }
    return true;
}

void compile_asm_line(char* text)
{
    if (debugger_code) {
        emit_line(" PUSHFQ");
        emit_line(" PUSH rcx");
    }
    emit_marker("DBLA");
    if (debugger_code) {
        emit_line(" POPFQ");
    }
    emit_local_equates();
    parse_pointer = text;
    std::string line;
    while (identifier_chars[static_cast<unsigned char>(*parse_pointer)]) {
        line += *parse_pointer++;
    }
    while (is_blank(*parse_pointer)) {
        parse_pointer++;
    }
    int operands = 0;
    while (*parse_pointer && *parse_pointer != STATEMENT_SEPARATOR && error_number == 0) {
        if (operands == 3) {
            set_error(ERROR_SYNTAX);
            return;
        }
        line += operands == 0 ? " " : ",";
        if (!translate_asm_operand(line)) {
            return;
        }
        operands++;
        if (*parse_pointer == ',') {
            parse_pointer++;
        }
    }
    if (*parse_pointer == STATEMENT_SEPARATOR) {
        parse_pointer++;
        more_statements = 1;
    } else {
        more_statements = 0;
    }
    token_code = TOKEN_END;
    emit_line(line.c_str());
}

}  // namespace

// ---------------------------------------------------------------------------

void build_keyword_index()
{
    build_first_index(KeywordTable, keyword_first_index);
    build_first_index(MnemonicTable, mnemonic_first_index);
}

int is_keyword(const char* word)
{
    return word && word[0] ? find_in_sorted_table(KeywordTable, keyword_first_index, word) : 0;
}

int is_asm_mnemonic(const char* word)
{
    return word && word[0] ? find_in_sorted_table(MnemonicTable, mnemonic_first_index, word) : 0;
}

int is_native_type_letter(const char* word)
{
    if (!word || !word[0] || word[1]) {
        return 0;
    }
    unsigned char c = lowercase_table[static_cast<unsigned char>(word[0])];
    for (const char* letter : NativeTypeLetters) {
        if (c == static_cast<unsigned char>(letter[0])) {
            return 1;
        }
    }
    return 0;
}

void reset_statement_state()
{
    statement_start = nullptr;
    expansion_pending = 0;
    macro_capture_mode = 0;
    in_structure = 0;
    in_interface = 0;
    in_datasection = 0;
    in_enumeration = 0;
    in_import = 0;
    in_with = 0;
    in_procedure = 0;
    inline_asm_enabled = 0;
    explicit_enabled = 0;
    line_markers_suppressed = 0;
    procedure_kind_flags = 0;
    debugger_code = debugger_enabled ? 1 : 0;
    more_statements = 0;
    token_code = TOKEN_END;
    token_precedence = PRECEDENCE_NONE;
    statement_word[0] = 0;
    escape_mode = 0;
    reset_literal_text();
    reset_include_registry();
}

void append_preprocessed_text(const char* text, size_t length)
{
    TextBuffer* buffer = current_output_buffer();
    if (buffer) {
        sync_output_buffer();
        int64_t used = output_write_pointer - output_buffer_start;
        if (static_cast<int64_t>(length) + 1 > buffer->size - used - 1) {
            grow_text_buffer(buffer, used + static_cast<int64_t>(length) + 1);
            output_buffer_start = buffer->start;
            output_write_pointer = buffer->write;
        }
    }
    std::memcpy(output_write_pointer, text, length);
    output_write_pointer += length;
    *output_write_pointer = 0;
}

namespace {

// Appends the current statement, after `prefix`, to the preprocessed text.
void append_preprocessed_statement(const char* prefix)
{
    if (!preprocess_file) {
        return;
    }
    char* start = statement_start;
    while (is_blank(*start)) {
        start++;
    }
    char* p = start;
    if (*p == '!') {
        while (*p && *p != STATEMENT_SEPARATOR) {
            p++;
        }
    } else {
        for (;;) {
            char c = *p;
            if (c == 0 || c == STATEMENT_SEPARATOR || c == ';') {
                break;
            }
            if (c == ':') {
                if (p[1] == ':') {
                    p += 2;
                    continue;
                }
                break;
            }
            if (c == '"') {
                bool escaped = p > start && p[-1] == '~';
                p++;
                while (*p && *p != '"') {
                    if (escaped && *p == '\\' && p[1]) {
                        p++;
                    }
                    p++;
                }
                if (*p == '"') {
                    p++;
                }
                continue;
            }
            if (c == '\'') {
                p++;
                while (*p && *p != '\'') {
                    p++;
                }
                if (*p == '\'') {
                    p++;
                }
                continue;
            }
            p++;
        }
    }
    if (suppress_errors || macro_capture_mode) {
        return;
    }
    append_preprocessed_text(prefix, std::strlen(prefix));
    append_preprocessed_text(start, p - start);
    append_preprocessed_text("\n", 1);
}

}  // namespace

void find_statement_end()
{
    append_preprocessed_statement("");
}

void find_include_statement_end()
{
    // The included file's lines follow in the preprocessed source: the
    // statement itself would include them a second time.
    append_preprocessed_statement("; ");
}

void skip_statement()
{
    suppress_errors++;
    while (token_code != TOKEN_END && *parse_pointer) {
        read_token();
        refuse_word_operator();
    }
    if (token_code != TOKEN_END) {
        read_token();
        refuse_word_operator();
    }
    suppress_errors--;
}

int read_literal_string_arg(const char* display_name)
{
    if (token_code == TOKEN_END) {
        set_error_format(ERROR_LITERAL_STRING_EXPECTED_AFTER, display_name);
        return 0;
    }
    if (parse_pointer > statement_start) {
        parse_pointer--;
    }
    skip_blanks();
    if (parse_pointer[0] == '~' && parse_pointer[1] == '"') {
        escape_mode = 1;
        parse_pointer++;
    }
    reset_literal_text();
    read_token();
    refuse_word_operator();
    if (error_number) {
        return 0;
    }
    if (literal_length < 0 || statement_word[0]) {
        set_error_format(ERROR_LITERAL_STRING_EXPECTED_AFTER, display_name);
        return 0;
    }
    return error_number == 0;
}

int compile_plain_statement(char* text, int asm_flag)
{
    if (asm_flag) {
        compile_asm_line(text);
        return 0;
    }
    emit_marker("DBL");
    parse_pointer = text;
    read_token();
    if (error_number) {
        return 0;
    }
    if (in_enumeration) {
        parse_pointer = text;
        compile_enumeration_constant_line();
        return 0;
    }
    if (in_structure) {
        int container = 0;
        if (word_is("ARRAY")) {
            container = 1;
        } else if (word_is("LIST")) {
            container = 2;
        } else if (word_is("MAP")) {
            container = 3;
        }
        const char* name = statement_word;
        if (container) {
            parse_pointer = text;
            while (identifier_chars[static_cast<unsigned char>(*parse_pointer)]) {
                parse_pointer++;
            }
            skip_blanks();
            name = parse_pointer;
        } else {
            // The name as written, so that a pointer field "*name" is seen too.
            parse_pointer = text;
            skip_blanks();
            name = parse_pointer;
        }
        // A word that starts with a digit is a name the field check refuses.
        if (!identifier_chars[static_cast<unsigned char>(name[0])] && name[0] != '*') {
            set_error(ERROR_SYNTAX);
            return 0;
        }
        parse_structure_field(container);
        return 0;
    }
    if (in_interface) {
        parse_pointer = text;
        compile_interface_method_line();
        return 0;
    }
    if (in_import) {
        parse_pointer = text;
        compile_import_function_line();
        return 0;
    }

    bool word_read = statement_word[0] != 0;
    if (word_read && token_code == TOKEN_MODULE_SEPARATOR) {
        std::string module_name = statement_word;
        resolve_module_prefix(module_name.c_str());
        refuse_word_operator();
        if (error_number) {
            return 0;
        }
        word_read = statement_word[0] != 0;
    }
    bool expression = false;
    if (word_read) {
        switch (token_code) {
        case '(': case '.': case '=': case '\\': case '{':
            expression = true;
            break;
        default:
            break;
        }
        if (token_code == TOKEN_END && more_statements && parse_pointer[-1] == ':' &&
            identifier_chars[static_cast<unsigned char>(parse_pointer[-2])]) {
            expression = true;
        }
        if (token_precedence > PRECEDENCE_COMPARISON) {
            expression = true;
        }
    } else if (*text == '#' || *text == '*' || (*text == '\\' && in_with)) {
        expression = true;
    }
    if (!expression) {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    parse_pointer = text;
    token_code = TOKEN_STATEMENT_START;
    return compile_expression(EXPR_RESET_REGISTERS | EXPR_NEW_STATEMENT, 0);
}

void compile_statement()
{
    // 1. Per-statement state. The literal text of the statement before
    // (an IncludeFile's file name, say) is not this statement's.
    current_operand.flags = 0;
    reset_literal_text();
    forget_kept_prescans();
    if (current_output_buffer()) {
        sync_output_buffer();
    }
    // 2.
    if (error_number) {
        return;
    }
    // 3.
    statement_start = parse_pointer;

    // 4. Macro capture.
    if (macro_capture_mode) {
        skip_blanks();
        statement_start = parse_pointer;
        capture_macro_body();
        find_statement_end();
        return;
    }

    // 5. Macro expansion.
    if (!expansion_pending && !suppress_errors) {
        skip_blanks();
        const char* p = parse_pointer;
        bool definition = (starts_with_upper(p, "MACRO") && is_blank(p[5])) ||
                          (starts_with_upper(p, "UNDEFINEMACRO") && is_blank(p[13]));
        if (*p != '!' && !definition) {
            suppress_errors++;
            char* expanded = expand_statement_macros(parse_pointer);
            suppress_errors--;
            if (error_number) {
                return;
            }
            if (expanded) {
                parse_pointer = expanded;
                statement_start = expanded;
                expansion_pending = 1;
            }
        }
    }

    // 6. First token.
    skip_blanks();
    // Inside With, a statement may begin with the "\" of a field; inside a
    // Structure a field line may begin with a digit, which the field's name
    // check refuses.
    const unsigned char first = static_cast<unsigned char>(*parse_pointer);
    if (!suppress_errors && !statement_start_chars[first] && !(first == '\\' && in_with) &&
        !(in_structure && identifier_chars[first])) {
        set_error(ERROR_SYNTAX);
        return;
    }
    read_token();
    if (error_number) {
        return;
    }

    // 7. No word.
    if (statement_word[0] == 0) {
        if (token_code == '!' && literal_length < 0) {
            compile_inline_asm_line();
            return;
        }
        // An empty statement does nothing, at the end of a line as in
        // front of more statements (": x = 2", or ": Case 1" after Select).
        if (token_code == TOKEN_END) {
            return;
        }
    }

    // 8. Compiler directives, also inside skipped regions.
    if (dispatch_directive()) {
        goto after_end_check;
    }

    // 9. Skipped region.
    if (suppress_errors) {
        skip_statement();
        goto after_end_check;
    }

    // 10. Statements recognised before the block checks.
    if (statement_word[0]) {
        bool handled = true;
        if (word_is("UNDEFINEMACRO")) {
            compile_undefinemacro_statement();
        } else if (word_is("INCLUDEBINARY")) {
            find_statement_end();
            compile_includebinary_statement();
        } else if (word_is("INCLUDEPATH")) {
            find_statement_end();
            compile_includepath_statement();
        } else if (word_is("INCLUDEFILE")) {
            find_include_statement_end();
            compile_include_statement(0);
        } else if (word_is("XINCLUDEFILE")) {
            find_include_statement_end();
            compile_include_statement(1);
        } else {
            handled = false;
        }
        if (handled) {
            goto end_check;
        }
    }

    // 11. Body modes, inline assembly and the keyword dispatch.
    {
        int asm_flag = 0;
        bool plain = false;
        if (in_structure) {
            plain = !(word_is("ENDSTRUCTURE") || word_is("ENDSTRUCTUREUNION") || word_is("STRUCTUREUNION"));
        } else if (in_interface) {
            plain = !word_is("ENDINTERFACE");
        } else if (in_datasection) {
            plain = !(word_is("ENDDATASECTION") || word_is("DATA") || word_is("DATA$"));
        }
        if (!plain && inline_asm_enabled && !word_has_dollar && statement_word[0] && is_asm_mnemonic(statement_word)) {
            asm_flag = 1;
            plain = true;
        }
        find_statement_end();
        if (!plain) {
            if (innermost_block_kind() == BLOCK_SELECT &&
                !(word_is("CASE") || word_is("DEFAULT") || word_is("ENDSELECT"))) {
                set_error(ERROR_CASE_EXPECTED_AFTER_SELECT);
                return;
            }
            if (statement_word[0] && dispatch_keyword()) {
                goto end_check;
            }
        }
        // 12. Plain statement.
        compile_plain_path(asm_flag);
    }

end_check:
    // 13. End-of-statement check.
    if (error_number == 0 && token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
    }

after_end_check:
    // 14. Skipped statements of a macro expansion.
    if (suppress_errors && expansion_pending && !more_statements) {
        while (*parse_pointer && *parse_pointer != STATEMENT_SEPARATOR) {
            parse_pointer++;
        }
        if (*parse_pointer == STATEMENT_SEPARATOR) {
            parse_pointer++;
            more_statements = 1;
            token_code = TOKEN_END;
        }
    }
}
