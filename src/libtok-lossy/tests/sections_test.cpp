// Many sections of noisy look-alike tokens under varied options (small freeze counts and
// accumulate limits, count images handed out, no re-alignment, distance codes), with the
// dictionary carried on by each reinsertion kind or ended by a roll-back: every call succeeds,
// every token comes out exactly once per section, every member's representative painted at its
// offset lies over the token, and nothing leaks.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "lossy_support.h"
#include "testkit_state.h"

namespace {

using lossytest::Picture;

// A few shapes of different sizes: rings, bars and crosses with a tail.
Picture shape(int kind, int32_t size) {
  Picture p(size + kind % 3, size + 2 * (kind % 2));
  for (int32_t y = 0; y < p.height; ++y) {
    for (int32_t x = 0; x < p.width; ++x) {
      bool on = false;
      switch (kind % 4) {
        case 0:
          on = x < 2 || y < 2 || x >= p.width - 2 || y >= p.height - 2;
          break;
        case 1:
          on = y < 3 || x < 3;
          break;
        case 2:
          on = std::abs(x - p.width / 2) < 2 || std::abs(y - p.height / 2) < 2;
          break;
        default:
          on = x == y * p.width / p.height || x < 2 || y >= p.height - 2;
          break;
      }
      p.set(x, y, on);
    }
  }
  return p;
}

// Up to `flips` outline pixels changed, keeping the bounding box.
Picture noisy(std::mt19937 &rng, const Picture &base, int flips) {
  Picture p = base;
  for (int i = 0; i < flips; ++i) {
    const int32_t x = 1 + static_cast<int32_t>(rng() % (p.width - 2));
    const int32_t y = 1 + static_cast<int32_t>(rng() % (p.height - 2));
    p.set(x, y, !p.get(x, y));
  }
  return p;
}

// Pixels of a within two pixels of a black pixel of b, a's pixel (x, y) lying on b's
// (x + dx, y + dy).
int32_t nearPixels(const Picture &a, const Picture &b, int32_t dx, int32_t dy) {
  int32_t n = 0;
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      if (!a.get(x, y)) continue;
      bool near = false;
      for (int32_t v = -2; v <= 2 && !near; ++v) {
        for (int32_t u = -2; u <= 2 && !near; ++u) near = b.get(x + dx + u, y + dy + v);
      }
      n += near;
    }
  }
  return n;
}

struct Setting {
  const char *name;
  int32_t freezeCount, accumulateLimit, countTemplateMinimum, dilationRadius;
  uint32_t flags;
  float matchFraction;
};

class Sections : public norvtest::TrackedStateTest, public testing::WithParamInterface<Setting> {};

TEST_P(Sections, EveryTokenComesOutOnceAndNearItsRepresentative) {
  const Setting &s = GetParam();
  TokOptions o = lossytest::defaultOptions(state_);
  o.freezeCount = s.freezeCount;
  o.accumulateLimit = s.accumulateLimit;
  o.countTemplateMinimum = s.countTemplateMinimum;
  o.dilationRadius = s.dilationRadius;
  o.flags = s.flags;
  o.matchFraction = s.matchFraction;
  TokTokenizer *tok = nullptr;
  ASSERT_EQ(tokInit(&o, &tok), 0);
  std::mt19937 rng(11);
  std::map<uintptr_t, Picture> tokens;
  std::set<uintptr_t> carried;  // members kept by tokReinsertClasses
  uintptr_t next = 1;
  QtzAdtList *out = nullptr;
  for (int section = 0; section < 6; ++section) {
    SCOPED_TRACE("section " + std::to_string(section));
    std::set<uintptr_t> expected = carried;
    for (int i = 0; i < 60; ++i) {
      const Picture base = shape(static_cast<int>(rng() % 8), 12 + static_cast<int32_t>(rng() % 3));
      const Picture p = noisy(rng, base, static_cast<int>(rng() % 4));
      const TokInputToken t = lossytest::tokenFrom(state_, p, next);
      ASSERT_EQ(tokAddToken(tok, &t), 0) << "token " << next;
      tokens[next] = p;
      expected.insert(next++);
    }
    const int kind = section % 3;
    const auto end = kind == 2   ? tokEndSectionRollBack
                     : kind == 1 ? tokEndSectionPartial
                                 : tokEndSectionFinal;
    ASSERT_EQ(end(tok, &out), 0);
    std::set<uintptr_t> seen;
    for (QtzAdtListNode *n = out->head; n != nullptr; n = n->next) {
      const auto *c = static_cast<const TokOutClass *>(n->data);
      const Picture rep = lossytest::pictureOf(*c);
      ASSERT_GT(rep.black(), 0);
      for (QtzAdtListNode *m = c->members->head; m != nullptr; m = m->next) {
        const auto *member = static_cast<const TokOutMember *>(m->data);
        ASSERT_TRUE(seen.insert(member->user).second) << "member twice: " << member->user;
        const Picture &p = tokens[member->user];
        // Matching tolerates shapes one or two pixels apart: most pixels of each side lie
        // within two pixels of the other, placed at the member's offset.
        EXPECT_GE(4 * nearPixels(p, rep, member->x, member->y), 3 * p.black())
            << "member " << member->user;
        EXPECT_GE(4 * nearPixels(rep, p, -member->x, -member->y), 3 * rep.black())
            << "member " << member->user;
      }
    }
    EXPECT_EQ(seen, expected);
    carried.clear();
    if (section % 2 == 0) {
      ASSERT_EQ(tokReinsertTemplates(tok, out), 0);
    } else {
      carried = seen;
      ASSERT_EQ(tokReinsertClasses(tok, out), 0);
    }
    out = nullptr;
  }
  ASSERT_EQ(tokEndSectionFinal(tok, &out), 0);
  EXPECT_EQ(tokFreeOutput(tok, out, 1), 0);
  EXPECT_EQ(tokFree(tok), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Sections,
    testing::Values(Setting{"defaults", 10000, 10000, 10, 1, 0x18, 0.97f},
                    Setting{"loose", 10000, 10000, 10, 1, 0x18, 0.85f},
                    Setting{"early freeze", 4, 10000, 2, 1, 0x18, 0.9f},
                    Setting{"freeze before count images", 3, 10000, 6, 1, 0x18, 0.9f},
                    Setting{"freeze with a template, before count images", 5, 10000, 9, 1, 0x18,
                            0.9f},
                    Setting{"small accumulate limit", 10000, 5, 2, 1, 0x1A, 0.9f},
                    Setting{"count images, no realign", 10000, 10000, 1, 1, 0x0A, 0.9f},
                    Setting{"square distance code", 10000, 10000, 3, 14, 0x38, 0.9f},
                    Setting{"two plus passes", 6, 10000, 3, 20, 0x38, 0.9f},
                    Setting{"radius zero", 10000, 10000, 10, 0, 0x18, 0.9f}),
    [](const testing::TestParamInfo<Setting> &info) {
      std::string name = info.param.name;
      for (char &c : name) {
        if (c == ' ' || c == ',') c = '_';
      }
      return name;
    });

}  // namespace
