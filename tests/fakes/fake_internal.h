#pragma once

// What the two halves of the fake share: which fake answers the platform's calls, the lock of the
// account lookups, the layout helpers, and the lookups' functions the fake's table names.

#include <windows.h>
#include <ntsecapi.h>
#include <process.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/fake_platform.h"

namespace wtsscope::testing::fake_detail {

// The fake that answers, from its making until it goes.
extern FakePlatform* current;

// The account lookups run on a thread of the program's, which may call after a test has ended
// with its fake: the lock guards which fake answers, and everything the lookups record.
extern std::mutex lookups;

// Rounded up to the alignment of any record the platform lays out.
std::size_t AlignUp(std::size_t offset);

// A binary SID from its string form, as bytes.
std::vector<std::byte> SidBytes(const std::string& text);

// The account lookups' calls, in tests/fakes/fake_lookups.cpp.
BOOL WINAPI FakeConvertSidToStringSidW(PSID sid, LPWSTR* text);
NTSTATUS NTAPI FakeLsaOpenPolicy(PLSA_UNICODE_STRING, PLSA_OBJECT_ATTRIBUTES, ACCESS_MASK,
                                 PLSA_HANDLE policy);
NTSTATUS NTAPI FakeLsaLookupSids(LSA_HANDLE, ULONG count, PSID* sids,
                                 PLSA_REFERENCED_DOMAIN_LIST* domains, PLSA_TRANSLATED_NAME* names);
NTSTATUS NTAPI FakeLsaQueryInformationPolicy(LSA_HANDLE, POLICY_INFORMATION_CLASS kind,
                                             PVOID* buffer);
uintptr_t __cdecl FakeBeginThreadEx(void* security, unsigned stackSize,
                                    _beginthreadex_proc_type start, void* argument, unsigned flags,
                                    unsigned* id);
BOOL WINAPI FakePostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
NTSTATUS NTAPI FakeLsaFreeMemory(PVOID buffer);
NTSTATUS NTAPI FakeLsaClose(LSA_HANDLE policy);

}  // namespace wtsscope::testing::fake_detail
