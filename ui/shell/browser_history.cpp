#include "ui/shell/browser_history.h"

namespace lyb {

void BrowserHistory::Visit(const std::string& address) {
    if (m_index >= 0 && m_entries[static_cast<size_t>(m_index)] == address)
        return;
    m_entries.resize(static_cast<size_t>(m_index + 1));
    m_entries.push_back(address);
    m_index = static_cast<int>(m_entries.size()) - 1;
}

std::string BrowserHistory::Back() {
    if (!CanGoBack())
        return {};
    --m_index;
    return Current();
}

std::string BrowserHistory::Forward() {
    if (!CanGoForward())
        return {};
    ++m_index;
    return Current();
}

std::string BrowserHistory::Current() const {
    return m_index >= 0 ? m_entries[static_cast<size_t>(m_index)] : std::string();
}

} // namespace lyb
