/*
 * Colour-scan segmentation: one scanned colour or grey page split into its text (a one-bit
 * mask, or text components each with its own bitmap and one colour), a background image in
 * which the text is painted over with the colours around it, and a grey image of the page.
 *
 * Calls per page: QtzSC_init, QtzSC_defaultOptions, set options.componentSizeLimit,
 * QtzSC_process, then the getters, then QtzSC_endPage (the context serves the next page) or
 * QtzSC_done. QtzSC_defaultOptions and QtzSC_process belong to the initialization stage
 * (10010 elsewhere); the getters to the find text stage (10011 elsewhere). Failures are
 * reported once through the state's sink; image-core statuses pass through unchanged.
 *
 * Ownership: QtzSC_process always takes the page over and destroys it exactly once, whatever
 * it returns (refusals and failures included); the caller never destroys it again. Every
 * image and array a getter hands out belongs to the caller.
 */
#ifndef QTZ_SC_H
#define QTZ_SC_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_image.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

struct Pixr;
struct QtzSCComponent;

enum QtzSCStatus {
  QTZ_SC_ERR_NOT_INIT_STAGE = 10010, /* call outside of the initialization stage */
  QTZ_SC_ERR_NOT_FIND_STAGE = 10011  /* call outside of the find text stage */
};

enum QtzSCStage { QTZ_SC_STAGE_INIT = 0, QTZ_SC_STAGE_FIND_TEXT = 1 };

typedef struct QtzSCOptions {
  /* Labelling. */
  int32_t binarizeParam;      /* passed to the page binarisation (32) */
  int32_t componentSizeLimit; /* both size limits of the component finder; set by the caller */
  /* Neighbour graph. */
  float graphScale;             /* page pixels to reduced-map cells (60 / m) */
  float sizeFactor;             /* similar max sides within [seed / f, seed * f] (3) */
  int32_t graphColourTolerance; /* per channel (100) */
  int32_t propagationRadius;    /* cells a label spreads on a reduced map (30) */
  int32_t minSeedSize;          /* 0.03 m */
  int32_t maxSeedSize;          /* m */
  /* Text lines. */
  float lineDistanceFactor; /* corners within this times the reference size (1) */
  float fitDistanceFactor;  /* corners within this refine their line (0.5) */
  int32_t minMembers;       /* 5 */
  float parallelism;        /* |cos| between the two corner lines (0.99) */
  int32_t minPixelCount;    /* xres * yres / 1500 */
  int32_t maxMeanPixelCount;
  float sizeRatio;             /* members' max side within [seed / r, seed * r] (5) */
  int32_t lineColourTolerance; /* 100 */
  int32_t complexityLimit;     /* 10 */
  /* Joining and background. */
  float joinScale;             /* 60 / m */
  int32_t backgroundTolerance; /* 100 */
  float joinSizeRatio;         /* 0.5 */
  float joinDistanceFactor;    /* 1 */
} QtzSCOptions;

/* The segmentation context. m = min(xres, yres) in the option comments. */
typedef struct QtzSCState {
  int32_t stage;
  QtzImage *working;                 /* the page as RGB (type 3) */
  QtzImage *labels;                  /* int32, (w + 2) x (h + 2), offsets -1; -1 none, -2 border */
  struct QtzSCComponent *components; /* the component table */
  int32_t componentCount;
  QtzSCOptions options;
  int32_t xres; /* dots per inch of the page */
  int32_t yres;
  QtzState *state;
} QtzSCState;

/* One text component handed out by QtzSC_getTextComponents. */
typedef struct QtzSCTextComponent {
  QtzImage *bitmap; /* packed bilevel of the component's box; set bits are its pixels */
  int32_t x;        /* page position of the box's top-left corner */
  int32_t y;
  uint8_t R;
  uint8_t G;
  uint8_t B;
} QtzSCTextComponent;

/* A new context in the initialization stage. 1 when it cannot be allocated, 118 null state
 * or out. */
NORV_API int32_t QtzSC_init(QtzState *state, QtzSCState **out);
/* Every option but the component size limit for the resolutions. */
NORV_API int32_t QtzSC_defaultOptions(QtzSCState *sc, int32_t xres, int32_t yres);
/* Finds the text of an 8-bit page of one or three channels (takes the page over). */
NORV_API int32_t QtzSC_process(QtzSCState *sc, struct Pixr *page);
/* A new framed one-bit image of the page: set where a text component lies (x, y >= 1). */
NORV_API int32_t QtzSC_getTextMask(QtzSCState *sc, struct Pixr **mask);
/* A new array of the text components in index order and its length; the array comes from
 * the state's allocate hook. A bitmap that cannot be made ends the array there: the records
 * made so far, their count and the failure are returned. */
NORV_API int32_t QtzSC_getTextComponents(QtzSCState *sc, QtzSCTextComponent **array,
                                         int32_t *count);
/* A new 8-bit image (type 1) of the working image's green bytes. 2 for a null out. */
NORV_API int32_t QtzSC_getGray(QtzSCState *sc, QtzImage **grey);
/* Paints the text over in the working image and hands out a new three-channel framed image
 * of it at resolution (the page's x resolution, or 3/2, 2, 1/2 or 1/3 of it; else 2). */
NORV_API int32_t QtzSC_getBackground(QtzSCState *sc, int32_t resolution, struct Pixr **background);
/* Frees the page's images and table; back to the initialization stage. */
NORV_API int32_t QtzSC_endPage(QtzSCState *sc);
/* QtzSC_endPage, then frees the context; 0 for null. */
NORV_API int32_t QtzSC_done(QtzSCState *sc);

NORV_EXTERN_C_END

#endif
