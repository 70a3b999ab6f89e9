/* The limit of the install benchmark: writes the files of one uncompressed
 * blob, as an index lists them, with nothing but the system's file calls.
 *
 *   bare_writer BLOB INDEX TARGET
 *
 * INDEX holds one line per file, "SIZE RELATIVE\PATH" (UTF-8), in the order
 * of their bytes in BLOB. Each file is created with CreateFileW, written
 * with one WriteFile and closed; its folders are created as needed, the
 * folder of the previous file not asked again. Ends with 1 on any failure. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static wchar_t* Wide(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
    wchar_t* w = malloc(sizeof(wchar_t) * (n > 0 ? n : 1));
    if (n <= 0 || !w || !MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w, n)) return NULL;
    return w;
}

static int MakeFolders(wchar_t* path) {
    for (wchar_t* at = path + 3; *at; ++at) {
        if (*at != L'\\') continue;
        *at = 0;
        BOOL ok = CreateDirectoryW(path, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
        *at = L'\\';
        if (!ok) return 0;
    }
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    HANDLE blob = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    FILE* index = _wfopen(argv[2], L"rb");
    if (blob == INVALID_HANDLE_VALUE || !index) return 1;
    static wchar_t path[32768], folder[32768];
    static char line[65536];
    char* buffer = NULL;
    size_t capacity = 0;
    while (fgets(line, sizeof line, index)) {
        line[strcspn(line, "\r\n")] = 0;
        char* name = strchr(line, ' ');
        if (!name) return 1;
        *name++ = 0;
        size_t size = strtoul(line, NULL, 10);
        wchar_t* relative = Wide(name);
        if (!relative) return 1;
        _snwprintf(path, 32767, L"%ls\\%ls", argv[3], relative);
        free(relative);
        wchar_t* slash = wcsrchr(path, L'\\');
        size_t folderLength = (size_t)(slash - path);
        if (wcsncmp(folder, path, folderLength) != 0 || folder[folderLength] != 0) {
            if (!MakeFolders(path)) return 1;
            wcsncpy(folder, path, folderLength);
            folder[folderLength] = 0;
        }
        if (size > capacity) {
            free(buffer);
            buffer = malloc(size);
            capacity = size;
            if (!buffer) return 1;
        }
        DWORD got = 0;
        if (size && (!ReadFile(blob, buffer, (DWORD)size, &got, NULL) || got != size)) return 1;
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) return 1;
        DWORD wrote = 0;
        BOOL ok = !size || (WriteFile(file, buffer, (DWORD)size, &wrote, NULL) && wrote == size);
        if (!CloseHandle(file) || !ok) return 1;
    }
    fclose(index);
    CloseHandle(blob);
    return 0;
}
