/* A plug-in that breaks the binary contract in the ways a host cannot
 * survive or should not accept, to prove the contract check notices. */
#include <windows.h>

/* stdcall: the callee removes its argument (ret 4), unbalancing a cdecl caller. */
__declspec(dllexport) float __stdcall GetSourceData(int index) { return (float)index; }

__declspec(dllexport) int GetSourceDesc(int index, void *desc) { return index == 0 && desc != 0; }

/* Pulls in a DLL beyond KERNEL32 and msvcrt. */
__declspec(dllexport) int GetSourcesNum(void) { return MessageBeep(0) ? 1 : 0; }

/* Data has no place among the exports. */
__declspec(dllexport) int SourceCount = 1;
