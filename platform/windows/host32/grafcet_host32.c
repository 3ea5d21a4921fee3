/* grafcet-host32: runs a site's 32-bit automaton library for the 64-bit
   program, which cannot load it in its own process. It reads the library's
   path on its standard input, loads that file and no other, then answers the
   program's calls one at a time until the program closes the pipe. The
   program keeps it in a job that ends with the program. */
#include "HostProtocol.h"

#include <windows.h>

static HANDLE in;
static HANDLE out;

static BOOL readAll(void* buffer, DWORD size)
{
    char* at = buffer;
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(in, at, size, &got, NULL) || got == 0)
            return FALSE;
        at += got;
        size -= got;
    }
    return TRUE;
}

static BOOL answer(int32_t status, int32_t value)
{
    struct HostAnswer message = {status, value};
    DWORD put = 0;
    return WriteFile(out, &message, sizeof message, &put, NULL) && put == sizeof message;
}

/* An entry point by the name it was declared with, or as a 32-bit build
   decorates a stdcall function: _name@N (Microsoft's compiler), name@N (MinGW). */
static const char* const InitGrafcetNames[] = {"init_grafcet", "_init_grafcet@0", "init_grafcet@0"};
static const char* const VerifCardOutNames[] = {"VerifCardOut", "_VerifCardOut@4", "VerifCardOut@4"};

static FARPROC entryPoint(HMODULE library, const char* const names[3])
{
    FARPROC entry = NULL;
    for (int i = 0; i < 3 && !entry; ++i)
        entry = GetProcAddress(library, names[i]);
    return entry;
}

/* Calls `entry` with one 32-bit argument, whether it removes the argument
   from the stack itself (stdcall) or leaves that to its caller (cdecl, which
   an undecorated name may also be): the stack pointer is put back as it was. */
static int32_t callWithOne(FARPROC entry, int32_t argument)
{
    int32_t result;
    __asm__ volatile("movl %%esp, %%ebx\n\t"
                     "pushl %2\n\t"
                     "call *%1\n\t"
                     "movl %%ebx, %%esp"
                     : "=a"(result)
                     : "r"(entry), "r"(argument)
                     : "ebx", "ecx", "edx", "memory", "cc");
    return result;
}

int main(void)
{
    static wchar_t path[HOST_PATH_MAX + 1];
    struct HostPath length;
    struct HostRequest request;
    HMODULE library;
    FARPROC initGrafcet, verifCardOut;

    /* A library that fails to load or crashes ends the host without a box on
       the desk; the program tells the operator. */
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    /* The current folder is no place to find a library, nor what it needs. */
    SetDllDirectoryW(L"");
    in = GetStdHandle(STD_INPUT_HANDLE);
    out = GetStdHandle(STD_OUTPUT_HANDLE);

    if (!readAll(&length, sizeof length) || length.units == 0 || length.units > HOST_PATH_MAX ||
        !readAll(path, length.units * sizeof path[0]))
        return 2;
    path[length.units] = L'\0';

    /* What the library needs is looked for in its own folder first. */
    library = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        answer(HOST_NOT_LOADABLE, (int32_t)GetLastError());
        return 1;
    }
    initGrafcet = entryPoint(library, InitGrafcetNames);
    verifCardOut = entryPoint(library, VerifCardOutNames);
    if (!initGrafcet || !verifCardOut) {
        answer(initGrafcet ? HOST_NO_VERIF_CARD_OUT : HOST_NO_INIT_GRAFCET, 0);
        return 1;
    }
    if (!answer(HOST_LOADED, 0))
        return 1;

    while (readAll(&request, sizeof request)) {
        int32_t result = 0;
        if (request.call == HOST_CALL_INIT_GRAFCET)
            ((void(WINAPI*)(void))(void*)initGrafcet)();
        else if (request.call == HOST_CALL_VERIF_CARD_OUT)
            result = callWithOne(verifCardOut, request.argument);
        else
            return 2;
        if (!answer(HOST_DONE, result))
            return 1;
    }
    return 0;
}
