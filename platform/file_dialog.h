// File dialogs: the save-file dialog that logic asks through.
//
// The program's backend shows a QFileDialog on the user-interface thread
// whatever thread asks; tests and headless front ends answer from a script.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lyb {

struct SaveFileRequest {
    std::string title;
    std::string proposedPath; ///< "" for no proposed name
    /// Filter pairs in the form "AAC Files (*.aac)|*.aac|All files (*.*)|*.*||".
    std::string filter;
    std::string defaultExtension; ///< "*.aac": added when the typed name has none
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    /// The chosen path, or nothing when the user cancelled. The dialog asks
    /// before overwriting, hides the read-only option and accepts only an
    /// existing folder. Thread-safe; blocks until answered.
    virtual std::optional<std::string> SaveFileName(const SaveFileRequest& request) = 0;
};

/// Answers from a script (nothing = Cancel when it runs out); records every request.
class ScriptedFileDialog final : public FileDialog {
public:
    void Push(std::optional<std::string> answer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers.push_back(std::move(answer));
    }
    std::optional<std::string> SaveFileName(const SaveFileRequest& request) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
        if (m_answers.empty()) return std::nullopt;
        auto a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    std::vector<SaveFileRequest> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    mutable std::mutex m_mutex;
    std::deque<std::optional<std::string>> m_answers;
    std::vector<SaveFileRequest> m_requests;
};

/// The pairs of a filter text "Description|patterns|...||" in order: the
/// description as written and its patterns (";"-separated in the text).
struct DialogFilter {
    std::string description;
    std::vector<std::string> patterns;
};
std::vector<DialogFilter> ParseDialogFilter(const std::string& filter);

/// The default extension applied to a chosen name without one ("*.aac" on
/// "/music/x" gives "/music/x.aac"; "/music/x.m4a" is kept).
std::string ApplyDefaultExtension(const std::string& path, const std::string& defaultExtension);

} // namespace lyb
