#pragma once
// The converter window: the list of MIDI files with their transposition, the output folder,
// format and encoder options, its own mixer, and the batch worker that renders the list while
// the window shows its progress and log. At most one exists; the tray opens it.

#include "audio/stream/CMidiStream.h"
#include "converter/FileList.h"
#include "mixer/MixerOwner.h"
#include "ui/Control.h"
#include "ui/Dialog.h"
#include "ui/ListView.h"
#include "ui/Resizer.h"
#include "ui/ToolTip.h"
#include "ui/WindowSnapper.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hml::converter {

// What the converter takes from the running synth; tests give their own.
class IConverterHost {
public:
    virtual ~IConverterHost() = default;
    // The audio engine is running.
    virtual bool EngineReady() = 0;
    // The SoundFonts enabled for the first port, the first entry winning.
    virtual std::vector<audio::SFontMapping> FirstPortFonts() = 0;
    // The stream flags the synthesis settings call for, added to `base`.
    virtual std::uint32_t StreamFlags(std::uint32_t base) = 0;
    // The folder users put "lame.exe" and "flac.exe" in.
    virtual std::wstring EncodersFolder() = 0;
    // A message box owned by the converter window; the button pressed.
    virtual int Ask(HWND owner, const std::wstring& text, unsigned flags);
    // Opens a web page or a folder in the shell.
    virtual void Open(const std::wstring& target);
};

class CMidiFilesListView : public ui::CListView {
public:
    void SetHelpText(const std::wstring& text) { helpText = text; }

protected:
    void OnAttach() override;
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawHelpText();
    std::wstring helpText;
};

class CLogEdit : public ui::CControl {
public:
    ~CLogEdit() override;
    void AppendLine(const std::wstring& line) const;
    // Replaces the whole text, keeping the scroll position and the selection.
    void SetText(const std::wstring& text) const;
    std::wstring Text() const;

protected:
    void OnAttach() override;
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    HFONT font = nullptr;
};

class CMidiConverter : public ui::ModelessDialog, public mixer::IMixerOwner {
public:
    static constexpr const wchar_t* kPlacementKey = L"MIDIConverter";
    static constexpr const wchar_t* kMixerSuffix = L"MC";
    static constexpr DWORD kStopPollMs = 500;
    static constexpr int kStopPolls = 60;

    explicit CMidiConverter(IConverterHost& host);
    ~CMidiConverter() override;

    // mixer::IMixerOwner
    std::uint32_t GetLevel() override { return 0; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return L"MIDI Converter"; }
    void ApplyChannel(std::uint32_t channel) override;

    // Commands, as the buttons and the drop run them.
    void AddFiles(const std::vector<std::wstring>& paths);
    void RemoveSelected();
    void ShiftSelectedKeys(int step); // -1, 0 (reset), +1
    bool ImportList(const std::wstring& path);
    bool ExportList(const std::wstring& path) const;
    void Start();
    void Cancel();
    // Cancels a running batch and waits for it (30 s at most).
    void StopOnClose();
    bool IsRunning() const { return running.load(); }
    void BringToFront();

    MidiFileList& List() { return list; }
    const CMidiFilesListView& ListView() const { return listView; }
    const CLogEdit& Log() const { return log; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnDestroy() override;
    void OnFinalMessage() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

public:
    // Where one file's log lines and progress go: held back until the files before it are done,
    // since several render at once.
    struct SFileOutput {
        std::function<void(const std::wstring&)> log;
        std::function<void(uint32_t permille)> progress;
    };

private:
    void Refill();
    void UpdateOutputPaths();
    void SettingsFromControls();
    void SettingsIntoControls();
    void SetRunning(bool busy);
    void Close();
    std::size_t SelectedProfile() const;
    std::wstring ItemText(int id) const;

    static DWORD WINAPI WorkerThread(void* self);
    void ConvertBatch();
    // Renders the files on `threads` threads (one on a single processor), one file each; the log
    // shows every file's lines in list order, as one thread would write them.
    void ConvertInParallel(size_t threads, bool overwrite);
    static size_t ConverterThreads();
    // false when the file failed (cancelled included)
    bool ConvertFile(MidiFileEntry& entry, bool overwrite, const SFileOutput& out);
    void LogLine(const std::wstring& line);
    int Message(const std::wstring& text, unsigned flags);

    IConverterHost& host;
    MidiFileList list;
    CMidiFilesListView listView;
    CLogEdit log;
    ui::CBalloonToolTip toolTip;
    ui::CResizer resizer;
    ui::CWindowSnapper snapper;
    SIZE minimumSize{};
    std::wstring mixerCaption;
    std::atomic<bool> cancel{false};
    // Set from Start until the worker's last step; the handle stays until the thread is reaped.
    std::atomic<bool> running{false};
    HANDLE worker = nullptr;
};

// The converter of the process, or none.
extern CMidiConverter* midiConverter;

// Opens the converter (creating it when there is none) and brings it to the front.
void OpenConverterWindow(IConverterHost& host);
// At exit: stops a running batch, destroys the window and deletes the object.
void CloseConverterWindow();

} // namespace hml::converter
