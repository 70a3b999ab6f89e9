#include "platform/run_log.h"

#include <cstdint>
#include <memory>

#include "platform/errors.h"
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

void OpenRunLog(const std::string& path) { LogStream() = OS().Files().Open(path, OpenMode::CreateNew); }

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
