// The output device selector's device list, face names and menu ids (the lists that keep unlisted
// stored values are checked through the page under Wine).
#include "configurator/OptionsChoices.h"

#include <gtest/gtest.h>

using namespace hml::configurator;

namespace {

TEST(OptionsChoicesTest, DeviceListSkipsDisabledDevicesAndFacesFallBack) {
    COutputDeviceChoices choices;
    choices.Build(L"<Default>", {{L"Speakers", true}, {L"Unplugged", false}, {L"USB", true}});
    EXPECT_EQ(choices.Devices(),
              (std::map<int, std::wstring>{{1, L"<Default>"}, {2, L"Speakers"}, {4, L"USB"}}));
    EXPECT_EQ(choices.HighestDevice(), 4);
    EXPECT_EQ(choices.FaceName(7), L"<Default>"); // gone: above the highest
    EXPECT_EQ(choices.FaceName(3), L"");          // disabled, below the highest
    EXPECT_EQ(choices.FaceName(4), L"USB");

    choices.Build(L"<Default>", {{L"Off", false}});
    EXPECT_EQ(choices.HighestDevice(), 1);
    EXPECT_EQ(choices.FaceName(2), L"<Default>");
}

TEST(OptionsChoicesTest, MenuIdsPickAPortOrAllPorts) {
    EXPECT_EQ(COutputDeviceChoices::MenuId(0, 1), 2001);
    EXPECT_EQ(COutputDeviceChoices::MenuId(3, 2), 5002);
    EXPECT_EQ(COutputDeviceChoices::MenuId(-1, 3), 1003);

    std::array<std::uint32_t, 4> devices{1, 1, 1, 1};
    COutputDeviceChoices::Choose(1003, devices, 2); // all ports, but only the two that exist
    EXPECT_EQ(devices, (std::array<std::uint32_t, 4>{3, 3, 1, 1}));
    COutputDeviceChoices::Choose(3002, devices, 2);
    EXPECT_EQ(devices, (std::array<std::uint32_t, 4>{3, 2, 1, 1}));
    COutputDeviceChoices::Choose(2000, devices, 2); // device 0 means the default
    EXPECT_EQ(devices[0], 1u);
}

} // namespace
