// Message catalogs: the input is the catalog of a language, loaded as
// /LANGUAGE loads it; every message whose arguments are texts is then
// formatted from the catalog, a program with an error is checked so that
// the error is reported with the catalog's text, and the English texts come
// back.
#include <cstring>
#include <filesystem>
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/catalog.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "fuzz_support.h"

namespace {

char language[] = "Fuzzish";

// True when every conversion of the English text is "%s" (at most three).
bool takes_texts_only(const char* text)
{
    int count = 0;
    for (const char* p = std::strchr(text, '%'); p; p = std::strchr(p + 2, '%')) {
        if (p[1] == '%') continue;
        if (p[1] != 's' || ++count > 3) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    std::filesystem::create_directories(fuzz::private_folder() + "catalogs/" + language);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string saved_home = home_folder;
    fuzz::write_input((std::string("catalogs/") + language + "/compiler.catalog").c_str(), data, size);
    home_folder = fuzz::private_folder();
    language_name = language;
    load_catalog();
    home_folder = saved_home;
    for (int n = ERROR_SYNTAX; n < message_table_size; n++) {
        if (!takes_texts_only(english_message_text(n))) continue;
        set_error_format(n, "first", "second", "third");
        clear_error_state();
    }
    static const char program[] = "x = (1\nIncludeFile \"none.zd\"\n";
    fuzz::compile_text(reinterpret_cast<const uint8_t*>(program), sizeof program - 1, true);
    clear_catalog();
    language_name = nullptr;
    return 0;
}
