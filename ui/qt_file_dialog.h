// FileDialog shown as a QFileDialog, on the user-interface thread whatever
// thread asks.
#pragma once

#include "platform/file_dialog.h"

namespace lyb {

class QtFileDialog final : public FileDialog {
public:
    std::optional<std::string> SaveFileName(const SaveFileRequest& request) override;
};

} // namespace lyb
