// The folder tree on Windows: a system tree view whose items mirror the
// loaded part of the portable tree (each item carries its node), with the
// system's small icons; the user's expanding and selecting goes back to the
// portable tree as the same calls a script makes.
#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include "ui/win32/win32_peers.h"

namespace setup::ui::peers {

namespace {

HTREEITEM InsertNode(HWND tree, HTREEITEM parent, ShellTreeView::Node& node) {
    std::wstring text = WideShown(node.Name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask =
        TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | (node.IconIndex >= 0 ? TVIF_IMAGE | TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = text.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(&node);
    insert.item.cChildren = node.HasChildren ? 1 : 0;
    insert.item.iImage = node.IconIndex;
    insert.item.iSelectedImage = node.IconIndex;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    node.Peer = item;
    return item;
}

// Adds the loaded children of expanded nodes that the tree does not show yet.
void SyncNode(HWND tree, ShellTreeView::Node& node) {
    if (!node.Loaded) return;
    HTREEITEM parent = static_cast<HTREEITEM>(node.Peer);
    for (auto& child : node.Children) {
        if (!child->Peer) InsertNode(tree, parent, *child);
        SyncNode(tree, *child);
    }
    if (node.Expanded && parent) SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
}

}  // namespace

void SyncTree(HWND tree, ShellTreeView& view) {
    ShellTreeView::Node* root = view.Root();
    if (!root) {
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        return;
    }
    if (!root->Peer) {
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        // The system's small icons, shared with the shell; the list belongs to the system.
        SHFILEINFOW info{};
        auto images = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
        if (images) SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
        SendMessageW(tree, TVM_SETINDENT, static_cast<WPARAM>(view.Indent), 0);
        InsertNode(tree, TVI_ROOT, *root);
    }
    SyncNode(tree, *root);
    if (ShellTreeView::Node* selected = view.Selected(); selected && selected->Peer) {
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(selected->Peer));
    }
}

bool TreeNotification(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    auto* tree = dynamic_cast<ShellTreeView*>(ControlOf(header->hwndFrom));
    if (!tree || updatingPeer) return false;
    if (header->code == TVN_ITEMEXPANDINGW) {
        auto* view = reinterpret_cast<NMTREEVIEWW*>(lParam);
        auto* node = reinterpret_cast<ShellTreeView::Node*>(view->itemNew.lParam);
        if (node && view->action == TVE_EXPAND && !node->Loaded) Guarded([&] { tree->Expand(*node); });
    } else if (header->code == TVN_SELCHANGEDW) {
        auto* view = reinterpret_cast<NMTREEVIEWW*>(lParam);
        auto* node = reinterpret_cast<ShellTreeView::Node*>(view->itemNew.lParam);
        if (node && node != tree->Selected()) Guarded([&] { tree->Select(node); });
    } else if (header->code == NM_RCLICK) {
        // A right click selects the item under the pointer, as in the
        // system's own folder trees; the selection change above follows.
        TVHITTESTINFO hit{};
        DWORD position = GetMessagePos();
        hit.pt.x = static_cast<short>(LOWORD(position));
        hit.pt.y = static_cast<short>(HIWORD(position));
        ScreenToClient(header->hwndFrom, &hit.pt);
        auto item =
            reinterpret_cast<HTREEITEM>(SendMessageW(header->hwndFrom, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (item && (hit.flags & TVHT_ONITEM)) {
            SendMessageW(header->hwndFrom, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        }
    }
    return true;
}

}  // namespace setup::ui::peers
