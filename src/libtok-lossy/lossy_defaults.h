// The default token options of the encoder, for the classifier's tests and benchmarks (the
// encoder state carries the same values).
#ifndef LOSSY_DEFAULTS_H
#define LOSSY_DEFAULTS_H

#include "tok_lossy_internal.h"

namespace tok {

inline TokOptions defaultOptions(QtzState *state) {
  TokOptions o{};
  o.matchFraction = 0.97f;
  o.maxClusterErrors = 3;
  o.widthRadius = 1;
  o.heightRadius = 1;
  o.freezeCount = 10000;
  o.accumulateLimit = 10000;
  o.countTemplateMinimum = 10;
  o.countImageMinimum = 0;
  o.shiftTrials = 8;
  o.errorOffset = 3;
  o.errorKnee = 6;
  o.smallTokenSize = 6;
  o.errorSlope = 2.0f;
  o.dilationRadius = 1;
  o.flags = 0x18;
  o.state = state;
  return o;
}

}  // namespace tok

#endif
