// Library descriptor parser: reads a "*.desc" file line by line, evaluates
// its conditional blocks against the /CONSTANT names, and builds the sorted
// function list that the writer stores in the library file.
#include "forge/forge.h"
#include "forge/library_format.h"
#include "platform/platform.h"

#include <cstring>

DescriptorState Descriptor;
std::vector<std::string> DefinedConstants;

// Index of the base record of the definition being parsed and of its last variant.
static size_t base_index = 0;
static size_t current_index = 0;

// ---------------------------------------------------------------------------
// Small text helpers (ASCII case rules, as names are compared bytewise).

static std::string to_upper_text(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

static std::string to_lower_text(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

static std::string trim_blanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Reads a decimal count the lenient way: leading blanks, an optional sign and
// the digits up to the first other character; no digits gives 0.
static long long parse_count(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') i++;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < 1000000000LL) value = value * 10 + (text[i] - '0');
        i++;
    }
    return negative ? -value : value;
}

// ---------------------------------------------------------------------------
// Messages.

void DescriptorError(const std::string& text)
{
    ShowMessage(LibName + ".desc", "Error at line " + std::to_string(Descriptor.line_number) + ": " + text);
    ErrorFlag = true;
}

void Warn(const std::string& text)
{
    ShowMessage("Warning", "Line " + std::to_string(Descriptor.line_number) + ": " + text);
}

void WarnOrLog(const std::string& text)
{
    if (BatchMode) WriteLog(text);
    else Warn(text);
}

// ---------------------------------------------------------------------------
// Constants of the conditional lines.

bool IsConstantDefined(const std::string& name)
{
    std::string upper = to_upper_text(name);
    for (const std::string& constant : DefinedConstants)
        if (constant == upper) return true;
    return false;
}

void DefineConstant(const std::string& name)
{
    if (!IsConstantDefined(name)) DefinedConstants.push_back(to_upper_text(name));
}

// ---------------------------------------------------------------------------
// Line reader.

void ResetDescriptorState()
{
    // The conditional state too: a descriptor that ended inside a false
    // branch must not hide the lines of the next one.
    Descriptor = DescriptorState();
    LibName.clear();
    ErrorFlag = false;
    base_index = 0;
    current_index = 0;
}

// The next raw line (CR LF, LF or CR ends it), cut at a NUL byte; false at the end.
static bool read_raw_line(std::string& line)
{
    DescriptorState& d = Descriptor;
    if (d.position >= d.text.size()) return false;
    size_t end = d.text.find_first_of("\r\n", d.position);
    if (end == std::string::npos) end = d.text.size();
    line.assign(d.text, d.position, end - d.position);
    if (end < d.text.size() && d.text[end] == '\r' && end + 1 < d.text.size() && d.text[end + 1] == '\n') end++;
    d.position = end + 1;
    size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    return true;
}

std::string ReadDescriptorLine()
{
    DescriptorState& d = Descriptor;
    std::string line;
    while (read_raw_line(line)) {
        d.line_number++;
        for (char& c : line)
            if (c == '\t') c = ' ';
        line = trim_blanks(line);
        if (line.empty() || line[0] == ';') continue;

        std::string upper = to_upper_text(line);
        if (upper.compare(0, 11, "COMPILERIF ") == 0) {
            d.saved_active.push_back(d.active);
            if (d.active) d.active = IsConstantDefined(trim_blanks(line.substr(11)));
            continue;
        }
        if (upper == "COMPILERELSE") {
            if (d.saved_active.empty()) DescriptorError("'CompilerElse' without 'CompilerIf'.");
            else if (d.saved_active.back()) d.active = !d.active;
            continue;
        }
        if (upper == "COMPILERENDIF") {
            if (d.saved_active.empty()) {
                DescriptorError("'CompilerEndIf' without 'CompilerIf'.");
            } else {
                d.active = d.saved_active.back();
                d.saved_active.pop_back();
            }
            continue;
        }
        if (!d.active) continue;
        return line;
    }
    return std::string();
}

// ---------------------------------------------------------------------------
// Argument types and flags.

struct KeywordCode {
    const char* keyword;
    uint8_t code;
    uint8_t extra;   // byte stored after the code, 0 for none
};

static const KeywordCode argument_keywords[] = {
    {"BYTE", LIBRARY_ARG_BYTE, 0},
    {"WORD", LIBRARY_ARG_WORD, 0},
    {"LONG", LIBRARY_ARG_LONG, 0},
    {"FLOAT", LIBRARY_ARG_FLOAT, 0},
    {"STRING", LIBRARY_ARG_STRING, 0},
    {"ARRAY", LIBRARY_ARG_ARRAY, 0},
    {"LINKEDLIST", LIBRARY_ARG_LINKEDLIST, 0},
    {"MAP", LIBRARY_ARG_MAP, 0},
    {"ANY", LIBRARY_ARG_ANY, 0},
    {"DOUBLE", LIBRARY_ARG_DOUBLE, 0},
    {"QUAD", LIBRARY_ARG_QUAD, 0},
    {"STRUCTURE", LIBRARY_ARG_STRUCTURE, LIBRARY_ARG_STRUCTURE_EXTRA},
    {"RUNTIMEARRAY", LIBRARY_ARG_RUNTIMEARRAY, LIBRARY_ARG_RUNTIMEARRAY_EXTRA},
    {"RUNTIMELIST", LIBRARY_ARG_RUNTIMELIST, LIBRARY_ARG_RUNTIMELIST_EXTRA},
    {"RUNTIMEMAP", LIBRARY_ARG_RUNTIMEMAP, LIBRARY_ARG_RUNTIMEMAP_EXTRA},
    {"RUNTIMESTRUCTURE", LIBRARY_ARG_RUNTIMESTRUCTURE, LIBRARY_ARG_RUNTIMESTRUCTURE_EXTRA},
};

static const KeywordCode* find_argument_keyword(const std::string& parameter)
{
    std::string upper = to_upper_text(parameter);
    for (const KeywordCode& entry : argument_keywords)
        if (upper == entry.keyword) return &entry;
    return nullptr;
}

uint8_t ParseArgumentType(const std::string& parameter)
{
    const KeywordCode* entry = find_argument_keyword(parameter);
    if (!entry) {
        DescriptorError("'" + parameter + "' is not a valid argument type");
        return 0;
    }
    return entry->code;
}

struct FlagKeyword {
    const char* keyword;
    uint32_t bits;
};

static const FlagKeyword flag_keywords[] = {
    {"DEBUGGERCHECK", LIBRARY_FLAG_DEBUGGERCHECK},
    {"BYTE", LIBRARY_FLAG_BYTE},
    {"LONG", LIBRARY_FLAG_LONG},
    {"FLOAT", LIBRARY_FLAG_FLOAT},
    {"STRING", LIBRARY_FLAG_STRING},
    {"INITFUNCTION", LIBRARY_FLAG_INITFUNCTION},
    {"ENDFUNCTION", LIBRARY_FLAG_ENDFUNCTION},
    {"LAST", LIBRARY_FLAG_LAST},
    {"STDCALL", LIBRARY_FLAG_STDCALL},
    {"MMX", LIBRARY_FLAG_MMX | LIBRARY_FLAG_PROCESSOR},
    {"SSE", LIBRARY_FLAG_SSE | LIBRARY_FLAG_PROCESSOR},
    {"SSE2", LIBRARY_FLAG_SSE2 | LIBRARY_FLAG_PROCESSOR},
    {"3DNOW", LIBRARY_FLAG_3DNOW | LIBRARY_FLAG_PROCESSOR},
    {"CDECL", LIBRARY_FLAG_CDECL},
    {"VIRTUAL", LIBRARY_FLAG_VIRTUAL},
    {"THREAD", LIBRARY_FLAG_THREAD},
    {"UNICODE", LIBRARY_FLAG_UNICODE},
    {"PARALLEL", LIBRARY_FLAG_PARALLEL},
    {"NOUNICODE", 0},
    {"ASSEMBLY", LIBRARY_FLAG_ASSEMBLY},
    {"DOUBLE", LIBRARY_FLAG_DOUBLE},
    {"QUAD", LIBRARY_FLAG_QUAD},
    {"DEPRECATED", LIBRARY_FLAG_DEPRECATED},
    {"PURIFIER", LIBRARY_FLAG_PURIFIER},
    {"NONE", 0},
    {"WORD", 0},
};

// ---------------------------------------------------------------------------
// Function list.

// Raises the duplicate error when a function of that name (ignoring ASCII
// case) is already listed. The whole list is searched: variants sit right
// after their base, so the list is not strictly sorted.
static bool check_name_is_new(const std::string& name)
{
    std::string lower = to_lower_text(name);
    for (const ForgeFunction& function : Descriptor.functions) {
        if (to_lower_text(function.name) == lower) {
            DescriptorError("Duplicate function name detected: " + function.name);
            return false;
        }
    }
    return true;
}

// Returns the sorted insertion position of a new function: before the first
// function whose lower-cased name is not smaller, or at the end.
static size_t CheckDuplicateFunction(const std::string& name)
{
    if (!check_name_is_new(name)) return 0;
    std::string lower = to_lower_text(name);
    const std::vector<ForgeFunction>& functions = Descriptor.functions;
    for (size_t i = 0; i < functions.size(); i++)
        if (to_lower_text(functions[i].name) >= lower) return i;
    return functions.size();
}

static void add_argument(ForgeFunction& function, const std::string& parameter)
{
    uint8_t code = ParseArgumentType(parameter);
    if (ErrorFlag) return;
    const KeywordCode* entry = find_argument_keyword(parameter);
    size_t bytes = entry->extra ? 2 : 1;
    if (function.argument_types.size() + bytes > static_cast<size_t>(LIBRARY_MAX_ARGUMENT_BYTES)) {
        DescriptorError("The function " + function.name + "() has too many arguments (at most " +
                        std::to_string(LIBRARY_MAX_ARGUMENT_BYTES) + " argument bytes)");
        return;
    }
    function.argument_types.push_back(code);
    if (entry->extra) function.argument_types.push_back(entry->extra);
    if (code == LIBRARY_ARG_STRING) Descriptor.uses_strings = true;
}

static void parse_definition_line(std::string line)
{
    DescriptorState& d = Descriptor;
    std::string help;
    size_t paren = line.find('(');
    if (paren != std::string::npos) {
        help = line.substr(paren);
        line = trim_blanks(line.substr(0, paren));
    }
    size_t comma = line.find(',');
    std::string name = trim_blanks(comma == std::string::npos ? line : line.substr(0, comma));
    std::string rest = comma == std::string::npos ? std::string() : line.substr(comma + 1);
    if (name.empty() || name.find(' ') != std::string::npos) {
        DescriptorError("Syntax error");
        return;
    }
    size_t position = CheckDuplicateFunction(name);
    if (ErrorFlag) return;

    ForgeFunction function;
    function.name = name;
    function.help = help;
    d.functions.insert(d.functions.begin() + static_cast<std::ptrdiff_t>(position), function);
    base_index = current_index = position;
    d.variant_counter = 1;
    d.uses_strings = false;
    d.no_unicode = false;

    while (!rest.empty()) {
        size_t first = rest.find_first_not_of(' ');
        if (first == std::string::npos) break;
        rest.erase(0, first);
        std::string parameter;
        size_t next = rest.find(',');
        if (next != std::string::npos) {
            parameter = trim_blanks(rest.substr(0, next));
            rest.erase(0, next + 1);
            if (!parameter.empty() && parameter.back() == ']') parameter.pop_back();
            if (!parameter.empty() && parameter[0] == '[') {
                d.variant_counter++;
                std::string variant_name = name + std::to_string(d.variant_counter);
                if (!check_name_is_new(variant_name)) return;
                ForgeFunction variant;
                variant.name = variant_name;
                variant.flags = LIBRARY_FLAG_VARIANT;
                variant.argument_types = d.functions[current_index].argument_types;
                current_index++;
                d.functions.insert(d.functions.begin() + static_cast<std::ptrdiff_t>(current_index), variant);
                parameter.erase(0, 1);
            }
        } else {
            parameter = rest;
            rest.clear();
        }
        add_argument(d.functions[current_index], parameter);
        if (ErrorFlag) return;
    }
}

static void parse_flags_line(const std::string& line)
{
    DescriptorState& d = Descriptor;
    std::string upper = to_upper_text(line);
    uint32_t flags = 0;
    size_t start = 0;
    for (;;) {
        size_t bar = upper.find('|', start);
        std::string token = trim_blanks(upper.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        const FlagKeyword* found = nullptr;
        for (const FlagKeyword& entry : flag_keywords)
            if (token == entry.keyword) found = &entry;
        if (!found) {
            DescriptorError("'" + token + "' is not a valid result");
            return;
        }
        flags |= found->bits;
        if (token == "NOUNICODE") d.no_unicode = true;
        if (bar == std::string::npos) break;
        start = bar + 1;
    }

    if (d.uses_strings && !(flags & LIBRARY_FLAG_UNICODE) && !d.no_unicode && !NoUnicodeWarningFlag)
        Warn("The function " + d.functions[current_index].name + "() uses strings, so need to support the 'Unicode' flag");

    d.functions[base_index].flags = flags;
    for (size_t i = base_index + 1; i <= current_index; i++) d.functions[i].flags = LIBRARY_FLAG_VARIANT | flags;

    if (!(flags & (LIBRARY_FLAG_DEBUGGERCHECK | LIBRARY_FLAG_INITFUNCTION | LIBRARY_FLAG_ENDFUNCTION)))
        WarnOrLog(d.functions[base_index].name + ": no debugger routine");
}

// ---------------------------------------------------------------------------
// Descriptor layout.

static void read_name_list(std::vector<std::string>& names)
{
    long long count = parse_count(ReadDescriptorLine());
    if (count > LIBRARY_MAX_NAME_COUNT) {
        DescriptorError("Too many library names (" + std::to_string(count) + "), at most " +
                        std::to_string(LIBRARY_MAX_NAME_COUNT) + " are allowed");
        return;
    }
    for (long long i = 0; i < count; i++) {
        std::string name = ReadDescriptorLine();
        if (name.empty()) {
            DescriptorError("End of file reached, missing library names.");
            return;
        }
        names.push_back(name);
    }
}

void ParseDescriptorText(const std::string& text)
{
    DescriptorState& d = Descriptor;
    d.text = text;
    d.position = 0;
    if (d.text.compare(0, 3, "\xEF\xBB\xBF") == 0) d.position = 3;

    std::string language = to_upper_text(ReadDescriptorLine());
    if (language == "C") d.language = LIBRARY_LANGUAGE_C;
    else if (language == "ASM") d.language = LIBRARY_LANGUAGE_ASM;
    else DescriptorError("Library type must be 'C' or 'ASM'");

    read_name_list(d.link_libraries);

    std::string object_type = to_upper_text(ReadDescriptorLine());
    if (object_type == "OBJ") d.object_type = LIBRARY_OBJECT_OBJ;
    else if (object_type == "LIB") d.object_type = LIBRARY_OBJECT_LIB;
    else DescriptorError("Object type must be 'OBJ' or 'LIB'");

    read_name_list(d.needed_libraries);
    d.help_line = ReadDescriptorLine();

    WriteLog("---------------- " + LibName + " ------------------------");
    while (!ErrorFlag) {
        std::string definition = ReadDescriptorLine();
        if (definition.empty() || ErrorFlag) break;
        parse_definition_line(definition);
        if (ErrorFlag) break;
        std::string flags = ReadDescriptorLine();
        if (ErrorFlag) break;
        parse_flags_line(flags);
    }

    // Only an end of file inside a false branch leaves the flag clear.
    if (!d.active) DescriptorError("End of file reached, missing 'CompilerEndIf'.");
    d.text.clear();
}

void ParseDescriptor()
{
    std::string text;
    if (!os_read_file(DescFile.c_str(), text)) {
        ShowMessage("Error", "Can't open the FD file !");
        ErrorFlag = true;
        return;
    }
    ParseDescriptorText(text);
    if (!ErrorFlag) WriteLibrary();
}
