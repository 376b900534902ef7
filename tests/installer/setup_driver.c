/* Runs a setup with its pages and clicks through them as a user would: Next on every page,
   Finish on the last, leaving the finish page's "start the program" as it is offered. Then it
   says whether the finish page offered the start, whether AuthClient.exe started and whether
   the setup itself started it (and so passed it its own rights):

       setup_driver.exe SETUP.exe   ->   offered 0|1, started 0|1, by_setup 0|1 (one a line)

   Exit code 0 once the setup has ended; 2 when it cannot start; 3 when it did not end. */
#include <windows.h>

#include <stdio.h>
#include <tlhelp32.h>
#include <wchar.h>

struct look {
    DWORD process;
    HWND next;
    HWND page; /* the inner dialog: one for each page */
    int offered;
};

/* A visible, checked check box: the finish page's offer to start the program. */
static BOOL CALLBACK look_at_control(HWND w, LPARAM data) {
    wchar_t name[16] = L"";
    GetClassNameW(w, name, 16);
    if (!_wcsicmp(name, L"Button") && IsWindowVisible(w) &&
        (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX &&
        SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED)
        ((struct look*)data)->offered = 1;
    return TRUE;
}

static BOOL CALLBACK look_at_window(HWND w, LPARAM data) {
    struct look* l = (struct look*)data;
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process == l->process && IsWindowVisible(w) && GetDlgItem(w, IDOK)) {
        l->next = GetDlgItem(w, IDOK);
        l->page = FindWindowExW(w, NULL, L"#32770", NULL);
        EnumChildWindows(w, look_at_control, data);
    }
    return TRUE;
}

/* The process of the program and its parent; 0 when none runs. */
static DWORD program_process(DWORD* parent) {
    DWORD found = 0;
    PROCESSENTRY32W entry = {sizeof entry};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (!_wcsicmp(entry.szExeFile, L"AuthClient.exe")) {
            found = entry.th32ProcessID;
            *parent = entry.th32ParentProcessID;
        }
    CloseHandle(snapshot);
    return found;
}

int wmain(int argc, wchar_t** argv) {
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION setup;
    if (argc < 2 ||
        !CreateProcessW(argv[1], NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &setup))
        return 2;
    int offered = 0;
    HWND last_page = NULL;
    DWORD end = GetTickCount() + 120000;
    /* A page is clicked once it has stayed a while, so that a click never lands on a page
       that has only just replaced the one looked at. */
    while (WaitForSingleObject(setup.hProcess, 300) == WAIT_TIMEOUT) {
        if ((LONG)(GetTickCount() - end) > 0) {
            TerminateProcess(setup.hProcess, 9);
            return 3;
        }
        struct look l = {setup.dwProcessId, NULL, NULL, 0};
        EnumWindows(look_at_window, (LPARAM)&l);
        offered |= l.offered; /* only the finish page has a check box */
        if (l.page && l.page == last_page && IsWindowVisible(l.next) && IsWindowEnabled(l.next))
            SendMessageTimeoutW(l.next, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, NULL);
        last_page = l.page;
    }
    DWORD parent = 0, program = 0;
    end = GetTickCount() + (offered ? 30000 : 3000);
    while (!(program = program_process(&parent)) && (LONG)(GetTickCount() - end) < 0)
        Sleep(200);
    printf("offered %d\nstarted %d\nby_setup %d\n", offered, program != 0,
           program != 0 && parent == setup.dwProcessId);
    return 0;
}
