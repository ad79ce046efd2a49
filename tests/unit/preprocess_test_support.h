// Shared set-up of the directive, macro, constant and module tests: a whole
// source text compiled the way a syntax check does it, in a fresh
// compilation state and a private folder (which receives "Macro.out").
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/compilation_driver.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "emit_test_support.h"
#include "frontend/blocks.h"
#include "frontend/constants.h"
#include "frontend/directives.h"
#include "frontend/frontend_globals.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/source_reader.h"
#include "frontend/statement_dispatcher.h"

class PreprocessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_compiler_initialised();
        char pattern[] = "/tmp/zd_preprocess_XXXXXX";
        folder = mkdtemp(pattern);
        folder += '/';
    }

    void TearDown() override
    {
        std::string command = "rm -rf '" + folder + "'";
        std::system(command.c_str());
        no_output_depth = 0;
    }

    // Compiles the text as a syntax check; returns the error number (0 when
    // none) and keeps what the compilation printed.
    int compile(const std::string& text)
    {
        compiler_reset();
        // As the driver does per compilation: the installed back end's own
        // lists come anew from the fresh compilation heap.
        backend->reset_program_output();
        current_folder = folder;
        source_file = const_cast<char*>("main.zd");
        check_syntax_only = 1;
        no_output_depth = 1;
        reset_statement_state();
        reset_block_state();
        declare_builtin_constants();
        source = text;
        source.push_back('\0');
        source.push_back('\0');
        printed = captured_stdout_of([&] {
            compile_source(source.data(), static_cast<int64_t>(text.size()), nullptr, 0);
            check_unclosed_blocks();
        });
        check_syntax_only = 0;
        return error_number;
    }

    template <typename Body>
    static std::string captured_stdout_of(Body body)
    {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        body();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    // The integer value of a constant visible at the end of the compilation.
    static int64_t integer_constant(const char* name)
    {
        ConstantRecord* record = find_constant(name);
        EXPECT_NE(record, nullptr) << name;
        return record ? record->value.integer_value : -1;
    }

    static bool constant_exists(const char* name) { return find_constant(name) != nullptr; }

    std::string read_file(const std::string& name) const
    {
        std::ifstream in(folder + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool file_exists(const std::string& name) const { return std::ifstream(folder + name).good(); }

    std::string folder;
    std::string source;
    std::string printed;
};
