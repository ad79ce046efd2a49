/* Items the program registers by name for run-time lookup (SystemBase.lib):
   procedures, constants and variables marked with Runtime. The start-up
   code calls one routine per item with the name (a static UTF-16 string) in
   rcx; the registry keeps each item in a list of its own blocks. */
#include "runtime.h"

enum { ITEM_INTEGER = 1, ITEM_DOUBLE = 2, ITEM_STRING = 3, ITEM_VARIABLE = 4 };

typedef struct RuntimeItem {
    struct RuntimeItem* next;
    const unsigned short* name;
    int kind;
    long long type;
    union {
        long long integer;
        double number;
        const unsigned short* text;
        void* address;
    } value;
} RuntimeItem;

static RuntimeItem* runtime_items;

static RuntimeItem* add_item(const unsigned short* name, int kind)
{
    RuntimeItem* item = (RuntimeItem*)HeapAlloc(GetProcessHeap(), 0, sizeof(RuntimeItem));
    if (!item) ExitProcess(1);
    item->next = runtime_items;
    item->name = name;
    item->kind = kind;
    item->type = 0;
    item->value.integer = 0;
    runtime_items = item;
    return item;
}

void ZD_Runtime_AddInteger(const unsigned short* name, long long value)
{
    add_item(name, ITEM_INTEGER)->value.integer = value;
}

void ZD_Runtime_AddDouble(const unsigned short* name, double value)
{
    add_item(name, ITEM_DOUBLE)->value.number = value;
}

void ZD_Runtime_AddString(const unsigned short* name, const unsigned short* value)
{
    add_item(name, ITEM_STRING)->value.text = value;
}

void ZD_Runtime_AddVariable(const unsigned short* name, void* address, long long type)
{
    RuntimeItem* item = add_item(name, ITEM_VARIABLE);
    item->value.address = address;
    item->type = type;
}
