// effects.jsonl: one JSON object per line for every outward effect of the
// simulated machine (programs started, message boxes, taskbar verbs, music,
// restart). Each line is appended with one write so that the lines of several
// processes never interleave.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace setup::sandbox {

class JsonObject {
public:
    // Texts are GBK and written as UTF-8.
    JsonObject& Text(const std::string& key, const std::string& gbk);
    JsonObject& Number(const std::string& key, int64_t value);
    JsonObject& Bool(const std::string& key, bool value);
    std::string Line() const;  // {"k":v,...} without a line break

private:
    std::vector<std::pair<std::string, std::string>> fields_;  // key, JSON value
};

std::string JsonEscape(const std::string& utf8);

class Effects {
public:
    explicit Effects(std::string file) : file_(std::move(file)) {}
    // Appends the object with "effect" and "pid" in front.
    void Record(const std::string& effect, const JsonObject& fields);

private:
    std::string file_;
};

}  // namespace setup::sandbox
