#include "driver/command_line.h"

#include <cstdio>
#include <cstring>

#include "core/backend_hooks.h"
#include "core/catalog.h"
#include "core/core_globals.h"
#include "driver/compilation_driver.h"
#include "driver/compiler_main.h"

namespace {

enum SwitchId {
    SW_STANDBY,
    SW_QUIET,
    SW_COMMENTED,
    SW_DEBUGGER,
    SW_UNICODE,
    SW_THREAD,
    SW_OUTPUT,
    SW_RESIDENT,
    SW_IGNORERESIDENT,
    SW_VERSION,
    SW_CONSTANT,
    SW_ICON,
    SW_REASM,
    SW_XP,
    SW_DLLPROTECTION,
    SW_DPIAWARE,
    SW_USER,
    SW_ADMINISTRATOR,
    SW_IMPORT,
    SW_WINDOWSIMPORT,
    SW_RESOURCE,
    SW_SUBSYSTEM,
    SW_DLL,
    SW_CONSOLE,
    SW_MMX,
    SW_3DNOW,
    SW_SSE,
    SW_SSE2,
    SW_DYNAMICCPU,
    SW_LINENUMBERING,
    SW_LINKER,
    SW_LANGUAGE,
    SW_CREATETESTFILE,
    SW_PURIFIER,
    SW_CHECK,
    SW_PREPROCESS,
    SW_OPTIMIZER,
    SW_LISTSTRUCTURES,
    SW_LISTFUNCTIONS,
    SW_LISTINTERFACES,
    SW_QUERYSTRUCTURE,
    SW_HELP,
};

struct SwitchForm {
    const char* forms[6];   // null-terminated list of the accepted spellings
    SwitchId id;
    bool takes_value;
};

// Compared in this order; the first form of each entry is its name in messages.
const SwitchForm switch_table[] = {
    {{"/STANDBY", "-sb", "--standby"}, SW_STANDBY, false},
    {{"/QUIET", "-q", "--quiet"}, SW_QUIET, false},
    {{"/COMMENTED", "-c", "--commented"}, SW_COMMENTED, false},
    {{"/DEBUGGER", "-d", "--debugger"}, SW_DEBUGGER, false},
    {{"/UNICODE", "-u", "--unicode"}, SW_UNICODE, false},
    {{"/THREAD", "-t", "--thread"}, SW_THREAD, false},
    {{"/OUTPUT", "/EXE", "-o", "--output", "-e", "--executable"}, SW_OUTPUT, true},
    {{"/RESIDENT", "-r", "--resident"}, SW_RESIDENT, true},
    {{"/IGNORERESIDENT", "-ir", "--ignoreresident"}, SW_IGNORERESIDENT, true},
    {{"/VERSION", "-v", "--version"}, SW_VERSION, false},
    {{"/CONSTANT", "-co", "--constant"}, SW_CONSTANT, true},
    {{"/ICON"}, SW_ICON, true},
    {{"/REASM"}, SW_REASM, false},
    {{"/XP"}, SW_XP, false},
    {{"/DLLPROTECTION"}, SW_DLLPROTECTION, false},
    {{"/DPIAWARE"}, SW_DPIAWARE, false},
    {{"/USER"}, SW_USER, false},
    {{"/ADMINISTRATOR"}, SW_ADMINISTRATOR, false},
    {{"/IMPORT", "-i", "--import"}, SW_IMPORT, true},
    {{"/WINDOWSIMPORT"}, SW_WINDOWSIMPORT, true},
    {{"/RESOURCE"}, SW_RESOURCE, true},
    {{"/SUBSYSTEM", "-s", "--subsystem"}, SW_SUBSYSTEM, true},
    {{"/DLL"}, SW_DLL, false},
    {{"/CONSOLE"}, SW_CONSOLE, false},
    {{"/MMX", "-mmx"}, SW_MMX, false},
    {{"/3DNOW", "-3dnow"}, SW_3DNOW, false},
    {{"/SSE", "-sse"}, SW_SSE, false},
    {{"/SSE2", "-sse2"}, SW_SSE2, false},
    {{"/DYNAMICCPU", "-dc", "--dynamiccpu"}, SW_DYNAMICCPU, false},
    {{"/LINENUMBERING", "-l", "--linenumbering"}, SW_LINENUMBERING, false},
    {{"/LINKER"}, SW_LINKER, true},
    {{"/LANGUAGE", "-g", "--language"}, SW_LANGUAGE, true},
    {{"/CREATETESTFILE", "-ctf", "--createtestfile"}, SW_CREATETESTFILE, true},
    {{"/PURIFIER", "-pf", "--purifier"}, SW_PURIFIER, false},
    {{"/CHECK", "-k", "--check"}, SW_CHECK, false},
    {{"/PREPROCESS", "-pp", "--preprocess"}, SW_PREPROCESS, true},
    {{"/OPTIMIZER", "-z", "--optimizer"}, SW_OPTIMIZER, false},
    {{"/LISTSTRUCTURES", "-ls", "--liststructures"}, SW_LISTSTRUCTURES, false},
    {{"/LISTFUNCTIONS", "-lf", "--listfunctions"}, SW_LISTFUNCTIONS, false},
    {{"/LISTINTERFACES", "-li", "--listinterfaces"}, SW_LISTINTERFACES, false},
    {{"/QUERYSTRUCTURE", "-qs", "--querystructure"}, SW_QUERYSTRUCTURE, true},
    {{"/?", "-h", "--help"}, SW_HELP, false},
};

const char* const help_lines[] = {
    "\nUsage: zdcompiler \"Filename\"\n\n",
    "Cross-platform options:\n",
    "  /?, -h, --help              Display this quick help\n",
    "  /DEBUGGER, -d, --debugger   Enable the debugger\n",
    "  /OUTPUT, -o, --output \"Filename\"\n",
    "                              Create an executable or a dll to the given filename\n",
    "  /OPTIMIZER, -z, --optimizer Enable the code optimizer\n",
    "  /QUIET, -q, --quiet         Disable all unnecessary text output\n",
    "  /COMMENTED, -c, --commented Produce a commented asm output (zandrel.asm)\n",
    "  /REASM, -ra, --reasm        Compile the 'zandrel.asm' file back to an executable\n",
    "  /IMPORT, -i, --import \"Filename\"\n",
    "                              Create a import file to the given filename\n",
    "  /RESIDENT, -r, --resident \"Filename\"\n",
    "                              Create a resident file to the given filename\n",
    "  /IGNORERESIDENT-ir, --ignoreresident \"Filename\"\n",
    "                              Ignore the given resident\n",
    "  /LINENUMBERING, -l, --linenumbering\n",
    "                              Enable line numbering in the final executable for OnError\n",
    "  /STANDBY, -sb, --standby    Wait for external commands (editor, scripts...)\n",
    "  /THREAD, -t, --thread       Use thread safe runtime for strings and general routines\n",
    "  /PURIFIER, -pf, --purifier  Enable the purifier\n",
    "  /SUBSYSTEM, -s, --subsystem \"Name\"\n",
    "                              Use this subsystem to replace a set of internal functions\n",
    "  /CONSTANT, -co, --constant Name=Value\n",
    "                              Declare a new constant at compile time\n",
    "  /CHECK, -k, --check         Check the syntax only, doesn't create/launch the executable\n",
    "  /PREPROCESS, -pp, --preprocess \"Filename\"\n",
    "                              Creates a single file with all macros expanded and all sources files\n",
    "  /LISTSTRUCTURES, -ls, --liststructures\n",
    "                              Creates a file with all the built-in structures\n",
    "  /LISTFUNCTIONS, -lf, --listfunctions\n",
    "                              Creates a file with all the built-in zandrel commands\n",
    "  /LISTINTERFACES, -li, --listinterfaces\n",
    "                              Creates a file with all the built-in interfaces\n",
    "  /QUERYSTRUCTURE, -qs, --querystructure \"name\"\n",
    "                              Creates a file with the structure definition\n",
    "  /LANGUAGE, -g, --language \"Language\"\n",
    "                              Uses the specified language for the compiler\n",
    "  /VERSION, -v, --version     Display the version of the compiler\n",
    "\n",
    "Windows specific options:\n",
    "  /DLL                 Create a DLL\n",
    "  /CONSOLE             Create a console executable\n",
    "  /ICON \"Filename\"     Add an icon to the executable\n",
    "  /RESOURCE \"Filename\" Add a resource file (.rc) to the executable\n",
    "  /LINKER \"Filename\"   Specify a commands file to be passed to the linker\n",
    "  /XP:                 Add the Windows XP theme support to the executable\n",
    "  /DPIAWARE            Enable DPI support to the executable\n",
    "  /DLLPROTECTION       Enable safe mode to avoid DLL preloading attacks\n",
    "  /USER                Add the 'User' hint to the executable (Windows Vista)\n",
    "  /ADMINISTRATOR       Add the 'Administrator' hint to the executable (Windows Vista and above)\n",
    "  /MMX, /3DNOW, /SSE or /SSE2\n",
    "                       Create a processor specific executable\n",
    "  /DYNAMICCPU          Create a executable containing all processor specific routines\n",
};

const char* const quick_help_hint = "Type 'zdcompiler /?' for quick help.\n";

// ASCII-only case-insensitive equality (the C locale).
bool equal_ignoring_case(const char* a, const char* b)
{
    for (;; a++, b++) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

const SwitchForm* find_switch(const char* argument)
{
    for (const SwitchForm& entry : switch_table) {
        for (const char* form : entry.forms) {
            if (!form) break;
            if (equal_ignoring_case(argument, form)) return &entry;
        }
    }
    return nullptr;
}

// Banner, then one of the stop messages.
void print_stop_message(const char* text)
{
    std::printf("%s", backend->banner);
    std::printf("%s", text);
    std::printf("%s", quick_help_hint);
}

void add_subsystem_name(const char* name)
{
    // Appended at the tail: the cursor of a list is parked on its last element
    // after a full walk.
    list_reset_cursor(subsystem_list);
    while (list_next(subsystem_list)) {
    }
    char** slot = reinterpret_cast<char**>(static_cast<ListNode*>(list_add(subsystem_list)) + 1);
    *slot = permanent_pool_strdup(name);
}

}  // namespace

void set_default_options()
{
    source_file = nullptr;
    standby_mode = 0;
    quiet_mode = 0;
    commented_output = 0;
    debugger_enabled = 0;
    thread_safe = 0;
    output_file = nullptr;
    resident_file = nullptr;
    ignored_resident = nullptr;
    icon_file = nullptr;
    import_file = nullptr;
    windows_import_file = nullptr;
    resource_file = nullptr;
    linker_file = nullptr;
    language_name = nullptr;
    test_file = nullptr;
    preprocess_file = nullptr;
    query_structure_name = nullptr;
    resident_mode = 0;
    import_mode = 0;
    windows_import_mode = 0;
    xp_skin = 0;
    dll_protection = 0;
    dpi_aware = 0;
    run_as_user = 0;
    run_as_administrator = 0;
    dll_mode = 0;
    console_mode = 0;
    line_numbering = 0;
    check_syntax_only = 0;
    optimizer_enabled = 0;
    test_file_mode = 0;
    list_structures_mode = 0;
    list_functions_mode = 0;
    list_interfaces_mode = 0;
    query_structure_mode = 0;
    reassemble_mode = 0;
    purifier_enabled = 0;
    cpu_mode = 0;
    executable_subsystem_name = "Windows";
}

void print_help()
{
    for (const char* line : help_lines) std::printf("%s", line);
}

int parse_command_line(int argc, char** argv)
{
    set_default_options();

    if (argc < 2) {
        print_stop_message("A source filename need to be specified.\n");
        return 0;
    }

    int answer = 1;
    bool version_seen = false;
    bool preprocess_seen = false;

    for (int i = 1; i < argc && answer; i++) {
        char* argument = argv[i];
        if (argument[0] != '/' && argument[0] != '-') {
            source_file = argument;
            continue;
        }
        const SwitchForm* entry = find_switch(argument);
        if (!entry) {
            std::printf("%s: Unknown switch\n", argument);
            answer = 0;
            break;
        }
        // A value switch takes the next argument whatever it looks like.
        char* value = nullptr;
        if (entry->takes_value && i + 1 < argc) value = argv[++i];

        switch (entry->id) {
        case SW_STANDBY: standby_mode = 1; quiet_mode = 1; break;
        case SW_QUIET: quiet_mode = 1; break;
        case SW_COMMENTED: commented_output = 1; break;
        case SW_DEBUGGER: debugger_enabled = 1; break;
        case SW_UNICODE: break;
        case SW_THREAD: thread_safe = 1; break;
        case SW_OUTPUT: output_file = value; break;
        case SW_RESIDENT: resident_file = value; resident_mode = 1; break;
        case SW_IGNORERESIDENT: ignored_resident = value; break;
        case SW_VERSION: version_seen = true; break;
        case SW_CONSTANT: answer = define_constant_option(argument, value, answer); break;
        case SW_ICON: icon_file = value; break;
        case SW_REASM: reassemble_mode = 1; break;
        case SW_XP: xp_skin = 1; break;
        case SW_DLLPROTECTION: dll_protection = 1; break;
        case SW_DPIAWARE: dpi_aware = 1; break;
        case SW_USER: run_as_user = 1; break;
        case SW_ADMINISTRATOR: run_as_administrator = 1; break;
        case SW_IMPORT: import_file = value; import_mode = 1; break;
        case SW_WINDOWSIMPORT: windows_import_file = value; windows_import_mode = 1; break;
        case SW_RESOURCE: resource_file = value; break;
        case SW_SUBSYSTEM:
            if (value) add_subsystem_name(value);
            else console_print("Error: a subsystem name needs to be specified.\n");
            break;
        case SW_DLL: dll_mode = 1; break;
        case SW_CONSOLE: console_mode = 1; executable_subsystem_name = "Console"; break;
        case SW_MMX: cpu_mode = cpu_mode_mmx; break;
        case SW_3DNOW: cpu_mode = cpu_mode_3dnow; break;
        case SW_SSE: cpu_mode = cpu_mode_sse; break;
        case SW_SSE2: cpu_mode = cpu_mode_sse2; break;
        case SW_DYNAMICCPU: cpu_mode = cpu_mode_dynamic; break;
        case SW_LINENUMBERING: line_numbering = 1; break;
        case SW_LINKER: linker_file = value; break;
        case SW_LANGUAGE:
            // Without a language name there is no catalog to look for.
            language_name = value;
            if (value) load_catalog();
            break;
        case SW_CREATETESTFILE: test_file = value; test_file_mode = 1; break;
        case SW_PURIFIER: purifier_enabled = 1; break;
        case SW_CHECK: check_syntax_only = 1; break;
        case SW_PREPROCESS: preprocess_file = value; preprocess_seen = true; break;
        case SW_OPTIMIZER: optimizer_enabled = 1; break;
        case SW_LISTSTRUCTURES: list_structures_mode = 1; break;
        case SW_LISTFUNCTIONS: list_functions_mode = 1; break;
        case SW_LISTINTERFACES: list_interfaces_mode = 1; break;
        case SW_QUERYSTRUCTURE: query_structure_name = value; query_structure_mode = 1; break;
        case SW_HELP: print_help(); answer = 0; break;
        }
    }

    // The checks after the walk run also when the walk stopped; each message stops.
    if (version_seen) {
        std::printf("%s", backend->banner);
        return 0;
    }
    bool list_mode = list_structures_mode || list_functions_mode || list_interfaces_mode ||
                     query_structure_mode;
    if (!source_file && answer && !reassemble_mode && !standby_mode) {
        if (test_file_mode && !test_file) {
            print_stop_message("A filename need to be specified after /CREATETESTFILE.\n");
            return 0;
        }
        if (!test_file_mode && !list_mode) {
            print_stop_message("A source filename need to be specified.\n");
            return 0;
        }
    }
    if (preprocess_seen && !preprocess_file) {
        print_stop_message("A filename need to be specified after /PREPROCESS.\n");
        return 0;
    }
    if (reassemble_mode && !source_file) {
        print_stop_message("A source filename needs to be specified when using /REASM.\n");
        return 0;
    }
    if (list_mode && !output_file) {
        const char* name = list_structures_mode  ? "/LISTSTRUCTURES"
                           : list_functions_mode ? "/LISTFUNCTIONS"
                           : list_interfaces_mode ? "/LISTINTERFACES"
                                                  : "/QUERYSTRUCTURE";
        std::printf("%s", backend->banner);
        std::printf("A filename needs to be specified when using %s.\n", name);
        std::printf("%s", quick_help_hint);
        return 0;
    }

    // A mode switch whose value was missing at the end of the line: its mode
    // would later use the null text as a path or a name.
    const char* missing = nullptr;
    if (resident_mode && !resident_file) missing = "/RESIDENT";
    else if (import_mode && !import_file) missing = "/IMPORT";
    else if (windows_import_mode && !windows_import_file) missing = "/WINDOWSIMPORT";
    else if (test_file_mode && !test_file) missing = "/CREATETESTFILE";
    else if (query_structure_mode && !query_structure_name) missing = "/QUERYSTRUCTURE";
    if (missing) {
        std::printf("%s", backend->banner);
        std::printf("A filename need to be specified after %s.\n", missing);
        std::printf("%s", quick_help_hint);
        return 0;
    }

    return answer;
}
