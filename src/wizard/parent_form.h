// TfrmParent, the wizard frame: decides which pages exist and in which order,
// moves between them on Next and Previous, starts the installation when the
// progress page becomes current, refuses to close while it runs, asks before
// the wizard is abandoned, carries out the end-of-install actions on Finish,
// offers the restart and loops the background music.
#pragma once

#include <memory>
#include <vector>

#include "package/compile.h"
#include "ui/controls.h"
#include "wizard/pages/page.h"

namespace setup {

enum class FrameState { Browsing, Installing, Finished, Failed };

class TfrmParent : public ui::Form {
public:
    TfrmParent();
    ~TfrmParent() override;

    // Stores the model, sets the caption and the author link, starts the music.
    void SetCompile(TCompile* compile);
    TCompile* Compile() const { return compile_; }

    void ShowPage(int index);
    void OpenFile(const std::string& path);
    void OpenUrl(const std::string& text);
    void SetIEStartPage(const std::string& text);
    void RebootSystem();
    void PlayMusic();

    FrameState State() const { return state_; }
    int PageIndex() const { return pageIndex_; }
    const std::vector<std::unique_ptr<TPage>>& Pages() const { return pages_; }
    // The pages that were built, in the order Next visits them.
    std::vector<const ui::Page*> PagesInOrder() const override;
    // Whether the installation failed inside the wizard (the failure was
    // reported to the user there).
    bool InstallFailed() const { return state_ == FrameState::Failed; }
    // Whether the user left the wizard before the installation (the exit
    // question answered Yes).
    bool Abandoned() const { return state_ == FrameState::Browsing; }

    ui::Panel& Panel1;
    ui::Bevel& Bevel1;
    ui::Label& Label1;
    ui::Button& bPrevious;
    ui::Button& bNext;
    ui::Button& bCancel;
    ui::MediaPlayer& mPlay;
    ui::Timer& tMedia;

private:
    void FormShow();
    void BuildPages();
    void bNextClick();
    void bPreviousClick();
    void bCancelClick();
    void FormCloseQuery(bool& canClose);
    void tMediaTimer();
    void EndOfInstallActions();
    void RunInstallOn(TPage& page);

    TCompile* compile_ = nullptr;
    std::vector<std::unique_ptr<TPage>> pages_;
    int pageIndex_ = 0;
    FrameState state_ = FrameState::Browsing;
};

// The page table: switch keys of settings group 1 and page classes, in the
// order the pages appear.
struct PageTableRow {
    const char* SwitchKey;
    const char* ClassName;
};
const std::vector<PageTableRow>& PageTable();

}  // namespace setup
