// Field types and value widening: unit sizes, the table of allowed (type, width) pairings, the
// conversion of file units to host values and the storing of host units as file units.
#include <cstring>

#include "ovr_format_internal.h"

namespace ovr {
namespace {

bool isOneByte(uint16_t t) {
  return t == kTypeByte || t == kTypeAscii || t == kTypeUndefined || t == kTypeSByte;
}
bool isSigned(uint16_t t) {
  return t == kTypeSByte || t == kTypeSShort || t == kTypeSLong || t == kTypeSRational;
}

// One unit of `type` at p as a 64-bit pattern (sign-extended for signed integer types).
uint64_t loadUnit(const uint8_t *p, uint16_t type, ByteOrder order) {
  switch (fieldUnitSize(type)) {
    case 1:
      return type == kTypeSByte ? static_cast<uint64_t>(static_cast<int8_t>(p[0])) : p[0];
    case 2: {
      uint16_t v = load16(p, order);
      return type == kTypeSShort ? static_cast<uint64_t>(static_cast<int16_t>(v)) : v;
    }
    case 4: {
      uint32_t v = load32(p, order);
      return type == kTypeSLong ? static_cast<uint64_t>(static_cast<int32_t>(v)) : v;
    }
    default:
      return load64(p, order);
  }
}

double unitToDouble(uint64_t unit, uint16_t type) {
  if (type == kTypeFloat) {
    float f;
    uint32_t bits = static_cast<uint32_t>(unit);
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  if (type == kTypeDouble) {
    double d;
    std::memcpy(&d, &unit, sizeof d);
    return d;
  }
  return isSigned(type) ? static_cast<double>(static_cast<int64_t>(unit))
                        : static_cast<double>(unit);
}

}  // namespace

uint32_t fieldTypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < 14 ? kSizes[type] : 0;
}

uint32_t fieldUnitSize(uint16_t type) {
  return type == kTypeRational || type == kTypeSRational ? 4 : fieldTypeSize(type);
}

uint64_t fieldUnitCount(uint16_t type, uint32_t count) {
  return type == kTypeRational || type == kTypeSRational ? 2ull * count : count;
}

uint32_t widthSize(Width width) {
  switch (width) {
    case Width::W8:
      return 1;
    case Width::W16:
      return 2;
    case Width::W32:
      return 4;
    default:
      return 8;
  }
}

bool widenAllowed(uint16_t type, Width width) {
  if (fieldTypeSize(type) == 0) return false;
  if (isOneByte(type)) return width != Width::W64;
  switch (fieldUnitSize(type)) {
    case 2:
      return width == Width::W16 || width == Width::W32;
    case 4:
      if (type == kTypeRational || type == kTypeSRational) return width == Width::W32;
      if (type == kTypeFloat) return width == Width::W32 || width == Width::Double;
      return width == Width::W32 || width == Width::W64;
    default:  // DOUBLE
      return width == Width::W64 || width == Width::Double;
  }
}

int32_t widenValues(ByteOrder order, uint16_t type, uint64_t units, const uint8_t *src, Width width,
                    void *dst) {
  if (!widenAllowed(type, width)) return OVR_ERR_UNSUPPORTED;
  const uint32_t from = fieldUnitSize(type);
  const uint32_t to = widthSize(width);
  auto *out = static_cast<uint8_t *>(dst);
  // From the last unit down, so that dst may start at src (to >= from for every allowed pair).
  for (uint64_t i = units; i-- > 0;) {
    const uint64_t unit = loadUnit(src + i * from, type, order);
    uint8_t *at = out + i * to;
    switch (width) {
      case Width::W8: {
        uint8_t v = static_cast<uint8_t>(unit);
        std::memcpy(at, &v, 1);
        break;
      }
      case Width::W16: {
        uint16_t v = static_cast<uint16_t>(unit);
        std::memcpy(at, &v, 2);
        break;
      }
      case Width::W32: {
        uint32_t v = static_cast<uint32_t>(unit);
        std::memcpy(at, &v, 4);
        break;
      }
      case Width::W64:
        std::memcpy(at, &unit, 8);
        break;
      case Width::Double: {
        double v = unitToDouble(unit, type);
        std::memcpy(at, &v, 8);
        break;
      }
    }
  }
  return OVR_OK;
}

int32_t storeUnits(ByteOrder order, uint16_t type, const uint32_t *units, uint64_t count,
                   uint8_t *dst) {
  const uint32_t size = fieldUnitSize(type);
  if (size == 0 || size == 8) return OVR_ERR_UNSUPPORTED;
  for (uint64_t i = 0; i < count; ++i) {
    if (size < 4 && units[i] >> (8 * size) != 0) return OVR_ERR_PARAM;
  }
  for (uint64_t i = 0; i < count; ++i) storeN(dst + i * size, units[i], size, order);
  return OVR_OK;
}

}  // namespace ovr
