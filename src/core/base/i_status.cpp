// Texts of the image core's status codes (the same texts as the system's error-text table).
#include "pxl_internal.h"

extern "C" const char *pxlStatusText(int32_t code) {
  switch (code) {
    case 0:
      return "No error";
    case 1:
      return "Unable to allocate memory";
    case 2:
      return "Invalid parameter";
    case 3:
    case 5:
    case 4001:
    case 4003:
    case 4004:
      return "Internal error encountered, bummer";
    case 6:
      return "Function is not implemented";
    case 7:
      return "Buffer overflow";
    case 8:
      return "Operator does not support images with this number of bits/pixel";
    case 9:
      return "Angle parameter is larger in absolute value than operator can handle";
    case 12:
      return "Internal error";
    case 13:
      return "Client's callback routine returned error";
    case 14:
      return "Yield procedure signaled abort";
    case 15:
      return "Error during decode";
    case 100:
      return "Out of bounds error";
    case 101:
      return "No image data found";
    case 102:
      return "Illegal type";
    case 104:
      return "Bytes per line not a multiple of 4";
    case 106:
      return "Type not supported";
    case 108:
      return "Desired de/compression type not supported";
    case 111:
      return "Channels required to be equal";
    case 112:
      return "Image Dimensions are incorrect";
    case 113:
      return "Dimensions required to be equal";
    case 118:
      return "Unexpected NULL pointer";
    case 120:
      return "Expected NULL pointer";
    case 121:
      return "Pointer to pIPWState was NULL";
    case 1000:
      return "PIXR: Incorrect byte order";
    case 1001:
      return "PIXR: Depth not supported";
    case 1002:
      return "PIXR: Wrong number of channels";
    case 1003:
      return "PIXR: NULL PIXR";
    case 1004:
      return "PIXR: Framed image required";
    case 1005:
      return "PIXR: Resolution not set";
    case 1006:
      return "PIXR: Invalid colormap";
    case 5001:
      return "Not enough points";
    case 7003:
      return "Invalid resolution";
    default:
      return "Unknown error";
  }
}
