// Pictures that are part of the pages' layouts, decoded once.
#pragma once

#include <memory>

namespace setup {

namespace ui {
struct Picture;
}

std::shared_ptr<const ui::Picture> FolderPicture();
std::shared_ptr<const ui::Picture> StartMenuPicture();

}  // namespace setup
