// The media player of the simulated machine. Nothing is played: a piece has
// the length its header gives (a WAV file) or a fixed one, its position runs
// with the machine's clock, and opening, playing and closing are recorded in
// effects.jsonl.
#include <algorithm>

#include "platform/sandbox/sandbox_machine.h"

namespace setup::sandbox {

namespace {

// The playing time of a WAV file in milliseconds from its header: the data
// chunk's size over the format's bytes per second. -1 when the file is a
// RIFF file that is not a sound the player could play.
int64_t WaveLength(const std::string& bytes) {
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
    };
    if (bytes.size() < 12 || bytes.compare(8, 4, "WAVE") != 0) return -1;
    uint32_t bytesPerSecond = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = u32(at + 4);
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16 && at + 8 + 16 <= bytes.size()) {
            bytesPerSecond = u32(at + 8 + 8);
        } else if (bytes.compare(at, 4, "data") == 0) {
            if (bytesPerSecond == 0) return -1;
            return static_cast<int64_t>(size) * 1000 / bytesPerSecond;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    return -1;
}

// Pieces of other types play for three minutes on the simulated machine.
constexpr int64_t kOtherPieceMs = 180000;

}  // namespace

bool SandboxShell::MediaOpen(const std::string& file) {
    MediaClose();
    int64_t length = -1;
    if (machine_.Files().FileExists(file)) {
        std::unique_ptr<Stream> in = machine_.Files().Open(file, OpenMode::Read);
        std::string head = in->ReadBytes(static_cast<size_t>(std::min<int64_t>(in->Size(), 4096)));
        length = head.compare(0, 4, "RIFF") == 0 ? WaveLength(head) : kOtherPieceMs;
    }
    bool ok = length >= 0;
    if (ok) {
        mediaFile_ = file;
        mediaLength_ = length;
    }
    machine_.EffectLog().Record("Music", JsonObject().Text("action", "open").Text("file", file).Bool("ok", ok));
    return ok;
}

void SandboxShell::MediaPlay() {
    if (mediaFile_.empty()) return;
    playStart_ = machine_.Now();
    machine_.EffectLog().Record("Music",
                                JsonObject().Text("action", "play").Text("file", mediaFile_).Number("at", playStart_));
}

int64_t SandboxShell::MediaLength() { return mediaFile_.empty() ? 0 : mediaLength_; }

int64_t SandboxShell::MediaPosition() {
    return mediaFile_.empty() ? 0 : std::min(machine_.Now() - playStart_, mediaLength_);
}

void SandboxShell::MediaClose() {
    if (mediaFile_.empty()) return;
    machine_.EffectLog().Record("Music", JsonObject().Text("action", "close").Text("file", mediaFile_));
    mediaFile_.clear();
}

}  // namespace setup::sandbox
