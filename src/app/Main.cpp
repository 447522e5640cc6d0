// Harmolith.exe: every mode of the program starts here.

#include "app/MainApp.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    return hml::app::RunHarmolith(commandLine ? commandLine : L"");
}
