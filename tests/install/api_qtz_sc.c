/* Installed API, qtz_sc.h: a context through its stages without a page (the getters refuse
 * before a page is processed, a missing page is refused), then ended and freed. */
#include <stddef.h>

#include "api_check.h"
#include "qtz_sc.h"

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 1, 0) == 0);
  QtzSCState *sc = NULL;
  CHECK(QtzSC_init(state, &sc) == 0);
  CHECK(QtzSC_defaultOptions(sc, 300, 300) == 0);
  CHECK(sc->options.propagationRadius == 30 && sc->options.minSeedSize == 9);
  sc->options.componentSizeLimit = 1;
  CHECK(QtzSC_process(sc, NULL) == 118);
  CHECK(sc->stage == QTZ_SC_STAGE_INIT);

  struct Pixr *mask = NULL, *background = NULL;
  QtzSCTextComponent *components = NULL;
  int32_t count = 0;
  QtzImage *grey = NULL;
  CHECK(QtzSC_getTextMask(sc, &mask) == QTZ_SC_ERR_NOT_FIND_STAGE);
  CHECK(QtzSC_getTextComponents(sc, &components, &count) == QTZ_SC_ERR_NOT_FIND_STAGE);
  CHECK(QtzSC_getGray(sc, &grey) == QTZ_SC_ERR_NOT_FIND_STAGE && grey == NULL);
  CHECK(QtzSC_getBackground(sc, 300, &background) == QTZ_SC_ERR_NOT_FIND_STAGE);
  CHECK(QtzSC_endPage(sc) == 0);
  CHECK(QtzSC_done(sc) == 0);
  Qtz_cleanupQtzState(&state);
  return 0;
}
