#include "wizard/pages/select_install_dir_form.h"

#include "package/install_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"
#include "ui/backend.h"
#include "wizard/pages/page_pictures.h"
#include "wizard/pages/start_folder_info_form.h"

namespace setup {

TfrmSelectInstallDir::TfrmSelectInstallDir(ui::Control& host)
    : TPage(host, "TfrmSelectInstallDir", igInstallDir),
      Band(MakeTitleBand(*this, "Image6", 57, "Label10", "选择软件的安装目录", 16, 14, "Label11",
                         "请选择安装目录，如不选择安装向导将选择默认的目录进行安装", 29, 33)),
      Image1(ui::Make<ui::Image>(*this, "Image1")),
      Label1(MakeLabel(*this, "Label1", "安装程序将安装“%s”到下列文件夹中。", 79, 68, 417, 29, true)),
      Label2(MakeLabel(*this, "Label2", "单击“下一步”按钮继续，如果您想选择其它的文件夹请点击“浏览”按钮。", 32, 124)),
      Edit1(ui::Make<ui::Edit>(*this, "Edit1")),
      BitBtn1(ui::Make<ui::Button>(*this, "BitBtn1")),
      BitBtn2(ui::Make<ui::Button>(*this, "BitBtn2")),
      Label14(MakeLabel(*this, "Label14", "安装所需空间大小", 33, 200)),
      lNeedsSize(MakeLabel(*this, "lNeedsSize", "", 148, 200, 120)),
      Label20(MakeLabel(*this, "Label20", "目标驱动器剩余空间", 33, 224)),
      lDrvSize(MakeLabel(*this, "lDrvSize", "", 148, 224, 120)) {
    SetBounds(0, 0, 505, 294);
    Image1.SetBounds(31, 67, 32, 32);
    Image1.SetPicture(FolderPicture(), "folder.png");
    Edit1.SetBounds(33, 148, 376, 20);
    Edit1.TabOrder = 0;
    Edit1.SetFont(PageFont());
    BitBtn1.SetBounds(415, 146, 81, 22);
    BitBtn1.SetCaption("浏览(&B)...");
    BitBtn1.TabOrder = 1;
    BitBtn2.SetBounds(414, 146, 81, 22);
    BitBtn2.SetCaption("搜索");
    BitBtn2.TabOrder = 2;
    BitBtn2.SetVisible(false);
    Edit1.OnChange = [this] { Edit1Change(); };
    BitBtn1.OnClick = [this] { BitBtn1Click(); };
    BitBtn2.OnClick = [this] { BitBtn2Click(); };
}

void TfrmSelectInstallDir::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) {
            Band.Image.LoadFromFile(item->Value);
        } else if (KeyIs(*item, "默认安装路径")) {
            if (item->Value == " ") {
                std::string own = OS().System().GetOwnExecutablePath();
                size_t cut = FindLastChar(own, '\\');
                Edit1.SetText(cut == std::string::npos ? std::string() : own.substr(0, cut + 1));
            } else {
                Edit1.SetText(ExpandInstallPath(item->Value, InstallMacros::All));
            }
        } else if (KeyIs(*item, "允许用户修改安装路径") && !SwitchIsOn(item->Value)) {
            Edit1.SetReadOnly(true);
            BitBtn1.SetEnabled(false);
        } else if (KeyIs(*item, "搜索关键字") && !item->Value.empty()) {
            searchKeys_ = item->Value;
            const ui::Rect& e = Edit1.Bounds();
            Edit1.SetBounds(e.Left, e.Top, 288, e.Height);
            const ui::Rect& b = BitBtn1.Bounds();
            BitBtn1.SetBounds(328, b.Top, b.Width, b.Height);
            BitBtn2.SetVisible(true);
        }
    }
    FillTemplate(Label1);
    lNeedsSize.SetCaption(FormatSize(Compile()->InstallData.TotalSize));
}

void TfrmSelectInstallDir::Edit1Change() {
    const std::string& text = Edit1.Text();
    if (!text.empty()) lDrvSize.SetCaption(FormatSize(DiskFreeBytes(text[0])));
    if (Compile()) Compile()->InstallData.InstallDir = StripTrailingSeparator(text);
}

void TfrmSelectInstallDir::BitBtn1Click() {
    TfrmStartFolderInfo picker;
    picker.SetValue(Edit1.Text());
    picker.Kind = tfkFolder;
    if (picker.ShowModal() == ui::mrOk) Edit1.SetText(picker.Value());
}

void TfrmSelectInstallDir::BitBtn2Click() {
    ui::Application::SetScreenCursor(ui::Cursor::HourGlass);
    // The window keeps painting while the search walks the drives, but takes
    // no input until it is done: no second search, no page change under it.
    ui::Form* window = OwnerForm();
    if (window) window->SetEnabled(false);
    auto restore = [&] {
        if (window) window->SetEnabled(true);
        ui::Application::SetScreenCursor(ui::Cursor::Default);
    };
    std::string found;
    try {
        std::vector<std::string> keys = ParseKeyNames(searchKeys_);
        uint32_t mask = OS().System().GetLogicalDrives();
        for (int i = 0; i < 26 && found.empty(); ++i) {
            if (!(mask & (1u << i))) continue;
            std::string drive = std::string(1, static_cast<char>('A' + i)) + ":";
            DriveType type = OS().System().GetDriveType(drive + "\\");
            if (type == DriveType::Removable || type == DriveType::CdRom) continue;
            found = FindKeyFolder(drive, keys, [] { ui::Application::ProcessMessages(); });
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    if (!found.empty()) {
        Edit1.SetText(found);
    } else {
        ShowInfo("没有找到“" + Compile()->ItemName + "”的安装目录，请点击“浏览”按钮进行手工确认。");
    }
}

std::vector<std::string> ParseKeyNames(const std::string& text) {
    std::vector<std::string> names;
    size_t i = 0, n = text.size();
    auto skipBlanks = [&] {
        while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    };
    skipBlanks();
    while (i < n) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                // A two-byte character is taken whole: its second byte may be a quote's neighbour.
                size_t step = CharLengthAt(text, i);
                item.append(text, i, step);
                i += step;
            }
        } else {
            while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ') {
                size_t step = CharLengthAt(text, i);
                item.append(text, i, step);
                i += step;
            }
        }
        names.push_back(item);
        skipBlanks();
        if (i < n && text[i] == ',') {
            ++i;
            // A comma at the very end adds one empty item.
            if (i >= n) {
                names.emplace_back();
                break;
            }
            skipBlanks();
        }
    }
    return names;
}

std::string FindKeyFolder(const std::string& root, const std::vector<std::string>& keys,
                          const std::function<void()>& pump) {
    // Each open folder keeps its listing and the next entry to look at, so
    // the walk visits entries in the same depth-first order as a recursive
    // one, with a stack on the heap.
    struct Open {
        std::string Folder;
        std::vector<FolderEntry> Entries;
        size_t Next = 0;
    };
    auto list = [](const std::string& folder) {
        try {
            return OS().Files().ListFolder(folder);
        } catch (const Error&) {
            return std::vector<FolderEntry>();  // an unreadable folder is skipped alone
        }
    };
    std::vector<Open> stack;
    stack.push_back(Open{root, list(root)});
    while (!stack.empty()) {
        Open& top = stack.back();
        if (top.Next >= top.Entries.size()) {
            stack.pop_back();
            continue;
        }
        const FolderEntry& entry = top.Entries[top.Next++];
        if (entry.Name == "." || entry.Name == "..") continue;
        if (entry.Attributes & kAttrDirectory) {
            // A junction or symbolic link may lead back to a parent: not followed.
            if (entry.Attributes & kAttrReparsePoint) continue;
            std::string sub = top.Folder + "\\" + entry.Name;
            if (pump) pump();
            stack.push_back(Open{sub, list(sub)});
            continue;
        }
        for (const std::string& key : keys) {
            if (EqualsNoCase(entry.Name, key)) return top.Folder;
        }
    }
    return "";
}

}  // namespace setup
