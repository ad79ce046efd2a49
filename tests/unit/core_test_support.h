// Set-up shared by the core unit tests: the two heaps, the pools, the
// output buffers and the tables, created once per process when missing.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/core_globals.h"
#include "driver/compiler_main.h"
#include "frontend/frontend_globals.h"
#include "platform/platform.h"

inline void ensure_core_state() {
    if (!permanent_heap) permanent_heap = os_heap_create(4096);
    if (!compilation_heap) compilation_heap = os_heap_create(4096);
    if (!compilation_pool.blocks) init_memory_pools();
    if (!code_buffer) alloc_output_buffers();
    if (!data_buffer_start) init_emitter_tables();
}

// Runs `body` and returns what it wrote to standard output.
template <typename Body>
std::string captured_stdout(Body body) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    body();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
