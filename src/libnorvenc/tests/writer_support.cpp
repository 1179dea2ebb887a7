// Test support of the output writers (see writer_support.h).
#include "writer_support.h"

#include <cstdio>
#include <cstring>

#include "qtz_image.h"
#include "qtz_internal.h"

namespace enctest {

namespace {

constexpr int32_t kCell = 24;  // symbols sit in cells of this size, one per cell

Bitmap randomBitmap(int32_t width, int32_t height, std::mt19937 &random) {
  Bitmap b{width, height, {}};
  b.words.assign(size_t(b.wordsPerRow()) * height, 0);
  std::bernoulli_distribution black(0.45);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      if (black(random) || y == 0 || y == height - 1 || x == 0) b.set(x, y);
  return b;
}

void drawInto(norvtest::Pnm &page, const Bitmap &b, int32_t left, int32_t top) {
  for (int32_t y = 0; y < b.height; ++y)
    for (int32_t x = 0; x < b.width; ++x)
      if (b.pixel(x, y))
        page.row(top + y)[(left + x) / 8] |= static_cast<uint8_t>(0x80 >> ((left + x) % 8));
}

}  // namespace

DocumentMaker::DocumentMaker(QtzState *state, int32_t mode, bool singlePage, uint32_t seed)
    : state_(state), random_(seed) {
  jbig2FillOutOps(&ops_);
  EXPECT_EQ(ops_.open(nullptr, state_, mode, 1, singlePage ? 1 : 0, &out_, &ops_.user), 0);
}

DocumentMaker::~DocumentMaker() {
  if (out_ != nullptr) {
    EXPECT_EQ(ops_.close(out_, ops_.user), 0);
  }
}

TclySymbolRecord DocumentMaker::newSymbol() {
  std::uniform_int_distribution<int32_t> side(5, kCell - 4);
  Bitmap &b = bitmaps_.emplace_back(randomBitmap(side(random_), side(random_), random_));
  return TclySymbolRecord{b.words.data(),
                          nullptr,
                          0,
                          static_cast<uint16_t>(b.width),
                          static_cast<uint16_t>(b.height),
                          static_cast<uint16_t>(b.wordsPerRow()),
                          0,
                          0};
}

std::vector<uint8_t> DocumentMaker::take() {
  uint8_t *buffer = nullptr;
  size_t length = 0;
  EXPECT_EQ(QtzJbig2_takeEncodedData(out_, &buffer, &length), 0);
  std::vector<uint8_t> bytes(buffer, buffer + length);
  qtz::release(state_, buffer);
  return bytes;
}

void DocumentMaker::placeSymbols(PageData &p, const PageShape &shape,
                                 const std::vector<TclySymbolRecord *> &sectionSymbols) {
  // Symbols of this page only, coded in its page dictionary.
  std::vector<TclySymbolRecord> own;
  for (int k = 0; k < 3; ++k) own.push_back(newSymbol());
  void *fresh = nullptr;
  EXPECT_EQ(ops_.pageDict(own.data(), static_cast<int32_t>(own.size()), shape.width, shape.height,
                          shape.xdpi, shape.ydpi, 0, nullptr, &fresh, 0, 0, out_, ops_.user),
            0);
  std::vector<const TclySymbolRecord *> usable;
  for (const TclySymbolRecord *s : sectionSymbols) usable.push_back(s);
  for (const TclySymbolRecord &s : own) usable.push_back(&s);
  // Symbols in cells over the page, the bottom rows kept for the generic region.
  std::vector<TclyTextInstance> instances;
  const int32_t columns = shape.width / kCell, rows = (shape.height - 32) / kCell;
  size_t next = random_() % usable.size();
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t c = 0; c < columns; ++c) {
      const TclySymbolRecord *s = usable[next++ % usable.size()];
      const int32_t left = c * kCell + 2, top = r * kCell + 2;
      instances.push_back({s, nullptr, left, top + s->height - 1});
      Bitmap view{s->width, s->height,
                  std::vector<uint32_t>(s->bitmap, s->bitmap + size_t(s->wordsPerRow) * s->height)};
      drawInto(p.model, view, left, top);
    }
  const int32_t top = 0;
  EXPECT_EQ(ops_.textRegion(instances.data(), static_cast<int32_t>(instances.size()), shape.width,
                            shape.height, shape.xdpi, shape.ydpi, nullptr, pageNumber_, nullptr, 1,
                            out_, &top),
            0);
}

PageData DocumentMaker::page(const PageShape &shape,
                             const std::vector<TclySymbolRecord *> &sectionSymbols) {
  PageData p;
  p.width = shape.width;
  p.height = shape.height;
  p.xdpi = shape.xdpi;
  p.ydpi = shape.ydpi;
  p.model.kind = '4';
  p.model.width = shape.width;
  p.model.height = shape.height;
  p.model.raster.assign(size_t(p.model.rowBytes()) * shape.height, 0);
  const uint8_t unstriped = 1;
  ++pageNumber_;
  EXPECT_EQ(
      QtzJbig2_encodePageInfo(shape.width, shape.height, shape.xdpi, shape.ydpi, out_, &unstriped),
      0);
  if (!genericOnly_) placeSymbols(p, shape, sectionSymbols);
  Bitmap block = randomBitmap(shape.width / 2, 24, random_);
  QtzImage *image = nullptr;
  EXPECT_EQ(QtzImage_wrap(state_, block.words.data(), block.width, block.height,
                          block.wordsPerRow(), &image),
            0);
  const int32_t blockTop = shape.height - 28;
  EXPECT_EQ(QtzJbig2_encodeGenericRegion(image, 2, 3, blockTop, out_, nullptr), 0);
  void *pixels = nullptr;
  QtzImage_unwrap(image, &pixels);
  drawInto(p.model, block, 3, blockTop);
  EXPECT_EQ(ops_.endOfPage(out_, ops_.user), 0);
  p.bytes = take();
  return p;
}

SectionData DocumentMaker::section(int pages, const PageShape &shape, bool final,
                                   int sharedSymbols) {
  SectionData s;
  s.final = final;
  std::vector<TclySymbolRecord> &records = sectionSymbols_.emplace_back();
  for (int k = 0; k < sharedSymbols; ++k) records.push_back(newSymbol());
  std::vector<TclySymbolRecord *> mine;
  for (TclySymbolRecord &r : records) mine.push_back(&r);
  if (!mine.empty()) {
    void *fresh = nullptr;
    EXPECT_EQ(ops_.sectionDict(records.data(), static_cast<int32_t>(records.size()), nullptr,
                               &fresh, 0, 0, out_, ops_.user),
              0);
    s.globals = take();
  }
  std::vector<TclySymbolRecord *> usable = carried_;
  usable.insert(usable.end(), mine.begin(), mine.end());
  for (int k = 0; k < pages; ++k) s.pages.push_back(page(shape, usable));
  if (final) {
    EXPECT_EQ(ops_.freeDict(nullptr, out_, ops_.user), 0);
    carried_.clear();
  } else {
    carried_ = usable;
  }
  return s;
}

uint8_t *ownedCopy(QtzState *state, const std::vector<uint8_t> &bytes) {
  if (bytes.empty()) return nullptr;
  auto *copy = static_cast<uint8_t *>(qtz::allocate(state, bytes.size()));
  if (copy != nullptr) std::memcpy(copy, bytes.data(), bytes.size());
  return copy;
}

int32_t writeSections(NorvOutputWriter *writer, const std::vector<SectionData> &sections) {
  QtzState *state = writer->state;
  for (const SectionData &s : sections) {
    for (const PageData &p : s.pages) {
      NorvWriterPage *page = nullptr;
      int32_t status = norvenc::newWriterPage(writer, p.width, p.height, &page);
      if (status != 0) return status;
      status = norvenc::addWriterPage(writer, page);
      if (status != 0) {
        norvenc::dropWriterPage(writer, &page);
        return status;
      }
    }
    if (!s.globals.empty()) {
      uint8_t *globals = ownedCopy(state, s.globals);
      if (globals == nullptr) return 1;
      const int32_t status = norvenc::setSectionGlobals(writer, globals, s.globals.size());
      if (status != 0) {
        qtz::release(state, globals);
        return status;
      }
    }
    for (size_t k = 0; k < s.pages.size(); ++k) {
      const PageData &p = s.pages[k];
      std::vector<uint8_t> data = p.bytes;
      data.insert(data.end(), p.payload.begin(), p.payload.end());
      auto *record = static_cast<NorvLayerRecord *>(qtz::allocate(state, sizeof(NorvLayerRecord)));
      if (record == nullptr) return 1;
      *record = NorvLayerRecord{
          p.width,        p.height,         0, 0, p.xdpi, p.ydpi, ownedCopy(state, data),
          p.bytes.size(), p.payload.size(), 2, 0};
      if (record->data == nullptr) {
        qtz::release(state, record);
        return 1;
      }
      NorvWriterPage *page = nullptr;
      int32_t status = norvenc::getWriterPage(writer, static_cast<int32_t>(k + 1), &page);
      if (status == 0) status = norvenc::attachMaskLayer(page, record);
      if (status != 0) {
        norvenc::freeLayer(state, record);
        return status;
      }
    }
    const int32_t status = norvenc::writeSection(writer, s.final ? 1 : 0);
    if (status != 0) return status;
  }
  return 0;
}

std::vector<const PageData *> pagesOf(const std::vector<SectionData> &sections) {
  std::vector<const PageData *> out;
  for (const SectionData &s : sections)
    for (const PageData &p : s.pages) out.push_back(&p);
  return out;
}

NorvOutputIo fileIo(const std::string &path) {
  NorvOutputIo io{};
  io.file = std::fopen(path.c_str(), "wb");
  io.seek = std::fseek;
  io.tell = std::ftell;
  io.read = [](void *b, size_t s, size_t c, FILE *f) { return std::fread(b, s, c, f); };
  io.write = [](const void *b, size_t s, size_t c, FILE *f) { return std::fwrite(b, s, c, f); };
  io.eof = std::feof;
  return io;
}

}  // namespace enctest
