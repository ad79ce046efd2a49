// Structures and interfaces: field offsets and sizes for every type, the
// three alignment modes, unions, Extends, containers and the errors of the
// block; interface method lines.
#include <string>
#include <strings.h>

#include "frontend/interfaces.h"
#include "frontend/labels.h"
#include "frontend/structures.h"
#include "preprocess_test_support.h"

namespace {

class StructuresTest : public PreprocessTest {
protected:
    void SetUp() override
    {
        PreprocessTest::SetUp();
        // Label lists left by earlier tests would be checked at the end of
        // these compilations; a full compilation makes them anew as well.
        compiler_reset();
        create_label_lists();
    }
};

const StructureRecord* structure(const char* name)
{
    return reinterpret_cast<const StructureRecord*>(hash_find(structure_table, name));
}

const FieldRecord* field(const StructureRecord* s, const char* name)
{
    for (const FieldRecord* f = s ? s->first_field : nullptr; f; f = f->next) {
        if (strcasecmp(f->name, name) == 0) return f;
    }
    ADD_FAILURE() << "no field " << name;
    static FieldRecord none{};
    return &none;
}

TEST_F(StructuresTest, PackedFieldsOfEveryType)
{
    ASSERT_EQ(compile("Structure Inner : x.w : y.b : EndStructure\n"
                      "Structure AllTypes\n"
                      " b.b : w.w : l.l : q.q : i.i : f.f : d.d : c.c : a.a : u.u\n"
                      " s.s : fs.s{5} : *p : *ps.Inner : in.Inner : arr.l[4]\n"
                      "EndStructure"),
              0)
        << printed;
    const StructureRecord* s = structure("AllTypes");
    ASSERT_NE(s, nullptr);
    struct Expected {
        const char* name;
        int offset;
        int size;
        int type;
    };
    const Expected expected[] = {
        {"b", 0, 1, TYPE_BYTE},      {"w", 1, 2, TYPE_WORD},           {"l", 3, 4, TYPE_LONG},
        {"q", 7, 8, TYPE_QUAD},      {"i", 15, 8, TYPE_INTEGER},       {"f", 23, 4, TYPE_FLOAT},
        {"d", 27, 8, TYPE_DOUBLE},   {"c", 35, 2, TYPE_CHARACTER},     {"a", 37, 1, TYPE_ASCII},
        {"u", 38, 2, TYPE_UNICODE},  {"s", 40, 8, TYPE_STRING},        {"fs", 48, 10, TYPE_FIXED_STRING},
        {"p", 58, 8, TYPE_INTEGER},  {"ps", 66, 8, TYPE_STRUCTURE},    {"in", 74, 3, TYPE_STRUCTURE},
        {"arr", 77, 4, TYPE_LONG},
    };
    for (const Expected& e : expected) {
        const FieldRecord* f = field(s, e.name);
        EXPECT_EQ(f->offset, e.offset) << e.name;
        EXPECT_EQ(f->element_size, e.size) << e.name;
        EXPECT_EQ(f->type, e.type) << e.name;
    }
    EXPECT_EQ(field(s, "arr")->static_count, 4);
    EXPECT_EQ(field(s, "b")->static_count, -1);
    EXPECT_EQ(field(s, "ps")->flags & FIELD_POINTER, FIELD_POINTER);
    EXPECT_EQ(field(s, "ps")->structure, nullptr);
    EXPECT_EQ(field(s, "in")->structure, structure("Inner"));
    EXPECT_STREQ(field(s, "ps")->type_name, "Inner");
    EXPECT_EQ(s->size, 93);
    EXPECT_EQ(s->member_count, 16);
    EXPECT_EQ(s->flags & STRUCT_HAS_STRINGS, STRUCT_HAS_STRINGS);
    EXPECT_EQ(structure("Inner")->flags & STRUCT_DYNAMIC, 0);
}

TEST_F(StructuresTest, AlignmentModes)
{
    ASSERT_EQ(compile("Structure Packed : b.b : l.l : EndStructure\n"
                      "Structure Natural Align -1 : b.b : l.l : EndStructure\n"
                      "Structure Sixteen Align 16 : b.b : l.l : w.w : EndStructure\n"
                      "Structure Mixed Align -1 : b.b : q.q : c.c : fs.s{3} : *p : n.Natural : b2.b : EndStructure"),
              0)
        << printed;
    EXPECT_EQ(structure("Packed")->size, 5);
    EXPECT_EQ(field(structure("Packed"), "l")->offset, 1);
    EXPECT_EQ(structure("Natural")->size, 8);
    EXPECT_EQ(field(structure("Natural"), "l")->offset, 4);
    EXPECT_EQ(structure("Natural")->largest_alignment, 4);
    const StructureRecord* sixteen = structure("Sixteen");
    EXPECT_EQ(field(sixteen, "l")->offset, 16);
    EXPECT_EQ(field(sixteen, "w")->offset, 32);
    EXPECT_EQ(sixteen->size, 48);
    const StructureRecord* mixed = structure("Mixed");
    EXPECT_EQ(field(mixed, "q")->offset, 8);
    EXPECT_EQ(field(mixed, "c")->offset, 16);
    EXPECT_EQ(field(mixed, "fs")->offset, 18);
    EXPECT_EQ(field(mixed, "p")->offset, 24);
    EXPECT_EQ(field(mixed, "n")->offset, 32);
    EXPECT_EQ(field(mixed, "b2")->offset, 40);
    EXPECT_EQ(mixed->size, 48);
}

TEST_F(StructuresTest, UnionsShareOneOffset)
{
    ASSERT_EQ(compile("Structure Un\n b.b\n StructureUnion\n  l.l\n  q.q\n EndStructureUnion\n c.b\nEndStructure\n"
                      "Structure Vn Align -1\n b.b\n StructureUnion\n  l.l\n  q.q\n EndStructureUnion\n c.b\nEndStructure"),
              0)
        << printed;
    const StructureRecord* u = structure("Un");
    EXPECT_EQ(field(u, "l")->offset, 1);
    EXPECT_EQ(field(u, "q")->offset, 1);
    EXPECT_EQ(field(u, "c")->offset, 9);
    EXPECT_EQ(u->size, 10);
    EXPECT_EQ(field(u, "l")->flags & FIELD_UNION_MEMBER, FIELD_UNION_MEMBER);
    EXPECT_EQ(field(u, "c")->flags & FIELD_UNION_MEMBER, 0);
    // Aligned members end up at the largest of their offsets, and the next
    // field starts after the largest member there.
    const StructureRecord* v = structure("Vn");
    EXPECT_EQ(field(v, "l")->offset, 8);
    EXPECT_EQ(field(v, "q")->offset, 8);
    EXPECT_EQ(field(v, "c")->offset, 16);
    EXPECT_EQ(v->size, 24);

    EXPECT_EQ(compile("Structure Wu\n StructureUnion\n  s.s\n  l.l\n EndStructureUnion\nEndStructure"), ERROR_STRUCTUREUNION_MIXES_STRING_AND_NUMBER);
    EXPECT_EQ(compile("Structure Wu\n StructureUnion\n  s.s\n  *p.l\n EndStructureUnion\nEndStructure"), ERROR_NATIVE_TYPE_POINTER);
    EXPECT_EQ(compile("Structure Wu\n StructureUnion\n  s.s\n  *p\n EndStructureUnion\nEndStructure"), 0) << printed;
    EXPECT_EQ(compile("Structure Wu\n StructureUnion\n  List l.l()\n EndStructureUnion\nEndStructure"), ERROR_STRUCTUREUNION_CONTAINER);
    EXPECT_EQ(compile("Structure Dyn : s.s : EndStructure\n"
                      "Structure Wu\n StructureUnion\n  d.Dyn\n EndStructureUnion\nEndStructure"),
              ERROR_STRUCTUREUNION_DYNAMIC_STRUCTURE);
    EXPECT_EQ(compile("Structure Wu\n StructureUnion\n  l.l\nEndStructure"), ERROR_STRUCTUREUNION_NOT_CLOSED);
}

TEST_F(StructuresTest, ExtendsCopiesTheBase)
{
    ASSERT_EQ(compile("Structure Base : a.l : s.s : EndStructure\n"
                      "Structure Derived Extends Base : b.w : EndStructure"),
              0)
        << printed;
    const StructureRecord* derived = structure("Derived");
    EXPECT_EQ(derived->member_count, 3);
    EXPECT_EQ(field(derived, "a")->offset, 0);
    EXPECT_EQ(field(derived, "b")->offset, 12);
    EXPECT_EQ(derived->size, 14);
    EXPECT_EQ(derived->flags & STRUCT_HAS_STRINGS, STRUCT_HAS_STRINGS);
    // The base's own chain is not changed by the copy.
    EXPECT_EQ(structure("Base")->first_field->next->next, nullptr);

    EXPECT_EQ(compile("Structure Same Extends Same : a.l : EndStructure"), ERROR_STRUCTURE_EXTENDS_ITSELF);
    EXPECT_EQ(compile("Structure St Extends Missing : a.l : EndStructure"), ERROR_EXTENDS_NEEDS_STRUCTURE_OR_INTERFACE);
    EXPECT_EQ(compile("Interface If : M() : EndInterface\nStructure St Extends If : a.l : EndStructure"), ERROR_EXTENDS_NEEDS_STRUCTURE_OR_INTERFACE);
    EXPECT_EQ(compile("Structure Base : a.l : EndStructure\nStructure St Extends Base : a.b : EndStructure"), ERROR_STRUCTURE_FIELD_DECLARED_TWICE);
}

TEST_F(StructuresTest, SelfReferenceAndContainers)
{
    EXPECT_EQ(compile("Structure Node : value.l : next.Node : EndStructure"), ERROR_ENDLESS_RECURSION);
    // Every element of an Array of its own structure would hold such an
    // array again; lists and maps start empty.
    EXPECT_EQ(compile("Structure Node : value.l : Array grid.Node(3) : EndStructure"), ERROR_ENDLESS_RECURSION);
    ASSERT_EQ(compile("Structure Node\n value.l\n *next.Node\n List children.Node()\n Map byName.Node(64)\n"
                      " Array *grid.Node(3, 4)\n *later.NotYetDeclared\nEndStructure"),
              0)
        << printed;
    const StructureRecord* node = structure("Node");
    // A two-dimension Array field: its pointer and its two dimension sizes.
    EXPECT_EQ(node->size, 4 + 8 + 16 + 8 + 24 + 8);
    const FieldRecord* children = field(node, "children");
    EXPECT_EQ(children->type, TYPE_LIST);
    EXPECT_EQ(children->element_size, 16);
    auto* list = static_cast<const ListRecord*>(children->container);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->element_structure, node);
    EXPECT_EQ(list->element_size, node->size);
    EXPECT_STREQ(list->name, "[Node]children");
    auto* map = static_cast<const MapRecord*>(field(node, "byName")->container);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->slot_count, 64);
    EXPECT_EQ(map->element_size, node->size);
    const FieldRecord* grid = field(node, "grid");
    EXPECT_EQ(grid->type, TYPE_ARRAY);
    EXPECT_EQ(grid->element_size, 24);
    auto* array = static_cast<const ArrayRecord*>(grid->container);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->dimension_count, 2);
    EXPECT_EQ(array->constant_sizes[0], 4);
    EXPECT_EQ(array->constant_sizes[1], 5);
    EXPECT_EQ(array->element_size, 8);
    const FieldRecord* later = field(node, "later");
    EXPECT_EQ(later->type, TYPE_STRUCTURE);
    EXPECT_STREQ(later->type_name, "NotYetDeclared");
    EXPECT_EQ(node->flags & STRUCT_DYNAMIC, STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS);

    EXPECT_EQ(compile("Structure St : List l.l : EndStructure"), ERROR_NEWLIST_SYNTAX);
    EXPECT_EQ(compile("Structure St : Map m.l(x) : EndStructure"), ERROR_STATIC_NEEDS_LITERAL);
    EXPECT_EQ(compile("Structure St : Array a.l(n) : EndStructure"), ERROR_ARRAY_SIZE_NOT_LITERAL);
}

TEST_F(StructuresTest, DeclarationErrors)
{
    EXPECT_EQ(compile("Structure St : a : EndStructure"), ERROR_FIELD_TYPE_EXPECTED);
    EXPECT_EQ(compile("Structure St : a.l : A.b : EndStructure"), ERROR_STRUCTURE_FIELD_DECLARED_TWICE);
    EXPECT_EQ(compile("Structure St : *p.l : EndStructure"), ERROR_NATIVE_TYPE_POINTER);
    EXPECT_EQ(compile("Structure St : a.Missing : EndStructure"), ERROR_STRUCTURE_NOT_FOUND);
    EXPECT_EQ(compile("Structure St : a.l[-1] : EndStructure"), ERROR_NEGATIVE_VALUE);
    EXPECT_EQ(compile("Structure St : a.l[2 : EndStructure"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Structure St Align x : a.l : EndStructure"), ERROR_ALIGN_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("Structure L : a.l : EndStructure"), ERROR_NATIVE_TYPE_NAME);
    EXPECT_EQ(compile("Structure St : a.l : EndStructure\nStructure St : b.l : EndStructure"), ERROR_STRUCTURE_ALREADY_DECLARED);
    EXPECT_NE(printed.find("main.zd line 1)."), std::string::npos) << printed;
    EXPECT_EQ(compile("Interface St : M() : EndInterface\nStructure St : b.l : EndStructure"), ERROR_INTERFACE_ALREADY_DECLARED);
    EXPECT_EQ(compile("EndStructure"), ERROR_ENDSTRUCTURE_WITHOUT_STRUCTURE);
    // A failing compilation leaves nothing behind for the next one.
    EXPECT_EQ(compile("Structure St : a.l : EndStructure"), 0) << printed;
}

TEST_F(StructuresTest, InterfaceMethods)
{
    ASSERT_EQ(compile("Structure P : x.l : EndStructure\n"
                      "Interface Shape\n"
                      " Area.d()\n"
                      " Name.s(prefix.s = \"x\")\n"
                      " Move(*to.P, dx.f, dy.l = 2)\n"
                      " Each(List items.P(), Array grid.l(2))\n"
                      " Count.q(pseudo.p-ascii, other.p-variant)\n"
                      "EndInterface\n"
                      "Interface Solid Extends Shape\n Volume.f()\nEndInterface"),
              0)
        << printed;
    const StructureRecord* shape = structure("Shape");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->flags & STRUCT_INTERFACE, STRUCT_INTERFACE);
    EXPECT_EQ(shape->size, 8);
    ASSERT_EQ(shape->member_count, 5);
    const InterfaceMethod* m = shape->methods;
    EXPECT_EQ(m[0].flags, METHOD_RETURNS_DOUBLE);
    EXPECT_EQ(m[0].parameter_count, 0);
    EXPECT_EQ(m[1].flags, METHOD_RETURNS_STRING);
    EXPECT_EQ(m[1].optional_count, 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(m[1].default_values[0]), "x");
    EXPECT_EQ(m[2].flags, METHOD_RETURNS_INTEGER);
    ASSERT_EQ(m[2].parameter_count, 3);
    EXPECT_EQ(m[2].parameters[0].type, TYPE_INTEGER);
    EXPECT_EQ(m[2].parameters[1].type, TYPE_FLOAT);
    EXPECT_EQ(m[2].default_values[0], 2);
    ASSERT_EQ(m[3].parameter_count, 2);
    EXPECT_EQ(m[3].parameters[0].type, TYPE_LIST);
    EXPECT_EQ(m[3].parameters[0].element_type->structure, structure("P"));
    EXPECT_EQ(m[3].parameters[1].type, TYPE_ARRAY);
    EXPECT_EQ(m[3].parameters[1].element_type->dimension_count, 2);
    EXPECT_EQ(m[4].flags, METHOD_RETURNS_QUAD);
    EXPECT_EQ(m[4].parameters[0].type, TYPE_P_ASCII);
    EXPECT_EQ(m[4].parameters[1].type, TYPE_P_VARIANT);
    EXPECT_EQ(count_pseudotype_parameters(&m[4]), 1);
    EXPECT_EQ(count_pseudotype_parameters(&m[0]), 0);

    const StructureRecord* solid = structure("Solid");
    ASSERT_EQ(solid->member_count, 6);
    EXPECT_STREQ(solid->methods[5].name, "Volume");
    EXPECT_EQ(solid->methods[5].flags, METHOD_RETURNS_FLOAT);
    std::snprintf(statement_word, sizeof statement_word, "%s", "MOVE");
    EXPECT_EQ(find_interface_method(solid), 3);
    std::snprintf(statement_word, sizeof statement_word, "%s", "Missing");
    EXPECT_EQ(find_interface_method(solid), 0);
}

TEST_F(StructuresTest, InterfaceMethodTableGrowsPastItsFirstRoom)
{
    std::string source = "Interface Wide\n";
    for (int i = 0; i < 1500; i++) source += " M" + std::to_string(i) + "()\n";
    source += "EndInterface\nInterface Wider Extends Wide\n Last()\nEndInterface";
    ASSERT_EQ(compile(source), 0) << printed;
    const StructureRecord* wider = structure("Wider");
    ASSERT_NE(wider, nullptr);
    ASSERT_EQ(wider->member_count, 1501);
    EXPECT_STREQ(wider->methods[0].name, "M0");
    EXPECT_STREQ(wider->methods[1499].name, "M1499");
    EXPECT_STREQ(wider->methods[1500].name, "Last");
    EXPECT_EQ(wider->size, 8);
}

TEST_F(StructuresTest, InterfaceMethodErrors)
{
    EXPECT_EQ(compile("Interface If\n M()\n m(a.l)\nEndInterface"), ERROR_DUPLICATED_INTERFACE_METHOD);
    EXPECT_EQ(compile("Structure P : x.l : EndStructure\nInterface If\n M.P()\nEndInterface"), ERROR_STRUCTURE_PROCEDURE_RETURN);
    EXPECT_EQ(compile("Structure P : x.l : EndStructure\nInterface If\n M(p.P)\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Interface If\n M(, a.l)\nEndInterface"), ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
    EXPECT_EQ(compile("Interface If\n M(\"text\")\nEndInterface"), ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
    EXPECT_EQ(compile("Interface If\n M(List l.l)\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Interface If\n M a.l\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Interface If\n M(a.l = 1, b.l)\nEndInterface"), ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
    EXPECT_EQ(compile("Interface If\n M(a.p-ascii = 1)\nEndInterface"), ERROR_PSEUDOTYPE_DEFAULT_NOT_ZERO);
    EXPECT_EQ(compile("Interface If\n M(a.p-other)\nEndInterface"), ERROR_SYNTAX);
    EXPECT_EQ(compile("EndInterface"), ERROR_ENDINTERFACE_WITHOUT_INTERFACE);
}

}  // namespace
