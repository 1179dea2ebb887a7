// Test documents and renders for the viewer's tests: small plain TIFF documents of 8-bit RGB
// pages written with libtiff, the control's own render of a page (SavePageAsBmp, read back as
// an image) and the comparison of a window's pixels with such a render.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <utility>
#include <vector>

#include "comp_dispatch.h"
#include "comp_variant.h"
#include "control_ids.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"

namespace viewer {

// Sample s of pixel i (in storage order) of page p: stripes that differ by page and position.
inline uint8_t testSample(size_t i, uint32_t page) {
  return static_cast<uint8_t>((i * 7 + page * 91) % 251);
}

// A plain TIFF of testSample pages of the given sizes; false when it cannot be written.
inline bool writeTestTiff(const std::string &path,
                          const std::vector<std::pair<uint32_t, uint32_t>> &sizes) {
  norvtest::writeRgbTiff(path, sizes, testSample);
  return !::testing::Test::HasFatalFailure();
}

// The control's own render of page (from 1) at its current zoom and layer, as RGB32; a null
// image when the control writes none.
inline QImage controlRender(comp::Dispatch &control, int32_t page) {
  norvtest::TempDir dir("viewer_render");
  const std::string bmp = dir.file("page.bmp");
  comp::Variant zoom, layer;
  if (control.invoke(dispid::ZoomFactor, comp::kPropGet, {}, &zoom) != comp::S_OK ||
      control.invoke(dispid::Layer, comp::kPropGet, {}, &layer) != comp::S_OK)
    return {};
  const comp::Variant args[] = {comp::Variant::bstr(bmp), comp::Variant::i4(page), layer, zoom};
  comp::Variant written;
  if (control.invoke(dispid::SavePageAsBmp, comp::kMethod, args, &written) != comp::S_OK) return {};
  QImage image;
  if (!image.load(QString::fromStdString(bmp), "BMP")) return {};
  return image.convertToFormat(QImage::Format_RGB32);
}

// The shot's top-left corner shows render pixel for pixel.
inline void expectShowsRender(const QImage &shot, const QImage &render) {
  ASSERT_FALSE(render.isNull());
  ASSERT_GE(shot.width(), render.width());
  ASSERT_GE(shot.height(), render.height());
  const QImage corner =
      shot.copy(0, 0, render.width(), render.height()).convertToFormat(QImage::Format_RGB32);
  int differing = 0;
  for (int y = 0; y < render.height(); ++y)
    for (int x = 0; x < render.width(); ++x) differing += corner.pixel(x, y) != render.pixel(x, y);
  EXPECT_EQ(differing, 0) << "of " << render.width() << " x " << render.height();
}

}  // namespace viewer
