// PrintLayerFromTo on a printer made of memory pages registered in the device handle table:
// each printed page equals the page's own render at the print scale (snapped to 1 within 2 %,
// reduced to fit, enlarged by the device) at the printable area's top-left on white; a page
// of unknown size prints blank; page ranges are held within the document; the job's calls in
// order, and each failing call aborting the job with its result; no device, no pages.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_document.h"
#include "gfx_device_handles.h"
#include "gfx_memory_device.h"
#include "norvview_ctrl.h"

namespace ctl {
namespace {

using ctl_test::FakeDocument;
using ctl_test::renderPixel;
using gfx::Rgb;

// A printer whose pages are memory devices; it logs the job's calls and fails the one named.
class MemoryPrinter final : public gfx::Device {
 public:
  MemoryPrinter(int32_t width, int32_t height) : width_(width), height_(height) {}

  gfx::Caps caps() const override {
    gfx::Caps c;
    c.width = width_;
    c.height = height_;
    c.dpiX = c.dpiY = 300;
    return c;
  }
  void fillRect(const gfx::Rect &rect, Rgb colour) override {
    if (page_ != nullptr) page_->fillRect(rect, colour);
  }
  int32_t startDoc(const char *name) override {
    documentName = name;
    return call("startDoc");
  }
  int32_t startPage() override {
    page_ = std::make_unique<gfx::MemoryDevice>(width_, height_);
    return call("startPage");
  }
  int32_t endPage() override {
    pages.push_back(page_->pixels());
    page_.reset();
    return call("endPage");
  }
  int32_t endDoc() override { return call("endDoc"); }
  void abortDoc() override { log += "abortDoc "; }

  std::vector<std::vector<Rgb>> pages;
  std::string log, documentName;
  std::string failing;  // "endPage#2": the second endPage fails
  int32_t failure = -5;

 protected:
  void drawDib(const gfx::DibBlit &blit, const gfx::Dib &dib) override {
    if (page_ != nullptr) page_->stretchDIBits(blit, dib);
  }

 private:
  int32_t call(const std::string &name) {
    log += name + " ";
    const std::string counted = name + "#" + std::to_string(++counts_[name]);
    return counted == failing ? failure : 1;
  }

  int32_t width_, height_;
  std::unique_ptr<gfx::MemoryDevice> page_;
  std::map<std::string, int> counts_;
};

constexpr int32_t kW = 100, kH = 80;

// The printed page: the page's render at scale s at the top-left of a white printer page. At
// s <= 1 the render holds zoomed pixels; above 1 it holds page pixels that the device enlarges
// by the bitmap rule.
std::vector<Rgb> expectedPage(ctl_test::FakePage &page, double s, int32_t layer) {
  std::vector<Rgb> canvas(size_t{kW} * kH, 0xFFFFFF);
  const LongPair size = page.GetSize();
  if (size.x <= 0 || size.y <= 0) return canvas;
  const auto dw = static_cast<int64_t>(static_cast<double>(size.x) * s);
  const auto dh = static_cast<int64_t>(static_cast<double>(size.y) * s);
  DibImgBuf render;
  const bool enlarged = s > 1.0;
  const Rect r = enlarged ? Rect{0, 0, int32_t(size.x), int32_t(size.y)}
                          : Rect{0, 0, int32_t(dw), int32_t(dh)};
  EXPECT_TRUE(page.Render(&render, r, enlarged ? 1.0 : 1.0 / s, layer));
  for (int64_t y = 0; y < std::min<int64_t>(dh, kH); ++y)
    for (int64_t x = 0; x < std::min<int64_t>(dw, kW); ++x)
      canvas[y * kW + x] = enlarged ? renderPixel(render, x * size.x / dw, y * size.y / dh)
                                    : renderPixel(render, x, y);
  return canvas;
}

class PrintTest : public ::testing::Test {
 protected:
  FakeDocument &open(const std::vector<ctl_test::FakePageShape> &pages) {
    auto doc = std::make_unique<FakeDocument>(pages);
    FakeDocument &ref = *doc;
    control_.AttachDocument(std::move(doc), "/docs/scan.tfx");
    return ref;
  }
  // Through the dispatch interface, as the viewer prints.
  int32_t print(int32_t hdc, int32_t layer, int32_t from, int32_t to) {
    comp::Variant result;
    const std::array args{comp::Variant::i4(hdc), comp::Variant::i4(layer), comp::Variant::i4(from),
                          comp::Variant::i4(to)};
    EXPECT_EQ(control_.invoke(kIdPrintLayerFromTo, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  }

  MemoryPrinter printer_{kW, kH};
  gfx::DeviceHandle handle_{&printer_};
  NorvviewCtrl control_;
};

TEST_F(PrintTest, PagesPrintAsTheirRendersAtThePrintScale) {
  // Exactly the printer's size; 1 % and 1.25 % smaller (snapped to 1); twice as wide (0.5);
  // small (enlarged 2.5 times); unknown size; a 1-bit page at 1.
  FakeDocument &doc = open({{100, 80}, {99, 79}, {200, 100}, {40, 20}, {-1, -1}, {100, 80, 1}});
  const double scales[] = {1.0, 1.0, 0.5, 2.5, 0, 1.0};
  for (int32_t layer : {0, 3}) {
    SCOPED_TRACE(layer);
    printer_.pages.clear();
    printer_.log.clear();
    ASSERT_EQ(print(handle_.get(), layer, 0, 1000), 0);
    EXPECT_EQ(printer_.documentName, "/docs/scan.tfx");
    ASSERT_EQ(printer_.pages.size(), 6u);
    for (int32_t p = 0; p < 6; ++p) {
      const std::vector<Rgb> expected = expectedPage(doc.page(p), scales[p], layer);
      int mismatches = 0;
      for (size_t i = 0; i < expected.size(); ++i)
        mismatches += printer_.pages[p][i] != expected[i];
      EXPECT_EQ(mismatches, 0) << "page " << p + 1;
    }
  }
  // The private escape of the maker's driver is not supported, so the pages were drawn.
  EXPECT_EQ(printer_.escape(gfx::kEscapeDocumentPath), 0);
  // Printing went through the page cache.
  EXPECT_TRUE(control_.IsPageCached(0));
}

TEST_F(PrintTest, RangesAndTheJobsCalls) {
  FakeDocument &doc = open({{100, 80}, {50, 40}, {100, 80}});
  struct Case {
    int32_t from, to;
    std::vector<int32_t> pages;  // 0-based pages printed
  };
  const Case cases[] = {{0, 1000, {0, 1, 2}}, {2, 2, {1}}, {3, 2, {}},
                        {-4, 1, {0}},         {7, 9, {2}}, {2, 3, {1, 2}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
    printer_.pages.clear();
    printer_.log.clear();
    ASSERT_EQ(print(handle_.get(), 0, c.from, c.to), 0);
    std::string log = "startDoc ";
    for (size_t i = 0; i < c.pages.size(); ++i) log += "startPage endPage ";
    EXPECT_EQ(printer_.log, log + "endDoc ");
    ASSERT_EQ(printer_.pages.size(), c.pages.size());
    for (size_t i = 0; i < c.pages.size(); ++i)
      EXPECT_EQ(printer_.pages[i],
                expectedPage(doc.page(c.pages[i]), c.pages[i] == 1 ? 2.0 : 1.0, 0));
  }
}

TEST_F(PrintTest, FailuresAbortTheJob) {
  const struct {
    const char *failing;
    const char *log;
  } cases[] = {
      {"startDoc#1", "startDoc abortDoc "},
      {"startPage#2", "startDoc startPage endPage startPage abortDoc "},
      {"endPage#1", "startDoc startPage endPage abortDoc "},
      {"endDoc#1", "startDoc startPage endPage startPage endPage endDoc abortDoc "},
  };
  open({{100, 80}, {100, 80}});
  for (const auto &c : cases) {
    SCOPED_TRACE(c.failing);
    // A printer of its own, so that the calls are counted from the job's start.
    MemoryPrinter fresh(kW, kH);
    fresh.failing = c.failing;
    fresh.failure = -7;
    gfx::DeviceHandle handle(&fresh);
    EXPECT_EQ(print(handle.get(), 0, 1, 2), -7);
    EXPECT_EQ(fresh.log, c.log);
  }
}

TEST_F(PrintTest, NoDeviceOrNoPages) {
  EXPECT_EQ(print(handle_.get(), 0, 1, 1), -1);  // no document
  open({{100, 80}});
  EXPECT_EQ(print(0, 0, 1, 1), -1);
  const int32_t stale = gfx::registerDevice(&printer_);
  gfx::unregisterDevice(stale);
  EXPECT_EQ(print(stale, 0, 1, 1), -1);
  EXPECT_EQ(printer_.log, "");
  open({});
  EXPECT_EQ(print(handle_.get(), 0, 1, 1), -1);
  EXPECT_EQ(printer_.log, "");
}

}  // namespace
}  // namespace ctl
