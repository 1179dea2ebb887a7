// PNM-style files: tokens and comments, hostile and broken headers and data (10000, nothing
// left allocated), rescaling by maxval, the promotion rule for wanted types, the writer's
// header, comment lines and big-endian data, round trips of every type, and failed writes.
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "image_test_support.h"

namespace {

using namespace imagetest;

using PnmTest = ImageTest;

constexpr char kFileError[] = "Error 10000 -- File not found\n";

struct Token {
  int32_t value;
  uint8_t error;
};

// Every token of the input until the first error, then that error's token.
std::vector<Token> tokens(const std::string &input, bool bits, std::string *comment = nullptr) {
  InputStream in(input);
  char buffer[QTZ_IMAGE_COMMENT_CAPACITY] = {};
  int32_t length = 0;
  std::vector<Token> out;
  for (;;) {
    Token t{};
    t.value = bits ? QtzImage_pbmGetPBMToken(in.file(), &t.error, buffer, &length, nullptr)
                   : QtzImage_pbmGetToken(in.file(), &t.error, buffer, &length, nullptr);
    out.push_back(t);
    if (t.error != 0) break;
  }
  if (comment != nullptr) *comment = std::string(buffer, static_cast<size_t>(length));
  return out;
}

std::vector<int32_t> values(const std::vector<Token> &ts) {
  std::vector<int32_t> v;
  for (const Token &t : ts) v.push_back(t.error != 0 ? -1 : t.value);
  return v;
}

TEST(PnmTokens, NumbersCommentsAndErrors) {
  std::string comment;
  EXPECT_EQ(values(tokens(" 12\t#one\n 7 # two\n\n2147483647", false, &comment)),
            (std::vector<int32_t>{12, 7, 2147483647, -1}));
  EXPECT_EQ(comment, "one\n two\n");
  EXPECT_EQ(values(tokens("12x", false)), (std::vector<int32_t>{-1}));
  EXPECT_EQ(tokens("12x", false)[0].value, 0);
  EXPECT_EQ(values(tokens("2147483648 1", false)), (std::vector<int32_t>{-1}));
  EXPECT_EQ(values(tokens("99999999999999999999999 1", false)), (std::vector<int32_t>{-1}));
  EXPECT_EQ(values(tokens("-1", false)), (std::vector<int32_t>{-1}));
  EXPECT_EQ(values(tokens("5 #no newline", false)), (std::vector<int32_t>{5, -1}));
  EXPECT_EQ(values(tokens("3#x\n", false)), (std::vector<int32_t>{-1}));
  EXPECT_EQ(values(tokens("0 1#c\n1\n10", true, &comment)),
            (std::vector<int32_t>{0, 1, 1, 1, 0, -1}));
  EXPECT_EQ(comment, "c\n");
  EXPECT_EQ(values(tokens("1 2", true)), (std::vector<int32_t>{1, -1}));
  EXPECT_EQ(QtzImage_pbmGetToken(nullptr, nullptr, nullptr, nullptr, nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_pbmGetPBMToken(nullptr, nullptr, nullptr, nullptr, nullptr), QTZ_ERR_ASSERT);
}

// Comment text is kept up to 8191 characters; the rest is read and dropped.
TEST(PnmTokens, CommentTextIsCapped) {
  std::string comment;
  const std::string input = "#" + std::string(9000, 'a') + "\n#b\n42 ";
  EXPECT_EQ(values(tokens(input, false, &comment)), (std::vector<int32_t>{42, -1}));
  EXPECT_EQ(comment, std::string(QTZ_IMAGE_COMMENT_CAPACITY - 1, 'a'));
}

TEST_F(PnmTest, MaxvalRescalesSamples) {
  QtzImage *image = nullptr;
  ASSERT_EQ(load(std::string("P5\n3 1\n15\n") + '\x0f' + '\x07' + '\x00', 1, &image), 0);
  EXPECT_EQ(element(image, 0, 0), 255);
  EXPECT_EQ(element(image, 0, 1), 119);
  EXPECT_EQ(element(image, 0, 2), 0);
  QtzImage_free(image);
  ASSERT_EQ(load("P3\n2 1\n100\n100 0 50 1 99 7\n", 3, &image), 0);
  const double expected[] = {255, 0, 127, 2, 252, 17};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(element(image, 0, i / 3, i % 3), expected[i]) << i;
  QtzImage_free(image);
}

TEST_F(PnmTest, HeaderCommentsBecomeTheImageComment) {
  QtzImage *image = nullptr;
  ASSERT_EQ(load("P2\n# word\n2 1\n#x\n255\n3 4\n", 1, &image), 0);
  EXPECT_STREQ(image->comment, " word\nx\n");
  EXPECT_EQ(element(image, 0, 1), 4);
  QtzImage_free(image);
  // Plain bilevel data gathers its comments too.
  ASSERT_EQ(load("P1\n3 1\n1#a\n0 1\n", 5, &image), 0);
  EXPECT_STREQ(image->comment, "a\n");
  QtzImage_free(image);
  ASSERT_EQ(load("P5\n1 1\n255\n\x01", 1, &image), 0);
  EXPECT_EQ(image->comment, nullptr);
  QtzImage_free(image);
}

TEST_F(PnmTest, HostileAndBrokenFilesGive10000) {
  const std::string cases[] = {
      "",
      "P5",
      "P7\n1 1\n255\n\x01",
      "P55\n1 1\n255\n\x01",
      "P\n1 1\n",
      "p5\n1 1\n255\n\x01",
      "P5#x\n1 1\n255\n\x01",
      "P5\n0 1\n255\n",
      "P5\n1 0\n255\n",
      std::string("P5\n1 1\n0\n") + '\0',
      "P5\n1 1\n256\n\x01",
      "P5\n4294967297 1\n255\n\x01",
      "P5\n99999999999999999999 1\n255\n\x01",
      "P5\n1048577 1\n255\n\x01",
      "P4\n1 1048577\n\x01",
      "P6\n1048576 1024\n255\n\x01",
      "P5\n65536 65536\n255\n\x01\x02\x03",
      "Q5\n100000 100000\n\x01\x02",
      "P5\n2 2\n255\n\x01\x02\x03",
      "P5\n2 2\n255",
      "P5\n2x 2\n255\n\x01\x02\x03\x04",
      "P5\n1 1\n15\n\x10",
      "P2\n2 1\n255\n1 256\n",
      "P2\n2 1\n15\n1 16\n",
      "P2\n2 1\n255\n1 #open",
      "P3\n1 1\n255\n1 2\n",
      "P1\n2 1\n0 2\n",
      "P1\n3 1\n01",
      "P4\n9 2\n\xff\xff\xff",
      "Q1\n2 1\n\x01\x02\x03\x04\x05\x06\x07",
      "Q4\n3 1\n\x01\x02\x03\x04\x05",
  };
  for (const std::string &bytes : cases) {
    for (int32_t want : {1, 3, 5, 100}) {
      QtzImage *image = nullptr;
      EXPECT_EQ(load(bytes, want, &image), QTZ_IMAGE_ERR_FILE) << '"' << bytes << "\" as " << want;
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(takeErrors(), kFileError);
    }
  }
  // Only bilevel files can be read as type 100.
  QtzImage *image = nullptr;
  EXPECT_EQ(load("P5\n1 1\n255\n\x01", 100, &image), QTZ_IMAGE_ERR_FILE);
  EXPECT_EQ(QtzImage_pLoadF(state_, 1, nullptr, &image), QTZ_ERR_ASSERT);
  EXPECT_EQ(takeErrors(), kFileError);
}

// Memory that runs out while reading (record, pixels, row table, comment, unpacked image) is
// a failed read that leaves nothing behind.
TEST_F(PnmTest, NoMemoryWhileReading) {
  const struct {
    std::string bytes;
    int32_t want;
  } files[] = {{"P5\n2 2\n255\n\x01\x02\x03\x04", 1},
               {"P4\n9 1\n\xff\x80", 5},
               {"P2\n1 1\n#c\n255\n9\n", 1}};
  for (const auto &f : files) {
    int failures = 0;
    for (int failAt = 1; failAt <= 8; ++failAt) {
      const size_t live = heap.live.size();
      heap.failAt = heap.requests + failAt;
      QtzImage *image = nullptr;
      const int32_t status = load(f.bytes, f.want, &image);
      heap.failAt = -1;
      if (status == 0) {
        QtzImage_free(image);
        continue;
      }
      ++failures;
      EXPECT_EQ(status, QTZ_IMAGE_ERR_FILE) << f.bytes << " failing at " << failAt;
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(heap.live.size(), live);
      EXPECT_NE(takeErrors().find(kFileError), std::string::npos);
    }
    EXPECT_GE(failures, 3) << f.bytes;
  }
}

// Sizes under the limits but beyond what the file holds allocate nothing.
TEST_F(PnmTest, HeadersBeyondTheFileAllocateNothing) {
  const struct {
    std::string bytes;
    int32_t want;
  } cases[] = {{"P5\n30000 30000\n255\n\x01\x02", 1},
               {"P4\n20000 20000\n\x01", 5},
               {"Q2\n10000 10000\n\x01\x02", 4},
               {"P1\n1000 1000\n0 1 0\n", 5},
               {"P3\n500 500\n255\n1 2 3\n", 3}};
  for (const auto &c : cases) {
    const long before = heap.requests;
    QtzImage *image = nullptr;
    EXPECT_EQ(load(c.bytes, c.want, &image), QTZ_IMAGE_ERR_FILE) << c.bytes;
    EXPECT_EQ(heap.requests, before) << c.bytes;
  }
}

// The promotion pairs of the conversion table.
const std::set<std::pair<int32_t, int32_t>> kPromotions = {
    {1, 2}, {1, 3}, {1, 4}, {1, 6}, {1, 8}, {1, 9}, {2, 4}, {2, 9}, {3, 9}, {5, 1}, {5, 2},
    {5, 3}, {5, 4}, {5, 6}, {5, 8}, {5, 9}, {6, 4}, {8, 2}, {8, 4}, {8, 6}, {8, 9}};

// A file of one type loads as any type that promotes it, and as no other.
TEST_F(PnmTest, WantedTypesArePromotionsOnly) {
  for (int32_t from : {1, 2, 3, 4, 5, 6, 8, 9}) {
    QtzImage *source = make(from, 3, 2);
    const std::string bytes = save(source);
    QtzImage_free(source);
    for (int32_t want : {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 42}) {
      QtzImage *image = nullptr;
      const bool ok = want == from || kPromotions.count({from, want}) != 0;
      const int32_t status = load(bytes, want, &image);
      if (ok) {
        ASSERT_EQ(status, 0) << from << " as " << want;
        EXPECT_EQ(image->hdr.type, want);
        QtzImage_free(image);
      } else {
        EXPECT_EQ(status, QTZ_IMAGE_ERR_TYPE) << from << " as " << want;
        EXPECT_EQ(takeErrors(), "Error 10004 -- Invalid command line\n");
      }
    }
  }
  // The edge case of the documentation: a plain grey file as float, and refused as bilevel.
  QtzImage *image = nullptr;
  ASSERT_EQ(load("P2\n2 1\n255\n0 200\n", 2, &image), 0);
  EXPECT_EQ(element(image, 0, 1), 200.0);
  QtzImage_free(image);
  EXPECT_EQ(load("P2\n2 1\n255\n0 200\n", 5, &image), QTZ_IMAGE_ERR_TYPE);
}

TEST_F(PnmTest, CommentLinesAreBrokenAt69Characters) {
  QtzImage *image = make(1, 1, 1);
  const std::string word(100, 'w');
  ASSERT_EQ(QtzImage_setComment(image, word.c_str()), 0);
  EXPECT_EQ(save(image), "P5\n#" + word.substr(0, 69) + "\n#" + word.substr(69) + "\n1 1\n255\n" +
                             std::string(1, '\0'));
  // Broken after the last whitespace among the first 70 characters, which is dropped; a
  // newline starts a new line, a final newline ends the last one.
  const std::string a(50, 'a'), b(9, 'b'), c(20, 'c');
  ASSERT_EQ(QtzImage_setComment(image, (a + " " + b + " " + c + "\nshort\n\nend").c_str()), 0);
  EXPECT_EQ(save(image), "P5\n#" + a + " " + b + "\n#" + c + "\n#short\n#\n#end\n1 1\n255\n" +
                             std::string(1, '\0'));
  const std::string d(69, 'd');
  ASSERT_EQ(QtzImage_setComment(image, (d + " e").c_str()), 0);
  EXPECT_EQ(save(image), "P5\n#" + d + "\n#e\n1 1\n255\n" + std::string(1, '\0'));
  // The header-only form puts maxval on the size line.
  norvtest::CapturedStream header;
  ASSERT_EQ(QtzImage_setComment(image, "c"), 0);
  ASSERT_EQ(QtzImage_pSaveHeaderF(image, header.file()), 0);
  EXPECT_EQ(header.text(), "P5\n#c\n1 1 255\n");
  QtzImage_free(image);
}

TEST_F(PnmTest, PackedImagesSaveWithoutCommentAndKeepTheirWords) {
  QtzImage *image = make(100, 10, 1);
  auto *row = reinterpret_cast<uint32_t *>(image->rows[0]);
  row[0] = 0x80400000u | 0x003FFFFFu;  // pixels 0 and 9 set, bits past the width set too
  ASSERT_EQ(QtzImage_setComment(image, "never written"), 0);
  EXPECT_EQ(save(image), std::string("P4\n10 1\n") + '\x80' + '\x40');
  EXPECT_EQ(row[0], 0x80400000u | 0x003FFFFFu);
  QtzImage_free(image);

  QtzImage *bytes = make(5, 10, 2);
  bytes->rows[1][9] = 3;
  bytes->rows[0][0] = 1;
  ASSERT_EQ(QtzImage_setComment(bytes, "b"), 0);
  EXPECT_EQ(save(bytes), std::string("P4\n#b\n10 2\n") + '\x80' + '\0' + '\0' + '\x40');
  QtzImage_free(bytes);
}

TEST_F(PnmTest, WideElementsAreBigEndian) {
  QtzImage *image = make(2, 2, 1), *back = nullptr;
  const float first = -1.75f, second = 3.0e-20f;
  std::memcpy(image->rows[0], &first, 4);
  std::memcpy(image->rows[0] + 4, &second, 4);
  const std::string bytes = save(image);
  ASSERT_EQ(bytes.substr(0, 7), "Q1\n2 1\n");
  uint32_t bits;
  std::memcpy(&bits, &first, 4);
  EXPECT_EQ(static_cast<uint8_t>(bytes[7]), bits >> 24);
  EXPECT_EQ(static_cast<uint8_t>(bytes[10]), bits & 0xFF);
  ASSERT_EQ(load(bytes, 2, &back), 0);
  EXPECT_EQ(element(back, 0, 0), first);
  EXPECT_EQ(element(back, 0, 1), second);
  QtzImage_free(image);
  QtzImage_free(back);
}

// Every saveable type comes back from its own file with the same bytes in every row.
TEST_F(PnmTest, EveryTypeRoundTrips) {
  for (int32_t type : {1, 2, 3, 4, 5, 6, 8, 9, 100}) {
    SCOPED_TRACE(type);
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_newAligned(state_, type, 45, 3, &image), 0);
    for (int64_t y = 0; y < 3; ++y)
      for (int64_t i = 0; i < image->hdr.bytesPerLine; ++i)
        image->rows[y][i] =
            static_cast<uint8_t>((type == 5 ? (i + y) % 3 == 0 : 37 * i + 11 * y + type));
    if (type == 100)
      for (int64_t y = 0; y < 3; ++y)
        reinterpret_cast<uint32_t *>(image->rows[y])[1] &= 0xFFF80000u;
    ASSERT_EQ(QtzImage_setComment(image, "round trip"), 0);
    QtzImage *back = nullptr;
    ASSERT_EQ(load(save(image), type, &back), 0);
    const int64_t rowBytes = type == 100 ? 8
                                         : 45 * (type == 3                  ? 3
                                                 : type == 9                ? 12
                                                 : type == 4                ? 8
                                                 : type == 8                ? 2
                                                 : (type == 2 || type == 6) ? 4
                                                                            : 1);
    for (int64_t y = 0; y < 3; ++y)
      EXPECT_EQ(std::memcmp(back->rows[y], image->rows[y], static_cast<size_t>(rowBytes)), 0) << y;
    if (type != 100) {
      EXPECT_STREQ(back->comment, "round trip\n");
    }
    QtzImage_free(image);
    QtzImage_free(back);
  }
  QtzImage *quad = make(7, 1, 1);
  int32_t status = 0;
  EXPECT_EQ(save(quad, &status), "");
  EXPECT_EQ(status, QTZ_IMAGE_ERR_TYPE);
  EXPECT_EQ(takeErrors(), "Error 10004 -- Invalid command line\n");
  QtzImage_free(quad);
}

TEST_F(PnmTest, FailedWritesAndOpens) {
  QtzImage *image = make(100, 4000, 40);
  auto *words = reinterpret_cast<uint32_t *>(image->rows[0]);
  words[3] = 0x12345678u;
  // A stream that refuses writes fails the header; a full device fails the data.
  FILE *readOnly = std::fopen("/dev/null", "rb");
  EXPECT_EQ(QtzImage_pSaveF(image, readOnly), QTZ_IMAGE_ERR_FILE);
  std::fclose(readOnly);
  FILE *full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(QtzImage_pSaveF(image, full), QTZ_IMAGE_ERR_FILE);
  std::fclose(full);
  EXPECT_EQ(words[3], 0x12345678u);
  EXPECT_EQ(takeErrors(), std::string(kFileError) + kFileError);
  EXPECT_EQ(QtzImage_save(image, "/dev/full"), QTZ_IMAGE_ERR_FILE);
  EXPECT_EQ(QtzImage_save(image, "/nonexistent/dir/x.pbm"), QTZ_ERR_NULL);
  QtzImage *loaded = nullptr;
  EXPECT_EQ(QtzImage_load(state_, 1, "/nonexistent/dir/x.pbm", &loaded), QTZ_ERR_NULL);
  EXPECT_EQ(QtzImage_save(nullptr, "x"), QTZ_ERR_ASSERT);
  QtzImage_free(image);
}

TEST_F(PnmTest, LoadAndSaveThroughPaths) {
  TempFile file("qtz_pnm");
  ASSERT_TRUE(file.made());
  QtzImage *image = make(3, 2, 2), *back = nullptr;
  image->rows[1][5] = 77;
  ASSERT_EQ(QtzImage_save(image, file.path()), 0);
  ASSERT_EQ(QtzImage_load(state_, 9, file.path(), &back), 0);
  EXPECT_EQ(back->hdr.type, 9);
  EXPECT_EQ(element(back, 1, 1, 2), 77.0f);
  QtzImage_free(image);
  QtzImage_free(back);
}

}  // namespace
