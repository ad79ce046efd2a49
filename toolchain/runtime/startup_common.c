/* Symbols compiled C code expects of its runtime. */

/* Marks that the program uses floating point. */
int _fltused = 0x9875;

/* Called first by main() in programs compiled by gcc-style compilers. */
void __main(void)
{
}
