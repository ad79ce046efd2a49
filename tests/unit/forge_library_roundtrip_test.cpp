// Library files written by Zandforge and read back by the compiler's loader,
// and the loader's answers to corrupt files.
#include "forge_test_support.h"

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"

#include <cstring>
#include <zlib.h>

namespace {

std::vector<LibraryRecord*> loaded_libraries()
{
    std::vector<LibraryRecord*> result;
    for (ListNode* node = library_list->first; node; node = node->next)
        result.push_back(reinterpret_cast<LibraryRecord*>(node));
    return result;
}

std::vector<LibraryCommand*> commands_of(const LibraryRecord* library)
{
    std::vector<LibraryCommand*> result;
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->library == library) result.push_back(command);
    }
    return result;
}

std::vector<std::string> packed_names(const char* names, int count)
{
    std::vector<std::string> result;
    for (int i = 0; i < count; i++, names += std::strlen(names) + 1) result.emplace_back(names);
    return result;
}

std::string bytes_of(const uint8_t* data, uint32_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

void put_u32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; i++) out.push_back(static_cast<char>(value >> (8 * i)));
}

const char* full_descriptor =
    "; every construct of a descriptor\n"
    "ASM\n"
    "2\nkernel32\nuser32\n"
    "OBJ\n"
    "2\nmemory\nString\n"
    "Misc functions\n"
    "CompilerIf UNICODE\n"
    "  Wide, STRING, (Text$) - Wide text\n"
    "  STRING | UNICODE | DEBUGGERCHECK\n"
    "CompilerElse\n"
    "  Narrow, STRING\n"
    "  STRING | NOUNICODE | DEBUGGERCHECK\n"
    "CompilerEndIf\n"
    "Poke, LONG, [BYTE], [STRUCTURE], (Address [, Value [, Structure]]) - Writes\n"
    "NONE | DEBUGGERCHECK | SSE2\n"
    "Every, word, float, array, linkedlist, map, any, double, quad, runtimearray, runtimelist, runtimemap, "
    "runtimestructure\n"
    "LONG | DEBUGGERCHECK | THREAD | PARALLEL | PURIFIER\n"
    "InitMisc\n"
    "INITFUNCTION\n"
    "EndMisc\n"
    "ENDFUNCTION | LAST\n";

}  // namespace

class ForgeRoundTrip : public ForgeTest {
protected:
    std::filesystem::path libraries;

    void SetUp() override
    {
        ForgeTest::SetUp();
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        if (!compilation_heap) compilation_heap = os_heap_create(4096);
        if (!permanent_pool.blocks) init_memory_pools();
        home_folder = folder.string() + "/";
        libraries = folder / "ZandLibraries";
        std::filesystem::create_directories(libraries / "UserLibraries");
        init_libraries();
        clear_error_state();
        no_output_depth = 0;
    }

    void TearDown() override
    {
        clear_error_state();
        ForgeTest::TearDown();
    }

    // Runs Zandforge on a descriptor and object files in the test folder.
    void forge(const std::string& name, const std::string& descriptor, uint32_t options = 0)
    {
        write_file(folder / (name + ".desc"), descriptor);
        InitForge();
        DefineConstant("Unicode");
        NoLogFlag = true;
        BatchMode = true;
        ForgeOptions = options;
        SourcePath = folder.string() + "/";
        DestinationPath = libraries.string() + "/";
        DescFile = SourcePath + name + ".desc";
        ProcessDescriptor();
        ASSERT_FALSE(ErrorFlag) << messages();
    }

    // Loads one file from scratch; returns the error number.
    int load(const std::string& contents)
    {
        init_libraries();
        clear_error_state();
        write_file(folder / "Probe", contents);
        library_load_file((folder / "Probe").string().c_str());
        return error_number;
    }
};

TEST_F(ForgeRoundTrip, EveryFieldComesBack)
{
    std::string object;
    for (int i = 0; i < 500; i++) object += "object code " + std::to_string(i % 7);
    for (uint32_t options : {0u, LIBRARY_OPTION_COMPRESSED}) {
        write_file(folder / "Misc.obj", object);
        write_file(folder / "Misc_DEBUG.obj", "debug object");
        forge("misc", full_descriptor, options);
        init_libraries();
        scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
        ASSERT_EQ(error_number, 0) << error_message;

        auto all = loaded_libraries();
        ASSERT_EQ(all.size(), 1u);
        LibraryRecord* library = all[0];
        EXPECT_STREQ(library->name, "Misc");
        EXPECT_EQ(library->format_version, 4);
        EXPECT_EQ(library->language, LIBRARY_LANGUAGE_ASM);
        EXPECT_EQ(packed_names(library->link_libraries, library->link_library_count),
                  (std::vector<std::string>{"kernel32", "user32"}));
        EXPECT_EQ(library->object_type, LIBRARY_OBJECT_OBJ);
        EXPECT_STREQ(library->help_line, "Misc functions");
        EXPECT_EQ(packed_names(library->dependencies, library->dependency_count),
                  (std::vector<std::string>{"MEMORY", "String"}));
        EXPECT_EQ(bytes_of(library->object_data, library->object_size), object) << options;
        EXPECT_EQ(bytes_of(library->debugger_data, library->debugger_size), "debug object");
        EXPECT_EQ(library->used, 0);

        auto commands = commands_of(library);
        std::string names;
        for (LibraryCommand* command : commands) names += std::string(command_name(command)) + " ";
        EXPECT_EQ(names, "EndMisc Every InitMisc Poke Poke2 Poke3 Wide ");
        EXPECT_EQ(library->command_count, 7);
        ASSERT_EQ(commands.size(), 7u);

        LibraryCommand* end = commands[0];
        EXPECT_EQ(library->end_command, end);
        EXPECT_EQ(end->use_count, -1);
        EXPECT_EQ(end->flags, LIBRARY_FLAG_ENDFUNCTION | LIBRARY_FLAG_LAST);
        EXPECT_EQ(library->init_command, commands[2]);
        EXPECT_EQ(commands[2]->use_count, -1);

        LibraryCommand* every = commands[1];
        ASSERT_EQ(every->parameter_count, 16);
        EXPECT_EQ(std::vector<uint8_t>(every->parameter_codes, every->parameter_codes + 16),
                  (std::vector<uint8_t>{21, 9, 15, 14, 22, 23, 12, 13, 26, 27, 28, 29, 30, 31, 32, 33}));
        EXPECT_EQ(every->stack_bytes, 16 * 8);
        EXPECT_EQ(every->flags, 0x2400109u);
        EXPECT_STREQ(every->help, "");

        LibraryCommand* poke3 = commands[5];
        EXPECT_EQ(poke3->parameter_count, 4);
        EXPECT_EQ(std::vector<uint8_t>(poke3->parameter_codes, poke3->parameter_codes + 4),
                  (std::vector<uint8_t>{21, 21, 7, 34}));
        EXPECT_EQ(poke3->flags, LIBRARY_FLAG_VARIANT | LIBRARY_FLAG_DEBUGGERCHECK | LIBRARY_FLAG_SSE2 | LIBRARY_FLAG_PROCESSOR);
        EXPECT_STREQ(commands[3]->help, "(Address [, Value [, Structure]]) - Writes");

        LibraryCommand* wide = commands[6];
        EXPECT_EQ(wide->parameter_count, 1);
        EXPECT_EQ(wide->parameter_codes[0], 8);
        EXPECT_EQ(wide->stack_bytes, 16);  // the string result adds 8
        EXPECT_STREQ(wide->help, "(Text$) - Wide text");
        EXPECT_EQ(find_library_command("WIDE"), wide);
        EXPECT_EQ(find_library_command("Narrow"), nullptr);

        // The compiler functions keep their own order among the sorted commands.
        std::string builtins;
        for (ListNode* node = library_command_list->first; node; node = node->next) {
            LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
            if (!command->library) builtins += std::string(command_name(command)) + " ";
        }
        EXPECT_EQ(builtins, "Bool Defined OffsetOf SizeOf TypeOf Subsystem ");
        EXPECT_EQ(find_library_command("Subsystem")->use_count, -1);
        EXPECT_EQ(find_library_command("Bool"), nullptr);
    }
}

TEST_F(ForgeRoundTrip, DuplicateCommandsNameBothOwners)
{
    write_file(folder / "Alpha.obj", "A");
    write_file(folder / "Beta.obj", "B");
    forge("alpha", "C\n0\nOBJ\n0\nH\nShared\nDEBUGGERCHECK\n");
    forge("beta", "C\n0\nOBJ\n0\nH\nShared\nDEBUGGERCHECK\n");
    init_libraries();
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    EXPECT_EQ(error_number, ERROR_DUPLICATED_LIBRARY_COMMAND);
    EXPECT_STREQ(error_message, "Duplicated library command: Shared() (in libraries Beta and Alpha).");

    std::filesystem::remove(libraries / "Beta");
    forge("beta", "C\n0\nOBJ\n0\nH\nSizeOf\nDEBUGGERCHECK\n");
    init_libraries();
    clear_error_state();
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    EXPECT_EQ(error_number, ERROR_DUPLICATED_LIBRARY_COMMAND);
    EXPECT_STREQ(error_message, "Duplicated library command: SizeOf() (in libraries Beta and Zandrel).");
}

TEST_F(ForgeRoundTrip, FoldersScanOnceAndMissingFolderRecordsItsError)
{
    write_file(folder / "Alpha.obj", "A");
    forge("alpha", "C\n0\nOBJ\n0\nH\nFirst\nDEBUGGERCHECK\n");
    std::filesystem::copy_file(libraries / "Alpha", libraries / "UserLibraries" / "ALPHA");
    write_file(libraries / "readme.txt", "not a library");
    write_file(libraries / "empty", "");
    std::filesystem::create_directory(libraries / "folder");
    init_libraries();
    scan_library_folder("ZandLibraries/", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    scan_library_folder("ZandLibraries\\UserLibraries\\", 0, 0);
    EXPECT_EQ(error_number, 0) << error_message;
    EXPECT_EQ(loaded_libraries().size(), 1u);

    scan_library_folder("NoSuchFolder\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    EXPECT_EQ(error_number, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
}

TEST_F(ForgeRoundTrip, ChrGetsItsSecondFlag)
{
    write_file(folder / "Strings.obj", "S");
    forge("strings", "C\n0\nOBJ\n0\nH\nChr, LONG\nSTRING|DEBUGGERCHECK|UNICODE\n");
    init_libraries();
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    EXPECT_EQ(find_library_command("chr")->second_flags, command_second_chr);
}

TEST_F(ForgeRoundTrip, UsageMarksAndDependencies)
{
    write_file(folder / "Top.obj", "T");
    write_file(folder / "Base.obj", "B");
    forge("top", "C\n0\nOBJ\n2\nbase\nMissing\nH\nTopCall\nDEBUGGERCHECK\n");
    forge("base", "C\n0\nOBJ\n1\nTop\nH\nBaseCall\nDEBUGGERCHECK\n");
    init_libraries();
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    ASSERT_EQ(error_number, 0) << error_message;
    LibraryRecord* top = find_library("TOP");
    LibraryRecord* base = find_library("base");
    ASSERT_TRUE(top && base);

    mark_command_used("topcall");
    mark_command_used("topcall");
    EXPECT_EQ(find_library_command("TopCall")->use_count, 2);
    EXPECT_EQ(top->used, 1);
    EXPECT_EQ(base->used, 0);
    find_library_command("TopCall")->second_flags |= 0x180;

    mark_library_dependencies(top);
    EXPECT_EQ(base->used, 1);
    EXPECT_EQ(error_number, ERROR_LIBRARY_MISSING);
    EXPECT_STREQ(error_message, "Library missing: Missing (needed by 'Top' library).");
    EXPECT_EQ(current_line, -1);
    std::vector<LibraryRecord*> order;
    for (ListNode* node = used_library_list->first; node; node = node->next)
        order.push_back(*reinterpret_cast<LibraryRecord**>(node + 1));
    EXPECT_EQ(order, (std::vector<LibraryRecord*>{top, base}));  // the cycle back to Top ends the walk

    reset_usage_marks();
    EXPECT_EQ(top->used, 0);
    EXPECT_EQ(find_library_command("TopCall")->use_count, 0);
    EXPECT_EQ(find_library_command("TopCall")->second_flags, 0u);
    EXPECT_EQ(used_library_list->first, nullptr);
}

TEST_F(ForgeRoundTrip, SelectedLibrariesReachTheLinkLine)
{
    write_file(folder / "Misc.obj", "main object");
    write_file(folder / "Misc_DEBUG.obj", "debug object");
    forge("misc", "C\n1\nuser32\nOBJ\n1\nPlain\nH\nMiscCall\nDEBUGGERCHECK\n");
    write_file(folder / "Plain.lib", "plain archive");
    forge("plain", "C\n0\nLIB\n0\nH\n");
    forge("nodata", "C\n0\nOBJ\n0\nH\n");
    messages();
    init_libraries();
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    ASSERT_EQ(error_number, 0) << error_message;

    link_library_list.clear();
    mark_command_used("misccall");
    select_runtime_libraries();
    ASSERT_EQ(link_library_list.size(), 2u);
    const LinkLibrary& misc = link_library_list[0];
    EXPECT_STREQ(misc.name, "Misc");
    EXPECT_EQ(bytes_of(static_cast<const uint8_t*>(misc.object_data), misc.object_size), "main object");
    EXPECT_EQ(bytes_of(static_cast<const uint8_t*>(misc.debug_data), misc.debug_size), "debug object");
    EXPECT_EQ(packed_names(misc.system_names, misc.system_name_count), std::vector<std::string>{"user32"});
    EXPECT_EQ(misc.uses_object_manager, 1);
    const LinkLibrary& plain = link_library_list[1];
    EXPECT_STREQ(plain.name, "Plain");
    // Without a debug object the debugger links the main one.
    EXPECT_EQ(bytes_of(static_cast<const uint8_t*>(plain.debug_data), plain.debug_size), "plain archive");
    EXPECT_EQ(plain.uses_object_manager, 0);
    EXPECT_EQ(find_library("Nodata")->object_data, nullptr);
    link_library_list.clear();
}

TEST_F(ForgeRoundTrip, TruncatedFilesNeverLoadHalfway)
{
    write_file(folder / "Misc.obj", std::string(300, 'x') + "end");
    write_file(folder / "Misc_DEBUG.obj", "debug object");
    forge("misc", full_descriptor, LIBRARY_OPTION_COMPRESSED);
    std::string whole = read_file(libraries / "Misc");
    uint32_t header_end = 12 + read_u32_at(whole, 4);
    uint32_t data_end = header_end + 12 + read_u32_at(whole, header_end + 4);
    for (size_t length = 0; length < whole.size(); length++) {
        int error = load(whole.substr(0, length));
        size_t count = loaded_libraries().size();
        if (length < 4) {
            EXPECT_EQ(error, 0) << length;
            EXPECT_EQ(count, 0u) << length;
        } else if (error) {
            EXPECT_EQ(error, 96) << length;
            EXPECT_STREQ(error_message, "Can't load the following library: Probe.");
            EXPECT_EQ(count, 0u) << length;
            EXPECT_EQ(library_command_list->first->next->next->next->next->next->next, nullptr);
        } else {
            // Only a cut between chunks leaves a valid file: a library may
            // lack its object data, and the debug object is optional.
            EXPECT_TRUE(length == header_end || length == data_end) << length;
            EXPECT_EQ(count, 1u) << length;
        }
    }
    EXPECT_EQ(load(whole), 0);
}

TEST_F(ForgeRoundTrip, CorruptHeadersAndChunks)
{
    write_file(folder / "Misc.obj", std::string(400, 'y'));
    forge("misc", "C\n1\nkernel32\nOBJ\n0\nH\nFoo, LONG\nDEBUGGERCHECK\n", LIBRARY_OPTION_COMPRESSED);
    const std::string good = read_file(libraries / "Misc");
    ASSERT_EQ(load(good), 0);
    uint32_t header_end = 12 + read_u32_at(good, 4);

    std::string bad = good;
    bad[8] = '5';  // 'LIB5'
    EXPECT_EQ(load(bad), ERROR_LIBRARY_TOO_OLD);
    EXPECT_STREQ(error_message, "ZandLibrary 'Probe' is too old and isn't handled anymore by Zandrel 5.20 or above.");

    bad = good;
    bad[0] = 'X';
    EXPECT_EQ(load(bad), 0);
    EXPECT_EQ(loaded_libraries().size(), 0u);

    auto expect_refused = [&](std::string contents, const char* what) {
        EXPECT_EQ(load(contents), ERROR_LIBRARY_NOT_LOADED) << what;
        EXPECT_EQ(loaded_libraries().size(), 0u) << what;
    };
    bad = good;
    bad[4] = '\xF0';  // header size past the end of the file
    expect_refused(bad, "header size");
    bad = good;
    bad[26] = '\x7F';  // link-library count larger than the header
    expect_refused(bad, "name count");
    bad = good;
    bad[header_end - 1] = 'h';  // the last help text loses its NUL
    expect_refused(bad, "help without end");
    bad = good;
    bad[header_end - 7] = '\x7F';  // the argument count runs past the header
    expect_refused(bad, "argument count");
    bad = good;
    bad[header_end + 4] = '\xFF';  // DAT1 size past the end
    expect_refused(bad, "data size");
    bad = good;
    bad[16] = bad[17] = bad[18] = bad[19] = 0;  // compressed but no unpacked size
    expect_refused(bad, "unpacked size 0");
    bad = good;
    bad[16] = '\x01';  // wrong unpacked size
    expect_refused(bad, "unpacked size");
    bad = good;
    bad[19] = '\x7F';  // unpacked size over the cap
    expect_refused(bad, "unpacked cap");
    bad = good;
    bad[header_end + 20] ^= 0x55;  // damaged deflate stream
    expect_refused(bad, "damaged data");
    bad = good;
    bad.replace(20, 4, "../x");  // the name "../x" would leave the work folder
    expect_refused(bad, "name");
    bad = good + "DNAZ" + std::string("\x10\0\0\0", 4) + "1GBD";  // DBG1 data past the end
    expect_refused(bad, "debug data");
}

TEST_F(ForgeRoundTrip, OldFormatObjectDataIsUnscrambled)
{
    std::string header;
    put_u32(header, 0);                                    // options
    header += std::string("Old\0", 4);
    header += std::string("\x01\x00\x01", 3);              // language, no link names, object type
    header += std::string("Help\0\0", 6);                  // help, no dependencies
    header += std::string("Cmd\0\x01" "A", 6);
    put_u32(header, 0x20);
    header.push_back('\0');
    std::string file = "DNAZ";
    put_u32(file, static_cast<uint32_t>(header.size()));
    file += "3BIL" + header;

    const std::string object = "scrambled!";  // 10 bytes, stepped over as 12
    std::string padded = object + std::string(2, '\0');
    std::string chunk;
    uint32_t key = LIBRARY_LIB3_KEY_START;
    for (size_t i = 0; i < padded.size(); i += 4) {
        uint32_t d = read_u32_at(padded, i);
        put_u32(chunk, ~(d + key));
        key += static_cast<uint32_t>(object.size());
    }
    file += "DNAZ";
    put_u32(file, static_cast<uint32_t>(object.size()));
    file += "1TAD" + chunk + "DNAZ" + std::string("\x03\0\0\0", 4) + "1GBD" + "dbg";

    ASSERT_EQ(load(file), 0) << error_message;
    LibraryRecord* library = loaded_libraries().at(0);
    EXPECT_EQ(library->format_version, 3);
    EXPECT_EQ(bytes_of(library->object_data, library->object_size), object);
    EXPECT_EQ(bytes_of(library->debugger_data, library->debugger_size), "dbg");
    LibraryCommand* command = find_library_command("cmd");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->parameter_codes[0], 9);
    EXPECT_EQ(command->flags, 0x20u);

    std::string compressed = file;
    compressed[12] = 1;
    EXPECT_EQ(load(compressed), ERROR_COMPRESSED_LIBRARY);
    EXPECT_STREQ(error_message, "Compressed libraries are not supported (Probe).");
    EXPECT_EQ(load(file.substr(0, file.size() - 15 - 2)), ERROR_LIBRARY_NOT_LOADED);  // DAT1 cut inside its padding
}
