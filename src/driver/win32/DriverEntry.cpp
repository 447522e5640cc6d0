// The entry points winmm looks for in a MIDI output driver: DriverProc for the driver's life and
// modMessage for every port's traffic.

#include "driver/win32/MidiOutDriver.h"

#include <new>

using hml::driver::CMidiOutDriver;

namespace {

// Lives until the process ends: winmm may call in from any thread until then, and a destructor
// run under the loader lock must not wait for the keep-alive thread.
CMidiOutDriver& Driver() {
    static CMidiOutDriver* driver = new CMidiOutDriver;
    return *driver;
}

DWORD Dispatch(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2) {
    switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return Driver().GetNumDevs();
    case MODM_GETDEVCAPS:
        return Driver().GetDevCaps(device, reinterpret_cast<MIDIOUTCAPSW*>(param1), param2);
    case MODM_OPEN:
        return Driver().Open(device, reinterpret_cast<DWORD_PTR*>(user),
                             reinterpret_cast<const MIDIOPENDESC*>(param1),
                             static_cast<DWORD>(param2));
    case MODM_CLOSE:
        return Driver().Close(user);
    case MODM_DATA:
        return Driver().Data(user, static_cast<DWORD>(param1));
    case MODM_LONGDATA:
        return Driver().LongData(user, reinterpret_cast<MIDIHDR*>(param1), param2);
    case MODM_PREPARE:
        return Driver().Prepare(reinterpret_cast<MIDIHDR*>(param1), param2);
    case MODM_UNPREPARE:
        return Driver().Unprepare(reinterpret_cast<MIDIHDR*>(param1), param2);
    case MODM_RESET:
        return Driver().Reset(user);
    default:
        // Volume, patch caching and streams are not offered.
        return MMSYSERR_NOTSUPPORTED;
    }
}

} // namespace

extern "C" DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1,
                                   DWORD_PTR param2) {
    // No exception may cross into winmm.
    try {
        return Dispatch(device, message, user, param1, param2);
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1,
                                     LPARAM param2) {
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    case DRV_QUERYCONFIGURE:
        return 0; // no configuration dialog of the driver's own: the configurator is the synth's
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRVCNF_OK;
    default:
        return DefDriverProc(id, driver, message, param1, param2);
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded while the process goes on: let the keep-alive thread end.
        Driver().Detach();
    }
    return TRUE;
}
