#include "platform/win32/windows_api.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/win32/dll_hardening.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace setup::win32 {

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** operator&() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : b_(SysAllocString(text.c_str())) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() { return &b_; }

private:
    BSTR b_ = nullptr;
};

void CheckAutomation(HRESULT hr, const char* what) {
    if (FAILED(hr)) ThrowOsError(msg::ShellAutomationFailed(what, SystemMessage(static_cast<DWORD>(hr))));
}

const wchar_t kMusicAlias[] = L"setupmusic";

// The media player is loaded from the system folder when first needed, so the
// program imports no DLL that a planted copy beside it could replace.
MCIERROR Mci(const std::wstring& command, wchar_t* answer = nullptr, UINT size = 0) {
    using MciSendStringFn = MCIERROR(WINAPI*)(LPCWSTR, LPWSTR, UINT, HWND);
    static MciSendStringFn send = [] {
        void* winmm = LoadSystemLibrary(L"winmm.dll");
        return winmm ? reinterpret_cast<MciSendStringFn>(
                           reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(winmm), "mciSendStringW")))
                     : nullptr;
    }();
    return send ? send(command.c_str(), answer, size, nullptr) : MCIERR_DEVICE_NOT_INSTALLED;
}

int64_t MciNumber(const std::wstring& command) {
    wchar_t answer[64] = {};
    if (Mci(command, answer, 64) != 0) return 0;
    return _wtoi64(answer);
}

// The request in wide text, with the SHELLEXECUTEINFOW that points into it.
struct WideShellExecute {
    WideShellExecute(const ShellExecuteRequest& request, uint32_t extraMask)
        : verb(Wide(request.Verb)),
          file(Wide(request.File)),
          parameters(Wide(request.Parameters)),
          directory(Wide(request.Directory)) {
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = request.Mask | extraMask;
        info.lpVerb = verb.empty() ? nullptr : verb.c_str();
        info.lpFile = file.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
        info.nShow = request.Show;
    }
    std::wstring verb, file, parameters, directory;
    SHELLEXECUTEINFOW info;
};

// The automation object of the desktop's shell (the Explorer that shows the
// desktop, running as the signed-in user, unelevated), reached through the
// desktop's folder view: what it starts or invokes runs in Explorer, with the
// user's rights. False when there is no such shell.
bool DesktopShell(ComPtr<IShellDispatch2>& shell) {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&windows)))) {
        return false;
    }
    VARIANT location;
    VariantInit(&location);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    VARIANT empty;
    VariantInit(&empty);
    long desktopWindow = 0;
    ComPtr<IDispatch> found;
    if (windows->FindWindowSW(&location, &empty, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, &found) != S_OK ||
        !found) {
        return false;
    }
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    if (FAILED(found->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))) ||
        FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&browser))) ||
        FAILED(browser->QueryActiveShellView(&view)) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&background))) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&folderView))) ||
        FAILED(folderView->get_Application(&application)) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell)))) {
        return false;
    }
    return true;
}

// Starts a program through the desktop's shell; false when there is none or
// it refuses.
bool ShellExecuteFromDesktop(const ShellExecuteRequest& request) {
    ComPtr<IShellDispatch2> shell;
    if (!DesktopShell(shell)) return false;
    auto text = [](const std::string& gbk) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(Wide(gbk).c_str());
        return v;
    };
    VARIANT parameters = text(request.Parameters);
    VARIANT directory = text(request.Directory);
    VARIANT verb = text(request.Verb);
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = request.Show;
    Bstr file(Wide(request.File));
    HRESULT hr = shell->ShellExecute(file.get(), parameters, directory, verb, show);
    VariantClear(&parameters);
    VariantClear(&directory);
    VariantClear(&verb);
    return SUCCEEDED(hr);
}

}  // namespace

Win32Shell::~Win32Shell() { MediaClose(); }

ShellExecuteResult Win32Shell::ShellExecuteEx(const ShellExecuteRequest& request) {
    EnsureCom();
    if (request.AsUser && ProcessIsElevated()) {
        ShellExecuteResult asUser;
        asUser.Ok = ShellExecuteFromDesktop(request);
        if (!asUser.Ok) asUser.LastError = ERROR_ACCESS_DENIED;
        return asUser;
    }
    WideShellExecute call(request, 0);
    SHELLEXECUTEINFOW& info = call.info;
    ShellExecuteResult result;
    result.Ok = ShellExecuteExW(&info) != 0;
    if (!result.Ok) result.LastError = GetLastError();
    // Nobody waits for the started program; its handle is not kept.
    if (result.Ok && (request.Mask & kSeeMaskNoCloseProcess) && info.hProcess) CloseHandle(info.hProcess);
    return result;
}

ShellExecuteResult Win32Shell::ShellExecuteAndWait(const ShellExecuteRequest& request,
                                                   const std::function<void()>& pump) {
    EnsureCom();
    WideShellExecute call(request, SEE_MASK_NOCLOSEPROCESS);
    SHELLEXECUTEINFOW& info = call.info;
    ShellExecuteResult result;
    result.Ok = ShellExecuteExW(&info) != 0;
    if (!result.Ok) {
        result.LastError = GetLastError();
        return result;
    }
    if (!info.hProcess) return result;
    // Window messages keep flowing while the program runs.
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        if (pump) pump();
    }
    DWORD exitCode = 0;
    if (GetExitCodeProcess(info.hProcess, &exitCode)) result.ExitCode = exitCode;
    CloseHandle(info.hProcess);
    return result;
}

uint32_t Win32Shell::WinExec(const std::string& commandLine, int show) {
    // WinExec itself takes ANSI text in the system's code page; CreateProcessW
    // with the same start-up information keeps Chinese paths intact on every
    // locale.
    std::wstring line = Wide(commandLine);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        DWORD error = GetLastError();
        return error == 0 || error > 31 ? 0 : error;
    }
    // Like WinExec, give the program a moment to show its first window.
    WaitForInputIdle(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

bool Win32Shell::CreateProcessHidden(const std::string& commandLine) {
    std::wstring line = Wide(commandLine);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool Win32Shell::SaveShellLink(const ShellLink& link, const std::string& linkFile) {
    EnsureCom();
    ComPtr<IShellLinkW> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
        return false;
    }
    // A property the shell rejects is left as it is; only the save counts.
    shellLink->SetShowCmd(link.ShowCommand);
    if (!link.IconPath.empty()) shellLink->SetIconLocation(Wide(link.IconPath).c_str(), link.IconIndex);
    shellLink->SetArguments(Wide(link.Arguments).c_str());
    shellLink->SetDescription(Wide(link.Description).c_str());
    shellLink->SetPath(Wide(link.Path).c_str());
    shellLink->SetWorkingDirectory(Wide(link.WorkingDirectory).c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return false;
    return SUCCEEDED(file->Save(Wide(linkFile).c_str(), FALSE));
}

int Win32Shell::InvokeItemVerbs(const std::string& file, const std::string& verbFragment) {
    EnsureCom();
    size_t cut = FindLastChar(file, '\\');
    std::string folderPath = cut == std::string::npos ? file : file.substr(0, cut);
    std::string itemName = cut == std::string::npos ? file : file.substr(cut + 1);

    // An elevated process invokes the verbs in the desktop's shell, so that
    // they run with the user's rights (and pin to the user's taskbar), and
    // invokes none where there is no such shell.
    ComPtr<IShellDispatch2> desktop;
    ComPtr<IShellDispatch> own;
    IShellDispatch* shell = nullptr;
    if (ProcessIsElevated()) {
        if (!DesktopShell(desktop)) return 0;
        shell = desktop.get();
    } else {
        CheckAutomation(CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_IShellDispatch,
                                         reinterpret_cast<void**>(&own)),
                        "Shell.Application");
        shell = own.get();
    }
    Bstr folderText(Wide(folderPath));
    VARIANT folderVariant;
    VariantInit(&folderVariant);
    folderVariant.vt = VT_BSTR;
    folderVariant.bstrVal = folderText.get();
    ComPtr<Folder> folder;
    CheckAutomation(shell->NameSpace(folderVariant, &folder), "NameSpace");
    if (!folder) return 0;
    ComPtr<FolderItem> item;
    Bstr itemText(Wide(itemName));
    CheckAutomation(folder->ParseName(itemText.get(), &item), "ParseName");
    if (!item) return 0;
    ComPtr<FolderItemVerbs> verbs;
    CheckAutomation(item->Verbs(&verbs), "Verbs");
    if (!verbs) return 0;
    long count = 0;
    CheckAutomation(verbs->get_Count(&count), "Verbs.Count");
    std::wstring fragment = Wide(verbFragment);
    int invoked = 0;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<FolderItemVerb> verb;
        CheckAutomation(verbs->Item(index, &verb), "Verbs.Item");
        if (!verb) continue;
        Bstr name;
        CheckAutomation(verb->get_Name(name.out()), "Verb.Name");
        if (name.get() && std::wstring(name.get()).find(fragment) != std::wstring::npos) {
            CheckAutomation(verb->DoIt(), "Verb.DoIt");
            ++invoked;
        }
    }
    return invoked;
}

bool Win32Shell::MediaOpen(const std::string& file) {
    MediaClose();
    std::wstring command = L"open \"" + Wide(file) + L"\" alias " + kMusicAlias;
    mediaOpen_ = Mci(command) == 0;
    if (mediaOpen_) Mci(std::wstring(L"set ") + kMusicAlias + L" time format milliseconds");
    return mediaOpen_;
}

void Win32Shell::MediaPlay() {
    if (mediaOpen_) Mci(std::wstring(L"play ") + kMusicAlias);
}

int64_t Win32Shell::MediaLength() {
    return mediaOpen_ ? MciNumber(std::wstring(L"status ") + kMusicAlias + L" length") : 0;
}

int64_t Win32Shell::MediaPosition() {
    return mediaOpen_ ? MciNumber(std::wstring(L"status ") + kMusicAlias + L" position") : 0;
}

void Win32Shell::MediaClose() {
    if (!mediaOpen_) return;
    Mci(std::wstring(L"close ") + kMusicAlias);
    mediaOpen_ = false;
}

bool Win32Shell::RequestRestart() {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        }
        CloseHandle(token);
    }
    return ExitWindowsEx(EWX_REBOOT, 0) != 0;
}

namespace {

// Frees an item id list when it goes out of scope.
class Pidl {
public:
    Pidl() = default;
    ~Pidl() { CoTaskMemFree(p_); }
    Pidl(const Pidl&) = delete;
    Pidl& operator=(const Pidl&) = delete;
    ITEMIDLIST** out() { return reinterpret_cast<ITEMIDLIST**>(&p_); }
    ITEMIDLIST* get() const { return p_; }

private:
    ITEMIDLIST* p_ = nullptr;
};

std::string StrRetText(IShellFolder* folder, const ITEMIDLIST* child, SHGDNF flags) {
    // The three forms a STRRET takes, read here so that no further DLL is
    // needed for it.
    STRRET ret{};
    if (FAILED(folder->GetDisplayNameOf(child, flags, &ret))) return "";
    switch (ret.uType) {
        case STRRET_WSTR: {
            // A name is shown (a character GBK cannot hold as "?"); a parsing
            // name is a path, taken in its short form where it must be.
            std::string gbk = !ret.pOleStr                 ? ""
                              : (flags & SHGDN_FORPARSING) ? NarrowPath(ret.pOleStr)
                                                           : NarrowTyped(ret.pOleStr);
            CoTaskMemFree(ret.pOleStr);
            return gbk;
        }
        case STRRET_CSTR:
            return ret.cStr;
        case STRRET_OFFSET:
            return reinterpret_cast<const char*>(child) + ret.uOffset;
    }
    return "";
}

// The folder object of a namespace id; the desktop for "".
bool BindFolder(const std::string& id, ComPtr<IShellFolder>& out) {
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(&desktop))) return false;
    if (id.empty()) {
        return SUCCEEDED(desktop->QueryInterface(IID_IShellFolder, reinterpret_cast<void**>(&out)));
    }
    Pidl pidl;
    std::wstring name = Wide(id);
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, pidl.out(), nullptr))) return false;
    return SUCCEEDED(desktop->BindToObject(pidl.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&out)));
}

// The item of a child of a folder; false for a virtual folder that holds no
// file-system folder (the control panel, the recycle bin).
bool ItemOf(IShellFolder* folder, const ITEMIDLIST* child, const ITEMIDLIST* absolute, ShellFolderItem& item) {
    SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
    if (FAILED(folder->GetAttributesOf(1, &child, &attributes))) return false;
    if (!(attributes & SFGAO_FOLDER) || !(attributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) return false;
    item.DisplayName = StrRetText(folder, child, SHGDN_INFOLDER);
    item.Id = StrRetText(folder, child, SHGDN_FORPARSING);
    item.Path = (attributes & SFGAO_FILESYSTEM) ? item.Id : std::string();
    item.HasSubfolders = (attributes & SFGAO_HASSUBFOLDER) != 0;
    SHFILEINFOW info{};
    if (absolute && SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof info,
                                   SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
        item.IconIndex = info.iIcon;
    }
    return true;
}

}  // namespace

std::optional<ShellFolderItem> Win32Shell::ShellFolderOf(const std::string& id) {
    EnsureCom();
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(&desktop))) return std::nullopt;
    ShellFolderItem item;
    Pidl pidl;
    if (id.empty()) {
        if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, pidl.out()))) return std::nullopt;
        SHFILEINFOW info{};
        if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl.get()), 0, &info, sizeof info,
                           SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
            item.DisplayName = NarrowTyped(info.szDisplayName);
            item.IconIndex = info.iIcon;
        }
        item.HasSubfolders = true;
        return item;
    }
    std::wstring name = Wide(id);
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, pidl.out(), nullptr))) {
        return std::nullopt;
    }
    ComPtr<IShellFolder> parent;
    const ITEMIDLIST* child = nullptr;
    if (FAILED(SHBindToParent(pidl.get(), IID_IShellFolder, reinterpret_cast<void**>(&parent), &child))) {
        return std::nullopt;
    }
    if (!ItemOf(parent.get(), child, pidl.get(), item)) return std::nullopt;
    return item;
}

std::vector<ShellFolderItem> Win32Shell::ListShellFolders(const std::string& id) {
    EnsureCom();
    std::vector<ShellFolderItem> items;
    ComPtr<IShellFolder> folder;
    if (!BindFolder(id, folder)) return items;
    Pidl parentPidl;
    if (id.empty()) {
        SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, parentPidl.out());
    } else {
        ComPtr<IShellFolder> desktop;
        std::wstring name = Wide(id);
        if (SUCCEEDED(SHGetDesktopFolder(&desktop))) {
            desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, parentPidl.out(), nullptr);
        }
    }
    ComPtr<IEnumIDList> list;
    if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &list) != S_OK || !list) return items;
    for (;;) {
        ITEMIDLIST* child = nullptr;
        if (list->Next(1, &child, nullptr) != S_OK) break;
        ITEMIDLIST* absolute = parentPidl.get() ? ILCombine(parentPidl.get(), child) : nullptr;
        ShellFolderItem item;
        if (ItemOf(folder.get(), child, absolute, item)) items.push_back(item);
        if (absolute) ILFree(absolute);
        CoTaskMemFree(child);
    }
    return items;
}

}  // namespace setup::win32
