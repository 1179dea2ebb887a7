// Outside programs for tests. runTool runs a shell command and captures its standard output
// and standard error (linesOf splits its text); expectPdfJbig2Images checks a PDF of JBIG2
// images with qpdf and pdfimages;
// toolAvailable says whether a program is on the PATH (tests skip, naming it, when not).
// renderPage renders a PostScript file with Ghostscript to a PNM of the given device
// (pbmraw, pgmraw or ppmraw) and resolution; each distinct rendering is made once per test
// program run and kept in a directory that is removed when the program ends.
#ifndef NORV_TESTKIT_TOOLS_H
#define NORV_TESTKIT_TOOLS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "testkit_pnm.h"

namespace norvtest {

struct ToolRun {
  int status = -1;              // the command's exit status; -1: it could not be started
  std::vector<uint8_t> output;  // what it wrote to standard output
  std::string errors;           // what it wrote to standard error (unless redirected)
  std::string text() const { return std::string(output.begin(), output.end()); }
};

ToolRun runTool(const std::string &command);
bool toolAvailable(const std::string &program);
// The argument quoted for the shell.
std::string shellQuote(const std::string &argument);
// The lines of a program's text output, each without its newline (a last line without one is
// left out).
std::vector<std::string> linesOf(const std::string &text);

// qpdf --check passes on the PDF and pdfimages -list shows one 1-bit grey JBIG2 image per page,
// of the given sizes (width, height) in page order; gtest failures otherwise.
void expectPdfJbig2Images(const std::string &path, const std::vector<std::pair<int, int>> &sizes);

// The path of the rendered page, or "" when Ghostscript failed. `options` go to Ghostscript
// before the input file (for example "-g200x100" or "-dTextAlphaBits=4").
std::string renderPage(const std::string &psFile, const std::string &device, int dpi,
                       const std::string &options = "");
// The rendered page read as a PNM (kind 0 when rendering failed).
Pnm renderPagePnm(const std::string &psFile, const std::string &device, int dpi,
                  const std::string &options = "");

}  // namespace norvtest

#endif
