// Hostile files through every entry point: the control's open, page count, render and BMP
// export, and the conversion entry. Each file is made here (a few hundred bytes to a few
// kilobytes): TIFF headers and TIFF-FX layers that claim pages far larger than their bytes can
// hold, pages of many bands that each claim large regions, long and looping directory chains,
// truncated strips and striped pages of unknown height. Every run happens in a child process
// whose heap is watched and whose processor time is capped: it must end normally, never hold
// more than kHeapLimit bytes at once and finish within kCpuLimit seconds (a bound far above what
// a sound run needs even under the sanitizers, far below what a cost quadratic in a long
// directory chain takes). Pages that cannot be drawn are refused (an empty bitmap), never drawn
// at their claimed size.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "enc_convert.h"
#include "norvview_ctrl.h"
#include "page_fixtures.h"
#include "testkit_files.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOSTILE_HEAP_HOOKS 1
#include <sanitizer/allocator_interface.h>
#endif
#endif

namespace ctl_test {
namespace {

constexpr uint64_t kHeapLimit = uint64_t{256} << 20;
constexpr rlim_t kCpuLimit = 30;

// ---- Heap watch in the child -------------------------------------------------------------

#ifdef HOSTILE_HEAP_HOOKS
std::atomic<int64_t> gLive{0}, gPeak{0};

void onMalloc(const volatile void *, size_t size) {
  const int64_t now = gLive += static_cast<int64_t>(size);
  int64_t peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
}
void onFree(const volatile void *p) {
  gLive -= static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void *>(p)));
}
#endif

// Runs work in a child process whose processor time is capped at kCpuLimit seconds (past it the
// system ends the child). With the sanitizers the child books every heap block and answers its
// peak; without them its address space is limited to what it had plus the limit, so that a
// larger request fails there. True when the child ended normally within both limits.
bool runWithinLimits(const std::function<void()> &work, uint64_t *peak) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(fds[0]);
    const rlimit cpu{kCpuLimit, kCpuLimit};
    setrlimit(RLIMIT_CPU, &cpu);
#ifdef HOSTILE_HEAP_HOOKS
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
#else
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    long pages = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    limit.rlim_cur =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kHeapLimit;
    setrlimit(RLIMIT_AS, &limit);
#endif
    work();
    uint64_t used = 0;
#ifdef HOSTILE_HEAP_HOOKS
    used = static_cast<uint64_t>(gPeak.load());
#endif
    if (write(fds[1], &used, sizeof used) != sizeof used) _exit(3);
    _exit(0);
  }
  close(fds[1]);
  uint64_t used = ~uint64_t{0};
  const bool answered = read(fds[0], &used, sizeof used) == sizeof used;
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  *peak = used;
  return answered && WIFEXITED(status) && WEXITSTATUS(status) == 0 && used <= kHeapLimit;
}

// ---- Plain TIFF bytes ---------------------------------------------------------------------

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

void le16(Bytes *b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void le32(Bytes *b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Appends an IFD of entries (sorted by tag) whose next-IFD offset is next.
void appendIfd(Bytes *b, const std::vector<Entry> &entries, uint32_t next) {
  le16(b, static_cast<uint32_t>(entries.size()));
  for (const Entry &e : entries) {
    le16(b, e.tag);
    le16(b, e.type);
    le32(b, e.count);
    le32(b, e.value);
  }
  le32(b, next);
}

constexpr uint16_t kShort = 3, kLong = 4;

// A bilevel page of width x height whose one strip holds `strip` (compression 4: T.6) and
// whose strip byte count claims `claimed` bytes.
Bytes bilevelTiff(uint32_t width, uint32_t height, const Bytes &strip, uint32_t claimed) {
  Bytes b = {'I', 'I', 42, 0};
  le32(&b, 8);
  const uint32_t entries = 9;
  const uint32_t stripAt = 8 + 2 + entries * 12 + 4;
  appendIfd(&b,
            {{256, kLong, 1, width},
             {257, kLong, 1, height},
             {258, kShort, 1, 1},
             {259, kShort, 1, 4},
             {262, kShort, 1, 0},
             {273, kLong, 1, stripAt},
             {277, kShort, 1, 1},
             {278, kLong, 1, height},
             {279, kLong, 1, claimed}},
            0);
  b.insert(b.end(), strip.begin(), strip.end());
  return b;
}

// `count` small bilevel directories chained one after another; the last points back to the
// first when loop is set.
Bytes chainedTiff(uint32_t count, bool loop) {
  Bytes b = {'I', 'I', 42, 0};
  le32(&b, 8);
  const uint32_t ifdBytes = 2 + 8 * 12 + 4;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = 8 + i * ifdBytes;
    const uint32_t next = i + 1 < count ? at + ifdBytes : loop ? 8 : 0;
    appendIfd(&b,
              {{256, kLong, 1, 16},
               {257, kLong, 1, 16},
               {258, kShort, 1, 1},
               {259, kShort, 1, 1},
               {262, kShort, 1, 0},
               {273, kLong, 1, 8},
               {278, kLong, 1, 16},
               {279, kLong, 1, 32}},
              next);
  }
  return b;
}

// ---- The entry points ---------------------------------------------------------------------

// Opens the file in the control, counts its pages and exports each of the first few as a BMP;
// then converts it through the conversion entry.
void throughEveryEntry(const std::string &path, const std::string &scratch) {
  {
    ctl::NorvviewCtrl control;
    control.SetFileName(path);
    const int32_t pages = std::min(control.NumPages(), 3);
    for (int32_t p = 1; p <= pages; ++p) {
      control.SavePageAsBmp(scratch + ".bmp", p, 0, 1.0);
      control.SavePageAsBmp(scratch + ".bmp", p, 2, 0.5);
    }
  }
  convertTiffFileToTfx(path.c_str(), (scratch + ".tfx").c_str());
}

struct HostileFile {
  const char *name;
  const char *extension;
  std::function<void(const std::string &)> make;
};

void writeBytes(const std::string &path, const Bytes &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A TIFF-FX page of `bands` JBIG2 stripes of width x rows each, every stripe claiming a
// region of regionWidth x regionHeight.
void stripedMask(const std::string &path, uint32_t bands, uint32_t width, uint32_t rows,
                 uint32_t regionWidth, uint32_t regionHeight, uint32_t pageHeight) {
  PagePlan page;
  for (uint32_t i = 0; i < bands; ++i)
    page.push_back(jbig2Mask(i * rows, width, rows, {}, {},
                             jbig2GenericClaim(width, pageHeight == 0 ? rows : pageHeight,
                                               regionWidth, regionHeight, 1)));
  writeMrc(path, 13, {page});
}

const HostileFile kFiles[] = {
    {"bilevel TIFF claiming 100000 x 100000 as TIFF-FX", ".tfx",
     [](const std::string &p) { writeBytes(p, bilevelTiff(100000, 100000, Bytes(8, 0), 8)); }},
    {"bilevel TIFF claiming 100000 x 100000", ".tif",
     [](const std::string &p) { writeBytes(p, bilevelTiff(100000, 100000, Bytes(8, 0), 8)); }},
    {"bilevel TIFF claiming 60000 x 4000 rows of 16 bytes", ".tif",
     [](const std::string &p) { writeBytes(p, bilevelTiff(60000, 4000, Bytes(16, 0), 16)); }},
    {"strip byte count far past the file", ".tif",
     [](const std::string &p) { writeBytes(p, bilevelTiff(2000, 2000, Bytes(8, 0), 0x7FFFFFFF)); }},
    {"300 chained directories", ".tif",
     [](const std::string &p) { writeBytes(p, chainedTiff(300, false)); }},
    // Counted by the control and converted page by page: each directory is read once.
    {"4000 chained directories", ".tif",
     [](const std::string &p) { writeBytes(p, chainedTiff(4000, false)); }},
    {"looping directory chain as TIFF-FX", ".tfx",
     [](const std::string &p) { writeBytes(p, chainedTiff(300, true)); }},
    {"JBIG2 mask claiming 60000 x 60000", ".tfx",
     [](const std::string &p) { stripedMask(p, 1, 60000, 60000, 60000, 60000, 0); }},
    {"64 JBIG2 bands each claiming the band's whole size", ".tfx",
     [](const std::string &p) { stripedMask(p, 64, 16384, 4096, 16384, 4096, 0); }},
    {"64 small JBIG2 bands each claiming a huge region", ".tfx",
     [](const std::string &p) { stripedMask(p, 64, 2560, 52, 65536, 65536, 0); }},
    {"JBIG2 band of unknown page height", ".tfx",
     [](const std::string &p) { stripedMask(p, 1, 4096, 4096, 4096, 4096, 0xFFFFFFFFu); }},
    {"truncated TIFF-FX", ".tfx",
     [](const std::string &p) {
       stripedMask(p, 4, 2560, 800, 2560, 800, 0);
       Bytes bytes = norvtest::readFile(p);
       bytes.resize(bytes.size() * 3 / 5);
       writeBytes(p, bytes);
     }},
};

TEST(HostileFiles, EveryEntryPointStaysWithinItsLimits) {
  norvtest::TempDir dir("hostile");
  ASSERT_TRUE(dir.made());
  for (const HostileFile &file : kFiles) {
    SCOPED_TRACE(file.name);
    const std::string path = dir.file(std::string("input") + file.extension);
    file.make(path);
    uint64_t peak = 0;
    EXPECT_TRUE(runWithinLimits([&] { throughEveryEntry(path, dir.file("output")); }, &peak))
        << "peak heap " << (peak >> 20) << " MB";
  }
}

// The page claimed far beyond its bytes is refused before its bitmap is made: the export
// writes the header of an empty bitmap.
TEST(HostileFiles, OversizedPagesAreRefusedNotDrawn) {
  norvtest::TempDir dir("refused");
  ASSERT_TRUE(dir.made());
  for (const HostileFile &file : {kFiles[0], kFiles[7], kFiles[8]}) {
    SCOPED_TRACE(file.name);
    const std::string path = dir.file(std::string("input") + file.extension);
    file.make(path);
    ctl::NorvviewCtrl control;
    control.SetFileName(path);
    const std::string bmp = dir.file("page.bmp");
    control.SavePageAsBmp(bmp, 1, 0, 1.0);
    EXPECT_LE(norvtest::readFile(bmp).size(), 14u + 40u + 1024u);
  }
}

// A JBIG2 band whose decoding fails (its region past the band's limit) fails the drawing
// quietly: nothing reaches the host's error stream.
TEST(HostileFiles, FailingJbig2BandsPrintNothing) {
  norvtest::TempDir dir("quiet");
  ASSERT_TRUE(dir.made());
  const std::string path = dir.file("input.tfx"), errors = dir.file("errors.txt");
  kFiles[9].make(path);
  std::fflush(stderr);
  const int saved = dup(2);
  FILE *sink = std::fopen(errors.c_str(), "wb");
  ASSERT_NE(sink, nullptr);
  dup2(fileno(sink), 2);
  {
    ctl::NorvviewCtrl control;
    control.SetFileName(path);
    control.SavePageAsBmp(dir.file("page.bmp"), 1, 0, 1.0);
    control.SavePageAsBmp(dir.file("page.bmp"), 1, 2, 1.0);
  }
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(sink);
  EXPECT_EQ(norvtest::readFile(errors).size(), 0u);
}

}  // namespace
}  // namespace ctl_test
