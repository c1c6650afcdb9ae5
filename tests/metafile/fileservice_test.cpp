// The file service's metafile handler: installed and removed at any time while
// other threads open metafiles, each call drawing with the handler it started with.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "io/files.h"
#include "metafile/metafile.h"
#include "support/pg_message.h"
#include "support/same_pixels.h"

namespace {

const std::string kDir = std::string(KORVANE_TEST_DATA) + "/metafile/";

TEST(MetafileFileService, ThreadsOpenWhileTheHandlerIsReplaced) {
  metafile::RegisterWithFileService();
  const std::string files[] = {kDir + "shapes.wmf", kDir + "shapes.emf"};
  // The first picture is drawn here, on the main thread, as Qt wants.
  const std::unique_ptr<pgraphic::TPixelGraphic> expected[] = {
      metafile::LoadMetafileFile(files[0]), metafile::LoadMetafileFile(files[1])};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i) {
        const int which = (t + i) % 2;
        if (!korvane_test::SamePixels(*io::OpenImage(files[which]), *expected[which])) ++wrong;
      }
    });
  for (int i = 0; i < 20; ++i) metafile::RegisterWithFileService();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);

  // Without a handler a metafile is offered to the readers, which know none.
  io::SetMetafileHandler({});
  EXPECT_FALSE(io::HasMetafileHandler());
  EXPECT_EQ(korvane_test::MessageOf([&] { io::OpenImage(files[0]); }), "Unknown file format");
}

}  // namespace
