// The modal setup dialog (template 107) behind the Setup export.
#pragma once

#include <windows.h>

// Dialog procedure of template 107.
INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
