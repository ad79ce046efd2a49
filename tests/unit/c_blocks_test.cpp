// Blocks of the C file: static byte-array blocks and pointer fixups, the
// zd_data array, labels as macros, structure typedefs, interface tables,
// descriptor tables, structure maps, Static items, Runtime registration;
// and whole C files with structures and data compiled by the gcc stand-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "backend_c/c_backend.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_data_section.h"
#include "backend_c/c_fixups.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_labels.h"
#include "backend_c/c_program_file.h"
#include "backend_c/c_runtime_registration.h"
#include "backend_c/c_static_items.h"
#include "backend_c/c_structures.h"
#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/literal_strings.h"
#include "frontend/modules.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"
#include "c_test_support.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class CBlocks : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_backend = install_c_backend_on_empty_buffers();
        clear_error_state();
        init_structures();
        free_user_structures();
        reset_structures();
        init_constants();
        saved_module_table = module_table;
        init_modules();
        create_label_lists();
        reset_parser_state();
        no_output_depth = 0;
        suppress_errors = 0;
        commented_output = 0;
        debugger_enabled = 0;
        in_datasection = 0;
        data_item_list = nullptr;
        init_item_list = nullptr;
    }
    void TearDown() override
    {
        free_user_structures();
        module_table = saved_module_table;
        in_datasection = 0;
        label_scope_procedure = nullptr;
        label_scope_module = nullptr;
        reset_output_buffers();
        install_backend(saved_backend);
    }
    std::string code_text() { return std::string(output_buffer_start, output_write_pointer); }
    std::string data_text() { return std::string(data_buffer_start, data_write_pointer); }
    std::vector<PointerFixup*> fixups(CursorList* list)
    {
        std::vector<PointerFixup*> out;
        for (ListNode* node = list->first; node; node = node->next) out.push_back(reinterpret_cast<PointerFixup*>(node));
        return out;
    }

    // A structure in the global table with fields added by add_field.
    StructureRecord* structure(const char* name, int32_t alignment = 0)
    {
        StructureRecord* record = new_structure(pool_strdup(name), nullptr);
        record->alignment = alignment;
        return record;
    }
    FieldRecord* add_field(StructureRecord* owner, const char* name, uint8_t type, int32_t offset, int32_t size,
                           StructureRecord* nested = nullptr, uint16_t flags = 0, int32_t count = -1)
    {
        auto* field = static_cast<FieldRecord*>(pool_alloc(sizeof(FieldRecord)));
        std::memset(field, 0, sizeof *field);
        field->name = pool_strdup(name);
        field->type_name = pool_strdup(nested ? structure_name(nested) : "");
        field->type = type;
        field->offset = offset;
        field->element_size = size;
        field->structure = nested;
        field->flags = flags;
        field->static_count = count;
        FieldRecord** link = &owner->first_field;
        while (*link) link = &(*link)->next;
        *link = field;
        owner->member_count++;
        if (type == TYPE_STRING && !(flags & FIELD_POINTER)) owner->flags |= STRUCT_HAS_STRINGS;
        return field;
    }

    const BackendHooks* saved_backend = nullptr;
    HashTable* saved_module_table = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------
// Static blocks and fixups

TEST_F(CBlocks, StaticBlockValuesCountTheirBytes)
{
    c_static_block_begin_aligned("ZD_DEBUGGER_LabelBank", 3);
    EXPECT_EQ(static_block_offset, 4);
    c_static_byte(200);
    c_static_word(258);
    c_static_long(0xFFFFFFFE);
    c_static_quad(0x0102030405060708ull);
    c_static_string("ab");
    c_static_name(nullptr);
    EXPECT_EQ(static_block_offset, 4 + 1 + 2 + 4 + 8 + 3 + 1);
    EXPECT_EQ(code_text(),
              "unsigned char ZD_DEBUGGER_LabelBank[] __attribute__((aligned(4)))={3,0,0,0,\n"
              "200,\n2,1,\n254,255,255,255,\n8,7,6,5,4,3,2,1,\n97,98,0,\n0,\n");
    reset_output_buffers();
    c_static_block_begin("lmv_", 12);
    EXPECT_EQ(code_text(), "static unsigned char lmv_12[]={\n");
    EXPECT_STREQ(static_block_name, "lmv_12");
    EXPECT_EQ(static_block_offset, 0);
    char bytes[40];
    EXPECT_STREQ(c_format_quad_bytes(bytes, uint64_t(-2)), "254,255,255,255,255,255,255,255");
}

TEST_F(CBlocks, PointersAndTypeReferencesRecordFixupsEvenWithOutputOff)
{
    StructureRecord* point = structure("Point");
    point->id = 7;
    c_static_block_begin("lmv_", 3);
    no_output_depth = 1;
    c_static_byte(1);
    c_static_pointer("v_x");
    c_static_type_info(TYPE_STRUCTURE | 0x80, point, 0);
    c_static_type_info(TYPE_FIXED_STRING, nullptr, 20);
    c_static_local_type_info(TYPE_STRUCTURE | 0x40, point, 0);
    c_static_local_type_info(TYPE_LONG, nullptr, 0);
    no_output_depth = 0;
    EXPECT_EQ(code_text(), "static unsigned char lmv_3[]={\n");
    EXPECT_EQ(static_block_offset, 1 + 8 + 8 + 4 + 8);
    auto local = fixups(local_fixup_list);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_STREQ(local[0]->array, "lmv_3");
    EXPECT_EQ(local[0]->offset, 1);
    EXPECT_STREQ(local[0]->target, "&v_x");
    auto global = fixups(global_fixup_list);
    ASSERT_EQ(global.size(), 2u);
    EXPECT_EQ(global[0]->offset, 9);
    EXPECT_STREQ(global[0]->target, "&sm_7");
    EXPECT_EQ(global[1]->offset, 21);
    // Applied at procedure entry, then the list is empty.
    c_emit_local_fixups();
    EXPECT_EQ(code_text(), "static unsigned char lmv_3[]={\n*(integer *)(&lmv_3[1])=(integer *)&v_x;\n");
    EXPECT_EQ(local_fixup_list->first, nullptr);
}

// ---------------------------------------------------------------------------
// The zd_data array

TEST_F(CBlocks, DataValuesAreLittleEndianBytes)
{
    c_begin_data_section();
    c_data_value(TYPE_BYTE, 1);
    emit_data_text(",");
    c_data_value(TYPE_BYTE, 2);
    emit_data_text("\n,");
    c_data_value(TYPE_WORD, 258);
    emit_data_text("\n,");
    c_data_value(TYPE_LONG, 0x01020304);
    emit_data_text(",");
    c_data_quad(0x4000000000000000ull);
    emit_data_text(",");
    double one = 1.0;
    uint64_t bits;
    std::memcpy(&bits, &one, sizeof bits);
    c_data_quad(bits);
    emit_data_text(",");
    c_data_float(1.0);
    c_begin_data_section();
    EXPECT_EQ(data_text(), "unsigned char zd_data[] = {1,2\n,2,1\n,4,3,2,1,0,0,0,0,0,0,0,64,0,0,0,0,0,0,240,63,0,0,128,63");
    EXPECT_EQ(data_offset, 1 + 1 + 2 + 4 + 8 + 8 + 4);
    EXPECT_EQ(data_array_open, 1);
}

TEST_F(CBlocks, DataLiteralsAsUtf16HexOrBytes)
{
    c_append_data_literal(TYPE_STRING, "A");
    EXPECT_EQ(data_offset, 4);
    emit_data_text("|");
    c_append_data_literal(TYPE_ASCII, "A");
    EXPECT_EQ(data_offset, 6);
    emit_data_text("|");
    // "é" is one UTF-16 unit, two UTF-8 bytes.
    c_append_data_literal(TYPE_UNICODE, "\xC3\xA9");
    emit_data_text("|");
    c_append_data_literal(TYPE_ASCII, "");
    EXPECT_EQ(data_text(), "0x41,0x0,0,0|65,0|0xE9,0x0,0,0|0");
    EXPECT_EQ(data_offset, 6 + 4 + 1);
    int32_t units = 0;
    EXPECT_EQ(c_emit_utf16_hex("", &units), "0,0");
    EXPECT_EQ(units, 1);
}

TEST_F(CBlocks, DataAddressesAreZeroSlotsWithFixups)
{
    c_data_value(TYPE_LONG, 0);
    emit_data_text(",");
    c_append_data_literal_label(4);
    null_string_number = 9;
    c_append_data_literal_label(9);
    ProcedureRecord tick{};
    tick.entry.key = const_cast<char*>("Tick");
    c_data_procedure_pointer(&tick);
    label_scope_procedure = "Draw";
    c_data_label_pointer("Loop");
    label_scope_procedure = nullptr;
    label_scope_module = "Net";
    c_data_label_pointer("MyData");
    // The emitters write no separators of their own around a value.
    EXPECT_EQ(data_text().rfind("0,0,0,0,0,0,0,0,0,0,0,00,0,0,0,0,0,0,0", 0), 0u);
    auto global = fixups(global_fixup_list);
    ASSERT_EQ(global.size(), 4u);
    EXPECT_STREQ(global[0]->array, "zd_data");
    EXPECT_EQ(global[0]->offset, 4);
    EXPECT_STREQ(global[0]->target, "_S4");
    EXPECT_STREQ(global[1]->target, "0");
    EXPECT_EQ(global[1]->offset, 12);
    EXPECT_EQ(std::string(global[2]->target).rfind("f_tick", 0), 0u);
    EXPECT_STREQ(global[3]->target, "la_net$l_mydata");
    auto local = fixups(local_fixup_list);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_STREQ(local[0]->target, "la_ll_draw_loop");
    EXPECT_EQ(local[0]->offset, 28);
    EXPECT_EQ(data_offset, 44);
}

TEST_F(CBlocks, ReadLinesByType)
{
    c_emit_read(TYPE_BYTE, "v_b");
    c_emit_read(TYPE_ASCII, "v_a");
    c_emit_read(TYPE_WORD, "v_w");
    c_emit_read(TYPE_UNICODE, "v_u");
    c_emit_read(TYPE_LONG, "v_l");
    c_emit_read(TYPE_FLOAT, "v_f");
    c_emit_read(TYPE_DOUBLE, "v_d");
    c_emit_read(TYPE_QUAD, "v_q");
    c_emit_read(TYPE_INTEGER, "v_i");
    c_emit_read(TYPE_STRUCTURE, "v_s");
    c_emit_read_string("v_t");
    c_emit_read_fixed_string("v_x", 20);
    EXPECT_EQ(code_text(),
              "v_b=*(char *)zd_datapointer; zd_datapointer++;\n"
              "v_a=*(unsigned char *)zd_datapointer; zd_datapointer++;\n"
              "v_w=*(short *)zd_datapointer; zd_datapointer+=2;\n"
              "v_u=*(unsigned short *)zd_datapointer; zd_datapointer+=2;\n"
              "v_l=*(int *)zd_datapointer; zd_datapointer+=4;\n"
              "v_f=*(float *)zd_datapointer; zd_datapointer+=4;\n"
              "v_d=*(double *)zd_datapointer; zd_datapointer+=8;\n"
              "v_q=*(quad *)zd_datapointer; zd_datapointer+=8;\n"
              "v_i=*(integer *)zd_datapointer; zd_datapointer+=8;\n"
              "zd_datapointer+=SYS_FastAllocateStringFree4(&v_t,zd_datapointer);\n"
              "SYS_AssignFixedStringFast(v_x,10,zd_datapointer);\n"
              "while (*(short *)zd_datapointer != 0) { zd_datapointer+=2; } zd_datapointer += 2;\n");
    // The routines they call get their prototypes.
    EXPECT_EQ(c_runtime_used[C_SYS_FastAllocateStringFree4], 1);
    EXPECT_EQ(c_runtime_used[C_SYS_AssignFixedStringFast], 1);
}

TEST_F(CBlocks, IncludeBinaryBreaksLinesEvery200Bytes)
{
    fs::path file = fs::temp_directory_path() / ("zandrel_c_blocks_" + std::to_string(getpid()) + ".bin");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 401; i++) out.put(char(i & 0xFF));
    }
    in_datasection = 1;
    c_begin_data_section();
    c_data_value(TYPE_BYTE, 9);
    emit_data_text("\n");
    c_emit_include_binary(file.string().c_str());
    c_emit_include_binary("/nonexistent/zandrel.bin");
    fs::remove(file);
    std::string text = data_text();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(data_offset, 402);
    EXPECT_EQ(text.rfind("unsigned char zd_data[] = {9\n,0,1,2,", 0), 0u) << text.substr(0, 60);
    // Line feeds after the 200th and 400th byte and after the last one.
    size_t first = text.find("\n", 30);
    EXPECT_EQ(text.substr(first - 4, 5), ",199\n");
    EXPECT_EQ(text.substr(text.size() - 10), ",143\n,144\n") << text.substr(text.size() - 30);
}

// ---------------------------------------------------------------------------
// Labels

TEST_F(CBlocks, LabelMacros)
{
    auto add = [](CursorList* list, const char* name, uint16_t flags, int32_t offset, const char* module, const char* procedure) {
        list->current = list->last;
        auto* label = static_cast<LabelRecord*>(list_add(list));
        std::memset(reinterpret_cast<char*>(label) + sizeof(ListNode), 0, sizeof(LabelRecord) - sizeof(ListNode));
        label->name = const_cast<char*>(name);
        label->flags = flags;
        label->data_offset = offset;
        label->module = const_cast<char*>(module);
        label->procedure = const_cast<char*>(procedure);
    };
    add(main_labels, "Values", LABEL_DATA, 16, nullptr, nullptr);
    add(main_labels, "Start", 0, 0, "Gfx", nullptr);
    add(main_labels, "MyData", LABEL_DATA, 3, "Net", nullptr);
    c_add_referenced_procedure_label(nullptr, "Draw", "Loop", 0, 0);
    c_add_referenced_procedure_label("Gfx", "Blit", "Table", LABEL_DATA, 8);
    add(main_label_references, "Values", LABEL_FALLBACK, 0, nullptr, "Init");
    add(main_label_references, "Other", 0, 0, nullptr, nullptr);
    add(module_label_references, "Values", LABEL_FALLBACK, 0, "Net", "Get");
    c_emit_label_address_defines();
    c_emit_label_defines();
    c_emit_label_aliases();
    c_labels_emit_module("Net");
    EXPECT_EQ(code_text(),
              "#define l_values 16\n"
              "#define la_l_values (&zd_data[16])\n"
              "#define la_gfx$l_start (&&gfx$l_start)\n"
              "#define net$l_mydata 3\n"
              "#define la_net$l_mydata (&zd_data[3])\n"
              "#define la_ll_draw_loop (&&ll_draw_loop)\n"
              "#define gfx$ll_blit_table 8\n"
              "#define la_gfx$ll_blit_table (&zd_data[8])\n"
              "#define ll_init_values l_values\n"
              "#define la_ll_init_values (&zd_data[l_values])\n");
    // The module's aliases go to the deferred declarations.
    EXPECT_EQ(std::string(label_buffer->start, label_buffer->write),
              "#define net$ll_get_values net$l_values\n#define la_net$ll_get_values (&zd_data[net$l_values])\n");
    reset_output_buffers();
    c_emit_deferred_declarations();
    EXPECT_EQ(code_text(), "");
}

// ---------------------------------------------------------------------------
// Structure typedefs and interface tables

TEST_F(CBlocks, NestedStructuresAreWrittenInnermostFirstOnce)
{
    StructureRecord* inner = structure("Inner");
    add_field(inner, "x", TYPE_LONG, 0, 4);
    StructureRecord* middle = structure("Middle", -1);
    add_field(middle, "i", TYPE_STRUCTURE, 0, 4, inner);
    add_field(middle, "q", TYPE_QUAD, 8, 8);
    StructureRecord* outer = structure("Outer", 8);
    add_field(outer, "m", TYPE_STRUCTURE, 0, 16, middle);
    add_field(outer, "i", TYPE_STRUCTURE, 16, 4, inner, 0, 3);
    add_field(outer, "Name$", TYPE_STRING, 32, 8);
    add_field(outer, "text", TYPE_FIXED_STRING, 40, 20);
    add_field(outer, "empty", TYPE_BYTE, 60, 1, nullptr, 0, 0);
    inner->size = 4;
    middle->size = 16;
    outer->size = 64;
    c_clear_structure_marks();
    c_emit_structure_declaration(outer);
    c_emit_structure_declaration(inner);
    EXPECT_EQ(code_text(),
              "\n#pragma pack(1)\ntypedef struct s_inner {\nint f_x;\n} s_inner;\n#pragma pack()\n"
              "\ntypedef struct s_middle {\ns_inner f_i;\nquad f_q;\n} s_middle;\n"
              "\n#pragma pack(8)\ntypedef struct s_outer {\ns_middle f_m;\ns_inner f_i[3];\nvoid* f_nameS;\nft_20 f_text;\n"
              "char f_empty[0];\n} s_outer;\n#pragma pack()\n");
    EXPECT_EQ(fixed_string_size_table, std::vector<int32_t>{20});
}

TEST_F(CBlocks, EmptyStructuresUnionsPointersAndContainers)
{
    StructureRecord* empty = structure("Nothing", 4);
    StructureRecord* shape = structure("Shape", 1);
    add_field(shape, "a", TYPE_LONG, 0, 4, nullptr, FIELD_UNION_MEMBER);
    add_field(shape, "b", TYPE_FLOAT, 0, 4, nullptr, FIELD_UNION_MEMBER);
    add_field(shape, "c", TYPE_WORD, 4, 2, nullptr, FIELD_UNION_MEMBER);
    add_field(shape, "d", TYPE_BYTE, 4, 1, nullptr, FIELD_UNION_MEMBER);
    add_field(shape, "none", TYPE_STRUCTURE, 6, 0, empty);
    FieldRecord* next = add_field(shape, "next", TYPE_STRUCTURE, 6, 8, nullptr, FIELD_POINTER);
    next->type_name = const_cast<char*>("Shape");
    add_field(shape, "raw", TYPE_LONG, 14, 8, nullptr, FIELD_POINTER);
    FieldRecord* list = add_field(shape, "items", TYPE_LIST, 22, 16);
    ListRecord list_record{};
    list->container = &list_record;
    FieldRecord* grid = add_field(shape, "grid", TYPE_ARRAY, 38, 24);
    ArrayRecord grid_record{};
    grid_record.dimension_count = 2;
    grid->container = &grid_record;
    FieldRecord* map = add_field(shape, "index", TYPE_MAP, 62, 8, nullptr, FIELD_UNION_MEMBER);
    MapRecord map_record{};
    map->container = &map_record;
    c_clear_structure_marks();
    c_emit_structure_declaration(shape);
    EXPECT_EQ(code_text(),
              "\n#pragma pack(1)\ntypedef struct s_nothing {} s_nothing;\n#pragma pack()\n"
              "\n#pragma pack(1)\ntypedef struct s_shape {\nunion {\nint f_a;\nfloat f_b;\n};\nunion {\nshort f_c;\nchar f_d;\n};\n"
              "struct s_shape *f_next;\ninteger f_raw;\nzd_list f_items;\nzd_array2 f_grid;\nunion {\nzd_map f_index;\n};\n"
              "} s_shape;\n#pragma pack()\n");
}

TEST_F(CBlocks, InterfaceMethodTables)
{
    StructureRecord* shape = structure("Shape");
    shape->flags |= STRUCT_INTERFACE;
    InterfaceMethod methods[3]{};
    methods[0].name = const_cast<char*>("Area");
    methods[0].flags = METHOD_RETURNS_DOUBLE;
    methods[1].name = const_cast<char*>("Name");
    methods[1].flags = METHOD_RETURNS_STRING;
    ParameterDescriptor two{TYPE_LONG, 2, nullptr, 0};
    ParameterRecord parameters[4]{};
    parameters[0].type = TYPE_LONG;
    parameters[1].type = TYPE_ARRAY;
    parameters[1].element_type = &two;
    parameters[2].type = TYPE_LIST;
    parameters[3].type = TYPE_P_VARIANT;
    methods[2].name = const_cast<char*>("Fill");
    methods[2].parameter_count = 4;
    methods[2].parameters = parameters;
    shape->methods = methods;
    shape->member_count = 3;
    StructureRecord* bare = structure("Bare");
    bare->flags |= STRUCT_INTERFACE;
    c_clear_structure_marks();
    c_emit_interface_declaration(shape);
    c_emit_interface_declaration(shape);
    c_emit_interface_declaration(bare);
    EXPECT_EQ(code_text(),
              "\ntypedef struct i_shape {\n"
              "double (*m_area)(integer);\n"
              "void* (*m_name)(integer,int sbp);\n"
              "integer (*m_fill)(integer,int,zd_array2 *,zd_list *,void*);\n"
              "} i_shape;\n"
              "#define s_shape i_shape*\n"
              // Without methods there is no table, but pointers to its
              // objects still need the type.
              "\n"
              "typedef struct i_bare i_bare;\n");
    EXPECT_TRUE(bare->flags & STRUCT_MARK_8);
    EXPECT_TRUE(shape->flags & STRUCT_INTERFACE);
}

TEST_F(CBlocks, UsedMarkingReachesFieldsAndPointerTypes)
{
    StructureRecord* leaf = structure("Leaf");
    add_field(leaf, "label", TYPE_FIXED_STRING, 0, 12);
    StructureRecord* drawable = structure("Drawable");
    drawable->flags |= STRUCT_INTERFACE;
    StructureRecord* tree = structure("Tree");
    add_field(tree, "leaf", TYPE_STRUCTURE, 0, 12, leaf);
    FieldRecord* link = add_field(tree, "self", TYPE_STRUCTURE, 12, 8, nullptr, FIELD_POINTER);
    link->type_name = const_cast<char*>("Tree");
    FieldRecord* view = add_field(tree, "view", TYPE_STRUCTURE, 20, 8, nullptr, FIELD_INTERFACE);
    view->type_name = const_cast<char*>("Drawable");
    StructureRecord* unused = structure("Unused");
    tree->flags |= STRUCT_USED;
    c_mark_structure_used(tree);
    c_clear_structure_marks();
    EXPECT_TRUE(leaf->flags & STRUCT_USED);
    EXPECT_TRUE(drawable->flags & STRUCT_USED);
    EXPECT_FALSE(unused->flags & STRUCT_USED);
    EXPECT_FALSE(tree->flags & STRUCT_MARK_8);
    EXPECT_EQ(fixed_string_size_table, std::vector<int32_t>{12});
    c_emit_structure_typedefs();
    std::string text = code_text();
    EXPECT_NE(text.find("typedef struct s_leaf s_leaf;\n"), std::string::npos);
    EXPECT_NE(text.find("typedef struct s_tree s_tree;\n"), std::string::npos);
    EXPECT_EQ(text.find("s_drawable"), std::string::npos);
    EXPECT_EQ(text.find("s_unused"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Descriptor tables and structure maps

TEST_F(CBlocks, DescriptorTables)
{
    StructureRecord* named = structure("Named");
    add_field(named, "name", TYPE_STRING, 0, 8);
    StructureRecord* mixed = structure("Mixed");
    add_field(mixed, "u", TYPE_STRING, 0, 8, nullptr, FIELD_UNION_MEMBER);
    add_field(mixed, "n", TYPE_STRUCTURE, 8, 8, named);
    add_field(mixed, "ns", TYPE_STRUCTURE, 16, 8, named, 0, 2);
    add_field(mixed, "texts", TYPE_STRING, 32, 8, nullptr, 0, 3);
    FieldRecord* grid = add_field(mixed, "grid", TYPE_ARRAY, 56, 24);
    int64_t bounds[2] = {3, 4};
    ArrayRecord grid_record{};
    grid_record.dimension_count = 2;
    grid_record.element_size = 4;
    grid_record.element_type = TYPE_LONG;
    grid_record.constant_sizes = bounds;
    grid->container = &grid_record;
    FieldRecord* list = add_field(mixed, "people", TYPE_LIST, 80, 16);
    ListRecord list_record{};
    list_record.element_size = 8;
    list_record.element_type = TYPE_STRUCTURE;
    list_record.element_structure = named;
    list->container = &list_record;
    FieldRecord* map = add_field(mixed, "words", TYPE_MAP, 96, 8);
    MapRecord map_record{};
    map_record.element_size = 8;
    map_record.element_type = TYPE_STRING;
    map_record.slot_count = 512;
    map->container = &map_record;
    add_field(mixed, "plain", TYPE_LONG, 104, 4);
    mixed->flags |= STRUCT_NEEDS_INIT | STRUCT_HAS_STRINGS | STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS;
    c_emit_structure_descriptors();
    EXPECT_EQ(code_text(),
              "static integer ms_s[]={0,-1};\n"
              "static integer ms_named[];\n"
              "static integer ms_mixed[];\n"
              "static integer ms_named[]={\n0,\n-1};\n"
              "static integer ms_mixed[]={\n"
              "-3,8,8,ms_named,\n"
              "-2,2,16,8,ms_named,\n"
              "-2,3,32,8,ms_s,\n"
              "-7,56,2,4,5,0,\n3,\n4,\n"
              "-5,80,8,ms_named,7,\n"
              "-6,96,8,8,ms_s,512,\n"
              "-1};\n")
        << code_text();
    EXPECT_STREQ(c_structure_map_name(named), "ms_named");
    StructureRecord* plain = structure("Plain");
    EXPECT_STREQ(c_structure_map_name(plain), "0");
}

TEST_F(CBlocks, StructureMapsOfFieldsAndInterfaces)
{
    StructureRecord* drawable = structure("Drawable");
    drawable->flags |= STRUCT_INTERFACE | STRUCT_MARK_800;
    drawable->id = 4;
    InterfaceMethod methods[2]{};
    methods[0].name = const_cast<char*>("A");
    methods[1].name = const_cast<char*>("B");
    drawable->methods = methods;
    drawable->member_count = 2;
    StructureRecord* node = structure("Node");
    node->id = 5;
    node->flags |= STRUCT_MARK_800;
    add_field(node, "s", TYPE_STRING, 0, 8);
    FieldRecord* lost = add_field(node, "p", TYPE_STRUCTURE, 8, 8, nullptr, FIELD_POINTER);
    lost->type_name = const_cast<char*>("Missing");
    add_field(node, "t", TYPE_FIXED_STRING, 16, 6);
    add_field(node, "w", TYPE_WORD, 22, 2, nullptr, 0, 2);
    c_emit_structure_maps();
    std::string text = code_text();
    EXPECT_EQ(text[0], '\n');
    EXPECT_NE(text.find(
              "unsigned char sm_4[]={\n68,114,97,119,97,98,108,101,0,\n0,\n0,0,0,0,0,0,0,0,\n"
              "133,\n0,0,0,0,\n65,0,\n133,\n8,0,0,0,\n66,0,\n-1};\n"), std::string::npos) << text;
    EXPECT_NE(text.find("unsigned char sm_5[]={\n78,111,100,101,0,\n0,\n0,0,0,0,0,0,0,0,\n"
              "8,\n0,0,0,0,\n115,0,\n"
              "149,\n8,0,0,0,\n112,0,\n"
              "10,\n16,0,0,0,\n116,0,\n6,0,0,0,\n"
              "254,\n3,\n22,0,0,0,\n2,0,0,0,\n2,0,0,0,\n119,0,\n"
              "-1};\n"), std::string::npos)
        << text;
    // The string field made Node's descriptor needed: its slot is patched.
    auto global = fixups(global_fixup_list);
    ASSERT_EQ(global.size(), 1u);
    EXPECT_STREQ(global[0]->array, "sm_5");
    EXPECT_EQ(global[0]->offset, 6);
    EXPECT_STREQ(global[0]->target, "&ms_node");
    EXPECT_FALSE(node->flags & (STRUCT_MARK_800 | STRUCT_MARK_8));
}

// ---------------------------------------------------------------------------
// Static items and Runtime registration

TEST_F(CBlocks, StaticItemsOfUncalledProceduresAreLeftOut)
{
    data_item_list = create_list(sizeof(DataItem), 0);
    ProcedureRecord idle{};
    idle.entry.key = const_cast<char*>("Idle");
    ListRecord list{};
    auto* item = static_cast<DataItem*>(list_add(data_item_list));
    item->kind = TYPE_LIST;
    item->object = &list;
    item->procedure = &idle;
    commented_output = 1;
    c_emit_static_items();
    c_emit_static_item_inits();
    commented_output = 0;
    EXPECT_EQ(code_text(), "// \n");
}

TEST_F(CBlocks, RuntimeKeysAreInternedLiterals)
{
    ModuleRecord ui_record{};
    ui_record.entry.key = const_cast<char*>("Ui");
    ModuleRecord* ui = &ui_record;
    ProcedureRecord tick{};
    tick.entry.key = const_cast<char*>("Tick");
    c_emit_runtime_procedure_entry(main_module, &tick);
    ConstantRecord title{};
    title.entry.key = const_cast<char*>("Title");
    title.flags = constant_flag_string | constant_flag_runtime;
    title.value.text = const_cast<char*>("Hello");
    c_emit_runtime_constant_entry(ui, &title);
    ConstantRecord limit{};
    limit.entry.key = const_cast<char*>("Limit");
    limit.value.integer_value = -2;
    c_emit_runtime_constant_entry(main_module, &limit);
    // Interned once: the same key gives the same literal.
    no_output_depth = 1;
    c_emit_runtime_constant_entry(main_module, &limit);
    no_output_depth = 0;
    std::string text = code_text();
    EXPECT_EQ(text.rfind("ZD_Runtime_AddInteger(_S1,&", 0), 0u) << text;
    EXPECT_NE(text.find("\nZD_Runtime_AddString(_S2,_S3);\nZD_Runtime_AddInteger(_S4,-2);\n"), std::string::npos) << text;
    ASSERT_EQ(c_literal_table.size(), 4u);
    EXPECT_EQ(c_literal_table[0].text, "Tick()");
    EXPECT_EQ(c_literal_table[1].text, "Ui::#Title");
    EXPECT_EQ(c_literal_table[2].text, "Hello");
    EXPECT_EQ(c_literal_table[3].text, "#Limit");
}

TEST_F(CBlocks, WithoutRuntimeDeclarationsNothingIsWritten)
{
    c_emit_runtime_procedures();
    c_emit_runtime_constant();
    c_emit_runtime_variable();
    EXPECT_EQ(code_text(), "");
    EXPECT_TRUE(c_literal_table.empty());
}

// ---------------------------------------------------------------------------
// Whole files through the gcc stand-in

namespace {

class CBlocksFile : public CBlocks {
protected:
    // The finished file compiled to an object by the gcc stand-in; returns
    // its output, empty on success.
    std::string compile(std::string* file_text)
    {
        saved_output = output_file;
        output_file = const_cast<char*>("prog.exe");
        console_mode = 1;
        c_finish_program();
        output_file = saved_output;
        std::string text(head_buffer->start, head_buffer->write);
        text.append(output_buffer_start, output_write_pointer);
        text.append(data_buffer_start, data_write_pointer);
        *file_text = text;
        fs::path folder = fs::temp_directory_path() / ("zandrel_c_blocks_file_" + std::to_string(getpid()));
        fs::create_directories(folder);
        std::ofstream(folder / "zandrel.c") << text;
        std::string gcc = std::string(ZANDREL_HOME) + "/Compilers/gcc/gcc";
        std::string command = "cd '" + folder.string() + "' && '" + gcc +
                              "' -O0 -fsigned-char -Wno-incompatible-pointer-types -Wno-int-conversion -c -o Zandrel.obj zandrel.c 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
        int status = pipe ? pclose(pipe) : -1;
        bool made = fs::exists(folder / "Zandrel.obj");
        fs::remove_all(folder);
        if (status != 0 || !made) return output.empty() ? "gcc failed" : output;
        return "";
    }
    char* saved_output = nullptr;
};

}  // namespace

TEST_F(CBlocksFile, StructuresMapsDescriptorsAndDataCompile)
{
    if (!fs::exists(std::string(ZANDREL_HOME) + "/Compilers/gcc/gcc")) GTEST_SKIP() << "no gcc stand-in";
    StructureRecord* point = structure("Point", -1);
    add_field(point, "x", TYPE_LONG, 0, 4);
    add_field(point, "y", TYPE_DOUBLE, 8, 8);
    StructureRecord* person = structure("Person");
    add_field(person, "name", TYPE_STRING, 0, 8);
    add_field(person, "at", TYPE_STRUCTURE, 8, 16, point);
    FieldRecord* next = add_field(person, "next", TYPE_STRUCTURE, 24, 8, nullptr, FIELD_POINTER);
    next->type_name = const_cast<char*>("Person");
    add_field(person, "code", TYPE_FIXED_STRING, 32, 10);
    add_field(person, "u1", TYPE_LONG, 42, 4, nullptr, FIELD_UNION_MEMBER);
    add_field(person, "u2", TYPE_FLOAT, 42, 4, nullptr, FIELD_UNION_MEMBER);
    FieldRecord* tags = add_field(person, "tags", TYPE_LIST, 46, 16);
    ListRecord tags_record{};
    tags_record.element_size = 8;
    tags_record.element_type = TYPE_STRING;
    tags->container = &tags_record;
    person->flags |= STRUCT_USED | STRUCT_NEEDS_INIT | STRUCT_MARK_800 | STRUCT_HAS_LISTS;
    StructureRecord* shape = structure("Shape");
    shape->flags |= STRUCT_INTERFACE | STRUCT_USED;
    InterfaceMethod methods[1]{};
    methods[0].name = const_cast<char*>("Area");
    methods[0].flags = METHOD_RETURNS_DOUBLE;
    shape->methods = methods;
    shape->member_count = 1;
    c_begin_data_section();
    c_data_value(TYPE_LONG, 7);
    emit_data_text(",");
    c_append_data_literal(TYPE_STRING, "Hi");
    emit_data_text(",");
    null_string_number = 3;
    c_append_data_literal_label(3);
    emit_data_text("\n");
    std::string text;
    std::string errors = compile(&text);
    EXPECT_EQ(errors, "") << text;
    EXPECT_NE(text.find("typedef struct s_person s_person;\n"), std::string::npos);
    EXPECT_NE(text.find("unsigned char sm_"), std::string::npos);
    EXPECT_NE(text.find("static integer ms_person[]={\n0,\n-5,46,8,ms_s,8,\n-1};\n"), std::string::npos) << text;
    EXPECT_NE(text.find("#define s_shape i_shape*\n"), std::string::npos);
}
