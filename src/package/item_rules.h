// The rules an item of a package keeps, in two sets.
//
// The authoring rules guard an author against mistakes: targets that stay
// below their root, name things Windows can create and fit its path length,
// registry keys under one of the five roots with data that fits its type,
// shortcuts that point at a packaged file or an address, no two items on one
// path, and an identity that is a GUID. The package maker refuses a project
// that breaks them.
//
// The machine rules are the part of them that protects the machine a package
// is installed on: a target or name that would leave its root, names Windows
// cannot create, text that is no GBK, registry keys outside the five roots.
// The setup program leaves out (and lists) the items that break them and
// installs everything else as the format defines it, oddities included (odd
// hexadecimal lengths, a DWORD with a prefix, two items for one path, a link
// to a file outside the package); verifying a package fails on them and
// lists the oddities as notes.
//
// Every check takes GBK text as the package stores it and returns an empty
// text when the item keeps the rules, otherwise one sentence (GBK) saying
// what is wrong, without naming the item: the caller knows how to name it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/compile.h"

namespace setup {

enum class RuleSet { Authoring, Machine };

// The longest path Windows creates through its ordinary file functions:
// MAX_PATH less the terminating null, counted in characters.
inline constexpr size_t kMaxPathChars = 259;
// The longest name of one folder, file or registry key level.
inline constexpr size_t kMaxNameChars = 255;

// The longest folders the roots of a project may expand to on the systems the
// setup program supports (a 20-character user name, the XP profile folder or
// the Windows 7 one, whichever is longer), so that a target that fits here
// fits on every machine.
struct TargetLimits {
    std::string InstallDir = "C:\\Program Files (x86)";  // the default install folder, expanded
    std::string StartMenu;  // the Start-menu Programs folder plus the default start folder name

    // The limits for a model: its default install folder and start folder.
    static TargetLimits FromModel(const TCompile& model);
};

// The number of characters of GBK text (a double-byte character counts one).
size_t GbkCharCount(std::string_view text);

// The package identity as the project stream holds it: a GUID written as
// 8-4-4-4-12 upper-case hexadecimal digits, without braces.
std::string CheckPackageIdentity(std::string_view id);

// One name a target is made of: a folder, a file or a shortcut name. Refuses
// an empty name, "." and "..", characters Windows forbids in names (control
// characters and <>:"/\|?*), a final dot or blank, the reserved device names
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension) and more
// than kMaxNameChars characters.
std::string CheckName(std::string_view name);

// A virtual target folder ("目标计算机\Program Files\...", "目标计算机\Windows\..."
// or "指定目录\" and an absolute folder on a drive), and, when fileName is
// not empty, the file installed into it: every level keeps CheckName, no
// second root follows the first, and the path, expanded with the longest
// folder of its root, stays within kMaxPathChars (authoring rules only).
std::string CheckTargetPath(std::string_view folder, std::string_view fileName, const TargetLimits& limits,
                            RuleSet rules = RuleSet::Authoring);

// A virtual registry key: "目标计算机\", one of the five root names, and at
// least one level below it, each level at most kMaxNameChars characters.
// The machine rules take the first level as the setup program does (a
// machine name it ignores) and leave the level length to the registry.
std::string CheckRegistryKey(std::string_view key, RuleSet rules = RuleSet::Authoring);
// The data of a registry value as the project stream holds it: REG_DWORD as
// hexadecimal digits whose value fits 32 bits, REG_BINARY as pairs of
// hexadecimal digits; the type is one of the three. Every text has a meaning
// for the setup program, so the machine rules accept all of them.
std::string CheckRegistryData(uint8_t valueType, std::string_view data, RuleSet rules = RuleSet::Authoring);

// A virtual shortcut folder: "开始菜单", "桌面" or "快速启动栏" first, every
// further level keeping CheckName.
std::string CheckShortcutFolder(std::string_view folder);
// The shortcut's folder, its name (CheckName; with the extension of its kind
// within kMaxPathChars once the folder is expanded), its kind, and texts
// that the internet shortcut file writes as lines (no line breaks). The
// target is checked by the caller, which knows the packaged files. The
// machine rules keep the folder and the name, and the lines of an internet
// shortcut (a line break would add lines of the author's choosing).
std::string CheckShortcutPlacement(const TShotCutData& shortcut, const TargetLimits& limits,
                                   RuleSet rules = RuleSet::Authoring);
// The Start-menu folder a user typed or chose (below the Programs folder):
// empty when every level is a name Windows can create and nothing climbs
// out ("..", a drive, a leading "\\"), otherwise why not, as the user reads
// it (GBK Chinese). The empty text (the Programs folder itself) is fine.
std::string StartFolderProblem(std::string_view folder);

// An internet address: a scheme of two or more letters, a colon and more,
// on one line ("http://www.example.com/", "mailto:a@b.c").
bool IsAddress(std::string_view text);

// A virtual path made comparable: levels with ASCII letters lower-cased and
// single separators. Two items whose paths compare equal install to one place.
std::string ComparablePath(std::string_view path);

// The file name a file item installs under: the last level of its Source.
std::string InstalledName(const TCompileFileData& item);

// One item of the file list by its kind: an installed file's target and name,
// the name a resource, registry script or uninstaller is written under, the
// levels of a component file below its component's folder.
std::string CheckFileItem(const TCompileFileData& item, const TargetLimits& limits, RuleSet rules = RuleSet::Authoring);
// One registry value: its key and its data.
std::string CheckRegistryValue(const TRegInfoData& value, RuleSet rules = RuleSet::Authoring);

// One item of a loaded package that breaks the rules.
struct RuleBreak {
    enum class ModelList { FileFolders, Files, RegistryKeys, RegistryValues, ShortcutFolders, Shortcuts, Components };
    ModelList List;       // the model's list that holds it
    size_t Index;         // its place in that list
    std::string What;     // the item as its author knows it: "item 3 (C:\Project\a.exe)"
    std::string Target;   // where it would install, as the user sees it
    std::string Problem;  // what is wrong, without naming the item
};

// Every item of a whole loaded package that breaks a rule of the set: each
// item alone and, under the authoring rules, shortcut targets against the
// packaged files and a later item installing to the path of an earlier one.
// The identity is checked on its own.
std::vector<RuleBreak> FindRuleBreaks(const TCompile& model, RuleSet rules = RuleSet::Authoring);

// The identity and every item rule of the set over a whole loaded package, an
// entry each naming the item ("item 3 (C:\Project\a.exe): ...").
std::vector<std::string> CheckPackageRules(const TCompile& model, RuleSet rules = RuleSet::Authoring);

// What the format defines but an author would not have meant: the items that
// break an authoring rule and keep the machine rules, an entry each naming
// the item. The setup program installs them as they stand.
std::vector<std::string> FindFormatOddities(const TCompile& model);

// Removes from the model every item that breaks a machine rule (a package
// edited by hand or made to harm) and returns them as failures of the
// installation, with reasons in the user's language: the rest installs, and
// each item left out is listed to the user.
std::vector<InstallFailure> LeaveOutRuleBreaks(TCompile& model);

}  // namespace setup
