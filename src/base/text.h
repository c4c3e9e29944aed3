// Request text helpers shared by every command: the tokenizer and the
// number reader.
#ifndef DORVAN_TEXT_H
#define DORVAN_TEXT_H

#include "protocol.h"

#define TEXT_MAX_TOKENS 24

// Splits text in place at blanks (a run of blanks is one separator) into at
// most TEXT_MAX_TOKENS words; returns how many were stored. Words after the
// last slot stay unsplit and have no effect.
int text_split(char *text, char *tokens[TEXT_MAX_TOKENS]);

// A text read as a decimal number: optional sign and leading digits, no
// digits gives 0. Saturates instead of overflowing.
int text_number(const char *text);

// Case-insensitive whole-text comparison (ASCII); 1 when equal.
int text_equal_nocase(const char *a, const char *b);

// Copies src into dst of size bytes; returns 0, or -1 when src does not fit
// (dst is then the empty text). Used wherever an overlong input is refused.
int text_copy(char *dst, unsigned size, const char *src);

#endif
