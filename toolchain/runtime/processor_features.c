/* The processor's instruction sets, for the programs built to choose the
   routine of a library command at start-up (SystemBase.lib). */

/* The bits of the command flags that name the variants: MMX 0x10000, SSE
   0x20000, SSE2 0x40000, 3DNow! 0x80000. */
#define FEATURE_MMX 0x10000
#define FEATURE_SSE 0x20000
#define FEATURE_SSE2 0x40000
#define FEATURE_3DNOW 0x80000

static void cpuid(unsigned leaf, unsigned *a, unsigned *d)
{
    unsigned b, c;
    __asm__ __volatile__("cpuid" : "=a"(*a), "=b"(b), "=c"(c), "=d"(*d) : "a"(leaf), "c"(0));
}

int SYS_ProcessorFeatures(void)
{
    unsigned a, d;
    int features = 0;
    cpuid(0, &a, &d);
    if (a >= 1) {
        cpuid(1, &a, &d);
        if (d & (1u << 23)) features |= FEATURE_MMX;
        if (d & (1u << 25)) features |= FEATURE_SSE;
        if (d & (1u << 26)) features |= FEATURE_SSE2;
    }
    cpuid(0x80000000u, &a, &d);
    if (a >= 0x80000001u) {
        cpuid(0x80000001u, &a, &d);
        if (d & (1u << 31)) features |= FEATURE_3DNOW;
    }
    return features;
}
