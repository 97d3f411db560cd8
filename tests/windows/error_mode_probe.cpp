// Stands in for a capture driver's code: registered as the system device
// enumerator, COM loads it into camera-info, where it writes down the error
// mode in force (in hexadecimal, to "error-mode.txt" in the working
// directory) and then declines to serve, so the run goes on as on a machine
// without cameras.
#include <windows.h>

#include <cstdio>

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** object) {
    *object = nullptr;
    if (std::FILE* file = std::fopen("error-mode.txt", "wb")) {
        std::fprintf(file, "%04X\n", GetErrorMode());
        std::fclose(file);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_FALSE; }
