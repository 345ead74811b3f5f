// The program at the other end of the programs contract test's pipes. It
// exits with CODE after doing what MODE says:
//   read CODE PIPE...  reads each pipe to its end, in order, and prints
//                      "pipe K bytes N fnv H" for each (FNV-1a 64)
//   hold CODE PIPE...  opens them and reads nothing for a minute
//   quit CODE PIPE...  reads 4 KiB of each and exits
//   write CODE N PIPE  writes N bytes (byte i is i * 7 mod 251) into PIPE
//   echo CODE ARG...   prints "arg HEX" with the UTF-8 bytes of each ARG,
//                      in turn to the standard and the error output
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

int run(const std::vector<std::string>& args) {
  if (args.size() < 2) return 2;
  const std::string mode = args[0];
  const int code = std::stoi(args[1]);
  const std::vector<std::string> rest(args.begin() + 2, args.end());
  if (mode == "echo") {
    for (std::size_t k = 0; k < rest.size(); ++k) {
      std::FILE* out = k % 2 ? stderr : stdout;
      std::fprintf(out, "arg ");
      for (const unsigned char c : rest[k]) std::fprintf(out, "%02x", c);
      std::fprintf(out, "\n");
      std::fflush(out);
    }
    return code;
  }
  if (mode == "write" && rest.size() == 2) {
    std::FILE* pipe = std::fopen(rest[1].c_str(), "wb");
    if (!pipe) return 3;
    const std::uint64_t n = std::stoull(rest[0]);
    for (std::uint64_t i = 0; i < n; ++i) std::fputc(static_cast<int>(i * 7 % 251), pipe);
    return std::fclose(pipe) == 0 ? code : 4;
  }
  std::vector<std::FILE*> pipes;
  for (const std::string& path : rest) {
    pipes.push_back(std::fopen(path.c_str(), "rb"));
    if (!pipes.back()) return 3;
  }
  if (mode == "hold") std::this_thread::sleep_for(std::chrono::minutes(1));
  static char buffer[1 << 16];
  for (std::size_t k = 0; k < pipes.size(); ++k) {
    std::uint64_t bytes = 0, hash = 14695981039346656037u;
    while (const std::size_t n = std::fread(buffer, 1, mode == "quit" ? 4096 : sizeof buffer, pipes[k])) {
      for (std::size_t i = 0; i < n; ++i) hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211u;
      bytes += n;
      if (mode == "quit") break;
    }
    std::printf("pipe %zu bytes %" PRIu64 " fnv %016" PRIx64 "\n", k, bytes, hash);
  }
  return code;
}

}  // namespace

#ifdef _WIN32
// The C runtime's narrow arguments are in the ANSI code page, which cannot
// hold every character: take the UTF-16 ones and make them UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg;
    for (const wchar_t* p = argv[i]; *p; ++p) {
      std::uint32_t c = static_cast<std::uint16_t>(*p);
      if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(*++p) - 0xDC00);
      const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
      static constexpr std::uint32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
      arg += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
      for (int t = tail - 1; t >= 0; --t) arg += static_cast<char>(0x80 | ((c >> (6 * t)) & 0x3F));
    }
    args.push_back(arg);
  }
  return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
