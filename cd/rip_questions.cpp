#include "cd/rip_questions.h"

#include "platform/prompt.h"

namespace lyb {

bool PromptRipQuestions::AskOverwrite(const std::string& text, const std::string&) {
    return m_prompt.Ask(text, kRipCaption, PromptButtons::YesNo, PromptIcon::Question) == PromptAnswer::Yes;
}

std::optional<std::string> PromptRipQuestions::AskSavePath(const SaveFileRequest& request) {
    return m_files.SaveFileName(request);
}

bool PromptRipQuestions::AskContinue(const std::string& text) {
    return m_prompt.Ask(text, kRipCaption, PromptButtons::OkCancel, PromptIcon::Question) == PromptAnswer::Ok;
}

void PromptRipQuestions::TellNoSpace(const std::string& text) {
    m_prompt.Ask(text, kRipCaption, PromptButtons::Ok, PromptIcon::Warning);
}

} // namespace lyb
