#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "api/engine_testutil.h"
#include "audio/cddb_lookup.h"
#include "audio/disc_information.h"
#include "audio/disc_testutil.h"
#include "platform/fileio.h"
#include "zephrel/iso_builder.h"

namespace zephrel {
namespace {

using testing::ISOBuilderTest;

TEST_F(ISOBuilderTest, MembersReadAndEditTheDiscInformationWhileLookupsWriteIt) {
  platform::FileError error;
  auto temp = platform::TemporaryFolder::Create("cddb-threads", &error);
  ASSERT_TRUE(temp);
  testing::SetTrackList(testing::TwoTrackToc());
  SetCddbFetch([](const std::string& url, std::stop_token) -> std::optional<std::string> {
    if (url.find("cmd=cddb+query") != std::string::npos) return "200 rock 0c016602 A / B\r\n";
    return "210 rock 0c016602\r\nDTITLE=Artist / Album\r\nDYEAR=1999\r\nTTITLE0=One\r\nTTITLE1=Two\r\n.\r\n";
  });
  auto sink = Advised();
  std::atomic<bool> done{false};
  std::thread reader([&] {
    std::string text;
    std::int32_t count = 0;
    while (!done) {
      builder_->CDDB_GetArtist(text);
      builder_->CDDB_GetTrackTitle(1, text);
      builder_->CDDB_SetAlbum("edited");
      builder_->CDDB_SetTrackTitle(2, "edited");
      builder_->CDDB_GetNbTrack(count);
    }
  });
  constexpr int kRequests = 20;
  for (int i = 0; i < kRequests; ++i) {
    builder_->RequestCDDB(temp->path().native());
    ASSERT_TRUE(sink->WaitFor(kCDDBOnEndRequest, i + 1));
  }
  done = true;
  reader.join();
  SetCddbFetch({});
  std::string artist;
  builder_->CDDB_GetArtist(artist);
  EXPECT_EQ(artist, "Artist");
}

}  // namespace
}  // namespace zephrel
