// Shared set-up of the emitter and expression tests: one compiler
// initialisation per process, a fresh code buffer per test, and the check
// that a fragment of generated text assembles with the flat assembler.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "assembler_command.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/x64_backend.h"
#include "backend_x64/x64_globals.h"
#include "core/backend_hooks.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "frontend/operand_state.h"
#include "frontend/statement_dispatcher.h"

inline void ensure_compiler_initialised() {
    static bool done = false;
    if (done) return;
    done = true;
    install_backend(&x64_backend_hooks);
    compiler_init();
}

// Links `commands`, in this order, into `list` as used commands of
// `library` (a command table made by hand for one test).
inline void link_used_commands(CursorList* list, LibraryRecord* library,
                               std::initializer_list<LibraryCommand*> commands) {
    init_list(list, sizeof(LibraryCommand), 1);
    for (LibraryCommand* command : commands) {
        command->use_count = 1;
        command->library = library;
        ListNode* node = &command->entry.link;
        node->previous = list->last;
        if (list->last) list->last->next = node;
        else list->first = node;
        list->last = node;
    }
}

class EmitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_compiler_initialised();
        reset_output_buffers();
        no_output_depth = 0;
        error_number = 0;
        suppress_errors = 0;
        reset_emitter_state();
        reset_operand_state();
        create_float_pools();
        debugger_code = 0;
        dll_symbol_addresses = 0;
    }

    std::string output() const { return std::string(output_buffer_start, output_write_pointer); }
    void clear_output() {
        output_write_pointer = output_buffer_start;
        *output_write_pointer = 0;
    }

    // Compiles each line of `statements` as one statement, calling
    // `before(line_index)` ahead of and `after()` behind each; returns
    // "error <n>" at the first error, else "". Every line stays in
    // `kept_lines` for the rest of the test: the front end keeps pointers
    // into lines it has read (literals, assembly operands).
    template <typename Before, typename After>
    std::string compile_each_line(const std::string& statements, Before before, After after) {
        size_t start = 0;
        int32_t line = 0;
        while (start <= statements.size()) {
            size_t end = statements.find('\n', start);
            if (end == std::string::npos) end = statements.size();
            std::string& kept = kept_lines.emplace_back(statements, start, end - start);
            kept.push_back('\0');
            kept.push_back('\0');
            before(line++);
            parse_pointer = kept.data();
            compile_statement();
            if (error_number) return "error " + std::to_string(error_number);
            after();
            start = end + 1;
        }
        return "";
    }

    // Compiles each statement (one per line); returns the code of the last
    // one, or "error <n>".
    std::string compile_last_statement(const std::string& statements) {
        clear_error_state();
        std::string last;
        std::string failure = compile_each_line(
            statements, [&](int32_t) { clear_output(); }, [&] { last = output(); });
        return failure.empty() ? last : failure;
    }

    // Compiles each statement (one per line); returns the code of all of
    // them, or "error <n>".
    std::string compile_all_statements(const std::string& statements) {
        clear_error_state();
        std::string all;
        std::string failure = compile_each_line(
            statements, [&](int32_t) { clear_output(); }, [&] { all += output(); });
        return failure.empty() ? all : failure;
    }

    // Compiles each statement (one per line); returns the code the last one
    // wrote into the current buffer, or "error <n>". Inside a procedure the
    // buffer keeps the body.
    std::string compile_last_into_current_buffer(const std::string& statements) {
        std::string last;
        int64_t mark = 0;
        std::string failure = compile_each_line(
            statements,
            [&](int32_t) {
                if (current_output_buffer() == code_buffer) clear_output();
                mark = output_write_pointer - output_buffer_start;
            },
            [&] {
                if (output_write_pointer - output_buffer_start >= mark)
                    last = std::string(output_buffer_start + mark, output_write_pointer);
                else
                    last = output();
            });
        return failure.empty() ? last : failure;
    }

    // Compiles each statement (one per line), the code gathering in the
    // output; false at the first error.
    bool compile_statements(const std::string& statements) {
        clear_error_state();
        return compile_each_line(statements, [](int32_t) {}, [] {}).empty();
    }

    // Current operand helpers.
    static void set_variable(const char* text, int size, uint32_t flags = 0) {
        snprintf(current_operand.text, sizeof current_operand.text, "%s", text);
        current_operand.kind = OPERAND_VARIABLE;
        current_operand.size = size;
        current_operand.flags = flags;
    }
    static void set_constant(int64_t value) {
        current_operand.flags = 0;
        set_operand_integer_constant(value);
    }
    static void set_float_constant(double value, bool is_double = true) {
        current_operand.flags = 0;
        set_operand_float_constant(value, is_double);
    }

    // A line a test sets up and compiles by hand.
    std::string text;
    // The lines compile_each_line has read (a deque: its elements never move).
    std::deque<std::string> kept_lines;
};

// Wraps a fragment of generated instructions in a minimal COFF file with every
// symbol it names declared, runs fasm on it and returns "" on success or the
// assembler's message.
inline std::string assemble_fragment(const std::string& code) {
    std::set<std::string> externs, data, equates;
    std::regex symbol(R"(\b(v_\w+|p_\w+|so_\w+(?:\.\w+)?|_S\d+|F\d+|D\d+|s_\w+|PS\d+|TS\d+|SYS_\w+|_DBG_\w+|ZD_\w+|SysFreeString|_Procedure\d+)\b)");
    for (auto it = std::sregex_iterator(code.begin(), code.end(), symbol); it != std::sregex_iterator(); ++it) {
        std::string name = (*it)[1];
        if (name.rfind("SYS_", 0) == 0 || name.rfind("_DBG_", 0) == 0 || name == "SysFreeString") externs.insert(name);
        else if (name.rfind("PS", 0) == 0 || name.rfind("TS", 0) == 0) equates.insert(name);
        else if (name == "ZD_StringBasePosition" || name.rfind("ZD_", 0) == 0) externs.insert(name);
        else data.insert(name);
    }
    std::ostringstream file;
    file << "format MS64 COFF\n";
    for (auto& name : externs) file << "extrn " << name << "\n";
    for (auto& name : equates) file << name << " = 64\n";
    file << "section '.text' code readable executable align 16\n";
    // Pool labels the fragment defines itself are not declared again.
    std::set<std::string> defined;
    std::regex label(R"((?:^|\n)([A-Za-z_][\w.]*):)");
    for (auto it = std::sregex_iterator(code.begin(), code.end(), label); it != std::sregex_iterator(); ++it)
        defined.insert((*it)[1]);
    file << code << "\n";
    file << "section '.data' data readable writeable\n";
    for (auto& name : data)
        if (!defined.count(name)) file << name << " rq 4\n";
    char dir[] = "/tmp/zdasmXXXXXX";
    if (!mkdtemp(dir)) return "mkdtemp failed";
    std::string src = std::string(dir) + "/f.asm", obj = std::string(dir) + "/f.obj", log = std::string(dir) + "/log";
    {
        std::ofstream out(src);
        out << file.str();
    }
    std::string command = assembler_command(src, obj) + " > " + log + " 2>&1";
    int rc = system(command.c_str());
    std::string result;
    if (rc != 0) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        result = text.str() + "\n--- source ---\n" + file.str();
    }
    std::string cleanup = std::string("rm -rf ") + dir;
    if (system(cleanup.c_str()) != 0) {}
    return result;
}
