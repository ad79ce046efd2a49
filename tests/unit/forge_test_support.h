// Shared fixture of the Zandforge tests: a fresh folder as the current
// folder (the log file lands there), fresh program state and the messages
// that the program shows (they go to standard error without a display).
#pragma once

#include "forge/forge.h"
#include "forge/library_format.h"
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

class ForgeTest : public ::testing::Test {
protected:
    std::filesystem::path folder;
    std::filesystem::path previous_folder;

    void SetUp() override
    {
        previous_folder = std::filesystem::current_path();
        std::string pattern = os_temp_folder() + "zandforge_test_XXXXXX";
        char* made = mkdtemp(pattern.data());
        ASSERT_NE(made, nullptr);
        folder = made;
        std::filesystem::current_path(folder);
        InitForge();
        ::testing::internal::CaptureStderr();
        capturing = true;
    }

    void TearDown() override
    {
        if (capturing) ::testing::internal::GetCapturedStderr();
        std::filesystem::current_path(previous_folder);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Messages shown since the last call.
    std::string messages()
    {
        std::string text = ::testing::internal::GetCapturedStderr();
        ::testing::internal::CaptureStderr();
        return text;
    }

    static void write_file(const std::filesystem::path& path, const std::string& contents)
    {
        ASSERT_TRUE(os_write_file(path.string().c_str(), contents.data(), contents.size()));
    }

    static std::string read_file(const std::filesystem::path& path)
    {
        std::string contents;
        os_read_file(path.string().c_str(), contents);
        return contents;
    }

    // Parses descriptor text as the program would for a library named `name`.
    static void parse(const std::string& text, const std::string& name = "Mylib")
    {
        ResetDescriptorState();
        LibName = name;
        ParseDescriptorText(text);
    }

private:
    bool capturing = false;
};

inline uint32_t read_u32_at(const std::string& data, size_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; i--) value = (value << 8) | static_cast<uint8_t>(data[offset + i]);
    return value;
}
