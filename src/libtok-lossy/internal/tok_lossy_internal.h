// The lossy token classifier: sorts the tokens (small packed bilevel bitmaps) of the pages of a
// section into classes of look-alike shapes and hands each section's classes out as a symbol
// dictionary (one representative bitmap per class) with the members' offsets.
//
// Calling order: tokInit; per section any number of tokAddToken, then one of the three section
// ends; to go on with the same dictionary, tokReinsertTemplates (or tokReinsertClasses to keep
// the members too) and the next section's tokens; finally tokFreeOutput for each output list
// kept and tokFree. Every entry point returns a status: 0 success, 1 out of memory (reported
// once through the state's error sink), 10003 a broken invariant (not reported: a token
// without black pixels, a dilation radius of 32 or more, inconsistent classes).
//
// Ownership: without TOK_FLAG_KEEP_INPUT, tokAddToken owns the token's rows from the call on
// (they are kept or freed with the state's release hook, also when the call fails). Output
// records, their rows, count images, member lists and member records belong to the caller
// until tokFreeOutput, tokFreeClass or a reinsertion takes them back.
#ifndef TOK_LOSSY_INTERNAL_H
#define TOK_LOSSY_INTERNAL_H

#include <cstdint>

#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"

enum TokFlags : uint32_t {
  TOK_FLAG_KEEP_INPUT = 0x01,      // the caller keeps the rows it passes: they are copied
  TOK_FLAG_COUNT_IMAGES = 0x02,    // classes hand their count image (grey template) out
  TOK_FLAG_MEMBER_RECORDS = 0x08,  // members come out as TokOutMember records
  TOK_FLAG_REALIGN = 0x10,         // members are re-aligned at every section end
  TOK_FLAG_DISTANCE_CODE = 0x20    // dilationRadius is a distance code (10, 14, 20 ...)
};

struct TokTokenizer;
struct TokClassTable;

// Replaces the repeated merge loop at a section end; returns a status.
typedef int32_t (*TokEndSectionHook)(TokClassTable *table, TokTokenizer *tok, void *userData);

struct TokOptions {
  float matchFraction;           // error budget from (1 - matchFraction) x border count
  int32_t maxClusterErrors;      // error pixels allowed in any 3 x 3 window
  int32_t widthRadius;           // width cells looked at to either side
  int32_t heightRadius;          // height cells looked at to either side
  int32_t freezeCount;           // a class of this many members is frozen; 0 or less: never
  int32_t accumulateLimit;       // a class's count template takes this many members at most
  int32_t countTemplateMinimum;  // members from which a class keeps a count image
  int32_t countImageMinimum;     // with TOK_FLAG_COUNT_IMAGES: members to hand the image out
  int32_t shiftTrials;           // last entry of the trial-shift table tried (0 to 24)
  int32_t errorOffset;           // subtracted in the error budget
  int32_t errorKnee;             // where the error budget changes slope
  int32_t smallTokenSize;        // read by the page-to-token step only
  float errorSlope;              // slope of the error budget above the knee
  int32_t dilationRadius;        // dilation passes and blank columns (or a distance code)
  int32_t dilationCode;          // set by tokInit to the caller's dilationRadius
  uint32_t flags;                // TokFlags
  QtzState *state;
  TokEndSectionHook endSectionHook;  // may be null
  void *hookUserData;
};

// A token as the caller passes it: packed rows of at least (width + 31) / 32 words, the
// caller's handle of the token (it comes back in the output).
struct TokInputToken {
  uint16_t width;
  uint16_t height;
  uint32_t *rows;
  uint16_t wordsPerRow;
  uintptr_t user;
};

// One output class. head is the representative bitmap, trimmed to its black bounding box
// (first column in the most significant bit; rows owned by the record; head.user is 0).
struct TokOutClass {
  TokInputToken head;
  uint8_t countIs8Bit;     // 1: 8-bit counts or no count image; 0: 16-bit counts
  int32_t countedMembers;  // with a count image: the members it counted
  QtzImage *countImage;    // with TOK_FLAG_COUNT_IMAGES and enough members; else null
  QtzAdtList *members;     // TokOutMember records, or the bare user values
  uintptr_t classWord;     // 0 for a class made in this section; the caller's record of the class
};

// A member's top-left corner relative to the representative's, and its token's handle.
struct TokOutMember {
  int16_t x;
  int16_t y;
  uintptr_t user;
};

extern "C" {

int32_t tokInit(const TokOptions *options, TokTokenizer **out);
int32_t tokGetClassCount(const TokTokenizer *tok, int32_t *count);
int32_t tokAddToken(TokTokenizer *tok, const TokInputToken *token);
// Refinement (merges, templates, member checks), then the output list of TokOutClass.
int32_t tokEndSectionFinal(TokTokenizer *tok, QtzAdtList **classes);
int32_t tokEndSectionPartial(TokTokenizer *tok, QtzAdtList **classes);
// The output without refinement.
int32_t tokEndSectionRollBack(TokTokenizer *tok, QtzAdtList **classes);
// Put output classes back (with their members, or as dictionary entries without members);
// each record taken back leaves the list; on success the list itself is freed.
int32_t tokReinsertClasses(TokTokenizer *tok, QtzAdtList *classes);
int32_t tokReinsertTemplates(TokTokenizer *tok, QtzAdtList *classes);
int32_t tokFreeOutput(TokTokenizer *tok, QtzAdtList *classes, int32_t freeMembers);
int32_t tokFreeClass(TokTokenizer *tok, TokOutClass *cls);
int32_t tokFree(TokTokenizer *tok);

}  // extern "C"

#endif
