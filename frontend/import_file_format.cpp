#include "frontend/import_file_format.h"

#include <cstring>

namespace {

constexpr uint8_t string_type_code = 8;
constexpr int16_t max_parameters = 255;

void put_u32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; i++) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_u16(std::string& out, int16_t value)
{
    uint16_t bits = static_cast<uint16_t>(value);
    out.push_back(static_cast<char>(bits & 0xFF));
    out.push_back(static_cast<char>(bits >> 8));
}

void put_text(std::string& out, const std::string& text)
{
    out.append(text.c_str());  // stops at an embedded NUL, as the reader would
    out.push_back(0);
}

// Bounds-checked reading of the payload.
struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    bool ok = true;

    bool text(std::string& out)
    {
        const void* nul = ok ? std::memchr(at, 0, static_cast<size_t>(end - at)) : nullptr;
        if (!nul) return ok = false;
        const uint8_t* stop = static_cast<const uint8_t*>(nul);
        out.assign(reinterpret_cast<const char*>(at), static_cast<size_t>(stop - at));
        at = stop + 1;
        return true;
    }
    uint32_t u32()
    {
        if (!ok || end - at < 4) {
            ok = false;
            return 0;
        }
        uint32_t v = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
        at += 4;
        return v;
    }
    int16_t i16()
    {
        if (!ok || end - at < 2) {
            ok = false;
            return 0;
        }
        int16_t v = static_cast<int16_t>(uint16_t(at[0]) | uint16_t(at[1]) << 8);
        at += 2;
        return v;
    }
    uint64_t u64()
    {
        uint64_t low = u32();
        uint64_t high = u32();
        return low | high << 32;
    }
    uint8_t u8()
    {
        if (!ok || at >= end) {
            ok = false;
            return 0;
        }
        return *at++;
    }
};

uint32_t read_u32_at(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::string build_import_file(const std::string& library_name, const std::vector<ImportFunctionSpec>& functions)
{
    std::string out;
    put_u32(out, IMPORT_TAG_ZAND);
    put_u32(out, 0);
    put_u32(out, IMPORT_TAG_IMP1);
    put_u32(out, IMPORT_TAG_PROC);
    put_u32(out, 0);
    put_text(out, library_name);
    for (const ImportFunctionSpec& f : functions) {
        put_text(out, f.name);
        put_text(out, f.symbol);
        put_text(out, f.parameter_text);
        put_u32(out, f.flags);
        put_u32(out, f.second_flags);
        put_u16(out, f.stack_size);
        put_u16(out, f.string_parameter_count);
        put_u16(out, f.pseudo_parameter_count);
        put_u16(out, static_cast<int16_t>(f.parameter_types.size()));
        put_u16(out, f.optional_parameter_count);
        for (uint8_t type : f.parameter_types) out.push_back(static_cast<char>(type));
        // The defaults belong to the last parameters, in order.
        size_t count = f.parameter_types.size();
        size_t optional = static_cast<size_t>(f.optional_parameter_count);
        for (size_t i = 0; i < optional && i < f.defaults.size() && optional <= count; i++) {
            uint8_t type = f.parameter_types[count - optional + i];
            if (type == string_type_code) {
                put_text(out, f.defaults[i].text);
            } else {
                put_u32(out, static_cast<uint32_t>(f.defaults[i].value));
                put_u32(out, static_cast<uint32_t>(static_cast<uint64_t>(f.defaults[i].value) >> 32));
            }
        }
    }
    uint32_t payload = static_cast<uint32_t>(out.size() - IMPORT_HEADER_SIZE);
    for (int i = 0; i < 4; i++) out[16 + i] = static_cast<char>((payload >> (8 * i)) & 0xFF);
    return out;
}

bool parse_import_file(const uint8_t* data, size_t size, std::string& library_name,
                       std::vector<ImportFunctionSpec>& functions)
{
    functions.clear();
    if (size < IMPORT_HEADER_SIZE || read_u32_at(data) != IMPORT_TAG_ZAND || read_u32_at(data + 8) != IMPORT_TAG_IMP1 ||
        read_u32_at(data + 12) != IMPORT_TAG_PROC) {
        return false;
    }
    uint64_t payload = read_u32_at(data + 16);
    if (payload > size - IMPORT_HEADER_SIZE) return false;
    Reader reader{data + IMPORT_HEADER_SIZE, data + IMPORT_HEADER_SIZE + payload};
    if (!reader.text(library_name)) return false;
    while (reader.ok && reader.at < reader.end) {
        ImportFunctionSpec f;
        reader.text(f.name);
        reader.text(f.symbol);
        reader.text(f.parameter_text);
        f.flags = reader.u32();
        f.second_flags = reader.u32();
        f.stack_size = reader.i16();
        f.string_parameter_count = reader.i16();
        f.pseudo_parameter_count = reader.i16();
        int16_t count = reader.i16();
        f.optional_parameter_count = reader.i16();
        if (count < 0 || count > max_parameters || f.optional_parameter_count < 0 ||
            f.optional_parameter_count > count) {
            reader.ok = false;
            break;
        }
        for (int i = 0; i < count; i++) f.parameter_types.push_back(reader.u8());
        for (int i = 0; reader.ok && i < f.optional_parameter_count; i++) {
            ImportDefault value{0, std::string()};
            uint8_t type = f.parameter_types[static_cast<size_t>(count - f.optional_parameter_count + i)];
            if (type == string_type_code) reader.text(value.text);
            else value.value = static_cast<int64_t>(reader.u64());
            f.defaults.push_back(value);
        }
        if (reader.ok) functions.push_back(std::move(f));
    }
    if (!reader.ok) {
        functions.clear();
        return false;
    }
    return true;
}
