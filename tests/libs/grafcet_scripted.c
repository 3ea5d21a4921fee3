/* A 32-bit automaton library for the tests, whose card-out checks answer a
   script: the comma-separated list in GRAFCET_SCRIPT, read at init_grafcet,
   then -2. "exit" ends the process in that call, "hang" never answers. Its
   entry points are stdcall, exported as MinGW names them (init_grafcet@0,
   VerifCardOut@4); undecorated when linked with --kill-at. Built with
   EXPORT_BY_DEF, it exports the names of grafcet_msvc.def instead, those
   Microsoft's compiler gives (_init_grafcet@0, _VerifCardOut@4); with
   WITHOUT_VERIF_CARD_OUT, it has no card-out check. */
#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef EXPORT_BY_DEF
#define EXPORTED
#else
#define EXPORTED __declspec(dllexport)
#endif

static char script[256];
static char* next;

EXPORTED void WINAPI init_grafcet(void);
EXPORTED void WINAPI init_grafcet(void)
{
    if (!GetEnvironmentVariableA("GRAFCET_SCRIPT", script, sizeof script))
        script[0] = '\0';
    next = script;
}

#ifndef WITHOUT_VERIF_CARD_OUT
EXPORTED int32_t WINAPI VerifCardOut(int32_t value);
EXPORTED int32_t WINAPI VerifCardOut(int32_t value)
{
    char* answer = next;
    if (value != 5 || !answer || !*answer)
        return -2;
    next = answer + strcspn(answer, ",");
    if (*next)
        *next++ = '\0';
    if (strcmp(answer, "exit") == 0)
        ExitProcess(3);
    if (strcmp(answer, "hang") == 0)
        Sleep(INFINITE);
    return (int32_t)atoi(answer);
}
#endif
