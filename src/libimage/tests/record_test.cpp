// Image records: row geometry of every type, offsets and their addressing, failed
// constructors that leave nothing behind, duplicates of padded, wrapped and offset sources,
// comments, and wrapping the caller's pixels.
#include <vector>

#include "image_test_support.h"

namespace {

using imagetest::heap;
using imagetest::ImageTest;

using RecordTest = ImageTest;

struct Geometry {
  int32_t type, width, bytesPerLine, alignedBytesPerLine;
};

TEST_F(RecordTest, RowGeometryOfEveryType) {
  const Geometry cases[] = {{1, 5, 5, 8},   {2, 3, 12, 12},  {3, 5, 15, 16},  {4, 1, 8, 8},
                            {5, 7, 7, 8},   {6, 1, 4, 4},    {7, 3, 12, 12},  {8, 3, 6, 8},
                            {9, 2, 24, 24}, {100, 33, 8, 8}, {100, 32, 4, 4}, {100, 1, 4, 4}};
  for (const Geometry &g : cases) {
    for (bool aligned : {false, true}) {
      SCOPED_TRACE(testing::Message() << "type " << g.type << (aligned ? " aligned" : ""));
      QtzImage *image = nullptr;
      ASSERT_EQ(aligned ? QtzImage_newAligned(state_, g.type, g.width, 3, &image)
                        : QtzImage_new(state_, g.type, g.width, 3, &image),
                0);
      const int32_t stride = aligned ? g.alignedBytesPerLine : g.bytesPerLine;
      EXPECT_EQ(image->hdr.bytesPerLine, stride);
      EXPECT_EQ(image->hdr.type, g.type);
      // One block of height x bytesPerLine bytes, rows in order without gaps, all zero.
      uint8_t *first = image->rows[0];
      ASSERT_TRUE(heap.live.count(first));
      EXPECT_EQ(heap.live[first], static_cast<size_t>(3 * stride));
      for (int y = 1; y < 3; ++y) EXPECT_EQ(image->rows[y], first + y * stride);
      for (int i = 0; i < 3 * stride; ++i) ASSERT_EQ(first[i], 0);
      EXPECT_EQ(QtzImage_free(image), 0);
    }
  }
  EXPECT_EQ(takeErrors(), "");
}

TEST_F(RecordTest, ZeroSizeHasNoRowsAndNoZeroBitIsDropped) {
  QtzImage *empty = make(1, 0, 10);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->rows, nullptr);
  EXPECT_EQ(QtzImage_free(empty), 0);

  QtzImage *unset = make(129, 4, 2);
  ASSERT_NE(unset, nullptr);
  EXPECT_EQ(unset->hdr.type, 1);
  EXPECT_EQ(QtzImage_free(unset), 0);
  EXPECT_EQ(QtzImage_free(nullptr), 0);
}

// Pixel (xoff, yoff) is the first byte of the block, for biased and unbiased row tables.
TEST_F(RecordTest, OffsetsAddressTheBlock) {
  for (int32_t type : {1, 3, 9, 100}) {
    SCOPED_TRACE(type);
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_newOffset(state_, type, 40, 4, 10, 20, &image), 0);
    const int64_t element = type == 3 ? 3 : type == 9 ? 12 : type == 100 ? 0 : 1;
    uint8_t *first = image->rows[20] + 10 * element;
    ASSERT_TRUE(heap.live.count(first));
    EXPECT_EQ(image->rows[23] + 10 * element, first + 3 * image->hdr.bytesPerLine);
    EXPECT_EQ(QtzImage_free(image), 0);
  }
}

// Moving the origin away and back, or to negative coordinates, keeps every pixel in place.
TEST_F(RecordTest, SetOffsetKeepsPixelsInPlace) {
  for (int32_t type : {3, 100}) {
    SCOPED_TRACE(type);
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_newOffset(state_, type, 9, 3, 4, 5, &image), 0);
    const int64_t element = type == 3 ? 3 : 0;
    auto address = [&](int dx, int dy) {
      return image->rows[image->hdr.yoff + dy] + (image->hdr.xoff + dx) * element;
    };
    const uint8_t *before = address(2, 1);
    ASSERT_EQ(QtzImage_setOffset(image, 0, 0), 0);
    EXPECT_EQ(address(2, 1), before);
    ASSERT_EQ(QtzImage_setOffset(image, -100, -7), 0);
    EXPECT_EQ(address(2, 1), before);
    ASSERT_EQ(QtzImage_setOffset(image, 4, 5), 0);
    EXPECT_EQ(address(2, 1), before);
    EXPECT_EQ(QtzImage_free(image), 0);
  }
  QtzImage *packedEmpty = make(100, 0, 0);
  EXPECT_EQ(QtzImage_setOffset(packedEmpty, 1, 1), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_free(packedEmpty), 0);
}

TEST_F(RecordTest, RefusedArgumentsAreReported) {
  QtzImage *image = nullptr;
  for (int32_t type : {0, 10, 99, 101, 255}) {
    EXPECT_EQ(QtzImage_new(state_, type, 4, 4, &image), QTZ_IMAGE_ERR_TYPE) << type;
    EXPECT_EQ(takeErrors(), "Error 10004 -- Invalid command line\n");
  }
  EXPECT_EQ(QtzImage_new(state_, 1, -1, 4, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_new(state_, 1, 4, -1, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_new(nullptr, 1, 4, 4, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_new(state_, 1, 4, 4, nullptr), QTZ_ERR_ASSERT);
  takeErrors();
  // Rows longer than 2^31 - 1 bytes are refused before anything is allocated.
  const long before = heap.requests;
  EXPECT_EQ(QtzImage_new(state_, 9, 200000000, 1, &image), QTZ_IMAGE_ERR_MEMORY);
  EXPECT_EQ(heap.requests, before);
  EXPECT_EQ(takeErrors(), "Error 10005 -- Insufficient Memory\n");
  EXPECT_EQ(image, nullptr);
}

// The record, the pixel block and the row table fail in turn; nothing stays allocated.
TEST_F(RecordTest, FailedAllocationsLeaveNothing) {
  const struct {
    int failAt;
    int32_t status;
  } cases[] = {{1, 1}, {2, 10005}, {3, 10005}};
  for (const auto &c : cases) {
    const size_t liveBefore = heap.live.size();
    heap.failAt = heap.requests + c.failAt;
    QtzImage *image = nullptr;
    EXPECT_EQ(QtzImage_new(state_, 3, 8, 8, &image), c.status) << c.failAt;
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(heap.live.size(), liveBefore);
    heap.failAt = -1;
  }
  EXPECT_EQ(takeErrors(),
            "Error 1 -- Unable to allocate memory\nError 10005 -- Insufficient Memory\n"
            "Error 10005 -- Insufficient Memory\n");
}

// Fills every byte of the pixels of each row with a pattern that differs per row and column.
void fillPattern(QtzImage *image, int64_t rowBytes) {
  for (int64_t y = 0; y < image->hdr.height; ++y) {
    uint8_t *row = image->rows[image->hdr.yoff + y] +
                   (image->hdr.type == 100 ? 0 : image->hdr.xoff * (rowBytes / image->hdr.width));
    for (int64_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(7 * y + 13 * i + 1);
  }
}

// Duplicates of sources whose rows lie farther apart than their pixels (aligned records and
// wrapped buffers) copy each row's pixels and no more.
TEST_F(RecordTest, DupCopiesRowByRowWithTheSourceGeometry) {
  struct Case {
    const char *name;
    int32_t type, width, height, stride;  // stride 0: an aligned record, else wrapped
  };
  const Case cases[] = {{"aligned grey", 1, 5, 3, 0},   {"aligned i16", 8, 3, 4, 0},
                        {"aligned rgb", 3, 5, 2, 0},    {"wrapped rgb", 3, 5, 3, 40},
                        {"wrapped float", 2, 3, 5, 20}, {"wrapped packed 40 wide", 100, 40, 3, 12}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QtzImage *source = nullptr;
    std::vector<uint8_t> buffer(static_cast<size_t>(c.stride) * c.height + 16, 0xEE);
    if (c.stride == 0) {
      ASSERT_EQ(QtzImage_newAligned(state_, c.type, c.width, c.height, &source), 0);
    } else {
      ASSERT_EQ(
          QtzImage_wrapAll(state_, buffer.data(), c.type, c.width, c.height, c.stride, &source), 0);
    }
    const int64_t pixelBytes = c.type == 100 ? 4 * ((c.width + 31) / 32)
                                             : static_cast<int64_t>(c.width) * (c.type == 3   ? 3
                                                                                : c.type == 8 ? 2
                                                                                : c.type == 2 ? 4
                                                                                              : 1);
    fillPattern(source, pixelBytes);
    QtzImage *copy = nullptr;
    ASSERT_EQ(QtzImage_dup(source, 0, &copy), 0);
    EXPECT_EQ(copy->hdr.bytesPerLine, pixelBytes);
    EXPECT_EQ(copy->hdr.width, c.width);
    EXPECT_EQ(copy->hdr.height, c.height);
    for (int64_t y = 0; y < c.height; ++y)
      EXPECT_EQ(std::memcmp(copy->rows[y], source->rows[y], static_cast<size_t>(pixelBytes)), 0);
    EXPECT_EQ(QtzImage_free(copy), 0);
    if (c.stride == 0) {
      EXPECT_EQ(QtzImage_free(source), 0);
    } else {
      void *pixels = nullptr;
      EXPECT_EQ(QtzImage_unwrapAll(source, &pixels), 0);
      EXPECT_EQ(pixels, buffer.data());
    }
  }
}

TEST_F(RecordTest, DupKeepsOffsetsAndCarriesTheCommentOnRequest) {
  QtzImage *source = nullptr;
  ASSERT_EQ(QtzImage_newOffset(state_, 6, 3, 2, -4, 9, &source), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const int32_t v = 1000 * y - x;
      std::memcpy(source->rows[9 + y] + 4 * (x - 4), &v, 4);
    }
  ASSERT_EQ(QtzImage_setComment(source, "scan 7"), 0);
  QtzImage *with = nullptr, *without = nullptr;
  ASSERT_EQ(QtzImage_dup(source, 1, &with), 0);
  ASSERT_EQ(QtzImage_dup(source, 0, &without), 0);
  EXPECT_STREQ(with->comment, "scan 7");
  EXPECT_NE(with->comment, source->comment);
  EXPECT_EQ(without->comment, nullptr);
  EXPECT_EQ(with->hdr.xoff, -4);
  EXPECT_EQ(with->hdr.yoff, 9);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(imagetest::element(with, y, x), 1000 * y - x);

  // A packed record never carries its comment.
  QtzImage *packed = make(100, 5, 1), *packedCopy = nullptr;
  ASSERT_EQ(QtzImage_setComment(packed, "x"), 0);
  ASSERT_EQ(QtzImage_dup(packed, 1, &packedCopy), 0);
  EXPECT_EQ(packedCopy->comment, nullptr);

  // A comment that cannot be copied frees the new image.
  heap.failAt = heap.requests + 4;
  QtzImage *failed = nullptr;
  EXPECT_EQ(QtzImage_dup(source, 1, &failed), QTZ_IMAGE_ERR_MEMORY);
  EXPECT_EQ(failed, nullptr);
  heap.failAt = -1;
  for (QtzImage *image : {source, with, without, packed, packedCopy})
    EXPECT_EQ(QtzImage_free(image), 0);
}

TEST_F(RecordTest, CommentsAreReplacedAndRemoved) {
  QtzImage *image = make(1, 2, 2);
  ASSERT_EQ(QtzImage_setComment(image, "first"), 0);
  ASSERT_EQ(QtzImage_setComment(image, "second"), 0);
  EXPECT_STREQ(image->comment, "second");
  heap.failAt = heap.requests + 1;
  EXPECT_EQ(QtzImage_setComment(image, "third"), QTZ_IMAGE_ERR_MEMORY);
  heap.failAt = -1;
  EXPECT_STREQ(image->comment, "second");
  ASSERT_EQ(QtzImage_setComment(image, nullptr), 0);
  EXPECT_EQ(image->comment, nullptr);
  EXPECT_EQ(QtzImage_setComment(nullptr, "x"), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_free(image), 0);
}

TEST_F(RecordTest, HeaderIsTheRecordsOwnAndUnknownTagsAreRefused) {
  QtzImage *image = make(8, 3, 2);
  QtzImageHeader *header = nullptr;
  ASSERT_EQ(QtzImage_getHeader(image, &header), 0);
  EXPECT_EQ(header, &image->hdr);
  EXPECT_EQ(QtzImage_getHeader(image, nullptr), QTZ_ERR_ASSERT);

  image->hdr.type = 42;
  EXPECT_EQ(QtzImage_free(image), QTZ_IMAGE_ERR_CORRUPT);
  EXPECT_EQ(takeErrors(), "Error 10006 -- bad image tag\n");
  image->hdr.type = 8;
  EXPECT_EQ(QtzImage_free(image), 0);
}

TEST_F(RecordTest, WrappedRowsFollowTheCallersStride) {
  std::vector<uint32_t> words(3 * 4);
  QtzImage *packed = nullptr;
  ASSERT_EQ(QtzImage_wrap(state_, words.data(), 40, 4, 3, &packed), 0);
  EXPECT_EQ(packed->hdr.bytesPerLine, 12);
  EXPECT_EQ(packed->rows[3], reinterpret_cast<uint8_t *>(words.data() + 9));
  void *back = nullptr;
  ASSERT_EQ(QtzImage_unwrap(packed, &back), 0);
  EXPECT_EQ(back, words.data());

  // Bottom-up rows: a negative stride from the last row.
  std::vector<uint8_t> rgb(3 * 16);
  QtzImage *colour = nullptr;
  ASSERT_EQ(QtzImage_wrapRGB(state_, rgb.data() + 32, 5, 3, -16, &colour), 0);
  EXPECT_EQ(colour->rows[2], rgb.data());
  ASSERT_EQ(QtzImage_setOffset(colour, 3, 1), 0);
  ASSERT_EQ(QtzImage_unwrapRGB(colour, &back), 0);
  EXPECT_EQ(back, rgb.data() + 32);

  // wrapAll of type 100 takes whole words from the byte stride; height 0 still unwraps.
  QtzImage *all = nullptr;
  ASSERT_EQ(QtzImage_wrapAll(state_, words.data(), 100, 64, 2, 8, &all), 0);
  EXPECT_EQ(all->rows[1], reinterpret_cast<uint8_t *>(words.data() + 2));
  ASSERT_EQ(QtzImage_unwrapAll(all, &back), 0);
  ASSERT_EQ(QtzImage_wrapAll(state_, rgb.data(), 6, 2, 0, 8, &all), 0);
  ASSERT_EQ(QtzImage_setOffset(all, 5, 5), 0);
  ASSERT_EQ(QtzImage_unwrapAll(all, &back), 0);
  EXPECT_EQ(back, rgb.data());
  EXPECT_EQ(takeErrors(), "");
}

TEST_F(RecordTest, WrapRefusals) {
  uint32_t words[4] = {};
  QtzImage *image = nullptr;
  EXPECT_EQ(QtzImage_wrap(state_, words, 33, 1, 1, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_wrap(state_, nullptr, 8, 1, 1, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_wrapRGB(state_, nullptr, 8, 1, 24, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(takeErrors(), "");
  EXPECT_EQ(QtzImage_wrapAll(state_, nullptr, 1, 8, 1, 8, &image), QTZ_ERR_NULL);
  EXPECT_EQ(QtzImage_wrapAll(state_, words, 1, 8, 1, 8, nullptr), QTZ_ERR_NULL);
  EXPECT_EQ(takeErrors(),
            "Error 118 -- Unexpected NULL pointer\nError 118 -- Unexpected NULL pointer\n");
  EXPECT_EQ(QtzImage_wrapAll(state_, words, 11, 8, 1, 8, &image), QTZ_IMAGE_ERR_TYPE);
  EXPECT_EQ(takeErrors(), "Error 10004 -- Invalid command line\n");
  void *pixels = nullptr;
  EXPECT_EQ(QtzImage_unwrap(nullptr, &pixels), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_unwrapAll(nullptr, &pixels), QTZ_ERR_NULL);

  // A row table that cannot be allocated: each wrap entry has its own status.
  const struct {
    int kind;
    int32_t status;
  } cases[] = {{0, QTZ_ERR_NULL}, {1, QTZ_ERR_NO_MEMORY}, {2, QTZ_IMAGE_ERR_MEMORY}};
  for (const auto &c : cases) {
    heap.failAt = heap.requests + 2;
    int32_t status = c.kind == 0   ? QtzImage_wrap(state_, words, 32, 2, 2, &image)
                     : c.kind == 1 ? QtzImage_wrapRGB(state_, reinterpret_cast<uint8_t *>(words), 2,
                                                      2, 6, &image)
                                   : QtzImage_wrapAll(state_, words, 8, 2, 2, 4, &image);
    EXPECT_EQ(status, c.status) << c.kind;
    heap.failAt = -1;
  }
}

}  // namespace
