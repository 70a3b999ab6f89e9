// TfrmUnInstall, the uninstaller's window: reads the uninstall record beside
// the program, refuses it when the digest kept in the product's Uninstall
// entry does not match (and, for a record without one, removes only what
// lies in its own folder and the product's links, listing the rest), and, when the user presses "卸载(&U)", removes
// what the installation recorded (registry, taskbar pins, files, emptied folders), never a drive root, a special folder
// or a key directly under a root. When everything is gone it deletes the product's Uninstall key, reports success and
// arranges for the uninstaller itself to be deleted once it has ended. When something could not be removed (a locked
// file, a running program) it lists it, keeps a record of exactly what remains and the Uninstall entry, so that running
// it again finishes the work.
#pragma once

#include <memory>
#include <string>
#include <vector>

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
    // box) when it is missing, cannot be read, or does not match the digest
    // kept in the product's Uninstall entry. Nothing is removed then.
    // Clears the Uninstall entry that names this program when its record is
    // gone; true when there was one.
    bool ClearEntryOfFinishedRemoval();
    bool LoadRecord();
    // The uninstallation without showing the window: the record is read and,
    // when it is genuine, everything is removed at once, as a press of
    // "卸载(&U)" would, the self-deletion included. The boxes go wherever the
    // platform sends them (the log of a silent run).
    void RemoveUnattended();
    // The progress of the removal: (position, maximum).
    void ShowProgress(int position, int maximum);
    // The removal passes in record order; N progress events in all. Returns
    // true when everything to be removed is gone; otherwise Failures() lists
    // what stayed and Remaining() holds exactly the entries left to remove.
    bool RemoveEverything();
    const std::vector<std::string>& Failures() const { return failures_; }
    // What an unvouched record named that was left alone (see LoadRecord).
    const std::vector<std::string>& Skipped() const { return skipped_; }
    const TUnInstall& Remaining() const { return remaining_; }
    // The program's exit status: 0 everything removed, 3 something remains,
    // 1 the record was refused or an error ended the work, 2 closed without
    // uninstalling.
    int ExitCode() const { return exitCode_; }

private:
    void FormShow();
    void Button1Click();
    void Button2Click();

    void KeepWhatRemains();

    TUnInstall record_;
    TUnInstall remaining_;
    std::vector<std::string> failures_;
    // What a record no digest vouches for names outside the installation
    // folder and the product's links: listed, never removed.
    std::vector<std::string> skipped_;
    bool vouched_ = true;
    std::string installDir_;  // the record's (and the uninstaller's) folder, for an unvouched record
    std::string recordPath_;
    bool removing_ = false;
    int exitCode_ = 2;
};

class RemovalGuard;
// Removes a folder tree bottom-up as long as it holds no file; a folder that
// still holds something stays, and so does every folder the guard protects.
void RemoveEmptyTree(const std::string& folder, const RemovalGuard& guard);

// The four lines of the self-deleting batch file for the program at ownPath
// (GBK, CRLF), with every "%" of the path doubled.
std::string SelfDeleteBatchText(const std::string& ownPath);

// Writes the self-deleting batch file (four lines, GBK, CRLF) under a new
// name in the temporary folder and starts it hidden. Does nothing once a
// batch is held.
void DeleteSelfAfterExit(const std::string& ownPath);

}  // namespace setup
