// Entry point of the editor: window settings, class, accelerators, the window, the message loop.
#include <windows.h>

#include <commctrl.h>

#include "editor_win32.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
    dkedit::Editor editor;
    editor.instance = instance;
    editor.command_line_file = command_line ? command_line : "";
    dkedit::read_placement(editor.placement);
    if (!dkedit::register_main_class(instance)) return 0;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATOR));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!dkedit::create_main_window(editor)) {
        MessageBoxA(nullptr, "Error creating main window", "Program terminated", MB_OK | MB_ICONERROR);
        return 0;
    }
    ShowWindow(editor.window, editor.placement.maximized ? SW_SHOWMAXIMIZED : show);
    UpdateWindow(editor.window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (dkedit::pre_translate(editor, msg)) continue;
        if (editor.window && TranslateAcceleratorA(editor.window, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
