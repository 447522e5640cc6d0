// Resource numbers shared by Harmolith.rc and the code.
#pragma once

#define IDI_HARMOLITH 137
#define IDI_MENU_CONFIGURE 161
#define IDI_MENU_PANIC 170
#define IDI_MENU_ABOUT 171
#define IDI_MENU_MIXER 172
#define IDI_MENU_CONVERTER 174

// The mixer window.
#define IDD_MIXER 142
#define IDB_MIXER_FADER_TRACK 143
#define IDB_MIXER_METER_ON 144
#define IDB_MIXER_METER_OFF 145
#define IDB_MIXER_KNOB 146
#define IDI_MIXER_NOT_SOLOED 159
#define IDI_MIXER_SOLOED 160
// The master strip's icon opens the mixer's menu, so it is the settings gear of the tray menu.
#define IDI_MIXER_MASTER IDI_MENU_CONFIGURE
#define IDI_MIXER_NOT_MUTED 162
#define IDI_MIXER_MUTED 163
#define IDI_MIXER_LOAD 164
#define IDI_MIXER_SAVE 165
#define IDI_MIXER_COPY 166
#define IDI_MIXER_RESET 167
#define IDI_WINDOWS_MIXER 169
#define IDI_MIXER_SMALL IDI_MENU_MIXER
#define IDI_MIXER_LARGE 173

// Stands in for the windows that are not built yet.
#define IDD_PLACEHOLDER 300
#define IDC_PLACEHOLDER_TEXT 1001
