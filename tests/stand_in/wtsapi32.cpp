// A stand-in for the terminal-services library that the program must never pick up by accident.
// Whichever process loads it, it leaves a file beside itself, its own name with ".loaded" added, so
// that a test can tell from outside that it was loaded. Its enumerations answer like a small
// server; built without processes, it lacks that export, as a library of an older system would.

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace {

struct SessionInfo {
    DWORD SessionId;
    char* pWinStationName;
    int State;
};

struct ProcessInfo {
    DWORD SessionId;
    DWORD ProcessId;
    wchar_t* pProcessName;
    void* pUserSid;
};

LONG outstanding = 0;

// One block holding the records, then their texts, as the platform hands them out.
template <class Record, std::size_t Count>
Record* NewBlock(const char* const (&texts)[Count]) {
    std::size_t size = sizeof(Record) * Count;
    for (const char* text : texts) size += std::strlen(text) + 1;
    auto* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block) return nullptr;
    InterlockedIncrement(&outstanding);
    return reinterpret_cast<Record*>(block);
}

char* PlaceText(void* block, std::size_t& offset, const char* text) {
    char* at = static_cast<char*>(block) + offset;
    std::memcpy(at, text, std::strlen(text) + 1);
    offset += std::strlen(text) + 1;
    return at;
}

void Announce(HINSTANCE instance) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::memcpy(path + length, L".loaded", sizeof(L".loaded"));
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const DWORD process = GetCurrentProcessId();
    DWORD written = 0;
    WriteFile(file, &process, sizeof(process), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Announce(instance);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    WTSEnumerateSessionsA(HANDLE, DWORD, DWORD, SessionInfo** sessions, DWORD* count) {
    static const char* const names[] = {"Stand-in Console", "Stand-in RDP-Tcp#3"};
    SessionInfo* block = NewBlock<SessionInfo>(names);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::size_t offset = sizeof(SessionInfo) * 2;
    block[0] = {1, PlaceText(block, offset, names[0]), 0};
    block[1] = {3, PlaceText(block, offset, names[1]), 4};
    *sessions = block;
    *count = 2;
    return TRUE;
}

#if !defined(WTSSCOPE_STAND_IN_WITHOUT_PROCESSES)
__declspec(dllexport) BOOL WINAPI
    WTSEnumerateProcessesW(HANDLE, DWORD, DWORD, ProcessInfo** processes, DWORD* count) {
    static const wchar_t name[] = L"stand-in.exe";
    auto* block = static_cast<ProcessInfo*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessInfo) + sizeof(name)));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    InterlockedIncrement(&outstanding);
    auto* text = reinterpret_cast<wchar_t*>(block + 1);
    std::memcpy(text, name, sizeof(name));
    block[0] = {1, 4242, text, nullptr};
    *processes = block;
    *count = 1;
    return TRUE;
}
#endif

__declspec(dllexport) void WINAPI WTSFreeMemory(void* memory) {
    if (memory && HeapFree(GetProcessHeap(), 0, memory)) InterlockedDecrement(&outstanding);
}

// Buffers handed out and not yet freed.
__declspec(dllexport) LONG WINAPI StandInOutstandingBuffers() { return outstanding; }

}  // extern "C"
