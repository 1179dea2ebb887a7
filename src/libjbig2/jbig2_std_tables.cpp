// The standard Huffman tables B.1 to B.15 of ITU-T T.88 Annex B.5: each line as (range low,
// prefix length, range length), ordinary lines in the standard's order, then the lower-range,
// upper-range and out-of-band lines.

#include "jbig2_huffman.h"

namespace {

struct Def {
  int32_t low;
  uint8_t pref;
  uint8_t range;
  uint8_t kind;
};

constexpr uint8_t N = kLineNormal, LO = kLineLower, UP = kLineUpper, OOB = kLineOob;

const Def kB1[] = {{0, 1, 4, N}, {16, 2, 8, N}, {272, 3, 16, N}, {65808, 3, 32, UP}};
const Def kB2[] = {{0, 1, 0, N},  {1, 2, 0, N},    {2, 3, 0, N},  {3, 4, 3, N},
                   {11, 5, 6, N}, {75, 6, 32, UP}, {0, 6, 0, OOB}};
const Def kB3[] = {{-256, 8, 8, N}, {0, 1, 0, N},      {1, 2, 0, N},    {2, 3, 0, N},  {3, 4, 3, N},
                   {11, 5, 6, N},   {-257, 8, 32, LO}, {75, 7, 32, UP}, {0, 6, 0, OOB}};
const Def kB4[] = {{1, 1, 0, N}, {2, 2, 0, N},  {3, 3, 0, N},
                   {4, 4, 3, N}, {12, 5, 6, N}, {76, 5, 32, UP}};
const Def kB5[] = {{-255, 7, 8, N}, {1, 1, 0, N},  {2, 2, 0, N},      {3, 3, 0, N},
                   {4, 4, 3, N},    {12, 5, 6, N}, {-256, 7, 32, LO}, {76, 6, 32, UP}};
const Def kB6[] = {{-2048, 5, 10, N},  {-1024, 4, 9, N}, {-512, 4, 8, N}, {-256, 4, 7, N},
                   {-128, 5, 6, N},    {-64, 5, 5, N},   {-32, 4, 5, N},  {0, 2, 7, N},
                   {128, 3, 7, N},     {256, 3, 8, N},   {512, 4, 9, N},  {1024, 4, 10, N},
                   {-2049, 6, 32, LO}, {2048, 6, 32, UP}};
const Def kB7[] = {{-1024, 4, 9, N}, {-512, 3, 8, N},    {-256, 4, 7, N},  {-128, 5, 6, N},
                   {-64, 5, 5, N},   {-32, 4, 5, N},     {0, 4, 5, N},     {32, 5, 5, N},
                   {64, 5, 6, N},    {128, 4, 7, N},     {256, 3, 8, N},   {512, 3, 9, N},
                   {1024, 3, 10, N}, {-1025, 5, 32, LO}, {2048, 5, 32, UP}};
const Def kB8[] = {{-15, 8, 3, N}, {-7, 9, 1, N},   {-5, 8, 1, N},    {-3, 9, 0, N},
                   {-2, 7, 0, N},  {-1, 4, 0, N},   {0, 2, 1, N},     {2, 5, 0, N},
                   {3, 6, 0, N},   {4, 3, 4, N},    {20, 6, 1, N},    {22, 4, 4, N},
                   {38, 4, 5, N},  {70, 5, 6, N},   {134, 5, 7, N},   {262, 6, 7, N},
                   {390, 7, 8, N}, {646, 6, 10, N}, {-16, 9, 32, LO}, {1670, 9, 32, UP},
                   {0, 2, 0, OOB}};
const Def kB9[] = {{-31, 8, 4, N},    {-15, 9, 2, N}, {-11, 8, 2, N},   {-7, 9, 1, N},
                   {-5, 7, 1, N},     {-3, 4, 1, N},  {-1, 3, 1, N},    {1, 3, 1, N},
                   {3, 5, 1, N},      {5, 6, 1, N},   {7, 3, 5, N},     {39, 6, 2, N},
                   {43, 4, 5, N},     {75, 4, 6, N},  {139, 5, 7, N},   {267, 5, 8, N},
                   {523, 6, 8, N},    {779, 7, 9, N}, {1291, 6, 11, N}, {-32, 9, 32, LO},
                   {3339, 9, 32, UP}, {0, 2, 0, OOB}};
const Def kB10[] = {{-21, 7, 4, N},   {-5, 8, 0, N},    {-4, 7, 0, N},    {-3, 5, 0, N},
                    {-2, 2, 2, N},    {2, 5, 0, N},     {3, 6, 0, N},     {4, 7, 0, N},
                    {5, 8, 0, N},     {6, 2, 6, N},     {70, 5, 5, N},    {102, 6, 5, N},
                    {134, 6, 6, N},   {198, 6, 7, N},   {326, 6, 8, N},   {582, 6, 9, N},
                    {1094, 6, 10, N}, {2118, 7, 11, N}, {-22, 8, 32, LO}, {4166, 8, 32, UP},
                    {0, 2, 0, OOB}};
const Def kB11[] = {{1, 1, 0, N},  {2, 2, 1, N},  {4, 4, 0, N},    {5, 4, 1, N},  {7, 5, 1, N},
                    {9, 5, 2, N},  {13, 6, 2, N}, {17, 7, 2, N},   {21, 7, 3, N}, {29, 7, 4, N},
                    {45, 7, 5, N}, {77, 7, 6, N}, {141, 7, 32, UP}};
const Def kB12[] = {{1, 1, 0, N},  {2, 2, 0, N},  {3, 3, 1, N},   {5, 5, 0, N},  {6, 5, 1, N},
                    {8, 6, 1, N},  {10, 7, 0, N}, {11, 7, 1, N},  {13, 7, 2, N}, {17, 7, 3, N},
                    {25, 7, 4, N}, {41, 8, 5, N}, {73, 8, 32, UP}};
const Def kB13[] = {{1, 1, 0, N},  {2, 3, 0, N},  {3, 4, 0, N},    {4, 5, 0, N},  {5, 4, 1, N},
                    {7, 3, 3, N},  {15, 6, 1, N}, {17, 6, 2, N},   {21, 6, 3, N}, {29, 6, 4, N},
                    {45, 6, 5, N}, {77, 7, 6, N}, {141, 7, 32, UP}};
const Def kB14[] = {{-2, 3, 0, N}, {-1, 3, 0, N}, {0, 1, 0, N}, {1, 3, 0, N}, {2, 3, 0, N}};
const Def kB15[] = {{-24, 7, 4, N}, {-8, 6, 2, N},    {-4, 5, 1, N},  {-2, 4, 0, N}, {-1, 3, 0, N},
                    {0, 1, 0, N},   {1, 3, 0, N},     {2, 4, 0, N},   {3, 5, 1, N},  {5, 6, 2, N},
                    {9, 7, 4, N},   {-25, 7, 32, LO}, {25, 7, 32, UP}};

struct DefList {
  const Def *defs;
  int count;
};

template <size_t K>
constexpr DefList listOf(const Def (&d)[K]) {
  return {d, static_cast<int>(K)};
}

const DefList kDefs[15] = {listOf(kB1),  listOf(kB2),  listOf(kB3),  listOf(kB4),  listOf(kB5),
                           listOf(kB6),  listOf(kB7),  listOf(kB8),  listOf(kB9),  listOf(kB10),
                           listOf(kB11), listOf(kB12), listOf(kB13), listOf(kB14), listOf(kB15)};

struct StandardTables {
  Jbig2CodeLine lines[15][24];
  uint16_t order[15][24];
  Jbig2CodeTable tables[15];

  StandardTables() {
    for (int t = 0; t < 15; ++t) {
      for (int i = 0; i < kDefs[t].count; ++i) {
        const Def &d = kDefs[t].defs[i];
        lines[t][i] = {0, d.low, d.pref, d.range, d.kind};
      }
      tables[t] = Jbig2CodeTable{};
      assignPrefixCodes(&tables[t], lines[t], kDefs[t].count, order[t]);
    }
  }
};

}  // namespace

const Jbig2CodeTable *standardTable(int n) {
  static const StandardTables kTables;
  return n >= 1 && n <= 15 ? &kTables.tables[n - 1] : nullptr;
}
