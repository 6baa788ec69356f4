// Restart Manager, loaded from the system directory, asked which programs hold the files to be replaced.
#include "install/held_programs.h"

#include <windows.h>
#include <restartmanager.h>

#include <cwchar>

#include "platform/text_win.h"

namespace {

// Most programs named, and most files asked about; a box listing more helps nobody.
constexpr UINT PROGRAMS_LISTED = 8;
constexpr UINT FILES_ASKED = 8;
constexpr wchar_t SEPARATOR[] = L"、";

// Restart Manager's entry points, typed as the header declares them (WINAPI included).
struct RestartManager {
    HMODULE dll = nullptr;
    decltype(&RmStartSession) start = nullptr;
    decltype(&RmRegisterResources) register_resources = nullptr;
    decltype(&RmGetList) get_list = nullptr;
    decltype(&RmEndSession) end = nullptr;

    RestartManager() {
        wchar_t path[MAX_PATH];
        const UINT n = GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n + wcslen(L"\\rstrtmgr.dll") >= MAX_PATH) return;
        wcscat(path, L"\\rstrtmgr.dll");
        dll = LoadLibraryW(path);
        if (!dll) return;
        start = reinterpret_cast<decltype(start)>(reinterpret_cast<void*>(GetProcAddress(dll, "RmStartSession")));
        register_resources = reinterpret_cast<decltype(register_resources)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "RmRegisterResources")));
        get_list = reinterpret_cast<decltype(get_list)>(reinterpret_cast<void*>(GetProcAddress(dll, "RmGetList")));
        end = reinterpret_cast<decltype(end)>(reinterpret_cast<void*>(GetProcAddress(dll, "RmEndSession")));
    }
    ~RestartManager() {
        if (dll) FreeLibrary(dll);
    }
    bool usable() const { return start && register_resources && get_list && end; }
};

}  // namespace

bool programs_holding(const char* const* paths, int count, wchar_t* out, size_t cap) {
    if (cap == 0) return false;
    out[0] = L'\0';
    RestartManager rm;
    if (!rm.usable() || count <= 0) return false;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (rm.start(&session, 0, key) != ERROR_SUCCESS) return false;

    // The paths as UTF-16, each in its own buffer, for the registration.
    wchar_t wide[FILES_ASKED][WIDE_PATH_CAP];
    LPCWSTR files[FILES_ASKED];
    UINT registered = 0;
    for (int i = 0; i < count && registered < FILES_ASKED; ++i)
        if (utf16_from_utf8(paths[i], wide[registered], WIDE_PATH_CAP))
            files[registered] = wide[registered], ++registered;

    RM_PROCESS_INFO info[PROGRAMS_LISTED];
    UINT needed = 0, listed = PROGRAMS_LISTED;
    DWORD reasons = 0;
    bool named = false;
    if (registered > 0 && rm.register_resources(session, registered, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        const DWORD got = rm.get_list(session, &needed, &listed, info, &reasons);
        // ERROR_MORE_DATA: more programs than listed; the first ones still name them.
        if ((got == ERROR_SUCCESS || got == ERROR_MORE_DATA) && listed > 0) {
            for (UINT i = 0; i < listed && i < PROGRAMS_LISTED; ++i) {
                const size_t used = wcslen(out);
                const size_t add = wcslen(info[i].strAppName) + (used ? wcslen(SEPARATOR) : 0);
                if (info[i].strAppName[0] == L'\0' || used + add + 1 > cap) continue;
                if (used) wcscat(out, SEPARATOR);
                wcscat(out, info[i].strAppName);
                named = true;
            }
        }
    }
    rm.end(session);
    return named;
}
