// The message table of the JPEG layer: the library's error and warning messages renumbered
// by symbol, with the binding's own texts at 5 ("Invalid cinfo - probable abort"), 14 and 43.
//
// The messages that callers rely on keep fixed codes (8, 9, 19, 25, 36, 49, 120); every other
// error or warning of the library takes the next free code in the library's own order, so the
// numbering does not depend on how the installed library numbers its messages. Trace
// messages are only ever formatted, never raised, and have no code.
#include <array>
#include <string_view>

#include "jcxapi.h"

namespace {

struct LibraryMessage {
  int code;
  std::string_view name;
};

// Every message of the installed library, in its order (the header's own list).
constexpr LibraryMessage kLibraryMessages[] = {
#define JMESSAGE(code, string) {code, #code},
#include <jerror.h>
#undef JMESSAGE
};

struct Fixed {
  int libraryCode;
  int32_t status;
};
constexpr Fixed kFixed[] = {
    {JMSG_NOMESSAGE, 0},
    {JERR_BAD_IN_COLORSPACE, JCX_BAD_IN_COLORSPACE},
    {JERR_BAD_J_COLORSPACE, JCX_BAD_J_COLORSPACE},
    {JERR_BAD_STATE, JCX_BAD_STATE},
    {JERR_CONVERSION_NOTIMPL, JCX_CONVERSION_NOTIMPL},
    {JERR_FILE_WRITE, JCX_FILE_WRITE},
    {JERR_NO_BACKING_STORE, JCX_NO_BACKING_STORE},
    {JWRN_TOO_MUCH_DATA, JCX_TOO_MUCH_DATA},
};
constexpr int32_t kOwnCodes[] = {JCX_INVALID_OBJECT, JCX_BAD_QUALITY, JCX_NO_ERROR_MGR};

constexpr bool isRaisable(std::string_view name) {
  return name.starts_with("JERR_") || name.starts_with("JWRN_") || name == "JMSG_NOMESSAGE";
}

struct Tables {
  std::array<int32_t, JMSG_LASTMSGCODE> statusOf{};   // by library code; -1 none
  std::array<int, JCX_LAST_MESSAGE + 1> libraryOf{};  // by status; -1 own text or unused
};

constexpr Tables makeTables() {
  Tables t;
  for (auto &s : t.statusOf) s = -1;
  for (auto &l : t.libraryOf) l = -1;
  std::array<bool, JCX_LAST_MESSAGE + 1> taken{};
  for (int32_t own : kOwnCodes) taken[own] = true;
  for (const Fixed &f : kFixed) {
    t.statusOf[f.libraryCode] = f.status;
    t.libraryOf[f.status] = f.libraryCode;
    taken[f.status] = true;
  }
  int32_t next = 1;
  for (const LibraryMessage &m : kLibraryMessages) {
    if (!isRaisable(m.name) || t.statusOf[m.code] >= 0) continue;
    while (taken[next]) ++next;  // the table is sized so that every message finds a code
    if (next > JCX_LAST_MESSAGE) throw "more library messages than codes";
    t.statusOf[m.code] = next;
    t.libraryOf[next] = m.code;
    taken[next] = true;
  }
  return t;
}

constexpr Tables kTables = makeTables();

// The standard message table of the library (the same for every error manager).
const char *const *libraryTexts() {
  static const char *const *const texts = [] {
    jpeg_error_mgr err;
    jpeg_std_error(&err);
    return err.jpeg_message_table;
  }();
  return texts;
}

}  // namespace

extern "C" int32_t jcxStatusOfMessage(int libraryCode) {
  if (libraryCode < 0 || libraryCode >= JMSG_LASTMSGCODE) return -1;
  return kTables.statusOf[libraryCode];
}

extern "C" const char *jcxMessageText(int32_t code) {
  switch (code) {
    case JCX_INVALID_OBJECT:
      return "Invalid cinfo - probable abort";
    case JCX_BAD_QUALITY:
      return "Invalid quality setting specified";
    case JCX_NO_ERROR_MGR:
      return "Memory alloc failure for error manager";
    default:
      break;
  }
  if (code < 0 || code > JCX_LAST_MESSAGE) return nullptr;
  const int library = kTables.libraryOf[code];
  return library < 0 ? nullptr : libraryTexts()[library];
}
