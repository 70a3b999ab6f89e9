// The text format of registry files: "REGEDIT4" (ANSI) and "Windows Registry
// Editor Version 5.00" (UTF-16 when regedit exports it, UTF-8 for the
// sandbox's own registry.reg). The parser turns a file into operations and
// raises a Format error naming the file and line for anything it cannot read,
// before a single operation is applied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace setup::sandbox {

struct RegOperation {
    enum OperationKind { CreateKey, DeleteKey, SetValue, DeleteValue } Kind = CreateKey;
    uint32_t Root = 0;
    std::string Path;  // GBK, without the root
    RegValue Value;    // SetValue: the value; DeleteValue: its name
    int Line = 0;
};

// The text of a registry file as UTF-8, whatever its encoding; regedit4 tells
// whether it is the ANSI format (whose hex(2) and hex(7) data are ANSI bytes).
std::string DecodeRegFile(const std::string& bytes, const std::string& fileName, bool& regedit4);
std::vector<RegOperation> ParseRegText(std::string_view utf8Text, bool regedit4, const std::string& fileName);

// One value line of a Version 5.00 file, in UTF-8: "name"="text", dword:, hex(n):.
std::string FormatRegValue(const RegValue& value);

// Helpers for value data as Windows stores it.
std::string StringValueData(const std::string& gbk);                      // UTF-16LE with the terminating zero
std::optional<std::string> StringFromValueData(const std::string& data);  // GBK, when well-formed

}  // namespace setup::sandbox
