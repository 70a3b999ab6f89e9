// TfrmUnInstall, the uninstaller's window: reads the uninstall record beside
// the program and, when the user presses "卸载(&U)", removes what the
// installation recorded (registry, taskbar pins, files, emptied folders),
// deletes the product's Uninstall key, reports success and arranges for the
// uninstaller itself to be deleted once it has ended.
#pragma once

#include <memory>

#include "engine/uninstall_record.h"
#include "ui/controls.h"

namespace setup {

class TfrmUnInstall : public ui::Form {
public:
    TfrmUnInstall();

    ui::Panel& Panel1;
    ui::Image& Image1;
    ui::Label& Label3;
    ui::Label& Label4;
    ui::Label& Label1;
    ui::Label& lb_Name;
    ui::ProgressBar& ProcessBar;
    ui::Bevel& Bevel1;
    ui::Button& Button1;
    ui::Button& Button2;

    const TUnInstall& Record() const { return record_; }
    // The record beside the program, unless told otherwise (tests).
    void SetRecordPath(const std::string& path) { recordPath_ = path; }
    // Reads the record as the window does when shown; false (after a message
    // box) when it is missing or cannot be read.
    bool LoadRecord();
    // The progress of the removal: (position, maximum).
    void ShowProgress(int position, int maximum);
    // The removal passes in record order; N progress events in all.
    void RemoveEverything();

private:
    void FormShow();
    void Button1Click();
    void Button2Click();

    TUnInstall record_;
    std::string recordPath_;
    bool removing_ = false;
};

// Removes a folder tree bottom-up as long as it holds no file; a folder that
// still holds something stays.
void RemoveEmptyTree(const std::string& folder);

// Writes the self-deleting batch file and starts it hidden at idle priority.
void DeleteSelfAfterExit(const std::string& ownPath);

// The four lines of the batch file (GBK, CRLF).
std::string SelfDeleteBatchText(const std::string& ownPath);

}  // namespace setup
