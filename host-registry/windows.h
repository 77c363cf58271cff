// Host stand-in for the part of the Windows API that the program uses, so
// the same src/ builds on Linux and runs against the in-memory registry in
// host_registry.cpp. Only what the program needs; values are Windows' own.
#ifndef HOST_REGISTRY_WINDOWS_H
#define HOST_REGISTRY_WINDOWS_H

#include <cstdarg>
#include <cstdint>

typedef std::int32_t LONG;
typedef std::uint32_t DWORD;
typedef DWORD REGSAM;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef const void *LPCVOID;
typedef struct host_registry_key *HKEY;
typedef HKEY *PHKEY;

const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u});

const REGSAM KEY_READ = 0x20019;

const LONG ERROR_SUCCESS = 0;
const LONG ERROR_FILE_NOT_FOUND = 2;
const LONG ERROR_ACCESS_DENIED = 5;
const LONG ERROR_INVALID_HANDLE = 6;

const DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
const DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

LONG RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM desired, PHKEY result);
LONG RegDeleteKeyA(HKEY key, LPCSTR subkey);
LONG RegCloseKey(HKEY key);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
    LPSTR buffer, DWORD size, std::va_list *arguments);

#endif
