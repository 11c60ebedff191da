// A self-registering component for the integration tests. Registration writes the value
// "Component" (its label) under HKCU\Software\DravikTest; unregistration removes it. Variants differ
// in label and version resource; one has no entry points at all.
#include <windows.h>

#ifndef COMPONENT_LABEL
#define COMPONENT_LABEL "unlabelled"
#endif

namespace {

const char kKey[] = "Software\\DravikTest";

}  // namespace

#ifndef COMPONENT_WITHOUT_ENTRY_POINTS
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return E_FAIL;
    LONG r = RegSetValueExA(key, "Component", 0, REG_SZ, reinterpret_cast<const BYTE*>(COMPONENT_LABEL),
                            sizeof COMPONENT_LABEL);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key)) return S_OK;
    RegDeleteValueA(key, "Component");
    RegCloseKey(key);
    return S_OK;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
