// Prompt shown as a QMessageBox, on the user-interface thread whatever
// thread asks.
#pragma once

#include "platform/prompt.h"

namespace lyb {

class QtPrompt final : public Prompt {
public:
    PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                     PromptIcon icon) override;
};

} // namespace lyb
