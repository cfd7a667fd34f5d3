// Shared helpers of the unit tests.
#ifndef TESTS_TEST_UTIL_H_
#define TESTS_TEST_UTIL_H_

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// A fresh directory under /tmp, removed with everything in it at the end.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    char pattern[] = "/tmp/ostrel_test_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScopedTempDir() {
    std::string command = "rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) {
      // Nothing useful to do: the directory is under /tmp.
    }
  }
  // Writes `contents` to the file `name` in the directory; returns its path.
  std::string Write(const std::string& name, const std::string& contents) const {
    std::string file = path_ + "/" + name;
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

#endif  // TESTS_TEST_UTIL_H_
