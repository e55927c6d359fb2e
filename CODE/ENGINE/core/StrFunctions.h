#pragma once
// The engine's own character and C-string functions. They differ from the C
// library on purpose in places that the cfg reader and the interface rely
// on: char is signed, so bytes from 0x80 up fall in no ASCII class; compares
// are unsigned; StrCatN bounds the total length; the number readers skip no
// blanks and know no 0x prefix. None of them checks its pointers.
#include "core/Types.h"

int CharIsSpace(char c);
int CharIsAlpha(char c);
int CharIsAlnum(char c);
char CharToUpper(char c);
char CharToLower(char c);

int StrLen(const char* s);
// The terminating zero is never found: c == 0 gives null.
char* StrFindChar(const char* s, char c);
// Index of the first c, or the length when c is absent.
int StrIndexOf(const char* s, char c);
int StrCountChar(const char* s, char c);
// An empty sub gives s.
char* StrFind(const char* s, const char* sub);
// The C library's strstr.
char* StrStr(const char* text, const char* part);
void StrCopy(char* dst, const char* src);
char* StrCat(char* dst, const char* src);
// Copies at most n characters and always writes a zero after them (dst needs
// n + 1 bytes); the rest of dst is left as it was.
char* StrCopyN(char* dst, const char* src, int n);
// Appends until the whole text holds n characters; a text already n or more
// long is left unchanged.
char* StrCatN(char* dst, const char* src, int n);
// pos is at most the length and s has room for one more byte.
void StrInsertChar(char* s, char c, u32 pos);
// pos + n is at most the length.
void StrDelete(char* s, u32 pos, u32 n);
// Unsigned bytes, -1, 0 or 1.
int StrCompare(const char* a, const char* b);
u32 MemDiffers(const void* a, const void* b, int n);
// Reaching a's zero ends the comparison as equal, so a prefix counts as equal.
u32 StrDiffersN(const char* a, const char* b, int n);
// buf needs 12 bytes.
void IntToStr(char* buf, int value);
int StrToIntDec(const char* s);
int StrToIntHex(const char* s);
int StrToInt(const char* s);
// Base 10 reads decimal, every other base hexadecimal; end is never written.
int StrToIntBase(const char* s, char** end, int base);
