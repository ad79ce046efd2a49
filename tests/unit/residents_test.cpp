// Resident files: a /RESIDENT write loaded back (structures with their
// containers, interfaces, constants of every kind, macros), the constant
// kinds on disk, pseudo-types, conflicts between residents, and damaged
// files, which stop with an error naming the file.
#include <cstring>
#include <fstream>
#include <string>
#include <strings.h>
#include <vector>

#include "frontend/labels.h"
#include "frontend/residents.h"
#include "frontend/structures.h"
#include "preprocess_test_support.h"

namespace {

// Every name declared here starts with "Rt" so that the test can take its
// residents out of the process-wide tables again.
bool is_test_name(const char* key)
{
    return strncasecmp(key, "Rt", 2) == 0;
}

void remove_test_entries(HashTable* table)
{
    if (!table) return;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        if (!is_test_name(entry->key)) continue;
        hash_unlink_current(table);
        hash_free_entry(table, entry);
    }
}

class ResidentsTest : public PreprocessTest {
protected:
    void SetUp() override
    {
        PreprocessTest::SetUp();
        // Label lists left by earlier tests would be checked at the end of
        // these compilations; a full compilation makes them anew as well.
        compiler_reset();
        create_label_lists();
    }

    void TearDown() override
    {
        forget_test_entries();
        PreprocessTest::TearDown();
    }

    static const std::vector<HashTable*> tables()
    {
        return {structure_table, resident_structure_table, constants_table, macro_table,
                resident_macro_table, prototype_table, resident_prototype_table};
    }

    static void forget_test_entries()
    {
        compiler_reset();
        for (HashTable* table : tables()) remove_test_entries(table);
    }

    // The number of test entries in the process-wide tables.
    static int test_entry_count()
    {
        int count = 0;
        for (HashTable* table : tables()) {
            if (!table) continue;
            hash_reset_iterator(table);
            while (HashEntry* entry = hash_next(table)) count += is_test_name(entry->key);
        }
        return count;
    }

    // Compiles the text and writes its resident; returns the file's bytes.
    std::string write_resident(const std::string& text, const std::string& name)
    {
        EXPECT_EQ(compile(text), 0) << printed;
        path = folder + name;
        printed = captured_stdout_of([&] { write_resident_file(path.c_str()); });
        EXPECT_EQ(error_number, 0);
        compiler_reset();
        return read_file(name);
    }

    // Loads a resident file in a clean state; returns the error number.
    int load(const std::string& file)
    {
        compiler_reset();
        EXPECT_EQ(load_resident(file.c_str()), 1);
        resolve_resident_structure_refs();
        return error_number;
    }

    void write_bytes(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(folder + name, std::ios::binary);
        out << bytes;
    }

    std::string path;
};

const StructureRecord* structure(const char* name)
{
    return reinterpret_cast<const StructureRecord*>(hash_find(structure_table, name));
}

const FieldRecord* field_at(const StructureRecord* s, int index)
{
    const FieldRecord* f = s->first_field;
    for (int i = 0; f && i < index; i++) f = f->next;
    return f;
}

const char* const resident_source =
    "Structure RtPoint Align -1 : x.l : y.w : EndStructure\n"
    "Structure RtShape\n"
    " name.s\n *origin.RtPoint\n corner.RtPoint\n fixed.s{4}\n steps.b[3]\n"
    " StructureUnion : a.l : b.q : EndStructureUnion\n"
    " List points.RtPoint()\n Map named.l(32)\n Array grid.RtPoint(2, 3)\n"
    "EndStructure\n"
    "Interface RtDrawable\n Draw.d(x.f, *target.RtPoint, label.s = \"none\", scale.d = 1.5)\n"
    " Visit(List items.RtPoint(), Array cells.l(2))\nEndInterface\n"
    "#RtSmall = 127\n#RtByteEdge = 128\n#RtWordLow = -32768\n#RtLong = 2147483647\n#RtQuad = 2147483648\n"
    "#RtZero = 0.0\n#RtHalf = 1.5\n#RtText = \"hello\"\n"
    "Macro RtTwice(value, extra = 1)\n (value) * 2 + extra\nEndMacro\n";

TEST_F(ResidentsTest, WrittenResidentLoadsBackWhole)
{
    std::string bytes = write_resident(resident_source, "all.res");
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(0, 12), std::string("DNAZ\0\0\0\0" "9SER", 12));
    EXPECT_NE(printed.find("Resident '" + path + "' created."), std::string::npos) << printed;
    // Nothing of the compilation is left after the reset.
    EXPECT_EQ(structure("RtShape"), nullptr);

    ASSERT_EQ(load(folder + "all.res"), 0) << error_message;
    const StructureRecord* point = structure("RtPoint");
    const StructureRecord* shape = structure("RtShape");
    ASSERT_NE(point, nullptr);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(point->size, 8);
    EXPECT_EQ(point->alignment, -1);
    EXPECT_EQ(point->largest_alignment, 4);
    EXPECT_EQ(point->flags & STRUCT_RESIDENT, STRUCT_RESIDENT);
    EXPECT_EQ(shape->member_count, 10);
    EXPECT_EQ(shape->flags & STRUCT_DYNAMIC, STRUCT_DYNAMIC);

    struct Expected {
        const char* name;
        int type;
        int offset;
        int size;
        int count;
        const char* type_name;
    };
    const Expected expected[] = {
        {"name", TYPE_STRING, 0, 8, -1, "s"},           {"origin", TYPE_STRUCTURE, 8, 8, -1, "RtPoint"},
        {"corner", TYPE_STRUCTURE, 16, 8, -1, "RtPoint"}, {"fixed", TYPE_FIXED_STRING, 24, 8, -1, "s"},
        {"steps", TYPE_BYTE, 32, 1, 3, "b"},            {"a", TYPE_LONG, 35, 4, -1, "l"},
        {"b", TYPE_QUAD, 35, 8, -1, "q"},               {"points", TYPE_LIST, 43, 16, -1, "RtPoint"},
        {"named", TYPE_MAP, 59, 8, -1, "l"},            {"grid", TYPE_ARRAY, 67, 24, -1, "RtPoint"},
    };
    for (int i = 0; i < 10; i++) {
        const FieldRecord* f = field_at(shape, i);
        ASSERT_NE(f, nullptr) << i;
        EXPECT_STREQ(f->name, expected[i].name);
        EXPECT_EQ(f->type, expected[i].type) << f->name;
        EXPECT_EQ(f->offset, expected[i].offset) << f->name;
        EXPECT_EQ(f->element_size, expected[i].size) << f->name;
        EXPECT_EQ(f->static_count, expected[i].count) << f->name;
        EXPECT_STREQ(f->type_name, expected[i].type_name) << f->name;
    }
    EXPECT_EQ(field_at(shape, 1)->flags & FIELD_POINTER, FIELD_POINTER);
    EXPECT_EQ(field_at(shape, 1)->structure, nullptr);
    EXPECT_EQ(field_at(shape, 2)->structure, point);
    EXPECT_EQ(field_at(shape, 5)->flags & FIELD_UNION_MEMBER, FIELD_UNION_MEMBER);
    auto* list = static_cast<const ListRecord*>(field_at(shape, 7)->container);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->element_structure, point);
    EXPECT_EQ(list->element_type, TYPE_STRUCTURE);
    EXPECT_EQ(list->element_size, 8);
    EXPECT_EQ(list->flags, CONTAINER_FIELD);
    auto* map = static_cast<const MapRecord*>(field_at(shape, 8)->container);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->slot_count, 32);
    EXPECT_EQ(map->element_type, TYPE_LONG);
    auto* array = static_cast<const ArrayRecord*>(field_at(shape, 9)->container);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->dimension_count, 2);
    EXPECT_EQ(array->constant_sizes[0], 3);
    EXPECT_EQ(array->constant_sizes[1], 4);
    EXPECT_EQ(array->element_structure, point);
    EXPECT_EQ(array->flags, ARRAY_FIELD);

    const StructureRecord* drawable = structure("RtDrawable");
    ASSERT_NE(drawable, nullptr);
    EXPECT_EQ(drawable->flags & STRUCT_INTERFACE, STRUCT_INTERFACE);
    ASSERT_EQ(drawable->member_count, 2);
    const InterfaceMethod* draw = &drawable->methods[0];
    EXPECT_STREQ(draw->name, "Draw");
    EXPECT_EQ(draw->flags, METHOD_RETURNS_DOUBLE);
    ASSERT_EQ(draw->parameter_count, 4);
    EXPECT_EQ(draw->parameters[0].type, TYPE_FLOAT);
    EXPECT_EQ(draw->parameters[1].type, TYPE_INTEGER);
    EXPECT_EQ(draw->parameters[2].type, TYPE_STRING);
    ASSERT_EQ(draw->optional_count, 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(draw->default_values[0]), "none");
    double scale;
    std::memcpy(&scale, &draw->default_values[1], sizeof scale);
    EXPECT_EQ(scale, 1.5);
    const InterfaceMethod* visit = &drawable->methods[1];
    ASSERT_EQ(visit->parameter_count, 2);
    EXPECT_EQ(visit->parameters[0].type, TYPE_LIST);
    ASSERT_NE(visit->parameters[0].element_type, nullptr);
    EXPECT_EQ(visit->parameters[0].element_type->structure, point);
    EXPECT_EQ(visit->parameters[1].element_type->dimension_count, 2);

    EXPECT_EQ(integer_constant("RtSmall"), 127);
    EXPECT_EQ(integer_constant("RtByteEdge"), 128);
    EXPECT_EQ(integer_constant("RtWordLow"), -32768);
    EXPECT_EQ(integer_constant("RtLong"), 2147483647);
    EXPECT_EQ(integer_constant("RtQuad"), 2147483648LL);
    const ConstantRecord* half = find_constant("RtHalf");
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->flags, constant_flag_float | constant_flag_resident);
    EXPECT_EQ(half->value.float_value, 1.5);
    EXPECT_EQ(find_constant("RtZero")->value.float_value, 0.0);
    const ConstantRecord* text = find_constant("RtText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->flags, constant_flag_string | constant_flag_resident);
    EXPECT_STREQ(text->value.text, "hello");
    EXPECT_EQ(find_constant("ZD_Compiler_Line") == nullptr || !(find_constant("ZD_Compiler_Line")->flags & constant_flag_resident), true);

    const MacroRecord* twice = reinterpret_cast<const MacroRecord*>(hash_find(macro_table, "RtTwice"));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->flags & macro_flag_resident, macro_flag_resident);
    ASSERT_EQ(twice->parameter_count, 2);
    EXPECT_STREQ(twice->parameter_names[1], "extra");
    ASSERT_EQ(twice->optional_count, 1);
    EXPECT_STREQ(twice->default_texts[0], "1");
    EXPECT_NE(std::string(twice->body).find("(value) * 2 + extra"), std::string::npos);

    // The resident's declarations serve a compilation and survive its reset.
    ASSERT_EQ(compile("Structure RtUser : s.RtShape : p.RtPoint : EndStructure\nx = RtTwice(#RtSmall)"), 0) << printed;
    EXPECT_EQ(structure("RtUser")->size, shape->size + 8);
    compiler_reset();
    EXPECT_EQ(structure("RtUser"), nullptr);
    EXPECT_NE(structure("RtShape"), nullptr);

    // A second /RESIDENT writes nothing that came from a resident.
    std::string again = write_resident("Structure RtOther : a.l : EndStructure", "other.res");
    EXPECT_EQ(again.find("RtShape"), std::string::npos);
    EXPECT_EQ(again.find("RtSmall"), std::string::npos);
    EXPECT_EQ(again.find("RtTwice"), std::string::npos);
    EXPECT_EQ(again.find("ZD_Compiler"), std::string::npos);
    EXPECT_NE(again.find("RtOther"), std::string::npos);
}

TEST_F(ResidentsTest, ConstantKindsOnDisk)
{
    std::string bytes = write_resident("#RtA = 127\n#RtB = 128\n#RtC = -32768\n#RtD = 2147483647\n#RtE = 2147483648\n"
                                       "#RtF = 0.0\n#RtG = 1.5\n#RtH = \"t\"",
                                       "kinds.res");
    auto kind_of = [&](const char* name) {
        size_t at = bytes.find(std::string(name) + '\0');
        return at == std::string::npos ? -1 : (int)(uint8_t)bytes[at + std::strlen(name) + 1];
    };
    EXPECT_EQ(kind_of("RtA"), 0);
    EXPECT_EQ(kind_of("RtB"), 1);
    EXPECT_EQ(kind_of("RtC"), 1);
    EXPECT_EQ(kind_of("RtD"), 2);
    EXPECT_EQ(kind_of("RtE"), 3);
    EXPECT_EQ(kind_of("RtF"), 4);
    EXPECT_EQ(kind_of("RtG"), 5);
    EXPECT_EQ(kind_of("RtH"), 6);
}

TEST_F(ResidentsTest, ConflictsBetweenResidents)
{
    write_resident("#RtSame = 5\nMacro RtM()\n 1\nEndMacro", "first.res");
    write_resident("#RtSame = 5", "same.res");
    write_resident("#RtSame = 6", "different.res");
    write_resident("Macro RtM()\n 2\nEndMacro", "macro.res");
    ASSERT_EQ(load(folder + "first.res"), 0);
    EXPECT_EQ(load_resident((folder + "same.res").c_str()), 1);
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(load_resident((folder + "different.res").c_str()), 1);
    EXPECT_EQ(error_number, ERROR_CONSTANT_DECLARED_IN_RESIDENT);
    clear_error_state();
    EXPECT_EQ(load_resident((folder + "macro.res").c_str()), 1);
    EXPECT_EQ(error_number, ERROR_MACRO_DECLARED_IN_RESIDENT);
    EXPECT_NE(std::string(error_message).find("macro.res"), std::string::npos) << error_message;
}

TEST_F(ResidentsTest, StructureOfALaterResidentIsResolved)
{
    write_resident("Structure RtLater : v.q : EndStructure\n"
                   "Structure RtEarly : l.RtLater : EndStructure",
                   "both.res");
    // The field's structure stays open until the references are resolved,
    // which happens once every resident is loaded.
    compiler_reset();
    ASSERT_EQ(load_resident((folder + "both.res").c_str()), 1);
    const StructureRecord* early = structure("RtEarly");
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(early->first_field->structure, nullptr);
    resolve_resident_structure_refs();
    EXPECT_EQ(early->first_field->structure, structure("RtLater"));
    EXPECT_EQ(structure_id_base, structure_id_counter);
}

TEST_F(ResidentsTest, MissingAndForeignFiles)
{
    EXPECT_EQ(load_resident((folder + "absent.res").c_str()), 0);
    write_bytes("foreign.res", "not a resident file at all");
    EXPECT_EQ(load(folder + "foreign.res"), 0);
    write_bytes("short.res", "DNA");
    EXPECT_EQ(load(folder + "short.res"), 0);
}

TEST_F(ResidentsTest, TruncatedAndDamagedFilesNameTheFile)
{
    std::string bytes = write_resident(resident_source, "whole.res");
    ASSERT_GT(bytes.size(), 100u);
    // Every cut after the 'ZAND' tag gives the error, also one at a chunk
    // border (a file has all four chunks), and nothing of the file is kept;
    // none reads past the end. Shorter files are no residents.
    forget_test_entries();
    for (size_t length = 0; length < bytes.size(); length++) {
        write_bytes("cut.res", bytes.substr(0, length));
        int error = load(folder + "cut.res");
        if (length >= 4) {
            EXPECT_EQ(error, 1) << length;
            EXPECT_NE(std::string(error_message).find("cut.res"), std::string::npos) << error_message;
        } else {
            EXPECT_EQ(error, 0) << length;
        }
        EXPECT_EQ(test_entry_count(), 0) << length;
        forget_test_entries();
    }
    EXPECT_EQ(load(folder + "whole.res"), 0);
    EXPECT_GT(test_entry_count(), 0);
    forget_test_entries();
    // A chunk length past the end of the file.
    std::string damaged = bytes;
    damaged[19] = (char)0x7F;
    write_bytes("long.res", damaged);
    EXPECT_EQ(load(folder + "long.res"), ERROR_SYNTAX);
    EXPECT_NE(std::string(error_message).find("long.res"), std::string::npos) << error_message;
    // A member count larger than the records.
    damaged = bytes;
    size_t count_at = 20 + std::strlen(damaged.c_str() + 20) + 1 + 4;
    damaged[count_at + 1] = (char)0x40;
    write_bytes("count.res", damaged);
    EXPECT_EQ(load(folder + "count.res"), ERROR_SYNTAX);
    EXPECT_NE(std::string(error_message).find("count.res"), std::string::npos) << error_message;
}

TEST_F(ResidentsTest, StructureSizesBeyondTheLayout)
{
    std::string bytes = write_resident("Structure RtHuge : v.q : EndStructure", "huge.res");
    size_t size_at = 20 + std::strlen(bytes.c_str() + 20) + 1;
    ASSERT_EQ(bytes[size_at], 8);
    // 1,610,612,744 bytes: one variable fits in the data area, a second
    // would pass its largest 32-bit offset.
    std::string huge = bytes;
    huge[size_at + 3] = 0x60;
    write_bytes("huge.res", huge);
    ASSERT_EQ(load(folder + "huge.res"), 0) << error_message;
    EXPECT_EQ(compile("Define a.RtHuge"), 0) << printed;
    EXPECT_EQ(compile("Define a.RtHuge, b.RtHuge"), ERROR_NUMBER_TOO_BIG) << printed;
    EXPECT_EQ(compile("Procedure p()\n Protected a.RtHuge, b.RtHuge\nEndProcedure"), ERROR_NUMBER_TOO_BIG) << printed;
    EXPECT_EQ(compile("Threaded a.RtHuge, b.RtHuge"), ERROR_NUMBER_TOO_BIG) << printed;
    forget_test_entries();
    // Just below the largest data area: the containers after it do not fit.
    huge.replace(size_at, 4, "\xF8\xFF\xFE\x7F", 4);
    write_bytes("huge.res", huge);
    ASSERT_EQ(load(folder + "huge.res"), 0) << error_message;
    EXPECT_EQ(compile("Define a.RtHuge"), 0) << printed;
    EXPECT_EQ(compile("Define a.RtHuge\nDim d(1)"), ERROR_NUMBER_TOO_BIG) << printed;
    EXPECT_EQ(compile("Define a.RtHuge\nNewList l()"), ERROR_NUMBER_TOO_BIG) << printed;
    EXPECT_EQ(compile("Threaded a.RtHuge\nThreaded NewList l()"), ERROR_NUMBER_TOO_BIG) << printed;
    forget_test_entries();
    // A negative size is a damaged file.
    huge[size_at + 3] = (char)0x80;
    write_bytes("negative.res", huge);
    EXPECT_EQ(load(folder + "negative.res"), ERROR_SYNTAX);
    EXPECT_NE(std::string(error_message).find("negative.res"), std::string::npos) << error_message;
}

TEST_F(ResidentsTest, PseudoTypes)
{
    ASSERT_EQ(compile("Interface RtPseudo\n M(a.p-variant, b.p-ascii, c.p-UTF8, d.p-bstr, e.p-unicode)\nEndInterface"),
              0)
        << printed;
    const StructureRecord* pseudo = structure("RtPseudo");
    ASSERT_NE(pseudo, nullptr);
    const ParameterRecord* p = pseudo->methods[0].parameters;
    EXPECT_EQ(p[0].type, TYPE_P_VARIANT);
    EXPECT_EQ(p[0].size, 16);
    EXPECT_EQ(p[1].type, TYPE_P_ASCII);
    EXPECT_EQ(p[1].size, 8);
    EXPECT_EQ(p[2].type, TYPE_P_UTF8);
    EXPECT_EQ(p[3].type, TYPE_P_BSTR);
    EXPECT_EQ(p[4].type, TYPE_P_UNICODE);
    EXPECT_EQ(compile("Interface RtPseudo\n M(a.p-)\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Interface RtPseudo\n M(a.p-word)\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Interface RtPseudo\n M(a.)\nEndInterface"), ERROR_SYNTAX);
}

}  // namespace
