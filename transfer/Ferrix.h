#pragma once
/* The row transfer library (libferrix.so): what a render engine calls to send
 * the rows it renders to the boss of its job. The library reads boss.ini and
 * Farmer.ini from the folder of the executable that loaded it. Booleans are
 * one byte, 1 for true. */
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Connects to the boss named in boss.ini. On failure shows the message
 * "TransFormInit error " and answers false. Call once before the first row;
 * a later call connects afresh (to the boss boss.ini names then). */
bool Transformdata_init(void);

/* Sends row `line` (from 1 at the top) of `count` pixels, each a COLORREF
 * (red in the low byte, then green, then blue). The pixels are not copied and
 * stay the caller's. False when not connected or the boss did not take it. */
bool Transformdata(int32_t line, int32_t count, const int32_t* pixels);

/* The band of the job from Farmer.ini: first row, last row, picture height.
 * False, leaving the three untouched, when the record cannot be read. */
bool Transformdata_getbegin(int32_t* firstRow, int32_t* lastRow, int32_t* height);

/* Whether every row sent has been taken: rows are sent synchronously and no
 * row waits in the library, but the library is never marked ready, so this
 * answers false. */
bool Transformdata_IsOK(void);

#ifdef __cplusplus
}
#endif
