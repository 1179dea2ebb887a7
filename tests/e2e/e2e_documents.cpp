// Source documents of the end-to-end checks and the outside readers of the encoder's output
// files (see e2e_documents.h).
#include "e2e_documents.h"

#include <gtest/gtest.h>

#include <map>

#include "output_writer.h"
#include "ovr_context.h"
#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "testkit_tools.h"

namespace e2e {

namespace {

using norvtest::shellQuote;

// The container reader over one open file.
class TfxReader {
 public:
  explicit TfxReader(const std::string &path) {
    file_ = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file_, nullptr) << path;
    EXPECT_EQ(ovrCreateIoContext(0, &ctx_), 0);
    if (file_ == nullptr || ctx_ == nullptr) return;
    stream_ = OvrHookedFile{file_, 0, &hooks_};
    EXPECT_EQ(ovrOpenDocument(ctx_, &stream_, 0, fileHookRead, fileHookWrite, fileHookSeek,
                              fileHookSeekEnd, fileHookTell, &doc_),
              0);
    EXPECT_NE(doc_, nullptr) << path << " is not a TIFF file";
  }
  ~TfxReader() {
    if (doc_ != nullptr) {
      EXPECT_EQ(ovrCloseDocument(doc_), 0);
    }
    if (ctx_ != nullptr) {
      EXPECT_EQ(ovrDestroyIoContext(ctx_), 0);
    }
    if (file_ != nullptr) std::fclose(file_);
  }
  TfxReader(const TfxReader &) = delete;
  TfxReader &operator=(const TfxReader &) = delete;

  OvrDocHandle *document() const { return doc_; }

  std::vector<uint8_t> globalData(uint32_t index) {
    uint8_t *data = nullptr;
    uint32_t length = 0, size = 0, entryLong = 0;
    uint16_t entryWord = 0;
    EXPECT_EQ(ovrReadGlobalData(doc_, index, &data, &length, &size, &entryWord, &entryLong), 0)
        << "global data block " << index;
    std::vector<uint8_t> bytes(data, data + (data == nullptr ? 0 : length));
    if (data != nullptr) ovrFreeData(ctx_, reinterpret_cast<void **>(&data));
    return bytes;
  }

  std::vector<uint8_t> strip(OvrIfdHandle *ifd, uint32_t height) {
    EXPECT_EQ(ovrBeginRead(ifd, 0), 0);
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0, got = 0;
    EXPECT_EQ(ovrReadStrip(ifd, 0, height, &buffer, &capacity, &got), 0);
    std::vector<uint8_t> bytes(buffer, buffer + (buffer == nullptr ? 0 : got));
    if (buffer != nullptr) ovrFreeData(ctx_, reinterpret_cast<void **>(&buffer));
    EXPECT_EQ(ovrEndRead(ifd), 0);
    return bytes;
  }

  // The mask strip split into the global data indices it names and the coded page.
  bool splitStrip(OvrIfdHandle *ifd, const std::vector<uint8_t> &strip,
                  std::vector<uint32_t> &indices, std::vector<uint8_t> &coded) {
    uint32_t count = 0, codedSize = 0;
    uint32_t *list = nullptr;
    const uint8_t *start = nullptr;
    const int32_t status = ovrParseStripHeader(ifd, strip.data(), uint32_t(strip.size()), &count,
                                               &list, &start, &codedSize);
    EXPECT_EQ(status, 0);
    if (status != 0) return false;
    indices.assign(list, list + (list == nullptr ? 0 : count));
    if (list != nullptr) ovrFreeData(ctx_, reinterpret_cast<void **>(&list));
    coded.assign(start, start + codedSize);
    return true;
  }

 private:
  OvrFileHooks hooks_{
      [](void *b, size_t s, size_t c, FILE *f) { return std::fread(b, s, c, f); },
      [](const void *b, size_t s, size_t c, FILE *f) { return std::fwrite(b, s, c, f); },
      std::fseek, std::ftell};
  FILE *file_ = nullptr;
  OvrIoContext *ctx_ = nullptr;
  OvrHookedFile stream_{};
  OvrDocHandle *doc_ = nullptr;
};

// jbig2dec on a page's bytes after the global data it needs (embedded streams).
norvtest::Pnm decodeEmbedded(const std::vector<uint8_t> &globals,
                             const std::vector<uint8_t> &page) {
  norvtest::TempDir dir("e2e_page");
  EXPECT_TRUE(norvtest::writeFile(dir.file("g.jb2"), globals));
  EXPECT_TRUE(norvtest::writeFile(dir.file("p.jb2"), page));
  const std::string inputs =
      globals.empty() ? shellQuote(dir.file("p.jb2"))
                      : shellQuote(dir.file("g.jb2")) + " " + shellQuote(dir.file("p.jb2"));
  const norvtest::ToolRun run = norvtest::runTool(
      "jbig2dec -q -e -t pbm -o " + shellQuote(dir.file("out.pbm")) + " " + inputs + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  return norvtest::readPnm(dir.file("out.pbm"));
}

}  // namespace

const std::vector<std::string> &testPages() {
  static const std::vector<std::string> pages = {
      "p01_t300_bash-1.tif",        "p02_t300_bash-8.tif",       "p03_t300_bash-16.tif",
      "p04_t300_bash-24.tif",       "p05_t300_bash-32.tif",      "p06_t300_bash-48.tif",
      "p07_t300_groff-2.tif",       "p08_t300_gs-2.tif",         "p09_t300_grops-3.tif",
      "p10_t300_tbl-2.tif",         "p11_t200_bash-56.tif",      "p12_t200_bash-64.tif",
      "p13_t200_eqn-2.tif",         "p14_t200_pic-2.tif",        "p15_t600_bash-72.tif",
      "p16_t600_bash-80.tif",       "p17_t600_troff-2.tif",      "p18_t600_groff-4.tif",
      "p19_d200_digits-times8.tif", "p20_d200_digits-helv7.tif", "p21_h300_ps2pdf-screen.tif",
      "p22_h300_tbl-floyd.tif"};
  return pages;
}

std::string pagePath(const std::string &page) {
  return std::string(NORV_E2E_DATA) + "/" + page;
}

int pageDpi(const std::string &page) {
  return std::stoi(page.substr(5, 3));
}

const norvtest::Pnm &sourcePage(const std::string &page) {
  static std::map<std::string, norvtest::Pnm> pages;
  auto found = pages.find(page);
  if (found != pages.end()) return found->second;
  const norvtest::ToolRun run =
      norvtest::runTool("tifftopnm -quiet " + shellQuote(pagePath(page)) + " 2>/dev/null");
  norvtest::Pnm pnm = norvtest::parsePnm(run.output);
  EXPECT_EQ(pnm.kind, '4') << "tifftopnm " << page;
  return pages.emplace(page, std::move(pnm)).first->second;
}

std::vector<std::string> cyclePages(size_t first, size_t count) {
  std::vector<std::string> pages;
  for (size_t k = 0; k < count; ++k) pages.push_back(testPages()[(first + k) % testPages().size()]);
  return pages;
}

std::string makeDocument(const norvtest::TempDir &dir, const std::string &name,
                         const std::vector<std::string> &pages) {
  std::string command = "tiffcp";
  for (const std::string &p : pages) command += " " + shellQuote(pagePath(p));
  const std::string path = dir.file(name);
  const norvtest::ToolRun run = norvtest::runTool(command + " " + shellQuote(path) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  return run.status == 0 ? path : "";
}

std::vector<norvtest::Pnm> readTfx(const std::string &path, size_t *globalBlocks) {
  std::vector<norvtest::Pnm> pages;
  // The libtiff tools: every directory readable, no error.
  for (const char *tool : {"tiffinfo", "tiffdump"}) {
    const norvtest::ToolRun run =
        norvtest::runTool(std::string(tool) + " " + shellQuote(path) + " 2>&1");
    EXPECT_EQ(run.status, 0) << tool << ": " << run.text();
    EXPECT_EQ(run.text().find("rror"), std::string::npos) << tool << ": " << run.text();
  }
  TfxReader reader(path);
  if (reader.document() == nullptr) return pages;
  uint8_t headerKind = 0, subKind = 0;
  uint16_t pageCount = 0;
  EXPECT_EQ(ovrGetDocumentInfo(reader.document(), &headerKind, &subKind, &pageCount), 0);
  std::map<uint32_t, std::vector<uint8_t>> blocks;
  for (int32_t k = 0; k < pageCount; ++k) {
    SCOPED_TRACE("TIFF-FX page " + std::to_string(k + 1));
    const uint32_t *counts = nullptr;
    uint32_t layers = 0;
    uint16_t attribute = 0;
    OvrPageHandle *page = nullptr;
    EXPECT_EQ(ovrGetPage(reader.document(), k, &counts, &layers, &attribute, &page), 0);
    if (page == nullptr || layers < 2 || counts[1] != 1) {
      ADD_FAILURE() << "no mask layer of one stripe";
      pages.emplace_back();
      continue;
    }
    uint32_t x, y, xRes, yRes, width, height, rowsPerStrip, bits, kind;
    OvrIfdHandle *ifd = nullptr;
    EXPECT_EQ(ovrGetStripeIfd(page, 2, 0, &x, &y, &xRes, &yRes, &width, &height, &rowsPerStrip,
                              &bits, &kind, nullptr, &ifd),
              0);
    std::vector<uint32_t> indices;
    std::vector<uint8_t> coded;
    if (ifd == nullptr || !reader.splitStrip(ifd, reader.strip(ifd, height), indices, coded)) {
      pages.emplace_back();
      continue;
    }
    std::vector<uint8_t> globals;
    for (uint32_t index : indices) {
      auto found = blocks.find(index);
      if (found == blocks.end()) found = blocks.emplace(index, reader.globalData(index)).first;
      globals.insert(globals.end(), found->second.begin(), found->second.end());
    }
    norvtest::Pnm decoded = decodeEmbedded(globals, coded);
    EXPECT_EQ(decoded.width, int(width));
    EXPECT_EQ(decoded.height, int(height));
    pages.push_back(std::move(decoded));
  }
  if (globalBlocks != nullptr) *globalBlocks = blocks.size();
  return pages;
}

std::vector<norvtest::Pnm> readRawJbig2(const std::string &path) {
  const norvtest::ToolRun run =
      norvtest::runTool("jbig2dec -q -t pbm -o - " + shellQuote(path) + " 2>/dev/null");
  EXPECT_EQ(run.status, 0) << "jbig2dec " << path;
  return norvtest::parsePnms(run.output);
}

void checkPdfStructure(const std::string &path, const std::vector<std::string> &pages) {
  std::vector<std::pair<int, int>> sizes;
  for (const std::string &page : pages)
    sizes.emplace_back(sourcePage(page).width, sourcePage(page).height);
  norvtest::expectPdfJbig2Images(path, sizes);
}

std::vector<norvtest::Pnm> renderPdf(const std::string &path, Renderer renderer,
                                     const std::vector<std::string> &pages) {
  std::vector<norvtest::Pnm> shown;
  norvtest::TempDir dir("e2e_render");
  // One run per stretch of pages of one resolution.
  for (size_t first = 0; first < pages.size();) {
    const int dpi = pageDpi(pages[first]);
    size_t last = first;
    while (last + 1 < pages.size() && pageDpi(pages[last + 1]) == dpi) ++last;
    const std::string from = std::to_string(first + 1), to = std::to_string(last + 1);
    const std::string res = std::to_string(dpi);
    std::string command;
    if (renderer == Renderer::PopplerSplash) {
      command = "pdftoppm -gray -r " + res + " -f " + from + " -l " + to + " " + shellQuote(path) +
                " " + shellQuote(dir.file("p" + from));
    } else if (renderer == Renderer::PopplerCairo) {
      command = "pdftocairo -png -mono -r " + res + " -f " + from + " -l " + to + " " +
                shellQuote(path) + " " + shellQuote(dir.file("p" + from));
    } else {
      command = "mutool draw -q -A 0 -c mono -r " + res + " -o " +
                shellQuote(dir.file("p" + from + "-%04d.pbm")) + " " + shellQuote(path) + " " +
                from + "-" + to;
    }
    const norvtest::ToolRun run = norvtest::runTool(command + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.text();
    const norvtest::ToolRun list = norvtest::runTool("ls " + shellQuote(dir.path()) + " | sort");
    for (const std::string &name : norvtest::linesOf(list.text())) {
      if (renderer == Renderer::PopplerCairo)
        shown.push_back(norvtest::parsePnm(
            norvtest::runTool("pngtopnm " + shellQuote(dir.file(name)) + " 2>/dev/null").output));
      else
        shown.push_back(norvtest::readPnm(dir.file(name)));
      std::remove(dir.file(name).c_str());
    }
    first = last + 1;
  }
  return shown;
}

namespace {

// Whether a JBIG2 stream (embedded organisation: segments one after another) holds a generic
// region segment (types 36, 38, 39) whose flags say MMR. Segment headers as ITU-T T.88 7.2.
bool holdsMmrRegion(const std::vector<uint8_t> &d) {
  size_t at = 0;
  auto be32 = [&](size_t p) {
    return p + 4 <= d.size() ? uint32_t(d[p]) << 24 | uint32_t(d[p + 1]) << 16 |
                                   uint32_t(d[p + 2]) << 8 | d[p + 3]
                             : 0u;
  };
  while (at + 6 <= d.size()) {
    const uint32_t number = be32(at);
    const uint8_t flags = d[at + 4];
    const uint32_t type = flags & 0x3F;
    size_t p = at + 5;
    uint32_t referred = d[p] >> 5;
    if (referred == 7) {
      referred = be32(p) & 0x1FFFFFFF;
      p += 4 + (referred + 8) / 8;
    } else {
      ++p;
    }
    p += size_t(referred) * (number <= 256 ? 1 : number <= 65536 ? 2 : 4);
    p += (flags & 0x40) ? 4 : 1;
    const uint32_t length = be32(p);
    p += 4;
    if ((type == 36 || type == 38 || type == 39) && p + 17 < d.size() && (d[p + 17] & 1) != 0)
      return true;
    if (length == 0xFFFFFFFF) return false;  // unknown length: not made by our writers
    at = p + length;
  }
  return false;
}

}  // namespace

std::vector<bool> pdfImagesWithMmrRegions(const std::string &path) {
  norvtest::TempDir dir("e2e_images");
  const norvtest::ToolRun run = norvtest::runTool("pdfimages -all " + shellQuote(path) + " " +
                                                  shellQuote(dir.file("i")) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  std::vector<bool> mmr;
  const norvtest::ToolRun list = norvtest::runTool("ls " + shellQuote(dir.path()) + " | sort");
  for (const std::string &name : norvtest::linesOf(list.text()))
    if (name.size() > 5 && name.substr(name.size() - 5) == ".jb2e")
      mmr.push_back(holdsMmrRegion(norvtest::readFile(dir.file(name))));
  return mmr;
}

int64_t differingSamples(const norvtest::Pnm &a, const norvtest::Pnm &b) {
  if (a.kind != '5' || b.kind != '5' || a.width != b.width || a.height != b.height) return -1;
  int64_t count = 0;
  for (size_t k = 0; k < a.raster.size(); ++k) count += a.raster[k] != b.raster[k];
  return count;
}

namespace {

// A one-page PDF of the page's size in points at its resolution (written as the encoder's PDF
// writes it), whose page is the image (dictionary entries after /Subtype /Image and the stream
// bytes) drawn over the whole page.
std::string onePagePdf(int width, int height, int dpi, const std::string &imageEntries,
                       const std::string &imageData) {
  const norvenc::Points wide = norvenc::pointsOf(width, dpi), high = norvenc::pointsOf(height, dpi);
  const char *w = wide.text, *h = high.text;
  const std::string content = std::string("q ") + w + " 0 0 " + h + " 0 0 cm /Im Do Q";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ") + w + " " + h +
          "] /Resources << /XObject << /Im 4 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " +
          std::to_string(height) + " " + imageEntries + " /Length " +
          std::to_string(imageData.size()) + " >>\nstream\n" + imageData + "\nendstream",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t k = 0; k < objects.size(); ++k) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

void putBe32(std::string &out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}

// The one strip of a one-strip TIFF (little- or big-endian, first directory).
std::string tiffStrip(const std::vector<uint8_t> &f) {
  if (f.size() < 8) return "";
  const bool little = f[0] == 'I';
  auto get = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int k = 0; k < n && at + k < f.size(); ++k)
      v |= uint32_t(f[at + (little ? k : n - 1 - k)]) << (8 * k);
    return v;
  };
  const uint32_t ifd = get(4, 4);
  uint32_t offset = 0, count = 0;
  for (uint32_t e = 0; e < get(ifd, 2); ++e) {
    const size_t at = ifd + 2 + 12 * e;
    const uint32_t value = get(at + 8, get(at + 2, 2) == 3 ? 2 : 4);
    if (get(at, 2) == 273) offset = value;
    if (get(at, 2) == 279) count = value;
  }
  if (count == 0 || uint64_t{offset} + count > f.size()) return "";
  return std::string(f.begin() + offset, f.begin() + offset + count);
}

}  // namespace

std::string plainT6Pdf(const norvtest::TempDir &dir, const std::string &page) {
  const norvtest::Pnm &source = sourcePage(page);
  const std::string t6 = tiffStrip(norvtest::readFile(pagePath(page)));
  if (t6.empty()) return "";
  // Segment headers (ITU-T T.88 7.2): number, type, no referred segments, page 1, data length.
  auto segment = [](uint32_t number, uint8_t type, const std::string &data) {
    std::string s;
    putBe32(s, number);
    s += char(type);
    s += char(0);
    s += char(1);
    putBe32(s, uint32_t(data.size()));
    return s + data;
  };
  std::string pageInfo, region;
  for (uint32_t v : {uint32_t(source.width), uint32_t(source.height), 0u, 0u}) putBe32(pageInfo, v);
  pageInfo += std::string(3, '\0');  // flags, no striping
  for (uint32_t v : {uint32_t(source.width), uint32_t(source.height), 0u, 0u}) putBe32(region, v);
  region += char(0);  // combination operator OR
  region += char(1);  // MMR
  region += t6;
  const std::string stream = segment(0, 48, pageInfo) + segment(1, 38, region);
  const std::string path = dir.file("t6.pdf");
  const std::string pdf =
      onePagePdf(source.width, source.height, pageDpi(page),
                 "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode", stream);
  return norvtest::writeFile(path, pdf) ? path : "";
}

const norvtest::Pnm &splashReference(const std::string &page) {
  static std::map<std::string, norvtest::Pnm> pages;
  auto found = pages.find(page);
  if (found != pages.end()) return found->second;
  const norvtest::Pnm &source = sourcePage(page);
  const int dpi = pageDpi(page);
  // PDF gray: 0 is black, the PBM's 1.
  std::string image(source.raster.begin(), source.raster.end());
  for (char &c : image) c = char(~c);
  norvtest::TempDir dir("e2e_splash");
  EXPECT_TRUE(norvtest::writeFile(
      dir.file("page.pdf"), onePagePdf(source.width, source.height, dpi,
                                       "/ColorSpace /DeviceGray /BitsPerComponent 1", image)));
  const norvtest::ToolRun run = norvtest::runTool("pdftoppm -gray -r " + std::to_string(dpi) + " " +
                                                  shellQuote(dir.file("page.pdf")) + " " +
                                                  shellQuote(dir.file("p")) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  const norvtest::ToolRun list = norvtest::runTool("ls " + shellQuote(dir.path()) + "/p*.pgm");
  norvtest::Pnm shown = norvtest::readPnm(
      norvtest::linesOf(list.text()).empty() ? "" : norvtest::linesOf(list.text())[0]);
  EXPECT_EQ(shown.kind, '5') << "pdftoppm of the plain page " << page;
  return pages.emplace(page, std::move(shown)).first->second;
}

}  // namespace e2e
