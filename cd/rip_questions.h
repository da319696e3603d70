// The questions the ripping pipeline asks about a track's output file. The
// program asks them with message boxes and the save-file dialog; the
// headless ripper answers them from its options.
//
// Called on the thread that settles the path: the ASPI engine's worker or
// the user-interface thread (device-control engine).
#pragma once

#include <optional>
#include <string>

#include "platform/file_dialog.h"

namespace lyb {

class Prompt;

class RipQuestions {
public:
    virtual ~RipQuestions() = default;
    /// `text`: "File <path> already exists!\nDo you want to overwrite it?"
    /// (Yes and No, question icon). True: overwrite.
    virtual bool AskOverwrite(const std::string& text, const std::string& path) = 0;
    /// The save-file dialog; nothing when cancelled.
    virtual std::optional<std::string> AskSavePath(const SaveFileRequest& request) = 0;
    /// `text`: "Do you want to continue with next track or cancel saving?"
    /// (OK and Cancel). True: OK, skip this track and go on.
    virtual bool AskContinue(const std::string& text) = 0;
    /// The track does not fit into the folder's free space; the saving ends.
    virtual void TellNoSpace(const std::string& text) = 0;
};

/// The program's questions: message boxes through `prompt`, the dialog
/// through `files`.
class PromptRipQuestions final : public RipQuestions {
public:
    PromptRipQuestions(Prompt& prompt, FileDialog& files) : m_prompt(prompt), m_files(files) {}
    bool AskOverwrite(const std::string& text, const std::string& path) override;
    std::optional<std::string> AskSavePath(const SaveFileRequest& request) override;
    bool AskContinue(const std::string& text) override;
    void TellNoSpace(const std::string& text) override;

private:
    Prompt& m_prompt;
    FileDialog& m_files;
};

/// Caption of the pipeline's message boxes.
inline constexpr const char* kRipCaption = "Lyrabox 3.0";

} // namespace lyb
