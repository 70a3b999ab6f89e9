#include "package_tools.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <iomanip>
#include <ostream>
#include <thread>

#include "package/item_rules.h"
#include "package/package_tail.h"
#include "package/package_writer.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "setting_table.h"
#include "signing.h"

namespace setup::makesetup {

namespace {

std::string Utf8(const std::string& gbk) {
    try {
        return GbkToUtf8(gbk);
    } catch (const Error&) {
        return "<not GBK text>";
    }
}

const char* KindName(uint8_t kind) {
    static const char* kNames[] = {"file", "folder", "regfile", "component", "resource", "uninstaller"};
    return kind < 6 ? kNames[kind] : "unknown";
}

std::string MiB(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / 1048576.0);
    return text;
}

struct LoadedPackage {
    TCompile Model;
    int64_t FileSize = 0;
    int64_t ProjectOffset = 0;
};

void Load(const std::string& path, LoadedPackage& package) {
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    package.FileSize = file->Size();
    package.Model.LoadPackage(*file, path);
    // A signed program's package ends before its certificate table.
    file->Seek(FindPackageEnd(*file) - 8, SeekOrigin::Begin);
    package.ProjectOffset = file->ReadI64(msg::kWhatPackageTail);
}

bool HasData(const TCompileFileData& item) { return item.Kind != fkFolder; }

}  // namespace

namespace {

// Refuses an output that would overwrite one of the build's inputs, or whose
// temporary name would: the package is read from them while it is written.
void RefuseOutputOverInput(const BuildPlan& plan, const BuildOptions& options, const std::string& output,
                           const std::string& temp) {
    std::vector<std::pair<std::string, std::string>> inputs = {{plan.ProjectFile, "the project file"},
                                                               {options.Stub, "the setup program (--stub)"}};
    for (const std::string& file : plan.DataFiles) {
        if (!file.empty()) inputs.emplace_back(file, "a file the package carries");
    }
    for (const auto& [input, what] : inputs) {
        if (input.empty()) continue;
        for (const std::string& written : {output, temp}) {
            if (SameHostFile(written, input)) {
                ThrowOsError("The package cannot be written to " + written + ": it is " + what + " (" + input +
                             "), an input of the build");
            }
        }
    }
}

// A digest of a host file's content for grouping files; equal digests are
// confirmed byte by byte before two files share data.
size_t ContentDigest(const std::string& path) {
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    std::string block(1 << 16, '\0');
    size_t digest = 0;
    for (;;) {
        size_t n = file->Read(block.data(), block.size());
        if (n == 0) return digest;
        digest = digest * 1099511628211u ^ std::hash<std::string_view>()(std::string_view(block.data(), n));
    }
}

bool SameContent(const std::string& a, const std::string& b) {
    std::unique_ptr<Stream> fa = OpenHostFile(a, OpenMode::Read), fb = OpenHostFile(b, OpenMode::Read);
    std::string ba(1 << 16, '\0'), bb(1 << 16, '\0');
    for (;;) {
        size_t na = 0, nb = 0;
        while (na < ba.size()) {
            size_t got = fa->Read(ba.data() + na, ba.size() - na);
            if (got == 0) break;
            na += got;
        }
        while (nb < bb.size()) {
            size_t got = fb->Read(bb.data() + nb, bb.size() - nb);
            if (got == 0) break;
            nb += got;
        }
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
        if (na < ba.size()) return true;
    }
}

// For each item, the first item whose data is the same bytes (itself when
// there is none): such items share one copy of the data in the package, since
// every reader goes by each item's own offsets. Only files of equal size are
// read to find out; empty files have no data to share.
std::vector<size_t> SharedData(const BuildPlan& plan) {
    const TCompile& model = *plan.Model;
    std::vector<size_t> first(model.FileList.size());
    std::map<int64_t, std::vector<size_t>> bySize;
    for (size_t i = 0; i < first.size(); ++i) {
        first[i] = i;
        if (!plan.DataFiles[i].empty() && model.FileList[i]->FileSize > 0) {
            bySize[model.FileList[i]->FileSize].push_back(i);
        }
    }
    for (const auto& [size, items] : bySize) {
        if (items.size() < 2) continue;
        std::map<size_t, std::vector<size_t>> originals;  // by digest, in item order
        for (size_t i : items) {
            std::vector<size_t>& same = originals[ContentDigest(plan.DataFiles[i])];
            for (size_t original : same) {
                if (SameContent(plan.DataFiles[original], plan.DataFiles[i])) {
                    first[i] = original;
                    break;
                }
            }
            if (first[i] == i) same.push_back(i);
        }
    }
    return first;
}

unsigned CompressionThreads(const BuildOptions& options) {
    if (options.Jobs > 0) return std::min(options.Jobs, kMaxCompressionThreads);
    unsigned processors = std::thread::hardware_concurrency();
    return std::clamp(processors, 1u, kMaxCompressionThreads);
}

}  // namespace

void BuildPackage(BuildPlan& plan, const BuildOptions& options, const std::string& output, std::ostream& log) {
    TCompile& model = *plan.Model;
    // The same rules verify applies: a model changed after loading (--set, a
    // caller's own plan) is held to them too.
    std::vector<std::string> violations = CheckPackageRules(model);
    if (!violations.empty()) {
        std::string message = "The package would break " + std::to_string(violations.size()) + " rule(s):";
        for (const std::string& v : violations) message += "\n  " + v;
        ThrowFormatError(message);
    }
    int64_t total = 0;
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        if (!plan.DataFiles[i].empty()) total += model.FileList[i]->FileSize;
    }
    if (!options.Stub.empty()) RefuseSignedStub(options.Stub);
    std::string temp = output + ".partial";
    RefuseOutputOverInput(plan, options, output, temp);
    try {
        std::unique_ptr<HostFileStream> out = CreateHostFile(temp);
        PackageWriter writer(*out, options.Level, options.Chunk, CompressionThreads(options));
        if (options.Stub.empty()) {
            writer.WriteStub(std::string_view());
        } else {
            writer.WriteStub(*OpenHostFile(options.Stub, OpenMode::Read));
        }
        std::vector<size_t> shared = SharedData(plan);
        std::vector<std::vector<size_t>> holders(shared.size());  // per item, the items holding its data
        for (size_t j = 0; j < shared.size(); ++j) holders[shared[j]].push_back(j);
        int64_t done = 0, reported = 0;
        int64_t size = 0;
        for (size_t i = 0; i < model.FileList.size(); ++i) {
            TCompileFileData& item = *model.FileList[i];
            if (plan.DataFiles[i].empty()) continue;
            if (item.Kind == fkFile) size += item.FileSize;
            if (shared[i] != i) continue;
            std::unique_ptr<Stream> source = OpenHostFile(plan.DataFiles[i], OpenMode::Read);
            // The item's offsets are known once its chunks are written, which
            // may be after later files have been read; the items with the same
            // data get the same offsets.
            int64_t read = writer.QueueItem(*source, [&, i](const ItemRange& range) {
                for (size_t j : holders[i]) {
                    TCompileFileData& placed = *model.FileList[j];
                    placed.DataStart = range.DataStart;
                    placed.DataEnd = range.DataEnd;
                    done += placed.FileSize;
                }
                // A line at every tenth of the work, so long builds show they move.
                if (total > 0 && (done - reported) * 10 >= total) {
                    log << "  packed " << (done * 100 / total) << "% (" << MiB(done) << " of " << MiB(total) << ")\n";
                    reported = done;
                }
            });
            if (read != item.FileSize) {
                ThrowOsError("The file " + plan.DataFiles[i] + " changed while it was packed");
            }
        }
        writer.Finish(model, size);
        int64_t expected = out->Position();
        // Bytes the system held back may fail only now; a package cut short
        // must never be renamed into place.
        out->Close();
        if (HostFileSize(temp) != expected) {
            ThrowOsError("The file " + temp + " holds " + std::to_string(HostFileSize(temp)) + " bytes, not the " +
                         std::to_string(expected) + " written");
        }
    } catch (...) {
        RemoveHostFile(temp);
        throw;
    }
    RenameHostFile(temp, output);
    MakeHostFileExecutable(output);
    log << "wrote " << output << " (" << HostFileSize(output) << " bytes, " << model.FileList.size() << " items)\n";
}

void InspectPackage(const std::string& path, std::ostream& out) {
    LoadedPackage package;
    Load(path, package);
    TCompile& m = package.Model;
    out << "Package " << path << ": " << package.FileSize << " bytes, project stream at " << package.ProjectOffset
        << ", files to install " << m.Size << " bytes\n";
    out << "Identity: " << Utf8(m.PackageId) << "\n";
    out << "Product: " << Utf8(m.ItemName) << " " << Utf8(m.Version) << " by " << Utf8(m.Author) << " (" << Utf8(m.Url)
        << ")" << (m.Patched() ? ", patch package" : "") << "\n";
    out << "\nSettings (group, key = value):\n";
    for (const auto& s : m.InfoList) {
        out << "  " << std::setw(2) << static_cast<int>(s->Group) << "  " << Utf8(s->Key) << " = " << Utf8(s->Value)
            << "\n";
    }
    out << "\nFolders to create:\n";
    for (const std::string& f : m.FileFolderList) out << "  " << Utf8(f) << "\n";
    out << "\nItems (kind, size, data offsets, target folder, recorded path, attributes):\n";
    for (const auto& f : m.FileList) {
        out << "  " << std::left << std::setw(11) << KindName(f->Kind) << std::right << std::setw(10) << f->FileSize
            << "  " << f->DataStart << "-" << f->DataEnd << "  " << Utf8(f->TargetDir) << "  " << Utf8(f->Source);
        if (f->Kind == fkCompFile) out << "  [component " << Utf8(f->Name) << "]";
        if (f->KeepOnUninstall) out << "  keep";
        if (f->NoOverwrite) out << "  no-overwrite";
        if (f->IsComponent) out << "  com-server";
        if (f->IsService) out << "  service";
        if (f->RunAtStartup) out << "  run-at-startup";
        if (f->RunAfterInstall) out << "  run-after-install";
        if (f->IsPatch) out << "  patch";
        if (!f->TargetOs.empty()) out << "  only on " << Utf8(f->TargetOs);
        out << "\n";
    }
    out << "\nRegistry keys to create:\n";
    for (const std::string& k : m.RegFolderList) out << "  " << Utf8(k) << "\n";
    out << "\nRegistry values:\n";
    static const char* kTypes[] = {"REG_SZ", "REG_DWORD", "REG_BINARY"};
    for (const auto& r : m.RegList) {
        out << "  " << Utf8(r->Key) << "  " << Utf8(r->ValueName) << " = " << Utf8(r->Data) << "  ("
            << (r->ValueType < 3 ? kTypes[r->ValueType] : "unknown type") << ")";
        if (!r->TargetOs.empty()) out << "  only on " << Utf8(r->TargetOs);
        out << "\n";
    }
    out << "\nShortcut folders:\n";
    for (const std::string& f : m.ShotCutFolderList) out << "  " << Utf8(f) << "\n";
    out << "\nShortcuts:\n";
    static const char* kLinkKinds[] = {"link", "url", "folder link"};
    for (const auto& s : m.ShotCutList) {
        out << "  " << Utf8(s->Folder) << "\\" << Utf8(s->Name) << " -> " << Utf8(s->Target) << "  ("
            << (s->Kind < 3 ? kLinkKinds[s->Kind] : "unknown kind") << ")";
        if (!s->Arguments.empty()) out << "  arguments " << Utf8(s->Arguments);
        if (!s->IconFile.empty()) out << "  icon " << Utf8(s->IconFile);
        if (!s->Description.empty()) out << "  \"" << Utf8(s->Description) << "\"";
        out << "\n";
    }
    out << "\nComponents:\n";
    for (const auto& c : m.CompList) out << "  " << Utf8(c->Name) << "  " << c->Size << " bytes\n";
}

void VerifyPackage(const std::string& path, std::ostream& out) {
    // The signature first: a package outside it is refused before it is read.
    out << SignatureLine(path) << "\n";
    RequireSignatureAtEnd(path);
    LoadedPackage package;
    Load(path, package);
    TCompile& m = package.Model;
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    int64_t size = 0;
    int64_t previousEnd = 0;
    std::set<std::pair<int64_t, int64_t>> ranges;
    for (size_t i = 0; i < m.FileList.size(); ++i) {
        const TCompileFileData& item = *m.FileList[i];
        if (!HasData(item)) continue;
        std::string name = "item " + std::to_string(i + 1) + " (" + Utf8(item.Source) + ")";
        if (item.DataEnd > package.ProjectOffset) ThrowDamaged(name + " runs into the project stream");
        // Items with the same data may share it; other items may not overlap.
        bool sharesData = !ranges.insert({item.DataStart, item.DataEnd}).second;
        if (!sharesData && item.DataStart < previousEnd) ThrowDamaged(name + " overlaps the item before it");
        if (!sharesData) previousEnd = item.DataEnd;
        CountingStream inflated;
        try {
            TCompile::ReadPackageData(*file, inflated, item.DataStart, item.DataEnd);
        } catch (const Error& e) {
            throw Error(e.Kind(), name + ": " + e.what());
        }
        // The uninstaller's entry leaves its size field to the writer.
        if (HasOwnSize(item) && inflated.Size() != item.FileSize) {
            ThrowDamaged(name + " inflates to " + std::to_string(inflated.Size()) + " bytes, not " +
                         std::to_string(item.FileSize));
        }
        if (item.Kind == fkFile) size += item.FileSize;
    }
    std::vector<std::string> notes;
    // The tail's total only feeds the space the wizard says is needed.
    if (size != m.Size) {
        notes.push_back("the tail gives " + std::to_string(m.Size) + " bytes of files to install, the items " +
                        std::to_string(size) + ": the wizard shows the tail's figure as the space needed");
    }
    // The bytes are whole; now what they say must be safe to install: the
    // rules that protect the machine fail the check. What the format defines
    // but an author would not have meant is listed as notes: the setup
    // program installs it as it stands.
    std::vector<std::string> violations = CheckPackageRules(m, RuleSet::Machine);
    for (std::string& n : FindFormatOddities(m)) notes.push_back(std::move(n));
    for (const auto& setting : m.InfoList) {
        const SettingDef* def = FindSettingDef(setting->Group, setting->Key);
        bool isSwitch = setting->Group == igPageSwitch || (def && def->Kind == SettingKind::Switch);
        if (isSwitch && setting->Value != kSwitchOn && setting->Value != kSwitchOff) {
            notes.push_back("the switch " + setting->Key + " (group " + std::to_string(setting->Group) + ") is " +
                            "\"" + setting->Value + "\", neither " + kSwitchOn + " nor " + kSwitchOff +
                            ": it counts as off");
        }
    }
    for (const std::string& n : notes) out << "note: " << Utf8(n) << "\n";
    if (!violations.empty()) {
        for (const std::string& v : violations) out << "violation: " << Utf8(v) << "\n";
        ThrowFormatError("the package breaks " + std::to_string(violations.size()) +
                         " rule(s) that protect the machine it installs on (listed above)");
    }
    out << "OK: " << m.FileList.size() << " items, " << size << " bytes to install, project stream intact";
    if (!notes.empty()) out << "; " << notes.size() << " note(s) above";
    out << "\n";
}

void ExtractPackage(const std::string& path, const std::string& dir, std::ostream& out) {
    LoadedPackage package;
    Load(path, package);
    TCompile& m = package.Model;
    // The folder every recorded path shares: the author's project folder.
    std::vector<std::string> common;
    bool first = true;
    for (const auto& item : m.FileList) {
        if (!HasData(*item)) continue;
        std::vector<std::string> parts = SplitOn(item->Source, '\\');
        parts.pop_back();
        if (first) {
            common = parts;
            first = false;
            continue;
        }
        size_t n = 0;
        while (n < common.size() && n < parts.size() && EqualsNoCase(common[n], parts[n])) ++n;
        common.resize(n);
    }
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    int written = 0;
    for (const auto& item : m.FileList) {
        if (!HasData(*item)) continue;
        std::vector<std::string> parts = SplitOn(item->Source, '\\');
        std::string relative;
        for (size_t i = common.size(); i < parts.size(); ++i) {
            const std::string& part = parts[i];
            // Nothing a package says may place a file outside the folder.
            if (part.empty() || part == "." || part == ".." || part.find_first_of("/:") != std::string::npos) {
                ThrowDamaged("the recorded path " + Utf8(item->Source) + " cannot be extracted safely");
            }
            relative += (relative.empty() ? "" : "/") + Utf8(part);
        }
        std::string target = dir + "/" + relative;
        CreateHostFolders(target.substr(0, target.find_last_of('/')));
        std::unique_ptr<HostFileStream> output = CreateHostFile(target);
        TCompile::ReadPackageData(*file, *output, item->DataStart, item->DataEnd);
        output->Close();
        ++written;
    }
    out << "extracted " << written << " files into " << dir << "\n";
}

}  // namespace setup::makesetup
