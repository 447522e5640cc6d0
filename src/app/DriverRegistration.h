#pragma once
// Registration of the MIDI driver "Harmolith.dll" in the Windows "Drivers32" slots, in both
// registry views, and the reset of the default MIDI output when it is removed.

#include <string>

namespace hml::app {

enum class View { k32, k64 };

// The slot's value, or def when the slot cannot be read.
std::wstring ReadSlot(View view, const std::wstring& slot, const std::wstring& def);

// A 64-bit Windows: this process is 64-bit, or a 32-bit one under WOW64.
bool Is64BitWindows();
bool IsWindows8OrLater();

bool IsDriverRegistered();
// Turns every slot holding the driver (any letter case) back into a free slot.
bool RemoveRegistrations(View view);
// Writes the driver into the first free slot of "midi1".."midi9".
bool AddRegistration(View view);
bool RegisterDriver();
bool UnregisterDriver(bool restoreDefaultDevice);
// Points the Windows default MIDI output back at the Microsoft synthesizer.
void RestoreDefaultMidiDevice();
// Runs program elevated ("runas") with parameters and waits up to waitMs for it. Its exit code;
// 1 when it could not start (elevation declined) or did not end in time.
int RunElevated(const std::wstring& program, const std::wstring& parameters, unsigned long waitMs);
// Whether the configurator can offer the choice of the default MIDI device here.
bool DefaultDeviceChoosable();

} // namespace hml::app
