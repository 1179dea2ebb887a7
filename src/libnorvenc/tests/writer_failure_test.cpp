// Failures of the three output writers: an output that stops taking bytes at every point of a
// document (a full disk), a close that fails, a write function that fails, and every allocation
// failing in turn. Each run reports 2001 (or 1 for memory) from the call that met the failure or
// from the close, closes the file exactly once, and leaks nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "output_writer.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "writer_support.h"

namespace {

using enctest::PageShape;
using enctest::SectionData;

using OpenFn = int32_t (*)(QtzState *, const NorvOutputIo *, NorvOutputWriter **);

struct Kind {
  const char *name;
  OpenFn open;
  bool singlePage;
};

// What one run gave: the first failure and the call that gave it.
struct Outcome {
  int32_t status = 0;
  const char *where = "";
};

class WriterFailureTest : public norvtest::TrackedStateTest,
                          public ::testing::WithParamInterface<Kind> {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    maker_ = std::make_unique<enctest::DocumentMaker>(state_, 2, GetParam().singlePage);
    sections_.push_back(maker_->section(2, PageShape{}, false));
    sections_.push_back(maker_->section(1, PageShape{}, true));
  }
  void TearDown() override {
    maker_.reset();
    norvtest::TrackedStateTest::TearDown();
  }

  // Opens, writes both sections and closes over the sink; the file is closed by the writer, or
  // here when the open failed.
  Outcome run(norvtest::MemoryFile &sink,
              size_t (*write)(const void *, size_t, size_t, FILE *) = nullptr) {
    NorvOutputIo io = enctest::fileIo("/dev/null");
    std::fclose(io.file);
    io.file = norvtest::openMemoryFile(&sink);
    EXPECT_NE(io.file, nullptr);
    if (write != nullptr) io.write = write;
    NorvOutputWriter *writer = nullptr;
    Outcome r;
    r.status = GetParam().open(state_, &io, &writer);
    if (r.status != 0) {
      r.where = "open";
      EXPECT_EQ(writer, nullptr);
      EXPECT_EQ(sink.closes, 0) << "a writer that failed to open closed the file";
      std::fclose(io.file);
      return r;
    }
    const int32_t written = enctest::writeSections(writer, sections_);
    if (written != 0) r = Outcome{written, "section"};
    // Every later section of a failed output fails the same way without writing.
    if (written != 0 && written != 1) {
      const size_t taken = sink.taken;
      EXPECT_EQ(enctest::writeSections(writer, {}), 0);
      EXPECT_EQ(norvenc::writeSection(writer, 1), written);
      EXPECT_EQ(sink.taken, taken);
    }
    const int32_t closed = norvenc::closeWriter(writer);
    if (r.status == 0 && closed != 0) r = Outcome{closed, "close"};
    if (written != 0 && written != 1) {
      EXPECT_EQ(closed, written);
    }
    return r;
  }

  std::unique_ptr<enctest::DocumentMaker> maker_;
  std::vector<SectionData> sections_;
};

TEST_P(WriterFailureTest, FullOutputAtEveryPointGives2001AndOneClose) {
  norvtest::MemoryFile whole;
  ASSERT_EQ(run(whole).status, 0) << errors_.text();
  const size_t total = whole.taken;
  ASSERT_GT(total, 0u);
  const size_t step = std::max<size_t>(1, total / 150);
  for (size_t limit = 0; limit < total; limit += step) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    norvtest::MemoryFile sink;
    sink.limit = static_cast<long>(limit);
    const Outcome r = run(sink);
    EXPECT_EQ(r.status, 2001) << r.where;
    EXPECT_EQ(sink.closes, 1);
  }
}

TEST_P(WriterFailureTest, FailedCloseGives2001) {
  norvtest::MemoryFile sink;
  sink.failClose = true;
  const Outcome r = run(sink);
  EXPECT_EQ(r.status, 2001);
  EXPECT_STREQ(r.where, "close");
  EXPECT_EQ(sink.closes, 1);
}

TEST_P(WriterFailureTest, FailingWriteFunctionGives2001) {
  norvtest::MemoryFile sink;
  const Outcome r = run(sink, [](const void *, size_t, size_t, FILE *) -> size_t { return 0; });
  EXPECT_EQ(r.status, 2001);
  EXPECT_EQ(sink.closes, 1);
}

TEST_P(WriterFailureTest, EveryAllocationFailingInTurn) {
  const long attempts = norvtest::failEachRequest([&](long) {
    norvtest::MemoryFile sink;
    const Outcome r = run(sink);
    EXPECT_EQ(sink.closes, 1);
    if (r.status != 0) {
      EXPECT_EQ(r.status, 1) << r.where;
    }
    return r.status == 0;
  });
  EXPECT_GT(attempts, 10);  // writer, section, pages, layers, data and tables
}

INSTANTIATE_TEST_SUITE_P(Kinds, WriterFailureTest,
                         ::testing::Values(Kind{"RawJbig2", norvenc::openJbig2FileWriter, false},
                                           Kind{"Pdf", norvenc::openPdfWriter, true},
                                           Kind{"TiffFx", norvenc::openTfxWriter, false}),
                         [](const ::testing::TestParamInfo<Kind> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace

namespace {

// Wrong arguments and calls out of order: 10003, reported, nothing taken over.
class WriterArgumentTest : public norvtest::TrackedStateTest {};

TEST_F(WriterArgumentTest, MissingOutputOrOutPointerAndPagesPastTheEnd) {
  norvtest::MemoryFile sink;
  NorvOutputIo io = enctest::fileIo("/dev/null");
  std::fclose(io.file);
  io.file = norvtest::openMemoryFile(&sink);
  ASSERT_NE(io.file, nullptr);
  NorvOutputIo noFile = io;
  noFile.file = nullptr;
  for (OpenFn open :
       {norvenc::openJbig2FileWriter, norvenc::openPdfWriter, norvenc::openTfxWriter}) {
    NorvOutputWriter *writer = nullptr;
    EXPECT_EQ(open(state_, nullptr, &writer), 10003);
    EXPECT_EQ(open(state_, &noFile, &writer), 10003);
    EXPECT_EQ(open(state_, &io, nullptr), 10003);
    EXPECT_EQ(writer, nullptr);
  }
  EXPECT_EQ(sink.taken, 0u);

  NorvOutputWriter *writer = nullptr;
  ASSERT_EQ(norvenc::openJbig2FileWriter(state_, &io, &writer), 0);
  NorvWriterPage *page = nullptr, *found = nullptr;
  ASSERT_EQ(norvenc::newWriterPage(writer, 10, 10, &page), 0);
  ASSERT_EQ(norvenc::addWriterPage(writer, page), 0);
  EXPECT_EQ(norvenc::getWriterPage(writer, 1, &found), 0);
  EXPECT_EQ(found, page);
  EXPECT_EQ(norvenc::getWriterPage(writer, 2, &found), 10003);
  EXPECT_EQ(norvenc::getWriterPage(writer, 0, &found), 10003);
  auto *mask =
      static_cast<NorvLayerRecord *>(qtz::allocateZeroed(state_, 1, sizeof(NorvLayerRecord)));
  ASSERT_EQ(norvenc::attachMaskLayer(page, mask), 0);
  EXPECT_EQ(norvenc::attachMaskLayer(page, mask), 10003);  // a page has one mask
  const std::vector<uint8_t> bytes = {1, 2, 3};
  ASSERT_EQ(norvenc::setSectionGlobals(writer, enctest::ownedCopy(state_, bytes), 3), 0);
  uint8_t *second = enctest::ownedCopy(state_, bytes);
  EXPECT_EQ(norvenc::setSectionGlobals(writer, second, 3), 10003);  // would drop the first
  qtz::release(state_, second);
  EXPECT_EQ(norvenc::setSectionGlobals(writer, enctest::ownedCopy(state_, bytes), 0), 0);
  EXPECT_EQ(norvenc::writeSection(writer, 1), 0);
  EXPECT_EQ(writer->pagesWritten, 1);
  EXPECT_EQ(norvenc::closeWriter(writer), 0);
  EXPECT_EQ(sink.closes, 1);
  EXPECT_EQ(sink.data.size(), 9u + 3u);  // header and the dictionary bytes; the page had none
  EXPECT_NE(errors_.text().find("10003"), std::string::npos);
}

}  // namespace
