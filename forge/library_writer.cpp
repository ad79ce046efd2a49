// Library file writer: the parsed descriptor plus the library's object files
// become one library file in the destination folder (format: library_format.h).
#include "forge/forge.h"
#include "forge/library_format.h"
#include "platform/platform.h"

#include <cstdio>
#include <zlib.h>

// The extension in "Can't open the main <extension>: <path>" keeps its dot.
static const char* object_extension(uint8_t object_type)
{
    return object_type == LIBRARY_OBJECT_LIB ? ".lib" : ".obj";
}

static void put_u8(std::string& out, uint8_t value)
{
    out.push_back(static_cast<char>(value));
}

static void put_u32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; i++) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

static void patch_u32(std::string& out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; i++) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A text up to its first NUL, then the NUL.
static void put_text(std::string& out, const std::string& text)
{
    out.append(text.c_str());
    out.push_back('\0');
}

static void put_name_list(std::string& out, const std::vector<std::string>& names)
{
    put_u8(out, static_cast<uint8_t>(names.size()));
    for (const std::string& name : names) put_text(out, name);
}

std::string BuildLibraryHeader(uint32_t options)
{
    const DescriptorState& d = Descriptor;
    std::string out;
    put_u32(out, LIBRARY_TAG_ZAND);
    put_u32(out, 0);
    put_u32(out, LIBRARY_TAG_LIB4);
    put_u32(out, options);
    put_u32(out, 0);
    put_text(out, LibName);
    put_u8(out, d.language);
    put_name_list(out, d.link_libraries);
    put_u8(out, d.object_type);
    put_text(out, d.help_line);
    put_name_list(out, d.needed_libraries);
    for (const ForgeFunction& function : d.functions) {
        put_text(out, function.name);
        put_u8(out, static_cast<uint8_t>(function.argument_types.size()));
        out.append(reinterpret_cast<const char*>(function.argument_types.data()), function.argument_types.size());
        put_u32(out, function.flags);
        put_text(out, function.help);
    }
    patch_u32(out, LIBRARY_OFFSET_HEADER_SIZE, static_cast<uint32_t>(out.size() - LIBRARY_CHUNK_HEAD_SIZE));
    return out;
}

static void put_chunk_head(std::string& out, uint32_t type, uint32_t size)
{
    put_u32(out, LIBRARY_TAG_ZAND);
    put_u32(out, size);
    put_u32(out, type);
}

// Chunk sizes are 32-bit: anything of 4 GiB or more can't be stored.
static bool fits_chunk(size_t size)
{
    return size <= 0xFFFFFFFFull;
}

static void report_write_failure(const std::string& path)
{
    ShowMessage("Error", "Can't create the library file:\n" + path);
    ErrorFlag = true;
}

void WriteLibrary()
{
    const DescriptorState& d = Descriptor;
    std::string path = DestinationPath + LibName;
    FILE* file = os_fopen(path.c_str(), "wb");
    if (!file) {
        report_write_failure(path);
        return;
    }

    std::string image = BuildLibraryHeader(ForgeOptions);
    bool ok = fits_chunk(image.size() - LIBRARY_CHUNK_HEAD_SIZE);

    const char* extension = object_extension(d.object_type);
    std::string object_path = SourcePath + LibName + extension;
    std::string object;
    if (ok && !os_read_file(object_path.c_str(), object)) {
        // The library is still written, without its code: the run failed.
        ShowMessage("Error", std::string("Can't open the main ") + extension + ": " + object_path);
        RunFailed = true;
    } else if (ok) {
        ok = fits_chunk(object.size());
        std::string packed;
        if (ok && (ForgeOptions & LIBRARY_OPTION_COMPRESSED)) {
            // The compressed data must fit in a buffer as large as the input.
            uLongf packed_size = static_cast<uLongf>(object.size());
            packed.resize(object.size());
            if (compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                         reinterpret_cast<const Bytef*>(object.data()), static_cast<uLong>(object.size())) == Z_OK) {
                packed.resize(packed_size);
                patch_u32(image, LIBRARY_OFFSET_UNPACKED_SIZE, static_cast<uint32_t>(object.size()));
                object.swap(packed);
            } else {
                patch_u32(image, LIBRARY_OFFSET_OPTIONS, ForgeOptions & ~LIBRARY_OPTION_COMPRESSED);
            }
        }
        if (ok) {
            put_chunk_head(image, LIBRARY_TAG_DAT1, static_cast<uint32_t>(object.size()));
            image.append(object);
        }
    }
    object.clear();
    object.shrink_to_fit();

    if (ok && d.object_type == LIBRARY_OBJECT_OBJ) {
        std::string debug_path = SourcePath + LibName + "_DEBUG.obj";
        std::string debug;
        if (os_read_file(debug_path.c_str(), debug)) {
            ok = fits_chunk(debug.size());
            if (ok) {
                put_chunk_head(image, LIBRARY_TAG_DBG1, static_cast<uint32_t>(debug.size()));
                image.append(debug);
            }
        }
    }

    if (ok) {
        std::string variant_path = SourcePath + LibName + "_nt" + extension;
        std::string variant;
        if (os_read_file(variant_path.c_str(), variant)) {
            ok = fits_chunk(variant.size());
            if (ok) {
                put_chunk_head(image, LIBRARY_TAG_NT41, static_cast<uint32_t>(variant.size()));
                image.append(variant);
                image.append((4 - variant.size() % 4) % 4, '\0');
            }
        }
    }

    if (ok) ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        os_delete_file(path.c_str());
        report_write_failure(path);
    }
}
