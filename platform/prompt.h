// Message boxes and questions to the user.
//
// Logic asks through Prompt; the program's backend shows a QMessageBox, tests
// and headless front ends use ScriptedPrompt, which answers from a list and
// records every question.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace lyb {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptIcon { None, Information, Question, Warning, Stop };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

class Prompt {
public:
    virtual ~Prompt() = default;
    /// Shows `text` with `caption`; blocks until answered. Thread-safe.
    virtual PromptAnswer Ask(const std::string& text, const std::string& caption,
                             PromptButtons buttons, PromptIcon icon) = 0;
};

/// Answers from a script; when the script runs out, answers the first button
/// (Ok / Yes / Retry). Records every question asked.
class ScriptedPrompt final : public Prompt {
public:
    struct Asked {
        std::string text;
        std::string caption;
        PromptButtons buttons;
        PromptIcon icon;
    };

    void Push(PromptAnswer answer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers.push_back(answer);
    }
    PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                     PromptIcon icon) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.push_back({text, caption, buttons, icon});
        if (!m_answers.empty()) {
            PromptAnswer a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        switch (buttons) {
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel: return PromptAnswer::Yes;
        case PromptButtons::RetryCancel: return PromptAnswer::Retry;
        default: return PromptAnswer::Ok;
        }
    }
    std::vector<Asked> asked() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_asked;
    }

private:
    mutable std::mutex m_mutex;
    std::deque<PromptAnswer> m_answers;
    std::vector<Asked> m_asked;
};

/// For front ends run without a window (scripted installs): prints each
/// message to standard error and answers a question with `decide` (Ok for a
/// message without a choice).
class ConsolePrompt final : public Prompt {
public:
    explicit ConsolePrompt(std::function<PromptAnswer(const std::string& text, PromptButtons buttons)> decide)
        : m_decide(std::move(decide)) {}
    PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                     PromptIcon) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const PromptAnswer a = buttons == PromptButtons::Ok ? PromptAnswer::Ok : m_decide(text, buttons);
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (buttons != PromptButtons::Ok)
            std::fprintf(stderr, "  -> %s\n", a == PromptAnswer::Yes ? "yes" : a == PromptAnswer::No ? "no" : "cancel");
        return a;
    }

private:
    std::mutex m_mutex;
    std::function<PromptAnswer(const std::string&, PromptButtons)> m_decide;
};

} // namespace lyb
