// Random but valid projects from a seed, with the machine they install on:
// nested folders with Chinese names (among them characters whose second GBK
// byte is "\", "|" or a letter), empty and large files with every attribute,
// registry values of every type in new and existing keys, default values,
// shortcuts of every kind, components, and a machine that already holds some
// of the same files and keys. The same seed always gives the same scenario.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/codecs.h"
#include "package/compile.h"
#include "platform/os.h"

namespace setup::scale {

// A packaged file and where it lands on the machine.
struct PlannedFile {
    size_t item = 0;       // index in the project's FileList
    std::string path;      // the installed path (GBK)
    bool installs = true;  // its target system matches the machine's
};

// Something of the machine's own, there before the installation.
struct PresentFile {
    std::string path;
    std::string bytes;
    uint32_t attributes = kAttrNormal;
};
struct PresentValue {
    uint32_t root = 0;
    std::string key;
    RegValue value;
};

struct Scenario {
    uint64_t seed = 0;
    std::string osVersion;  // "5.1" or "6.1"
    std::unique_ptr<TCompile> project;
    std::vector<std::string> data;  // per FileList item (empty for folders)
    TCompressLevelEnum level = cplDefault;
    size_t chunk = kChunkBlockSize;
    std::string product;
    std::string installDir;  // expanded
    std::string uninstallerName;
    int installs = 1;  // more than one: reinstalled over itself before uninstalling
    std::vector<PlannedFile> files;
    std::vector<std::string> presentFolders;
    std::vector<PresentFile> presentFiles;
    std::vector<std::pair<uint32_t, std::string>> presentKeys;
    std::vector<PresentValue> presentValues;
    // Files a component copies into the Windows folder; the design does not
    // record them, so they stay after uninstalling.
    std::vector<std::string> componentCopies;
};

// The scenario of a seed. uninstaller is the data of the package's
// uninstaller item (the Linux uninstall program for whole-program runs).
Scenario GenerateScenario(uint64_t seed, const std::string& uninstaller);

}  // namespace setup::scale
