// Builds packages for the tests with the one package writer, and places them
// on the simulated machine.
#pragma once

#include <string>
#include <vector>

#include "package/compile.h"
#include "package/package_writer.h"

namespace setup::testing_package {

struct TestItem {
    TCompileFileData item;
    std::string data;
};

// Writes stub + items + project; fills DataStart/DataEnd/FileSize of the items
// and returns the package bytes.
inline std::string BuildPackage(TCompile& project, const std::vector<std::string>& data,
                                const std::string& stub = "MZstub", TCompressLevelEnum level = cplDefault,
                                size_t chunk = kChunkBlockSize) {
    MemoryStream out;
    PackageWriter writer(out, level, chunk);
    writer.WriteStub(stub);
    int64_t size = 0;
    for (size_t i = 0; i < project.FileList.size(); ++i) {
        TCompileFileData& item = *project.FileList[i];
        if (item.Kind == fkFolder) continue;
        ItemRange range = writer.WriteItem(data[i]);
        item.DataStart = range.DataStart;
        item.DataEnd = range.DataEnd;
        item.FileSize = range.Size;
        if (item.Kind == fkFile) size += range.Size;
    }
    writer.Finish(project, size);
    return out.TakeBytes();
}

inline TCompileFileData& AddItem(TCompile& project, uint8_t kind, const std::string& name, const std::string& source,
                                 const std::string& targetDir) {
    auto item = std::make_unique<TCompileFileData>();
    item->Kind = kind;
    item->Name = name;
    item->Source = source;
    item->TargetDir = targetDir;
    item->FileTime = kind == fkFolder ? -1.0 : 45356.5;
    project.FileList.push_back(std::move(item));
    return *project.FileList.back();
}

inline TRegInfoData& AddRegValue(TCompile& project, const std::string& key, const std::string& name,
                                 const std::string& data, uint8_t type = 0, const std::string& targetOs = "") {
    auto value = std::make_unique<TRegInfoData>();
    value->Key = key;
    value->ValueName = name;
    value->Data = data;
    value->ValueType = type;
    value->TargetOs = targetOs;
    project.RegList.push_back(std::move(value));
    return *project.RegList.back();
}

inline TCompileData& AddSetting(TCompile& project, uint8_t group, const std::string& key, const std::string& value) {
    auto item = std::make_unique<TCompileData>();
    item->Key = key;
    item->Value = value;
    item->Group = group;
    project.InfoList.push_back(std::move(item));
    return *project.InfoList.back();
}

}  // namespace setup::testing_package
