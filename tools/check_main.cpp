// ostrel-check: reads a story without playing it and reports its faults the
// way compilers do, or draws its map.
//
//   ostrel-check [--graph] [DIR]
#include <cstring>
#include <iostream>

#include "check.h"

int main(int argc, char** argv) {
  bool graph = false;
  const char* dir = ".";
  bool have_dir = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--graph") == 0) {
      graph = true;
    } else if (argv[i][0] == '-' || have_dir) {
      std::cerr << "usage: ostrel-check [--graph] [DIR]\n";
      return 2;
    } else {
      dir = argv[i];
      have_dir = true;
    }
  }
  StoryChecker checker;
  std::string err;
  if (!checker.Load(dir, &err)) {
    std::cerr << "ostrel-check: " << err << "\n";
    return 2;
  }
  checker.Check();
  if (graph) {
    checker.PrintGraph(std::cout);
  } else {
    checker.PrintDiagnostics(std::cout);
  }
  // A report that could not be written is no report.
  if (!std::cout.flush()) {
    std::cerr << "ostrel-check: cannot write the output\n";
    return 2;
  }
  return !graph && checker.HasErrors() ? 1 : 0;
}
