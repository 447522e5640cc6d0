// The converter window in this process: its list commands, states and settings, and batches that
// render through a stand-in synth set-up (a generated SoundFont) and answer the window's message
// boxes from a script.
#include "MessagePump.h"
#include "Resource.h"
#include "audio/midifile/SmfBuilder.h"
#include "base/Utf8.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "converter/win32/MidiConverter.h"
#include "support/CSf2Writer.h"
#include "support/ConfigFixture.h"
#include "support/Signal.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

using namespace hml::config;

using namespace hml;
using namespace hml::converter;
using namespace hml::test;

namespace {

class CStandInHost final : public IConverterHost {
public:
    bool EngineReady() override { return true; }
    std::vector<audio::SFontMapping> FirstPortFonts() override { return fonts; }
    std::uint32_t StreamFlags(std::uint32_t base) override {
        return base | audio::StreamFlags::NoFx;
    }
    std::wstring EncodersFolder() override { return encoders; }
    int Ask(HWND, const std::wstring& text, unsigned flags) override {
        std::lock_guard guard(lock);
        boxes.push_back(text);
        if (answers.empty())
            return (flags & 0xF) == MB_YESNOCANCEL ? IDCANCEL : IDOK;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Open(const std::wstring& target) override {
        std::lock_guard guard(lock);
        opened.push_back(target);
    }

    std::vector<audio::SFontMapping> fonts;
    std::wstring encoders;
    std::mutex lock;
    std::deque<int> answers;
    std::vector<std::wstring> boxes, opened;
};

CTrack& Note(CTrack& t, uint32_t delta, uint8_t channel, uint8_t key, uint32_t length) {
    return t.Add(delta, {uint8_t(0x90 | channel), key, 100})
        .Add(length, {uint8_t(0x80 | channel), key, 0});
}

std::vector<std::wstring> FileNames(const std::filesystem::path& dir) {
    std::vector<std::wstring> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

// The 16-bit samples of a WAV file the converter wrote (profile 0), left channel.
std::vector<float> LeftChannel(const std::filesystem::path& wav) {
    std::ifstream f(wav, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    std::vector<float> left;
    for (size_t i = 44; i + 4 <= bytes.size(); i += 4) {
        int16_t s;
        std::memcpy(&s, bytes.data() + i, 2);
        left.push_back(s / 32768.0f);
    }
    return left;
}

class ConverterWindowTest : public ConfigFixture {
protected:
    ConverterWindowTest() {
        owned = Open();
        settings = owned.get();
        CSf2Writer w;
        const int sine = w.AddSample("sine", CSf2Writer::Sine(0.01, 8000), 44000, 69, 1000, 6000);
        const int inst =
            w.AddInstrument("i", {}, {{{Gen(54, 1), Gen(34, -12000), Gen(38, -6000)}, {}, sine}});
        w.AddPreset("p", 0, 0, {}, {{{}, {}, inst}});
        audio::EError e;
        host.fonts.push_back({audio::CSoundFont::OpenMemory(w.Build(), 0, e), -1, 0});
        host.encoders = (dir / "encoders").wstring();
        OpenConverterWindow(host);
        converter = midiConverter;
    }
    ~ConverterWindowTest() override {
        CloseConverterWindow();
        test_pump::Pump();
        settings = nullptr;
    }

    HWND Window() const { return converter->GetHwnd(); }
    HWND Item(int id) const { return GetDlgItem(Window(), id); }
    std::wstring Text(int id) const {
        wchar_t text[1024] = {};
        GetWindowTextW(Item(id), text, 1024);
        return text;
    }
    void Command(int id, int code = BN_CLICKED) {
        SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    void SetFolder(const std::filesystem::path& path) {
        SetWindowTextW(Item(IDC_MC_FOLDER), path.wstring().c_str());
    }
    void SetFormat(int row) {
        SendMessageW(Item(IDC_MC_FORMAT), CB_SETCURSEL, static_cast<WPARAM>(row), 0);
        Command(IDC_MC_FORMAT, CBN_SELCHANGE);
    }
    std::filesystem::path MakeMidi(const std::wstring& name, int notes = 2) {
        CTrack t;
        for (int i = 0; i < notes; ++i)
            Note(t, 0, 0, 69, 48);
        t.End();
        const auto path = dir / name;
        WriteBytes(path, MakeSmf(0, 96, {t}));
        return path;
    }
    // Starts the batch and serves the window until it is idle again.
    bool RunBatch(DWORD ms = 60000) {
        Command(IDC_MC_START);
        const ULONGLONG end = GetTickCount64() + ms;
        while (converter->IsRunning() && GetTickCount64() < end)
            test_pump::Pump(10);
        test_pump::Pump();
        return !converter->IsRunning();
    }
    std::wstring LogText() const { return converter->Log().Text(); }

    std::unique_ptr<CSettings> owned;
    CStandInHost host;
    CMidiConverter* converter = nullptr;
    hml::test::CTempFolder temp{"hml conv.test "};
    const std::filesystem::path& dir = temp.path;
};

TEST_F(ConverterWindowTest, ListCommandsStatesAndTheMixerCaption) {
    ASSERT_NE(converter, nullptr);
    EXPECT_EQ(converter->ListView().RowCount(), 0);
    EXPECT_EQ(converter->ListView().ColumnCount(), 3);
    EXPECT_EQ(SendMessageW(Item(IDC_MC_FORMAT), CB_GETCOUNT, 0, 0), 9);
    const std::wstring mixer = Text(IDC_MC_MIXER);

    converter->AddFiles({L"C:\\A\\x.mid", L"C:\\B\\y.mid", L"c:\\a\\X.MID"});
    ASSERT_EQ(converter->ListView().RowCount(), 2);
    EXPECT_EQ(converter->List()[1].inputPath, L"c:\\a\\X.MID");
    EXPECT_EQ(converter->List()[1].outputPath, L"c:\\a\\X.wav");
    SetFormat(3);
    EXPECT_EQ(converter->List()[1].outputPath, L"c:\\a\\X.mp3");
    SetFolder(L"D:\\out");
    EXPECT_EQ(converter->List()[0].outputPath, L"D:\\out\\y.mp3");
    SetFolder(L"");
    EXPECT_EQ(converter->List()[0].outputPath, L"C:\\B\\y.mp3");

    converter->ListView().SelectRow(1);
    for (int i = 0; i < 15; ++i)
        Command(IDC_MC_KEY_UP);
    EXPECT_EQ(converter->List()[1].keyText, L"+12");
    Command(IDC_MC_KEY_RESET);
    Command(IDC_MC_KEY_DOWN);
    EXPECT_EQ(converter->List()[1].keyText, L"-1");
    EXPECT_EQ(converter->List()[0].keyText, L"0");

    // Ctrl+A in the list selects every row.
    converter->ListView().ClearSelection();
    NMLVKEYDOWN key{};
    key.hdr.hwndFrom = converter->ListView().GetHwnd();
    key.hdr.idFrom = IDC_MC_LIST;
    key.hdr.code = static_cast<UINT>(LVN_KEYDOWN);
    key.wVKey = 'A';
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(Window(), WM_NOTIFY, IDC_MC_LIST, reinterpret_cast<LPARAM>(&key));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(converter->ListView().SelectedRows().size(), 2u);

    converter->ListView().ClearSelection();
    converter->ListView().SelectRow(1);
    Command(IDC_MC_REMOVE);
    ASSERT_EQ(converter->List().Size(), 1u);
    EXPECT_EQ(converter->ListView().SelectedRows(), std::vector<int>{0});

    // The converter's own mix marks the mixer button.
    converter->SetChannelVolume(50, 3);
    converter->ApplyChannel(3);
    EXPECT_EQ(Text(IDC_MC_MIXER), mixer + L" (*)");
    converter->SetChannelVolume(100, 3);
    converter->ApplyChannel(3);
    EXPECT_EQ(Text(IDC_MC_MIXER), mixer);

    // Start with an empty list says so and stays idle.
    converter->List().Clear();
    Command(IDC_MC_START);
    test_pump::Pump();
    EXPECT_FALSE(converter->IsRunning());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], Translate(L"mc.err.noInputFile"));
}

TEST_F(ConverterWindowTest, ListFilesRoundTripThroughTheWindowAndMissingFilesEmptyIt) {
    converter->AddFiles({L"C:\\\u697d\u66f2\\\u0441\u043e\u043d.mid", L"C:\\plain.mid"});
    converter->ListView().SelectRow(0);
    Command(IDC_MC_KEY_UP);
    const std::wstring list = (dir / L"list.hmlmcfl").wstring();
    ASSERT_TRUE(converter->ExportList(list));
    converter->List().Clear();
    ASSERT_TRUE(converter->ImportList(list));
    ASSERT_EQ(converter->ListView().RowCount(), 2);
    EXPECT_EQ(converter->List()[0].inputPath, L"C:\\\u697d\u66f2\\\u0441\u043e\u043d.mid");
    EXPECT_EQ(converter->List()[0].keyText, L"+1");

    // The old one-byte form.
    WriteBytes(dir / L"old.hmlmcfl", {'C', ':', '\\', 'c', 'a', 'f', 0xE9, '.', 'm', 'i', 'd', '|',
                                      '-', '2', '\r', '\n'});
    ASSERT_TRUE(converter->ImportList((dir / L"old.hmlmcfl").wstring()));
    ASSERT_EQ(converter->List().Size(), 1u);
    EXPECT_EQ(converter->List()[0].inputPath, L"C:\\caf\u00e9.mid");
    EXPECT_EQ(converter->List()[0].keyText, L"-2");

    EXPECT_FALSE(converter->ImportList((dir / L"missing.hmlmcfl").wstring()));
    EXPECT_TRUE(converter->List().Empty());
    EXPECT_FALSE(converter->ExportList((dir / L"no such folder" / L"x.hmlmcfl").wstring()));
}

TEST_F(ConverterWindowTest, ABatchRendersEveryFileWithItsLogAndStoresTheSettings) {
    const auto a = MakeMidi(L"one.mid"), b = MakeMidi(L"\u0434\u0432\u0430.mid"),
               c = MakeMidi(L"three.mid");
    converter->AddFiles({a.wstring(), b.wstring(), c.wstring()});
    SetFormat(0);
    SetWindowTextW(Item(IDC_MC_OPTIONS), L"--quiet");
    ASSERT_TRUE(RunBatch());
    EXPECT_TRUE(host.boxes.empty())
        << (host.boxes.empty() ? "" : hml::base::Utf8FromWide(host.boxes[0]));
    for (const wchar_t* name : {L"one.wav", L"\u0434\u0432\u0430.wav", L"three.wav"}) {
        const std::vector<float> left = LeftChannel(dir / name);
        EXPECT_GT(left.size(), 24000u)
            << hml::base::Utf8FromWide(name); // half a second and the release
        EXPECT_GT(Rms(left, 0, left.size()), 0.01) << hml::base::Utf8FromWide(name);
    }
    const std::wstring log = LogText();
    EXPECT_NE(log.find(L"Input file: " + b.wstring() + L"\r\nOutput file: " +
                       (dir / L"\u0434\u0432\u0430.wav").wstring() + L"\r\n" +
                       Translate(L"mc.completed") + L"\r\n--------------\r\n"),
              std::wstring::npos)
        << hml::base::Utf8FromWide(log);
    EXPECT_EQ(converter->ListView().SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(SendMessageW(Item(IDC_MC_PROGRESS), PBM_GETPOS, 0, 0), 1000);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_MC_LIST)));
    EXPECT_EQ(Text(IDC_MC_START), Translate(L"mc.startConversion"));
    EXPECT_EQ(Stored(L"MidiConverter", L"EncoderOptions"), L"--quiet");
}

TEST_F(ConverterWindowTest, FilesRenderedTogetherMatchTheirRendersAloneAndLogInListOrder) {
    // Lengths chosen so that later files finish before earlier ones.
    const std::vector<std::filesystem::path> files = {MakeMidi(L"a.mid", 12), MakeMidi(L"b.mid", 2),
                                                      MakeMidi(L"c.mid", 6), MakeMidi(L"d.mid", 1)};
    for (const auto& f : files)
        converter->AddFiles({f.wstring()});
    SetFormat(0);
    ASSERT_TRUE(RunBatch());
    const std::wstring log = LogText();
    size_t at = 0;
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) {
        const std::wstring block =
            L"Input file: " + (dir / (std::wstring(name) + L".mid")).wstring() +
            L"\r\nOutput file: " + (dir / (std::wstring(name) + L".wav")).wstring() + L"\r\n" +
            Translate(L"mc.completed") + L"\r\n--------------\r\n";
        const size_t found = log.find(block, at);
        ASSERT_NE(found, std::wstring::npos) << hml::base::Utf8FromWide(log);
        at = found + block.size();
    }
    EXPECT_EQ(at, log.size()) << hml::base::Utf8FromWide(log);

    // Each file again on its own: the same bytes.
    const std::filesystem::path alone = dir / L"alone";
    std::filesystem::create_directory(alone);
    SetFolder(alone);
    const auto bytes = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<char>{std::istreambuf_iterator<char>(in), {}};
    };
    for (const auto& f : files) {
        const std::string line = hml::base::Utf8FromWide(f.wstring()) + "|0\r\n";
        WriteBytes(dir / L"one.hmlmcfl", std::vector<uint8_t>(line.begin(), line.end()));
        ASSERT_TRUE(converter->ImportList((dir / L"one.hmlmcfl").wstring()));
        ASSERT_EQ(converter->List().Size(), 1u);
        ASSERT_TRUE(RunBatch());
        const std::wstring wav = f.stem().wstring() + L".wav";
        const std::vector<char> together = bytes(dir / wav);
        EXPECT_GT(together.size(), 1000u);
        EXPECT_TRUE(bytes(alone / wav) == together) << hml::base::Utf8FromWide(wav);
    }
}

TEST_F(ConverterWindowTest, TheOverwriteQuestionYesNoAndCancel) {
    const auto a = MakeMidi(L"a.mid"), b = MakeMidi(L"b.mid");
    converter->AddFiles({a.wstring(), b.wstring()});
    WriteBytes(dir / L"b.wav", {'o', 'l', 'd'});

    host.answers = {IDCANCEL};
    converter->Log().AppendLine(L"earlier");
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(host.boxes, std::vector<std::wstring>{Translate(L"mc.err.overwriteExistingFiles")});
    EXPECT_EQ(FileNames(dir), (std::vector<std::wstring>{L"a.mid", L"b.mid", L"b.wav"}));
    EXPECT_EQ(LogText(), L"earlier\r\n");

    host.answers = {IDNO};
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(std::filesystem::file_size(dir / L"b.wav"), 3u);
    EXPECT_TRUE(std::filesystem::exists(dir / L"a.wav"));
    EXPECT_NE(LogText().find(Translate(L"mc.err.skippedExistingFile", (dir / L"b.wav").wstring())),
              std::wstring::npos);

    host.answers = {IDYES};
    ASSERT_TRUE(RunBatch());
    EXPECT_GT(std::filesystem::file_size(dir / L"b.wav"), 1000u);
    EXPECT_EQ(host.boxes.size(), 3u);
}

TEST_F(ConverterWindowTest, MissingEncoderMissingFolderAndAMutedChannel) {
    const auto a = MakeMidi(L"a.mid"), b = MakeMidi(L"b.mid");
    converter->AddFiles({a.wstring(), b.wstring()});
    SetFormat(3);
    host.answers = {IDOK, IDCANCEL};
    ASSERT_TRUE(RunBatch());
    const std::wstring box =
        Translate(L"mc.err.noEncoder", L"lame.exe", L"https://lame.sourceforge.io/", host.encoders);
    EXPECT_EQ(host.boxes, (std::vector<std::wstring>{box, box}));
    EXPECT_EQ(host.opened,
              (std::vector<std::wstring>{L"https://lame.sourceforge.io/", host.encoders}));
    EXPECT_EQ(FileNames(dir), (std::vector<std::wstring>{L"a.mid", L"b.mid"}));

    host.boxes.clear();
    SetFolder(dir / L"nowhere");
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(host.boxes, std::vector<std::wstring>{
                              Translate(L"mc.err.outFolderMissing", (dir / L"nowhere").wstring())});

    // Channel 1 muted in the converter's mixer: its notes are not in the file.
    SetFolder(L"");
    SetFormat(0);
    converter->SetChannelMute(true, 0);
    ASSERT_TRUE(RunBatch());
    const std::vector<float> muted = LeftChannel(dir / L"a.wav");
    ASSERT_GT(muted.size(), 1000u);
    EXPECT_LT(Peak(muted, 0, muted.size()), 1e-4);
    converter->SetChannelMute(false, 0);
}

TEST_F(ConverterWindowTest, CancelAndClosingMidFileLeaveNoOutput) {
    const auto longer = MakeMidi(L"long.mid", 400);
    converter->AddFiles({longer.wstring(), MakeMidi(L"next.mid").wstring()});
    Command(IDC_MC_START);
    const ULONGLONG end = GetTickCount64() + 30000;
    while (SendMessageW(Item(IDC_MC_PROGRESS), PBM_GETPOS, 0, 0) < 50 && GetTickCount64() < end)
        test_pump::Pump(5);
    ASSERT_TRUE(converter->IsRunning());
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_MC_LIST)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_MC_CLOSE)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_MC_FOLDER)));
    EXPECT_EQ(Text(IDC_MC_START), Translate(L"common.cancel"));
    Command(IDC_MC_START);
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_MC_START)));
    while (converter->IsRunning() && GetTickCount64() < end + 30000)
        test_pump::Pump(10);
    // The canceled file leaves nothing. With more than one processor the short file rendered
    // beside it and is complete; with one it never started.
    const std::wstring canceled = Translate(L"mc.canceled");
    const std::wstring log = LogText();
    EXPECT_FALSE(std::filesystem::exists(dir / L"long.wav"));
    EXPECT_NE(log.find(L"long.wav\r\n" + canceled + L"\r\n--------------\r\n"), std::wstring::npos)
        << hml::base::Utf8FromWide(log);
    if (std::filesystem::exists(dir / L"next.wav")) {
        EXPECT_NE(log.find(L"next.wav\r\n" + Translate(L"mc.completed")), std::wstring::npos);
    } else {
        EXPECT_NE(log.find(L"--------------\r\n" + canceled), std::wstring::npos);
    }

    // Closing while a file renders stops the worker first; the window and its object go.
    std::filesystem::remove(dir / L"next.wav");
    SendMessageW(Item(IDC_MC_PROGRESS), PBM_SETPOS, 0, 0);
    Command(IDC_MC_START);
    while (SendMessageW(Item(IDC_MC_PROGRESS), PBM_GETPOS, 0, 0) < 50 && GetTickCount64() < end)
        test_pump::Pump(5);
    ASSERT_TRUE(converter->IsRunning());
    CloseConverterWindow();
    EXPECT_EQ(midiConverter, nullptr);
    test_pump::Pump();
    EXPECT_FALSE(std::filesystem::exists(dir / L"long.wav"));
}

} // namespace
