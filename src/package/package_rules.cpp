// The rules over a whole loaded package: every item checked against the
// others and the packaged files, the oddities a verification notes, and the
// items an installation leaves out.
#include <map>

#include "package/item_rules.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup {

namespace {

const char kProgramFilesRoot[] = "目标计算机\\Program Files\\";

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::vector<RuleBreak> FindRuleBreaks(const TCompile& model, RuleSet rules) {
    const bool authoring = rules == RuleSet::Authoring;
    std::vector<RuleBreak> breaks;
    auto report = [&](RuleBreak::ModelList list, size_t index, const std::string& what, const std::string& target,
                      const std::string& problem) {
        if (!problem.empty()) breaks.push_back(RuleBreak{list, index, what, target, problem});
    };
    TargetLimits limits = TargetLimits::FromModel(model);
    for (size_t i = 0; i < model.FileFolderList.size(); ++i) {
        const std::string& folder = model.FileFolderList[i];
        report(RuleBreak::ModelList::FileFolders, i, "the folder to create " + Quoted(folder), folder,
               CheckTargetPath(folder, "", limits, rules));
    }
    // Every path an item installs to, made comparable, with the first item
    // that claimed it: a later item claiming it again breaks the authoring
    // rules (the setup program writes both, and the later one stays).
    std::map<std::string, std::string> claimed;
    auto claim = [&](const std::string& path, const std::string& what) -> std::string {
        if (!authoring) return "";
        auto [it, fresh] = claimed.emplace(path, what);
        return fresh ? "" : "installs to the same path as " + it->second;
    };
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        const TCompileFileData& item = *model.FileList[i];
        std::string what = "item " + std::to_string(i + 1) + " (" + item.Source + ")";
        std::string folder = EndsWithChar(item.TargetDir, '\\') ? item.TargetDir : item.TargetDir + "\\";
        std::string target = item.Kind == fkFile     ? folder + InstalledName(item)
                             : item.Kind == fkFolder ? item.TargetDir
                                                     : item.Source;
        std::string problem = CheckFileItem(item, limits, rules);
        if (problem.empty() && item.Kind == fkFile) problem = claim(ComparablePath(target), what);
        if (problem.empty() && item.Kind == fkUnInsFile) {
            problem = claim(ComparablePath(kProgramFilesRoot + InstalledName(item)), what);
        }
        report(RuleBreak::ModelList::Files, i, what, target, problem);
    }
    for (size_t i = 0; i < model.RegFolderList.size(); ++i) {
        const std::string& key = model.RegFolderList[i];
        report(RuleBreak::ModelList::RegistryKeys, i, "the registry key " + Quoted(key), key,
               CheckRegistryKey(key, rules));
    }
    for (size_t i = 0; i < model.RegList.size(); ++i) {
        const TRegInfoData& value = *model.RegList[i];
        std::string target = value.Key + "\\" + value.ValueName;
        std::string what = "registry value " + std::to_string(i + 1) + " (" + target + ")";
        std::string problem = CheckRegistryValue(value, rules);
        // A value name may hold a backslash: it is kept apart from the key.
        if (problem.empty()) problem = claim(ComparablePath(value.Key) + "\n" + AsciiLowerCase(value.ValueName), what);
        report(RuleBreak::ModelList::RegistryValues, i, what, target, problem);
    }
    for (size_t i = 0; i < model.ShotCutFolderList.size(); ++i) {
        const std::string& folder = model.ShotCutFolderList[i];
        report(RuleBreak::ModelList::ShortcutFolders, i, "the shortcut folder " + Quoted(folder), folder,
               CheckShortcutFolder(folder));
    }
    for (size_t i = 0; i < model.ShotCutList.size(); ++i) {
        const TShotCutData& shortcut = *model.ShotCutList[i];
        std::string target = shortcut.Folder + "\\" + shortcut.Name;
        std::string what = "shortcut " + std::to_string(i + 1) + " (" + target + ")";
        std::string problem = CheckShortcutPlacement(shortcut, limits, rules);
        // A link points at its target text as it stands; only an author
        // means it to be a packaged file or an address.
        if (authoring && problem.empty() && shortcut.Kind == skInternetShortcut && !IsAddress(shortcut.Target)) {
            problem = "has the target " + Quoted(shortcut.Target) + ", which is not an address";
        }
        if (authoring && problem.empty() && shortcut.Kind != skInternetShortcut) {
            bool packaged = false;
            for (const auto& item : model.FileList) {
                packaged = packaged || (item->Kind == fkFile && EqualsNoCase(item->Source, shortcut.Target));
            }
            if (!packaged) problem = "has the target " + Quoted(shortcut.Target) + ", which is no packaged file";
        }
        if (problem.empty())
            problem = claim(ComparablePath(target + (shortcut.Kind == skInternetShortcut ? ".url" : ".lnk")), what);
        report(RuleBreak::ModelList::Shortcuts, i, what, target, problem);
    }
    for (size_t i = 0; i < model.CompList.size(); ++i) {
        const std::string& name = model.CompList[i]->Name;
        std::string problem = CheckName(name);
        report(RuleBreak::ModelList::Components, i, "component " + std::to_string(i + 1), name,
               problem.empty() ? "" : "has a name that " + problem);
    }
    return breaks;
}

std::vector<std::string> CheckPackageRules(const TCompile& model, RuleSet rules) {
    std::vector<std::string> violations;
    // The setup program takes a GUID in braces or in lower case as well.
    std::string identity = rules == RuleSet::Authoring          ? CheckPackageIdentity(model.PackageId)
                           : IsPackageIdentity(model.PackageId) ? ""
                                                                : CheckPackageIdentity(model.PackageId);
    if (!identity.empty()) violations.push_back("the package identity: " + identity);
    for (const RuleBreak& b : FindRuleBreaks(model, rules)) violations.push_back(b.What + ": " + b.Problem);
    return violations;
}

std::vector<std::string> FindFormatOddities(const TCompile& model) {
    std::vector<RuleBreak> harmful = FindRuleBreaks(model, RuleSet::Machine);
    auto isHarmful = [&harmful](const RuleBreak& b) {
        for (const RuleBreak& h : harmful) {
            if (h.List == b.List && h.Index == b.Index) return true;
        }
        return false;
    };
    std::vector<std::string> notes;
    if (IsPackageIdentity(model.PackageId) && !CheckPackageIdentity(model.PackageId).empty()) {
        notes.push_back("the package identity: " + CheckPackageIdentity(model.PackageId));
    }
    for (const RuleBreak& b : FindRuleBreaks(model, RuleSet::Authoring)) {
        if (!isHarmful(b)) notes.push_back(b.What + ": " + b.Problem);
    }
    return notes;
}

namespace {

// Why an item was left out, as the user reads it: the item's own target is
// listed beside it.
std::string LeftOutReason(RuleBreak::ModelList list) {
    switch (list) {
        case RuleBreak::ModelList::FileFolders:
        case RuleBreak::ModelList::Files:
            return msg::LeftOutFile();
        case RuleBreak::ModelList::RegistryKeys:
        case RuleBreak::ModelList::RegistryValues:
            return msg::LeftOutRegistry();
        case RuleBreak::ModelList::ShortcutFolders:
        case RuleBreak::ModelList::Shortcuts:
            return msg::LeftOutShortcut();
        case RuleBreak::ModelList::Components:
            return msg::LeftOutComponent();
    }
    return msg::LeftOutFile();
}

// Removes the entries at the given indices (ascending) from a list.
template <typename List>
void EraseIndices(List& list, const std::vector<size_t>& indices) {
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) list.erase(list.begin() + static_cast<long>(*it));
}

}  // namespace

std::vector<InstallFailure> LeaveOutRuleBreaks(TCompile& model) {
    std::vector<RuleBreak> breaks = FindRuleBreaks(model, RuleSet::Machine);
    std::map<RuleBreak::ModelList, std::vector<size_t>> indices;
    std::vector<InstallFailure> leftOut;
    for (const RuleBreak& b : breaks) {
        indices[b.List].push_back(b.Index);
        leftOut.push_back(InstallFailure{b.Target, LeftOutReason(b.List)});
    }
    EraseIndices(model.FileFolderList, indices[RuleBreak::ModelList::FileFolders]);
    EraseIndices(model.FileList, indices[RuleBreak::ModelList::Files]);
    EraseIndices(model.RegFolderList, indices[RuleBreak::ModelList::RegistryKeys]);
    EraseIndices(model.RegList, indices[RuleBreak::ModelList::RegistryValues]);
    EraseIndices(model.ShotCutFolderList, indices[RuleBreak::ModelList::ShortcutFolders]);
    EraseIndices(model.ShotCutList, indices[RuleBreak::ModelList::Shortcuts]);
    EraseIndices(model.CompList, indices[RuleBreak::ModelList::Components]);
    return leftOut;
}

}  // namespace setup
