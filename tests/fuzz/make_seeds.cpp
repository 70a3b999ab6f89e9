// Writes the seed corpora of the fuzz targets, made by the package writer:
//   make_seeds DIR   (creates DIR/package, DIR/project, DIR/comma, DIR/ini,
//                     DIR/reg, DIR/machine, DIR/record, DIR/script)
#include <filesystem>
#include <fstream>

#include "engine/uninstall_record.h"
#include "package/package_writer.h"
#include "../package/pe_stub.h"

namespace {

void Save(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::unique_ptr<setup::TCompile> Project() {
    auto p = std::make_unique<setup::TCompile>();
    for (auto [key, value, group] : {std::tuple<const char*, const char*, uint8_t>{"Name", "Demo", 0},
                                     {"Patch", "0", 0},
                                     {"Install", "[System ProgramFiles]\\Demo", 8}}) {
        auto s = std::make_unique<setup::TCompileData>();
        s->Key = key;
        s->Value = value;
        s->Group = group;
        p->InfoList.push_back(std::move(s));
    }
    p->FileFolderList = {"Target\\Program Files\\a b", "docs"};
    for (int i = 0; i < 3; ++i) {
        auto f = std::make_unique<setup::TCompileFileData>();
        f->Name = "file" + std::to_string(i);
        f->Source = "C:\\src\\file" + std::to_string(i);
        f->TargetDir = "Target\\Program Files\\";
        f->Kind = static_cast<uint8_t>(i == 1 ? setup::fkFolder : setup::fkFile);
        p->FileList.push_back(std::move(f));
    }
    auto r = std::make_unique<setup::TRegInfoData>();
    r->Key = "Target\\HKEY_LOCAL_MACHINE\\SOFTWARE\\x";
    r->ValueName = "v";
    r->Data = "1";
    p->RegList.push_back(std::move(r));
    auto s = std::make_unique<setup::TShotCutData>();
    s->Folder = "Start\\";
    s->Name = "x";
    s->Target = "C:\\src\\file0";
    p->ShotCutList.push_back(std::move(s));
    auto c = std::make_unique<setup::TCompileCompData>();
    c->Name = "comp";
    c->Size = 10;
    p->CompList.push_back(std::move(c));
    p->PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::filesystem::path dir = argv[1];
    for (size_t chunk : {size_t(16), size_t(1) << 20}) {
        auto project = Project();
        setup::MemoryStream out;
        setup::PackageWriter writer(out, setup::cplSpeed, chunk);
        writer.WriteStub("MZ");
        for (auto& item : project->FileList) {
            if (item->Kind == setup::fkFolder) continue;
            setup::ItemRange range = writer.WriteItem(std::string(100, 'x') + item->Name);
            item->DataStart = range.DataStart;
            item->DataEnd = range.DataEnd;
            item->FileSize = range.Size;
        }
        writer.Finish(*project, 200);
        Save(dir / "package" / ("chunk" + std::to_string(chunk)), out.Bytes());
        // The same package on a program image, signed the way a signer signs.
        std::string onImage = setup::testing_package::MinimalPe() + out.Bytes().substr(2);
        Save(dir / "package" / ("signed" + std::to_string(chunk)),
             setup::testing_package::SignLikeASigner(onImage, 40));
        Save(dir / "project" / ("chunk" + std::to_string(chunk)), setup::SerializeProjectStream(*project));
    }
    Save(dir / "comma" / "paths", setup::WriteCommaText({"C:\\Program Files\\a b", "docs", "", "q\"x"}));
    Save(dir / "comma" / "trailing", "a,b,");
    Save(dir / "ini" / "component", "[RegistryList]\r\nRegtype=System\r\n[Option]\r\nExeFile=setup.exe\r\n");
    Save(dir / "ini" / "copies",
         "; comment\r\n[SysDirList]\r\nlib\\x.dll=[System Directory]\\\\x.dll\r\n[Term]\r\nRegRun=\r\n");
    Save(dir / "reg" / "reg4",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\r\n\"a\"=\"b\"\r\n\"d\"=dword:00000001\r\n");
    Save(dir / "reg" / "reg5",
         "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n@=hex(2):41,00,00,00\r\n\"m\"=hex:01,\\\r\n  02\r\n"
         "[-HKCU\\y]\r\n\"gone\"=-\r\n");
    Save(dir / "reg" / "utf16", std::string("\xff\xfeW\0i\0n\0\r\0\n\0", 12));
    Save(dir / "machine" / "all",
         "[Machine]\nOsVersion=6.1\nElevation=refuse\nUser=User\nUtcOffset=-300\n[Drives]\n"
         "D=removable 100\n[Answers]\n*=yes\n[Faults]\nDiskFull=C 4096\nLocked=C:\\Busy\\*\n"
         "ReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo\nFailStart=regsvr32.exe\n");
    setup::TUnInstall record;
    record.SetProjectName("Demo");
    record.SetPackageId("{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}");
    record.AddFolder("C:\\Program Files\\Demo");
    record.AddFile("C:\\Program Files\\Demo\\a.exe", true);
    record.AddFile("C:\\Program Files\\Demo\\keep.ini", false);
    record.AddRegistry("2147483650", "SOFTWARE\\Demo", "");
    record.AddRegistryValue("2147483649", "Software\\Demo", "");
    record.AddRegistryValue("2147483649", "Software\\Demo", "v");
    Save(dir / "record" / "record", record.FileBytes());
    Save(dir / "script" / "all",
         "# a comment\nclick TfrmParent bNext\ntype TfrmParent TfrmSelectInstallDir.Edit1 D:\\app x\n"
         "tick TfrmParent TfrmSelectComponent.CheckListBox1 2\nuntick F C\npick F T a\\b\n"
         "press F Enter\nwait 100\nclose TfrmParent\n");
    return 0;
}
