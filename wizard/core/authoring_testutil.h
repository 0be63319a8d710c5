// For the end-to-end tests: the authoring engine's own analysis of a
// converted file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "mpeg_analysis.h"

namespace vantora::testing {

// The authoring engine's MPEG-2 analysis must accept the file with this TV
// system (1 NTSC, 2 PAL) and aspect (1 = 4:3, 2 = 16:9).
inline void ExpectAuthoringAccepts(const std::filesystem::path& file, int tv_system, int aspect,
                                   int audio_streams) {
  morvix::MpegFile mpeg(file);
  morvix::ErrorContext error;
  ASSERT_EQ(mpeg.Analyse(morvix::AnalysisRequest{}, error), 0);
  EXPECT_EQ(mpeg.video().tv_system, tv_system);
  EXPECT_EQ(mpeg.video().aspect, aspect);
  EXPECT_EQ(mpeg.video().size_class, 1);
  EXPECT_EQ(mpeg.audio_stream_count(), audio_streams);
  EXPECT_GT(mpeg.vobu_count(), 1);
}

}  // namespace vantora::testing
