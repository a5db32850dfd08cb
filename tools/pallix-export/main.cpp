#include <unistd.h>

#include "ExportTool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return pallix::RunExportTool(args, stdout, stderr, isatty(STDERR_FILENO) != 0);
}
