// The conformance corpus: every segment header parses as the file's structure gives, and every
// file decodes to its oracle or is refused with the status this decoder documents.
#include <fstream>
#include <map>
#include <sstream>

#include "jbig2_test_support.h"

namespace {

using jbtest::DecoderFixture;

std::vector<std::pair<std::string, std::string>> corpusFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  std::ifstream in(jbtest::dataPath("segment_types.tsv"));
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    files.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return files;
}

// "type:count ..." of a segment list, types ascending.
std::string typeCounts(const std::vector<jbtest::FileSegment> &segments) {
  std::map<int, int> counts;
  for (const auto &s : segments) counts[s.type]++;
  std::string out;
  for (auto [type, n] : counts)
    out += (out.empty() ? "" : " ") + std::to_string(type) + ":" + std::to_string(n);
  return out.empty() ? "-" : out;
}

struct HeaderFixture : DecoderFixture {};

TEST_F(HeaderFixture, EveryHeaderOfTheCorpusParsesAsTheFileGivesIt) {
  const auto files = corpusFiles();
  ASSERT_EQ(files.size(), 118u);
  for (const auto &[name, types] : files) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = jbtest::readFile(jbtest::dataPath(name));
    jbtest::ParsedFile file;
    try {
      file = jbtest::parseJbig2File(bytes);
    } catch (const std::out_of_range &) {
      continue;  // a malformed file whose own structure is broken
    }
    EXPECT_EQ(typeCounts(file.segments), types);
    DataSource *src = nullptr;
    Jb2File *stream = nullptr;
    ASSERT_EQ(memSourceNew(file.stream.data(), file.stream.size(), state, &src), 0);
    ASSERT_EQ(jb2NewStream(nullptr, nullptr, state, &stream), 0);
    for (const auto &expected : file.segments) {
      Jbig2Segment seg{};
      const size_t start = src->pos;
      const int32_t status = parseSegmentHeader(stream, src, &seg);
      bool forward = false;
      for (uint32_t r : expected.refs) forward |= r >= expected.number;
      if (forward) {
        // A reference to a later segment is refused.
        EXPECT_EQ(status, 107);
        break;
      }
      if (status != 0) {
        ADD_FAILURE() << "segment " << expected.number << " status " << status;
        break;
      }
      EXPECT_EQ(seg.number, expected.number);
      EXPECT_EQ(seg.type, expected.type);
      EXPECT_EQ(seg.page, expected.page);
      EXPECT_EQ(src->pos - start, expected.headerEnd - expected.headerStart);
      ASSERT_EQ(static_cast<size_t>(seg.refCount), expected.refs.size());
      for (size_t i = 0; i < expected.refs.size(); ++i)
        EXPECT_EQ(static_cast<uint32_t>(seg.refs[i]), expected.refs[i]);
      EXPECT_EQ(seg.dataLength, expected.dataLength);
      // Data of known length is passed over; unknown lengths end the walk.
      const bool unknown = seg.dataLength == 0xFFFFFFFFu;
      releaseSegmentData(&seg, state);
      if (unknown) break;
      ASSERT_EQ(srcSkip(src, seg.dataLength), 0);
    }
    jb2FreeStream(stream);
    memSourceFree(src);
  }
}

struct CorpusFixture : DecoderFixture {};

TEST_F(CorpusFixture, EveryFileDecodesToItsOracle) {
  const jbtest::Pbm oracle = jbtest::readPbm(jbtest::dataPath("serenity-bitmap.pbm"));
  ASSERT_EQ(oracle.width, 399);
  int failures = 0, files = 0, denied = 0;
  for (const auto &[name, types] : corpusFiles()) {
    if (name.rfind("serenity/", 0) != 0) continue;
    ++files;
    SCOPED_TRACE(name);
    jbtest::ParsedFile file = jbtest::parseJbig2File(jbtest::readFile(jbtest::dataPath(name)));
    QtzImage *page = nullptr;
    messages.clear();
    const int32_t status = decode(file.stream, &page);
    // Pages whose flags deny the intermediate or refinement regions they hold decode all the
    // same, with a warning.
    if (messages.find("on a page whose flags deny them") != std::string::npos) ++denied;
    const long diff = jbtest::differingPixels(page, oracle);
    if (status != 0 || diff != 0) {
      ++failures;
      ADD_FAILURE() << name << ": status " << status << ", " << diff << " pixels differ; "
                    << messages;
    }
    QtzImage_free(page);
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(files, 108);
  EXPECT_EQ(denied, 15);
}

}  // namespace

namespace {

struct MalformedFixture : jbtest::DecoderFixture {};

// The edge-case files are refused with a status, never decoded wrongly or crashed on.
TEST_F(MalformedFixture, EachFileIsRefusedWithItsStatus) {
  struct Case {
    const char *name;
    int32_t status;
    const char *message;
  };
  const Case cases[] = {
      {"jmole-7.2.3-reserved-ref-count", 2003, "Bad file length"},
      {"jmole-7.4.1-zero-region", 2, "bad AT params"},
      {"jmole-7.4.12-empty-profiles", 0, ""},
      {"jmole-7.4.13-empty-table", 107, "too short for type 53"},
      {"jmole-7.4.2-sdrefagg-forward-reference", 107, "bad referenced segment number"},
      {"jmole-7.4.2-symbol-reserved-flags", 2, "bad AT params"},
      {"jmole-7.4.3-sbnuminsts-zero", 2, "bad AT params"},
      {"jmole-7.4.4-pattern-zero-size", 107, "pattern size of 0"},
      {"jmole-7.4.6-tpgdon-template3", 2, "bad AT params"},
      {"jmole-7.4.7-refinement-reserved-flags", 2, "bad RAT params"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes =
        jbtest::readFile(jbtest::dataPath(std::string("malformed/") + c.name + ".jb2"));
    ASSERT_GT(bytes.size(), 9u);
    // The stream as the file lays it out after its 9-byte header (these files have no page
    // count), without the test reader's interpretation.
    const std::vector<uint8_t> stream(bytes.begin() + 9, bytes.end());
    QtzImage *page = nullptr;
    messages.clear();
    EXPECT_EQ(decode(stream, &page), c.status);
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    QtzImage_free(page);
  }
}

}  // namespace

namespace {

struct GlobalsFixture : jbtest::DecoderFixture {};

// The view control's road: the segments of page 0 go to a globals decoder (keep-all, no
// composition), the page's segments to a page decoder that borrows them.
TEST_F(GlobalsFixture, GlobalSegmentsDecodedOnceAndBorrowedByThePage) {
  const jbtest::Pbm oracle = jbtest::readPbm(jbtest::dataPath("serenity-bitmap.pbm"));
  int files = 0;
  for (const char *name : {"bitmap-symbol-global.jbig2", "bitmap-halftone-global.jbig2"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes =
        jbtest::readFile(jbtest::dataPath(std::string("serenity/") + name));
    const jbtest::ParsedFile file = jbtest::parseJbig2File(bytes);
    std::vector<uint8_t> globals, page;
    for (const auto &s : file.segments) {
      const size_t start = s.streamDataStart - (s.headerEnd - s.headerStart);
      auto &to = s.page == 0 ? globals : page;
      to.insert(to.end(), file.stream.begin() + start,
                file.stream.begin() + s.streamDataStart + s.dataLength);
    }
    if (globals.empty()) continue;
    ++files;
    Jbig2Decoder *g = nullptr, *p = nullptr;
    ASSERT_EQ(QtzJbig2_newDecoder(&g, 0, nullptr, nullptr, 1, 6500, 1, 0, nullptr, nullptr, state),
              0);
    ASSERT_EQ(QtzJbig2_decodeGlobals(g, globals.data(), globals.size()), 0) << messages;
    ASSERT_EQ(QtzJbig2_newDecoder(&p, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state),
              0);
    ASSERT_EQ(QtzJbig2_attachGlobals(p, g), 0);
    ASSERT_EQ(QtzJbig2_decodePage(p, page.data(), page.size(), nullptr), 0) << messages;
    EXPECT_EQ(jbtest::differingPixels(p->page, oracle), 0);
    QtzJbig2_freeDecoder(&p);
    QtzJbig2_freeDecoder(&g);
  }
  EXPECT_EQ(files, 2);
}

}  // namespace
