#include "audio/stream/CMidiStream.h"
#include <gtest/gtest.h>
TEST(Smoke, Creates) {
    hml::audio::EError e;
    auto s = hml::audio::CMidiStream::Create(0x200000, 48000, 100, e);
    ASSERT_TRUE(s);
}
