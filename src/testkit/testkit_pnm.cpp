// Parsing and writing of binary PNM images for tests.
#include "testkit_pnm.h"

#include <bit>
#include <cctype>

#include "testkit_files.h"

namespace norvtest {

namespace {

// The PNM that starts at pos; pos is left after its raster (kind 0 on failure).
Pnm parsePnmAt(const std::vector<uint8_t> &bytes, size_t &pos) {
  auto skip = [&] {
    while (pos < bytes.size()) {
      if (bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(bytes[pos])) {
        ++pos;
      } else {
        break;
      }
    }
  };
  auto number = [&]() -> long {
    skip();
    long v = 0;
    const size_t start = pos;
    while (pos < bytes.size() && std::isdigit(bytes[pos]) && v < 1000000)
      v = v * 10 + (bytes[pos++] - '0');
    return pos == start ? -1 : v;
  };
  Pnm image;
  if (bytes.size() < pos + 3 || bytes[pos] != 'P') return {};
  const char kind = static_cast<char>(bytes[pos + 1]);
  if (kind != '4' && kind != '5' && kind != '6') return {};
  pos += 2;
  const long width = number(), height = number();
  if (width <= 0 || height <= 0 || width > 100000 || height > 100000) return {};
  const long maxval = kind == '4' ? 255 : number();
  if (maxval < 1 || maxval > 255) return {};
  if (pos >= bytes.size() || !std::isspace(bytes[pos])) return {};
  ++pos;  // the single whitespace before the raster
  image.kind = kind;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.maxval = static_cast<int>(maxval);
  const size_t size = static_cast<size_t>(image.rowBytes()) * image.height;
  if (bytes.size() - pos < size) return {};
  image.raster.assign(bytes.begin() + static_cast<long>(pos),
                      bytes.begin() + static_cast<long>(pos + size));
  pos += size;
  return image;
}

}  // namespace

Pnm parsePnm(const std::vector<uint8_t> &bytes) {
  size_t pos = 0;
  return parsePnmAt(bytes, pos);
}

std::vector<Pnm> parsePnms(const std::vector<uint8_t> &bytes) {
  std::vector<Pnm> images;
  size_t pos = 0;
  while (pos < bytes.size()) {
    Pnm image = parsePnmAt(bytes, pos);
    if (!image.valid()) break;
    images.push_back(std::move(image));
  }
  return images;
}

Pnm readPnm(const std::string &path) {
  bool ok = false;
  const std::vector<uint8_t> bytes = readFile(path, &ok);
  return ok ? parsePnm(bytes) : Pnm{};
}

std::vector<uint8_t> formatPnm(const Pnm &image) {
  std::string header = std::string("P") + image.kind + "\n" + std::to_string(image.width) + " " +
                       std::to_string(image.height) + "\n" +
                       (image.kind == '4' ? "" : std::to_string(image.maxval) + "\n");
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), image.raster.begin(), image.raster.end());
  return bytes;
}

bool writePnm(const std::string &path, const Pnm &image) {
  return writeFile(path, formatPnm(image));
}

int64_t differingPixels(const Pnm &a, const Pnm &b) {
  if (a.kind != '4' || b.kind != '4' || a.width != b.width || a.height != b.height) return -1;
  const int bytes = a.rowBytes();
  const uint8_t lastMask = a.width % 8 == 0 ? 0xFF : uint8_t(0xFF00 >> (a.width % 8));
  int64_t n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int i = 0; i < bytes; ++i) {
      const uint8_t mask = i + 1 == bytes ? lastMask : 0xFF;
      n += std::popcount(static_cast<uint8_t>((a.row(y)[i] ^ b.row(y)[i]) & mask));
    }
  return n;
}

}  // namespace norvtest
