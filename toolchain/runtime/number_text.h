/* Numbers as text for the string commands: each writes UTF-16 units and a
   terminating zero into `out` and returns the count of units before the
   zero. `out` must hold NUMBER_TEXT_SIZE units. */
#ifndef ZANDREL_NUMBER_TEXT_H
#define ZANDREL_NUMBER_TEXT_H

#define NUMBER_TEXT_SIZE 40
#define NUMBER_TEXT_MAX_DIGITS 24

#ifdef __cplusplus
extern "C" {
#endif

int zd_integer_text(long long value, unsigned short* out);
int zd_float_text(float value, unsigned short* out);
int zd_double_text(double value, unsigned short* out);

#ifdef __cplusplus
}
#endif

#endif
