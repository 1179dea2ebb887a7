/*
 * General image records of the base libraries: a row table addressed by absolute coordinates
 * over a pixel block of one of ten pixel types, conversion between the types, and PNM-style
 * ("P1" to "P6", wide-pixel "Q1" to "Q5") and headerless raw files.
 *
 * Addressing: rows[y] is valid for yoff <= y < yoff + height. For types 1 to 9 the row
 * pointers are biased by xoff, so rows[y] + x * element bytes is pixel (x, y) for
 * xoff <= x < xoff + width. For type 100 (packed bilevel: 32-bit words, leftmost pixel in the
 * most significant bit, 1 = black) rows[y] is the first word of row y and xoff is only
 * recorded. A record made by a constructor owns its row table and one pixel block; a wrapped
 * record owns only its row table and must be taken apart with an unwrap function, never
 * freed. All memory comes from the hooks of the record's state, and every failure is reported
 * once through its sink.
 */
#ifndef QTZ_IMAGE_H
#define QTZ_IMAGE_H

#include <stdint.h>
#include <stdio.h>

#include "norv_export.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

/* Pixel types. */
enum QtzImageType {
  QTZ_IMAGE_GREY8 = 1,     /* unsigned 8-bit grey */
  QTZ_IMAGE_FLOAT = 2,     /* 32-bit float grey */
  QTZ_IMAGE_RGB = 3,       /* three unsigned bytes R, G, B */
  QTZ_IMAGE_DOUBLE = 4,    /* 64-bit double grey */
  QTZ_IMAGE_BILEVEL = 5,   /* one byte per pixel, 1 = black, 0 = white */
  QTZ_IMAGE_INT32 = 6,     /* signed 32-bit grey */
  QTZ_IMAGE_QUAD = 7,      /* four bytes per pixel; no conversions, no file format */
  QTZ_IMAGE_INT16 = 8,     /* signed 16-bit grey */
  QTZ_IMAGE_RGB_FLOAT = 9, /* three 32-bit floats R, G, B */
  QTZ_IMAGE_PACKED = 100   /* packed bilevel */
};

enum {
  QTZ_IMAGE_NO_ZERO = 0x80,          /* added to a constructor's type: pixels left unset */
  QTZ_RAW_BIG_ENDIAN = 0x100,        /* raw files: elements big-endian (alone, not with 0x200) */
  QTZ_RAW_NATIVE = 0x200,            /* raw files: no effect of its own */
  QTZ_IMAGE_COMMENT_CAPACITY = 8192, /* comment buffer of the token readers, with its NUL */
  /* Limits of images read from files: each side and the pixel block. */
  QTZ_IMAGE_FILE_MAX_SIDE = 1 << 20,
  QTZ_IMAGE_FILE_MAX_BYTES = 1 << 30
};

/* Status codes of the image library (texts in Qtz_getErrStr). */
enum QtzImageStatus {
  QTZ_IMAGE_ERR_RAW_TYPE = 12,    /* raw files: type outside the list ("Invalid image type") */
  QTZ_IMAGE_ERR_RAW_READ = 2000,  /* raw read: failed close */
  QTZ_IMAGE_ERR_RAW_WRITE = 2001, /* raw write or close failed */
  QTZ_IMAGE_ERR_RAW_SHORT = 2003, /* raw read: fewer bytes than the image needs */
  QTZ_IMAGE_ERR_FILE = 10000,     /* bad or hostile PNM file, failed open or close */
  QTZ_IMAGE_ERR_TYPE = 10004,     /* unsupported type, or no promotion to the wanted type */
  QTZ_IMAGE_ERR_MEMORY = 10005,   /* pixel block or row table */
  QTZ_IMAGE_ERR_CORRUPT = 10006   /* a record of unknown type ("bad image tag") */
};

/* The part of a record that QtzImage_getHeader hands out. */
typedef struct QtzImageHeader {
  int32_t width;
  int32_t height;
  int32_t bytesPerLine; /* bytes from one row to the next */
  int32_t xoff;         /* x of the first pixel of a row */
  int32_t yoff;         /* y of the first row */
  uint16_t type;
} QtzImageHeader;

typedef struct QtzImage {
  uint8_t **rows; /* biased row table; null when width or height is 0 */
  QtzImageHeader hdr;
  char *comment; /* carried to and from PNM comment lines; may be null */
  QtzState *state;
} QtzImage;

/* ---- Records ---- */

/* A new image with offsets 0 and unpadded rows. type may carry QTZ_IMAGE_NO_ZERO. 10004 for a
 * type outside the list, 10003 for a null state or out or a negative size, 1 when the record
 * cannot be allocated, 10005 for the pixel block or row table (also for sizes whose rows or
 * block cannot be addressed). Width or height 0 gives a record without rows. */
NORV_API int32_t QtzImage_new(QtzState *state, int32_t type, int32_t width, int32_t height,
                              QtzImage **out);
NORV_API int32_t QtzImage_newOffset(QtzState *state, int32_t type, int32_t width, int32_t height,
                                    int32_t xoff, int32_t yoff, QtzImage **out);
/* Rows padded to a multiple of 4 bytes. */
NORV_API int32_t QtzImage_newAligned(QtzState *state, int32_t type, int32_t width, int32_t height,
                                     QtzImage **out);
/* Frees comment, pixels, row table and record; 0 for null. 10006 ("bad image tag") and
 * nothing freed for a record of unknown type. */
NORV_API int32_t QtzImage_free(QtzImage *image);
/* A new image (unpadded rows) of the same type, size, offsets and pixels, copied row by row
 * from the source's rows. copyComment: carry the comment (types 1 to 9 only). */
NORV_API int32_t QtzImage_dup(const QtzImage *image, uint8_t copyComment, QtzImage **out);
/* Moves the coordinate origin without touching the pixels. */
NORV_API int32_t QtzImage_setOffset(QtzImage *image, int32_t xoff, int32_t yoff);
/* *out = the record's own header (no copy). */
NORV_API int32_t QtzImage_getHeader(QtzImage *image, QtzImageHeader **out);
/* Replaces the comment with a copy of text; null removes it. */
NORV_API int32_t QtzImage_setComment(QtzImage *image, const char *text);

/* ---- Records over the caller's pixels ---- */

/* Type 100 over rows of wordsPerRow words (at least ceil(width / 32)). */
NORV_API int32_t QtzImage_wrap(QtzState *state, uint32_t *words, int32_t width, int32_t height,
                               int32_t wordsPerRow, QtzImage **out);
/* Type 3 over rows strideBytes apart. */
NORV_API int32_t QtzImage_wrapRGB(QtzState *state, uint8_t *pixels, int32_t width, int32_t height,
                                  int32_t strideBytes, QtzImage **out);
/* Any type 1 to 9, or 100 (wordsPerRow = strideBytes / 4). */
NORV_API int32_t QtzImage_wrapAll(QtzState *state, void *pixels, int32_t type, int32_t width,
                                  int32_t height, int32_t strideBytes, QtzImage **out);
/* Gives back the caller's pixel pointer and frees row table and record. 10003 for a null image
 * or out or a record without rows; QtzImage_unwrapAll reports them as 118. */
NORV_API int32_t QtzImage_unwrap(QtzImage *image, void **pixels);
NORV_API int32_t QtzImage_unwrapRGB(QtzImage *image, void **pixels);
NORV_API int32_t QtzImage_unwrapAll(QtzImage *image, void **pixels);

/* ---- Conversion ---- */

/* A new image of type to; the source is unchanged. Same type: a copy without the comment.
 * Type 100 goes through type 5. 10003 for a null image or a pair without converter (type 7),
 * 118 (reported) when a result or intermediate image cannot be made.
 * Rules: promotions keep the value (bilevel 1 becomes 0 and 0 becomes 255 in the byte, integer
 * and colour types, 1.0 and 0.0 in float and double); other casts truncate toward zero and keep
 * the low bits (NaN gives 0, values beyond the 64-bit range saturate first); colour to grey is
 * (299 R + 587 G + 114 B) / 1000, so a grey pixel keeps its value; grey to bilevel: 0 is black,
 * float to bilevel: non-zero is black, colour to bilevel: all channels 0 is black. */
NORV_API int32_t QtzImage_convert(const QtzImage *image, uint16_t to, QtzImage **out);

/* ---- PNM-style files ---- */

/* Reads one image and converts it to the wanted type (a promotion of the file's type, or the
 * file's own type; 100 only from "P1" and "P4"). 10003 null stream or out; 10000 bad magic,
 * bad header (maxval 0 or above 255, a size 0 or beyond the file limits, a number beyond the
 * 32-bit range), short or bad data; 10004 no promotion to the wanted type. */
NORV_API int32_t QtzImage_pLoadF(QtzState *state, int32_t want, FILE *stream, QtzImage **out);
/* Opens path ("rb"; failure 118), reads with QtzImage_pLoadF, closes (failure 10000). */
NORV_API int32_t QtzImage_load(QtzState *state, int32_t want, const char *path, QtzImage **out);
/* Writes header and data: type 1 "P5", 3 "P6", 5 and 100 "P4", 2 "Q1", 4 "Q2", 6 "Q3",
 * 8 "Q4", 9 "Q5" (elements big-endian); 10004 for type 7, 10000 when a write fails. */
NORV_API int32_t QtzImage_pSaveF(const QtzImage *image, FILE *stream);
/* The header alone, with "width height 255" on one line for "P5" and "P6". */
NORV_API int32_t QtzImage_pSaveHeaderF(const QtzImage *image, FILE *stream);
/* Opens path ("wb"; failure 118), writes with QtzImage_pSaveF, closes (failure 10000). */
NORV_API int32_t QtzImage_save(const QtzImage *image, const char *path);

/* The next decimal number of a header, skipping whitespace and "#" comment lines. On end of
 * file, a character other than whitespace after the digits, no digit, or a number above
 * INT32_MAX: *error = 1 and 0 is returned. Comment text (after the "#", newline included) is
 * appended to comment when comment and commentLength are given, up to
 * QTZ_IMAGE_COMMENT_CAPACITY - 1 characters in all, kept NUL-terminated. 10003 for a null
 * error pointer. */
NORV_API int32_t QtzImage_pbmGetToken(FILE *stream, uint8_t *error, char *comment,
                                      int32_t *commentLength, QtzState *state);
/* The next "0" or "1" of plain bilevel data as 0 or 1; *error = 1 on end of file or any other
 * character. */
NORV_API int32_t QtzImage_pbmGetPBMToken(FILE *stream, uint8_t *error, char *comment,
                                         int32_t *commentLength, QtzState *state);

/* ---- Raw files ---- */

/* Reads height rows of width pixels of type (which may carry QTZ_RAW_BIG_ENDIAN): type 1 one
 * byte per pixel, types 5 and 100 packed bits with rows padded to a byte, others their
 * elements back to back. 12 ("Invalid image type") for type 7 or a type outside the list,
 * 10003 null stream or out or a negative size, 2003 short data, 1 no memory. */
NORV_API int32_t QtzImage_loadRawF(int32_t type, int32_t width, int32_t height, FILE *stream,
                                   QtzImage **out, QtzState *state);
/* Opens path (failure 10000), reads with QtzImage_loadRawF, closes (failure 2000). */
NORV_API int32_t QtzImage_loadRaw(int32_t type, int32_t width, int32_t height, const char *path,
                                  QtzImage **out, QtzState *state);
/* Writes the image in the raw layout of its type; type must be the image's. flags:
 * QTZ_RAW_BIG_ENDIAN. 12 for a type outside the list, 10003 for a type that is not the image's,
 * 2001 when a write fails. */
NORV_API int32_t QtzImage_saveRawF_(const QtzImage *image, int32_t type, FILE *stream,
                                    int32_t flags, QtzState *state);
/* 10003 null image or path; opens path ("wb"; failure 10000), writes, closes (failure 2001). */
NORV_API int32_t QtzImage_saveRaw_(const QtzImage *image, int32_t type, const char *path,
                                   int32_t flags, QtzState *state);

NORV_EXTERN_C_END

#endif
