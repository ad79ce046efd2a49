/* The routines of the test library Variants: one per processor variant of
   VariantValue, each returning its own number; HeldValue's variants are
   reached through pointers that the library holds. */
int ZD_VariantValue(void) { return 0; }
int ZD_VariantValue_MMX(void) { return 1; }
int ZD_VariantValue_SSE(void) { return 2; }
int ZD_VariantValue_SSE2(void) { return 3; }
int ZD_VariantValue_3DNOW(void) { return 4; }

static int held_plain(void) { return 0; }
static int held_sse(void) { return 1; }
static int held_sse2(void) { return 2; }
int (*ZD_HeldValue)(void) = held_plain;
int (*ZD_HeldValue_SSE)(void) = held_sse;
int (*ZD_HeldValue_SSE2)(void) = held_sse2;
