#include "analysis_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "mpeg_testutil.h"

namespace morvix {
namespace {

namespace t = testing;
using Bytes = std::vector<std::uint8_t>;

// A movie of vobus VOBUs (a navigation pack and one picture each), 4 KiB a VOBU.
std::filesystem::path Movie(const std::string& name, int vobus) {
  Bytes es = t::SequenceHeader(720, 576, 2, 3);
  const Bytes picture = t::PictureHeader(0, 1);
  es.insert(es.end(), picture.begin(), picture.end());
  const Bytes nav = t::NavPack();
  Bytes data;
  for (int k = 0; k < vobus; ++k) {
    const Bytes video = t::VideoPack(es, 90000 + 3600 * k);
    data.insert(data.end(), nav.begin(), nav.end());
    data.insert(data.end(), video.begin(), video.end());
  }
  const auto path = t::ScratchDir() / name;
  t::WriteAll(path, data);
  return path;
}

struct Movies {
  std::vector<std::unique_ptr<MpegFile>> files;
  std::vector<AnalysisAhead::Job> Jobs() {
    std::vector<AnalysisAhead::Job> jobs;
    for (auto& f : files) jobs.push_back({f.get(), {}});
    return jobs;
  }
};

TEST(AnalysisAhead, ResultsAreTakenInOrderWithTheirProgressOnTheCallersThread) {
  Movies m;
  for (int k = 0; k < 3; ++k)
    m.files.push_back(std::make_unique<MpegFile>(Movie("ahead" + std::to_string(k), 3000 + k)));
  AnalysisAhead ahead(m.Jobs());
  const auto caller = std::this_thread::get_id();
  for (std::size_t k = 0; k < 3; ++k) {
    std::vector<double> seen;
    bool other_thread = false;
    const StepProgress progress = [&](int step, double percent) {
      EXPECT_EQ(step, 5);
      other_thread |= std::this_thread::get_id() != caller;
      seen.push_back(percent);
      return 0;
    };
    ErrorContext error;
    ASSERT_EQ(ahead.Take(k, progress, error), kOk);
    EXPECT_FALSE(other_thread);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(m.files[k]->vobu_count(), 3000 + static_cast<int>(k));
  }
}

TEST(AnalysisAhead, AFailingLaterMovieIsReportedOnlyWhenItsTurnComes) {
  Movies m;
  m.files.push_back(std::make_unique<MpegFile>(Movie("good", 10)));
  const auto bad = t::ScratchDir() / "bad.mpg";
  t::WriteAll(bad, Bytes(4096, 0x47));
  m.files.push_back(std::make_unique<MpegFile>(bad));
  AnalysisAhead ahead(m.Jobs());
  ErrorContext error;
  ASSERT_EQ(ahead.Take(0, {}, error), kOk);
  EXPECT_TRUE(error.file.empty());
  EXPECT_EQ(ahead.Take(1, {}, error), kErrMpegFormat);
  EXPECT_EQ(error.file, bad.wstring());
}

TEST(AnalysisAhead, AMovieTakenAfterAFailureIsStillAnalysed) {
  // The worker ends at a failure; a caller that goes on anyway gets the
  // later movie analysed on its own thread instead of waiting forever.
  Movies m;
  const auto bad = t::ScratchDir() / "bad_first.mpg";
  t::WriteAll(bad, Bytes(4096, 0x47));
  m.files.push_back(std::make_unique<MpegFile>(bad));
  m.files.push_back(std::make_unique<MpegFile>(Movie("after_bad", 12)));
  AnalysisAhead ahead(m.Jobs());
  ErrorContext error;
  EXPECT_EQ(ahead.Take(0, {}, error), kErrMpegFormat);
  error = {};
  EXPECT_EQ(ahead.Take(1, {}, error), kOk);
  EXPECT_EQ(m.files[1]->vobu_count(), 12);
}

TEST(AnalysisAhead, AStopAnswerEndsTheWorkerMidMovie) {
  Movies m;
  for (int k = 0; k < 2; ++k)
    m.files.push_back(std::make_unique<MpegFile>(Movie("long" + std::to_string(k), 20000)));
  const auto start = std::chrono::steady_clock::now();
  {
    AnalysisAhead ahead(m.Jobs());
    ErrorContext error;
    EXPECT_EQ(ahead.Take(
                  0, [](int, double) { return 1; }, error),
              kStopped);
  }
  // The second movie was never taken; whatever the worker had begun ended
  // without results.
  EXPECT_EQ(m.files[1]->cell_count(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(AnalysisAhead, DestroyingItUntakenWaitsForTheWorker) {
  Movies m;
  m.files.push_back(std::make_unique<MpegFile>(Movie("untaken", 5000)));
  { AnalysisAhead ahead(m.Jobs()); }
  { AnalysisAhead none({}); }
  SUCCEED();
}

}  // namespace
}  // namespace morvix
