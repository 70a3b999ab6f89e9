// The registry of the Windows machine: keys and values read and written
// through the wide-character registry calls, names and strings converted
// between GBK and UTF-16 at the boundary.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

#include "platform/text.h"

namespace setup::win32 {

namespace {

HKEY RootHandle(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

std::wstring KeyPath(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.front() == '\\') p.erase(0, 1);
    return Wide(p);
}

// Opens an existing key; null when it cannot be opened.
HKEY OpenKey(uint32_t root, const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootHandle(root), KeyPath(path).c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

class KeyHandle {
public:
    explicit KeyHandle(HKEY key) : key_(key) {}
    ~KeyHandle() {
        if (key_) RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_;
};

}  // namespace

bool Win32Registry::KeyExists(uint32_t root, const std::string& path) {
    KeyHandle key(OpenKey(root, path, KEY_READ));
    return static_cast<bool>(key);
}

bool Win32Registry::CreateKey(uint32_t root, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(RootHandle(root), KeyPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::optional<RegValue> Win32Registry::ReadValue(uint32_t root, const std::string& path, const std::string& name) {
    KeyHandle key(OpenKey(root, path, KEY_READ));
    if (!key) return std::nullopt;
    std::wstring wname = Wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegValue value;
    value.Name = name;
    value.Type = type;
    value.Data.resize(size);
    if (RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.Data.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.Data.resize(size);
    return value;
}

std::optional<std::string> Win32Registry::ReadString(uint32_t root, const std::string& path, const std::string& name) {
    std::optional<RegValue> v = ReadValue(root, path, name);
    return v ? RegValueText(*v) : std::nullopt;
}

bool Win32Registry::Write(uint32_t root, const std::string& path, const std::string& name, uint32_t type,
                          const std::string& data) {
    KeyHandle key(OpenKey(root, path, KEY_SET_VALUE));
    if (!key) return false;
    return RegSetValueExW(key.get(), Wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool Win32Registry::WriteString(uint32_t root, const std::string& path, const std::string& name,
                                const std::string& value) {
    return Write(root, path, name, REG_SZ, Utf16ToLeBytes(GbkToUtf16(value)) + std::string(2, '\0'));
}

bool Win32Registry::WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) {
    std::string data;
    AppendU32(data, value);
    return Write(root, path, name, REG_DWORD, data);
}

bool Win32Registry::WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                                const std::string& bytes) {
    return Write(root, path, name, REG_BINARY, bytes);
}

bool Win32Registry::WriteValue(uint32_t root, const std::string& path, const RegValue& value) {
    return Write(root, path, value.Name, value.Type, value.Data);
}

bool Win32Registry::DeleteValue(uint32_t root, const std::string& path, const std::string& name) {
    KeyHandle key(OpenKey(root, path, KEY_SET_VALUE));
    return key && RegDeleteValueW(key.get(), Wide(name).c_str()) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteKey(uint32_t root, const std::string& path) {
    // Subkeys first: RegDeleteKey removes only keys without subkeys.
    for (const std::string& sub : ListSubKeys(root, path)) {
        std::string p = path;
        while (EndsWithChar(p, '\\')) p.pop_back();
        DeleteKey(root, p + "\\" + sub);
    }
    std::wstring wpath = KeyPath(path);
    while (!wpath.empty() && wpath.back() == L'\\') wpath.pop_back();
    if (wpath.empty()) return false;
    return RegDeleteKeyW(RootHandle(root), wpath.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> Win32Registry::ListSubKeys(uint32_t root, const std::string& path) {
    std::vector<std::string> names;
    KeyHandle key(OpenKey(root, path, KEY_READ));
    if (!key) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(Narrow(std::wstring(name, size)));
    }
    return names;
}

std::vector<RegValue> Win32Registry::ListValues(uint32_t root, const std::string& path) {
    std::vector<RegValue> values;
    KeyHandle key(OpenKey(root, path, KEY_READ));
    if (!key) return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameSize = 16384, type = 0, dataSize = 0;
        if (RegEnumValueW(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
        std::string gbkName = Narrow(std::wstring(name, nameSize));
        if (std::optional<RegValue> v = ReadValue(root, path, gbkName)) values.push_back(*v);
    }
    return values;
}

}  // namespace setup::win32
