#include "platform/sandbox/effects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/errors.h"
#include "platform/text.h"

namespace setup::sandbox {

std::string JsonEscape(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out.push_back(c);
                }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::Text(const std::string& key, const std::string& gbk) {
    std::string utf8;
    try {
        utf8 = GbkToUtf8(gbk);
    } catch (const Error&) {
        // Bytes that are not GBK are shown as hex rather than dropped.
        for (unsigned char c : gbk) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, c < 0x80 ? "%c" : "<%02X>", c);
            utf8 += buffer;
        }
    }
    fields_.emplace_back(key, JsonEscape(utf8));
    return *this;
}

JsonObject& JsonObject::Number(const std::string& key, int64_t value) {
    fields_.emplace_back(key, std::to_string(value));
    return *this;
}

JsonObject& JsonObject::Bool(const std::string& key, bool value) {
    fields_.emplace_back(key, value ? "true" : "false");
    return *this;
}

std::string JsonObject::Line() const {
    std::string out = "{";
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i) out += ",";
        out += JsonEscape(fields_[i].first) + ":" + fields_[i].second;
    }
    return out + "}";
}

void Effects::Record(const std::string& effect, const JsonObject& fields) {
    std::string body = fields.Line();
    std::string line = "{\"effect\":" + JsonEscape(effect) + ",\"pid\":" + std::to_string(getpid()) +
                       (body.size() > 2 ? "," + body.substr(1) : "}") + "\n";
    // Never through a link planted at the name, never into a file with a
    // second name: the machine writes only inside its root.
    int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) ThrowOsError("Cannot write the effects file " + file_);
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_nlink != 1) {
        ::close(fd);
        ThrowOsError("Cannot write the effects file " + file_ + ": it has another name (a hard link)");
    }
    ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
    if (n != static_cast<ssize_t>(line.size())) ThrowOsError("Cannot write the effects file " + file_);
}

}  // namespace setup::sandbox
