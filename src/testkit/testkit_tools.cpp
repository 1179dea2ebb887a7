// Running outside programs, the per-run cache of Ghostscript renderings, and the checks of PDF
// files through qpdf and pdfimages.
#include "testkit_tools.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <memory>
#include <regex>

#include "testkit_files.h"

namespace norvtest {

ToolRun runTool(const std::string &command) {
  ToolRun run;
  TempFile errors("norv_tool_errors");
  if (!errors.made()) return run;
  const std::string wrapped = "{ " + command + "\n} 2>" + shellQuote(errors.name());
  FILE *pipe = popen(wrapped.c_str(), "r");
  if (pipe == nullptr) return run;
  uint8_t buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    run.output.insert(run.output.end(), buffer, buffer + n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const std::vector<uint8_t> text = readFile(errors.name());
  run.errors.assign(text.begin(), text.end());
  return run;
}

bool toolAvailable(const std::string &program) {
  return runTool("command -v " + shellQuote(program) + " >/dev/null 2>&1").status == 0;
}

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c != '\n') {
      line += c;
      continue;
    }
    lines.push_back(line);
    line.clear();
  }
  return lines;
}

void expectPdfJbig2Images(const std::string &path, const std::vector<std::pair<int, int>> &sizes) {
  const ToolRun check = runTool("qpdf --check " + shellQuote(path) + " 2>&1");
  EXPECT_EQ(check.status, 0) << check.text();
  const ToolRun images = runTool("pdfimages -list " + shellQuote(path));
  EXPECT_EQ(images.status, 0);
  const std::vector<std::string> rows = linesOf(images.text());
  ASSERT_EQ(rows.size(), sizes.size() + 2) << images.text();  // two heading lines
  const std::regex image(R"(^\s*(\d+)\s+\d+\s+image\s+(\d+)\s+(\d+)\s+gray\s+1\s+1\s+jbig2)");
  for (size_t k = 0; k < sizes.size(); ++k) {
    std::smatch m;
    const std::string &row = rows[k + 2];
    ASSERT_TRUE(std::regex_search(row, m, image)) << row;
    EXPECT_EQ(std::stoul(m[1]), k + 1) << row;
    EXPECT_EQ(std::stoi(m[2]), sizes[k].first) << row;
    EXPECT_EQ(std::stoi(m[3]), sizes[k].second) << row;
  }
}

std::string shellQuote(const std::string &argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string renderPage(const std::string &psFile, const std::string &device, int dpi,
                       const std::string &options) {
  // One directory per program run; its renderings by their full argument list.
  static TempDir cache("norv_pages");
  static std::map<std::string, std::string> made;
  if (!cache.made()) return "";
  const std::string key = device + " " + std::to_string(dpi) + " " + options + " " + psFile;
  if (auto it = made.find(key); it != made.end()) return it->second;
  const std::string out = cache.file("page" + std::to_string(made.size()) + ".pnm");
  const std::string command =
      std::string(NORV_GS_COMMAND) + " -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + device + " -r" +
      std::to_string(dpi) + " " + options + " -sOutputFile=" + shellQuote(out) + " " +
      shellQuote(psFile) + " 2>/dev/null";
  const std::string path = runTool(command).status == 0 ? out : "";
  made[key] = path;
  return path;
}

Pnm renderPagePnm(const std::string &psFile, const std::string &device, int dpi,
                  const std::string &options) {
  const std::string path = renderPage(psFile, device, dpi, options);
  return path.empty() ? Pnm{} : readPnm(path);
}

}  // namespace norvtest
