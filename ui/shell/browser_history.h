// The navigation history of a page that shows web addresses: the addresses
// visited in order and the position in them, as Back and Forward walk it.
#pragma once

#include <string>
#include <vector>

namespace lyb {

class BrowserHistory {
public:
    /// A new address: everything after the current entry is dropped. The
    /// same address as the current one adds nothing.
    void Visit(const std::string& address);
    bool CanGoBack() const { return m_index > 0; }
    bool CanGoForward() const { return m_index + 1 < static_cast<int>(m_entries.size()); }
    /// Moves back or forward; returns the address now current ("" when it cannot move).
    std::string Back();
    std::string Forward();
    /// The current address ("" before the first visit).
    std::string Current() const;
    int Size() const { return static_cast<int>(m_entries.size()); }

private:
    std::vector<std::string> m_entries;
    int m_index = -1;
};

} // namespace lyb
