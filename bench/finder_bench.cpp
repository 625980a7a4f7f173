// Lists a tree the way the file commands search it, recursively and sorted:
//   finder_bench FOLDER MASKS
// prints every path found, one per line (compare with find -iname).
#include <cstdio>
#include <string>

#include "commands/file_finder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: finder_bench FOLDER MASKS\n");
    return 2;
  }
  pelvar::commands::FileFinder finder;
  finder.directory = argv[1];
  finder.filter = argv[2];
  finder.recurse = true;
  finder.Execute();
  std::string out;
  for (const std::string& path : finder.Results()) out.append(path).push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stdout);
  return finder.Results().empty() ? 1 : 0;
}
