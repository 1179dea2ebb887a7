// Stream adapters over a C FILE: partial reads at the end of the file, tracked positions, and -1
// for every failure so that no failure reads as position 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "ovr_file_hooks.h"
#include "ovr_stream_internal.h"
#include "ovr_test_support.h"

namespace {

using ovr_test::kStdioHooks;

TEST(OvrFileHooks, ReadStopsAtEndAndTracksPosition) {
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  FILE *f = fmemopen(bytes.data(), bytes.size(), "rb");
  OvrHookedFile rec{f, 0, &kStdioHooks};
  uint8_t buf[16] = {};
  EXPECT_EQ(fileHookSeek(&rec, 6), 6);
  EXPECT_EQ(fileHookRead(&rec, buf, 16), 4);  // the part that was there
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[3], 10);
  EXPECT_EQ(fileHookTell(&rec), 10);
  EXPECT_EQ(fileHookRead(&rec, buf, 4), 0);
  EXPECT_EQ(fileHookTell(&rec), 10);
  EXPECT_EQ(fileHookSeekEnd(&rec), 10);
  EXPECT_EQ(fileHookSeek(&rec, 0), 0);
  EXPECT_EQ(fileHookRead(&rec, buf, 3), 3);
  EXPECT_EQ(fileHookTell(&rec), 3);
  fclose(f);
}

TEST(OvrFileHooks, WriteAppendsAndTracksPosition) {
  FILE *f = tmpfile();
  ASSERT_NE(f, nullptr);
  OvrHookedFile rec{f, 0, &kStdioHooks};
  const uint8_t data[5] = {9, 8, 7, 6, 5};
  EXPECT_EQ(fileHookWrite(&rec, data, 5), 5);
  EXPECT_EQ(fileHookTell(&rec), 5);
  EXPECT_EQ(fileHookSeekEnd(&rec), 5);
  EXPECT_EQ(fileHookSeek(&rec, 2), 2);
  uint8_t back[3];
  EXPECT_EQ(fileHookRead(&rec, back, 3), 3);
  EXPECT_EQ(back[0], 7);
  fclose(f);
}

int failingSeek(FILE *, long, int) {
  return -1;
}
long failingTell(FILE *) {
  return -1;
}
size_t nothingMoves(const void *, size_t, size_t, FILE *) {
  return 0;
}

TEST(OvrFileHooks, FailuresAreMinusOne) {
  std::vector<uint8_t> bytes(8, 0);
  FILE *f = fmemopen(bytes.data(), bytes.size(), "rb");
  const OvrFileHooks badSeek = {fread, nothingMoves, failingSeek, ftell};
  const OvrFileHooks badTell = {fread, fwrite, fseek, failingTell};
  OvrHookedFile seekFails{f, 3, &badSeek};
  EXPECT_EQ(fileHookSeek(&seekFails, 4), -1);
  EXPECT_EQ(fileHookSeekEnd(&seekFails), -1);
  EXPECT_EQ(seekFails.position, 3);  // unchanged by a failure
  EXPECT_EQ(fileHookWrite(&seekFails, bytes.data(), 4), 0);
  OvrHookedFile tellFails{f, 0, &badTell};
  EXPECT_EQ(fileHookSeekEnd(&tellFails), -1);

  OvrHookedFile good{f, 0, &kStdioHooks};
  EXPECT_EQ(fileHookSeek(&good, -1), -1);
  EXPECT_EQ(fileHookSeek(nullptr, 0), -1);
  EXPECT_EQ(fileHookSeekEnd(nullptr), -1);
  EXPECT_EQ(fileHookRead(nullptr, bytes.data(), 1), -1);
  EXPECT_EQ(fileHookWrite(nullptr, bytes.data(), 1), -1);
  EXPECT_EQ(fileHookTell(nullptr), -1);
  OvrHookedFile noHooks{f, 0, nullptr};
  EXPECT_EQ(fileHookSeek(&noHooks, 0), -1);
  fclose(f);
}

// The stream primitives turn hook results into status codes.
TEST(OvrStreamPrimitives, StatusCodes) {
  std::vector<uint8_t> bytes(8, 0);
  FILE *f = fmemopen(bytes.data(), bytes.size(), "rb");
  const OvrFileHooks badSeek = {fread, nothingMoves, failingSeek, ftell};
  OvrHookedFile good{f, 0, &kStdioHooks};
  OvrHookedFile bad{f, 0, &badSeek};
  OvrStream s{};
  s.self = &s;
  s.client = &good;
  s.read = fileHookRead;
  s.write = fileHookWrite;
  s.seek = fileHookSeek;
  s.seekEnd = fileHookSeekEnd;
  uint8_t buf[16];
  EXPECT_EQ(ovr::streamSeek(s, 6), OVR_OK);
  EXPECT_EQ(ovr::streamRead(s, buf, 4), OVR_ERR_READ);  // only 2 bytes remain
  uint64_t end = 0;
  EXPECT_EQ(ovr::streamSeekEnd(s, &end), OVR_OK);
  EXPECT_EQ(end, 8u);
  EXPECT_EQ(ovr::streamWrite(s, buf, 4), OVR_ERR_WRITE);     // read-only file
  EXPECT_EQ(ovr::streamWrite(s, buf, 4), OVR_ERR_INTERNAL);  // the stream is marked failed
  s.client = &bad;
  EXPECT_EQ(ovr::streamSeek(s, 0), OVR_ERR_SEEK);
  EXPECT_EQ(ovr::streamSeekEnd(s, &end), OVR_ERR_SEEK_END);

  ovr::FileReader reader;
  s.client = &good;
  s.swap = 1;
  ASSERT_EQ(ovr::openFileReader(s, &reader), OVR_OK);
  EXPECT_EQ(reader.size, 8u);
  EXPECT_EQ(reader.order, ovr::ByteOrder::Big);
  EXPECT_EQ(reader.readAt(4, buf, 4), OVR_OK);
  EXPECT_EQ(reader.readAt(5, buf, 4), OVR_ERR_CORRUPT);
  EXPECT_EQ(reader.readAt(UINT64_MAX - 1, buf, 4), OVR_ERR_CORRUPT);
  fclose(f);
}

}  // namespace
