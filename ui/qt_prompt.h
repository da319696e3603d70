// Prompt shown as a QMessageBox, on the user-interface thread whatever
// thread asks.
#pragma once

#include "platform/prompt.h"

#include <functional>
#include <string>

namespace lyb {

class QtPrompt final : public Prompt {
public:
    /// Looks up a button's text by its localiser number and English text;
    /// without it the buttons keep their English texts.
    using ButtonText = std::function<std::string(int id, const char* english)>;

    PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                     PromptIcon icon) override;

    /// The program's buttons speak the interface language (set once, before
    /// the first question; the lookup runs on the user-interface thread).
    void SetButtonText(ButtonText text) { m_buttonText = std::move(text); }

private:
    ButtonText m_buttonText;
};

} // namespace lyb
