// Qtz_getErrStr over the whole table of texts, the codes without a text, the C library's
// errno range and the Windows range.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>

#include "qtz_err.h"

namespace {

// Every code that has a text of its own, with the text exactly as it must read.
const std::map<int32_t, std::string> kTexts = {
    {-1, "Undefined error"},
    {0, "No error"},
    {1, "Unable to allocate memory"},
    {2, "Invalid parameter"},
    {3, "Internal error encountered, bummer"},
    {4, "Internal error encountered, bummer"},
    {5, "Internal error encountered, bummer"},
    {6, "Function is not implemented"},
    {7, "Buffer overflow"},
    {8, "Operator does not support images with this number of bits/pixel"},
    {9, "Angle parameter is larger in absolute value than operator can handle"},
    {10, "No on pixels in this source word"},
    {11, "Two objects should have been the same length"},
    {12, "Internal error"},
    {13, "Client's callback routine returned error"},
    {14, "Yield procedure signaled abort"},
    {15, "Error during decode"},
    {16, "Image is too wide"},
    {17, "Out of bounds error"},
    {18, "Error during read"},
    {19, "Error during write"},
    {20, "Reading/scanning early end found"},
    {21, "No image data found"},
    {22, "Illegal type"},
    {23, "Error during seek"},
    {24, "Illegal version"},
    {25, "Error during de/compression"},
    {26, "Bad file length"},
    {27, "Couldn't open data pipe"},
    {28, "Bytes per line not a multiple of 4"},
    {29, "Multiple image planes not supported"},
    {30, "Type not supported"},
    {31, "Desired number of tiles not supported"},
    {32, "Desired de/compression type not supported"},
    {33, "Desired frame size not supported"},
    {34, "Desired number of channels not supported"},
    {35, "Dimensions required to be equal"},
    {36, "Depths required to be equal"},
    {37, "Channels required to be equal"},
    {100, "Out of bounds error"},
    {101, "No image data found"},
    {102, "Illegal type"},
    {103, "Illegal version"},
    {104, "Bytes per line not a multiple of 4"},
    {105, "Multiple image planes not supported"},
    {106, "Type not supported"},
    {107, "Error during de/compression"},
    {108, "Desired de/compression type not supported"},
    {109, "Desired frame size not supported"},
    {110, "Desired number of channels not supported"},
    {111, "Channels required to be equal"},
    {112, "Image Dimensions are incorrect"},
    {113, "Dimensions required to be equal"},
    {114, "Regression test failed"},
    {115, "Illegal reduction factor"},
    {116, "Image dimensions not correct ratio"},
    {117, "Desired expansion not supported"},
    {118, "Unexpected NULL pointer"},
    {119, "Fixed-length array is full"},
    {120, "Expected NULL pointer"},
    {121, "Pointer to pIPWState was NULL"},
    {122, "Pointer to pIPState was NULL"},
    {1000, "PIXR: Incorrect byte order"},
    {1001, "PIXR: Depth not supported"},
    {1002, "PIXR: Wrong number of channels"},
    {1003, "PIXR: NULL PIXR"},
    {1004, "PIXR: Framed image required"},
    {1005, "PIXR: Resolution not set"},
    {1006, "PIXR: Invalid colormap"},
    {2000, "Error during read"},
    {2001, "Error during write"},
    {2002, "Error during seek"},
    {2003, "Bad file length"},
    {2004, "Couldn't open data pipe"},
    {2005, "Reading/scanning early end found"},
    {2006, "Desired number of tiles not supported"},
    {2007, "File is not CCITT Group 4"},
    {2008, "TIFF strip not filled"},
    {3000, "Zimark: Invalid error code"},
    {3001, "Zimark: Unable to find center of glyph"},
    {3002, "Zimark: Unable to find direction of glyph"},
    {3003, "Zimark: Not enough glyphs horizontally"},
    {3004, "Zimark: Not enough glyphs vertically"},
    {3005, "Zimark: Expected glyph not found"},
    {3006, "Zimark: Expected glyph rectangle not found"},
    {3007, "Zimark: Unable to read data file"},
    {3008, "Zimark: Data file corrupted"},
    {3009, "Zimark: Insufficient synchronization bits found"},
    {3010, "Zimark: Rotation angle too large"},
    {3011, "Zimark: CRC incorrect"},
    {3012, "Zimark: Decode failed"},
    {3013, "Zimark: Unable to find vertical synch"},
    {3014, "Zimark: Containing rectangle too small"},
    {3015, "Zimark: Image too small"},
    {3016, "Zimark: Image rotated 90 degrees"},
    {3017, "Zimark: Image rotated 180 degrees"},
    {3018, "Zimark: Image rotated 270 degrees"},
    {3019, "Zimark: Rectangle supplied not found"},
    {3020, "Zimark: Invalid layout handle"},
    {3021, "Zimark: Invalid region handle"},
    {3022, "Zimark: invalid ECC level"},
    {3023, "Zimark: Occlusion already specified"},
    {3024, "Zimark: Occlusion size too small"},
    {3025, "Zimark: Occlusion spans rectangle"},
    {3026, "Zimark: Required rectangle larger than given dimensions"},
    {3027, "Zimark: Desired alignment not supported"},
    {3028, "Zimark: Required rectangle too large"},
    {3029, "Zimark: Client allocation region handle too small"},
    {3030, "Zimark: Invalid byte count"},
    {3031, "Zimark: Invalid glyph size"},
    {3032, "Zimark: Too many occlusions"},
    {3033, "Zimark: Occlusion not found"},
    {3034, "Zimark: Multiple non-contiguous regions in glyph"},
    {3035, "Zimark: Illegal glyph block dimensions"},
    {4000, "Internal error encountered, bummer"},
    {4001, "Internal error encountered, bummer"},
    {4002, "Internal error encountered, bummer"},
    {4003, "Internal error encountered, bummer"},
    {4004, "Internal error encountered, bummer"},
    {5000, "Nothing found"},
    {5001, "Not enough points"},
    {6000, "Invalid rectangle count"},
    {7000, "Invalid error code"},
    {7001, "Bad reduction factor"},
    {7002, "Bad reduction"},
    {7003, "Invalid resolution"},
    {7004, "Reduction not supported"},
    {7005, "Wrong dimensions specified"},
    {7006, "Too much data"},
    {10000, "File not found"},
    {10001, "Internal buffer overflow"},
    {10002, "Error within Pixlab"},
    {10003, "Qtz assert failure"},
    {10004, "Invalid command line"},
    {10005, "Insufficient Memory"},
    {10006, "Dorar! Internal consistency check failure"},
    {10007, "ADT:  Null stack requested"},
    {10008, "ADT:  Smaller stack requested"},
    {10009, "RovoVivud:  x and y resolutions differ;  can't scale background."},
    {10010, "RovoVivud:  Call outside of initialization stage."},
    {10011, "RovoVivud:  Call outside of find text stage."},
    {10012, "Jpeg6b : Corrupt input data. "},
    {10013, "Jpeg6b : Out of Memory error. "},
    {10014, "Jpeg6b : Not a JPEG file at all."},
    {10015, "Jpeg6b : File IO Error. "},
    {10016, "TIFF-FX dictionary limit of 5 has been reached"},
    {11000, "Ovr: No error"},
    {11001, "Ovr: Unable to allocate memory"},
    {11002, "Ovr: Invalid parameter"},
    {11006, "Ovr: Unsupported feature"},
    {11007, "Ovr: Buffer overflow"},
    {11012, "Ovr: Internal Error"},
    {11014, "Ovr: Client requested abort"},
    {11018, "Ovr: 0-page TIFF"},
    {11019, "Ovr: File does not comform to TIFF"},
    {11020, "Ovr: File does not comform to OVRF"},
    {11021, "Ovr: Function called out-of-sequence"},
    {11022, "Ovr: File not opened in BINARY/READ/WRITE"},
    {11023, "Ovr: File format/data is corrupted"},
    {13000, "Ovr: Error reading"},
    {13001, "Ovr: Error writing"},
    {13002, "Ovr: Error seeking"},
    {13003, "Ovr: Error seeking to EOF"},
};

TEST(ErrorTexts, EveryTabledCodeGivesItsExactText) {
  for (const auto &[code, text] : kTexts) EXPECT_EQ(Qtz_getErrStr(code), text) << "code " << code;
}

bool isErrnoRange(int32_t code) {
  return code >= 12000 && code <= 12999;
}
bool isWin32Range(int32_t code) {
  return code >= 13004 && code <= 13999;
}

TEST(ErrorTexts, CodesWithoutTextGiveInvalidErrorCode) {
  for (int32_t code = -200; code <= 14200; ++code) {
    if (kTexts.count(code) != 0 || isErrnoRange(code) || isWin32Range(code)) continue;
    EXPECT_STREQ(Qtz_getErrStr(code), "Invalid error code") << "code " << code;
  }
  for (int32_t code : {INT_MIN, -1000000, 99999, 1000000, INT_MAX})
    EXPECT_STREQ(Qtz_getErrStr(code), "Invalid error code") << "code " << code;
}

TEST(ErrorTexts, ErrnoRangeGivesTheCLibraryText) {
  for (int32_t code = 12000; code <= 12999; ++code) {
    std::string expected = std::strerror(code - 12000);
    EXPECT_EQ(Qtz_getErrStr(code), expected) << "code " << code;
  }
}

TEST(ErrorTexts, WindowsRangeGivesWin32Error) {
  for (int32_t code = 13004; code <= 13999; ++code)
    EXPECT_STREQ(Qtz_getErrStr(code), "Win32 error") << "code " << code;
}

}  // namespace
