// What Programs promises, held against the POSIX backend natively and the
// Win32 one under Wine; tools/pipe_reader is the program they start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/path_rules.h"
#include "platform/programs.h"
#include "support/watchdog.h"
#ifdef _WIN32
#include "platform/win32/programs_win32.h"
#else
#include "platform/posix/programs_posix.h"
#endif

namespace ks {
namespace {

#ifdef _WIN32
using BackendPrograms = Win32Programs;
#else
using BackendPrograms = PosixPrograms;
#endif

std::string bytes(std::size_t size, std::uint32_t seed) {
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  return data;
}

std::string hex(const std::string& text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : text) out += {kDigits[c >> 4], kDigits[c & 15]};
  return out;
}

std::string readerSaw(std::size_t pipe, const std::string& data) {
  std::uint64_t hash = 14695981039346656037u;
  for (const unsigned char c : data) hash = (hash ^ c) * 1099511628211u;
  char line[96];
  std::snprintf(line, sizeof line, "pipe %zu bytes %zu fnv %016llx", pipe, data.size(),
                static_cast<unsigned long long>(hash));
  return line;
}

class ProgramsContract : public ::testing::Test {
 protected:
  // Built beside this test program.
  std::string reader() const { return programs_->executableIn(programs_->ownFolder(), KS_PIPE_READER); }
  std::unique_ptr<RunningProgram> start(const std::vector<std::string>& args) {
    std::string error;
    std::unique_ptr<RunningProgram> program = programs_->start(reader(), args, error);
    EXPECT_TRUE(program) << error;
    return program;
  }
  std::unique_ptr<ProgramPipe> pipe() {
    std::string error;
    std::unique_ptr<ProgramPipe> made = programs_->createPipe(error);
    EXPECT_TRUE(made) << error;
    return made;
  }
  std::unique_ptr<Programs> programs_ = std::make_unique<BackendPrograms>();
};

TEST_F(ProgramsContract, EveryByteArrivesThroughTwoPipesWrittenAtOnce) {
  const test::Watchdog watchdog("writing two pipes", 120);
  const std::string data[2] = {bytes(6'000'037, 1), bytes(3'000'001, 2)};
  const std::unique_ptr<ProgramPipe> pipes[2] = {pipe(), pipe()};
  ASSERT_TRUE(pipes[0] && pipes[1]);
  const std::unique_ptr<RunningProgram> program = start({"read", "5", pipes[0]->path(), pipes[1]->path()});
  ASSERT_TRUE(program);
  // The reader takes the first pipe to its end before it reads the second.
  PipeResult connected[2], written[2];
  auto feed = [&](int k) {
    connected[k] = pipes[k]->connect(30);
    written[k] = pipes[k]->write(data[k].data(), data[k].size(), 30);
    pipes[k]->close();
  };
  std::thread first(feed, 0), second(feed, 1);
  first.join();
  second.join();
  EXPECT_EQ(program->wait(30), 5);
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(connected[k], PipeResult::Done) << k;
    EXPECT_EQ(written[k], PipeResult::Done) << k;
    EXPECT_NE(program->output().find(readerSaw(k, data[k])), std::string::npos) << program->output();
  }
}

TEST_F(ProgramsContract, WhatTheProgramWritesIntoAPipeIsReadToItsEnd) {
  const test::Watchdog watchdog("reading a pipe", 120);
  std::string error;
  const std::unique_ptr<ProgramPipe> pipe = programs_->createReadPipe(error);
  ASSERT_TRUE(pipe) << error;
  const std::size_t size = 3'000'017;
  const std::unique_ptr<RunningProgram> program = start({"write", "6", std::to_string(size), pipe->path()});
  ASSERT_TRUE(program);
  ASSERT_EQ(pipe->connect(30), PipeResult::Done);
  // In reads of unequal sizes, the last asking for more than is left.
  std::string data(size + 100, '\0');
  std::size_t at = 0, got = 0;
  for (const std::size_t step : {std::size_t{1}, std::size_t{65'536}, std::size_t{1'000'000}, size}) {
    const PipeResult r = pipe->read(&data[at], std::min(step, data.size() - at), 30, got);
    at += got;
    if (at < size) EXPECT_EQ(r, PipeResult::Done) << step;
    else EXPECT_EQ(r, PipeResult::Broken) << "the end of what it wrote";
  }
  ASSERT_EQ(at, size);
  for (std::size_t i = 0; i < size; ++i)
    ASSERT_EQ(static_cast<unsigned char>(data[i]), i * 7 % 251) << "byte " << i;
  EXPECT_EQ(program->wait(30), 6);
  // A pipe the program reads cannot be read, nor one it writes written.
  EXPECT_EQ(pipe->write("x", 1, 1), PipeResult::Broken);
  const std::unique_ptr<ProgramPipe> out = this->pipe();
  ASSERT_TRUE(out);
  EXPECT_EQ(out->read(&data[0], 1, 1, got), PipeResult::Broken);
}

TEST_F(ProgramsContract, ARunEndsWithItsCodeAndItsArgumentsComeBackThroughBothOutputs) {
  const test::Watchdog watchdog("runProgram", 60);
  // The last kLastLines are kept: the arguments that are hard to quote come last.
  const std::vector<std::string> args = {"echo", "7", "first", "a", "b", "c", "plain", "two words", "", "say \"hi\"",
                                         "\"", "C:\\folder\\", "C:\\my folder\\", "\\\\\"", "a\\\\b c",
                                         "tab\there", "Überraschung 映画 😀"};
  const ProgramRun run = runProgram(*programs_, reader(), args, 30);
  ASSERT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exitCode, 7);
  std::vector<std::string> echoed;
  for (std::size_t k = args.size() - RunningProgram::kLastLines; k < args.size(); ++k)
    echoed.push_back("arg " + hex(args[k]));
  EXPECT_EQ(run.lastLines, echoed);
  EXPECT_EQ(run.output.rfind("arg " + hex("first"), 0), 0u) << run.output;
}

TEST_F(ProgramsContract, OnlyAFileAtAFullPathStartsAsAProgram) {
  EXPECT_TRUE(programs_->isFile(reader())) << reader();
  // The reader's bare name is a file in the current folder, where CTest and
  // the harness run this test.
  for (const std::string& path : {programs_->executableIn(programs_->ownFolder(), "no_such_program"),
                                  programs_->ownFolder(), fileNameOf(reader())}) {
    std::string error;
    EXPECT_EQ(programs_->start(path, {}, error), nullptr) << path;
    EXPECT_NE(error, "") << path;
  }
  EXPECT_FALSE(programs_->isFile(programs_->ownFolder()));
  EXPECT_GT(programs_->freeBytes(programs_->executableIn(programs_->ownFolder(), "not_yet")).value_or(0), 0u);
}

struct Fault {
  const char* name;
  const char* reader;  // pipe_reader's mode; none: nobody opens the pipe
  double bound;        // the call's time limit
  double cancelAfter;  // when another thread cancels the call; 0: never
  PipeResult expected;
  double within;       // seconds the call may take at most
};

const Fault kFaults[] = {
    {"nobody opens the pipe", nullptr, 0.5, 0, PipeResult::TimedOut, 3},
    {"a waiting connect is cancelled", nullptr, 60, 0.3, PipeResult::Cancelled, 3},
    {"the reader exits early", "quit", 60, 0, PipeResult::Broken, 10},
    {"the reader stops reading", "hold", 0.5, 0, PipeResult::TimedOut, 3},
    {"a blocked write is cancelled", "hold", 60, 0.3, PipeResult::Cancelled, 3},
};

TEST_F(ProgramsContract, APipeThatCannotGoOnEndsTheCallInTime) {
  const std::string data = bytes(16 << 20, 3);
  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    const test::Watchdog watchdog(fault.name, 90);
    const std::unique_ptr<ProgramPipe> pipe = this->pipe();
    ASSERT_TRUE(pipe);
    std::unique_ptr<RunningProgram> program;
    if (fault.reader) {
      ASSERT_TRUE(program = start({fault.reader, "0", pipe->path()}));
      ASSERT_EQ(pipe->connect(30), PipeResult::Done);
    }
    std::thread canceller([&] {
      if (fault.cancelAfter == 0) return;
      std::this_thread::sleep_for(std::chrono::duration<double>(fault.cancelAfter));
      pipe->cancel();
    });
    const auto began = std::chrono::steady_clock::now();
    const PipeResult result = program ? pipe->write(data.data(), data.size(), fault.bound) : pipe->connect(fault.bound);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    canceller.join();
    EXPECT_EQ(result, fault.expected);
    EXPECT_LT(took, fault.within);
    if (fault.expected == PipeResult::TimedOut) {
      EXPECT_GE(took, fault.bound * 0.9);
    }
    if (!program && fault.expected == PipeResult::TimedOut) {
      // A connect that timed out can be tried again.
      ASSERT_TRUE(program = start({"quit", "0", pipe->path()}));
      EXPECT_EQ(pipe->connect(30), PipeResult::Done);
    } else if (fault.expected == PipeResult::Cancelled) {
      EXPECT_EQ(pipe->connect(10), PipeResult::Cancelled);
      EXPECT_EQ(pipe->write("x", 1, 10), PipeResult::Cancelled);
    } else if (program) {
      // Destroying it ends a reader that still holds the pipe open.
      program.reset();
      EXPECT_EQ(pipe->write(data.data(), data.size(), 20), PipeResult::Broken);
    }
  }
}

#ifdef _WIN32
// They end with this process at the latest because they end with the job.
TEST_F(ProgramsContract, ProgramsEndWhenTheirJobCloses) {
  const test::Watchdog watchdog("the job's programs", 60);
  const std::unique_ptr<ProgramPipe> pipe = this->pipe();
  ASSERT_TRUE(pipe);
  const std::unique_ptr<RunningProgram> program = start({"hold", "0", pipe->path()});
  ASSERT_TRUE(program);
  ASSERT_EQ(pipe->connect(30), PipeResult::Done);
  programs_.reset();
  EXPECT_TRUE(program->wait(10));
}
#endif

}  // namespace
}  // namespace ks
