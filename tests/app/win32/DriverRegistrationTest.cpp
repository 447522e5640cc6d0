// Driver registration in the Drivers32 slots of both registry views (Wine's registry in the test
// run's own prefix).

#include "app/DriverRegistration.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

using namespace hml::app;

namespace dr = hml::app;

namespace {

constexpr const wchar_t* kSlotKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

class DriverRegistrationTest : public ::testing::Test {
protected:
    DriverRegistrationTest() {
        for (dr::View view : {dr::View::k32, dr::View::k64}) {
            for (int i = 0; i <= 9; ++i) {
                Clear(view, Slot(i));
            }
        }
    }

    static std::wstring Slot(int i) { return i == 0 ? L"midi" : L"midi" + std::to_wstring(i); }
    static REGSAM Flag(dr::View view) {
        return view == dr::View::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    }
    static void Set(dr::View view, const std::wstring& slot, const std::wstring& value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, nullptr, 0, KEY_ALL_ACCESS | Flag(view),
                        nullptr, &key, nullptr);
        RegSetValueExW(key, slot.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static void Clear(dr::View view, const std::wstring& slot) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, KEY_ALL_ACCESS | Flag(view), &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, slot.c_str());
            RegCloseKey(key);
        }
    }
    static std::wstring Get(dr::View view, int slot) {
        return dr::ReadSlot(view, Slot(slot), L"<none>");
    }
};

TEST_F(DriverRegistrationTest, RegistrationTakesTheFirstFreeSlotInBothViews) {
    EXPECT_TRUE(dr::Is64BitWindows()) << "a 64-bit process is on 64-bit Windows";
    EXPECT_FALSE(dr::IsDriverRegistered());
    for (dr::View view : {dr::View::k32, dr::View::k64}) {
        Set(view, L"midi1", L"other.drv");
        Set(view, L"midi2", L"third.dll");
    }
    Set(dr::View::k64, L"midi3", L"taken.drv");
    Set(dr::View::k64, L"midi4", L"wdmaud.drv");
    ASSERT_TRUE(dr::RegisterDriver());
    EXPECT_EQ(Get(dr::View::k32, 3), L"Harmolith.dll") << "a missing slot counts as free";
    EXPECT_EQ(Get(dr::View::k64, 4), L"Harmolith.dll") << "wdmaud.drv counts as free";
    EXPECT_EQ(Get(dr::View::k32, 0), L"<none>") << "the slot 'midi' is never taken";
    EXPECT_TRUE(dr::IsDriverRegistered());

    // Registering again leaves one registration per view.
    ASSERT_TRUE(dr::RegisterDriver());
    int count = 0;
    for (int i = 0; i <= 9; ++i) {
        count += Get(dr::View::k32, i) == L"Harmolith.dll";
    }
    EXPECT_EQ(count, 1);
}

TEST_F(DriverRegistrationTest, OtherLetterCaseIsRemovedButDoesNotCountAsRegistered) {
    Set(dr::View::k32, L"midi5", L"HARMOLITH.DLL");
    Set(dr::View::k64, L"midi", L"harmolith.dll");
    EXPECT_FALSE(dr::IsDriverRegistered());
    ASSERT_TRUE(dr::UnregisterDriver(true));
    EXPECT_EQ(Get(dr::View::k32, 5), L"wdmaud.drv");
    EXPECT_EQ(Get(dr::View::k64, 0), L"wdmaud.drv");
}

TEST_F(DriverRegistrationTest, OneViewAloneIsNotARegistration) {
    Set(dr::View::k32, L"midi1", L"Harmolith.dll");
    EXPECT_FALSE(dr::IsDriverRegistered());
    Set(dr::View::k64, L"midi9", L"Harmolith.dll");
    EXPECT_TRUE(dr::IsDriverRegistered());
}

TEST_F(DriverRegistrationTest, NoFreeSlotFailsWithoutAMessage) {
    for (int i = 1; i <= 9; ++i) {
        Set(dr::View::k32, Slot(i), L"busy" + std::to_wstring(i) + L".drv");
    }
    EXPECT_FALSE(dr::AddRegistration(dr::View::k32));
    EXPECT_FALSE(dr::RegisterDriver());
    EXPECT_FALSE(dr::IsDriverRegistered());
}

TEST_F(DriverRegistrationTest, SlotsHoldingValuesThatAreNotShortStringsAreNotFree) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSlotKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t expandable[] = L"%SystemRoot%\\vendor.drv";
    RegSetValueExW(key, L"midi1", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable),
                   sizeof expandable);
    const std::wstring longName = std::wstring(300, L'v') + L".drv";
    RegSetValueExW(key, L"midi2", 0, REG_SZ, reinterpret_cast<const BYTE*>(longName.c_str()),
                   static_cast<DWORD>((longName.size() + 1) * sizeof(wchar_t)));
    const DWORD number = 7;
    RegSetValueExW(key, L"midi3", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    ASSERT_TRUE(dr::AddRegistration(dr::View::k32));
    EXPECT_EQ(Get(dr::View::k32, 4), L"Harmolith.dll");

    DWORD type = 0;
    wchar_t kept[MAX_PATH] = {};
    DWORD size = sizeof kept;
    RegQueryValueExW(key, L"midi1", nullptr, &type, reinterpret_cast<BYTE*>(kept), &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_STREQ(kept, expandable);
    std::vector<wchar_t> longKept(400);
    size = static_cast<DWORD>(longKept.size() * sizeof(wchar_t));
    RegQueryValueExW(key, L"midi2", nullptr, nullptr, reinterpret_cast<BYTE*>(longKept.data()),
                     &size);
    EXPECT_EQ(std::wstring(longKept.data()), longName);
    RegDeleteValueW(key, L"midi1");
    RegDeleteValueW(key, L"midi2");
    RegDeleteValueW(key, L"midi3");
    RegCloseKey(key);
}

TEST_F(DriverRegistrationTest, UninstallPointsTheDefaultMidiOutputBackToTheFirstDevice) {
    const std::wstring path = L"Software\\Microsoft\\ActiveMovie\\devenum 64-bit\\"
                              L"{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\Default MidiOut Device";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD three = 3;
    RegSetValueExW(key, L"MidiOutId", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&three),
                   sizeof three);
    ASSERT_TRUE(dr::UnregisterDriver(true));
    DWORD value = 99, size = sizeof value;
    RegQueryValueExW(key, L"MidiOutId", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    EXPECT_EQ(value, 0u);
}

} // namespace
