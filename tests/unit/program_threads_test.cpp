// Per-thread objects, DllMain and the structure descriptor tables and maps:
// golden lines of the generated routines and tables, and whole programs
// finished and run through the flat assembler.
#include <cstring>
#include <string>

#include "assembler_command.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/program_threads.h"
#include "core/memory_pools.h"
#include "program_file_test_support.h"
#include "frontend/imports.h"
#include "frontend/literal_strings.h"
#include "frontend/labels.h"
#include "frontend/modules.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

class ProgramThreadsTest : public ProgramFileTest {
protected:
    void SetUp() override
    {
        ProgramFileTest::SetUp();
        start_console_program();
    }
    void TearDown() override
    {
        dll_mode = 0;
        console_mode = 0;
        executable_subsystem_name = "Windows";
        output_file = nullptr;
        in_procedure = 0;
        reset_program_output();
    }


    // The text between `from` (included) and the next line that starts
    // with `to` (excluded).
    static std::string slice(const std::string& text, const std::string& from, const std::string& to)
    {
        size_t start = text.find(from);
        if (start == std::string::npos) return "";
        size_t end = text.find("\n" + to, start + from.size());
        return text.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    }

};

// --- Threaded objects in a program -----------------------------------------

TEST_F(ProgramThreadsTest, ThreadedProgramGetsStartUpCallbacksSizeAndQword)
{
    ASSERT_TRUE(compile("Threaded a.i = 5, b.l\nb = a + 2\nEnd b"));
    std::string text = finish();
    EXPECT_EQ(count_of(text, "extrn SYS_InitThreadedObject\n"), 1u);
    EXPECT_NE(text.find(" CALL SYS_InitZandrel\n CALL SYS_InitThreadedObject\n MOV [rsp+32],rax\n"
                        " MOV [ZD_MainThreadObject],rax\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(slice(text, "zd_public SYS_InitThreadObjectCallback", "zd_public SYS_FreeThreadObjectCallback"),
              "zd_public SYS_InitThreadObjectCallback\n PUSH rbp\n PUSH rcx\n PUSH rcx\n SUB rsp,32\n"
              " MOV rbp,[rsp+32]\n MOV qword [rbp+0],5\n ADD rsp,48\n POP rbp\n RET\n");
    // Numbers need no release: the free callback is only the frame.
    EXPECT_NE(text.find("zd_public SYS_FreeThreadObjectCallback\n PUSH rbp\n PUSH rcx\n PUSH rcx\n SUB rsp,32\n"
                        " ADD rsp,48\n POP rbp\n RET\n"),
              std::string::npos);
    EXPECT_NE(text.find("public ZD_ThreadedObjectSize\nZD_ThreadedObjectSize: dq 16\n"), std::string::npos);
    EXPECT_NE(text.find("ZD_DataPointer: rq 1\nZD_MainThreadObject: rq 1\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramThreadsTest, ProgramWithoutThreadedObjectsHasNoneOfIt)
{
    ASSERT_TRUE(compile("a = 1\nEnd a"));
    std::string text = finish();
    EXPECT_EQ(text.find("SYS_InitThreadedObject"), std::string::npos);
    EXPECT_EQ(text.find("ThreadObjectCallback"), std::string::npos);
    EXPECT_EQ(text.find("ZD_ThreadedObjectSize"), std::string::npos);
    EXPECT_EQ(text.find("ZD_MainThreadObject"), std::string::npos);
    // The string descriptor is written even without any structure.
    EXPECT_NE(text.find("zd_align 8\ns_s:\n dq 0\n dq -1\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramThreadsTest, MainCodeInsideAGosubReadsTheMainThreadQword)
{
    // Inside a Gosub the start-up slot [rsp+32] is covered by the Gosub's
    // frame: every main-code reload reads ZD_MainThreadObject.
    ASSERT_TRUE(compile("Threaded t.l\nGosub sub\nEnd t\nsub:\nt = 7\nReturn"));
    std::string text = finish();
    std::string sub = slice(text, "l_sub:", "_ZD_EOP:");
    EXPECT_NE(sub.find(" MOV rbp,[ZD_MainThreadObject]\n"), std::string::npos) << sub;
    EXPECT_EQ(sub.find("[rsp+32]"), std::string::npos) << sub;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramThreadsTest, InitialValuesOfEveryNumericType)
{
    ASSERT_TRUE(compile("Threaded b.b = -1, w.w = -2, l.l = 5, f.f = 1.5, c.c = 65535, a.a = 200, u.u = 66\n"
                        "Threaded q.q = 4294967296, d.d = 2.0, i.i = -1, z.l"));
    std::string text = finish();
    std::string init = slice(text, "zd_public SYS_InitThreadObjectCallback", "zd_public SYS_FreeThreadObjectCallback");
    const char* expected[] = {
        " MOV byte [rbp+0],-1\n",
        " MOV word [rbp+8],-2\n",
        " MOV dword [rbp+16],5\n",
        " MOV dword [rbp+24],1069547520\n",  // 1.5f as bits
        " MOV word [rbp+32],65535\n",
        " MOV byte [rbp+40],200\n",
        " MOV word [rbp+48],66\n",
        " MOV dword [rbp+56+4],1\n MOV dword [rbp+56],0\n",  // 2^32: upper half first
        " MOV dword [rbp+64+4],1073741824\n MOV dword [rbp+64],0\n",  // 2.0 as bits
        " MOV dword [rbp+72+4],-1\n MOV dword [rbp+72],-1\n",
    };
    for (const char* line : expected) EXPECT_NE(init.find(line), std::string::npos) << line << init;
    // One reload per store; the uninitialised long gets nothing.
    EXPECT_EQ(count_of(init, " MOV rbp,[rsp+32]\n"), 10u) << init;
    EXPECT_EQ(init.find("[rbp+80]"), std::string::npos);
    EXPECT_NE(text.find("ZD_ThreadedObjectSize: dq 88\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramThreadsTest, ThreadedStringIsReleasedByTheFreeCallback)
{
    ASSERT_TRUE(compile("Threaded s.s, n.l"));
    std::string text = finish();
    std::string free_code = slice(text, "zd_public SYS_FreeThreadObjectCallback", "; ");
    EXPECT_NE(free_code.find(" MOV rbp,[rsp+32]\n MOV rcx,qword [rbp+0]\n CALL SYS_FreeString\n"), std::string::npos)
        << free_code;
    EXPECT_EQ(count_of(text, "extrn SYS_FreeString\n"), 1u);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramThreadsTest, ThreadedStructureWithAListIsInitialisedAndReleased)
{
    ASSERT_TRUE(compile("Structure Bag\n name.s\n List items.l()\nEndStructure\nThreaded b.Bag, p.l"));
    std::string text = finish();
    std::string init = slice(text, "zd_public SYS_InitThreadObjectCallback", "zd_public SYS_FreeThreadObjectCallback");
    EXPECT_NE(init.find(" MOV rdx,s_bag\n MOV rbp,[rsp+32]\n LEA rcx,[rbp+0]\n CALL SYS_InitDynamicStructure\n"),
              std::string::npos)
        << init;
    std::string free_code = slice(text, "zd_public SYS_FreeThreadObjectCallback", " RET");
    EXPECT_NE(free_code.find(" MOV rdx,s_bag\n"), std::string::npos) << free_code;
    EXPECT_NE(free_code.find(" CALL SYS_FreeStructureStrings\n"), std::string::npos);
    // The descriptor named in the code is written.
    EXPECT_NE(text.find("s_bag:\n dq 0\n dq -5,8,4,0,5\n dq -1\n"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

// Threaded lists, maps and arrays as the declarations register them: each
// is created in the thread's block at its offset, a fixed string takes its
// literal, and the free callback releases what was created.
TEST_F(ProgramThreadsTest, ThreadedContainersAndFixedStringsInTheCallbacks)
{
    auto* list = static_cast<ListRecord*>(pool_alloc(sizeof(ListRecord)));
    *list = {};
    list->name = pool_strdup("l");
    list->element_size = 8;
    list->element_type = TYPE_INTEGER;
    list->flags = CONTAINER_THREADED;
    list->offset = 8;
    auto* map = static_cast<MapRecord*>(pool_alloc(sizeof(MapRecord)));
    *map = {};
    map->name = pool_strdup("m");
    map->element_size = 4;
    map->element_type = TYPE_LONG;
    map->slot_count = 64;
    map->flags = CONTAINER_THREADED;
    map->offset = 24;
    auto* array = static_cast<ArrayRecord*>(pool_alloc(sizeof(ArrayRecord)));
    *array = {};
    array->name = pool_strdup("a");
    array->element_size = 2;
    array->element_type = TYPE_WORD;
    array->dimension_count = 1;
    array->flags = ARRAY_THREADED | ARRAY_GLOBAL;
    array->offset = 32;
    array->constant_sizes = static_cast<int64_t*>(pool_alloc(sizeof(int64_t)));
    array->constant_sizes[0] = 6;
    register_init_item(TYPE_LIST, list);
    register_init_item(TYPE_MAP, map);
    register_init_item(TYPE_ARRAY, array);
    ASSERT_TRUE(compile("Threaded f.s{3}"));
    InitItem* fixed = static_cast<InitItem*>(static_cast<VariableRecord*>(find_variable("v_f"))->item);
    ASSERT_NE(fixed, nullptr);
    fixed->initialised = 1;
    fixed->value = intern_literal_string("abc");
    literal_used_mark = 1;
    thread_local_offset = 56;
    std::string text = finish();
    std::string init = slice(text, "zd_public SYS_InitThreadObjectCallback", "zd_public SYS_FreeThreadObjectCallback");
    EXPECT_NE(init.find(" MOV rbp,[rsp+32]\n LEA rdx,[rbp+8]\n MOV rcx,8\n"), std::string::npos) << init;
    EXPECT_NE(init.find(" CALL ZD_NewList\n"), std::string::npos) << init;
    // The slot count is the stored one; after the pad and the push the block
    // is read 16 bytes further down.
    EXPECT_NE(init.find(" MOV rcx,64\n SUB rsp,8\n PUSH rcx\n MOV rbp,[rsp+48]\n LEA r9,[rbp+24]\n"), std::string::npos)
        << init;
    EXPECT_NE(init.find(" MOV rdx,6\n"), std::string::npos) << init;
    EXPECT_NE(init.find(" CALL SYS_AllocateArray\n"), std::string::npos) << init;
    EXPECT_NE(init.find(" LEA rax,[rbp+0]\n MOV r8,_S1\n MOV rdx,3\n"), std::string::npos) << init;
    EXPECT_NE(init.find(" CALL SYS_AssignFixedStringFast\n"), std::string::npos) << init;
    std::string free_code = slice(text, "zd_public SYS_FreeThreadObjectCallback", " RET");
    EXPECT_NE(free_code.find(" CALL ZD_FreeList\n"), std::string::npos) << free_code;
    EXPECT_NE(free_code.find(" CALL ZD_FreeMap\n"), std::string::npos) << free_code;
    EXPECT_NE(free_code.find(" CALL SYS_FreeArray\n"), std::string::npos) << free_code;
    // The routines the callbacks call alone are declared after the head.
    for (const char* name : {"ZD_NewList", "ZD_NewMap", "ZD_FreeList", "ZD_FreeMap", "SYS_AllocateArray"})
        EXPECT_EQ(count_of(text, std::string("extrn ") + name + "\n"), 1u) << name;
    EXPECT_EQ(assemble(), "");
}

// A structure with a list gets its dynamic fields at start-up: the global
// variable and the Static one of a called procedure; a Static of a
// procedure that is never called gets nothing.
TEST_F(ProgramThreadsTest, GlobalAndStaticStructuresAreSetUpAtStart)
{
    ASSERT_TRUE(compile("Structure Bag\n List items.l()\nEndStructure\nDefine b.Bag\nProcedure P()\n Static s.Bag\n"
                        "EndProcedure\nProcedure Q()\n Static never.Bag\nEndProcedure\nP()"));
    std::string text = finish();
    std::string start = slice(text, "main:", "_ZD_EOP:");
    EXPECT_NE(start.find(" MOV rdx,s_bag\n LEA rcx,[so_p.s]\n CALL SYS_InitDynamicStructure\n"), std::string::npos) << start;
    EXPECT_NE(start.find(" MOV rdx,s_bag\n LEA rcx,[v_b]\n CALL SYS_InitDynamicStructure\n"), std::string::npos) << start;
    EXPECT_EQ(text.find("so_q.never"), std::string::npos);
    EXPECT_EQ(count_of(text, "extrn SYS_InitDynamicStructure\n"), 1u);
    EXPECT_EQ(assemble(), "");
}

// --- DllMain ------------------------------------------------------------------

TEST_F(ProgramThreadsTest, DllMainWithoutProcedures)
{
    clear_output();
    emit_dll_main(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(output(),
              "DllMain:\n PUSH rbx\n PUSH rbp\n PUSH rsi\n PUSH rdi\n PUSH r12\n PUSH r13\n PUSH r14\n PUSH r15\n"
              " SUB rsp,40\n"
              " CMP rdx,1\n JNE .SkipProcessAttach\n MOV [_ZD_Instance],rcx\n CALL ZD_DllInit\n JMP .End\n"
              ".SkipProcessAttach:\n"
              " CMP rdx,2\n JNE .SkipThreadAttach\n JMP .End\n.SkipThreadAttach:\n"
              " CMP rdx,0\n JNE .SkipProcessDetach\n CALL _ZD_EOP\n JMP .End\n.SkipProcessDetach:\n"
              " CMP rdx,3\n JNE .SkipThreadDetach\n.SkipThreadDetach:\n"
              ".End:\n MOV rax,1\n ADD rsp,40\n POP r15\n POP r14\n POP r13\n POP r12\n POP rdi\n POP rsi\n POP rbp\n"
              " POP rbx\n RET\n");
}

TEST_F(ProgramThreadsTest, DllMainCallsTheExportedProceduresFoundInAnyCase)
{
    HashTable* saved = procedure_table;
    procedure_table = create_hash_table(sizeof(ProcedureRecord), 0);
    auto add = [](const char* name, int32_t id, uint32_t flags) {
        auto* procedure = static_cast<ProcedureRecord*>(hash_add(procedure_table, name));
        procedure->id = id;
        procedure->flags = flags;
    };
    add("attachprocess", 2, 0x1000 | 0x800);
    add("DETACHTHREAD", 4, 0x1000 | 0x800);
    add("AttachThread", 6, 0x800);                   // not exported: ignored
    add("DetachProcess", 8, 0x1000 | 0x4000 | 0x800);  // declared only: ignored
    clear_output();
    emit_dll_entry();
    std::string text = output();
    procedure_table = saved;
    EXPECT_NE(text.find(" CALL ZD_DllInit\n MOV rcx,[_ZD_Instance]\n CALL _Procedure2\n JMP .End\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find(" JNE .SkipThreadAttach\n JMP .End\n"), std::string::npos);
    EXPECT_NE(text.find(" JNE .SkipProcessDetach\n CALL _ZD_EOP\n"), std::string::npos);
    EXPECT_NE(text.find(" JNE .SkipThreadDetach\n MOV rcx,[_ZD_Instance]\n CALL _Procedure4\n.SkipThreadDetach:\n"),
              std::string::npos);
}

TEST_F(ProgramThreadsTest, ThreadedDllAssembles)
{
    dll_mode = 1;
    console_mode = 0;
    dll_symbol_addresses = 1;
    ASSERT_TRUE(compile("Threaded t.i = 40\nt = t + 2"));
    std::string text = finish();
    EXPECT_NE(text.find("ZD_DllInit:\n SUB rsp,40\n"), std::string::npos);
    EXPECT_NE(text.find(" CALL SYS_InitThreadedObject\n MOV [rsp+32],rax\n MOV [ZD_MainThreadObject],rax\n"),
              std::string::npos);
    EXPECT_EQ(assemble(), "");
}

// --- Structure descriptor tables and maps -----------------------------------

class StructureTablesTest : public ProgramThreadsTest {
protected:
    StructureRecord* declare(const std::string& block, const char* name)
    {
        EXPECT_TRUE(compile(block)) << error_number;
        return find_structure(name);
    }
};

TEST_F(StructureTablesTest, StringAtOffsetEight)
{
    StructureRecord* s = declare("Structure One\n n.i\n s.s\nEndStructure", "One");
    ASSERT_NE(s, nullptr);
    s->flags |= STRUCT_NEEDS_INIT;
    clear_output();
    emit_structure_descriptors();
    EXPECT_EQ(output(), "zd_align 8\ns_s:\n dq 0\n dq -1\ns_one:\n dq 8\n dq -1\n");
}

TEST_F(StructureTablesTest, ListsOfStringsAndOfPointers)
{
    StructureRecord* s = declare("Structure Lists\n List a.s()\n List *b()\nEndStructure", "Lists");
    ASSERT_NE(s, nullptr);
    s->flags |= STRUCT_NEEDS_INIT;
    clear_output();
    emit_structure_descriptors();
    EXPECT_NE(output().find("s_lists:\n dq -5,0,8,s_s,8\n dq -5,16,8,0,21\n dq -1\n"), std::string::npos) << output();
}

TEST_F(StructureTablesTest, ArraysOfOneAndTwoDimensionsAndMaps)
{
    StructureRecord* s =
        declare("Structure Grid\n Array row.w(10)\n Array cell.d(3, 4)\n Map names.s()\nEndStructure", "Grid");
    ASSERT_NE(s, nullptr);
    s->flags |= STRUCT_NEEDS_INIT;
    clear_output();
    emit_structure_descriptors();
    std::string text = output();
    EXPECT_NE(text.find("s_grid:\n dq -4,0,2,"), std::string::npos) << text;
    EXPECT_NE(text.find(" dq -7,8,2,8,12,0\n dq "), std::string::npos) << text;
    EXPECT_NE(text.find(",8,s_s,"), std::string::npos) << text;  // the map of strings
    EXPECT_NE(text.find(" dq -1\n"), std::string::npos);
}

TEST_F(StructureTablesTest, NestedStructuresStaticArraysAndUnions)
{
    StructureRecord* outer = declare("Structure Inner\n t.s\nEndStructure\n"
                                     "Structure Outer\n n.i\n in.Inner\n names.s[3]\n StructureUnion\n u.s\n v.s\n"
                                     " EndStructureUnion\n plain.i\nEndStructure",
                                     "Outer");
    ASSERT_NE(outer, nullptr);
    outer->flags |= STRUCT_NEEDS_INIT;
    clear_output();
    emit_structure_descriptors();
    std::string text = output();
    // The inner structure is marked through the field and written too.
    EXPECT_NE(text.find("s_inner:\n dq 0\n dq -1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("s_outer:\n dq -3,8,8,s_inner\n dq -2,3,16,8,s_s\n dq -1\n"), std::string::npos) << text;
}

TEST_F(StructureTablesTest, StructureWithoutManagedFieldsGetsNoTable)
{
    StructureRecord* s = declare("Structure Point\n x.l\n y.l\nEndStructure", "Point");
    ASSERT_NE(s, nullptr);
    clear_output();
    emit_structure_descriptors();
    EXPECT_EQ(output(), "zd_align 8\ns_s:\n dq 0\n dq -1\n");
}

TEST_F(StructureTablesTest, StructureMapOfFlaggedStructureAndItsFieldStructures)
{
    StructureRecord* point = declare("Structure Point\n x.l\n y.l\nEndStructure", "Point");
    StructureRecord* shape = declare("Structure Shape\n name.s\n at.Point\n *next.Shape\n *other.Unknown\n"
                                     " tag.s{4}\n List pts.Point()\nEndStructure",
                                     "Shape");
    ASSERT_NE(point, nullptr);
    ASSERT_NE(shape, nullptr);
    shape->flags |= STRUCT_MARK_800;
    clear_output();
    emit_structure_maps();
    std::string text = output();
    std::string shape_map = "SM_" + std::to_string(shape->id) + ":\n db \"Shape\",0\n db 0\n dq s_shape\n"
                            " db 8\n dd 0\n db \"name\",0\n"
                            " db 7\n dd 8\n db \"at\",0\n dq SM_" + std::to_string(point->id) + "\n"
                            " db 135\n dd 16\n db \"next\",0\n dq SM_" + std::to_string(shape->id) + "\n"
                            " db 21\n dd 24\n db \"other\",0\n"
                            " db 10\n dd 32\n db \"tag\",0\n dd 8\n"
                            " db 14\n db 7\n dd 40\n db \"pts\",0\n dq SM_" + std::to_string(point->id) + "\n"
                            " db -1\n";
    EXPECT_NE(text.find(shape_map), std::string::npos) << text;
    EXPECT_NE(text.find("SM_" + std::to_string(point->id) + ":\n db \"Point\",0\n db 0\n dq 0\n"), std::string::npos);
    EXPECT_EQ(shape->flags & (STRUCT_MARK_8 | STRUCT_MARK_800), 0);
    // The map is written again in the next pass that asks for it.
    shape->flags |= STRUCT_MARK_800;
    clear_output();
    emit_structure_maps();
    EXPECT_NE(output().find(shape_map), std::string::npos);
}

TEST_F(StructureTablesTest, DescriptorSymbolOfAModuleStructure)
{
    ASSERT_TRUE(compile("DeclareModule Geo\nStructure Ring\n s.s\nEndStructure\nEndDeclareModule"));
    ModuleRecord* module = find_module("Geo");
    ASSERT_NE(module, nullptr);
    auto* ring = reinterpret_cast<StructureRecord*>(hash_find(module->structures, "Ring"));
    ASSERT_NE(ring, nullptr);
    EXPECT_STREQ(format_structure_symbol(ring), "s_geo.ring");
    ring->flags |= STRUCT_NEEDS_INIT;
    clear_output();
    emit_structure_descriptors();
    EXPECT_NE(output().find("s_geo.ring:\n dq 0\n dq -1\n"), std::string::npos) << output();
}

}  // namespace
