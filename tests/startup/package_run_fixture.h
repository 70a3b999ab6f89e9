// Whole runs of packages made by the package builder: the test's project and
// the data of its items are built onto the Linux setup program and placed on
// a fresh simulated machine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/compile.h"
#include "package/package_builder.h"
#include "platform/host_files.h"
#include "startup/whole_run_fixture.h"

namespace setup::testing_sandbox {

class PackageRunTest : public WholeRunTest {
protected:
    void SetUp() override {
        WholeRunTest::SetUp();
        project_ = std::make_unique<TCompile>();
    }
    TCompileData& Setting(uint8_t group, const std::string& key, const std::string& value) {
        return testing_package::AddSetting(*project_, group, key, value);
    }
    // Adds an item whose source is D:\src\NAME, with the given data.
    TCompileFileData& Add(uint8_t kind, const std::string& name, const std::string& data, const std::string& target) {
        data_.push_back(data);
        return testing_package::AddItem(*project_, kind, name, "D:\\src\\" + name, target);
    }
    // Adds a shortcut NAME in FOLDER (a folder of the project, "桌面\\") to TARGET.
    void Shortcut(const std::string& folder, const std::string& name, const std::string& target) {
        auto shortcut = std::make_unique<TShotCutData>();
        shortcut->Folder = folder;
        shortcut->Name = name;
        shortcut->Target = target;
        project_->ShotCutList.push_back(std::move(shortcut));
    }
    // The project built onto the setup program.
    std::string Package() {
        return testing_package::BuildPackage(*project_, data_, setup::ReadHostFile(SETUP_PROGRAM));
    }
    // Whether the demo projects' program is in their installation folder.
    bool Installed() { return OS().Files().FileExists("C:\\Program Files\\演示\\app.exe"); }

    std::unique_ptr<TCompile> project_;
    std::vector<std::string> data_;  // one entry per item, in the order of the items
};

}  // namespace setup::testing_sandbox
