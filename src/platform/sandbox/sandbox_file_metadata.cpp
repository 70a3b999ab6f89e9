// The attributes and creation times of the simulated machine's files, which
// the host cannot keep itself: held in a map by path below the machine's root
// and kept in one text file, a line per file, written when the machine flushes.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/sandbox/sandbox_files.h"
#include "platform/sandbox/machine_files.h"

namespace setup::sandbox {

std::string SandboxFiles::Key(const std::string& hostPath) const {
    const std::string& root = paths_.Root();
    if (hostPath.compare(0, root.size() + 1, root + "/") == 0) return hostPath.substr(root.size() + 1);
    return hostPath;
}

uint32_t SandboxFiles::AttributesOf(const std::string& hostPath, bool isFolder) const {
    auto it = metadata_.find(Key(hostPath));
    uint32_t attributes = it != metadata_.end() ? it->second.Attributes : (isFolder ? 0 : kAttrArchive);
    if (isFolder) attributes |= kAttrDirectory;
    if (attributes == 0) attributes = kAttrNormal;
    return attributes;
}

void SandboxFiles::Forget(const std::string& hostPath) {
    std::string key = Key(hostPath);
    bool changed = metadata_.erase(key) > 0;
    // A removed folder takes the metadata of everything below it along.
    std::string prefix = key + "/";
    for (auto it = metadata_.lower_bound(prefix);
         it != metadata_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
        it = metadata_.erase(it);
        changed = true;
    }
    if (changed) SaveMetadata();
}

void SandboxFiles::LoadMetadata() {
    std::ifstream in(metadataFile_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        // attributes <tab> creation time or "-" <tab> path
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? std::string::npos : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        Metadata m;
        m.Attributes = static_cast<uint32_t>(std::strtoul(line.substr(0, tab1).c_str(), nullptr, 16));
        std::string creation = line.substr(tab1 + 1, tab2 - tab1 - 1);
        if (creation != "-") m.Creation = std::strtoull(creation.c_str(), nullptr, 10);
        metadata_[line.substr(tab2 + 1)] = m;
    }
}

SandboxFiles::~SandboxFiles() { Flush(); }

void SandboxFiles::Flush() {
    if (!metadataChanged_) return;
    WriteMetadata();
    metadataChanged_ = false;
}

void SandboxFiles::WriteMetadata() {
    // A machine without metadata has no file for it, as a new machine has none.
    if (metadata_.empty()) {
        std::remove(metadataFile_.c_str());
        return;
    }
    std::string out;
    for (const auto& [key, m] : metadata_) {
        char attributes[16];
        std::snprintf(attributes, sizeof attributes, "%02x", m.Attributes);
        out += std::string(attributes) + '\t' + (m.Creation ? std::to_string(*m.Creation) : "-") + '\t' + key + '\n';
    }
    ReplaceMachineFile(metadataFile_, out);
}

}  // namespace setup::sandbox
