#pragma once
// Loads a MIDI output driver DLL and drives it the way winmm does: DriverProc for its life,
// modMessage for each port, with the open description, the instance value the driver hands back
// and the prepared-header steps of a long message. For systems whose winmm does not load
// installed drivers (Wine), and for tests that call the driver directly.

#include <windows.h>

#include <mmsystem.h>

#include <mmddk.h>

#include <string>

class CDriverHost {
public:
    using DriverProcFn = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
    using ModMessageFn = DWORD(WINAPI*)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

    explicit CDriverHost(const std::wstring& dll) : module(LoadLibraryW(dll.c_str())) {
        if (!module) {
            return;
        }
        driverProc = reinterpret_cast<DriverProcFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DriverProc")));
        modMessage = reinterpret_cast<ModMessageFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "modMessage")));
        if (!driverProc || !modMessage) {
            return;
        }
        const auto driver = reinterpret_cast<HDRVR>(module);
        driverProc(0, driver, DRV_LOAD, 0, 0);
        driverProc(0, driver, DRV_ENABLE, 0, 0);
        driverId = static_cast<DWORD_PTR>(driverProc(0, driver, DRV_OPEN, 0, 0));
        modMessage(0, DRVM_INIT, 0, 0, 0);
    }
    ~CDriverHost() {
        if (Loaded()) {
            const auto driver = reinterpret_cast<HDRVR>(module);
            modMessage(0, DRVM_EXIT, 0, 0, 0);
            driverProc(driverId, driver, DRV_CLOSE, 0, 0);
            driverProc(driverId, driver, DRV_DISABLE, 0, 0);
            driverProc(driverId, driver, DRV_FREE, 0, 0);
        }
        if (module) {
            FreeLibrary(module);
        }
    }
    CDriverHost(const CDriverHost&) = delete;
    CDriverHost& operator=(const CDriverHost&) = delete;

    bool Loaded() const { return driverProc && modMessage; }

    DWORD Message(UINT device, UINT message, DWORD_PTR user = 0, DWORD_PTR param1 = 0,
                  DWORD_PTR param2 = 0) const {
        return modMessage(device, message, user, param1, param2);
    }

    DWORD NumDevs() const { return Message(0, MODM_GETNUMDEVS); }

    DWORD Caps(UINT device, MIDIOUTCAPSW& caps) const {
        return Message(device, MODM_GETDEVCAPS, 0, reinterpret_cast<DWORD_PTR>(&caps), sizeof caps);
    }

    // Opens a port; `user` gets the driver's value for the later messages. `flags` names the
    // kind of callback (CALLBACK_FUNCTION, CALLBACK_EVENT, ...). `device` stands in for the
    // handle winmm would pass.
    DWORD Open(UINT device, DWORD_PTR& user, DWORD_PTR callback = 0, DWORD_PTR instance = 0,
               DWORD flags = CALLBACK_NULL) const {
        MIDIOPENDESC desc{};
        desc.hMidi = reinterpret_cast<HMIDI>(static_cast<DWORD_PTR>(0x1000 + device));
        desc.dwCallback = callback;
        desc.dwInstance = instance;
        return Message(device, MODM_OPEN, reinterpret_cast<DWORD_PTR>(&user),
                       reinterpret_cast<DWORD_PTR>(&desc), flags);
    }
    DWORD Close(DWORD_PTR user) const { return Message(0, MODM_CLOSE, user); }
    DWORD ShortMsg(DWORD_PTR user, DWORD message) const {
        return Message(0, MODM_DATA, user, message);
    }
    // Prepares, sends and unprepares a buffer, as midiOutPrepareHeader, midiOutLongMsg and
    // midiOutUnprepareHeader do.
    DWORD LongMsg(DWORD_PTR user, const void* bytes, DWORD size) const {
        MIDIHDR header{};
        header.lpData = static_cast<LPSTR>(const_cast<void*>(bytes));
        header.dwBufferLength = size;
        const auto param = reinterpret_cast<DWORD_PTR>(&header);
        DWORD result = Message(0, MODM_PREPARE, user, param, sizeof header);
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        result = Message(0, MODM_LONGDATA, user, param, sizeof header);
        const DWORD unprepared = Message(0, MODM_UNPREPARE, user, param, sizeof header);
        return result != MMSYSERR_NOERROR ? result : unprepared;
    }

private:
    HMODULE module;
    DriverProcFn driverProc = nullptr;
    ModMessageFn modMessage = nullptr;
    DWORD_PTR driverId = 0;
};
