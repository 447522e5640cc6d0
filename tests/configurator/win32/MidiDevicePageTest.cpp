// The MIDI device page in a stand-in frame: what it selects from the registry, and what Apply
// writes back for the devices the host reports.

#include "StandInFrame.h"
#include "configurator/PagesIds.h"
#include "configurator/win32/ConfiguratorTabMidiDevice.h"

using namespace page_test;

namespace {

using Page = CConfiguratorTabMidiDevice;

class MidiDevicePageTest : public PageFixture {
protected:
    MidiDevicePageTest() {
        RegDeleteTreeW(HKEY_CURRENT_USER, Page::kMidiMapKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, Page::kMidiOutKey);
        host.devices = {L"Harmolith #1", L"Harmolith #2", L"Wine Synth", L"Port A", L"Port B"};
    }

    static void PutDword(const wchar_t* path, const wchar_t* name, DWORD value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
    static void PutString(const wchar_t* path, const wchar_t* name, const std::wstring& value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static std::optional<DWORD> ReadDword(const wchar_t* path, const wchar_t* name) {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }
    static std::optional<std::wstring> ReadString(const wchar_t* path, const wchar_t* name) {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(value);
    }

    std::unique_ptr<Page> Make() {
        auto page = std::make_unique<Page>(frame, host);
        EXPECT_TRUE(page->Create(frame.window));
        return page;
    }
    static LRESULT Selection(const Page& page, int id) {
        return SendDlgItemMessageW(page.GetHwnd(), id, CB_GETCURSEL, 0, 0);
    }
    static LRESULT Count(const Page& page, int id) {
        return SendDlgItemMessageW(page.GetHwnd(), id, CB_GETCOUNT, 0, 0);
    }
};

TEST_F(MidiDevicePageTest, StoredChoicesAreSelectedOnlyWhenTheyNameADevice) {
    PutString(Page::kMidiMapKey, L"szPname", L"Port A");
    PutDword(Page::kMidiOutKey, L"MidiOutId", 1);
    auto page = Make();
    EXPECT_EQ(Count(*page, IDC_MIDI_DEFAULT), 5);
    EXPECT_EQ(Selection(*page, IDC_MIDI_DEFAULT), 3);
    EXPECT_EQ(Selection(*page, IDC_MIDI_WMP), 1);
    page->Destroy();

    PutString(Page::kMidiMapKey, L"szPname", L"Gone Synth");
    PutDword(Page::kMidiOutKey, L"MidiOutId", 7);
    page = Make();
    EXPECT_EQ(Selection(*page, IDC_MIDI_DEFAULT), CB_ERR);
    EXPECT_EQ(Selection(*page, IDC_MIDI_WMP), CB_ERR) << "index 7 of five devices";
    EXPECT_FALSE(frame.modified);
    // Nothing chosen, nothing written, even when the frame applies.
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(ReadDword(Page::kMidiOutKey, L"MidiOutId"), 7u);
}

TEST_F(MidiDevicePageTest, ApplyWritesTheChosenDevicesAndSameNamesStoreTheFirstIndex) {
    host.devices = {L"Wine Synth", L"Harmolith #1", L"Twin", L"Tarnwick Lindenport", L"Twin"};
    auto page = Make();
    EXPECT_EQ(Count(*page, IDC_MIDI_WMP), 4) << "the mapper's own device is not offered";

    Choose(page->GetHwnd(), IDC_MIDI_DEFAULT, 1);
    Choose(page->GetHwnd(), IDC_MIDI_WMP, 3); // the second "Twin", device 4
    EXPECT_TRUE(frame.modified);
    EXPECT_TRUE(page->IsModified());
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_FALSE(page->IsModified());
    EXPECT_EQ(ReadString(Page::kMidiMapKey, L"szPname"), L"Harmolith #1");
    EXPECT_EQ(ReadString(Page::kMidiMapKey, L"DeviceInterface"), L"");
    EXPECT_EQ(ReadDword(Page::kMidiOutKey, L"MidiOutId"), 2u);
}

TEST_F(MidiDevicePageTest, WithoutTheMapperProductTheFirstListIsOffAndTheNoticeLinksToIt) {
    host.choosable = false;
    UseLanguage(1033);
    auto page = Make();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page->GetHwnd(), IDC_MIDI_DEFAULT)));
    EXPECT_EQ(Count(*page, IDC_MIDI_DEFAULT), 0);
    const std::wstring notice = TextOf(GetDlgItem(page->GetHwnd(), IDC_MIDI_NOTICE));
    EXPECT_NE(notice.find(L">Tarnwick Lindenport</a>"), std::wstring::npos) << notice;

    NMLINK click{};
    click.hdr.hwndFrom = GetDlgItem(page->GetHwnd(), IDC_MIDI_NOTICE);
    click.hdr.idFrom = IDC_MIDI_NOTICE;
    click.hdr.code = NM_CLICK;
    wcscpy(click.item.szUrl, Page::kMapperPage);
    SendMessageW(page->GetHwnd(), WM_NOTIFY, IDC_MIDI_NOTICE, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(host.opened, std::vector<std::wstring>{Page::kMapperPage});

    // The second list still works, and the MIDI Mapper's value stays untouched.
    PutString(Page::kMidiMapKey, L"szPname", L"Wine Synth");
    Choose(page->GetHwnd(), IDC_MIDI_WMP, 0);
    EXPECT_TRUE(page->Apply(1));
    EXPECT_EQ(ReadString(Page::kMidiMapKey, L"szPname"), L"Wine Synth");
    EXPECT_EQ(ReadDword(Page::kMidiOutKey, L"MidiOutId"), 0u);
}

TEST_F(MidiDevicePageTest, NoDevicesLeaveBothListsEmpty) {
    host.devices.clear();
    auto page = Make();
    EXPECT_EQ(Count(*page, IDC_MIDI_DEFAULT), 0);
    EXPECT_EQ(Count(*page, IDC_MIDI_WMP), 0);
    EXPECT_TRUE(page->Apply(1051));
    EXPECT_EQ(ReadDword(Page::kMidiOutKey, L"MidiOutId"), std::nullopt);
}

} // namespace
