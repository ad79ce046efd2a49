// The import file: a library name and the functions of one outside library
// (the operating-system function lists of "ZandLibraries\Windows\" and the
// files that /IMPORT writes). This file only knows the bytes; it depends on
// nothing else, so the build's own list converter uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t IMPORT_TAG_ZAND = 0x5A414E44;
constexpr uint32_t IMPORT_TAG_IMP1 = 0x494D5031;
constexpr uint32_t IMPORT_TAG_PROC = 0x50524F43;
constexpr size_t IMPORT_HEADER_SIZE = 20;

// Flag of an imported function (ProcedureRecord flags).
constexpr uint32_t IMPORTED_FUNCTION_FLAG = 0x40000000;

// Default value of an optional parameter: a text for TYPE_STRING, else
// 8 bytes (integer or double bits).
struct ImportDefault {
    int64_t value;
    std::string text;
};

// One function record as the file holds it.
struct ImportFunctionSpec {
    std::string name;            // as the program calls it, e.g. "ExitProcess_"
    std::string symbol;          // the linker symbol, e.g. "ExitProcess"
    std::string parameter_text;  // empty when not kept
    uint32_t flags = IMPORTED_FUNCTION_FLAG;
    uint32_t second_flags = 0;
    int16_t stack_size = 0;
    int16_t string_parameter_count = 0;
    int16_t pseudo_parameter_count = 0;
    int16_t optional_parameter_count = 0;
    std::vector<uint8_t> parameter_types;   // one TypeCode per parameter
    std::vector<ImportDefault> defaults;    // one per optional parameter
};

// The whole file for a library name and its functions.
std::string build_import_file(const std::string& library_name, const std::vector<ImportFunctionSpec>& functions);

// Reads a file's bytes. False when the tags are wrong or a record runs past
// the end (nothing is then returned); a truncated record is never half read.
bool parse_import_file(const uint8_t* data, size_t size, std::string& library_name,
                       std::vector<ImportFunctionSpec>& functions);
