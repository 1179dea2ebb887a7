// Grey-image class templates: the class templates of tokens from colour pages rebuilt from the
// page's grey image instead of the segmented one-bit masks.
//
// After each colour page, gatherGreySamples takes the classes of a partial section end of the
// lossy classifier (TokOutClass records whose members are TokOutMember records, user value:
// the member's TclyToken) and adds the grey patch of every member on that page, aligned to
// the class template at half-pixel precision, to an accumulator of the class. The class's
// statistics record hangs on its class word, which the classifier carries through
// reinsertion and merges. After the section end, refineClassTemplates replaces the template
// of every class with samples by the averaged patch thresholded inside the dilated old
// template and cropped to its ink, and unhooks the statistics (class word 0 again);
// dropGreySamples unhooks and frees them without touching the templates.
//
// Statuses: 2 missing inputs or a grey image that is not 8-bit (reported), 1 out of memory
// (reported), 10003 a class without a template, a member without its token record or a
// token outside the grey image; statuses of the image core pass up unchanged. On failure the
// classes keep what was accumulated before the failing class.
#ifndef TCLY_GREY_INTERNAL_H
#define TCLY_GREY_INTERNAL_H

#include <cstdint>

#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"

int32_t gatherGreySamples(QtzState *state, const QtzImage *greyImage, QtzAdtList *classes,
                          const QtzAdtList *tokenList, int32_t pageNumber);
int32_t refineClassTemplates(QtzState *state, QtzAdtList *classes);
void dropGreySamples(QtzState *state, QtzAdtList *classes);

#endif
