// A cancel raised from another thread while probe-like decodes (header only, then in full)
// run on attached pictures: the flag reaches each picture without a data race (the
// linux-tsan preset runs this) and stops nothing it should not.
#include "app/batch/CancelSignal.h"

#include "image/VxImage.h"
#include "tests/app/batch/PictureFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vx::batch {
namespace {

TEST(CancelSignal, RaisedWhileProbesDecodeAttachedPictures)
{
    vx::test::ScratchDir scratch;
    ASSERT_TRUE(vx::test::WritePicture(scratch / "p.jpg", 64, 48));
    const std::u16string path = vx::test::ToU16(scratch / "p.jpg");
    CancelSignal cancel;
    std::atomic<bool> done{false};
    std::atomic<int> probes{0};
    std::thread probe([&] {
        for (int i = 0; i < 200; ++i) {
            for (std::int32_t escape : {-1, 0}) {
                VxImage image(kVxTypeJpg);
                image.Info().escape = escape;
                AttachedImage attached(cancel, &image);
                if (image.Load(path.c_str(), kVxTypeJpg) && image.Width() != 64)
                    ADD_FAILURE() << "wrong width " << image.Width();
            }
            ++probes;
        }
        done = true;
    });
    while (!done) {
        cancel.Raise();
        std::this_thread::yield();
        cancel.Reset();
    }
    probe.join();
    EXPECT_EQ(probes, 200);
}

} // namespace
} // namespace vx::batch
