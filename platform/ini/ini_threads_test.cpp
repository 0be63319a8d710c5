#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fileio.h"
#include "platform/ini.h"

namespace platform {
namespace {

TEST(IniConcurrency, WritesFromManyThreadsAreAllKept) {
  FileError err;
  auto folder = TemporaryFolder::Create("ini_threads_test", &err);
  ASSERT_TRUE(folder) << err.message;
  const std::filesystem::path file = folder->path() / "Config.ini";
  constexpr int kThreads = 6;
  constexpr int kKeys = 15;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kKeys; ++k) {
        FileError e;
        if (!WriteIni(file, "T" + std::to_string(t), "K" + std::to_string(k), std::to_string(t * 100 + k),
                      &e)) {
          ++failures[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  const IniDocument doc = IniDocument::Load(file, &err);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], 0);
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(doc.Get("T" + std::to_string(t), "K" + std::to_string(k), "lost"),
                std::to_string(t * 100 + k));
    }
  }
}

}  // namespace
}  // namespace platform
