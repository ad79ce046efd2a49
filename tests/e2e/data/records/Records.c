/* The routines of the test library Records. Structure maps start with the
   structure's name. */
typedef long long integer;

static int name_length(const char *map)
{
    int n = 0;
    if (map)
        while (map[n]) n++;
    return n;
}

int ZD_RecordSize(integer size, const integer *descriptor) { return (int)size * 10 + (descriptor != 0); }

int ZD_RecordClear(unsigned char *memory, integer size, const char *map)
{
    volatile unsigned char *bytes = memory;
    for (integer i = 0; i < size; i++) bytes[i] = 0;
    return (int)size * 100 + name_length(map);
}

int ZD_ElementMap(const void *data, const char *map) { return (data != 0) + 10 * name_length(map); }

int ZD_Pick(int first) { return first; }
int ZD_Pick2(int first, int second) { return first * second; }

int ZD_OldTwice(int value) { return value * 2; }
