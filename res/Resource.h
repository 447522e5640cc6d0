// Resource numbers shared by Harmolith.rc and the code.
#pragma once

#define IDI_HARMOLITH 137
#define IDI_MENU_CONFIGURE 161
#define IDI_MENU_PANIC 170
#define IDI_MENU_ABOUT 171
#define IDI_MENU_MIXER 172
#define IDI_MENU_CONVERTER 174

// Stands in for the windows that are not built yet.
#define IDD_PLACEHOLDER 300
#define IDC_PLACEHOLDER_TEXT 1001
