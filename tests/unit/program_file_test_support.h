// Shared by the tests of whole generated assembly files: the file finished
// and read back, its run through the flat assembler, statements compiled one
// per line, and a count of the places a text stands in the file.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "assembler_command.h"
#include "backend_x64/program_output.h"
#include "emit_test_support.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

inline size_t count_of(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

class ProgramFileTest : public EmitterTest {
protected:
    // An empty console program as a generated file starts, without resetting
    // the rest of the compiler: the buffers, the data section, imports,
    // labels and variables new, no error, no subsystem, and no debugger,
    // thread safety or purifier.
    static void start_program_file()
    {
        ensure_compiler_initialised();
        reset_output_buffers();
        begin_data_section();
        reset_imports();
        create_label_lists();
        reset_program_output();
        init_variables();
        reset_emitter_state();
        no_output_depth = 0;
        error_number = 0;
        suppress_errors = 0;
        commented_output = 0;
        dll_mode = 0;
        console_mode = 1;
        executable_subsystem_name = "Console";
        output_file = nullptr;
        debugger_enabled = 0;
        thread_safe = 0;
        purifier_enabled = 0;
        strings_used = 0;
        main_source_folder = "/home/user/project/";
        list_clear(subsystem_list);
    }

    // A new console program "program.exe", as the compiler starts one: the
    // compiler and statement state reset, the buffers and the program's
    // sections empty, and no debugger, thread safety or purifier.
    static void start_console_program()
    {
        compiler_reset();
        reset_statement_state();
        reset_output_buffers();
        begin_data_section();
        reset_imports();
        create_label_lists();
        reset_program_output();
        reset_emitter_state();
        create_float_pools();
        commented_output = 0;
        dll_mode = 0;
        console_mode = 1;
        executable_subsystem_name = "Console";
        output_file = const_cast<char*>("program.exe");
        debugger_enabled = 0;
        thread_safe = 0;
        purifier_enabled = 0;
        dll_symbol_addresses = 0;
    }

    // Compiles statements, one per line; false at the first error.
    bool compile(const std::string& statements)
    {
        return compile_statements(statements);
    }

    // Finishes the program, writes it as "zandrel.asm" in a new folder and
    // returns the whole file.
    std::string finish()
    {
        finish_x64_program();
        char dir[] = "/tmp/zdpfXXXXXX";
        if (!mkdtemp(dir)) return "";
        dir_ = dir;
        write_output_file((dir_ + "/zandrel.asm").c_str(), 0);
        std::ifstream in(dir_ + "/zandrel.asm");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Assembles the file written by finish() and removes its folder; "" on
    // success, else the assembler's message.
    std::string assemble()
    {
        std::string command = "cd " + dir_ + " && " + assembler_command("zandrel.asm", "zandrel.obj") + " > log 2>&1";
        int rc = std::system(command.c_str());
        std::string result;
        if (rc != 0) {
            std::ifstream in(dir_ + "/log");
            std::stringstream text;
            text << in.rdbuf();
            result = text.str();
        }
        std::string cleanup = "rm -rf " + dir_;
        if (std::system(cleanup.c_str()) != 0) {}
        return result;
    }

    std::string dir_;
};
