// The global parameters IFD: its entry list by profile code and writing it once, remembering
// where its CodingMethods value (patched at close when more codings were written) and its global
// data table offset (patched when the first table is written) lie. Its next-IFD offset stays 0.
//
// ModeNumber is 3 when the codings written so far include unspecified, one- or two-dimensional
// fax coding (CodingMethods bits 0x1, 0x2, 0x4), else 2.
#include <initializer_list>

#include "ovr_writer_internal.h"

namespace ovr {
namespace {

bool profileIn(uint32_t profile, std::initializer_list<uint32_t> codes) {
  for (uint32_t code : codes) {
    if (code == profile) return true;
  }
  return false;
}

uint32_t faxProfile(uint32_t profile) {
  switch (profile) {
    case 11:
      return 4;
    case 12:
      return 6;
    case 8:
    case 13:
      return 255;
    default:
      return profile;
  }
}

}  // namespace

int32_t ovrWriteGlobalDirectory(OvrDocument &doc, EntryPass &pass) {
  OvrWriteDoc &w = *doc.writer;
  const uint32_t p = doc.profileCode;
  const bool mrcFax = profileIn(p, {8, 13});
  if (profileIn(p, {1, 2, 6, 8, 10, 12, 13})) pass.add1(tag::kProfileType, kTypeLong, 0);
  if (profileIn(p, {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13})) {
    pass.add1(tag::kFaxProfile, kTypeByte, faxProfile(p));
  }
  if (profileIn(p, {4, 6})) {
    pass.add1(tag::kCodingMethods, kTypeLong, w.codingMethods, &w.codingMethodsPatch);
  }
  if (profileIn(p, {4, 5})) {
    const uint32_t versionYear[4] = {1, 9, 9, p == 4 ? 2u : 7u};
    pass.add(tag::kVersionYear, kTypeByte, 4, versionYear);
  }
  if (profileIn(p, {6, 8, 12, 13})) {
    pass.add1(tag::kModeNumber, kTypeByte, (w.codingMethods & 0x7) != 0 ? 3 : 2);
  }
  if (profileIn(p, {7, 8, 13})) {
    pass.add1(tag::kGlobalWord34687, kTypeLong, mrcFax ? 20 : 12);
    pass.add1(tag::kGlobalWord34688, kTypeLong, mrcFax ? 1952 : 1600);
    pass.add1(tag::kGlobalTable, kTypeLong, doc.globalTableOffset, &w.globalTablePatch);
  }
  return pass.status();
}

int32_t writeGlobalParameters(OvrDocument &doc) {
  OvrStream &stream = *doc.stream;
  EntryPass counting(stream);
  int32_t status = ovrWriteGlobalDirectory(doc, counting);
  uint32_t offset = 0;
  if (status == OVR_OK) status = ovrPlaceDirectory(stream, counting.entries(), &offset);
  if (status == OVR_OK) status = writeEntryCount(stream, offset, counting.entries());
  EntryPass writing(stream, DirectoryPlace{offset, counting.entries()});
  if (status == OVR_OK) status = ovrWriteGlobalDirectory(doc, writing);
  if (status != OVR_OK) return status;
  doc.writer->globalIfd = offset;
  doc.writer->codingMethodsWritten = doc.writer->codingMethods;
  return OVR_OK;
}

}  // namespace ovr
