// The whole tool on arbitrary bytes: the input is rewritten in place with a watermark made from
// the same bytes and page numbers, or written to a second file with the other options. Beyond
// "no crash, no sanitizer report", every run must keep the tool's promises: a failed in-place
// run leaves the input byte for byte as it was, and no run leaves a temporary behind.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/zorvane_app.h"
#include "reference_swap.h"

namespace {

struct WorkDir {
  std::string path;
  WorkDir() {
    const char* base = std::getenv("TMPDIR");
    path = std::string(base && *base ? base : "/tmp") + "/zorvane-cli-fuzz-XXXXXX";
    if (!mkdtemp(path.data())) std::abort();
  }
  // The directory goes with the process, so that replaying the seeds leaves nothing in /tmp.
  ~WorkDir() {
    for (const char* name : {"in.pdf", "wm.pdf", "out.pdf"}) unlink((*this / name).c_str());
    rmdir(path.c_str());
  }
  std::string operator/(const char* name) const { return path + "/" + name; }
};

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

// Anything but the files the harness made is a leftover of the run.
bool OnlyExpectedFiles(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool clean = true;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name != "in.pdf" && name != "wm.pdf" && name != "out.pdf")
      clean = false;
  }
  closedir(d);
  return clean;
}

int RunTool(const std::vector<const char*>& args) {
  quarn::CZorvaneApp app(stderr);
  return app.Main(static_cast<int>(args.size()), args.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const WorkDir dir;
  const std::string in = dir / "in.pdf", wm = dir / "wm.pdf", out = dir / "out.pdf";
  if (!WriteFile(in, data, size) || !WriteFile(wm, data, size)) return 0;
  const std::string original(reinterpret_cast<const char*>(data), size);
  const std::string wmSpec = wm + ",1,0";
  // The mode comes from the input's length, so that one file always runs the same way.
  const size_t mode = size % 3;
  const bool inPlace = mode == 0;
  int status;
  if (inPlace) {
    status = RunTool({"zorvane", in.c_str(), "-wm", wmSpec.c_str(), "-nbp", "1,0,7", "-nbf",
                      "1,- %s -,Helvetica,9", "-sp", "-l", "/dev/null", "-t", dir.path.c_str()});
  } else if (mode == 1) {
    status = RunTool({"zorvane", in.c_str(), out.c_str(), "-wm", wmSpec.c_str(), "-fit", "-up",
                      "-nbp", "-nbf", "2,%s,HeiseiMin-W3,12", "-nbs", "5,10,10", "-l",
                      "/dev/null"});
  } else {
    status = RunTool({"zorvane", in.c_str(), out.c_str(), "-inc", "-wm", wmSpec.c_str(), "-nbp",
                      "-nbf", "2,%s,Times-Roman,10", "-sp", "-l", "/dev/null"});
    // An update keeps every byte of the file it follows.
    if (status == 0 && ReadFile(out).compare(0, size, original) != 0) {
      std::fputs("incremental update lost the input's bytes\n", stderr);
      std::abort();
    }
  }
  if (status != 0 && status != 1) std::abort();
  if (status != 0 && inPlace && ReadFile(in) != original) {
    std::fputs("failed in-place run changed its input\n", stderr);
    std::abort();
  }
  if (!OnlyExpectedFiles(dir.path)) {
    std::fputs("run left a file behind\n", stderr);
    std::abort();
  }
  unlink(out.c_str());
  return 0;
}

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  if (seed % 3 == 0) {
    if (const size_t swapped = fuzz::SwapReferences(data, size, seed)) return swapped;
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}
