// The folder tree and the media player: the controls that reach the machine
// through the OS seam, the tree for the shell's folders and the player for
// the background music.
#include "platform/os.h"
#include "platform/text.h"
#include "ui/controls.h"

namespace setup::ui {

ShellTreeView::~ShellTreeView() = default;

std::string ShellTreeView::Describe() const {
    std::string line = Control::Describe();
    if (!root_) return line + " empty";
    // The open part of the tree, as a user sees it.
    std::vector<std::pair<const Node*, int>> pending = {{root_.get(), 0}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        line += "\n    | " + std::string(static_cast<size_t>(depth) * 2, ' ') +
                (node->HasChildren ? (node->Expanded ? "- " : "+ ") : "  ") + node->Name +
                (node == selected_ ? "  (selected)" : "");
        if (!node->Expanded) continue;
        for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it)
            pending.push_back({it->get(), depth + 1});
    }
    return line;
}

namespace {
std::unique_ptr<ShellTreeView::Node> NodeOf(const ShellFolderItem& item, ShellTreeView::Node* parent) {
    auto node = std::make_unique<ShellTreeView::Node>();
    node->Name = item.DisplayName;
    node->Id = item.Id;
    node->Path = item.Path;
    node->HasChildren = item.HasSubfolders;
    node->IconIndex = item.IconIndex;
    node->Parent = parent;
    return node;
}
}  // namespace

void ShellTreeView::SetRoot(const std::string& fileSystemPath) {
    selected_ = nullptr;
    root_.reset();
    std::optional<ShellFolderItem> item = OS().Shell().ShellFolderOf(fileSystemPath);
    if (item) {
        root_ = NodeOf(*item, nullptr);
        Expand(*root_);
    }
    Changed();
}

void ShellTreeView::Expand(Node& node) {
    if (!node.Loaded) {
        node.Loaded = true;
        for (const ShellFolderItem& item : OS().Shell().ListShellFolders(node.Id)) {
            node.Children.push_back(NodeOf(item, &node));
        }
        node.HasChildren = !node.Children.empty();
    }
    node.Expanded = true;
    Changed();
}

void ShellTreeView::Select(Node* node) {
    selected_ = node;
    Changed();
    if (OnChange) OnChange();
}

ShellTreeView::Node* ShellTreeView::Find(const std::string& displayPath) {
    Node* node = root_.get();
    if (!node) return nullptr;
    for (const std::string& piece : SplitOn(displayPath, '\\')) {
        if (piece.empty()) continue;
        Expand(*node);
        Node* next = nullptr;
        for (const auto& child : node->Children) {
            if (child->Name == piece) {
                next = child.get();
                break;
            }
        }
        if (!next) return nullptr;
        node = next;
    }
    return node;
}

MediaPlayer::~MediaPlayer() { Close(); }

bool MediaPlayer::Open() {
    Close();
    open_ = OS().Shell().MediaOpen(FileName);
    return open_;
}

void MediaPlayer::Play() {
    if (open_) OS().Shell().MediaPlay();
}

int64_t MediaPlayer::Length() { return open_ ? OS().Shell().MediaLength() : 0; }

int64_t MediaPlayer::Position() { return open_ ? OS().Shell().MediaPosition() : 0; }

void MediaPlayer::Close() {
    if (!open_) return;
    open_ = false;
    OS().Shell().MediaClose();
}

}  // namespace setup::ui
