#include "project_reader.h"

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace setup::makesetup {

ProjectReader::ProjectReader(std::string path, TCompressLevelEnum level) : path_(std::move(path)), level_(level) {
    size_t slash = path_.find_last_of('/');
    baseDir_ = slash == std::string::npos ? "." : path_.substr(0, slash);
}

void ProjectReader::Fail(const toml::node* node, const std::string& field, const std::string& message) const {
    std::string where = path_;
    if (node && node->source().begin.line > 0) where += ", line " + std::to_string(node->source().begin.line);
    ThrowFormatError(where + ": " + field + ": " + message);
}

void ProjectReader::Require(const toml::node* node, const std::string& field, const std::string& problem,
                            const std::string& subject) const {
    if (problem.empty()) return;
    // The rules speak GBK; the rest of the message (paths, fields) is UTF-8.
    std::string utf8;
    try {
        utf8 = GbkToUtf8(problem);
    } catch (const Error&) {
        utf8 = problem;
    }
    Fail(node, field, subject.empty() ? utf8 : subject + " " + utf8);
}

std::string ProjectReader::Gbk(const toml::node* node, const std::string& field, const std::string& utf8) const {
    try {
        return Utf8ToGbk(utf8);
    } catch (const Error&) {
        Fail(node, field, "holds a character that code page 936 cannot hold");
    }
}

std::string ProjectReader::Text(const toml::node& node, const std::string& field) const {
    if (!node.is_string()) Fail(&node, field, "must be a text");
    return Gbk(&node, field, *node.value<std::string>());
}

bool ProjectReader::Flag(const toml::node& node, const std::string& field) const {
    if (!node.is_boolean()) Fail(&node, field, "must be true or false");
    return *node.value<bool>();
}

std::string ProjectReader::SourceText(const std::string& relativeUtf8, const toml::node* node,
                                      const std::string& field) const {
    std::string rel = relativeUtf8;
    for (char& c : rel) {
        if (c == '/') c = '\\';
    }
    return sourceRoot_ + "\\" + Gbk(node, field, rel);
}

std::string ProjectReader::Relative(const toml::node& node, const std::string& field) const {
    if (!node.is_string()) Fail(&node, field, "must be a path relative to the project file");
    std::string text = *node.value<std::string>();
    if (text.empty() || text[0] == '/' || text.find('\\') != std::string::npos || text.find(':') != std::string::npos) {
        Fail(&node, field, "must be a path relative to the project file, with \"/\" between folders");
    }
    std::vector<std::string> parts;
    for (const std::string& part : SplitOn(text, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) Fail(&node, field, "leaves the project folder");
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty()) Fail(&node, field, "names the project folder itself");
    std::string result;
    for (const std::string& part : parts) result += (result.empty() ? "" : "/") + part;
    return result;
}

double ProjectReader::FileTimeOf(const std::string& host, const toml::node* timeNode) const {
    if (timeNode) {
        const toml::date_time* dt = timeNode->as_date_time() ? &timeNode->as_date_time()->get() : nullptr;
        if (!dt || dt->offset) Fail(timeNode, "time", "must be a local date-time such as 2024-01-31T08:00:00");
        return EncodeDateTime(dt->date.year, dt->date.month, dt->date.day, dt->time.hour, dt->time.minute,
                              dt->time.second);
    }
    if (fileTime_) return *fileTime_;
    return HostFileDateTime(host).value_or(0.0);
}

void ProjectReader::AddFolderName(const std::string& folder) {
    if (folderNames_.insert(AsciiLowerCase(folder)).second) plan_.Model->FileFolderList.push_back(folder);
}

void ProjectReader::AddFile(const std::string& relative, const std::string& virtualFolder,
                            const TCompileFileData& flags, uint8_t kind, const toml::node* timeNode,
                            const toml::node& node, const std::string& field) {
    std::string host = HostOf(relative);
    auto item = std::make_unique<TCompileFileData>(flags);
    size_t slash = relative.find_last_of('/');
    // A component's files carry the component's name instead of their own.
    if (kind != fkCompFile) item->Name = Gbk(&node, field, relative.substr(slash == std::string::npos ? 0 : slash + 1));
    item->Source = SourceText(relative, &node, field);
    item->TargetDir = virtualFolder;
    item->Kind = kind;
    std::string problem = CheckFileItem(*item, limits_);
    Require(&node, field, problem, relative);
    if (kind == fkFile) {
        std::string installed = virtualFolder;
        if (!installed.empty() && installed.back() != '\\') installed += "\\";
        Claim(installed + InstalledName(*item), node, field, "", relative);
    }
    item->FileSize = static_cast<int64_t>(HostFileSize(host));
    item->FileTime = FileTimeOf(host, timeNode);
    packaged_[relative] = plan_.Model->FileList.size();
    plan_.Model->FileList.push_back(std::move(item));
    plan_.DataFiles.push_back(host);
}

void ProjectReader::Claim(const std::string& path, const toml::node& node, const std::string& field,
                          const std::string& valueName, const std::string& subject) {
    std::string here = field + " at line " + std::to_string(node.source().begin.line);
    std::string comparable = ComparablePath(path) + (valueName.empty() ? "" : "\n" + AsciiLowerCase(valueName));
    auto [it, fresh] = claimed_.emplace(comparable, here);
    if (fresh) return;
    std::string shown = valueName.empty() ? path : path + " (value " + valueName + ")";
    Require(&node, field, "installs to the same path as " + it->second + ": " + shown, subject);
}

BuildPlan ProjectReader::Read() {
    std::string text;
    try {
        text = ReadHostFile(path_);
    } catch (const Error& e) {
        ThrowFormatError(std::string("Cannot read the project file: ") + e.what());
    }
    toml::table root;
    try {
        root = toml::parse(text, path_);
    } catch (const toml::parse_error& e) {
        ThrowFormatError(path_ + ", line " + std::to_string(e.source().begin.line) + ": " +
                         std::string(e.description()));
    }
    static const std::set<std::string> kTables = {
        "package",    "project",    "pages",        "welcome",         "agreement", "readme",   "startfolder",
        "components", "installdir", "tasks",        "ready",           "progress",  "finish",   "files",
        "folder",     "registry",   "registry_key", "shortcut_folder", "shortcut",  "component"};
    for (auto&& [key, node] : root) {
        if (!kTables.count(std::string(key.str()))) Fail(&node, std::string(key.str()), "unknown table");
    }
    const toml::table* package = root["package"].as_table();
    if (!package) Fail(nullptr, "package", "the [package] table with the package id is missing");
    plan_.ProjectFile = path_;
    ReadPackageTable(*package);
    ReadSettings(root);
    limits_ = TargetLimits::FromModel(*plan_.Model);
    ReadFolders(root);
    ReadFiles(root);
    ApplyResources();
    ReadRegistry(root);
    ReadShortcuts(root);
    ReadComponents(root);
    plan_.SourceRoot = sourceRoot_;
    ReadUninstaller(*package);
    return std::move(plan_);
}

const char* LevelName(TCompressLevelEnum level) {
    switch (level) {
        case cplNone:
            return "none";
        case cplSpeed:
            return "speed";
        case cplPress:
            return "press";
        default:
            return "default";
    }
}

BuildPlan LoadProjectFile(const std::string& path, TCompressLevelEnum level) {
    return ProjectReader(path, level).Read();
}

}  // namespace setup::makesetup
