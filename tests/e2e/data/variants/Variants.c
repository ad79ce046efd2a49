/* The routines of the test library Variants: one per processor variant of
   VariantValue, each returning its own number. */
int ZD_VariantValue(void) { return 0; }
int ZD_VariantValue_MMX(void) { return 1; }
int ZD_VariantValue_SSE(void) { return 2; }
int ZD_VariantValue_SSE2(void) { return 3; }
int ZD_VariantValue_3DNOW(void) { return 4; }
