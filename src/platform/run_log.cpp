#include "platform/run_log.h"

#include <cstdint>
#include <memory>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {

std::unique_ptr<Stream>& LogStream() {
    static std::unique_ptr<Stream> stream;
    return stream;
}

// GBK to UTF-8 byte by byte where the whole text does not convert, so that one
// odd byte never loses a line.
std::string LogText(const std::string& gbk) {
    try {
        return GbkToUtf8(gbk);
    } catch (const Error&) {
        std::string out;
        for (char c : gbk) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        return out;
    }
}

}  // namespace

namespace {

// The part of a full path that every level below is looked at from: "C:\\"
// of a drive path, "\\\\server\\share" of a share's path.
std::string PathRoot(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return path.substr(0, 3);
    if (!StartsWithNoCase(path, "\\\\")) return "";
    size_t at = 2;
    for (int piece = 0; piece < 2 && at != std::string::npos; ++piece) at = FindText(path, "\\", at + 1);
    return at == std::string::npos ? "" : path.substr(0, at);
}

}  // namespace

void OpenRunLog(const std::string& path) {
    // The user who starts the program may be able to write the log's folder,
    // or a folder above it, while this process runs with administrator
    // rights: a junction at any level would put the log wherever it leads
    // (the all-users Startup folder). A path with one is refused, looked at
    // before the file is made and again once it is: a junction put in place
    // meanwhile is caught then. The file made through it is left alone, since
    // deleting it by its path would follow the junction again.
    std::string root = PathRoot(path);
    auto refuseLink = [&](const std::string& upTo) {
        std::string link = root.empty() ? std::string() : FirstReparsePoint(root, upTo);
        if (!link.empty()) ThrowOsError(msg::CannotCreateFile(path, msg::PathGoesThroughLink(link)));
    };
    refuseLink(FolderPart(path));
    std::unique_ptr<Stream> log = OS().Files().Open(path, OpenMode::CreateNew);
    refuseLink(path);
    LogStream() = std::move(log);
}

void CloseRunLog() { LogStream().reset(); }

bool RunLogOpen() { return LogStream() != nullptr; }

void LogLine(const std::string& text) {
    if (!LogStream()) return;
    std::string lines;
    for (const std::string& piece : SplitOn(text, '\n')) {
        std::string line = piece;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines += LogText(line) + "\r\n";
    }
    try {
        LogStream()->WriteBytes(lines);
    } catch (const Error&) {
        // A full disk or a vanished log file must not end the run.
        LogStream().reset();
    }
}

}  // namespace setup
